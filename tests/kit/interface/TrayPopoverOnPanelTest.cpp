#include "kit/interface/Tooltip.h"
#include "platform/desktop/StatusItem.h"
#include "platform/linux/DesktopStatusItemBackend.h"
#include "platform/linux/PanelColourSources.h"
#include "platform/linux/TrayStatusItemBackend.h"
#include "platform/linux/X11Atom.h"
#include "support/ColourSchemes.h"
#include "support/PrivateSessionBus.h"
#include "support/PrivateXServer.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include <gtest/gtest.h>

// The reminder popover and the status item's colours on real panels: xfce4-panel (a
// StatusNotifierItem host that tells no icon position until a click, and names its colours as an
// XEmbed tray manager) and trayer (a plain XEmbed tray). Each case runs the panel on an X server
// of its own under openbox, which turns the panel's strut into the free area Qt reports; the
// application runs in a child process on that server and reports where the tip went and which
// colour the item is drawn in.

namespace {

constexpr const char* childVariable = "KIRUVO_TRAY_POPOVER_CHILD";
constexpr const char* childDarkAppVariable = "KIRUVO_TRAY_POPOVER_DARK_APP";
constexpr const char* childSwitchVariable = "KIRUVO_TRAY_POPOVER_SWITCH_DARK_MODE";

enum class Host { Xfce, Trayer };

// How long the test waits for a program or the panel to get somewhere: long, since a loaded machine
// (or a sanitizer build) starts a panel slowly, yet each wait ends as soon as what it waits for holds.
constexpr int patience = 30000;

struct Case {
    Host host;
    bool top;
    bool darkPanel;
    const char* scale;
    // The panel takes its colours from the theme, and the user turns its dark mode on while the
    // application runs.
    bool switchesDarkMode = false;
    // The application's font resolution (QT_FONT_DPI), which scales it as QT_SCALE_FACTOR does.
    const char* fontDpi = nullptr;
    // trayer only as wide as its icons, so that the screen beside the icon is not the panel.
    bool trayAsWideAsItsIcons = false;
    // trayer's thickness in the desktop's pixels.
    int thickness = 28;
};

// The free area the window manager publishes for the first desktop, in device pixels.
QRect workArea(const PrivateXServer& server)
{
    const xcb_atom_t property = platform::internAtom(server.connection(), "_NET_WORKAREA", false);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(server.connection(),
        xcb_get_property(server.connection(), 0, server.root(), property, XCB_ATOM_CARDINAL, 0, 4), nullptr);
    QRect area;
    if (reply && xcb_get_property_value_length(reply) >= 16) {
        const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
        area = QRect(int(values[0]), int(values[1]), int(values[2]), int(values[3]));
    }
    free(reply);
    return area;
}

// The grey of the screen's pixel there, or -1 when it is not grey.
int greyAt(const PrivateXServer& server, int x, int y)
{
    xcb_get_image_reply_t* reply = xcb_get_image_reply(server.connection(),
        xcb_get_image(server.connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, server.root(), std::int16_t(x),
            std::int16_t(y), 1, 1, ~0u),
        nullptr);
    int grey = -1;
    if (reply && xcb_get_image_data_length(reply) >= 4) {
        const std::uint8_t* pixel = xcb_get_image_data(reply);
        if (std::abs(pixel[0] - pixel[1]) <= 8 && std::abs(pixel[1] - pixel[2]) <= 8) {
            grey = pixel[1];
        }
    }
    free(reply);
    return grey;
}

bool trayManagerRuns(const PrivateXServer& server)
{
    const xcb_atom_t selection = platform::internAtom(server.connection(), "_NET_SYSTEM_TRAY_S0", false);
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        server.connection(), xcb_get_selection_owner(server.connection(), selection), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    free(reply);
    return owned;
}

QString xfcePanelConfiguration(bool top, bool dark, bool themed)
{
    const QString shade = dark ? QStringLiteral("0.150000") : QStringLiteral("0.910000");
    return QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="dark-mode" type="bool" value="%3"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="%1"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="28"/>
      <property name="background-style" type="uint" value="%4"/>
      <property name="background-rgba" type="array">
        <value type="double" value="%2"/><value type="double" value="%2"/>
        <value type="double" value="%2"/><value type="double" value="1.000000"/>
      </property>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/><value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
)")
        .arg(top ? QStringLiteral("p=6;x=0;y=0") : QStringLiteral("p=8;x=0;y=0"), shade,
            dark ? QStringLiteral("true") : QStringLiteral("false"),
            themed ? QStringLiteral("0") : QStringLiteral("1"));
}

