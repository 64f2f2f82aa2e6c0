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
#include <QPalette>
#include <QScreen>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace platform {

namespace {

constexpr double dimmedOpacity = 0.45;
// Unit words beside the digits, relative to the digits' size.
constexpr double unitScale = 0.6;
// Room between two lines of the title, relative to the digits' cap height.
constexpr double lineGapScale = 0.3;
constexpr double referencePixelSize = 100.0;
// How narrow the title's letters may be drawn to stand taller: a tray's square is as wide as the
// panel is high, and "25m" at the font's own width had digits of a third of it, 7 pixels
// on a 22-pixel panel; narrowed, they stand twice as high.
constexpr double leastNarrowing = 0.5;
constexpr double titleVerticalMarginInPoints = 2.5;
constexpr int haloAlpha = 150;

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
        // A layout must be clearly larger to be worth another line.
        if (size > best.digitPixelSize * 1.05) {
            best = TitleLayout { std::move(lines), size, narrowing };
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
    connect(&DesktopColourScheme::shared(), &DesktopColourScheme::changed, this, [this] {
        m_panelColours.schemeBackground = DesktopColourScheme::shared().panelBackground();
        redraw();
        m_panelSampler.panelMayHaveChanged();
    });
    m_panelColours.schemeBackground = DesktopColourScheme::shared().panelBackground();
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
    const PanelLook look
        = resamplePanelColours(m_panelColours, geometry(), &TrayStatusItemBackend::backgroundOf);
    if (look.changed) {
        redraw();
    }
    return look.seen;
}

std::optional<QColor> TrayStatusItemBackend::backgroundOf(const QImage& area)
{
    if (area.width() < 2 || area.height() < 2) {
        return std::nullopt;
    }
    // The corners: the picture leaves them empty, so they show the panel.
    const int right = area.width() - 1;
    const int bottom = area.height() - 1;
    double red = 0;
    double green = 0;
    double blue = 0;
    for (const QPoint corner : { QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom) }) {
        const QColor color = area.pixelColor(corner);
        red += color.redF();
        green += color.greenF();
        blue += color.blueF();
    }
    return QColor::fromRgbF(
        static_cast<float>(red / 4), static_cast<float>(green / 4), static_cast<float>(blue / 4));
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
    const QColor textColor = m_textColor.value_or(panelTextColor(m_panelColours));
    m_picture = render(m_appearance, pictureHeight, textColor, QPointF(m_drawnOffset) / scale);
    // An icon that leaves no copy of each picture in the pixmap cache.
    m_tray.setIcon(QIcon(new TrayIconEngine(m_picture)));
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

QPixmap TrayStatusItemBackend::render(
    const StatusItemAppearance& appearance, int height, const QColor& textColor, QPointF contentOffset)
{
    height = std::max(1, height);
    const double scale = height / barHeightInPoints;
    const QColor foreground = appearance.tint.value_or(textColor);

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
    {
        QPainter painter(&content);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        // With only an image it is centred in the square; with a title it leads.
        const double imageX = titled ? 0.0 : (width - imageSize.width()) / 2;
        if (!image.isNull()) {
            painter.drawImage(QRectF(QPointF(imageX, (height - imageSize.height()) / 2), imageSize), image);
        }
        if (titled) {
            // Room above and below for the usual baseline offsets and shakes without clipping.
            const double margin = height / 32.0;
            const double verticalMargin = titleVerticalMarginInPoints * scale;
            const double lift = appearance.titleBaselineOffset.value_or(0.0) * scale;
            const QRectF box(imageWidth + gap + margin, verticalMargin - lift, titleWidth - 2 * margin,
                height - 2 * verticalMargin);
            drawTitle(painter, appearance.title, box, foreground);
        }
    }

    // The halo: the content's shape grown by a pixel or two, in the opposite shade, under it.
    QImage layer(width, height, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter painter(&layer);
        const int radius = std::max(1, height / 32);
        for (const QPoint step : { QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1), QPoint(-1, -1),
                 QPoint(1, 1), QPoint(-1, 1), QPoint(1, -1) }) {
            painter.drawImage(step * radius, content);
        }
    }
    layer = recoloured(layer, haloColor(foreground));
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
