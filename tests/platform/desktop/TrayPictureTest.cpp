#include "platform/desktop/StatusItem.h"
#include "platform/linux/TrayStatusItemBackend.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using platform::StatusItemAppearance;
using platform::TrayStatusItemBackend;

namespace {

StatusItemAppearance titled(const QString& title)
{
    StatusItemAppearance appearance;
    appearance.title = title;
    return appearance;
}

// One glyph as it lands on the panel: the pixels of a run of the figure's own colour that touch
// one another (diagonals included).
struct Glyph {
    QRect box;
    std::vector<QPoint> pixels;
};

// The glyphs of a picture drawn in white, in reading order: lines from the top, each from the left.
std::vector<Glyph> glyphsOf(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const auto inked = [&](int x, int y) {
        const QRgb pixel = image.pixel(x, y);
        // The figure's white more than half covering the pixel, not the dark halo around it.
        return qAlpha(pixel) > 128 && qRed(pixel) > 128;
    };
    std::vector<std::vector<bool>> seen(image.width(), std::vector<bool>(image.height(), false));
    std::vector<Glyph> glyphs;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (seen[x][y] || !inked(x, y)) {
                continue;
            }
            Glyph glyph;
            std::vector<QPoint> stack { QPoint(x, y) };
            seen[x][y] = true;
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                glyph.pixels.push_back(p);
                glyph.box |= QRect(p, QSize(1, 1));
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const QPoint q = p + QPoint(dx, dy);
                        if (image.rect().contains(q) && !seen[q.x()][q.y()] && inked(q.x(), q.y())) {
                            seen[q.x()][q.y()] = true;
                            stack.push_back(q);
                        }
                    }
                }
            }
            glyphs.push_back(std::move(glyph));
        }
    }
    // Glyphs whose rows overlap stand on one line.
    std::sort(glyphs.begin(), glyphs.end(), [](const Glyph& a, const Glyph& b) {
        const bool sameLine = a.box.top() <= b.box.bottom() && b.box.top() <= a.box.bottom();
        return sameLine ? a.box.left() < b.box.left() : a.box.top() < b.box.top();
    });
    return glyphs;
}

// How many separate strokes cross the glyph's row at this height.
int strokesAcross(const Glyph& glyph, int y)
{
    std::vector<bool> row(glyph.box.width(), false);
    for (const QPoint& p : glyph.pixels) {
        if (p.y() == y) {
            row[p.x() - glyph.box.left()] = true;
        }
    }
    int strokes = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
        strokes += row[i] && (i == 0 || !row[i - 1]) ? 1 : 0;
    }
    return strokes;
}

} // namespace

TEST(TrayPictureTest, EveryFigureReadsLetterByLetterAtAPanelsSize)
{
    // Every form the figure takes, at the sizes panels show it: digits, the unit letters (h and d
    // with their ascenders, m at the height of lower-case letters), each its own shape apart from
    // its neighbours, and the m's three stems told apart.
    const QStringList figures { "0m", "7m", "59m", "1h", "1h 5m", "1h 59m", "10h 59m", "23h 59m", "1d 2h",
        "12d 23h" };
    for (const int size : { 22, 24 }) {
        for (const QString& figure : figures) {
            const QImage picture
                = TrayStatusItemBackend::render(titled(figure), size, QColor(Qt::white)).toImage();
            const std::vector<Glyph> glyphs = glyphsOf(picture);
            const QString letters = QString(figure).remove(QLatin1Char(' '));
            const std::string what = figure.toStdString() + " at " + std::to_string(size) + " px";
            if (glyphs.size() != std::size_t(letters.size())) {
                ADD_FAILURE() << what << ": " << glyphs.size() << " separate shapes";
                continue;
            }
            for (qsizetype i = 0; i < letters.size(); ++i) {
                const QChar letter = letters[i];
                const QRect& box = glyphs[std::size_t(i)].box;
                const std::string glyph = what + ", " + QString(letter).toStdString();
                if (letter == QLatin1Char('m')) {
                    EXPECT_GE(box.height(), size / 4) << glyph;
                    EXPECT_GE(box.width(), 6) << glyph;
                    EXPECT_EQ(strokesAcross(glyphs[std::size_t(i)], box.center().y()), 3) << glyph;
                } else {
                    EXPECT_GE(box.height(), size / 3) << glyph;
                    EXPECT_GE(box.width(), letter == QLatin1Char('1') ? 2 : 4) << glyph;
                }
            }
        }
    }
}

TEST(TrayPictureTest, AtSwaybarsSixteenPixelsNoGlyphsTouchAndEachLineIsAsTallAsFits)
{
    // Two lines in 16 pixels: each glyph apart from its neighbours, and every glyph of a line, the
    // m as well as the digits, standing the line's full height of 7 pixels.
    constexpr int size = 16;
    for (const QString& figure :
        { QString("1h 59m"), QString("10h 59m"), QString("23h 59m"), QString("12d 23h") }) {
        const QImage picture
            = TrayStatusItemBackend::render(titled(figure), size, QColor(Qt::white)).toImage();
        const std::vector<Glyph> glyphs = glyphsOf(picture);
        const QString letters = QString(figure).remove(QLatin1Char(' '));
        const std::string what = figure.toStdString();
        ASSERT_EQ(glyphs.size(), std::size_t(letters.size())) << what << ": glyphs touch";
        for (qsizetype i = 0; i < letters.size(); ++i) {
            const Glyph& glyph = glyphs[std::size_t(i)];
            const std::string name = what + ", " + QString(letters[i]).toStdString();
            EXPECT_GE(glyph.box.height(), (size - 1) / 2 - 1) << name;
            if (letters[i] == QLatin1Char('m')) {
                EXPECT_EQ(strokesAcross(glyph, glyph.box.center().y()), 3) << name;
            }
        }
    }
}

namespace {

// The pixels of the picture, laid on a bar of this colour, that are opaque and stand out from it.
int standingOut(const QImage& picture, const QColor& bar)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            count += qAlpha(pixel) == 255 && platform::contrastRatio(QColor(pixel), bar) >= 4.5 ? 1 : 0;
        }
    }
    return count;
}

} // namespace

TEST(TrayPictureTest, WhereThePanelsColourIsUnknownThePictureReadsOnDarkAndLightBarsAlike)
{
    StatusItemAppearance heart;
    heart.image = QImage(18, 18, QImage::Format_ARGB32_Premultiplied);
    heart.image.fill(Qt::transparent);
    QPainter(&heart.image).fillRect(QRect(3, 3, 12, 12), Qt::black);
    for (const StatusItemAppearance& appearance : { titled("0m"), titled("1h 59m"), heart }) {
        for (const int size : { 22, 64 }) {
            const std::string what = appearance.title.toStdString() + " at " + std::to_string(size) + " px";
            // As much stands out on either bar as when drawn for that bar's colour.
            const int onDark = standingOut(
                TrayStatusItemBackend::render(appearance, size, QColor(Qt::white)).toImage(), Qt::black);
            const int onLight = standingOut(
                TrayStatusItemBackend::render(appearance, size, QColor(Qt::black)).toImage(), Qt::white);
            ASSERT_GT(onDark, 0) << what;
            const QImage unknown = TrayStatusItemBackend::render(appearance, size, std::nullopt).toImage();
            EXPECT_GE(standingOut(unknown, Qt::black), onDark * 9 / 10) << what;
            EXPECT_GE(standingOut(unknown, Qt::white), onLight * 9 / 10) << what;
        }
    }
}
