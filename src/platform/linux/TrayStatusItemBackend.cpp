#include "platform/linux/TrayStatusItemBackend.h"

#include "platform/Logger.h"
#include "platform/linux/PanelColourSources.h"
#include "platform/linux/TrayIconEngine.h"
#include "platform/linux/X11Atom.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>
#include <QTransform>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace platform {

namespace {

constexpr double dimmedOpacity = 0.45;
// Unit words beside the digits, relative to the digits' size: as large, as smaller letters at a
// panel's 22 pixels read as smudges.
constexpr double unitScale = 1.0;
// Room between two lines of the title, relative to the digits' cap height.
constexpr double lineGapScale = 0.3;
constexpr double referencePixelSize = 100.0;
// How narrow the title's letters may be drawn to stand taller: a tray's square is as wide as the
// panel is high, and "25m" at the font's own width had digits of a third of it, 7 pixels on a
// 22-pixel panel; narrowed, they stand half as high again. Narrower, the room between letters goes
// and they touch.
constexpr double leastNarrowing = 0.6;
constexpr double titleVerticalMarginInPoints = 1.5;
constexpr int haloAlpha = 150;
// The plate under a figure drawn for a panel of unknown colour, and how far it reaches beyond it.
const QColor plateColor(0x20, 0x20, 0x20);
constexpr double platePaddingInPoints = 1.0;

QImage recoloured(const QImage& image, const QColor& color)
{
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    return result;
}

// A stretch of the title drawn in one size: a run of digits or a run of anything else.
struct Run {
    QString text;
    bool digits = false;
};
using Line = std::vector<Run>;

Line runsOf(const QString& text)
{
    Line line;
    for (const QChar c : text) {
        const bool digit = c.isDigit();
        if (line.empty() || line.back().digits != digit) {
            line.push_back(Run { QString(), digit });
        }
        line.back().text += c;
    }
    return line;
}

std::vector<Line> linesOf(const QStringList& parts)
{
    std::vector<Line> lines;
    for (const QString& part : parts) {
        lines.push_back(runsOf(part.trimmed()));
    }
    return lines;
}

// The fonts of one title size. Digits are laid out in cells of the widest digit, so that the
// title does not jitter as the minutes change.
struct TitleFonts {
    explicit TitleFonts(double digitPixelSize)
        : big(QGuiApplication::font())
        , small(QGuiApplication::font())
    {
        big.setWeight(QFont::DemiBold);
        big.setPixelSize(std::max(1, static_cast<int>(std::lround(digitPixelSize))));
        small.setWeight(QFont::DemiBold);
        small.setPixelSize(std::max(1, static_cast<int>(std::lround(digitPixelSize * unitScale))));
        const QFontMetricsF bigMetrics(big);
        for (char digit = '0'; digit <= '9'; ++digit) {
            digitCell = std::max(digitCell, bigMetrics.horizontalAdvance(QChar(digit)));
        }
        bigInk = bigMetrics.capHeight();
        smallInk = QFontMetricsF(small).xHeight();
    }

    // A digit takes the widest digit's cell, anything else among them its own width.
    double advance(QChar c) const
    {
        return c.isDigit() ? digitCell : QFontMetricsF(big).horizontalAdvance(c);
    }
    double width(const Run& run) const
    {
        if (!run.digits) {
            return QFontMetricsF(small).horizontalAdvance(run.text);
        }
        double total = 0;
        for (const QChar c : run.text) {
            total += advance(c);
        }
        return total;
    }
    double width(const Line& line) const
    {
        double total = 0;
        for (const Run& run : line) {
            total += width(run);
        }
        return total;
    }
    // The height of the ink above the baseline: digits stand as high as capitals, unit words as
    // high as the small font's lower-case letters.
    double inkHeight(const Line& line) const
    {
        const bool digits = std::any_of(line.begin(), line.end(), [](const Run& run) { return run.digits; });
        return digits ? bigInk : smallInk;
    }
    double blockHeight(const std::vector<Line>& lines) const
    {
        double total = 0;
        for (const Line& line : lines) {
            total += inkHeight(line);
        }
        return total + lineGapScale * bigInk * double(lines.size() - 1);
    }

