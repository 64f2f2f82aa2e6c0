#include "kit/interface/FeedbackMenuItem.h"

#include "kit/interface/StandardMenuItems.h"

namespace zk {

FeedbackMenuItem::FeedbackMenuItem(const QString& title, QObject* parent)
    : QAction(title, parent)
{
    connect(this, &QAction::triggered, this, [open = sendFeedbackAction()] { open(); });
}

} // namespace zk
