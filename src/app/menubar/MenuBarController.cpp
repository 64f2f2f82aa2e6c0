#include "app/menubar/MenuBarController.h"

#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "app/engine/SharedFormatters.h"
#include "app/menubar/MenuBarDurationFormatter.h"
#include "app/menubar/MenuBarIconImage.h"
#include "app/menubar/MenuBarTitle.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/ImageWriting.h"
#include "kit/foundation/RunOnce.h"
#include "kit/foundation/SystemEventPublishers.h"
#include "kit/foundation/ZKKit.h"
#include "kit/interface/CallbackMenuItem.h"
#include "kit/interface/CarbonLocalEventMonitor.h"
#include "kit/interface/StandaloneMenuWindow.h"
#include "kit/interface/StandardMenuItems.h"
#include "libraries/defaults/Defaults.h"
#include "libraries/defaults/Observation.h"
#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "libraries/keyboard-shortcuts/PortalShortcuts.h"
#include "libraries/keyboard-shortcuts/ShortcutConflicts.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/desktop/IdleTimeSource.h"
#include "platform/desktop/NotificationCenter.h"
#include "platform/linux/DesktopStatusItemBackend.h"
#include "platform/time/Calendar.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <QAction>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QPointer>
#include <QScreen>

#include <QCoro/QCoroTask>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace kiruvo {

namespace {

QAction* addInfoLine(QMenu& menu, const QString& title)
{
    auto* item = new QAction(title, &menu);
    item->setEnabled(false);
    menu.addAction(item);
    return item;
}

zk::CallbackMenuItem* addCommand(QMenu& menu, const QString& title, const QString& keyEquivalent,
    std::optional<Qt::KeyboardModifiers> modifiers, bool isEnabled, const QString& toolTip,
    std::function<void()> callback)
{
    auto* item = new zk::CallbackMenuItem(
        title, keyEquivalent, modifiers, isEnabled, false, false, std::move(callback), &menu);
    if (!toolTip.isEmpty()) {
        item->setToolTip(toolTip);
    }
    menu.addAction(item);
    return item;
}

// The modifier a modifier key holds down; none for any other key.
Qt::KeyboardModifiers modifierOfKey(int key)
{
    switch (key) {
    case Qt::Key_Control:
        return Qt::ControlModifier;
    case Qt::Key_Alt:
        return Qt::AltModifier;
    case Qt::Key_Shift:
        return Qt::ShiftModifier;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return Qt::MetaModifier;
    default:
        return Qt::NoModifier;
    }
}

QString durationText(std::optional<std::string> text)
{
    return QString::fromStdString(text.value_or(std::string(SharedFormatters::missingText)));
}

// Runs `then` once the alert has been answered, or at once when it was shown before.
void explainOnce(
    const char* identifier, const char* message, const char* informative, std::function<void()> then)
{
    if (!zk::runOnce(identifier)) {
        then();
        return;
    }
    zk::AlertDescription description;
    description.title = message;
    description.message = informative;
    zk::AlertPresenter::shared().present(
        zk::makeAlert(description), [then = std::move(then)](int) { then(); });
}

// A desktop notification of something the log has said already; `what` names it in the log when
// the notification fails. Whether it was shown.
QCoro::Task<bool> notifyUser(std::string summary, std::string body, std::string what)
{
    platform::NotificationCenter::Request request;
    request.summary = std::move(summary);
    request.body = std::move(body);
    const auto result = co_await platform::NotificationCenter::shared().post(std::move(request));
    if (!result.succeeded()) {
        platform::log(platform::LogLevel::Warning, platform::lcTray(),
            what + ", and the notification saying so failed: " + result.errorName + " "
                + result.errorMessage);
    }
    co_return result.succeeded();
}

QCoro::Task<void> tellUserThereIsNoTray()
{
    co_await notifyUser("Kiruvo has no place in the panel",
        MenuBarController::noTrayMessage(KeyboardShortcuts::hasWorkingHotKey(ShortcutNames::toggleMenu()))
            .toStdString(),
        "The desktop has no tray");
}

QCoro::Task<void> tellUserIdleIsUnseen()
{
    // Marked told only once it was shown: without a notification service the log alone says it,
    // and the next start tries again. The answer is taken first: GCC 12 resumes a destroyed frame
    // when the awaited task is the condition of the if.
    const bool shown = co_await notifyUser(MenuBarController::idleUnavailableSummary,
        MenuBarController::idleUnavailableMessage, "No idle source answers");
    if (shown) {
        zk::runOnce(MenuBarController::idleUnavailableNoticeIdentifier());
    }
}

} // namespace