QString xfconfd()
{
    for (const char* path : { "/usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd",
             "/usr/lib/xfce4/xfconf/xfconfd", "/usr/libexec/xfconfd" }) {
        if (QFile::exists(QString::fromLatin1(path))) {
            return QString::fromLatin1(path);
        }
    }
    return {};
}

void stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning) {
        return;
    }
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished();
    }
}

// What the child reports: "tip x y w h", "text r g b", "ratio r", "looks known figure tint scheme",
// "new-tray looked".
struct Report {
    QRect tip;
    QColor text;
    double ratio = 0;
    // Whether the panel's colours were known, and whether a look was due after a draw of the figure
    // alone, after a tint and after a change of the desktop's colour scheme.
    std::optional<bool> colorsKnown;
    std::optional<bool> lookAfterFigure;
    std::optional<bool> lookAfterTint;
    std::optional<bool> lookAfterScheme;
    // Whether a new XEmbed tray manager had the panel looked at again.
    std::optional<bool> lookAfterNewTray;
    // The item's colour after the panel's dark mode was switched.
    QColor textAfterSwitch;
    QString output;
};

Report runCase(const Case& c)
{
    Report report;
    PrivateXServer server("1280x800");
    PrivateSessionBus bus;
    if (!server.isRunning() || !bus.isRunning()) {
        ADD_FAILURE() << "no private X server or session bus";
        return report;
    }
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(server.display()));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    for (const char* folder : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME" }) {
        const QString path = home.filePath(QString::fromLatin1(folder));
        QDir().mkpath(path);
        environment.insert(QString::fromLatin1(folder), path);
    }
    environment.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    environment.remove(QStringLiteral("SESSION_MANAGER"));

    QProcess windowManager;
    windowManager.setProcessEnvironment(environment);
    windowManager.start(QStringLiteral("openbox"), { QStringLiteral("--sm-disable") });
    // A panel mapped while the window manager starts may never be managed, and keep the whole screen
    // free: the panel comes after the window manager, as in a desktop session.
    EXPECT_TRUE(server.waitForWindowManager(patience)) << "openbox did not start";
    QProcess configuration;
    QProcess panel;
    panel.setProcessEnvironment(environment);
    if (c.host == Host::Xfce) {
        const QString channel
            = home.filePath(QStringLiteral("XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"));
        QDir().mkpath(channel);
        QFile file(channel + QStringLiteral("/xfce4-panel.xml"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(xfcePanelConfiguration(c.top, c.darkPanel, c.switchesDarkMode).toUtf8());
        file.close();
        // Started here rather than by the bus, which would hand it the bus's own folders.
        configuration.setProcessEnvironment(environment);
        configuration.start(xfconfd(), {});
        QDBusConnection probe = bus.connect(QStringLiteral("probe"));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return probe.interface()->isServiceRegistered(QStringLiteral("org.xfce.Xfconf")); },
            patience));
        panel.start(QStringLiteral("xfce4-panel"), { QStringLiteral("--disable-wm-check") });
    } else {
        const QStringList width = c.trayAsWideAsItsIcons
            ? QStringList { QStringLiteral("--widthtype"), QStringLiteral("request") }
            : QStringList { QStringLiteral("--widthtype"), QStringLiteral("percent"),
                  QStringLiteral("--width"), QStringLiteral("100") };
        panel.start(QStringLiteral("trayer"),
            QStringList { QStringLiteral("--edge"), c.top ? QStringLiteral("top") : QStringLiteral("bottom"),
                QStringLiteral("--align"), QStringLiteral("right") }
                + width
                + QStringList { QStringLiteral("--height"), QString::number(c.thickness),
                    QStringLiteral("--SetDockType"), QStringLiteral("true"),
                    QStringLiteral("--SetPartialStrut"), QStringLiteral("true"),
                    QStringLiteral("--transparent"), QStringLiteral("true"), QStringLiteral("--alpha"),
                    QStringLiteral("0"), QStringLiteral("--tint"),
                    c.darkPanel ? QStringLiteral("0x262626") : QStringLiteral("0xe8e8e8") });
    }
    // The panel has taken its place once the free area leaves out its edge, and hosts items once
    // it owns the tray's selection and, for xfce4-panel, the StatusNotifierItem watcher's name: the
    // panel takes them in no promised order, nor in one step (it may first show at another edge).
    const auto placed = [&] {
        const QRect area = workArea(server);
        return area.isValid() && area.height() < 800
            && (c.top ? area.top() >= c.thickness && area.bottom() == 799
                      : area.top() == 0 && area.bottom() <= 799 - c.thickness);
    };
    const auto hosts = [&] {
        return trayManagerRuns(server)
            && (c.host != Host::Xfce
                || bus.connect(QStringLiteral("probe"))
                       .interface()
                       ->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")));
    };
    // The application looks at the panel's pixels a moment after it shows its item: the panel has
    // drawn its background by then on a desktop, and must have here too.
    const int shade = c.darkPanel ? 38 : 232;
    // A panel as wide as its icons has only its right end.
    const int panelX = c.trayAsWideAsItsIcons ? 1279 : 100;
    const auto drawn = [&] {
        const int grey = greyAt(server, panelX, c.top ? c.thickness / 2 : 800 - c.thickness / 2);
        return grey >= 0 && std::abs(grey - shade) <= 24;
    };
    const bool ready = QTest::qWaitFor([&] { return placed() && hosts() && drawn(); }, patience);
    const QRect area = workArea(server);
    EXPECT_TRUE(ready)
        << "the panel did not take its place; work area " << area.x() << "," << area.y() << " "
        << area.width() << "x" << area.height() << "; tray " << trayManagerRuns(server) << "; panel's grey "
        << greyAt(server, panelX, c.top ? c.thickness / 2 : 800 - c.thickness / 2) << "\nwindow manager ("
        << windowManager.state() << "):\n"
        << (windowManager.readAllStandardOutput() + windowManager.readAllStandardError()).toStdString()
        << "\npanel (" << panel.state() << "):\n"
        << (panel.readAllStandardOutput() + panel.readAllStandardError()).toStdString() << "\nxfconfd ("
        << configuration.state() << "):\n"
        << (configuration.readAllStandardOutput() + configuration.readAllStandardError()).toStdString();
    // The pointer far from the panel: the tip must not follow it.
    xcb_warp_pointer(server.connection(), XCB_NONE, server.root(), 0, 0, 0, 0, 640, 400);
    xcb_flush(server.connection());

    QProcess child;
    QProcessEnvironment childEnvironment = environment;
    childEnvironment.insert(QString::fromLatin1(childVariable), QStringLiteral("1"));
    childEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    childEnvironment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(c.scale));
    if (c.fontDpi) {
        childEnvironment.insert(QStringLiteral("QT_FONT_DPI"), QString::fromLatin1(c.fontDpi));
    }
    // The application's own scheme is the panel's opposite, as when Kiruvo is set apart from it.
    if (!c.darkPanel) {
        childEnvironment.insert(QString::fromLatin1(childDarkAppVariable), QStringLiteral("1"));
    }
    if (c.switchesDarkMode) {
        childEnvironment.insert(QString::fromLatin1(childSwitchVariable), QStringLiteral("1"));
    }
    child.setProcessEnvironment(childEnvironment);
    child.start(
        QCoreApplication::applicationFilePath(), { QStringLiteral("--gtest_filter=TrayPopoverChild.Run") });
    if (!child.waitForFinished(3 * patience)) {
        child.kill();
        child.waitForFinished();
    }
    report.output = QString::fromLocal8Bit(child.readAllStandardOutput() + child.readAllStandardError());
    for (const QString& line : report.output.split(QLatin1Char('\n'))) {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() == 6 && words[0] == QLatin1String("child:") && words[1] == QLatin1String("tip")) {
            report.tip = QRect(words[2].toInt(), words[3].toInt(), words[4].toInt(), words[5].toInt());
        } else if (words.size() == 5 && words[0] == QLatin1String("child:")
            && words[1] == QLatin1String("text")) {
            report.text = QColor(words[2].toInt(), words[3].toInt(), words[4].toInt());
        } else if (words.size() == 5 && words[0] == QLatin1String("child:")
            && words[1] == QLatin1String("switched")) {
            report.textAfterSwitch = QColor(words[2].toInt(), words[3].toInt(), words[4].toInt());
        } else if (words.size() == 3 && words[0] == QLatin1String("child:")
            && words[1] == QLatin1String("ratio")) {
            report.ratio = words[2].toDouble();
        } else if (words.size() == 6 && words[0] == QLatin1String("child:")
            && words[1] == QLatin1String("looks")) {
            report.colorsKnown = words[2] == QLatin1String("1");
            report.lookAfterFigure = words[3] == QLatin1String("1");
            report.lookAfterTint = words[4] == QLatin1String("1");
            report.lookAfterScheme = words[5] == QLatin1String("1");
        } else if (words.size() == 3 && words[0] == QLatin1String("child:")
            && words[1] == QLatin1String("new-tray")) {
            report.lookAfterNewTray = words[2] == QLatin1String("1");
        }
    }
    stop(panel);
    stop(configuration);
    stop(windowManager);
    return report;
}

