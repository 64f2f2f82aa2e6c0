#include "DefaultsTestSupport.h"

#include "libraries/defaults/Toggle.h"

#include <QCoreApplication>
#include <QTest>

#include <thread>
#include <vector>

using namespace defaults_test;

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(2);
    }
}

class Toggle : public DefaultsFixture {
protected:
    // Observing tasks end on the main thread after their objects: let them, so that none is left
    // suspended when the test program exits.
    void TearDown() override
    {
        settle();
        DefaultsFixture::TearDown();
    }
};

TEST_F(Toggle, ShowsTheStoredStateAndTitleWithoutCallingTheAction)
{
    Defaults::Key<bool> key("enableAtLaunch", true);
    std::vector<bool> calls;
    Defaults::Toggle toggle("Enable at launch & more", key);
    toggle.onChange([&](bool value) { calls.push_back(value); });
    settle();
    EXPECT_TRUE(toggle.isChecked());
    // Shown as written: the "&" is no mnemonic marker that eats itself and underlines the "m".
    EXPECT_EQ(toggle.text(), QString("Enable at launch && more"));
    EXPECT_TRUE(toggle.shortcut().isEmpty());
    EXPECT_TRUE(calls.empty());
}

TEST_F(Toggle, FollowsAWriteMadeElsewhereAndCallsTheActionOnce)
{
    Defaults::Key<bool> key("enableAtLaunch", true);
    std::vector<bool> calls;
    Defaults::Toggle toggle(key);
    toggle.onChange([&](bool value) { calls.push_back(value); });
    settle();

    Defaults::set(key, false);
    EXPECT_TRUE(toggle.isChecked()); // redrawn later, on the main thread
    settle();
    EXPECT_FALSE(toggle.isChecked());
    EXPECT_EQ(calls, (std::vector<bool> { false }));

    std::thread([&] { Defaults::set(key, true); }).join();
    settle();
    EXPECT_TRUE(toggle.isChecked());
    EXPECT_EQ(calls, (std::vector<bool> { false, true }));

    // A write of the value already shown redraws nothing and calls nothing.
    Defaults::set(key, true);
    settle();
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(Toggle, ClickingStoresTheStateThenCallsTheAction)
{
    Defaults::Key<bool> key("enableAtLaunch", false);
    std::vector<std::pair<bool, bool>> calls; // value given, value stored at the call
    Defaults::Toggle toggle(key);
    toggle.onChange([&](bool value) { calls.emplace_back(value, Defaults::get(key)); });
    settle();
    toggle.click();
    EXPECT_TRUE(Defaults::get(key));
    settle();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_pair(true, true));
    EXPECT_TRUE(toggle.isChecked());
}

TEST_F(Toggle, OnlyTheLastActionIsCalledAndNoneIsNeeded)
{
    Defaults::Key<bool> key("enableAtLaunch", false);
    int first = 0;
    int second = 0;
    Defaults::Toggle toggle(key);
    toggle.onChange([&](bool) { ++first; }).onChange([&](bool) { ++second; });
    Defaults::Toggle plain(key);
    settle();
    plain.click();
    settle();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_TRUE(toggle.isChecked());
    EXPECT_TRUE(plain.isChecked());
}

TEST_F(Toggle, ResetShowsTheDefault)
{
    Defaults::Key<bool> key("enableAtLaunch", true);
    Defaults::set(key, false);
    Defaults::Toggle toggle(key);
    settle();
    EXPECT_FALSE(toggle.isChecked());
    key.reset();
    settle();
    EXPECT_TRUE(toggle.isChecked());
}

} // namespace
