#pragma once

#include <QIconEngine>
#include <QPixmap>

namespace platform {

// The tray's picture as an icon that keeps nothing in the process-wide pixmap cache.
//
// A plain QIcon made from a pixmap stores every size it is asked for in QPixmapCache under that
// pixmap's key, and the entry outlives the icon: the status item gets a new picture every minute
// and several for each frame of a reminder's shake, so each would leave its picture behind until
// the cache reaches its limit. This engine scales the one picture it holds when asked and lets the
// result go with the caller. Main-thread only, as icons are.
class TrayIconEngine final : public QIconEngine {
public:
    explicit TrayIconEngine(QPixmap picture);

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
};

} // namespace platform
