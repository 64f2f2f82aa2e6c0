#include "platform/linux/PanelColourSources.h"
#include "platform/desktop/PanelGeometry.h"
#include "platform/linux/StatusNotifierItemBackend.h"

#include <QPainter>
#include <gtest/gtest.h>

using platform::DesktopColourScheme;

TEST(PanelColourSourcesTest, ThePanelsColourIsWhatMostOfItsPixelsShowAroundTheIcons)
{
    QImage panel(224, 28, QImage::Format_RGB32);
    panel.fill(QColor(0x26, 0x26, 0x26));
    {
        QPainter painter(&panel);
        // Icons and a clock's text on it, each smaller than the bare panel.
        painter.fillRect(QRect(4, 4, 20, 20), Qt::white);
        painter.fillRect(QRect(30, 4, 20, 20), QColor(0xff, 0x2d, 0x55));
        painter.fillRect(QRect(60, 6, 60, 16), QColor(0xee, 0xee, 0xec));
    }
    EXPECT_EQ(platform::dominantColour(panel), QColor(0x26, 0x26, 0x26));
    // A gradient's shades within one bin come out as their mean.
    QImage gradient(2, 1, QImage::Format_RGB32);
    gradient.setPixelColor(0, 0, QColor(0xf0, 0xf0, 0xf0));
    gradient.setPixelColor(1, 0, QColor(0xf2, 0xf2, 0xf2));
    EXPECT_EQ(platform::dominantColour(gradient), QColor(0xf1, 0xf1, 0xf1));
    EXPECT_EQ(platform::dominantColour(QImage()), std::nullopt);
}

TEST(PanelColourSourcesTest, TheTraysColoursNameTheForegroundFirst)
{
    // What xfce4-panel names with a dark panel: foreground, error, warning, success.
    const quint32 colours[12] = { 61166, 61166, 60652, 52428, 0, 0, 62965, 31097, 0, 19789, 39321, 1542 };
    EXPECT_EQ(platform::trayForegroundFrom(colours, 12), QColor(0xee, 0xee, 0xec));
    const quint32 overlong[3] = { 0x1ffff, 0, 0xffff };
    EXPECT_EQ(platform::trayForegroundFrom(overlong, 3), QColor(0xff, 0, 0xff));
    EXPECT_EQ(platform::trayForegroundFrom(colours, 2), std::nullopt);
    EXPECT_EQ(platform::trayForegroundFrom(nullptr, 12), std::nullopt);
}

TEST(PanelColourSourcesTest, TheColourSchemeGuessesThePanelOnlyWhereItTells)
{
    // GNOME Shell's bar is dark, light scheme or not.
    EXPECT_EQ(DesktopColourScheme::panelBackgroundFor("ubuntu:GNOME", 2u)->lightness() < 80, true);
    EXPECT_EQ(DesktopColourScheme::panelBackgroundFor("GNOME", std::nullopt)->lightness() < 80, true);
    EXPECT_EQ(DesktopColourScheme::panelBackgroundFor("KDE", 1u)->lightness() < 80, true);
    EXPECT_EQ(DesktopColourScheme::panelBackgroundFor("KDE", 2u)->lightness() > 200, true);
    EXPECT_EQ(DesktopColourScheme::panelBackgroundFor("XFCE", 0u), std::nullopt);
    EXPECT_EQ(DesktopColourScheme::panelBackgroundFor("", std::nullopt), std::nullopt);
}

TEST(PanelColourSourcesTest, TheStatusNotifierItemLooksAtThePanelsTrayEndOrWhereTheHostSawTheClick)
{
    using platform::ScreenArea;
    const platform::Screens top { { ScreenArea { QRect(0, 0, 1280, 800), QRect(0, 28, 1280, 772), 1.0 } },
        0 };
    using Backend = platform::StatusNotifierItemBackend;
    EXPECT_EQ(Backend::panelSampleArea(top, std::nullopt), QRect(1056, 0, 224, 28));
    EXPECT_EQ(Backend::panelSampleArea(top, QPoint(400, 10)), QRect(288, 0, 224, 28));
    // A click off the panel (a host that reports the pointer elsewhere) is not the panel.
    EXPECT_EQ(Backend::panelSampleArea(top, QPoint(400, 300)), QRect(1056, 0, 224, 28));
    const platform::Screens left { { ScreenArea { QRect(0, 0, 1280, 800), QRect(40, 0, 1240, 800), 1.0 } },
        0 };
    EXPECT_EQ(Backend::panelSampleArea(left, std::nullopt), QRect(0, 480, 40, 320));
    const platform::Screens none { { ScreenArea { QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 800), 1.0 } },
        0 };
    EXPECT_EQ(Backend::panelSampleArea(none, std::nullopt), std::nullopt);
}