    QFont big;
    QFont small;
    double digitCell = 0;
    double bigInk = 0;
    double smallInk = 0;
};

// The title cut into lines in the way that draws its digits largest in a box of the given size:
// on one line, at its comma ("1 hr, 5 min" over two lines), or at every space ("1h 5m").
struct TitleLayout {
    std::vector<Line> lines;
    double digitPixelSize = 0;
    // The letters' width relative to the font's, 1 where the title fits without narrowing.
    double narrowing = 1;
};

TitleLayout fitTitle(const QString& title, QSizeF box)
{
    std::vector<std::vector<Line>> candidates { linesOf({ title }) };
    if (const QStringList parts = title.split(QLatin1Char(','), Qt::SkipEmptyParts); parts.size() > 1) {
        QStringList withCommas;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            withCommas << (i + 1 < parts.size() ? parts[i] + QLatin1Char(',') : parts[i]);
        }
        candidates.push_back(linesOf(withCommas));
    }
    if (const QStringList words = title.split(QLatin1Char(' '), Qt::SkipEmptyParts); words.size() > 1) {
        candidates.push_back(linesOf(words));
    }

    const TitleFonts reference(referencePixelSize);
    TitleLayout best;
    double bestLegibility = 0;
    for (auto& lines : candidates) {
        double widest = 0;
        for (const Line& line : lines) {
            widest = std::max(widest, reference.width(line));
        }
        const double height = reference.blockHeight(lines);
        if (widest <= 0 || height <= 0) {
            continue;
        }
        const double size
            = referencePixelSize * std::min(box.width() / (widest * leastNarrowing), box.height() / height);
        const double narrowing = std::min(1.0, box.width() / (widest * size / referencePixelSize));
        // Narrowed letters read as less than their height, and narrowing takes the room between
        // them too, until they touch; and a layout must read clearly larger to be worth another line.
        const double legibility = size * std::sqrt(narrowing);
        if (legibility > bestLegibility * 1.05) {
            best = TitleLayout { std::move(lines), size, narrowing };
            bestLegibility = legibility;
        }
    }
    return best;
}

void drawTitle(QPainter& painter, const QString& title, const QRectF& box, const QColor& color)
{
    const TitleLayout layout = fitTitle(title, box.size());
    if (layout.lines.empty()) {
        return;
    }
    const TitleFonts fonts(layout.digitPixelSize);
    painter.save();
    // Narrowed about the box's centre line, where each line is centred.
    painter.translate(box.center().x(), 0);
    painter.scale(layout.narrowing, 1);
    painter.translate(-box.center().x(), 0);
    painter.setPen(color);
    double baseline = box.center().y() - fonts.blockHeight(layout.lines) / 2;
    for (const Line& line : layout.lines) {
        baseline += fonts.inkHeight(line);
        double x = box.center().x() - fonts.width(line) / 2;
        for (const Run& run : line) {
            if (run.digits) {
                painter.setFont(fonts.big);
                const QFontMetricsF metrics(fonts.big);
                for (const QChar digit : run.text) {
                    const double cell = fonts.advance(digit);
                    const double advance = metrics.horizontalAdvance(digit);
                    painter.drawText(QPointF(x + (cell - advance) / 2, baseline), QString(digit));
                    x += cell;
                }
            } else {
                painter.setFont(fonts.small);
                painter.drawText(QPointF(x, baseline), run.text);
                x += fonts.width(run);
            }
        }
        baseline += lineGapScale * fonts.bigInk;
    }
    painter.restore();
}

// At the smallest tray sizes (swaybar's 16 pixels) a line of the figure has 6 or 7 pixels of
// height: there each glyph is drawn by its own outline, stretched to the line's full height (an m as
// tall as the digits beside it, where the font gives it two thirds of their height) and set a
// whole pixel apart from the next, where the font's spacing, narrowed, let them touch.
constexpr int compactBelowPixels = 20;
// The pixels between glyphs and between lines of a compact figure.
constexpr int compactSpacing = 1;

struct CompactGlyph {
    QPainterPath outline;
    QRectF ink;
};

struct CompactLayout {
    std::vector<std::vector<CompactGlyph>> lines;
    int lineHeight = 0;
    double narrowing = 1;
};

