#include "platform/linux/StatusNotifierItemBackend.h"

#include "platform/Logger.h"
#include "platform/linux/BusDaemon.h"
#include "platform/linux/DBusMenuAdaptor.h"
#include "platform/linux/IntrospectionInTurn.h"
#include "platform/linux/PanelColourSources.h"
#include "platform/linux/StatusNotifierItemAdaptor.h"
#include "platform/linux/TrayStatusItemBackend.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QRegularExpression>

#include <atomic>
#include <unistd.h>

namespace platform {

namespace {

constexpr double dimmedOpacity = 0.45;
// A panel answers at once; one that does not within this long counts as having no host.
constexpr int hostQueryTimeoutMilliseconds = 1000;
// The stretch of panel looked at, in panel thicknesses.
constexpr int sampleLengthInThicknesses = 8;

QString nextServiceName()
{
    static std::atomic<int> counter { 0 };
    return QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(::getpid()).arg(++counter);
}

QDBusMessage watcherCall(const QString& method)
{
    return QDBusMessage::createMethodCall(QString::fromLatin1(StatusNotifierItemBackend::watcherService),
        QString::fromLatin1(StatusNotifierItemBackend::watcherPath),
        QString::fromLatin1(StatusNotifierItemBackend::watcherInterface), method);
}

QDBusMessage hostRegisteredQuery()
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(QString::fromLatin1(StatusNotifierItemBackend::watcherService),
            QString::fromLatin1(StatusNotifierItemBackend::watcherPath),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QString::fromLatin1(StatusNotifierItemBackend::watcherInterface)
         << QStringLiteral("IsStatusNotifierHostRegistered");
    return call;
}

bool readHostRegistered(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    return reply.arguments().front().value<QDBusVariant>().variant().toBool();
}

// The application's own icon, for hosts that show the title beside it.
QImage applicationIcon(int size, bool dimmed)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setOpacity(dimmed ? dimmedOpacity : 1.0);
    // Scaled to fill: an icon with only smaller pictures is not left small in the middle.
    const QPixmap picture = QGuiApplication::windowIcon().pixmap(QSize(size, size));
    if (!picture.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(image.rect(), picture);
    }
    return image;
}

} // namespace