namespace ShortcutNames {

const KeyboardShortcuts::Name& toggleEnabled()
{
    static const KeyboardShortcuts::Name name("toggleEnabled");
    return name;
}

const KeyboardShortcuts::Name& toggleMenu()
{
    static const KeyboardShortcuts::Name name("toggleMenu");
    return name;
}

} // namespace ShortcutNames

QString MenuBarController::noTrayMessage(bool menuShortcutWorks)
{
    // The shortcut is mentioned only when pressing it would really open the menu.
    return menuShortcutWorks
        ? QStringLiteral(
            "The desktop shows no tray icons, so Kiruvo's status item cannot be seen. Tracking goes "
            "on; its keyboard shortcut and its D-Bus interface still open the menu.")
        : QStringLiteral(
            "The desktop shows no tray icons, so Kiruvo's status item cannot be seen. Tracking goes "
            "on; its D-Bus interface still opens the menu.");
}

std::string MenuBarController::idleUnavailableNoticeIdentifier()
{
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP", QStringLiteral("unnamed desktop"));
    return "idleUnavailableNotice_" + desktop.toStdString() + "_"
        + (platform::IdleTimeSource::isWaylandSession() ? "wayland" : "x11");
}

MenuBarController::MenuBarController()
    : MenuBarController(Environment {})
{
}

MenuBarController::MenuBarController(Environment environment)
    : m_sessionController(
        environment.sessionController ? environment.sessionController : &SessionController::shared())
    , m_menu(std::make_unique<zk::ZKMenu>())
    , m_noIdleSourceGracePeriod(environment.noIdleSourceGracePeriod)
{
    std::unique_ptr<platform::StatusItemBackend> backend = environment.makeStatusItemBackend
        ? environment.makeStatusItemBackend()
        : std::make_unique<platform::DesktopStatusItemBackend>();
    m_statusItem = std::make_unique<platform::StatusItem>(std::move(backend));
    connect(m_statusItem.get(), &platform::StatusItem::clicked, this,
        [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers) { handleClick(button, modifiers); });
    // The panel asks for the menu itself (its "context menu"): that is never a toggle.
    connect(m_statusItem.get(), &platform::StatusItem::menuRequested, this, [this] { showMenu(); });

    // Every separator shows, also where a section left out puts two or three in a row: the menu's
    // sections keep their places from one opening to the next.
    m_menu->setSeparatorsCollapsible(false);
    // The status menu is the application's menu: a shortcut recorder refuses its key equivalents.
    KeyboardShortcuts::setApplicationMenu(m_menu.get());
    m_menu->setToolTipsVisible(true);
    // Opened from a hot key, D-Bus or a panel's activation, the menu often has no window of ours to
    // hang from; on Wayland it is then shown as a menu all the same.
    new zk::StandaloneMenuWindow(*m_menu);
    // Panels that draw the menu themselves build it afresh before showing it, as the menu does.
    m_statusItem->setMenu(m_menu.get(), [this] { m_menu->menuNeedsUpdate(); });

    setUp();
    // Built once at start, so that its items exist before it first opens: the panel's copy and the
    // shortcut recorder's conflict check read them. The history it shows is not waited for: while
    // it is still being read, the menu is built once it is in place.
    if (!m_sessionController->isDecodingHistory()) {
        updateMenu();
    }
    tellUserIfThereIsNoTray(environment.noTrayGracePeriod);
    tellUserIfIdleIsUnseen();

    platform::MainQueue::post(this, [this] { applyEnableAtLaunch(); });
}

