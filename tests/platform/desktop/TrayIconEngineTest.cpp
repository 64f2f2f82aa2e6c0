#include "platform/linux/TrayIconEngine.h"

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>

#include <gtest/gtest.h>

#include <vector>

namespace {

QPixmap picture(int width, int height, QColor colour)
{
    QPixmap pixmap(width, height);
    pixmap.fill(colour);
    return pixmap;
}

// Fills the pixmap cache past a small limit with what `makeIcon` leaves behind for `count` new
// pictures asked for at the tray's size; true when an entry stored before is still there.
template <class MakeIcon> bool sentinelSurvives(MakeIcon makeIcon, int count)
{
    QPixmapCache::clear();
    const int limit = QPixmapCache::cacheLimit();
    QPixmapCache::setCacheLimit(64); // KiB
    const QString sentinel = QStringLiteral("tray-icon-engine-test-sentinel");
    QPixmapCache::insert(sentinel, picture(8, 8, Qt::red));
    for (int i = 0; i < count; ++i) {
        const QIcon icon = makeIcon(picture(64, 64, QColor(i % 256, 0, 0)));
        const QPixmap shown = icon.pixmap(QSize(22, 22));
        EXPECT_EQ(shown.size(), QSize(22, 22));
    }
    QPixmap found;
    const bool survives = QPixmapCache::find(sentinel, &found);
    QPixmapCache::setCacheLimit(limit);
    QPixmapCache::clear();
    return survives;
}

} // namespace

TEST(TrayIconEngineTest, NewPicturesLeaveNothingInThePixmapCache)
{
    // What a plain icon does, so that the test sees the difference it is about.
    EXPECT_FALSE(sentinelSurvives([](QPixmap pixmap) { return QIcon(pixmap); }, 100));
    EXPECT_TRUE(
        sentinelSurvives([](QPixmap pixmap) { return QIcon(new platform::TrayIconEngine(pixmap)); }, 100));
}

TEST(TrayIconEngineTest, AnswersAsAPixmapIconDoes)
{
    const QPixmap wide = picture(128, 64, Qt::blue);
    const QIcon plain(wide);
    const QIcon engine(new platform::TrayIconEngine(wide));
    for (const QSize asked : { QSize(22, 22), QSize(24, 16), QSize(256, 256), QSize(128, 64) }) {
        EXPECT_EQ(engine.actualSize(asked), plain.actualSize(asked))
            << asked.width() << "x" << asked.height();
        EXPECT_EQ(engine.pixmap(asked).size(), plain.pixmap(asked).size());
    }
    EXPECT_EQ(engine.pixmap(QSize(22, 22)).toImage().pixelColor(5, 5), QColor(Qt::blue));
    EXPECT_TRUE(QIcon(new platform::TrayIconEngine(QPixmap())).isNull());

    // Painted centred in the rectangle, its proportions kept.
    QImage canvas(40, 40, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        engine.paint(&painter, QRect(0, 0, 40, 40));
    }
    EXPECT_EQ(canvas.pixelColor(20, 20), QColor(Qt::blue));
    EXPECT_EQ(canvas.pixelColor(20, 5).alpha(), 0);
}

TEST(TrayIconEngineTest, WithADrawingATraysSizeIsDrawnAtThatSizeNotScaledDown)
{
    std::vector<int> asked;
    const auto drawing = [&asked](int height) {
        asked.push_back(height);
        return picture(height, height, Qt::green);
    };
    const QIcon icon(new platform::TrayIconEngine(picture(64, 64, Qt::blue), drawing));
    const QPixmap shown = icon.pixmap(QSize(22, 22));
    EXPECT_EQ(shown.size(), QSize(22, 22));
    EXPECT_EQ(shown.toImage().pixelColor(5, 5), QColor(Qt::green));
    // Painted again at the same size, the drawing is kept; the picture's own size needs none.
    static_cast<void>(icon.pixmap(QSize(22, 22)));
    EXPECT_EQ(icon.pixmap(QSize(64, 64)).toImage().pixelColor(5, 5), QColor(Qt::blue));
    EXPECT_EQ(asked, std::vector<int> { 22 });

    // On a screen of ratio one and a half, a 16-point tray shows 24 pixels.
    QImage canvas(24, 24, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(1.5);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        icon.paint(&painter, QRect(0, 0, 16, 16));
    }
    EXPECT_EQ(asked.back(), 24);
    EXPECT_EQ(canvas.pixelColor(12, 12), QColor(Qt::green));
}
