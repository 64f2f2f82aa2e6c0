#include "kit/interface/TintedBox.h"

#include <QPainter>

namespace zk {

TintedBox::TintedBox(double cornerRadius, QWidget* parent)
    : QWidget(parent)
    , m_cornerRadius(cornerRadius)
{
}

void TintedBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor tint = palette().color(QPalette::WindowText);
    tint.setAlphaF(0.05);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
}

} // namespace zk