MenuBarController::~MenuBarController()
{
    platform::Clock::removeChangeObserver(m_clockObserver);
    m_redraw.stop();
    if (m_keyDownMonitor) {
        m_keyDownMonitor->stop();
    }
    m_cancellables.clear();
    for (const auto& observation : m_observations) {
        observation->invalidate();
    }
    if (m_menu) {
        m_menu->onUpdate = nullptr;
    }
}

platform::StatusItem& MenuBarController::statusItem()
{
    return *m_statusItem;
}

void MenuBarController::setUp()
{
    m_menu->onUpdate = [this] { updateMenu(); };

    // The current value first: the closed menu, which takes the "toggleMenu" hot key.
    m_cancellables.push_back(
        m_menu->isOpenPublisher().sink([this](bool isOpen) { menuIsOpenChanged(isOpen); }));

    // The event loop of the menu is the main one, so the figure goes on changing while it is open.
    m_redraw.setSingleShot(true);
    // Never early: a redraw before the figure changes draws nothing and must be armed again.
    m_redraw.setTimerType(Qt::PreciseTimer);
    connect(&m_redraw, &QTimer::timeout, this, [this] { update(); });
    // Today's total follows the history, whoever changed it.
    connect(m_sessionController, &SessionController::historyChanged, this, [this] { updateSoon(); });
    // And the wall clock: the redraw is armed on uptime, which a step of the clock, a wake from
    // suspend or a new time zone leaves behind (and today may have ended meanwhile).
    m_clockObserver = platform::Clock::addChangeObserver([this] { update(); });

    // Drawn when the history decoded at start-up is in place.
    connect(m_sessionController, &SessionController::historyDecoded, this, [this] {
        update();
        if (!m_menu->isVisible()) {
            updateMenu();
        }
    });

    // What the engine tells changes what the status item shows.
    connect(m_sessionController, &SessionController::currentSessionChanged, this, &MenuBarController::update);
    connect(m_sessionController, &SessionController::enabledChanged, this, &MenuBarController::update);

    // The tooltip and the menu say whether sessions end when the user leaves.
    connect(m_sessionController, &SessionController::idleDetectionAvailabilityChanged, this, [this] {
        m_previousState.reset();
        update();
        tellUserIfIdleIsUnseen();
    });

    m_cancellables.push_back(
        zk::SystemEvents::didWake().sink([this](const platform::combine::Void&) { update(); }));

    // Settings may be written from any thread; the status item is drawn on the main one. The
    // controller may be going away there meanwhile: the work is the application's, and the pointer
    // taken here, on the main thread, decides.
    auto onMain = [self = QPointer(this)](std::function<void()> work) {
        if (platform::MainQueue::isMainThread()) {
            work();
        } else {
            platform::MainQueue::post(QCoreApplication::instance(), [self, work = std::move(work)] {
                if (self) {
                    work();
                }
            });
        }
    };
    // The initial values draw the status item for the first time.
    m_observations.push_back(Defaults::observe(
        { std::cref<Defaults::Keys>(Keys::showInMenuBar()), std::cref<Defaults::Keys>(Keys::menuBarIcon()),
            std::cref<Defaults::Keys>(Keys::dimMenuBarItemWhileDisabled()) },
        { Defaults::ObservationOption::initial }, [this, onMain] { onMain([this] { update(); }); }));
    // A new offset changes no state, so the title is drawn again by force.
    m_observations.push_back(Defaults::observe(Keys::menuBarTextVerticalAlignmentOffset(),
        { Defaults::ObservationOption::initial },
        [this, onMain](const Defaults::KeyChange<std::optional<double>>&) {
            onMain([this] {
                m_previousState.reset();
                update();
            });
        }));

    // "Disable" and "Enable" leave the menu while a left click toggles.
    m_observations.push_back(Defaults::observe(Keys::toggleEnabledWithLeftClick(), {},
        [this, onMain](const Defaults::KeyChange<bool>&) { onMain([this] { refreshExportedMenu(); }); }));

    // The shortcuts' actions stay for the process's life: they go quiet once the controller is gone.
    const QPointer<MenuBarController> self(this);
    KeyboardShortcuts::addKeyDownHandler(ShortcutNames::toggleEnabled(), [self] {
        if (self) {
            self->toggleEnabled();
        }
    });
    KeyboardShortcuts::addKeyDownHandler(ShortcutNames::toggleMenu(), [self] {
        if (self) {
            self->showMenuFromShortcut();
        }
    });
    KeyboardShortcuts::addKeyUpHandler(ShortcutNames::toggleMenu(), [self] {
        if (self && std::exchange(self->m_menuOpensOnKeyUp, false)) {
            self->showMenu();
        }
    });
    // Where the application cannot grab keys itself (Wayland), the desktop portal binds them.
    KeyboardShortcuts::PortalShortcuts::bindWhereNeeded({
        { ShortcutNames::toggleEnabled(), QStringLiteral("Turn Kiruvo's tracking on or off") },
        { ShortcutNames::toggleMenu(), QStringLiteral("Open Kiruvo's menu") },
    });
}

