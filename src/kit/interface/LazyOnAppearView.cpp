#include "kit/interface/LazyOnAppearView.h"

#include "platform/MainQueue.h"

#include <QVBoxLayout>

namespace zk {

LazyOnAppearView::LazyOnAppearView(Build build, QWidget* parent)
    : QWidget(parent)
    , m_build(std::move(build))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void LazyOnAppearView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_requested) {
        return;
    }
    m_requested = true;
    // Not inside the showing itself: the first picture is the empty placeholder.
    platform::MainQueue::post(this, [this] { buildContent(); });
}

void LazyOnAppearView::buildContent()
{
    if (m_content || !m_build) {
        return;
    }
    QWidget* content = std::exchange(m_build, nullptr)();
    if (!content) {
        return;
    }
    m_content = content;
    layout()->addWidget(content);
    content->show();
    emit contentBuilt(content);
}

} // namespace zk