void expectAtThePanel(const Case& c)
{
    for (const char* tool : { "openbox", c.host == Host::Xfce ? "xfce4-panel" : "trayer" }) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    if (c.host == Host::Xfce && xfconfd().isEmpty()) {
        GTEST_SKIP() << "xfconfd is not installed";
    }
    if (c.switchesDarkMode && QStandardPaths::findExecutable(QStringLiteral("xfconf-query")).isEmpty()) {
        GTEST_SKIP() << "xfconf-query is not installed";
    }
    const Report report = runCase(c);
    ASSERT_TRUE(report.tip.isValid()) << report.output.toStdString();
    // In the desktop's pixels.
    const QRect tip(QPoint(int(report.tip.x() * report.ratio), int(report.tip.y() * report.ratio)),
        QSize(int(report.tip.width() * report.ratio), int(report.tip.height() * report.ratio)));
    const QRect panel
        = c.top ? QRect(0, 0, 1280, c.thickness) : QRect(0, 800 - c.thickness, 1280, c.thickness);
    EXPECT_FALSE(tip.intersects(panel))
        << "tip " << tip.x() << "," << tip.y() << " " << tip.width() << "x" << tip.height() << "\n"
        << report.output.toStdString();
    // Beside the panel, at its right end, where the tray is, whatever the pointer does.
    if (c.top) {
        EXPECT_LE(tip.top() - panel.bottom(), 16) << tip.top();
    } else {
        EXPECT_LE(panel.top() - tip.bottom(), 16) << tip.bottom();
    }
    EXPECT_GE(tip.right(), 1280 - 8 * c.thickness) << tip.right();
    EXPECT_FALSE(tip.contains(640, 400));
    // The item's figure reads on the panel.
    ASSERT_TRUE(report.text.isValid()) << report.output.toStdString();
    if (c.darkPanel) {
        EXPECT_GT(report.text.lightness(), 200) << report.text.name().toStdString();
    } else {
        EXPECT_LT(report.text.lightness(), 80) << report.text.name().toStdString();
    }
    // Once the panel was seen, the figure of the next minute is drawn without looking at it again;
    // the item's own change (a reminder's tint), the desktop's colour scheme and, on an XEmbed
    // tray, a new tray manager are looked at.
    ASSERT_TRUE(report.colorsKnown.has_value()) << report.output.toStdString();
    if (*report.colorsKnown) {
        EXPECT_FALSE(report.lookAfterFigure.value_or(true)) << report.output.toStdString();
    }
    EXPECT_TRUE(report.lookAfterTint.value_or(false)) << report.output.toStdString();
    EXPECT_TRUE(report.lookAfterScheme.value_or(false)) << report.output.toStdString();
    if (c.host == Host::Trayer) {
        EXPECT_TRUE(report.lookAfterNewTray.value_or(false)) << report.output.toStdString();
    }
    // The figure follows the panel into its other shade while the application runs.
    if (c.switchesDarkMode) {
        ASSERT_TRUE(report.textAfterSwitch.isValid()) << report.output.toStdString();
        if (c.darkPanel) {
            EXPECT_LT(report.textAfterSwitch.lightness(), 80) << report.textAfterSwitch.name().toStdString();
        } else {
            EXPECT_GT(report.textAfterSwitch.lightness(), 200) << report.textAfterSwitch.name().toStdString();
        }
    }
}

