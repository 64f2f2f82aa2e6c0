#include "app/windows/SettingsFixture.h"

#include "app/engine/SettingsKeys.h"
#include "app/menubar/MenuBarController.h"
#include "app/windows/ClickMenuBarItemSetting.h"
#include "app/windows/GeneralSettings.h"
#include "app/windows/IdleDurationBeforeStopSetting.h"
#include "app/windows/MenubarSettings.h"
#include "app/windows/NotificationRunShortcutSetting.h"
#include "app/windows/NotificationsSettings.h"
#include "app/windows/SettingsWindowController.h"
#include "app/windows/ShortcutsSettings.h"
#include "libraries/defaults/Toggle.h"
#include "libraries/keyboard-shortcuts/RecorderCocoa.h"
#include "platform/desktop/ShortcutsFolder.h"
#include "support/OpenboxSession.h"
#include "support/ScreenReaderSession.h"
#include "support/WindowUnderOpenbox.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gmock/gmock.h>

#include <X11/keysym.h>

using namespace kiruvo;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// The Settings window as a keyboard user and a screen reader meet it: keys go into the window as
// the desktop delivers them, and what has the focus, and its name, are read through Qt's
// accessibility interface, as the desktop's screen reader reads them.
class SettingsKeyboardTest : public SettingsWindowTest {
protected:
    QWidget& openWindow()
    {
        SettingsWindowController::show();
        QWidget& window = *zk::SingletonWindowController::shared<SettingsWindowController>().window();
        EXPECT_TRUE(QTest::qWaitFor([&window] { return window.isVisible(); }));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        processEvents();
        return window;
    }
    static SettingsScreen& shownScreen()
    {
        return zk::SingletonWindowController::shared<SettingsWindowController>().screen();
    }

    static void press(QWidget& window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(window.windowHandle(), key, modifiers);
        processEvents();
    }

    // What the screen reader is told has the focus.
    static QAccessibleInterface* focused(QWidget& window)
    {
        return QAccessible::queryAccessibleInterface(&window)->focusChild();
    }
    static std::string focusedName(QWidget& window)
    {
        QAccessibleInterface* focus = focused(window);
        return focus ? focus->text(QAccessible::Name).toStdString() : "<nothing>";
    }

    // The names Tab (or Shift+Tab) goes through from the focused control until it is back there.
    static std::vector<std::string> round(QWidget& window, bool forward)
    {
        QWidget* start = QApplication::focusWidget();
        std::vector<std::string> names { focusedName(window) };
        for (int step = 0; step < 30; ++step) {
            press(window, forward ? Qt::Key_Tab : Qt::Key_Backtab,
                forward ? Qt::NoModifier : Qt::ShiftModifier);
            if (QApplication::focusWidget() == start) {
                return names;
            }
            names.push_back(focusedName(window));
        }
        ADD_FAILURE() << "Tab never came back to " << names.front();
        return names;
    }
    static std::vector<std::string> reversedAfterFirst(std::vector<std::string> names)
    {
        std::reverse(names.begin() + 1, names.end());
        return names;
    }
};

const char* const helpWords
    = "Example use-cases\nLet me know if you use it for something interesting\nTip: A script can run "
      "other scripts";

