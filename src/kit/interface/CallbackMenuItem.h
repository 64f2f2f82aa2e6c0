#pragma once

#include <QAction>

#include <functional>
#include <optional>

namespace zk {

// A menu item that runs a closure. A checked item shows its tick but does not flip it when chosen:
// the menu's builder decides the state each time it builds the menu. A key equivalent without
// modifiers given means Ctrl plus the key, as "Ctrl+Q" for Quit.
//
// Main-thread only. A closure that captures the item's owner should hold it weakly (QPointer).
class CallbackMenuItem : public QAction {
    Q_OBJECT
public:
    CallbackMenuItem(const QString& title, const QString& keyEquivalent,
        std::optional<Qt::KeyboardModifiers> keyEquivalentModifiers, bool isEnabled, bool isChecked,
        bool isHidden, std::function<void()> callback, QObject* parent = nullptr);

    // The same with the usual defaults: no key equivalent, enabled, not checked, shown.
    CallbackMenuItem(const QString& title, std::function<void()> callback, QObject* parent = nullptr);

    // One check for every item of this class, empty unless a client installs one: an item it
    // refuses does not run its closure when chosen.
    using ValidationHook = std::function<bool(const QAction& item)>;
    static void setValidationHook(ValidationHook hook);

    // The hook's answer for this item, or true without a hook.
    bool validateMenuItem() const;

private:
    std::function<void()> m_callback;
    bool m_isChecked = false;
};

} // namespace zk