void MenuBarController::applyEnableAtLaunch()
{
    m_sessionController->setEnabled(Defaults::get(Keys::enableAtLaunch()));
    update();
}

void MenuBarController::tellUserIfThereIsNoTray(double gracePeriod)
{
    if (m_statusItem->backend().isAvailable()) {
        return;
    }
    platform::MainQueue::asyncAfter(gracePeriod, this, [this] {
        if (m_statusItem->backend().isAvailable()) {
            return;
        }
        platform::log(platform::LogLevel::Warning, platform::lcTray(),
            "The desktop has no tray: the status item cannot be seen; tracking and D-Bus go on");
        // Runs on by itself once its handle is dropped.
        auto task = tellUserThereIsNoTray();
    });
}

void MenuBarController::tellUserIfIdleIsUnseen()
{
    if (m_idleNoticePending || m_sessionController->isIdleDetectionAvailable()) {
        return;
    }
    m_idleNoticePending = true;
    platform::MainQueue::asyncAfter(m_noIdleSourceGracePeriod, this, [this] {
        m_idleNoticePending = false;
        if (m_sessionController->isIdleDetectionAvailable()) {
            return;
        }
        platform::log(platform::LogLevel::Warning, platform::lcTray(),
            std::string("No idle source answers: ") + idleUnavailableMessage);
        if (zk::hasRunOnce(idleUnavailableNoticeIdentifier())) {
            return;
        }
        // Runs on by itself once its handle is dropped.
        auto task = tellUserIdleIsUnseen();
    });
}

// --- Drawing

void MenuBarController::update()
{
    // Today's total needs the stored history, which start-up decodes on another thread: the item is
    // drawn once the history is in place, and meanwhile the event loop (D-Bus calls among it) runs on.
    if (m_sessionController->isDecodingHistory() && !m_sessionController->isShowingNotification()
        && Defaults::get(Keys::showInMenuBar()) == ShowInMenuBar::totalTodayDuration) {
        return;
    }
    render(currentState());
    scheduleRedraw();
}

void MenuBarController::updateSoon()
{
    m_nextRedrawAt = platform::Clock::shared().systemUptime();
    m_redraw.start(0);
}

namespace {

// Seconds until a figure of `seconds`, growing with time and shown rounded to the nearest minute
// (halves up), shows the next minute.
double untilNextRoundedMinute(double seconds)
{
    return roundedToWholeMinutes(seconds) + 30.0 - seconds;
}

} // namespace

