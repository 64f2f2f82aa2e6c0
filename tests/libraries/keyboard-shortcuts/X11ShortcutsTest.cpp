#include "ShortcutsTestSupport.h"
#include "support/PrivateXServer.h"

#include "kit/foundation/AlertPresenter.h"
#include "libraries/keyboard-shortcuts/RecorderCocoa.h"
#include "libraries/keyboard-shortcuts/ShortcutConflicts.h"
#include "platform/linux/X11GlobalHotKeys.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using KeyboardShortcuts::Key;
using KeyboardShortcuts::Name;
using KeyboardShortcuts::Shortcut;

namespace {

// The library over real key grabs on an X server of the test's own.
class X11ShortcutsTest : public ShortcutsTest {
protected:
    void SetUp() override
    {
        ShortcutsTest::SetUp();
        if (!server.isRunning()) {
            GTEST_SKIP() << "Xvfb could not be started";
        }
        x11 = platform::X11GlobalHotKeys::connectTo(server.display().c_str());
        ASSERT_NE(x11, nullptr);
        platform::GlobalHotKeys::setShared(x11.get());
    }

    void TearDown() override
    {
        KeyboardShortcuts::resetForTesting();
        platform::GlobalHotKeys::setShared(nullptr);
        x11.reset();
        ShortcutsTest::TearDown();
    }

    // A recorder for the name in its own window, recording.
    KeyboardShortcuts::RecorderCocoa* startRecording(QWidget& window, const Name& name)
    {
        auto* recorder = new KeyboardShortcuts::RecorderCocoa(name, {}, &window);
        (new QVBoxLayout(&window))->addWidget(recorder);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        // A click into it: the window has given it the focus already, which records nothing.
        QTest::mouseClick(recorder, Qt::LeftButton);
        QCoreApplication::processEvents();
        EXPECT_TRUE(recorder->isRecording());
        return recorder;
    }

    // Lets the hot keys read the server's events until `ran` reaches `count` or a second passed.
    void waitFor(const int& ran, int count)
    {
        QSignalSpy pressed(x11.get(), &platform::GlobalHotKeys::pressed);
        for (int i = 0; i < 100 && ran < count; ++i) {
            pressed.wait(10);
        }
    }

    PrivateXServer server;
    std::unique_ptr<platform::X11GlobalHotKeys> x11;
};

TEST_F(X11ShortcutsTest, ARecordedShortcutRunsItsActionOncePerPress)
{
    const Name name("toggleMenu");
    int ran = 0;
    KeyboardShortcuts::addKeyDownHandler(name, [&ran] { ++ran; });

    // Recorded through the field: Ctrl+Alt+K as the X server reports it.
    QWidget window;
    KeyboardShortcuts::RecorderCocoa* recorder = nullptr;
    ASSERT_NO_FATAL_FAILURE(recorder = startRecording(window, name));
    QKeyEvent press(
        QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, *Key::k.x11KeyCode(), 0, 0);
    QCoreApplication::sendEvent(window.windowHandle(), &press);
    ASSERT_EQ(KeyboardShortcuts::getShortcut(name), Shortcut(Key::k, Qt::ControlModifier | Qt::AltModifier));
    ASSERT_FALSE(recorder->isRecording());

    const auto keyK = static_cast<std::uint8_t>(*Key::k.x11KeyCode());
    server.tap(keyK, { PrivateXServer::leftControl, PrivateXServer::leftAlt });
    waitFor(ran, 1);
    EXPECT_EQ(ran, 1);
    server.tap(keyK, { PrivateXServer::leftControl, PrivateXServer::leftAlt });
    server.tap(PrivateXServer::numLock);
    server.tap(keyK, { PrivateXServer::leftControl, PrivateXServer::leftAlt });
    waitFor(ran, 3);
    EXPECT_EQ(ran, 3);
    EXPECT_TRUE(KeyboardShortcuts::hasWorkingHotKey(name));

    // While recording again (a click into the field, which kept the focus) the key goes to the
    // field, not to the action.
    QTest::mouseClick(recorder, Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_TRUE(recorder->isRecording());
    server.tap(keyK, { PrivateXServer::leftControl, PrivateXServer::leftAlt });
    QSignalSpy(x11.get(), &platform::GlobalHotKeys::pressed).wait(100);
    EXPECT_EQ(ran, 3);
}

TEST_F(X11ShortcutsTest, AShortcutAnotherClientHoldsIsStoredButNeverRuns)
{
    const Name name("toggleEnabled");
    const auto keyJ = static_cast<std::uint8_t>(*Key::j.x11KeyCode());
    free(xcb_request_check(server.connection(),
        xcb_grab_key_checked(server.connection(), 0, server.root(), XCB_MOD_MASK_4, keyJ, XCB_GRAB_MODE_ASYNC,
            XCB_GRAB_MODE_ASYNC)));
    int ran = 0;
    KeyboardShortcuts::addKeyDownHandler(name, [&ran] { ++ran; });
    const Shortcut superJ(Key::j, Qt::MetaModifier);
    EXPECT_TRUE(KeyboardShortcuts::isSystemReservedShortcut(superJ));
    KeyboardShortcuts::setShortcut(superJ, name);
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), superJ);
    EXPECT_FALSE(KeyboardShortcuts::hasWorkingHotKey(name));
    server.tap(keyJ, { PrivateXServer::leftSuper });
    QSignalSpy(x11.get(), &platform::GlobalHotKeys::pressed).wait(100);
    EXPECT_EQ(ran, 0);
    // Settings says so, and why.
    const std::optional<std::string> problem = KeyboardShortcuts::hotKeyProblem(name);
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->find("Another application"), std::string::npos);
}

