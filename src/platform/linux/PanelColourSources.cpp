#include "platform/linux/PanelColourSources.h"

#include "platform/linux/BusNameOwner.h"
#include "platform/linux/SettingsPortal.h"
#include "platform/linux/SwayBarColours.h"
#include "platform/linux/X11Atom.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace platform {

namespace {

constexpr const char* appearanceNamespace = "org.freedesktop.appearance";
constexpr const char* colorSchemeKey = "color-scheme";

// Stand-ins for panels known only to be dark or light: the shades of the common themes' bars.
const QColor darkPanel(0x24, 0x24, 0x24);
const QColor lightPanel(0xf0, 0xf0, 0xf0);

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

std::optional<uint> colorSchemeFrom(const QVariant& value)
{
    bool ok = false;
    const uint scheme = SettingsPortal::unwrapped(value).toUInt(&ok);
    return ok ? std::optional<uint>(scheme) : std::nullopt;
}

// Only X11 lets an application read the screen.
bool screenIsReadable()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("xcb"));
}

} // namespace

std::optional<QColor> trayForegroundFrom(const quint32* values, int count)
{
    if (values == nullptr || count < 3) {
        return std::nullopt;
    }
    const auto channel
        = [](quint32 value) { return static_cast<int>(std::min<quint32>(value, 0xffff) >> 8); };
    return QColor(channel(values[0]), channel(values[1]), channel(values[2]));
}

QByteArray systemTraySelectionName()
{
    // Qt's X screen is the default one of its connection; trays name themselves per X screen.
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    const QByteArray screen = dot > display.lastIndexOf(':') ? display.mid(dot + 1) : QByteArray("0");
    return "_NET_SYSTEM_TRAY_S" + screen;
}

std::optional<QColor> systemTrayForeground()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return std::nullopt;
    }
    const QByteArray selectionName = systemTraySelectionName();
    const xcb_atom_t selection = internAtom(
        connection, std::string_view(selectionName.constData(), std::size_t(selectionName.size())));
    const xcb_atom_t colours = internAtom(connection, "_NET_SYSTEM_TRAY_COLORS");
    if (selection == XCB_ATOM_NONE || colours == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr));
    if (!owner || owner->owner == XCB_NONE) {
        return std::nullopt;
    }
    const Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(connection,
        xcb_get_property(connection, 0, owner->owner, colours, XCB_ATOM_CARDINAL, 0, 12), nullptr));
    if (!property || property->format != 32) {
        return std::nullopt;
    }
    return trayForegroundFrom(static_cast<const quint32*>(xcb_get_property_value(property.get())),
        xcb_get_property_value_length(property.get()) / 4);
}

std::optional<QColor> dominantColour(const QImage& picture, const QImage& mask)
{
    if (picture.isNull() || picture.width() < 1 || picture.height() < 1) {
        return std::nullopt;
    }
    const QImage pixels = picture.convertToFormat(QImage::Format_RGB32);
    const bool masked = !mask.isNull() && mask.size() == picture.size();
    const QImage shape = masked ? mask.convertToFormat(QImage::Format_ARGB32) : QImage();
    struct Bin {
        int count = 0;
        double red = 0;
        double green = 0;
        double blue = 0;
    };
    std::vector<Bin> bins(4096);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        const auto* covered = masked ? reinterpret_cast<const QRgb*>(shape.constScanLine(y)) : nullptr;
        for (int x = 0; x < pixels.width(); ++x) {
            if (covered && qAlpha(covered[x]) != 0) {
                continue;
            }
            const QRgb pixel = line[x];
            Bin& bin = bins[static_cast<std::size_t>(
                ((qRed(pixel) >> 4) << 8) | ((qGreen(pixel) >> 4) << 4) | (qBlue(pixel) >> 4))];
            ++bin.count;
            bin.red += qRed(pixel);
            bin.green += qGreen(pixel);
            bin.blue += qBlue(pixel);
        }
    }
    const Bin& most = *std::max_element(
        bins.begin(), bins.end(), [](const Bin& a, const Bin& b) { return a.count < b.count; });
    if (most.count == 0) {
        return std::nullopt;
    }
    return QColor(static_cast<int>(std::lround(most.red / most.count)),
        static_cast<int>(std::lround(most.green / most.count)),
        static_cast<int>(std::lround(most.blue / most.count)));
}

