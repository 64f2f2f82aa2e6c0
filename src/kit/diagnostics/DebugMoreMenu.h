#pragma once

#include <QToolButton>

#include <functional>

namespace zk {

// The "More" menu of the debug list screens: "Copy", a separator and a destructive "Clear", both
// disabled while there is nothing to copy (asked each time the menu opens). Main-thread only.
class DebugMoreMenu : public QToolButton {
    Q_OBJECT
public:
    DebugMoreMenu(std::function<bool()> hasContent, std::function<void()> copy, std::function<void()> clear,
        QWidget* parent = nullptr);

    QAction* copyAction() const { return m_copy; }
    QAction* clearAction() const { return m_clear; }
    // Enables the two items from the content as it is now.
    void refresh();

private:
    std::function<bool()> m_hasContent;
    QAction* m_copy = nullptr;
    QAction* m_clear = nullptr;
};

} // namespace zk
