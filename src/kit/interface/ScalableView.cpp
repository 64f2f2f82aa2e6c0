#include "kit/interface/ScalableView.h"

#include "kit/foundation/DimensionsDescription.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"

#include <QPainter>

#include <cmath>

namespace zk {

ScalableView::ScalableView(QWidget* parent)
    : QWidget(parent)
{
}

ScalableView::~ScalableView() = default;

void ScalableView::setContentWidget(QWidget* content)
{
    // Handing back the content it holds must not delete it.
    if (content == m_content.get()) {
        return;
    }
    m_content.reset(content);
    layOutContent();
    update();
}

void ScalableView::setScale(double value)
{
    scaleTo(QSizeF(value, value));
}

void ScalableView::scaleTo(const QSizeF& size)
{
    if (!std::isfinite(size.width()) || !std::isfinite(size.height())) {
        reportError(GeneralError("The given scale size " + dimensionsDescription(size) + " is not finite."));
        return;
    }
    m_scale = size;
    layOutContent();
    update();
}

QSize ScalableView::contentSize() const
{
    const auto along = [](int length, double factor) {
        return factor > 0 ? static_cast<int>(std::ceil(length / factor)) : 0;
    };
    return { along(width(), m_scale.width()), along(height(), m_scale.height()) };
}

void ScalableView::layOutContent()
{
    if (m_content) {
        m_content->resize(contentSize());
    }
}

void ScalableView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOutContent();
}

void ScalableView::paintEvent(QPaintEvent* /*event*/)
{
    if (!m_content || m_scale.width() <= 0 || m_scale.height() <= 0) {
        return;
    }
    QPainter painter(this);
    painter.scale(m_scale.width(), m_scale.height());
    m_content->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren | QWidget::DrawWindowBackground);
}

} // namespace zk
