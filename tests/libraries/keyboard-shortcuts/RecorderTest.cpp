#include "ShortcutsTestSupport.h"

#include "kit/foundation/AlertPresenter.h"
#include "libraries/keyboard-shortcuts/MenuItemShortcut.h"
#include "libraries/keyboard-shortcuts/Recorder.h"
#include "libraries/keyboard-shortcuts/ShortcutConflicts.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QShortcut>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gmock/gmock.h>

using KeyboardShortcuts::Key;
using KeyboardShortcuts::Name;
using KeyboardShortcuts::RecorderCocoa;
using KeyboardShortcuts::Shortcut;
using ::testing::ElementsAre;

namespace {

class RecorderTest : public ShortcutsTest {
protected:
    void SetUp() override
    {
        ShortcutsTest::SetUp();
        // Every test starts from names with nothing stored: the store outlives each test.
        forgetStoredShortcuts();
        zk::AlertPresenter::shared().setRunModal([this](QMessageBox& alert) {
            alerts.push_back(alert.text().toStdString() + "|" + alert.informativeText().toStdString());
            return 0;
        });
        window.resize(400, 200);
        auto* layout = new QVBoxLayout(&window);
        other = new QLineEdit(&window);
        layout->addWidget(other);
    }

    void TearDown() override
    {
        zk::AlertPresenter::shared().setRunModal({});
        KeyboardShortcuts::setApplicationMenu(nullptr);
        forgetStoredShortcuts();
        ShortcutsTest::TearDown();
    }

    static void forgetStoredShortcuts()
    {
        for (const char* rawValue : { "toggleMenu", "toggleEnabled", "other" }) {
            platform::UserDefaults::standard()->removeObject(std::string("KeyboardShortcuts_") + rawValue);
        }
    }

    RecorderCocoa& makeRecorder(const Name& name)
    {
        recorder = new RecorderCocoa(
            name, [this](std::optional<Shortcut> shortcut) { changed.push_back(shortcut); }, &window);
        window.layout()->addWidget(recorder);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        return *recorder;
    }

    // A click into the field, which may have the focus already (after a recording).
    void startRecording()
    {
        // A field added to the shown window is shown (and laid out) once events run.
        QCoreApplication::processEvents();
        QTest::mouseClick(recorder, Qt::LeftButton);
        QCoreApplication::processEvents();
        ASSERT_TRUE(recorder->isRecording());
    }

    // A key press as the X server reports it, sent to the window as the platform does.
    void press(int qtKey, Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, *key.x11KeyCode(), 0, 0);
        QCoreApplication::sendEvent(window.windowHandle(), &event);
        QCoreApplication::processEvents();
    }

    const Name name { "toggleMenu" };
    QWidget window;
    QLineEdit* other = nullptr;
    RecorderCocoa* recorder = nullptr;
    std::vector<std::optional<Shortcut>> changed;
    std::vector<std::string> alerts;
};

TEST_F(RecorderTest, ShowsTheStoredShortcutAndWaitsIdle)
{
    KeyboardShortcuts::setShortcut(Shortcut(Key::k, Qt::ControlModifier | Qt::AltModifier), name);
    makeRecorder(name);
    EXPECT_EQ(recorder->text(), "Ctrl+Alt+K");
    EXPECT_EQ(recorder->placeholderText(), "Record Shortcut");
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(KeyboardShortcuts::isRecorderActive());
    EXPECT_GE(recorder->sizeHint().width(), 130);
    // Tab reaches it as a click does.
    EXPECT_EQ(recorder->focusPolicy(), Qt::StrongFocus);
}

