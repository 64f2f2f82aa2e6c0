#pragma once

#include "platform/desktop/StatusItem.h"
#include "platform/linux/DBusCallContext.h"
#include "platform/linux/PanelSampler.h"
#include "platform/linux/StatusNotifierItemTypes.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <optional>

namespace platform {

class DBusMenuAdaptor;
class StatusNotifierItemAdaptor;

// Draws the status item as a StatusNotifierItem: the item's own service on the session bus
// (org.kde.StatusNotifierItem-<pid>-<n>, object /StatusNotifierItem), registered with the
// org.kde.StatusNotifierWatcher, whose host (the panel) draws it.
//
// The title goes to the AppIndicator label (XAyatanaLabel, with a guide of the same shape in
// zeros so the panel keeps its width as the digits change), which hosts that show labels put
// beside the icon. For those hosts the icon is the image alone (the application's icon when the
// item shows only a title); for the others the title is drawn into the icon, as on an XEmbed tray.
// The tooltip is the application's name over what the figure is; the status is NeedsAttention
// while a tint (the reminder's) is shown, Passive while the item is hidden. Every change signal is
// sent only when its value changed.
//
// Clicks arrive as the host's Activate (left) and SecondaryActivate (middle) with the position the
// host reports, which then anchors menus and popovers. The host's ContextMenu asks for the menu and
// is reported as such, never as a click. The item's menu is exported as a com.canonical.dbusmenu
// object (menuPath), so hosts that draw menus themselves show it on a right click; on Wayland,
// where an application cannot place a menu at the icon itself, the item tells hosts it is a menu
// (ItemIsMenu), so that a plain click shows it too.
//
// The watcher is followed for the life of the backend: when it appears (a panel restart) the item
// registers again, and the item is available while a watcher with a registered host exists.
//
// Main-thread only.
class StatusNotifierItemBackend final : public QObject, public StatusItemBackend {
    Q_OBJECT
public:
    static constexpr const char* watcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char* watcherPath = "/StatusNotifierWatcher";
    static constexpr const char* watcherInterface = "org.kde.StatusNotifierWatcher";
    static constexpr const char* itemPath = "/StatusNotifierItem";
    static constexpr const char* menuPath = "/MenuBar";
    // Picture heights sent to the host, which picks the one that fits its panel.
    static constexpr int iconSizes[] = { 16, 22, 24, 32, 48, 64 };

    struct Options {
        // Whether the host shows the label beside the icon; when it does, the title is not drawn
        // into the icon as well. Empty: guessed from the desktop (hostShowsLabels()).
        std::optional<bool> hostShowsLabels;
        // The panel's background, for the colour of the title and template images. Empty: what
        // the desktop tells (panelTextColor()): the colours the XEmbed tray manager names, the
        // panel's pixels at its tray end, sway's bar colours, the desktop's colour scheme.
        std::optional<QColor> panelBackground;
        // Whether hosts should show the menu on a plain click (ItemIsMenu) rather than calling
        // Activate. Empty: on Wayland only, where the application cannot place its own menu.
        std::optional<bool> itemIsMenu;
    };

    explicit StatusNotifierItemBackend(
        QDBusConnection connection, Options options, QObject* parent = nullptr);
    explicit StatusNotifierItemBackend(QDBusConnection connection = QDBusConnection::sessionBus())
        : StatusNotifierItemBackend(std::move(connection), Options {})
    {
    }
    ~StatusNotifierItemBackend() override;

    void draw(const StatusItemAppearance& appearance) override;
    // A point-sized rectangle at the position of the host's last click, in the application's
    // coordinates; nothing before one.
    std::optional<QRect> geometry() const override;
    bool isAvailable() const override { return m_watcherPresent && m_hostRegistered; }
    // Whether the bus has not yet said if a watcher is there at start, or the watcher found then
    // if a host is: the item is not available yet, nor known to be unavailable.
    bool isAskingForHost() const { return m_askingForHost; }
    void setMenu(QMenu* menu, std::function<void()> aboutToShow) override;
    bool exportsMenu() const override { return m_menuExported && m_menu; }
    bool menuRequestIsPrimaryClick() const override;
    DBusMenuAdaptor* menuAdaptor() const { return m_menuAdaptor; }

    const QString& serviceName() const { return m_serviceName; }

    // Whether the desktop's StatusNotifierItem host is known to show labels beside icons: the
    // AppIndicator hosts of GNOME, Unity, Budgie, Pantheon and Cinnamon. `currentDesktop` is an
    // XDG_CURRENT_DESKTOP value ("ubuntu:GNOME").
    static bool hostShowsLabels(const QString& currentDesktop);

    // The icon pictures for an appearance, one per size of iconSizes.
    static StatusNotifierIconPixmaps iconPixmaps(
        const StatusItemAppearance& appearance, bool withTitle, const std::optional<QColor>& textColor);
    // The label guide: the title with each number written as zeros, at least two of them.
    static QString labelGuide(const QString& title);

    // What is known of the panel's colours now, and the colour the pictures are drawn in (none:
    // drawn to read on any panel).
    const PanelColours& panelColours() const { return m_panelColours; }
    std::optional<QColor> textColor() const { return panelTextColor(m_panelColours); }
    // When the panel is looked at again.
    PanelSampler& panelSampler() { return m_panelSampler; }
    // The stretch of the panel whose pixels show its colour: the tray's end of the tray panel, as
    // long as eight times the panel's thickness, or that much around the host's last click.
    static std::optional<QRect> panelSampleArea(const Screens& screens, std::optional<QPoint> click);

signals:
    // isAvailable() changed: the watcher or its host came or went.
    void availabilityChanged(bool available);
    // The bus answered that no watcher is there at start, or the watcher found then whether a host
    // is (isAskingForHost() turned false).
    void hostQueryAnswered();

private:
    void requestServiceName();
    void askForWatcher();
    void onWatcherOwnerChanged(const QString& newOwner);
    void registerWithWatcher();
    void queryHost();
    void setHostRegistered(bool registered);
    // Whether the look saw the panel.
    bool samplePanelColours();
    void drawIcon();
    Q_SLOT void onHostRegistered();
    Q_SLOT void onHostUnregistered();

    QDBusConnection m_connection;
    const Options m_options;
    const bool m_showsLabels;
    QString m_serviceName;
    DBusCallContext m_exported;
    StatusNotifierItemAdaptor* m_adaptor = nullptr;
    DBusCallContext m_exportedMenu;
    DBusMenuAdaptor* m_menuAdaptor = nullptr;
    bool m_menuExported = false;
    QPointer<QMenu> m_menu;
    QDBusServiceWatcher m_watcherWatch;
    bool m_watcherPresent = false;
    bool m_hostRegistered = false;
    bool m_askingForHost = false;
    std::optional<QPoint> m_clickPosition;
    StatusItemAppearance m_appearance;
    PanelColours m_panelColours;
    PanelSampler m_panelSampler;
};

} // namespace platform
