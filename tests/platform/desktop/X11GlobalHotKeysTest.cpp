#include "support/PrivateXServer.h"

#include "platform/linux/X11GlobalHotKeys.h"
#include "platform/linux/XkbKeyboardLayout.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

constexpr std::uint8_t keyK = 45; // evdev KEY_K + 8
constexpr std::uint8_t keyJ = 44;
constexpr std::uint8_t keyA = 38;

// Grabs on an X server of the test's own, keys sent through XTest by another client.
class X11GlobalHotKeysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!server.isRunning()) {
            GTEST_SKIP() << "Xvfb could not be started";
        }
        hotKeys = platform::X11GlobalHotKeys::connectTo(server.display().c_str());
        ASSERT_NE(hotKeys, nullptr);
        pressed = std::make_unique<QSignalSpy>(hotKeys.get(), &platform::GlobalHotKeys::pressed);
        released = std::make_unique<QSignalSpy>(hotKeys.get(), &platform::GlobalHotKeys::released);
    }

    // Lets the hot keys read what the server sent, until `spy` has `count` signals or a second
    // has passed.
    static bool waitFor(QSignalSpy& spy, int count)
    {
        for (int i = 0; i < 100 && spy.count() < count; ++i) {
            spy.wait(10);
        }
        return spy.count() >= count;
    }

    PrivateXServer server;
    std::unique_ptr<platform::X11GlobalHotKeys> hotKeys;
    std::unique_ptr<QSignalSpy> pressed;
    std::unique_ptr<QSignalSpy> released;
};

TEST_F(X11GlobalHotKeysTest, APressOfTheCombinationIsOnePressAndOneRelease)
{
    ASSERT_TRUE(hotKeys->grab(7, { keyK, Qt::ControlModifier | Qt::AltModifier }));
    server.tap(keyK, { PrivateXServer::leftControl, PrivateXServer::leftAlt });
    ASSERT_TRUE(waitFor(*released, 1));
    ASSERT_EQ(pressed->count(), 1);
    EXPECT_EQ(pressed->at(0).at(0).toUInt(), 7u);
    EXPECT_EQ(released->at(0).at(0).toUInt(), 7u);

    // Other modifiers, or none, are other combinations.
    server.tap(keyK, { PrivateXServer::leftControl });
    server.tap(keyK);
    server.tap(keyK, { PrivateXServer::leftControl, PrivateXServer::leftAlt, PrivateXServer::leftShift });
    server.tap(keyK, { PrivateXServer::leftControl, PrivateXServer::leftAlt });
    ASSERT_TRUE(waitFor(*pressed, 2));
    QSignalSpy(hotKeys.get(), &platform::GlobalHotKeys::pressed).wait(50);
    EXPECT_EQ(pressed->count(), 2);
}

TEST_F(X11GlobalHotKeysTest, AHeldKeyThatRepeatsIsStillOnePress)
{
    ASSERT_TRUE(hotKeys->grab(1, { keyJ, Qt::MetaModifier }));
    server.key(true, PrivateXServer::leftSuper);
    server.key(true, keyJ);
    // Held past the server's repeat delay (660 ms), it repeats.
    QSignalSpy(hotKeys.get(), &platform::GlobalHotKeys::released).wait(900);
    server.key(false, keyJ);
    server.key(false, PrivateXServer::leftSuper);
    ASSERT_TRUE(waitFor(*released, 1));
    EXPECT_EQ(pressed->count(), 1);
}

TEST_F(X11GlobalHotKeysTest, NumLockAndCapsLockDoNotGetInTheWay)
{
    ASSERT_TRUE(hotKeys->grab(3, { keyA, Qt::ControlModifier }));
    server.tap(PrivateXServer::numLock);
    server.tap(keyA, { PrivateXServer::leftControl });
    ASSERT_TRUE(waitFor(*pressed, 1));
    constexpr std::uint8_t capsLock = 66;
    server.tap(capsLock);
    server.tap(keyA, { PrivateXServer::leftControl });
    ASSERT_TRUE(waitFor(*pressed, 2));
    server.tap(PrivateXServer::numLock);
    server.tap(keyA, { PrivateXServer::leftControl });
    EXPECT_TRUE(waitFor(*pressed, 3));
}

TEST_F(X11GlobalHotKeysTest, ACombinationAnotherClientHoldsIsRefusedAndReportedAsTaken)
{
    // The other client: the test's own connection.
    free(xcb_request_check(server.connection(),
        xcb_grab_key_checked(server.connection(), 0, server.root(), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1,
            keyJ, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    const platform::HotKeyCombination taken { keyJ, Qt::ControlModifier | Qt::AltModifier };
    EXPECT_TRUE(hotKeys->isTakenElsewhere(taken));
    EXPECT_FALSE(hotKeys->grab(1, taken));
    // Nothing half-taken stays behind: the Num Lock variant is free again for its holder.
    EXPECT_FALSE(hotKeys->isTakenElsewhere({ keyJ, Qt::ControlModifier }));

    const platform::HotKeyCombination free { keyK, Qt::ControlModifier | Qt::AltModifier };
    EXPECT_FALSE(hotKeys->isTakenElsewhere(free));
    ASSERT_TRUE(hotKeys->grab(2, free));
    // Our own grab is not taken by someone else, and the probe leaves it in place.
    EXPECT_FALSE(hotKeys->isTakenElsewhere(free));
    server.tap(keyK, { PrivateXServer::leftControl, PrivateXServer::leftAlt });
    EXPECT_TRUE(waitFor(*pressed, 1));
}

TEST_F(X11GlobalHotKeysTest, UngrabbingGivesTheCombinationBack)
{
    const platform::HotKeyCombination combination { keyK, Qt::ShiftModifier | Qt::MetaModifier };
    ASSERT_TRUE(hotKeys->grab(1, combination));
    ASSERT_TRUE(hotKeys->grab(2, combination));
    hotKeys->ungrab(1);
    // The second id still holds it.
    server.tap(keyK, { PrivateXServer::leftShift, PrivateXServer::leftSuper });
    ASSERT_TRUE(waitFor(*pressed, 1));
    EXPECT_EQ(pressed->at(0).at(0).toUInt(), 2u);
    hotKeys->ungrab(2);
    // Another client can take it now.
    const xcb_void_cookie_t cookie = xcb_grab_key_checked(server.connection(), 0, server.root(),
        XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4, keyK, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t* error = xcb_request_check(server.connection(), cookie);
    EXPECT_EQ(error, nullptr);
    free(error);
}

TEST_F(X11GlobalHotKeysTest, TheServersLayoutGivesTheKeysText)
{
    const auto layout = platform::XkbKeyboardLayout::fromX11Connection(server.connection());
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->keyText(keyA), "a");
    EXPECT_EQ(layout->keyText(keyK), "k");
    // Return writes no printable text.
    EXPECT_EQ(layout->keyText(36), std::nullopt);
}

} // namespace
