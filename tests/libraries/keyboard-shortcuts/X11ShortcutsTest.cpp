#include "ShortcutsTestSupport.h"
#include "support/PrivateXServer.h"

#include "libraries/keyboard-shortcuts/RecorderCocoa.h"
#include "libraries/keyboard-shortcuts/ShortcutConflicts.h"
#include "platform/linux/X11GlobalHotKeys.h"

#include <QKeyEvent>
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
    auto* recorder = new KeyboardShortcuts::RecorderCocoa(name, {}, &window);
    (new QVBoxLayout(&window))->addWidget(recorder);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    recorder->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
    ASSERT_TRUE(recorder->isRecording());
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

    // While recording again the key goes to the field, not to the action.
    recorder->setFocus(Qt::MouseFocusReason);
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
}

} // namespace
