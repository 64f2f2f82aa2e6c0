#pragma once

#include "kit/interface/TimelineSchedule.h"

#include <QWidget>

#include <string>
#include <vector>

class QListView;
class QStringListModel;

namespace zk {

class DebugMoreMenu;

// The in-memory debug log, one row per entry in stored order (rows are identified by their
// position, so equal entries stay apart), refreshed every second from a copy of the log taken
// under its lock. "More" copies all entries or clears the log. Main-thread only.
class DebugLogScreen : public QWidget {
    Q_OBJECT
public:
    explicit DebugLogScreen(QWidget* parent = nullptr);

    // Reads the log again (the timer's tick).
    void refresh();
    // The rows as shown: each entry trimmed of surrounding white space.
    QStringList rows() const;
    DebugMoreMenu& moreMenu() const { return *m_moreMenu; }
    // Reads the log again every second while the screen exists.
    TimelineView& timeline() { return m_timeline; }

    // All entries joined by "\n", on the clipboard.
    static void copyLines();
    static void clearLines();

private:
    QListView* m_list = nullptr;
    QStringListModel* m_model = nullptr;
    DebugMoreMenu* m_moreMenu = nullptr;
    TimelineView m_timeline;
    std::vector<std::string> m_shown;
};

} // namespace zk