TEST_F(RecorderTest, RecordsAKeyWithAModifierAndStopsRecording)
{
    makeRecorder(name);
    EXPECT_EQ(recorder->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    startRecording();
    EXPECT_EQ(recorder->placeholderText(), "Press Shortcut");
    // Qt hides the placeholder of a focused field that is centred.
    EXPECT_EQ(recorder->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_TRUE(KeyboardShortcuts::isRecorderActive());

    press(Qt::Key_A, Key::a, Qt::AltModifier);
    const Shortcut optionA(Key::a, Qt::AltModifier);
    EXPECT_EQ(recorder->text(), "Alt+A");
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), optionA);
    EXPECT_THAT(changed, ElementsAre(optionA));
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(KeyboardShortcuts::isRecorderActive());
    EXPECT_EQ(recorder->placeholderText(), "Record Shortcut");
    // Its hot key is taken once recording has ended.
    EXPECT_TRUE(hotKeys.isGrabbed(combinationOf(optionA)));

    // The logo key is Super on Linux keyboards and desktops, never Qt's Meta.
    startRecording();
    press(Qt::Key_F9, Key::f9, Qt::MetaModifier);
    EXPECT_EQ(recorder->text(), "Super+F9");
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), Shortcut(Key::f9, Qt::MetaModifier));
}

TEST_F(RecorderTest, ARecordingFieldShowsNoTextCaret)
{
    makeRecorder(name);
    startRecording();
    // Right after the focus arrives Qt shows the caret (it blinks from there): the recording field
    // must draw no line in the text colour where typing would go.
    const QImage image = recorder->grab().toImage();
    const QRgb text = recorder->palette().color(QPalette::Text).rgb();
    int textPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            textPixels += image.pixel(x, y) == text ? 1 : 0;
        }
    }
    EXPECT_EQ(textPixels, 0);
}

TEST_F(RecorderTest, ABareKeyBeepsAndRecordingGoesOn)
{
    makeRecorder(name);
    startRecording();
    press(Qt::Key_A, Key::a);
    press(Qt::Key_A, Key::a, Qt::ShiftModifier);
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(recorder->text(), "");
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), std::nullopt);
    press(Qt::Key_F5, Key::f5);
    EXPECT_EQ(recorder->text(), "F5");
}

TEST_F(RecorderTest, EscapeEndsRecordingAndLeavesTheShortcut)
{
    const Shortcut stored(Key::k, Qt::ControlModifier);
    KeyboardShortcuts::setShortcut(stored, name);
    makeRecorder(name);
    startRecording();
    press(Qt::Key_Escape, Key::escape);
    EXPECT_FALSE(recorder->isRecording());
    // Focused still, for the next Tab: no key is text there, nor recorded.
    EXPECT_TRUE(recorder->hasFocus());
    press(Qt::Key_A, Key::a, Qt::ControlModifier);
    press(Qt::Key_B, Key::b);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), stored);
    EXPECT_EQ(recorder->text(), "Ctrl+K");
}

// A field the focus stays on once recording ends (Escape) edits no text: reached by Tab, its whole
// text is selected, and a letter typed over it and a Backspace must not empty it and so clear the
// stored shortcut.
TEST_F(RecorderTest, KeysTypedIntoTheFocusedFieldThatIsNotRecordingLeaveTheShortcut)
{
    const Shortcut stored(Key::k, Qt::ControlModifier);
    KeyboardShortcuts::setShortcut(stored, name);
    makeRecorder(name);
    other->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(window.windowHandle(), Qt::Key_Tab);
    ASSERT_TRUE(recorder->hasFocus());
    ASSERT_TRUE(recorder->isRecording());
    QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
    ASSERT_FALSE(recorder->isRecording());
    ASSERT_TRUE(recorder->hasFocus());

    QTest::keyClick(window.windowHandle(), Qt::Key_B);
    QTest::keyClick(window.windowHandle(), Qt::Key_Backspace);
    QTest::keyClick(window.windowHandle(), Qt::Key_Delete);
    EXPECT_EQ(recorder->text(), "Ctrl+K");
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), stored);
    EXPECT_TRUE(changed.empty());
    EXPECT_FALSE(recorder->isRecording());
}