TEST_F(SettingsKeyboardTest, TabReachesEveryControlOfEveryPaneInReadingOrderAndShiftTabGoesBack)
{
    Defaults::set(Keys::notifyInterval(), std::optional(zk::Duration::minutes(10)));
    Defaults::set(Keys::notificationType(), NotificationType::hud);
    writeScript("walk.sh");
    Defaults::set(
        Keys::notificationRunShortcut(), std::optional(platform::ShortcutsFolder::identifier("walk.sh")));
    QWidget& window = openWindow();

    // Nothing is marked at first; the first Tab marks the shown pane's button.
    EXPECT_EQ(QApplication::focusWidget(), &window);
    press(window, Qt::Key_Tab);
    EXPECT_EQ(focusedName(window), "General");
    // A page tab, the shown one.
    EXPECT_EQ(focused(window)->role(), QAccessible::PageTab);
    EXPECT_TRUE(focused(window)->state().selected);
    EXPECT_TRUE(window.testAttribute(Qt::WA_KeyboardFocusChange));

    const std::vector<std::string> general { "General", "Launch at login", "Enable at launch",
        "End session when idle for" };
    EXPECT_THAT(round(window, true), ElementsAreArray(general));
    EXPECT_THAT(round(window, false), ElementsAreArray(reversedAfterFirst(general)));

    // The arrow keys go along the pane buttons, each showing its pane.
    press(window, Qt::Key_Right);
    EXPECT_EQ(shownScreen().currentTab(), SettingsScreen::Tab::menuBar);
    const std::vector<std::string> menuBar { "Tray Icon", "Show:", "Disable Kiruvo by clicking the tray icon",
        "Dim the tray icon while Kiruvo is disabled", "Vertical text alignment:", "Help" };
    EXPECT_THAT(round(window, true), ElementsAreArray(menuBar));

    press(window, Qt::Key_Right);
    ASSERT_EQ(shownScreen().currentTab(), SettingsScreen::Tab::notifications);
    auto& scripts = *shownScreen().notifications()->runShortcutSetting();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !scripts.isLoading() && scripts.runButton(); }, 10000));
    // The reminder types are one stop, entered on the chosen type from either side; Run and Edit
    // come where they are shown, beside the script's pop-up; each of the two links is a stop.
    const std::vector<std::string> notifications { "Notifications", "Show a gentle reminder:", "HUD", "Hide",
        "Sound:", "Run script:", "Run", "Edit", "Create", helpWords, helpWords };
    EXPECT_THAT(round(window, true), ElementsAreArray(notifications));
    EXPECT_THAT(round(window, false), ElementsAreArray(reversedAfterFirst(notifications)));

    press(window, Qt::Key_Right);
    ASSERT_EQ(shownScreen().currentTab(), SettingsScreen::Tab::shortcuts);
    const std::vector<std::string> shortcuts { "Shortcuts", "Enable/disable Kiruvo:", "Toggle Kiruvo menu:" };
    EXPECT_THAT(round(window, true), ElementsAreArray(shortcuts));
    EXPECT_THAT(round(window, false), ElementsAreArray(reversedAfterFirst(shortcuts)));

    // The row ends there; Left goes back.
    press(window, Qt::Key_Right);
    EXPECT_EQ(shownScreen().currentTab(), SettingsScreen::Tab::shortcuts);
    press(window, Qt::Key_Left);
    EXPECT_EQ(shownScreen().currentTab(), SettingsScreen::Tab::notifications);
    EXPECT_EQ(focusedName(window), "Notifications");
    EXPECT_TRUE(focused(window)->state().selected);
}