// Announces a tray manager as a panel that starts does: it takes the XEmbed tray's selection and
// tells every client on the root window. The window is the caller's to destroy.
xcb_window_t announceTrayManager(xcb_connection_t* connection)
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t selection = platform::internAtom(connection, "_NET_SYSTEM_TRAY_S0", false);
    xcb_set_selection_owner(connection, window, selection, XCB_CURRENT_TIME);
    xcb_client_message_event_t announcement {};
    announcement.response_type = XCB_CLIENT_MESSAGE;
    announcement.format = 32;
    announcement.window = screen->root;
    announcement.type = platform::internAtom(connection, "MANAGER", false);
    announcement.data.data32[0] = XCB_CURRENT_TIME;
    announcement.data.data32[1] = selection;
    announcement.data.data32[2] = window;
    xcb_send_event(connection, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&announcement));
    xcb_flush(connection);
    return window;
}

} // namespace

TEST(TrayPopoverChild, Run)
{
    if (!qEnvironmentVariableIsSet(childVariable)) {
        GTEST_SKIP() << "runs only as the child of a tray popover test";
    }
    QApplication::setPalette(breezePalette(qEnvironmentVariableIsSet(childDarkAppVariable)));
    // The panel's strut reaches this process through the window manager's free area, which may
    // come a moment after the process connects.
    if (!QTest::qWaitFor(
            [] {
                const QScreen* screen = QGuiApplication::primaryScreen();
                return screen && screen->availableGeometry() != screen->geometry();
            },
            patience)) {
        std::printf("child: the screen shows no panel\n");
    }
    auto backend = std::make_unique<platform::DesktopStatusItemBackend>(QDBusConnection::sessionBus());
    platform::DesktopStatusItemBackend* desktop = backend.get();
    platform::StatusItem item(std::move(backend));
    platform::StatusItemAppearance appearance;
    appearance.title = QStringLiteral("25m");
    item.setAppearance(appearance);
    // The panel's colours are looked at a moment after the item is drawn.
    // An invalid colour while the panel's is unknown.
    const auto textColour = [&] {
        if (desktop->usesStatusNotifierItem()) {
            return desktop->statusNotifierItem().textColor().value_or(QColor());
        }
        auto* tray = static_cast<platform::TrayStatusItemBackend*>(desktop->fallback());
        return platform::panelTextColor(tray->panelColours()).value_or(QColor());
    };
    const auto known = [&] {
        if (desktop->usesStatusNotifierItem()) {
            return desktop->statusNotifierItem().panelColours().background.has_value();
        }
        auto* tray = static_cast<platform::TrayStatusItemBackend*>(desktop->fallback());
        return tray->panelColours().background.has_value() && tray->geometry().has_value();
    };
    // The application looks once, a second after the draw; a third of the patience leaves a loaded
    // machine room for that look without making a look that learns nothing (as with xfce4-panel at a
    // scale of one and a half) cost the whole patience.
    const bool colorsKnown = QTest::qWaitFor(known, patience / 3);
    if (!colorsKnown) {
        std::printf("child: the panel's colours stayed unknown\n");
    }
    platform::PanelSampler& sampler = desktop->usesStatusNotifierItem()
        ? desktop->statusNotifierItem().panelSampler()
        : static_cast<platform::TrayStatusItemBackend*>(desktop->fallback())->panelSampler();
    // What look is due is taken now: the draws below are then judged alone.
    sampler.lookNow();
    appearance.title = QStringLiteral("26m");
    item.setAppearance(appearance);
    const bool lookAfterFigure = sampler.isPending();
    appearance.tint = platform::systemPinkColor();
    item.setAppearance(appearance);
    const bool lookAfterTint = sampler.isPending();
    appearance.tint.reset();
    item.setAppearance(appearance);
    sampler.lookNow();
    emit platform::DesktopColourScheme::shared().changed();
    const bool lookAfterScheme = sampler.isPending();
    std::printf("child: looks %d %d %d %d\n", int(colorsKnown), int(lookAfterFigure), int(lookAfterTint),
        int(lookAfterScheme));

    zk::Tooltip tip(QStringLiteral("You have been active for 25 minutes"), true, QMargins(15, 15, 15, 15),
        1000, {}, QStringLiteral("statusBarButtonWelcomePopover"), false);
    tip.showEvenWhenMenuBarItemIsHidden = true;
    tip.showInInvisibleWindow(item);
    if (!QTest::qWaitForWindowExposed(&tip, patience)) {
        std::printf("child: the tip was never shown\n");
    }
    const QRect shown = tip.frameGeometry();
    const QRect available = tip.screen() ? tip.screen()->availableGeometry() : QRect();
    std::printf("child: available %d %d %d %d\n", available.x(), available.y(), available.width(),
        available.height());
    const QColor text = textColour();
    std::printf("child: %s\n", desktop->usesStatusNotifierItem() ? "statusnotifieritem" : "xembed");
    std::printf("child: tip %d %d %d %d\n", shown.x(), shown.y(), shown.width(), shown.height());
    std::printf("child: text %d %d %d\n", text.red(), text.green(), text.blue());
    std::printf("child: ratio %g\n", tip.screen() ? tip.screen()->devicePixelRatio() : 1.0);
    std::fflush(stdout);
    tip.close();

    if (!desktop->usesStatusNotifierItem()) {
        sampler.lookNow();
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        const xcb_window_t manager = announceTrayManager(connection);
        std::printf(
            "child: new-tray %d\n", int(QTest::qWaitFor([&] { return sampler.isPending(); }, patience)));
        std::fflush(stdout);
        xcb_destroy_window(connection, manager);
        xcb_disconnect(connection);
    }

    if (qEnvironmentVariableIsSet(childSwitchVariable)) {
        // Nothing else is due: only the switch can have the panel looked at again.
        sampler.lookNow();
        const QColor before = textColour();
        const bool dark = before.lightness() > 127;
        QProcess::execute(QStringLiteral("xfconf-query"),
            { QStringLiteral("-c"), QStringLiteral("xfce4-panel"), QStringLiteral("-p"),
                QStringLiteral("/panels/dark-mode"), QStringLiteral("-s"),
                dark ? QStringLiteral("false") : QStringLiteral("true") });
        // What the colour is then, changed or not, is the parent's to judge.
        static_cast<void>(QTest::qWaitFor([&] { return textColour() != before; }, patience / 3));
        const QColor after = textColour();
        std::printf("child: switched %d %d %d\n", after.red(), after.green(), after.blue());
        std::fflush(stdout);
    }
}

