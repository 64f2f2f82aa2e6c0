#include "kit/foundation/SecondaryTextColor.h"

#include "support/ColourSchemes.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

TEST(SecondaryTextColor, ContrastRatiosFollowTheLuminanceFormula)
{
    EXPECT_DOUBLE_EQ(zk::contrastRatio(Qt::black, Qt::white), 21.0);
    EXPECT_DOUBLE_EQ(zk::contrastRatio(Qt::white, Qt::black), 21.0);
    EXPECT_DOUBLE_EQ(zk::contrastRatio(QColor(32, 35, 38), QColor(32, 35, 38)), 1.0);
    // The grey that sits just at the readable limit on white.
    EXPECT_NEAR(zk::contrastRatio(QColor(118, 118, 118), Qt::white), 4.54, 0.01);
    // The texts of the report: day totals drawn in the placeholder colour on Breeze Dark.
    EXPECT_LT(zk::contrastRatio(QColor(21, 23, 25), QColor(32, 35, 38)), 1.3);
}

TEST(SecondaryTextColor, DimmerThanTextYetReadableInLightAndDarkSchemes)
{
    for (const bool dark : { false, true }) {
        SCOPED_TRACE(dark ? "dark" : "light");
        const QPalette palette = breezePalette(dark);
        for (const auto& [text, background] : { std::pair { QPalette::WindowText, QPalette::Window },
                 std::pair { QPalette::Text, QPalette::Base } }) {
            for (const QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive }) {
                const QColor secondary = zk::secondaryTextColor(palette, text, background, group);
                const double contrast = zk::contrastRatio(secondary, palette.color(group, background));
                EXPECT_GE(contrast, zk::minimumSecondaryTextContrast);
                EXPECT_LT(contrast,
                    zk::contrastRatio(palette.color(group, text), palette.color(group, background)));
            }
        }
    }
}

TEST(SecondaryTextColor, AFaintSchemeKeepsItsOwnTextColour)
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(128, 128, 128));
    palette.setColor(QPalette::WindowText, QColor(90, 90, 90));
    EXPECT_EQ(zk::secondaryTextColor(palette), QColor(90, 90, 90));
}

TEST(SecondaryTextColor, AWidgetFollowsASwitchOfTheSchemeWhileItIsOpen)
{
    const QPalette previous = QApplication::palette();
    QApplication::setPalette(breezePalette(false));
    {
        QWidget window;
        auto* label = new QLabel(QStringLiteral("help"), &window);
        zk::useSecondaryTextColor(*label);
        const auto contrast = [label] {
            return zk::contrastRatio(label->palette().color(QPalette::WindowText),
                QApplication::palette().color(QPalette::Window));
        };
        EXPECT_GE(contrast(), zk::minimumSecondaryTextContrast);
        EXPECT_LT(label->palette().color(QPalette::WindowText).lightness(), 128);

        QApplication::setPalette(breezePalette(true));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return label->palette().color(QPalette::WindowText).lightness() > 128; }, 2000));
        EXPECT_GE(contrast(), zk::minimumSecondaryTextContrast);
        // Disabled text stays the scheme's own.
        EXPECT_EQ(label->palette().color(QPalette::Disabled, QPalette::WindowText),
            breezePalette(true).color(QPalette::Disabled, QPalette::WindowText));
    }
    QApplication::setPalette(previous);
}