// The line split that draws the tallest glyphs, as fitTitle weighs them, in a box of whole pixels.
CompactLayout fitCompactTitle(const QString& title, QSize box)
{
    std::vector<QStringList> candidates { { title } };
    if (const QStringList words = title.split(QLatin1Char(' '), Qt::SkipEmptyParts); words.size() > 1) {
        candidates.push_back(words);
    }
    QFont font(QGuiApplication::font());
    font.setWeight(QFont::DemiBold);
    font.setPixelSize(static_cast<int>(referencePixelSize));
    CompactLayout best;
    double bestLegibility = 0;
    for (const QStringList& parts : candidates) {
        const int count = static_cast<int>(parts.size());
        const int lineHeight = (box.height() - compactSpacing * (count - 1)) / count;
        if (lineHeight < 1) {
            continue;
        }
        CompactLayout layout;
        layout.lineHeight = lineHeight;
        for (const QString& part : parts) {
            std::vector<CompactGlyph> line;
            for (const QChar c : part.trimmed()) {
                if (c.isSpace()) {
                    continue;
                }
                CompactGlyph glyph;
                glyph.outline.addText(0, 0, font, QString(c));
                glyph.ink = glyph.outline.boundingRect();
                if (glyph.ink.height() > 0 && glyph.ink.width() > 0) {
                    line.push_back(std::move(glyph));
                }
            }
            // Each glyph at the line's height, and as wide as the font makes it at that height.
            double width = 0;
            for (const CompactGlyph& glyph : line) {
                width += glyph.ink.width() * lineHeight / glyph.ink.height();
            }
            const double room = box.width() - double(compactSpacing) * double(line.size() + 1);
            if (width > 0) {
                layout.narrowing = std::min(layout.narrowing, std::max(0.0, room) / width);
            }
            layout.lines.push_back(std::move(line));
        }
        // Narrowed no further than the larger sizes' letters, a glyph reads by its height; beyond
        // that its strokes merge, and a line of slivers reads worse than two lines.
        const double legibility = lineHeight * std::min(1.0, layout.narrowing / leastNarrowing);
        if (layout.narrowing > 0 && legibility > bestLegibility * 1.05) {
            bestLegibility = legibility;
            best = std::move(layout);
        }
    }
    return best;
}

void drawCompactTitle(QPainter& painter, const QString& title, const QRect& box, const QColor& color)
{
    const CompactLayout layout = fitCompactTitle(title, box.size());
    if (layout.lines.empty()) {
        return;
    }
    const int count = static_cast<int>(layout.lines.size());
    const int blockHeight = count * layout.lineHeight + (count - 1) * compactSpacing;
    int top = box.top() + (box.height() - blockHeight) / 2;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (const auto& line : layout.lines) {
        // Whole pixels for each glyph's width, so that no pixel is shared by two glyphs.
        std::vector<int> widths;
        int width = 0;
        for (const CompactGlyph& glyph : line) {
            const double scale = layout.lineHeight / glyph.ink.height();
            widths.push_back(std::max(1,
                static_cast<int>(std::lround(glyph.ink.width() * scale * std::min(1.0, layout.narrowing)))));
            width += widths.back();
        }
        width += compactSpacing * static_cast<int>(line.size() - 1);
        int x = box.left() + (box.width() - width) / 2;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const CompactGlyph& glyph = line[i];
            QTransform place;
            place.translate(x, top);
            place.scale(widths[i] / glyph.ink.width(), layout.lineHeight / glyph.ink.height());
            place.translate(-glyph.ink.left(), -glyph.ink.top());
            painter.drawPath(place.map(glyph.outline));
            x += widths[i] + compactSpacing;
        }
        top += layout.lineHeight + compactSpacing;
    }
    painter.restore();
}

// The smallest rectangle that holds every visible pixel of the picture; empty for a blank one.
QRect inkBounds(const QImage& picture)
{
    QRect bounds;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (qAlpha(line[x]) > 0) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

// The opposite shade of the foreground, for the halo around it.
QColor haloColor(const QColor& foreground)
{
    return foreground.lightness() > 127 ? QColor(0, 0, 0, haloAlpha) : QColor(255, 255, 255, haloAlpha);
}

} // namespace

TrayStatusItemBackend::TrayStatusItemBackend(QObject* parent)
    : QObject(parent)
    // Without a tray there is no panel to look at; with a colour set, no need to.
    , m_panelSampler(
          [this] { return !m_textColor && isAvailable(); }, [this] { return samplePanelColours(); })
{
    static bool told = false;
    if (!told && !QSystemTrayIcon::isSystemTrayAvailable()) {
        told = true;
        log(LogLevel::Warning, lcTray(),
            "The desktop has no system tray, so the status item cannot be shown.");
    }
    connect(&m_tray, &QSystemTrayIcon::activated, this, &TrayStatusItemBackend::onActivated);
    followDesktopPanelColours(this, m_panelColours, [this] {
        redraw();
        m_panelSampler.panelMayHaveChanged();
    });
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (xcb_connection_t* connection = x11 ? x11->connection() : nullptr) {
        const QByteArray selection = systemTraySelectionName();
        m_managerAtom = internAtom(connection, "MANAGER", false);
        m_traySelectionAtom = internAtom(
            connection, std::string_view(selection.constData(), std::size_t(selection.size())), false);
        qGuiApp->installNativeEventFilter(this);
    }
}

