#pragma once

#include "kit/diagnostics/SettingsDump.h"
#include "kit/foundation/ListenOnlyPublisherObservable.h"
#include "platform/combine/AnyCancellable.h"

#include <QWidget>

#include <memory>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace zk {

class DebugMoreMenu;

// The stored settings, one section per suite (the standard suite first, titled "Standard"), each
// with the rows of its settings dump: the key in bold over its value in a monospaced font. Rows
// can be deleted (Delete key or the context menu); "More" copies every row as "key: value" lines
// or removes every key of every suite, also those the dump hides. Follows every change of the
// settings. Main-thread only.
class DebugUserDefaultsScreen : public QWidget {
    Q_OBJECT
public:
    explicit DebugUserDefaultsScreen(QWidget* parent = nullptr);

    // Builds the sections again from the store.
    void reload();

    // The sections as shown: title, then the keys in order.
    std::vector<std::pair<QString, QStringList>> sections() const;
    DebugMoreMenu& moreMenu() const { return *m_moreMenu; }
    QTreeWidget& tree() const { return *m_tree; }
    // What the screen listens to: an announcement on the main thread for every change of the
    // settings.
    const ListenOnlyPublisherObservable& defaultsChanges() const { return *m_defaultsChanges; }

    // Removes the keys at the offsets of a section's dump as it was shown; an offset outside it is
    // skipped.
    static void deleteKeys(
        const DebugSuite& suite, const SettingsDump& shown, const std::vector<int>& offsets);
    static std::string copyAllText();
    static void copyAll();
    static void clearAll();
    static bool hasContent();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void deleteSelectedRows();

    QTreeWidget* m_tree = nullptr;
    DebugMoreMenu* m_moreMenu = nullptr;
    std::vector<std::pair<DebugSuite, SettingsDump>> m_shown;
    std::unique_ptr<ListenOnlyPublisherObservable> m_defaultsChanges;
    platform::combine::AnyCancellable m_willChange;
    // A reload is queued and answers every announcement made until it runs.
    bool m_reloadPending = false;
};

} // namespace zk