QImage screenPixels(const QRect& area)
{
    QScreen* screen = QGuiApplication::screenAt(area.center());
    if (screen == nullptr || area.isEmpty() || !screenIsReadable()) {
        return {};
    }
    const QPoint topLeft = area.topLeft() - screen->geometry().topLeft();
    return screen->grabWindow(0, topLeft.x(), topLeft.y(), area.width(), area.height()).toImage();
}

PanelLook resamplePanelColours(PanelColours& colours, const std::optional<QRect>& area,
    const std::function<std::optional<QColor>(const QImage&)>& backgroundIn)
{
    PanelColours seen = colours;
    seen.trayForeground = systemTrayForeground();
    bool backgroundSeen = !screenIsReadable();
    if (area) {
        if (const auto background = backgroundIn(screenPixels(*area))) {
            seen.background = background;
            backgroundSeen = true;
        }
    }
    if (seen.trayForeground == colours.trayForeground && seen.background == colours.background) {
        return { false, backgroundSeen };
    }
    colours = seen;
    return { true, backgroundSeen };
}

void followDesktopPanelColours(QObject* owner, PanelColours& colours, std::function<void()> changed)
{
    const auto read = [&colours] {
        colours.schemeBackground = DesktopColourScheme::shared().panelBackground();
        const SwayBarColours::Colours bars = SwayBarColours::shared().colours();
        colours.configuredBackground = bars.background;
        colours.configuredForeground = bars.foreground;
    };
    read();
    const auto follow = [read, changed = std::move(changed)] {
        read();
        changed();
    };
    QObject::connect(&DesktopColourScheme::shared(), &DesktopColourScheme::changed, owner, follow);
    QObject::connect(&SwayBarColours::shared(), &SwayBarColours::changed, owner, follow);
}

DesktopColourScheme& DesktopColourScheme::shared()
{
    static DesktopColourScheme* scheme = new DesktopColourScheme;
    return *scheme;
}

DesktopColourScheme::DesktopColourScheme()
{
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    const QString portal = QString::fromLatin1(SettingsPortal::service);
    const QDBusMessage call = SettingsPortal::readCall(
        portal, QString::fromLatin1(appearanceNamespace), QString::fromLatin1(colorSchemeKey));
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusMessage reply = finished->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            m_colorScheme = colorSchemeFrom(reply.arguments().front());
            emit changed();
        }
    });
    m_portal = new BusNameOwner(bus, portal, this);
    SettingsPortal::followChanges(
        *m_portal, this, SLOT(settingChanged(QString, QString, QDBusVariant, QDBusMessage)));
}

void DesktopColourScheme::settingChanged(
    const QString& ns, const QString& key, const QDBusVariant& value, const QDBusMessage& message)
{
    if (!m_portal->sentByOwner(message) || ns != QLatin1String(appearanceNamespace)
        || key != QLatin1String(colorSchemeKey)) {
        return;
    }
    m_colorScheme = colorSchemeFrom(value.variant());
    emit changed();
}

std::optional<QColor> DesktopColourScheme::panelBackground() const
{
    return panelBackgroundFor(QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP")), m_colorScheme);
}

std::optional<QColor> DesktopColourScheme::panelBackgroundFor(
    const QString& currentDesktop, std::optional<uint> colorScheme)
{
    const QStringList desktops = currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive)) {
        return darkPanel;
    }
    if (colorScheme == 1u) {
        return darkPanel;
    }
    if (colorScheme == 2u) {
        return lightPanel;
    }
    return std::nullopt;
}

} // namespace platform