TrayStatusItemBackend::~TrayStatusItemBackend()
{
    if (qGuiApp) {
        qGuiApp->removeNativeEventFilter(this);
    }
    m_tray.hide();
}

bool TrayStatusItemBackend::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (m_managerAtom == XCB_ATOM_NONE || eventType != "xcb_generic_event_t" || message == nullptr) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) {
        return false;
    }
    // A tray manager that takes the selection tells every client so on the root window.
    const auto* announcement = static_cast<const xcb_client_message_event_t*>(message);
    if (announcement->type == m_managerAtom && announcement->format == 32
        && announcement->data.data32[1] == m_traySelectionAtom) {
        m_panelSampler.panelMayHaveChanged();
    }
    return false;
}

void TrayStatusItemBackend::draw(const StatusItemAppearance& appearance)
{
    m_appearance = appearance;
    redraw();
    m_tray.setToolTip(toolTipText(appearance));
    m_tray.setVisible(appearance.visible);
    // The panel's colour can be seen once the tray has placed the icon. Looking costs synchronous
    // round trips to the X server, and a panel's colour changes only with the desktop's colour
    // scheme, a change of screens or a new tray: it is looked at again at those and at the item's
    // own changes, not after a draw of the figure alone (once a minute while a session runs).
    m_panelSampler.drawn(appearance);
}

bool TrayStatusItemBackend::samplePanelColours()
{
    const PanelLook look = resamplePanelColours(m_panelColours, geometry(),
        [this](const QImage& area) { return backgroundOf(area, shownIn(area.size())); });
    if (look.changed) {
        redraw();
    }
    return look.seen;
}