std::optional<double> MenuBarController::secondsUntilFigureChanges() const
{
    const SessionController& controller = *m_sessionController;
    // The reminder's end draws the figure again.
    if (controller.isShowingNotification()) {
        return std::nullopt;
    }
    const ShowInMenuBar mode = Defaults::get(Keys::showInMenuBar());
    const auto& session = controller.currentSession();
    if (mode == ShowInMenuBar::icon) {
        return std::nullopt;
    }
    if (mode == ShowInMenuBar::currentSessionDuration) {
        if (!session) {
            return std::nullopt;
        }
        return untilNextRoundedMinute(session->duration().seconds);
    }
    const platform::Date now = platform::Clock::shared().now();
    std::optional<double> next;
    if (const auto today = platform::Calendar::current().dayRange(now)) {
        next = std::max(0.0, today->upperBound.timeIntervalSince(now));
    }
    if (session) {
        const double total = controller.totalDurationForDayAt(now).value_or(zk::Duration {}).seconds;
        const double minute = untilNextRoundedMinute(total);
        next = next ? std::min(*next, minute) : minute;
    }
    return next;
}

void MenuBarController::scheduleRedraw()
{
    const auto seconds = secondsUntilFigureChanges();
    if (!seconds) {
        m_redraw.stop();
        m_nextRedrawAt.reset();
        return;
    }
    const double delay = std::max(0.0, *seconds);
    m_nextRedrawAt = platform::Clock::shared().systemUptime() + delay;
    m_redraw.start(
        static_cast<int>(std::min(std::ceil(delay * 1000.0), double(std::numeric_limits<int>::max()))));
}

MenuBarState MenuBarController::currentState() const
{
    const SessionController& controller = *m_sessionController;
    const bool isShowingNotification = controller.isShowingNotification();
    const ShowInMenuBar mode = Defaults::get(Keys::showInMenuBar());

    MenuBarState state;
    std::optional<double> seconds;
    if (!isShowingNotification) {
        if (mode == ShowInMenuBar::totalTodayDuration) {
            seconds = controller.totalDurationForDayAt(platform::Clock::shared().now())
                          .value_or(zk::Duration {})
                          .seconds;
        } else if (const auto& session = controller.currentSession()) {
            seconds = session->duration().seconds;
        }
    }
    if (seconds) {
        if (mode == ShowInMenuBar::icon) {
            state.type = MenuBarState::IconType { Defaults::get(Keys::menuBarIcon()) };
        } else {
            state.type = MenuBarState::DurationType { zk::Duration { roundedToWholeMinutes(*seconds) } };
        }
        state.isShowingNotification = false;
    } else {
        // The chosen icon belongs to the icon mode; the heart stands in for the others.
        state.type = MenuBarState::IconType { mode == ShowInMenuBar::icon ? Defaults::get(Keys::menuBarIcon())
                                                                          : MenuBarIcon::heart };
        state.isShowingNotification = isShowingNotification;
    }
    state.isEnabled = controller.isEnabled();
    state.isDimmedWhileDisabled = Defaults::get(Keys::dimMenuBarItemWhileDisabled());
    return state;
}