TEST_F(RecorderTest, BackspaceClearsTheShortcutAndRecordingGoesOn)
{
    KeyboardShortcuts::setShortcut(Shortcut(Key::k, Qt::ControlModifier), name);
    makeRecorder(name);
    startRecording();
    changes.clear();
    press(Qt::Key_Backspace, Key::delete_);
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), std::nullopt);
    EXPECT_TRUE(stored("toggleMenu")->is<bool>());
    EXPECT_THAT(changed, ElementsAre(std::nullopt));
    EXPECT_THAT(changes, ElementsAre("toggleMenu"));
    EXPECT_EQ(recorder->text(), "");
    EXPECT_TRUE(recorder->isRecording());

    // With nothing stored, clearing announces nothing but still tells the owner.
    press(Qt::Key_Delete, Key::deleteForward);
    EXPECT_THAT(changed, ElementsAre(std::nullopt, std::nullopt));
    EXPECT_THAT(changes, ElementsAre("toggleMenu"));
}

// The application's names have actions, so the store tells the library of every write to them,
// its own too: a recording is announced once all the same, and its hot key works.
TEST_F(RecorderTest, ANameWithActionsHasItsRecordingAndItsClearingAnnouncedOnce)
{
    int ran = 0;
    KeyboardShortcuts::addKeyDownHandler(name, [&ran] { ++ran; });
    makeRecorder(name);
    startRecording();
    changes.clear();
    press(Qt::Key_A, Key::a, Qt::AltModifier);
    const Shortcut optionA(Key::a, Qt::AltModifier);
    EXPECT_THAT(changes, ElementsAre("toggleMenu"));
    ASSERT_TRUE(hotKeys.press(combinationOf(optionA)));
    EXPECT_EQ(ran, 1);

    startRecording();
    press(Qt::Key_Backspace, Key::delete_);
    EXPECT_THAT(changes, ElementsAre("toggleMenu", "toggleMenu"));
}

TEST_F(RecorderTest, AClickJustOutsideTheFieldCountsAsInsideAndOneFurtherAwayEndsRecording)
{
    makeRecorder(name);
    startRecording();
    auto releaseAt = [this](QPoint local) {
        const QPoint global = recorder->mapToGlobal(local);
        const QPoint inWindow = window.mapFromGlobal(global);
        QMouseEvent release(QEvent::MouseButtonRelease, inWindow, inWindow, global, Qt::LeftButton,
            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.windowHandle(), &release);
        QCoreApplication::processEvents();
    };
    releaseAt(QPoint(recorder->width() + 1, recorder->height() / 2));
    EXPECT_TRUE(recorder->isRecording());
    releaseAt(QPoint(-3, -3));
    EXPECT_TRUE(recorder->isRecording());
    releaseAt(QPoint(recorder->width() + 3, recorder->height() / 2));
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(KeyboardShortcuts::isRecorderActive());
}

TEST_F(RecorderTest, AShortcutOfTheMenuIsRefusedWithItsTitleAndRecordingResumes)
{
    QMenu menu;
    QAction* quit = menu.addAction("&Quit Kiruvo");
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    KeyboardShortcuts::setApplicationMenu(&menu);
    makeRecorder(name);
    startRecording();
    press(Qt::Key_Q, Key::q, Qt::ControlModifier);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_THAT(alerts,
        ElementsAre(
            "This keyboard shortcut cannot be used as it's already used by the \u201CQuit Kiruvo\u201D menu "
            "item.|"));
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), std::nullopt);
    EXPECT_TRUE(changed.empty());
    EXPECT_TRUE(recorder->isRecording());
}