StatusNotifierItemBackend::StatusNotifierItemBackend(
    QDBusConnection connection, Options options, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_options(options)
    , m_showsLabels(options.hostShowsLabels.value_or(
          hostShowsLabels(QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP")))))
    , m_serviceName(nextServiceName())
    , m_watcherWatch(
          QString::fromLatin1(watcherService), m_connection, QDBusServiceWatcher::WatchForOwnerChange)
    // A panel is there to look at while a host shows the item, unless its colour was given.
    , m_panelSampler([this] { return !m_options.panelBackground && isAvailable(); },
          [this] { return samplePanelColours(); })
{
    registerStatusNotifierTypes();
    m_adaptor = new StatusNotifierItemAdaptor(
        &m_exported, QGuiApplication::applicationName().toLower(), QGuiApplication::applicationDisplayName());
    m_adaptor->setClickHandler([this](Qt::MouseButton button, int x, int y) {
        // Hosts that do not know where the item is send (0, 0). The others count in the desktop's
        // own pixels, which a scale factor makes differ from the application's.
        // A point on no screen Qt knows is taken as it came.
        if (x != 0 || y != 0) {
            m_clickPosition = fromDevicePixels(QPoint(x, y), currentScreens()).value_or(QPoint(x, y));
        }
        // ContextMenu: the host wants the menu (it has none of its own to show), whatever a
        // right click would do on an item the application draws itself.
        if (button == Qt::RightButton) {
            reportMenuRequest();
        } else {
            reportClick(button);
        }
    });
    m_menuAdaptor = new DBusMenuAdaptor(&m_exportedMenu);
    if (options.panelBackground) {
        m_panelColours.background = options.panelBackground;
    } else {
        followDesktopPanelColours(this, m_panelColours, [this] {
            drawIcon();
            m_panelSampler.panelMayHaveChanged();
        });
    }
    m_adaptor->setItemIsMenu(
        options.itemIsMenu.value_or(QGuiApplication::platformName().startsWith(QLatin1String("wayland"))));

    if (!m_connection.isConnected()) {
        log(LogLevel::Info, lcTray(), "No session bus: the status item cannot be a StatusNotifierItem");
        return;
    }
    if (!m_connection.registerObject(
            QString::fromLatin1(itemPath), &m_exported, QDBusConnection::ExportAdaptors)) {
        log(LogLevel::Warning, lcTray(),
            "Unable to export the StatusNotifierItem: " + m_connection.lastError().message().toStdString());
        return;
    }
    IntrospectionInTurn::install(m_connection, QString::fromLatin1(itemPath), &m_exported);
    // Exported before the item registers, so that the host finds the menu when it first looks.
    m_menuExported = m_connection.registerObject(
        QString::fromLatin1(menuPath), &m_exportedMenu, QDBusConnection::ExportAdaptors);
    if (m_menuExported) {
        IntrospectionInTurn::install(m_connection, QString::fromLatin1(menuPath), &m_exportedMenu);
    } else {
        log(LogLevel::Warning, lcTray(),
            "Unable to export the status menu: " + m_connection.lastError().message().toStdString());
    }
    requestServiceName();
    connect(&m_watcherWatch, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString&, const QString& newOwner) { onWatcherOwnerChanged(newOwner); });
    // From any sender: naming the watcher's service would have the connection look up its owner
    // and wait for the answer. Only a watcher sends these on its path and interface.
    const QString path = QString::fromLatin1(watcherPath);
    const QString interface = QString::fromLatin1(watcherInterface);
    m_connection.connect(QString(), path, interface, QStringLiteral("StatusNotifierHostRegistered"), this,
        SLOT(onHostRegistered()));
    m_connection.connect(QString(), path, interface, QStringLiteral("StatusNotifierHostUnregistered"), this,
        SLOT(onHostUnregistered()));

    // Whether a watcher is there, and then whether it has a host, is asked without waiting:
    // start-up goes on, and the choice of backend waits for the answer (isAskingForHost()).
    m_askingForHost = true;
    askForWatcher();
}

StatusNotifierItemBackend::~StatusNotifierItemBackend()
{
    if (m_connection.isConnected()) {
        m_connection.unregisterObject(QString::fromLatin1(menuPath));
        m_connection.unregisterObject(QString::fromLatin1(itemPath));
        // Nothing waits for the answer: a bus that does not take the name back frees it with the
        // connection.
        m_connection.send(busDaemonCall(QStringLiteral("ReleaseName"), { m_serviceName }));
    }
}

bool StatusNotifierItemBackend::hostShowsLabels(const QString& currentDesktop)
{
    static const QStringList labelHosts { QStringLiteral("GNOME"), QStringLiteral("Unity"),
        QStringLiteral("Budgie"), QStringLiteral("Pantheon"), QStringLiteral("X-Cinnamon") };
    const QStringList desktops = currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& desktop : desktops) {
        if (labelHosts.contains(desktop.trimmed(), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

QString StatusNotifierItemBackend::labelGuide(const QString& title)
{
    static const QRegularExpression number(QStringLiteral("\\d+"));
    QString guide;
    qsizetype last = 0;
    for (auto it = number.globalMatch(title); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        guide += title.mid(last, match.capturedStart() - last);
        guide += QString(std::max<qsizetype>(2, match.capturedLength()), QLatin1Char('0'));
        last = match.capturedEnd();
    }
    guide += title.mid(last);
    return guide;
}

bool StatusNotifierItemBackend::menuRequestIsPrimaryClick() const
{
    // Hosts send an item that is a menu ContextMenu where they would send Activate.
    return m_adaptor->itemIsMenu();
}

StatusNotifierIconPixmaps StatusNotifierItemBackend::iconPixmaps(
    const StatusItemAppearance& appearance, bool withTitle, const std::optional<QColor>& textColor)
{
    StatusNotifierIconPixmaps pixmaps;
    StatusItemAppearance drawn = appearance;
    if (!withTitle) {
        drawn.title.clear();
    }
    for (const int size : iconSizes) {
        if (drawn.image.isNull() && drawn.title.isEmpty()) {
            pixmaps.push_back(StatusNotifierIconPixmap::fromImage(applicationIcon(size, drawn.dimmed)));
        } else {
            pixmaps.push_back(StatusNotifierIconPixmap::fromImage(
                TrayStatusItemBackend::render(drawn, size, textColor).toImage()));
        }
    }
    return pixmaps;
}

void StatusNotifierItemBackend::draw(const StatusItemAppearance& appearance)
{
    m_appearance = appearance;
    const QString status = !appearance.visible ? QStringLiteral("Passive")
        : appearance.tint                      ? StatusNotifierItemAdaptor::attentionStatus()
                                               : QStringLiteral("Active");
    // The attention icon is told with the status that shows it: an item that stops needing
    // attention says so before its new icon, and one that comes to need it after.
    if (status != StatusNotifierItemAdaptor::attentionStatus()) {
        m_adaptor->setStatus(status);
    }
    drawIcon();
    // Looking at the panel costs synchronous round trips to the X server, and a panel's colour
    // changes only with the desktop's colour scheme, a change of screens or a new host: it is
    // looked at again at those and at the item's own changes, not after a draw of the figure alone
    // (once a minute while a session runs).
    m_panelSampler.drawn(appearance);
    StatusNotifierToolTip toolTip;
    toolTip.title = QGuiApplication::applicationDisplayName();
    toolTip.description = appearance.toolTip.isEmpty() ? appearance.title : appearance.toolTip;
    m_adaptor->setToolTip(toolTip);
    m_adaptor->setLabel(appearance.title, labelGuide(appearance.title));
    m_adaptor->setStatus(status);
}

void StatusNotifierItemBackend::drawIcon()
{
    m_adaptor->setIconPixmaps(iconPixmaps(m_appearance, !m_showsLabels, textColor()));
}

bool StatusNotifierItemBackend::samplePanelColours()
{
    const PanelLook look
        = resamplePanelColours(m_panelColours, panelSampleArea(currentScreens(), m_clickPosition),
            [](const QImage& area) { return dominantColour(area); });
    if (look.changed) {
        drawIcon();
    }
    return look.seen;
}

std::optional<QRect> StatusNotifierItemBackend::panelSampleArea(
    const Screens& screens, std::optional<QPoint> click)
{
    const auto panel = trayPanel(screens);
    if (!panel) {
        return std::nullopt;
    }
    const QRect& strip = panel->strip;
    const bool horizontal = panel->edge == ScreenEdge::Top || panel->edge == ScreenEdge::Bottom;
    const int thickness = horizontal ? strip.height() : strip.width();
    const int length
        = std::min(horizontal ? strip.width() : strip.height(), sampleLengthInThicknesses * thickness);
    QRect area = horizontal ? QRect(0, strip.top(), length, strip.height())
                            : QRect(strip.left(), 0, strip.width(), length);
    const QRect corner = trayCorner(*panel, QGuiApplication::layoutDirection());
    QPoint centre = corner.center();
    if (click && strip.contains(*click)) {
        centre = *click;
    }
    // Centred there, and kept on the panel at its ends.
    if (horizontal) {
        area.moveLeft(std::clamp(centre.x() - length / 2, strip.left(), strip.right() + 1 - length));
    } else {
        area.moveTop(std::clamp(centre.y() - length / 2, strip.top(), strip.bottom() + 1 - length));
    }
    return area;
}

void StatusNotifierItemBackend::setMenu(QMenu* menu, std::function<void()> aboutToShow)
{
    m_menu = menu;
    m_menuAdaptor->setMenu(menu, std::move(aboutToShow));
    m_adaptor->setMenuPath(menu && m_menuExported ? QString::fromLatin1(menuPath) : QString());
}

std::optional<QRect> StatusNotifierItemBackend::geometry() const
{
    if (!m_clickPosition) {
        return std::nullopt;
    }
    return QRect(*m_clickPosition, QSize(1, 1));
}

void StatusNotifierItemBackend::onWatcherOwnerChanged(const QString& newOwner)
{
    if (newOwner.isEmpty()) {
        // The panel went away (a restart, or another desktop): no host until a watcher is back.
        const bool before = isAvailable();
        m_watcherPresent = false;
        m_hostRegistered = false;
        if (before) {
            emit availabilityChanged(false);
        }
        return;
    }
    // A new watcher knows nothing of this item.
    m_watcherPresent = true;
    registerWithWatcher();
    queryHost();
}

void StatusNotifierItemBackend::requestServiceName()
{
    // The bus handles this connection's calls in the order they were sent: the name is the item's
    // before the watcher, asked later, hears of it.
    auto* pending = new QDBusPendingCallWatcher(m_connection.asyncCall(requestNameCall(m_serviceName)), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusMessage reply = finished->reply();
        if (!madeNameOwner(reply)) {
            log(LogLevel::Warning, lcTray(),
                "The status item cannot take its bus name " + m_serviceName.toStdString() + ": "
                    + (reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage().toStdString()
                                                                  : "held by another"));
        }
    });
}

void StatusNotifierItemBackend::askForWatcher()
{
    auto* pending = new QDBusPendingCallWatcher(
        m_connection.asyncCall(
            busDaemonCall(QStringLiteral("NameHasOwner"), { QString::fromLatin1(watcherService) })),
        this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (m_watcherPresent) {
            // A watcher that appeared meanwhile has been asked already.
            return;
        }
        const QDBusPendingReply<bool> reply = *finished;
        if (!reply.isError() && reply.value()) {
            m_watcherPresent = true;
            registerWithWatcher();
            queryHost();
            return;
        }
        m_askingForHost = false;
        emit hostQueryAnswered();
    });
}

void StatusNotifierItemBackend::registerWithWatcher()
{
    QDBusMessage call = watcherCall(QStringLiteral("RegisterStatusNotifierItem"));
    call << m_serviceName;
    auto* pending = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<> reply = *finished;
        if (reply.isError()) {
            log(LogLevel::Warning, lcTray(),
                "The StatusNotifierWatcher refused the item: " + reply.error().message().toStdString());
        }
    });
}

void StatusNotifierItemBackend::queryHost()
{
    auto* pending = new QDBusPendingCallWatcher(
        m_connection.asyncCall(hostRegisteredQuery(), hostQueryTimeoutMilliseconds), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        // A watcher that does not answer within the call's time has no host to offer.
        const bool firstAnswer = std::exchange(m_askingForHost, false);
        setHostRegistered(m_watcherPresent && readHostRegistered(finished->reply()));
        if (firstAnswer) {
            emit hostQueryAnswered();
        }
    });
}

void StatusNotifierItemBackend::onHostRegistered()
{
    setHostRegistered(m_watcherPresent);
}

void StatusNotifierItemBackend::onHostUnregistered()
{
    // Another host may still be there.
    queryHost();
}

void StatusNotifierItemBackend::setHostRegistered(bool registered)
{
    const bool before = isAvailable();
    m_hostRegistered = registered;
    if (isAvailable() != before) {
        emit availabilityChanged(isAvailable());
    }
    // A host that registers (again, or another one after a panel restart) may be another panel.
    if (registered) {
        m_panelSampler.panelMayHaveChanged();
    }
}

} // namespace platform
