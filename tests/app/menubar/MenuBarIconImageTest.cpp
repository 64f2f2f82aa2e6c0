#include "app/menubar/MenuBarIconImage.h"
#include "platform/desktop/MaterialDesignIcons.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

using kiruvo::MenuBarIcon;

namespace {

bool packagedFontInstalled()
{
    return QFile::exists(QString::fromUtf8(platform::MaterialDesignIcons::defaultFontPath))
        && QFile::exists(QString::fromUtf8(platform::MaterialDesignIcons::defaultStyleSheetPath));
}

int visiblePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        }
    }
    return count;
}

bool onlyBlack(const QImage& image)
{
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            const QRgb pixel = plain.pixel(x, y);
            if (qAlpha(pixel) > 0 && (qRed(pixel) | qGreen(pixel) | qBlue(pixel)) != 0) {
                return false;
            }
        }
    }
    return true;
}

std::string nameOf(MenuBarIcon icon)
{
    return std::string(kiruvo::rawValue(icon));
}

constexpr auto allIcons = kiruvo::EnumCases<MenuBarIcon>::all;

class MenuBarIconImageTest : public ::testing::Test {
protected:
    void TearDown() override { platform::MaterialDesignIcons::setPathsForTesting({}, {}); }

    qreal ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
};

} // namespace

TEST_F(MenuBarIconImageTest, EveryIconIsAVisibleSquareOfItsOwnSize)
{
    for (const MenuBarIcon icon : allIcons) {
        const QImage image = kiruvo::image(icon);
        ASSERT_FALSE(image.isNull()) << nameOf(icon);
        const int side = kiruvo::applicationImageSize(icon).value_or(kiruvo::symbolImageSize);
        EXPECT_EQ(image.size(), QSize(side, side) * ratio) << nameOf(icon);
        EXPECT_DOUBLE_EQ(image.devicePixelRatio(), ratio) << nameOf(icon);
        const int visible = visiblePixels(image);
        // A recognisable shape: neither a speck nor a filled square.
        EXPECT_GT(visible, image.width() * image.height() / 8) << nameOf(icon);
        EXPECT_LT(visible, image.width() * image.height()) << nameOf(icon);
        // Black, for the status item to recolour.
        EXPECT_TRUE(onlyBlack(image)) << nameOf(icon);
    }
    EXPECT_EQ(kiruvo::image(MenuBarIcon::kitten2).size(), QSize(22, 22) * ratio);
    EXPECT_EQ(kiruvo::image(MenuBarIcon::kitten1).size(), QSize(16, 16) * ratio);
}

TEST_F(MenuBarIconImageTest, EachIconHasOneSourceAndNoTwoShareIt)
{
    std::set<std::string_view> glyphs;
    std::set<QString> pictures;
    for (const MenuBarIcon icon : allIcons) {
        const auto glyph = kiruvo::materialDesignIconName(icon);
        const QString picture = kiruvo::imageResourcePath(icon);
        EXPECT_NE(glyph.has_value(), !picture.isEmpty()) << nameOf(icon);
        if (glyph) {
            EXPECT_TRUE(glyphs.insert(*glyph).second) << "glyph used twice: " << *glyph;
        } else {
            EXPECT_TRUE(pictures.insert(picture).second) << "picture used twice: " << picture.toStdString();
            EXPECT_TRUE(QFile::exists(picture)) << picture.toStdString();
        }
    }
    EXPECT_EQ(kiruvo::imageResourcePath(MenuBarIcon::kitten3), ":/images/kitten3.svg");
    EXPECT_EQ(kiruvo::materialDesignIconName(MenuBarIcon::heart), "heart");
    // The stand-in for every symbol when the font is missing.
    EXPECT_TRUE(QFile::exists(":/images/heart.svg"));

    if (packagedFontInstalled()) {
        for (const std::string_view glyph : glyphs) {
            EXPECT_TRUE(platform::MaterialDesignIcons::codePoint(glyph).has_value())
                << glyph << " is not in the installed icon font";
        }
    }
}

TEST_F(MenuBarIconImageTest, EveryIconLooksDifferent)
{
    if (!packagedFontInstalled()) {
        GTEST_SKIP() << "fonts-materialdesignicons-webfont is not installed";
    }
    std::vector<std::pair<MenuBarIcon, QImage>> seen;
    for (const MenuBarIcon icon : allIcons) {
        const QImage image = kiruvo::image(icon);
        for (const auto& [other, picture] : seen) {
            EXPECT_NE(image, picture) << nameOf(icon) << " looks like " << nameOf(other);
        }
        seen.emplace_back(icon, image);
    }
    // Built afresh each time, and the same each time.
    EXPECT_EQ(kiruvo::image(MenuBarIcon::star), kiruvo::image(MenuBarIcon::star));
}

TEST_F(MenuBarIconImageTest, WithoutTheFontEverySymbolIsTheHeartAndTheOwnPicturesStay)
{
    const QImage ownBefore = kiruvo::image(MenuBarIcon::kitten4);
    const QImage tortoiseBefore = kiruvo::image(MenuBarIcon::tortoise);

    QTemporaryDir dir;
    platform::MaterialDesignIcons::setPathsForTesting(
        dir.filePath("missing.ttf"), dir.filePath("missing.css"));
    const QImage heart = kiruvo::image(MenuBarIcon::heart);
    ASSERT_FALSE(heart.isNull());
    EXPECT_GT(visiblePixels(heart), 0);
    for (const MenuBarIcon icon :
        { MenuBarIcon::leaf, MenuBarIcon::star, MenuBarIcon::eyes, MenuBarIcon::circle }) {
        EXPECT_EQ(kiruvo::image(icon), heart) << nameOf(icon);
    }
    EXPECT_EQ(kiruvo::image(MenuBarIcon::kitten4), ownBefore);
    EXPECT_EQ(kiruvo::image(MenuBarIcon::tortoise), tortoiseBefore);
    if (packagedFontInstalled()) {
        // The font's heart and ours are different drawings: the stand-in really stood in.
        platform::MaterialDesignIcons::setPathsForTesting({}, {});
        EXPECT_NE(kiruvo::image(MenuBarIcon::heart), heart);
    }
}