// The alert as the user meets it: a dialog that takes the focus from the recorder's window and is
// answered with Return. The desktop may give the window its focus back only after the alert has
// ended (the offscreen platform does), and recording goes on from there.
TEST_F(RecorderTest, AfterARealConflictAlertRecordingResumesOnceTheWindowIsActiveAgain)
{
    QMenu menu;
    menu.addAction("&Quit Kiruvo")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    KeyboardShortcuts::setApplicationMenu(&menu);
    bool answered = false;
    zk::AlertPresenter::shared().setRunModal([&answered](QMessageBox& alert) {
        QTimer::singleShot(0, &alert, [&alert, &answered] {
            if (QTest::qWaitForWindowActive(&alert)) {
                QTest::keyClick(&alert, Qt::Key_Return);
                answered = alert.isHidden();
            }
            // Never left open for the test program to hang on.
            alert.done(0);
        });
        return zk::AlertPresenter::runModalOnScreen(alert);
    });
    makeRecorder(name);
    startRecording();
    press(Qt::Key_Q, Key::q, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&answered] { return answered; }));

    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder->hasFocus());
    EXPECT_TRUE(recorder->isRecording());
    press(Qt::Key_F7, Key::f7, Qt::ControlModifier);
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), Shortcut(Key::f7, Qt::ControlModifier));
    EXPECT_TRUE(alerts.empty());
}

TEST_F(RecorderTest, AShortcutOfTheMenuThatTheWindowAlsoHasIsRefusedNotRunByTheWindow)
{
    // Settings has Ctrl+, of its own (it brings itself forward); the menu's "Settings…" has it too.
    QMenu menu;
    menu.addAction("Settings…")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    KeyboardShortcuts::setApplicationMenu(&menu);
    int windowShortcutRan = 0;
    QObject::connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), &window), &QShortcut::activated,
        [&windowShortcutRan] { ++windowShortcutRan; });
    makeRecorder(name);
    startRecording();
    // As the platform delivers a key: the window's shortcuts are asked first.
    QTest::keyClick(window.windowHandle(), Qt::Key_Comma, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(windowShortcutRan, 0);
    EXPECT_THAT(alerts,
        ElementsAre(
            "This keyboard shortcut cannot be used as it's already used by the \u201CSettings…\u201D menu "
            "item.|"));
    EXPECT_TRUE(recorder->isRecording());
}

TEST_F(RecorderTest, AShortcutHeldByAnotherApplicationIsRefused)
{
    const Shortcut screenshot(Key::three, Qt::MetaModifier | Qt::ShiftModifier);
    hotKeys.heldElsewhere.push_back(combinationOf(screenshot));
    makeRecorder(name);
    startRecording();
    press(Qt::Key_NumberSign, Key::three, Qt::MetaModifier | Qt::ShiftModifier);
    QCoreApplication::processEvents();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts.front().substr(0, alerts.front().find('|')),
        "This keyboard shortcut cannot be used as it's already a system-wide keyboard shortcut.");
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), std::nullopt);
    EXPECT_TRUE(recorder->isRecording());
}

TEST_F(RecorderTest, TheOtherNamesCombinationIsRecordedAndOnePressRunsBothNames)
{
    const Shortcut shared(Key::k, Qt::ControlModifier | Qt::AltModifier);
    const Name toggleEnabled("toggleEnabled");
    KeyboardShortcuts::setShortcut(shared, toggleEnabled);
    std::vector<std::string> ran;
    KeyboardShortcuts::addKeyDownHandler(toggleEnabled, [&ran] { ran.push_back("toggleEnabled"); });
    KeyboardShortcuts::addKeyDownHandler(name, [&ran] { ran.push_back("toggleMenu"); });
    makeRecorder(name);
    startRecording();
    press(Qt::Key_K, Key::k, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_THAT(alerts, ElementsAre());
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), shared);
    EXPECT_EQ(KeyboardShortcuts::hotKeyProblem(name), std::nullopt);
    EXPECT_EQ(KeyboardShortcuts::hotKeyProblem(toggleEnabled), std::nullopt);

    // The desktop's hot key, pressed in another application: both names' actions, once each.
    ASSERT_TRUE(hotKeys.press(combinationOf(shared)));
    EXPECT_THAT(ran, ::testing::UnorderedElementsAre("toggleEnabled", "toggleMenu"));
    // Recording another combination for one leaves the other's working.
    ran.clear();
    makeRecorder(name);
    startRecording();
    press(Qt::Key_J, Key::j, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_TRUE(hotKeys.press(combinationOf(shared)));
    EXPECT_THAT(ran, ElementsAre("toggleEnabled"));
}

