#pragma once

#include <QImage>

namespace zk {

// Cuts the shape of `mask` out of `content`: where the mask is opaque the result is transparent,
// where it is clear the content shows; partly transparent mask pixels fade the content as much. The
// mask is placed in the content's rectangle as `alignment` says.
QImage invertedMask(const QImage& content, const QImage& mask, Qt::Alignment alignment = Qt::AlignCenter);

} // namespace zk