QImage TrayStatusItemBackend::shownIn(QSize pixels) const
{
    QImage canvas(pixels, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    if (pixels.isEmpty()) {
        return canvas;
    }
    // As the icon paints it: drawn at the tray's height, made to fit its width, centred.
    QPixmap drawn = render(m_appearance, pixels.height(), textColor(),
        QPointF(m_drawnOffset) / (pictureHeight / barHeightInPoints));
    if (drawn.width() > pixels.width()) {
        drawn = drawn.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    QPainter(&canvas).drawPixmap(
        (pixels.width() - drawn.width()) / 2, (pixels.height() - drawn.height()) / 2, drawn);
    return canvas;
}

std::optional<QColor> TrayStatusItemBackend::backgroundOf(const QImage& area, const QImage& shown)
{
    // Where the picture leaves the icon empty the panel shows through. The screen's pixels and the
    // icon's rectangle, which Qt tells in points, may lie a pixel apart at a fractional scale, so
    // that a row or column beside the panel is seen too: the colour most of those pixels have is
    // the panel's.
    return dominantColour(area, shown);
}

QString TrayStatusItemBackend::toolTipText(const StatusItemAppearance& appearance)
{
    if (!appearance.toolTip.isEmpty()) {
        return appearance.toolTip;
    }
    return appearance.title.isEmpty() ? QGuiApplication::applicationDisplayName() : appearance.title;
}

void TrayStatusItemBackend::setContentOffset(QPointF offset)
{
    m_contentOffset = offset;
    const double scale = pictureHeight / barHeightInPoints;
    const QPoint pixels(
        static_cast<int>(std::lround(offset.x() * scale)), static_cast<int>(std::lround(offset.y() * scale)));
    if (pixels != m_drawnOffset) {
        redraw();
    }
}

void TrayStatusItemBackend::redraw()
{
    const double scale = pictureHeight / barHeightInPoints;
    m_drawnOffset = QPoint(static_cast<int>(std::lround(m_contentOffset.x() * scale)),
        static_cast<int>(std::lround(m_contentOffset.y() * scale)));
    const std::optional<QColor> textColor = this->textColor();
    const QPointF offset = QPointF(m_drawnOffset) / scale;
    m_picture = render(m_appearance, pictureHeight, textColor, offset);
    // An icon that leaves no copy of each picture in the pixmap cache, and draws the picture
    // afresh at the size the tray shows it.
    m_tray.setIcon(
        QIcon(new TrayIconEngine(m_picture, [appearance = m_appearance, textColor, offset](int height) {
            return render(appearance, height, textColor, offset);
        })));
}

std::optional<QRect> TrayStatusItemBackend::geometry() const
{
    const QRect rect = m_tray.geometry();
    if (!rect.isValid() || rect.isEmpty()) {
        return std::nullopt;
    }
    return rect;
}

bool TrayStatusItemBackend::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayStatusItemBackend::setTextColor(std::optional<QColor> color)
{
    m_textColor = color;
    redraw();
    if (!color) {
        // The panel's colours were not followed while the colour was set.
        m_panelSampler.panelMayHaveChanged();
    }
}

QPixmap TrayStatusItemBackend::render(const StatusItemAppearance& appearance, int height,
    const std::optional<QColor>& textColor, QPointF contentOffset)
{
    height = std::max(1, height);
    const double scale = height / barHeightInPoints;
    // Where the panel's colour is unknown the figure is light, on a plate of its own.
    const QColor foreground = appearance.tint.value_or(textColor.value_or(QColor(Qt::white)));

    // The image at its size in points, never taller than the bar.
    QImage image;
    QSizeF imageSize;
    if (!appearance.image.isNull()) {
        image = appearance.isTemplate ? recoloured(appearance.image, foreground) : appearance.image;
        const QSizeF points = QSizeF(image.size()) / std::max(1.0, image.devicePixelRatio());
        imageSize = points * scale;
        if (imageSize.height() > height) {
            imageSize *= height / imageSize.height();
        }
    }
    const bool titled = !appearance.title.isEmpty();
    const int imageWidth = static_cast<int>(std::ceil(imageSize.width()));
    const int gap = (imageWidth > 0 && titled) ? height / 8 : 0;
    const int titleWidth = titled ? height : 0;
    const int width = std::max(height, imageWidth + gap + titleWidth);

    QImage content(width, height, QImage::Format_ARGB32_Premultiplied);
    content.fill(Qt::transparent);
    QRectF imageRect;
    {
        QPainter painter(&content);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        // With only an image it is centred in the square; with a title it leads.
        const double imageX = titled ? 0.0 : (width - imageSize.width()) / 2;
        if (!image.isNull()) {
            imageRect = QRectF(QPointF(imageX, (height - imageSize.height()) / 2), imageSize);
            painter.drawImage(imageRect, image);
        }
        if (titled) {
            // A thin margin above and below, for a shake and the halo; a baseline offset takes its
            // room from the figure's size rather than cutting the figure off.
            const double margin = height / 32.0;
            const double lift = appearance.titleBaselineOffset.value_or(0.0) * scale;
            const double room = titleVerticalMarginInPoints * scale + std::abs(lift);
            const QRectF box(
                imageWidth + gap + margin, room - lift, titleWidth - 2 * margin, height - 2 * room);
            if (height < compactBelowPixels) {
                // Every row for the glyphs: the halo gives way where it meets the edge.
                drawCompactTitle(painter, appearance.title,
                    QRect(imageWidth + gap, -static_cast<int>(std::lround(lift)), titleWidth, height),
                    foreground);
            } else {
                drawTitle(painter, appearance.title, box, foreground);
            }
        }
    }

    QImage layer(width, height, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    if (textColor) {
        // The halo: the content's shape grown by a pixel or two, in the opposite shade, under it.
        {
            QPainter painter(&layer);
            const int radius = std::max(1, height / 32);
            for (const QPoint step : { QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1),
                     QPoint(-1, -1), QPoint(1, 1), QPoint(-1, 1), QPoint(1, -1) }) {
                painter.drawImage(step * radius, content);
            }
        }
        layer = recoloured(layer, haloColor(foreground));
    } else if (const QRect ink = inkBounds(content) | imageRect.toAlignedRect(); !ink.isEmpty()) {
        // The plate: dark enough to stand out on a light bar, and all but lost on a dark one, where
        // the light figure reads by itself.
        QPainter painter(&layer);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(plateColor);
        const double padding = std::max(1.0, platePaddingInPoints * scale);
        const QRectF plate
            = QRectF(ink).adjusted(-padding, -padding, padding, padding).intersected(QRectF(layer.rect()));
        painter.drawRoundedRect(plate, 2 * padding, 2 * padding);
    }
    {
        QPainter painter(&layer);
        painter.drawImage(QPoint(0, 0), content);
    }

    QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setOpacity(appearance.dimmed ? dimmedOpacity : 1.0);
        painter.drawImage(contentOffset * scale, layer);
    }
    return QPixmap::fromImage(std::move(picture));
}

void TrayStatusItemBackend::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        reportClick(Qt::LeftButton);
        break;
    case QSystemTrayIcon::Context:
        reportClick(Qt::RightButton);
        break;
    case QSystemTrayIcon::MiddleClick:
        reportClick(Qt::MiddleButton);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

} // namespace platform