TEST_F(SettingsKeyboardTest, TheRecordersRecordClearAndCancelFromTheKeyboard)
{
    const KeyboardShortcuts::Shortcut stored(
        KeyboardShortcuts::Key::j, Qt::ControlModifier | Qt::AltModifier);
    KeyboardShortcuts::setShortcut(stored, ShortcutNames::toggleMenu());
    QWidget& window = openWindow();
    shownScreen().setCurrentTab(SettingsScreen::Tab::shortcuts);
    auto& pane = *shownScreen().shortcuts();
    press(window, Qt::Key_Tab);
    press(window, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), pane.toggleEnabledRecorder());
    EXPECT_TRUE(pane.toggleEnabledRecorder()->isRecording());

    press(window, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(KeyboardShortcuts::getShortcut(ShortcutNames::toggleEnabled()),
        KeyboardShortcuts::Shortcut(KeyboardShortcuts::Key::k, Qt::ControlModifier | Qt::AltModifier));
    EXPECT_FALSE(pane.toggleEnabledRecorder()->isRecording());
    // The focus stays where the user was, for the next Tab and for the screen reader.
    EXPECT_EQ(focusedName(window), "Enable/disable Kiruvo:");

    // Backspace clears the other one and it goes on recording; Escape then ends that without
    // closing the window, and the window's own Escape comes only after it.
    press(window, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), pane.toggleMenuRecorder());
    press(window, Qt::Key_Backspace);
    EXPECT_EQ(KeyboardShortcuts::getShortcut(ShortcutNames::toggleMenu()), std::nullopt);
    EXPECT_TRUE(pane.toggleMenuRecorder()->isRecording());
    press(window, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(KeyboardShortcuts::getShortcut(ShortcutNames::toggleMenu()), stored);

    press(window, Qt::Key_Tab);
    press(window, Qt::Key_Tab);
    press(window, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), pane.toggleMenuRecorder());
    press(window, Qt::Key_Escape);
    EXPECT_FALSE(pane.toggleMenuRecorder()->isRecording());
    EXPECT_EQ(focusedName(window), "Toggle Kiruvo menu:");
    EXPECT_FALSE(KeyboardShortcuts::isRecorderActive());
    EXPECT_EQ(KeyboardShortcuts::getShortcut(ShortcutNames::toggleMenu()), stored);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(SettingsKeyboardTest, EveryControlIsNamedByItsLabelAndTheWindowIsAWindow)
{
    // A stored shortcut shows the recorder's clear button.
    KeyboardShortcuts::setShortcut(
        KeyboardShortcuts::Shortcut(KeyboardShortcuts::Key::k, Qt::ControlModifier | Qt::AltModifier),
        ShortcutNames::toggleMenu());
    QWidget& window = openWindow();
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(&window);
    EXPECT_EQ(frame->role(), QAccessible::Window);
    EXPECT_EQ(frame->text(QAccessible::Name).toStdString(), "General");

    const auto nameOf = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).toStdString();
    };
    std::vector<std::string> popUps;
    for (QComboBox* popUp : shownScreen().findChildren<QComboBox*>()) {
        popUps.push_back(nameOf(popUp));
        // What it shows is its value.
        EXPECT_EQ(
            QAccessible::queryAccessibleInterface(popUp)->text(QAccessible::Value), popUp->currentText());
    }
    EXPECT_THAT(popUps,
        ::testing::UnorderedElementsAre("End session when idle for",
            "Show:", "Icon:", "Show a gentle reminder:", "Sound:", "Run script:"));
    auto& shortcuts = *shownScreen().shortcuts();
    EXPECT_EQ(nameOf(shortcuts.toggleEnabledRecorder()), "Enable/disable Kiruvo:");
    EXPECT_EQ(nameOf(shortcuts.toggleMenuRecorder()), "Toggle Kiruvo menu:");
    // No control shown on any pane is left without a name.
    for (const auto tab : { SettingsScreen::Tab::general, SettingsScreen::Tab::menuBar,
             SettingsScreen::Tab::notifications, SettingsScreen::Tab::shortcuts }) {
        shownScreen().setCurrentTab(tab);
        processEvents();
        for (QWidget* widget : shownScreen().findChildren<QWidget*>()) {
            QAccessibleInterface* control = QAccessible::queryAccessibleInterface(widget);
            const QAccessible::Role role = control->role();
            if (widget->isVisibleTo(&window)
                && (role == QAccessible::Button || role == QAccessible::PushButton
                    || role == QAccessible::CheckBox || role == QAccessible::RadioButton
                    || role == QAccessible::ComboBox || role == QAccessible::EditableText
                    || role == QAccessible::Slider)) {
                EXPECT_FALSE(control->text(QAccessible::Name).isEmpty()) << widget->metaObject()->className();
            }
        }
    }
    // The links are read as their words, not as markup with the addresses.
    EXPECT_EQ(nameOf(shownScreen().notifications()->runShortcutSetting()->helpText()), helpWords);
}

TEST_F(SettingsKeyboardTest, ReturnOnATabbedLinkOpensIt)
{
    Defaults::set(Keys::notifyInterval(), std::optional(zk::Duration::minutes(10)));
    QWidget& window = openWindow();
    shownScreen().setCurrentTab(SettingsScreen::Tab::notifications);
    QLabel* help = shownScreen().notifications()->runShortcutSetting()->helpText();
    // From the pane's button, Shift+Tab comes round to the second link, then the first.
    press(window, Qt::Key_Tab);
    press(window, Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), help);
    press(window, Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), help);
    press(window, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !opened.empty(); }, 5000));
    EXPECT_EQ(opened.front().toString().toStdString(),
        std::string(MenuBarController::websiteAddress) + "#shortcuts-use-cases");
}

