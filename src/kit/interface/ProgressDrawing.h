#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

namespace zk {

// Drawing pieces of the progress indicators (bar, squircle, circle and badge styles).

// A rectangle with rounded corners whose curves start and end on the edges with both control
// points in the corner: softer than circular arcs. The radius is at most half the shorter side; the
// path ends where it began, without an explicit close.
QPainterPath squirclePath(const QRectF& rect, double cornerRadius);

// The circle of the circle style: a path (usually an ellipse) stroked from its start to
// `strokeEnd` (0 to 1) and optionally filled.
struct ProgressCircleShapeLayer {
    QPainterPath path;
    QColor fillColor = Qt::transparent;
    QColor strokeColor = Qt::black;
    double lineWidth = 1;
    double strokeEnd = 1;

    void paint(QPainter& painter) const;
};

// A text in a box, centred across it and, as far as the font's size tells, vertically (the badge's
// number).
struct VerticallyCenteredTextLayer {
    QString text;
    QFont font;

    // How far down a text drawn at the top of a box of `height` moves so that it sits in the middle:
    // half the room left by the font size, less a tenth of the font size for the font's descent.
    static double offset(double height, double fontSize);

    void draw(QPainter& painter, const QRectF& bounds) const;
};

namespace DockProgress {
// The font the badge's number is asked in.
inline constexpr const char* badgeFontName = "HelveticaNeue-Bold";
// That font at the default size, made once; nothing where Helvetica Neue is not installed.
std::optional<QFont> badgeFont();
} // namespace DockProgress

} // namespace zk
