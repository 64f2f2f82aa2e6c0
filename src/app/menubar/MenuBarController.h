#pragma once

#include "app/menubar/MenuBarState.h"
#include "kit/foundation/ZKApp.h"
#include "kit/interface/ZKMenu.h"
#include "libraries/defaults/DefaultsObservation.h"
#include "libraries/keyboard-shortcuts/Name.h"
#include "platform/combine/AnyCancellable.h"
#include "platform/desktop/StatusItem.h"
#include "platform/time/Clock.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zk {
class CarbonLocalEventMonitor;
}

namespace kiruvo {

class SessionController;

// The two global shortcuts the application offers; neither has a shortcut until the user records one.
namespace ShortcutNames {
const KeyboardShortcuts::Name& toggleEnabled();
const KeyboardShortcuts::Name& toggleMenu();
} // namespace ShortcutNames

// The application's face: the status item and its menu.
//
// The status item is redrawn when what it shows changed: at once for what the engine, the settings
// or a reminder tell, and otherwise by one timer armed at the next moment the figure can change by
// itself (the running duration or today's total reaching the next rounded minute, midnight for
// today's total), and at once when the wall clock jumps or the time zone changes. Nothing wakes
// the application in between. A
// click on the item opens the menu or toggles tracking, as "toggleEnabledWithLeftClick" decides at
// the moment of the click: off, a left click opens the menu and a right click (or a left click with
// exactly Ctrl or exactly Alt held) toggles; on, the two swap. The global shortcut "toggleEnabled"
// toggles tracking and "toggleMenu" opens the menu, or closes it when it is open. "enableAtLaunch" is
// applied once, on the turn of the event loop after construction.
//
// The menu is emptied and built again each time it is about to open, so every figure in it is current.
// Panels that draw the menu themselves get it over D-Bus; for them it is also built again whenever
// what the item shows changes (at most once a minute, and on every enable or disable). A panel's
// request for the menu (its "context menu") always opens it.
//
// Main-thread only.
class MenuBarController : public QObject {
    Q_OBJECT
public:
    using MenuBarState = kiruvo::MenuBarState;

    struct Environment {
        // Draws the status item. Empty: a StatusNotifierItem where the panel hosts one, else the
        // XEmbed tray (DesktopStatusItemBackend).
        std::function<std::unique_ptr<platform::StatusItemBackend>()> makeStatusItemBackend;
        // Empty: SessionController::shared().
        SessionController* sessionController = nullptr;
        // Seconds the desktop has to bring up its tray before the user is told there is none: at
        // login the panel often starts after the applications it launches.
        double noTrayGracePeriod = 15.0;
        // The same for an idle service: the desktop's own may start after the applications.
        double noIdleSourceGracePeriod = 15.0;
    };

    // Without a website of its own the kit sends people to these pages.
    static constexpr const char* websiteAddress = zk::ZKApp::webPageAddress;
    static constexpr const char* faqAddress = "https://kiruvo.example/faq";
    static constexpr const char* moreAppsAddress = "https://kiruvo.example/apps";
    static constexpr double continueWindow = 600.0;

    MenuBarController();
    explicit MenuBarController(Environment environment);
    ~MenuBarController() override;

    // The status item, created with the controller.
    platform::StatusItem& statusItem();
    zk::ZKMenu& menu() { return *m_menu; }
    SessionController& sessionController() const { return *m_sessionController; }

    // Redraws the status item from the session engine and the settings, when what it shows changed.
    void update();
    // What the status item would show now.
    MenuBarState currentState() const;
    // Draws `state` unless it equals the last one drawn.
    void render(const MenuBarState& state);
    const std::optional<MenuBarState>& previousState() const { return m_previousState; }

    // Opens the menu below the status item (above it when there is no room below), or at the
    // pointer when the desktop does not say where the item is. Returns at once; an open menu stays
    // as it is.
    void showMenu();
    // A click on the status item; buttons other than the left and the right one are ignored.
    void handleClick(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    // What a press of the "toggleMenu" shortcut does: the menu opens when the keys are let go.
    void showMenuFromShortcut();
    // The system uptime at which the status item is next looked at by itself; nothing while only
    // an event can change what it shows.
    std::optional<double> nextRedrawAt() const { return m_nextRedrawAt; }
    // Seconds from now until what the status item shows could change with no event: the next
    // rounded minute of the figure shown, midnight for today's total; nothing when it cannot.
    std::optional<double> secondsUntilFigureChanges() const;

    // Empties the menu and builds it again (the menu does this itself before it opens).
    void updateMenu();
    // A new "More" submenu, owned by `parent`.
    zk::ZKMenu* makeMoreMenu(QWidget* parent);

    // Whether the menu would be placed at `position` for an item at `anchor`, given its size and
    // the screen's free area.
    static QPoint menuPosition(const QRect& anchor, const QSize& menuSize, const QRect& available);
    // What the user is told when the desktop has no tray; the keyboard shortcut is named only
    // when it is recorded and the desktop gave us its hot key.
    static QString noTrayMessage(bool menuShortcutWorks);
    // Where no idle source answers: a line in the menu's current-session section and in the
    // status item's tooltip, and the notice given once per desktop.
    static constexpr const char* idleUnavailableLine
        = "This desktop does not report idle time: sessions do not end when you leave";
    static constexpr const char* idleUnavailableSummary = "Kiruvo cannot see when you are idle";
    static constexpr const char* idleUnavailableMessage
        = "This desktop does not report idle time to Kiruvo, so a session does not end when you leave. "
          "Disable Kiruvo or start a new session when you take a break. Settings, General shows "
          "whether this changes; the log names the idle services tried.";
    // The run-once identifier of that notice on this desktop: another desktop may lack idle time
    // too, and is told again.
    static std::string idleUnavailableNoticeIdentifier();

Q_SIGNALS:
    // "History…" was chosen. With nothing connected (no windows yet) it is only logged.
    void historyWindowRequested();

private:
    void setUp();
    void applyEnableAtLaunch();
    void toggleEnabled();
    void toggleEnabledFromMenu();
    void newSessionFromMenu();
    void menuIsOpenChanged(bool isOpen);
    void refreshExportedMenu();
    // Arms the redraw timer at the moment secondsUntilFigureChanges() says.
    void scheduleRedraw();
    // An update on the next turn of the event loop, however often asked for meanwhile: one change
    // of the history may be told several times.
    void updateSoon();
    bool handleKeyDownWhileMenuOpen(const QEvent* event);
    // Once per controller, and only when the tray is still missing after the grace period.
    void tellUserIfThereIsNoTray(double gracePeriod);
    // When no idle source answers after the grace period: the log says so every time, a desktop
    // notification once per desktop (it stays unsaid until one is shown).
    void tellUserIfIdleIsUnseen();

    SessionController* m_sessionController;
    std::unique_ptr<zk::ZKMenu> m_menu;
    std::unique_ptr<platform::StatusItem> m_statusItem;
    std::optional<MenuBarState> m_previousState;
    QTimer m_redraw;
    std::optional<double> m_nextRedrawAt;
    platform::Clock::ChangeObserverId m_clockObserver = 0;
    std::unique_ptr<zk::CarbonLocalEventMonitor> m_keyDownMonitor;
    std::vector<platform::combine::AnyCancellable> m_cancellables;
    std::vector<std::shared_ptr<Defaults::DefaultsObservation>> m_observations;
    // The menu shortcut was pressed and its release opens the menu.
    bool m_menuOpensOnKeyUp = false;
    double m_noIdleSourceGracePeriod = 15.0;
    bool m_idleNoticePending = false;
};

} // namespace kiruvo