// A pane change is no way into a recorder: the focus the window hands on to the first control of the
// pane shown records nothing, so the user's next keys (Ctrl+W to close the window) are no global
// shortcut. A click into the field records, and the focus stays there afterwards. Real clicks and
// keys, at a real window manager.
TEST_F(SettingsKeyboardTest, AClickOnTheShortcutsPaneRecordsNothingAndAClickIntoTheFieldDoes)
{
    if (!OpenboxSession::isChild()) {
        if (!OpenboxSession::isAvailable()) {
            GTEST_SKIP() << "openbox is not installed";
        }
        OpenboxSession::expectCurrentTestReports({ "managed",
            "pane: Shortcuts, focus on Enable/disable Kiruvo:", "Ctrl+Alt+K: not recording, nothing stored",
            "click into it: recording",
            "Ctrl+Alt+K: not recording, Ctrl+Alt+K stored, focus on Enable/disable Kiruvo:",
            "Ctrl+W: window closed" });
        return;
    }
    QWidget& window = openWindow();
    WindowUnderOpenbox desktop(window);
    OpenboxSession::report(desktop.waitUntilManagedAndActive() ? "managed" : "not managed");
    const auto click = [&](QWidget& widget) {
        const QPoint origin = desktop.user().rootPosition(static_cast<xcb_window_t>(window.winId())).value();
        desktop.user().moveTo(origin + widget.mapTo(&window, widget.rect().center()));
        desktop.user().button(true);
        desktop.user().button(false);
        desktop.settle();
        processEvents();
    };
    const auto focusName = [] {
        QWidget* focus = QApplication::focusWidget();
        return focus ? QAccessible::queryAccessibleInterface(focus)->text(QAccessible::Name).toStdString()
                     : std::string("nothing");
    };
    auto& recorder = *shownScreen().shortcuts()->toggleEnabledRecorder();
    const auto recording = [&] { return recorder.isRecording() ? "recording" : "not recording"; };
    const auto storedText = [] {
        const auto shortcut = KeyboardShortcuts::getShortcut(ShortcutNames::toggleEnabled());
        return shortcut ? shortcut->description() + " stored" : std::string("nothing stored");
    };

    // The idle pop-up opened and closed: the focus is on a control of the General pane.
    auto& idle = *shownScreen().general()->idleSetting()->findChild<QComboBox*>();
    click(idle);
    // The pop-up, a window of its own, takes the key.
    desktop.user().tap(XK_Escape);
    desktop.settle();
    QAbstractButton* paneButton = nullptr;
    for (auto* button : shownScreen().findChildren<QAbstractButton*>()) {
        paneButton = button->text() == QStringLiteral("Shortcuts") ? button : paneButton;
    }
    click(*paneButton);
    OpenboxSession::report(
        "pane: " + shownScreen().currentTitle().toStdString() + ", focus on " + focusName());
    desktop.tap(XK_k, { XK_Control_L, XK_Alt_L });
    OpenboxSession::report(std::string("Ctrl+Alt+K: ") + recording() + ", " + storedText());

    click(recorder);
    OpenboxSession::report(std::string("click into it: ") + recording());
    desktop.tap(XK_k, { XK_Control_L, XK_Alt_L });
    OpenboxSession::report(
        std::string("Ctrl+Alt+K: ") + recording() + ", " + storedText() + ", focus on " + focusName());

    const QPointer<QWidget> shown(&window);
    desktop.tap(XK_w, { XK_Control_L });
    OpenboxSession::report(
        std::string("Ctrl+W: ") + (shown && shown->isVisible() ? "window shown" : "window closed"));
}

// The help a screen reader reads for a control is its tool tip's words, never the markup that makes
// the tool tip wrap.
TEST_F(SettingsKeyboardTest, AScreenReaderReadsEveryHelpTextAsPlainWords)
{
    if (!ScreenReaderSession::isChild()) {
        ScreenReaderSession::runCurrentTest();
        return;
    }
    openWindow();
    shownScreen().setCurrentTab(SettingsScreen::Tab::menuBar);
    processEvents();
    ScreenReaderSession reader;
    ASSERT_TRUE(reader.isConnected());
    const auto description = [&reader](QWidget* widget) {
        return reader
            .property(QAccessible::queryAccessibleInterface(widget),
                QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Description"))
            .toString()
            .toStdString();
    };
    MenubarSettings& menuBar = *shownScreen().menuBar();
    EXPECT_EQ(description(menuBar.clickSetting()->toggle()),
        "When enabled, you can access the menu by right-clicking the tray icon.");
    EXPECT_EQ(description(menuBar.dimToggle()),
        "Makes the tray icon have less opacity while Kiruvo is disabled.\n\nIf you have enabled always "
        "showing an icon for Kiruvo and disable this setting, you will not be able to see whether Kiruvo "
        "is disabled or not by just looking at the tray icon.");
    for (QWidget* widget : shownScreen().findChildren<QWidget*>()) {
        if (!widget->toolTip().isEmpty()) {
            EXPECT_EQ(description(widget).find('<'), std::string::npos) << description(widget);
        }
    }
}

} // namespace