void MenuBarController::render(const MenuBarState& state)
{
    if (m_previousState && *m_previousState == state) {
        m_previousState = state;
        return;
    }
    platform::StatusItemAppearance appearance = m_statusItem->appearance();
    if (const zk::Duration* duration = state.durationValue()) {
        appearance.image = QImage();
        appearance.isTemplate = true;
        appearance.tint.reset();
        // A duration without text is a fault of the formatter, not of the user: show the marker
        // rather than end the program.
        const auto text = menuBarDurationFormatter()->string(duration->seconds);
        if (!text) {
            platform::log(platform::LogLevel::Error, platform::lcTray(),
                "The status item's duration has no text: " + std::to_string(duration->seconds));
        }
        setMenuBarTitle(appearance, durationText(text));
        // The tooltip says what the figure is, in the menu's words.
        const QString words = QString::fromStdString(SharedFormatters::hoursMinutesStandaloneText(*duration));
        appearance.toolTip = Defaults::get(Keys::showInMenuBar()) == ShowInMenuBar::totalTodayDuration
            ? "Today: " + words
            : "Current session: " + words;
    } else {
        // A reminder shows the icon tinted pink: a coloured copy, no longer a template for the
        // panel to recolour.
        if (state.isShowingNotification) {
            appearance.image = zk::tinted(image(*state.iconValue()), platform::systemPinkColor());
            appearance.isTemplate = false;
            appearance.tint = platform::systemPinkColor();
        } else {
            appearance.image = image(*state.iconValue());
            appearance.isTemplate = true;
            appearance.tint.reset();
        }
        setMenuBarTitle(appearance, QString());
        appearance.toolTip.clear();
    }
    if (!state.isEnabled) {
        appearance.toolTip = QStringLiteral("Kiruvo is disabled");
    } else if (!m_sessionController->isIdleDetectionAvailable()) {
        appearance.toolTip += (appearance.toolTip.isEmpty() ? "" : "\n") + QString(idleUnavailableLine);
    }
    appearance.dimmed = state.isDimmed();
    m_statusItem->setAppearance(appearance);
    m_previousState = state;
    refreshExportedMenu();
}

void MenuBarController::refreshExportedMenu()
{
    // A panel that has the menu shows it without asking first: its figures and the choice between
    // "Disable" and "Enable" follow what the item shows. An open menu is left as the user sees it.
    if (m_statusItem->backend().exportsMenu() && !m_menu->isVisible()) {
        updateMenu();
    }
}

// --- Clicks and shortcuts

void MenuBarController::handleClick(Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    // Only the left and right buttons act on the item; a middle click does nothing.
    if (button != Qt::LeftButton && button != Qt::RightButton) {
        return;
    }
    // The numeric pad and the keyboard layout's group are no modifiers the user chose.
    const Qt::KeyboardModifiers held = modifiers & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
    const bool exactlyCtrlOrAlt = held == Qt::ControlModifier || held == Qt::AltModifier;
    const bool isAlternate = button == Qt::RightButton || (button == Qt::LeftButton && exactlyCtrlOrAlt);

    const bool toggleWithLeftClick = Defaults::get(Keys::toggleEnabledWithLeftClick());
    if (isAlternate != toggleWithLeftClick) {
        toggleEnabled();
    } else {
        showMenu();
    }
}

void MenuBarController::showMenuFromShortcut()
{
    // The menu opens once the keys are let go. Until then the hot key's grab holds the keyboard and
    // has taken the focus from our focused window (the Welcome window, say); the toolkit reads a
    // focus that does not come back soon as the application going inactive, and closes every open
    // menu, this one too, the moment it appeared.
    m_menuOpensOnKeyUp = true;
}

void MenuBarController::toggleEnabled()
{
    m_sessionController->setEnabled(!m_sessionController->isEnabled());
}

void MenuBarController::menuIsOpenChanged(bool isOpen)
{
    if (isOpen) {
        if (!m_keyDownMonitor) {
            m_keyDownMonitor = std::make_unique<zk::CarbonLocalEventMonitor>(
                // Modifier presses too: a bare Alt would close the menu on its way to the shortcut.
                std::set { zk::CarbonLocalEventMonitor::EventType::keyDown,
                    zk::CarbonLocalEventMonitor::EventType::keyModifiersChanged },
                true, [this](QEvent* event) { return handleKeyDownWhileMenuOpen(event); });
        }
        m_keyDownMonitor->start();
        // The menu holds the keyboard: the key reaches it, and closes it, through the monitor.
        KeyboardShortcuts::suspendHotKey(ShortcutNames::toggleMenu());
        return;
    }
    if (m_keyDownMonitor) {
        m_keyDownMonitor->stop();
    }
    KeyboardShortcuts::resumeHotKey(ShortcutNames::toggleMenu());
}

