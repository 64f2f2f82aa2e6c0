#include "kit/interface/ActivitySpinner.h"

#include <QPainter>

namespace zk {

ActivitySpinner::ActivitySpinner(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void ActivitySpinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width(), height()) - 4;
    const QRectF arc((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    QPen pen(palette().color(QPalette::WindowText), 2);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    painter.drawArc(arc, -m_angle * 16, 270 * 16);
}

void ActivitySpinner::showEvent(QShowEvent*)
{
    m_timer.start();
}

void ActivitySpinner::hideEvent(QHideEvent*)
{
    m_timer.stop();
}

} // namespace zk