TEST(TrayPopoverOnPanel, XfceTopDarkPanelWithALightApplication)
{
    expectAtThePanel({ Host::Xfce, true, true, "1" });
}

TEST(TrayPopoverOnPanel, XfceBottomLightPanelWithADarkApplicationAtScaleTwo)
{
    expectAtThePanel({ Host::Xfce, false, false, "2" });
}

TEST(TrayPopoverOnPanel, XfceTopLightPanelAtScaleOneAndAHalf)
{
    expectAtThePanel({ Host::Xfce, true, false, "1.5" });
}

TEST(TrayPopoverOnPanel, XfceTopThemedPanelTurnedDark)
{
    expectAtThePanel({ Host::Xfce, true, false, "1", true });
}

TEST(TrayPopoverOnPanel, TrayerBottomDarkXEmbedTray)
{
    expectAtThePanel({ Host::Trayer, false, true, "1" });
}

// The panel's colour is read alike at every scale: at one and a half the icon's rectangle in the
// application's points and the screen's pixels lie a pixel apart, and beside a tray only as wide as
// its icons that pixel is not the panel.
TEST(TrayPopoverOnPanel, TrayerTopLightXEmbedTrayAsWideAsItsIconsAtScaleOneAndAHalf)
{
    expectAtThePanel({ Host::Trayer, true, false, "1.5", false, nullptr, true, 24 });
}

TEST(TrayPopoverOnPanel, TrayerTopLightXEmbedTrayAsWideAsItsIconsAt144Dpi)
{
    expectAtThePanel({ Host::Trayer, true, false, "1", false, "144", true, 24 });
}