bool MenuBarController::handleKeyDownWhileMenuOpen(const QEvent* event)
{
    const std::optional<KeyboardShortcuts::Shortcut> stored
        = KeyboardShortcuts::getShortcut(ShortcutNames::toggleMenu());
    // A menu closes on a bare Alt; held down on the way to the shortcut it must leave the menu open,
    // so that the shortcut can close it.
    if (stored && event->type() == QEvent::KeyPress
        && (stored->modifiers() & modifierOfKey(static_cast<const QKeyEvent*>(event)->key()))) {
        return true;
    }
    const auto pressed = KeyboardShortcuts::Shortcut::fromEvent(event);
    // A key that makes no shortcut (a modifier alone) never matches, also when none is recorded.
    if (!pressed || pressed != stored) {
        return false;
    }
    m_menu->hide();
    return true;
}

// --- The menu

QPoint MenuBarController::menuPosition(const QRect& anchor, const QSize& menuSize, const QRect& available)
{
    QPoint position(anchor.left(), anchor.bottom() + 1);
    if (available.isValid()) {
        // A panel at the bottom of the screen: the menu goes above the item.
        if (position.y() + menuSize.height() - 1 > available.bottom()
            && anchor.top() - menuSize.height() >= available.top()) {
            position.setY(anchor.top() - menuSize.height());
        }
        position.setX(std::clamp(position.x(), available.left(),
            std::max(available.left(), available.right() - menuSize.width() + 1)));
        position.setY(std::clamp(position.y(), available.top(),
            std::max(available.top(), available.bottom() - menuSize.height() + 1)));
    }
    return position;
}

void MenuBarController::showMenu()
{
    if (m_menu->isVisible()) {
        m_menu->activateWindow();
        return;
    }
    const QRect anchor = m_statusItem->anchorRect();
    // Popping up runs the menu's update, which may change its size; the place is settled after.
    m_menu->popup(QPoint(anchor.left(), anchor.bottom() + 1));
    const QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect available = screen ? screen->availableGeometry() : QRect();
    const QPoint position = menuPosition(anchor, m_menu->size(), available);
    if (m_menu->pos() != position) {
        m_menu->move(position);
    }
}

