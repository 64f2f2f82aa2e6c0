#pragma once

#include <QIconEngine>
#include <QPixmap>

#include <functional>

namespace platform {

// The tray's picture as an icon that keeps nothing in the process-wide pixmap cache.
//
// A plain QIcon made from a pixmap stores every size it is asked for in QPixmapCache under that
// pixmap's key, and the entry outlives the icon: the status item gets a new picture every minute
// and several for each frame of a reminder's shake, so each would leave its picture behind until
// the cache reaches its limit. This engine scales the one picture it holds when asked and lets the
// result go with the caller. Main-thread only, as icons are.
//
// Given a drawing, a size other than the picture's is drawn afresh at that height instead of
// scaled: a tray shows its icons at 22 or 24 pixels, where the picture's letters scaled down from
// 64 blur away. The last size drawn is kept for the next paint.
class TrayIconEngine final : public QIconEngine {
public:
    // Draws the picture at a height in pixels, in the proportions of `picture`.
    using Drawing = std::function<QPixmap(int height)>;

    explicit TrayIconEngine(QPixmap picture, Drawing drawing = {});

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;
    bool isNull() override;

private:
    QPixmap m_picture;
    Drawing m_drawing;
    QPixmap m_drawn;
};

} // namespace platform