TEST_F(RecorderTest, WhileRecordingTheFieldHasTheWholeKeyboard)
{
    // A combination another application has taken must reach the field to be refused at all.
    makeRecorder(name);
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    startRecording();
    EXPECT_EQ(QWidget::keyboardGrabber(), recorder);
    press(Qt::Key_Escape, Key::escape);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
}

TEST_F(RecorderTest, WhileRecordingAGlobalShortcutRunsNothing)
{
    const Shortcut shortcut(Key::k, Qt::ControlModifier);
    KeyboardShortcuts::setShortcut(shortcut, name);
    int ran = 0;
    KeyboardShortcuts::addKeyDownHandler(name, [&ran] { ++ran; });
    makeRecorder(Name("other"));
    startRecording();
    EXPECT_FALSE(hotKeys.press(combinationOf(shortcut)));
    KeyboardShortcuts::dispatchKeyDown(shortcut);
    EXPECT_EQ(ran, 0);
    other->setFocus();
    QCoreApplication::processEvents();
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(hotKeys.press(combinationOf(shortcut)));
    EXPECT_EQ(ran, 1);
}

TEST_F(RecorderTest, AChangeOfTheNameElsewhereShowsAndOtherNamesAreLeftAlone)
{
    makeRecorder(name);
    KeyboardShortcuts::setShortcut(Shortcut(Key::j, Qt::MetaModifier), name);
    EXPECT_EQ(recorder->text(), "Super+J");
    KeyboardShortcuts::setShortcut(Shortcut(Key::l, Qt::MetaModifier), Name("other"));
    EXPECT_EQ(recorder->text(), "Super+J");

    recorder->setShortcutName(Name("other"));
    EXPECT_EQ(recorder->text(), "Super+L");
}

TEST_F(RecorderTest, WithoutGlobalShortcutsTheRecorderSaysSo)
{
    hotKeys.available = false;
    makeRecorder(name);
    EXPECT_FALSE(recorder->isEnabled());
    EXPECT_EQ(recorder->toolTip(), "This desktop offers no global keyboard shortcuts to applications.");
}

TEST_F(RecorderTest, TheLabelledRecorderShowsItsTitle)
{
    KeyboardShortcuts::Recorder labelled("Toggle menu:", name);
    ASSERT_NE(labelled.label(), nullptr);
    EXPECT_EQ(labelled.label()->text(), "Toggle menu:");
    EXPECT_EQ(labelled.field().shortcutName(), name);
    EXPECT_TRUE(labelled.hasLabel());
    KeyboardShortcuts::Recorder bare(name);
    EXPECT_EQ(bare.label(), nullptr);
    EXPECT_FALSE(bare.hasLabel());
}

TEST_F(ShortcutsTest, AMenuItemBoundToANameFollowsItsShortcut)
{
    const Name name("toggleMenu");
    QAction item("Open");
    KeyboardShortcuts::setMenuItemShortcut(item, name);
    EXPECT_TRUE(item.shortcut().isEmpty());
    KeyboardShortcuts::setShortcut(Shortcut(Key::k, Qt::ControlModifier | Qt::ShiftModifier), name);
    EXPECT_EQ(item.shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
    KeyboardShortcuts::setShortcut(Shortcut(Key::j, Qt::ControlModifier), Name("other"));
    EXPECT_EQ(item.shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
    KeyboardShortcuts::setShortcut(std::nullopt, name);
    EXPECT_TRUE(item.shortcut().isEmpty());

    KeyboardShortcuts::setMenuItemShortcut(item, std::nullopt);
    KeyboardShortcuts::setShortcut(Shortcut(Key::k, Qt::ControlModifier), name);
    EXPECT_TRUE(item.shortcut().isEmpty());
}

} // namespace
