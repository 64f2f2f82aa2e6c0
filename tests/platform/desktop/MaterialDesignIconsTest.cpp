#include "platform/desktop/MaterialDesignIcons.h"

#include "platform/Logger.h"

#include <QFile>
#include <QRect>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using platform::MaterialDesignIcons;

namespace {

bool packagedFontInstalled()
{
    return QFile::exists(QString::fromUtf8(MaterialDesignIcons::defaultFontPath))
        && QFile::exists(QString::fromUtf8(MaterialDesignIcons::defaultStyleSheetPath));
}

// The visible pixels' bounding box, in device pixels.
QRect inkBounds(const QImage& image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

class MaterialDesignIconsTest : public ::testing::Test {
protected:
    void TearDown() override { MaterialDesignIcons::setPathsForTesting({}, {}); }

    QString write(const QString& name, const QByteArray& text)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(MaterialDesignIconsTest, TheStyleSheetGivesEachIconNameItsGlyph)
{
    const auto glyphs = MaterialDesignIcons::parseStyleSheet(R"css(
/* MaterialDesignIcons.com */
.mdi {
  display: inline-block;
}

.mdi-heart:before {
  content: "\F2D1";
}

.mdi-timer-10:before { content: "\f51c"; }
.mdi-alarm-check:before{content:'\F021'}
.mdi-18px.mdi-set, .mdi-18px.mdi:before {
  font-size: 18px;
}
.mdi-spin:before {
  animation: mdi-spin 2s infinite linear;
}
.mdi-surrogate:before { content: "\D800"; }
.mdi-too-far:before { content: "\110000"; }
.mdi-mismatched:before { content: "\F000'; }
.mdi-rotate-45:before {
  transform: rotate(45deg);
}
)css");
    const std::map<std::string, char32_t, std::less<>> expected {
        { "heart", 0xF2D1 },
        { "timer-10", 0xF51C },
        { "alarm-check", 0xF021 },
    };
    EXPECT_EQ(glyphs, expected);
    EXPECT_TRUE(MaterialDesignIcons::parseStyleSheet("").empty());
    EXPECT_TRUE(MaterialDesignIcons::parseStyleSheet(".mdi-heart:before { content: \"\\F2D1\"").empty());
}

TEST_F(MaterialDesignIconsTest, OnlyWholeRulesWithOneCodePointNameAnIcon)
{
    const auto glyphs
        = MaterialDesignIcons::parseStyleSheet(".mdi-tabs:before\t{\r\n\tcontent:\v\"\\F100\"\f}"
                                               ".mdi-tabs:before { content: \"\\F101\"; }"
                                               ".mdi-six:before { content: \"\\10FFFF\" }"
                                               ".mdi-seven:before { content: \"\\0010FFF\" }"
                                               ".mdi-no-digits:before { content: \"\\\" }"
                                               ".mdi-not-hex:before { content: \"\\F10G\" }"
                                               ".mdi-trailing-:before { content: \"\\F102\" }"
                                               ".mdi-double--hyphen:before { content: \"\\F103\" }"
                                               ".mdi-Upper:before { content: \"\\F104\" }"
                                               ".mdi-two;;:before { content: \"\\F105\" }"
                                               ".mdi-after:after { content: \"\\F106\" }"
                                               ".mdi-unclosed:before { content: \"\\F107\";"
                                               ".mdi-zero:before { content: '\\0' }"
                                               ".mdi-last:before{content:\"\\f108\"}");
    const std::map<std::string, char32_t, std::less<>> expected {
        { "tabs", 0xF100 }, // the first rule of a name counts
        { "six", 0x10FFFF },
        { "last", 0xF108 },
    };
    EXPECT_EQ(glyphs, expected);
}

TEST_F(MaterialDesignIconsTest, ThePackagedFontDrawsGlyphsByName)
{
    if (!packagedFontInstalled()) {
        GTEST_SKIP() << "fonts-materialdesignicons-webfont is not installed";
    }
    EXPECT_TRUE(MaterialDesignIcons::isAvailable());
    EXPECT_EQ(MaterialDesignIcons::codePoint("heart"), char32_t(0xF2D1));
    EXPECT_EQ(MaterialDesignIcons::codePoint("timer-sand"), char32_t(0xF51F));
    EXPECT_FALSE(MaterialDesignIcons::codePoint("no-such-icon").has_value());
    EXPECT_FALSE(MaterialDesignIcons::codePoint("mdi-heart").has_value());

    const QImage heart = MaterialDesignIcons::render("heart", 18, 2.0, Qt::red);
    ASSERT_FALSE(heart.isNull());
    EXPECT_EQ(heart.size(), QSize(36, 36));
    EXPECT_DOUBLE_EQ(heart.devicePixelRatio(), 2.0);
    const QRect ink = inkBounds(heart);
    ASSERT_FALSE(ink.isEmpty());
    // Centred in its square, and filling most of it as the glyph is designed to.
    EXPECT_NEAR(ink.center().x(), 17.5, 2.0);
    EXPECT_NEAR(ink.center().y(), 17.5, 2.0);
    EXPECT_GT(ink.width(), 36 / 2);
    const QColor middle = heart.pixelColor(ink.center());
    EXPECT_EQ(middle, QColor(Qt::red));

    EXPECT_NE(MaterialDesignIcons::render("star", 18, 1.0, Qt::black),
        MaterialDesignIcons::render("heart", 18, 1.0, Qt::black));
    EXPECT_TRUE(MaterialDesignIcons::render("no-such-icon", 18, 1.0, Qt::black).isNull());
    EXPECT_TRUE(MaterialDesignIcons::render("heart", 0, 1.0, Qt::black).isNull());
    EXPECT_TRUE(MaterialDesignIcons::render("heart", 18, std::nan(""), Qt::black).isNull());
}

TEST_F(MaterialDesignIconsTest, AMissingFontOrStyleSheetLeavesNoIcons)
{
    const QString styleSheet = write("icons.css", ".mdi-heart:before {\n  content: \"\\F2D1\";\n}\n");
    MaterialDesignIcons::setPathsForTesting(dir.filePath("missing.ttf"), styleSheet);
    EXPECT_FALSE(MaterialDesignIcons::isAvailable());
    // The names are still known; only the drawing is missing.
    EXPECT_EQ(MaterialDesignIcons::codePoint("heart"), char32_t(0xF2D1));
    EXPECT_TRUE(MaterialDesignIcons::render("heart", 18, 1.0, Qt::black).isNull());

    MaterialDesignIcons::setPathsForTesting({}, dir.filePath("missing.css"));
    EXPECT_FALSE(MaterialDesignIcons::isAvailable());
    EXPECT_FALSE(MaterialDesignIcons::codePoint("heart").has_value());
    EXPECT_TRUE(MaterialDesignIcons::render("heart", 18, 1.0, Qt::black).isNull());

    // A file that is no font at all.
    MaterialDesignIcons::setPathsForTesting(write("broken.ttf", "not a font"), styleSheet);
    EXPECT_FALSE(MaterialDesignIcons::isAvailable());
}

// Glyphs are looked up by name as they are asked for; a sheet that cannot be read is tried once
// and told once, however many names are asked for.
TEST_F(MaterialDesignIconsTest, EachNameIsLookedUpOnceAndAnUnreadableSheetIsToldOnce)
{
    platform::LogCapture log;
    const QString styleSheet = write("icons.css",
        ".mdi-heart:before { content: \"\\F2D1\"; }\n.mdi-star:before { content: \"\\F4CE\"; }\n");
    MaterialDesignIcons::setPathsForTesting({}, styleSheet);
    EXPECT_EQ(MaterialDesignIcons::codePoint("heart"), char32_t(0xF2D1));
    // The answer given for a name stays the answer, as one reading of the sheet would give.
    ASSERT_TRUE(QFile::remove(styleSheet));
    EXPECT_EQ(MaterialDesignIcons::codePoint("heart"), char32_t(0xF2D1));

    MaterialDesignIcons::setPathsForTesting({}, dir.filePath("missing.css"));
    for (const char* name : { "heart", "star", "heart", "alarm" }) {
        EXPECT_FALSE(MaterialDesignIcons::codePoint(name).has_value()) << name;
    }
    EXPECT_FALSE(MaterialDesignIcons::isAvailable());
    EXPECT_EQ(log.countContaining("could not be read or names no icons"), 1);
}

TEST_F(MaterialDesignIconsTest, ANameWhoseGlyphTheFontLacksDrawsNothing)
{
    if (!packagedFontInstalled()) {
        GTEST_SKIP() << "fonts-materialdesignicons-webfont is not installed";
    }
    // A style sheet from another version of the font, naming a glyph this font does not have.
    MaterialDesignIcons::setPathsForTesting({},
        write("newer.css",
            ".mdi-heart:before { content: \"\\F2D1\"; }\n.mdi-newer:before { content: \"\\F1A00\"; }\n"));
    EXPECT_FALSE(MaterialDesignIcons::render("heart", 18, 1.0, Qt::black).isNull());
    EXPECT_EQ(MaterialDesignIcons::codePoint("newer"), char32_t(0xF1A00));
    EXPECT_TRUE(MaterialDesignIcons::render("newer", 18, 1.0, Qt::black).isNull());
}
