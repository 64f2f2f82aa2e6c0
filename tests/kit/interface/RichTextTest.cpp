#include "kit/interface/RichText.h"
#include "kit/interface/KeyDescriptions.h"

#include <QApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <gtest/gtest.h>

namespace {

// An element as an ordered dictionary yields it.
struct Element {
    std::string key;
    double value;
};

std::vector<QTextCharFormat> formatsOf(const QTextDocument& document)
{
    std::vector<QTextCharFormat> formats;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            formats.push_back(fragment.fragment().charFormat());
        }
    }
    return formats;
}

} // namespace

TEST(KeyValueLinesTest, AnyPrintableValueInTheCollectionsOrder)
{
    const std::vector<std::pair<std::string, int>> numbers { { "b", 2 }, { "a", -1 } };
    EXPECT_EQ(zk::formatKeyValueLines(numbers), "b: 2\na: -1");
    const std::vector<std::pair<QString, QString>> texts { { "Locale", "en" } };
    EXPECT_EQ(zk::formatKeyValueLines(texts), "Locale: en");
    const std::vector<std::pair<const char*, bool>> flags { { "x", true }, { "y", false } };
    EXPECT_EQ(zk::formatKeyValueLines(flags), "x: true\ny: false");
    const std::vector<Element> ordered { { "zeta", 1.5 }, { "alpha", 2 } };
    EXPECT_EQ(zk::formatKeyValueLines(ordered), "zeta: 1.5\nalpha: 2");
    EXPECT_EQ(zk::formatKeyValueLines(std::vector<Element> {}), "");
}

TEST(RichTextTest, WithColorColoursACopyOnly)
{
    QTextDocument original;
    original.setHtml("plain <b>bold</b>");
    const auto coloured = zk::withColor(original, Qt::red);
    EXPECT_EQ(coloured->toPlainText(), "plain bold");
    for (const QTextCharFormat& format : formatsOf(*coloured)) {
        EXPECT_EQ(format.foreground().color(), QColor(Qt::red));
    }
    bool boldKept = false;
    for (const QTextCharFormat& format : formatsOf(*coloured)) {
        boldKept = boldKept || format.fontWeight() == QFont::Bold;
    }
    EXPECT_TRUE(boldKept);
    for (const QTextCharFormat& format : formatsOf(original)) {
        EXPECT_NE(format.foreground().color(), QColor(Qt::red));
    }
}

TEST(RichTextTest, SetFontSizeKeepsEachRunsFontAndGivesPlainRunsTheApplicationFont)
{
    QTextDocument plain("just text");
    zk::setFontSize(plain, 21);
    for (const QTextCharFormat& format : formatsOf(plain)) {
        EXPECT_DOUBLE_EQ(format.font().pointSizeF(), 21);
        EXPECT_EQ(format.font().family(), QApplication::font().family());
    }

    QTextDocument mixed;
    QTextCursor cursor(&mixed);
    QTextCharFormat mono;
    mono.setFontFamilies({ QStringLiteral("Monospace") });
    mono.setFontWeight(QFont::Bold);
    cursor.insertText("code", mono);
    cursor.insertText(" words", QTextCharFormat());
    zk::setFontSize(mixed, 9);
    const auto formats = formatsOf(mixed);
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formats[0].fontFamilies().toStringList(), QStringList { "Monospace" });
    EXPECT_EQ(formats[0].fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(formats[0].fontPointSize(), 9);
    EXPECT_DOUBLE_EQ(formats[1].fontPointSize(), 9);
}