TEST_F(X11ShortcutsTest, TheRecorderRefusesACombinationAnotherClientHolds)
{
    const Name name("toggleMenu");
    platform::UserDefaults::standard()->removeObject(name.userDefaultsKey());
    // The second client: Ctrl+Alt+J is its own.
    const auto keyJ = static_cast<std::uint8_t>(*Key::j.x11KeyCode());
    ASSERT_EQ(xcb_request_check(server.connection(),
                  xcb_grab_key_checked(server.connection(), 0, server.root(),
                      XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, keyJ, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
        nullptr);
    std::vector<std::string> alerts;
    zk::AlertPresenter::shared().setRunModal([&alerts](QMessageBox& alert) {
        alerts.push_back(alert.text().toStdString());
        return 0;
    });
    QWidget window;
    KeyboardShortcuts::RecorderCocoa* recorder = nullptr;
    ASSERT_NO_FATAL_FAILURE(recorder = startRecording(window, name));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier, keyJ, 0, 0);
    QCoreApplication::sendEvent(window.windowHandle(), &press);
    QCoreApplication::processEvents();
    zk::AlertPresenter::shared().setRunModal({});
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts.front(),
        "This keyboard shortcut cannot be used as it's already a system-wide keyboard shortcut.");
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), std::nullopt);
    EXPECT_TRUE(recorder->isRecording());

    // A free combination is taken as usual.
    QKeyEvent freeCombination(QEvent::KeyPress, Qt::Key_J, Qt::MetaModifier | Qt::AltModifier, keyJ, 0, 0);
    QCoreApplication::sendEvent(window.windowHandle(), &freeCombination);
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), Shortcut(Key::j, Qt::MetaModifier | Qt::AltModifier));
}

TEST_F(X11ShortcutsTest, AStoredBareKeyIsNeverGrabbed)
{
    const Name name("toggleEnabled");
    // As a hand-edited store holds it: the letter A with no modifier.
    platform::UserDefaults::standard()->setObject(
        platform::PropertyList(std::string(R"({"carbonKeyCode":0,"carbonModifiers":0})")),
        name.userDefaultsKey());
    int ran = 0;
    KeyboardShortcuts::addKeyDownHandler(name, [&ran] { ++ran; });
    // Nobody holds the key: another client may take it.
    const auto keyA = static_cast<std::uint8_t>(*Key::a.x11KeyCode());
    xcb_generic_error_t* error = xcb_request_check(server.connection(),
        xcb_grab_key_checked(
            server.connection(), 0, server.root(), 0, keyA, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    EXPECT_EQ(error, nullptr) << "the bare key was grabbed";
    free(error);
    xcb_ungrab_key(server.connection(), keyA, server.root(), 0);
    server.tap(keyA);
    QSignalSpy(x11.get(), &platform::GlobalHotKeys::pressed).wait(100);
    EXPECT_EQ(ran, 0);
    EXPECT_TRUE(KeyboardShortcuts::hotKeyProblem(name).has_value());
    platform::UserDefaults::standard()->removeObject(name.userDefaultsKey());
}

} // namespace
