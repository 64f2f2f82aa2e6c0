#pragma once

#include "platform/combine/AnyPublisher.h"
#include "platform/combine/CurrentValueSubject.h"
#include "platform/combine/PassthroughSubject.h"

#include <QMenu>

#include <functional>

namespace zk {

// A menu that tells its owner when it opens, closes and is about to be shown, so the owner can
// rebuild its items at the last moment. Items keep the enabled state their creator gave them.
//
// While the menu is open, a letter typed alone triggers the item whose key equivalent is that
// letter (Ctrl+Q is reached with "q" as well as Ctrl+Q), as the menus of other desktops do for
// their shortcuts.
//
// Main-thread only.
class ZKMenu : public QMenu {
    Q_OBJECT
public:
    explicit ZKMenu(const QString& title = {}, QWidget* parent = nullptr);

    // Called with the menu itself after onUpdate.
    std::function<void(ZKMenu&)> onUpdateLegacy;
    // Called each time the menu is about to be shown, before it opens; may replace every item.
    std::function<void()> onUpdate;
    // Called with true when the menu opens and false when it closes.
    std::function<void(bool)> onOpenClose;

    bool isOpen() const { return m_isOpen; }
    // The open state: the current one to each new subscriber, then every change.
    platform::combine::AnyPublisher<bool> isOpenPublisher() const
    {
        return m_isOpenSubject.eraseToAnyPublisher();
    }
    // Each time the menu needs its items, before onUpdate runs.
    platform::combine::AnyPublisher<platform::combine::Void> needsUpdatePublisher() const
    {
        return m_needsUpdateSubject.eraseToAnyPublisher();
    }

    // The steps run when the menu is about to be shown, has opened and has closed; QMenu's
    // aboutToShow and aboutToHide drive them.
    void menuNeedsUpdate();
    void menuWillOpen() { setOpen(true); }
    void menuDidClose() { setOpen(false); }

    // The enabled, visible item whose shortcut is `key` with exactly `modifiers`, if any: an item
    // with Ctrl+Q is not chosen by a bare "q", nor one with a bare "d" by Ctrl+D.
    QAction* actionForKeyEquivalent(int key, Qt::KeyboardModifiers modifiers) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setOpen(bool open);

    platform::combine::CurrentValueSubject<bool> m_isOpenSubject { false };
    platform::combine::PassthroughSubject<platform::combine::Void> m_needsUpdateSubject;
    bool m_isOpen = false;
};

} // namespace zk
