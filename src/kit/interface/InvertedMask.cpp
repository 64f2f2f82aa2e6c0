#include "kit/interface/InvertedMask.h"

#include <QPainter>
#include <QStyle>

namespace zk {

QImage invertedMask(const QImage& content, const QImage& mask, Qt::Alignment alignment)
{
    QImage result = content.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    const QRect placed = QStyle::alignedRect(Qt::LeftToRight, alignment, mask.size(), result.rect());
    painter.drawImage(placed, mask);
    painter.end();
    return result;
}

} // namespace zk
