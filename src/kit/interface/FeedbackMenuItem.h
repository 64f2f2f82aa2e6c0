#pragma once

#include <QAction>

namespace zk {

// A menu item that opens the feedback form, as "Send Feedback…" does; its title is its creator's.
// Main-thread only.
class FeedbackMenuItem : public QAction {
    Q_OBJECT
public:
    explicit FeedbackMenuItem(const QString& title, QObject* parent = nullptr);
};

} // namespace zk
