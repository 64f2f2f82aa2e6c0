#include "kit/interface/ProgressDrawing.h"

#include <QFontDatabase>
#include <QPainter>

#include <algorithm>

namespace zk {

QPainterPath squirclePath(const QRectF& rect, double cornerRadius)
{
    const double c = std::min(cornerRadius, std::min(rect.width(), rect.height()) * 0.5);
    const double minX = rect.left();
    const double maxX = rect.right();
    const double minY = rect.top();
    const double maxY = rect.bottom();
    QPainterPath path;
    path.moveTo(minX + c, minY);
    path.lineTo(maxX - c, minY);
    path.cubicTo(QPointF(maxX, minY), QPointF(maxX, minY), QPointF(maxX, minY + c));
    path.lineTo(maxX, maxY - c);
    path.cubicTo(QPointF(maxX, maxY), QPointF(maxX, maxY), QPointF(maxX - c, maxY));
    path.lineTo(minX + c, maxY);
    path.cubicTo(QPointF(minX, maxY), QPointF(minX, maxY), QPointF(minX, maxY - c));
    path.lineTo(minX, minY + c);
    path.cubicTo(QPointF(minX, minY), QPointF(minX, minY), QPointF(minX + c, minY));
    return path;
}

void ProgressCircleShapeLayer::paint(QPainter& painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(path, fillColor);
    const double end = std::clamp(strokeEnd, 0.0, 1.0);
    if (end > 0 && lineWidth > 0) {
        QPen pen(strokeColor, lineWidth);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        if (end >= 1) {
            painter.drawPath(path);
        } else {
            // The part of the path from its start to `end` of its length.
            QPainterPath part;
            const int steps = 128;
            part.moveTo(path.pointAtPercent(0));
            for (int step = 1; step <= steps; ++step) {
                part.lineTo(path.pointAtPercent(end * step / steps));
            }
            painter.drawPath(part);
        }
    }
    painter.restore();
}

double VerticallyCenteredTextLayer::offset(double height, double fontSize)
{
    return (height - fontSize) * 0.5 - fontSize / 10;
}

void VerticallyCenteredTextLayer::draw(QPainter& painter, const QRectF& bounds) const
{
    painter.save();
    painter.setFont(font);
    const double fontSize = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF();
    painter.translate(0, offset(bounds.height(), fontSize));
    painter.drawText(bounds, Qt::AlignHCenter | Qt::AlignTop, text);
    painter.restore();
}

std::optional<QFont> DockProgress::badgeFont()
{
    static const std::optional<QFont> font = []() -> std::optional<QFont> {
        // The PostScript name's family, in bold.
        const QString family = QStringLiteral("Helvetica Neue");
        if (!QFontDatabase::families().contains(family)) {
            return std::nullopt;
        }
        QFont bold(family);
        bold.setBold(true);
        return bold;
    }();
    return font;
}

} // namespace zk
