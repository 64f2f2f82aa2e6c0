#include "platform/desktop/PanelGeometry.h"

#include <gtest/gtest.h>

using platform::ScreenArea;
using platform::ScreenEdge;
using platform::Screens;

namespace {

// A screen whose panel takes `thickness` pixels at `edge` (none: no panel).
ScreenArea screen(QRect geometry, std::optional<ScreenEdge> edge = std::nullopt, int thickness = 28,
    double devicePixelRatio = 1.0)
{
    QRect available = geometry;
    if (edge == ScreenEdge::Top) {
        available.setTop(available.top() + thickness);
    } else if (edge == ScreenEdge::Bottom) {
        available.setBottom(available.bottom() - thickness);
    } else if (edge == ScreenEdge::Left) {
        available.setLeft(available.left() + thickness);
    } else if (edge == ScreenEdge::Right) {
        available.setRight(available.right() - thickness);
    }
    return ScreenArea { geometry, available, devicePixelRatio };
}

} // namespace

TEST(PanelGeometryTest, ThePanelAtEachEdgeHasItsTrayAtItsEnd)
{
    const QRect whole(0, 0, 1280, 800);
    const struct {
        ScreenEdge edge;
        QRect strip;
        QRect corner;
    } cases[] = {
        { ScreenEdge::Top, QRect(0, 0, 1280, 28), QRect(1252, 0, 28, 28) },
        { ScreenEdge::Bottom, QRect(0, 772, 1280, 28), QRect(1252, 772, 28, 28) },
        { ScreenEdge::Left, QRect(0, 0, 28, 800), QRect(0, 772, 28, 28) },
        { ScreenEdge::Right, QRect(1252, 0, 28, 800), QRect(1252, 772, 28, 28) },
    };
    for (const auto& c : cases) {
        const auto panel = platform::trayPanel(Screens { { screen(whole, c.edge) }, 0 });
        ASSERT_TRUE(panel.has_value()) << int(c.edge);
        EXPECT_EQ(panel->edge, c.edge);
        EXPECT_EQ(panel->strip, c.strip);
        EXPECT_EQ(platform::trayCorner(*panel, Qt::LeftToRight), c.corner) << int(c.edge);
    }
    // Right-to-left desktops keep their tray at the left end of a horizontal panel.
    const auto top = platform::trayPanel(Screens { { screen(whole, ScreenEdge::Top) }, 0 });
    EXPECT_EQ(platform::trayCorner(*top, Qt::RightToLeft), QRect(0, 0, 28, 28));
    const auto left = platform::trayPanel(Screens { { screen(whole, ScreenEdge::Left) }, 0 });
    EXPECT_EQ(platform::trayCorner(*left, Qt::RightToLeft), QRect(0, 772, 28, 28));

    // Two panels: the top one holds the tray.
    ScreenArea both = screen(whole, ScreenEdge::Top, 24);
    both.available.setBottom(whole.bottom() - 40);
    EXPECT_EQ(platform::trayPanel(Screens { { both }, 0 })->edge, ScreenEdge::Top);
    // No panel keeps room free: nothing to go by.
    EXPECT_FALSE(platform::trayPanel(Screens { { screen(whole) }, 0 }).has_value());
    EXPECT_FALSE(platform::trayPanel(Screens {}).has_value());
}

TEST(PanelGeometryTest, ThePrimaryScreensPanelComesFirstThenTheFirstScreenWithOne)
{
    const ScreenArea left = screen(QRect(0, 0, 1280, 1024), ScreenEdge::Bottom, 30);
    const ScreenArea right = screen(QRect(1280, 0, 1920, 1080), ScreenEdge::Top, 24);
    const ScreenArea bare = screen(QRect(3200, 0, 1024, 768));

    auto panel = platform::trayPanel(Screens { { left, right }, 1 });
    ASSERT_TRUE(panel.has_value());
    EXPECT_EQ(panel->screen, 1u);
    EXPECT_EQ(platform::trayCorner(*panel, Qt::LeftToRight), QRect(3176, 0, 24, 24));

    panel = platform::trayPanel(Screens { { bare, left, right }, 0 });
    ASSERT_TRUE(panel.has_value());
    EXPECT_EQ(panel->screen, 1u);
    EXPECT_EQ(platform::trayCorner(*panel, Qt::LeftToRight), QRect(1250, 994, 30, 30));

    // The default anchor follows the same rule, else the primary screen's top right corner.
    EXPECT_EQ(
        platform::defaultTrayAnchor(Screens { { bare, right }, 0 }, Qt::LeftToRight), QRect(3176, 0, 24, 24));
    EXPECT_EQ(
        platform::defaultTrayAnchor(Screens { { screen(QRect(0, 0, 800, 600)), bare }, 1 }, Qt::LeftToRight),
        QRect(4223, 0, 1, 1));
}

TEST(PanelGeometryTest, ScaledScreensKeepThePanelInLogicalPixelsAndConvertTheHostsPositions)
{
    // A 2560 x 1600 screen at scale 2 and a 28 pixel panel: Qt shows 1280 x 800 and a 14 high
    // strip; at 1.5 the strip is 19 high (28 / 1.5 rounded up by the free area's rounding down).
    const auto panel2 = platform::trayPanel(
        Screens { { ScreenArea { QRect(0, 0, 1280, 800), QRect(0, 14, 1280, 786), 2.0 } }, 0 });
    ASSERT_TRUE(panel2.has_value());
    EXPECT_EQ(platform::trayCorner(*panel2, Qt::LeftToRight), QRect(1266, 0, 14, 14));
    const auto panel15 = platform::trayPanel(
        Screens { { ScreenArea { QRect(0, 0, 853, 533), QRect(0, 0, 853, 514), 1.5 } }, 0 });
    ASSERT_TRUE(panel15.has_value());
    EXPECT_EQ(panel15->edge, ScreenEdge::Bottom);
    EXPECT_EQ(platform::trayCorner(*panel15, Qt::LeftToRight), QRect(834, 514, 19, 19));

    // What a StatusNotifierItem host reports counts in the desktop's pixels.
    const Screens scaled { { ScreenArea { QRect(0, 0, 1280, 800), QRect(0, 14, 1280, 786), 2.0 },
                               ScreenArea { QRect(2560, 0, 1280, 720), QRect(2560, 0, 1280, 720), 1.5 } },
        0 };
    EXPECT_EQ(platform::fromDevicePixels(QPoint(2540, 14), scaled), QPoint(1270, 7));
    EXPECT_EQ(platform::fromDevicePixels(QPoint(0, 0), scaled), QPoint(0, 0));
    EXPECT_EQ(platform::fromDevicePixels(QPoint(2560 + 1800, 1000), scaled), QPoint(2560 + 1200, 666));
    EXPECT_EQ(platform::fromDevicePixels(QPoint(2560 + 1920, 10), scaled), std::nullopt);
    EXPECT_EQ(platform::fromDevicePixels(QPoint(10, 1600), scaled), std::nullopt);
    const Screens plain { { ScreenArea { QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 800), 1.0 } }, 0 };
    EXPECT_EQ(platform::fromDevicePixels(QPoint(1279, 799), plain), QPoint(1279, 799));
}