void MenuBarController::updateMenu()
{
    zk::ZKMenu& menu = *m_menu;
    menu.clear();
    // Submenus belong to the build that made them (the kit may have added one of its own too).
    for (QMenu* submenu : menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
        submenu->deleteLater();
    }

    SessionController& controller = *m_sessionController;
    const ShowInMenuBar mode = Defaults::get(Keys::showInMenuBar());
    const platform::Date now = platform::Clock::shared().now();

    if (const auto& session = controller.currentSession()) {
        const platform::DateRange range = session->dateRange();
        zk::addHeader(menu, "Current Session", true);
        if (mode != ShowInMenuBar::currentSessionDuration) {
            addInfoLine(menu,
                durationText(SharedFormatters::hoursMinutesStandalone(range.lowerBound, range.upperBound)));
        }
        addInfoLine(
            menu, "Started at " + QString::fromStdString(SharedFormatters::shortTime(range.lowerBound)));
        if (!controller.isIdleDetectionAvailable()) {
            addInfoLine(menu, idleUnavailableLine);
        }
    }

    menu.addSeparator();

    const auto history = controller.allSessionsShared();
    if (history && !history->empty()) {
        const Session& previous = history->front();
        zk::addHeader(menu, "Previous Session", true);
        addInfoLine(menu,
            durationText(SharedFormatters::hoursMinutesStandalone(
                previous.dateRange().lowerBound, previous.dateRange().upperBound)));
        addInfoLine(menu, QString::fromStdString(previous.dateRangeString()));
        if (controller.isEnabled()) {
            const auto latest = controller.allSessionsShared();
            if (latest && !latest->empty()
                && now.timeIntervalSince(latest->front().dateRange().upperBound) <= continueWindow) {
                auto* item = addCommand(menu, QString(), QString(), std::nullopt, true,
                    "Continue the previous session as if it never ended.",
                    [this] { m_sessionController->continuePreviousSession(); });
                item->setText("Continue");
                QFont font = menu.font();
                font.setPointSizeF(zk::smallFontPointSize());
                item->setFont(font);
            }
        }
    }

    menu.addSeparator();

    zk::addHeader(menu, "Total Today", true);
    addInfoLine(menu,
        durationText(SharedFormatters::hoursMinutesStandalone(
            controller.totalDurationForDayAt(now).value_or(zk::Duration {}))));

    menu.addSeparator();

    // With "toggleEnabledWithLeftClick" a left click on the item already toggles.
    if (!Defaults::get(Keys::toggleEnabledWithLeftClick())) {
        if (controller.isEnabled()) {
            addCommand(menu, "Disable", "d", Qt::NoModifier, true,
                "Saves the current session, if any, and disables Kiruvo.",
                [this] { toggleEnabledFromMenu(); });
        } else {
            addCommand(
                menu, "Enable", "d", Qt::NoModifier, true, QString(), [this] { toggleEnabledFromMenu(); });
        }
    }

    menu.addSeparator();

    addCommand(menu, "New Session", "n", Qt::NoModifier, controller.isEnabled(),
        "Saves the existing session and starts a new one.", [this] { newSessionFromMenu(); });

    menu.addSeparator();

    addCommand(menu, "History…", "h", Qt::NoModifier, true, QString(), [this] {
        if (isSignalConnected(QMetaMethod::fromSignal(&MenuBarController::historyWindowRequested))) {
            Q_EMIT historyWindowRequested();
        } else {
            platform::log(platform::LogLevel::Info, platform::lcTray(), "There is no History window yet");
        }
    });

    menu.addSeparator();

    addCommand(menu, "Settings…", ",", std::nullopt, true, QString(), zk::openSettingsAction());
    auto* more = new QAction("More", &menu);
    more->setMenu(makeMoreMenu(&menu));
    menu.addAction(more);

    menu.addSeparator();

    if (zk::ZKKit::isDebugModifierHeld()) {
        addCommand(menu, "Debug", QString(), std::nullopt, true, QString(), [] { zk::showDebugWindow(); });
    }

    menu.addSeparator();

    zk::addQuitItem(menu);
}

zk::ZKMenu* MenuBarController::makeMoreMenu(QWidget* parent)
{
    auto* more = new zk::ZKMenu("More", parent);
    addCommand(*more, "About", QString(), std::nullopt, true, QString(), zk::showAboutPanelAction());
    more->addSeparator();
    addCommand(*more, "Send Feedback…", QString(), std::nullopt, true, QString(), zk::sendFeedbackAction());
    more->addSeparator();
    zk::addWebsiteItem(*more, QUrl(QString::fromLatin1(websiteAddress)));
    addCommand(*more, "FAQ", QString(), std::nullopt, true, QString(),
        zk::openURLAction(QUrl(QString::fromLatin1(faqAddress))));
    more->addSeparator();
    zk::addMoreAppsItem(*more, QUrl(QString::fromLatin1(moreAppsAddress)));
    return more;
}

void MenuBarController::toggleEnabledFromMenu()
{
    const QPointer<MenuBarController> self(this);
    explainOnce("disableButtonInfoMessage",
        "Manually disabling Kiruvo is generally not needed as it automatically tracks when you're using "
        "your computer.",
        "However, it could be useful if you only want to track when you're doing productive things.", [self] {
            if (self) {
                self->toggleEnabled();
            }
        });
}

void MenuBarController::newSessionFromMenu()
{
    const QPointer<MenuBarController> self(this);
    explainOnce("newSessionButtonInfoMessage",
        "Manually creating a new session is generally not needed as Kiruvo automatically tracks when "
        "you're using your computer.",
        "However, it could be useful if you are starting a new task and want to see the duration for "
        "that specific task.",
        [self] {
            if (self) {
                self->m_sessionController->newSession();
            }
        });
}

} // namespace kiruvo
