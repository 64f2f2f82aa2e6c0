#include "app/reminders/ReminderDelivery.h"

#include "app/SessionEngineFixture.h"
#include "kit/interface/Tooltip.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/desktop/StatusItem.h"
#include "platform/fake/FakeStatusItemBackend.h"

#include <QLabel>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using kiruvo::NotificationType;
using kiruvo::ReminderDelivery;
namespace Keys = kiruvo::Keys;

namespace {

struct Step {
    double at;
    std::string what;
};

} // namespace

// Each reminder runs against fakes for every service and a manual clock for its waits; the steps
// it takes are recorded with the time they happened at.
class ReminderDeliveryTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        auto backend = std::make_unique<platform::fake::FakeStatusItemBackend>();
        backend->setGeometry(QRect(500, 0, 24, 24));
        statusItem = std::make_unique<platform::StatusItem>(std::move(backend));

        delivery = std::make_unique<ReminderDelivery>(controller(), scheduler, fakeServices());
        QObject::connect(delivery.get(), &ReminderDelivery::showingChanged,
            [this] { record(controller().isShowingNotification() ? "tint on" : "tint off"); });
        QObject::connect(delivery.get(), &ReminderDelivery::shakeRequested, [this] { record("shake"); });
        delivery->setStatusItem(statusItem.get());
    }

    // Every service recorded, a haptic device included.
    ReminderDelivery::Services fakeServices()
    {
        ReminderDelivery::Services services;
        services.playSound = [this](zk::MacSystemSound sound) {
            if (failSound) {
                throw std::runtime_error("no audio device");
            }
            record("sound " + std::string(zk::rawValue(sound)));
        };
        services.hapticFeedback = [this] { record("haptic"); };
        services.runShortcut = [this](platform::Uuid id) -> QCoro::Task<void> {
            record("shortcut " + id.uuidString());
            co_return;
        };
        services.showSystemNotification = [this](std::string title, std::stop_token) -> QCoro::Task<void> {
            record("notification " + title);
            co_return;
        };
        services.showHeadsUp = [this](zk::Duration duration) {
            record("hud shown " + std::to_string(static_cast<int>(duration.seconds)));
        };
        services.closeHeadsUp = [this] { record("hud closed"); };
        return services;
    }

    void TearDown() override
    {
        delivery.reset();
        settle();
        statusItem.reset();
        SessionEngineTest::TearDown();
    }

    void record(std::string what) { steps.push_back({ scheduler.now(), std::move(what) }); }

    // Lets started tasks begin and cancelled waits wake.
    void settle()
    {
        for (int i = 0; i < 4; ++i) {
            processEvents();
            scheduler.runPending();
        }
    }

    // Moves the manual clock to `time` seconds, in small steps so that tasks started on the way
    // begin at their moment.
    void advanceTo(double time)
    {
        settle();
        while (scheduler.now() + 0.05 < time) {
            scheduler.advance(0.05);
            settle();
        }
        scheduler.advance(time - scheduler.now());
        settle();
    }

    std::vector<std::string> whats() const
    {
        std::vector<std::string> result;
        for (const auto& step : steps) {
            result.push_back(step.what);
        }
        return result;
    }
    int count(const std::string& what) const
    {
        return static_cast<int>(
            std::count_if(steps.begin(), steps.end(), [&](const Step& step) { return step.what == what; }));
    }
    // When `what` happened last; -1 when it never did.
    double lastAt(const std::string& what) const
    {
        double at = -1;
        for (const auto& step : steps) {
            if (step.what == what) {
                at = step.at;
            }
        }
        return at;
    }
    std::vector<double> timesOf(const std::string& what) const
    {
        std::vector<double> times;
        for (const auto& step : steps) {
            if (step.what == what) {
                times.push_back(step.at);
            }
        }
        return times;
    }

    static void expectTimes(const std::vector<double>& actual, const std::vector<double>& expected)
    {
        ASSERT_EQ(actual.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(actual[i], expected[i], 0.01) << "at index " << i;
        }
    }

    platform::combine::ManualScheduler scheduler;
    std::unique_ptr<platform::StatusItem> statusItem;
    std::unique_ptr<ReminderDelivery> delivery;
    std::vector<Step> steps;
    bool failSound = false;
};

TEST_F(ReminderDeliveryTest, ReminderTextNamesTheDurationInHoursAndMinutes)
{
    EXPECT_EQ(ReminderDelivery::reminderMessage(zk::Duration::fromSeconds(3900)),
        "You have been active for 1 hour, 5 minutes");
    EXPECT_EQ(ReminderDelivery::reminderMessage(zk::Duration::fromSeconds(1802)),
        "You have been active for 30 minutes");
    // A duration the formatter cannot write still gives a sentence.
    EXPECT_EQ(ReminderDelivery::reminderMessage(
                  zk::Duration::fromSeconds(std::numeric_limits<double>::quiet_NaN())),
        "You have been active for !!!");
    EXPECT_EQ(
        ReminderDelivery::reminderMessage(zk::Duration::fromSeconds(std::numeric_limits<double>::infinity())),
        "You have been active for !!!");
}

TEST_F(ReminderDeliveryTest, PopoverShakesThenPlaysRunsAndShowsTheTextForEightSeconds)
{
    const auto shortcut = platform::Uuid::random();
    Defaults::set(Keys::notificationSound(), std::optional(zk::MacSystemSound::glass));
    Defaults::set(Keys::notificationRunShortcut(), std::optional(shortcut));

    delivery->notify(zk::Duration::fromSeconds(1802));
    EXPECT_TRUE(controller().isShowingNotification());
    advanceTo(2.35);
    EXPECT_EQ(whats(), (std::vector<std::string> { "tint on", "shake", "shake", "shake", "shake" }));
    expectTimes(timesOf("shake"), { 0, 0.6, 1.2, 1.8 });
    EXPECT_EQ(delivery->currentPopover(), nullptr);

    advanceTo(2.45);
    EXPECT_EQ(whats(),
        (std::vector<std::string> { "tint on", "shake", "shake", "shake", "shake", "sound Glass",
            "shortcut " + shortcut.uuidString() }));
    expectTimes(timesOf("sound Glass"), { 2.4 });
    ASSERT_NE(delivery->currentPopover(), nullptr);
    EXPECT_TRUE(delivery->currentPopover()->isVisible());
    EXPECT_EQ(
        delivery->currentPopover()->label().text().toStdString(), "You have been active for 30 minutes");
    EXPECT_EQ(zk::Tooltip::shownCount(ReminderDelivery::popoverIdentifier), 1);

    // A click closes the popover; the tint stays for the popover's whole time.
    delivery->currentPopover()->close();
    advanceTo(10.35);
    EXPECT_TRUE(controller().isShowingNotification());
    advanceTo(10.5);
    EXPECT_FALSE(controller().isShowingNotification());
    expectTimes(timesOf("tint off"), { 10.4 });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(delivery->currentPopover(), nullptr);
}

TEST_F(ReminderDeliveryTest, MenuBarIconOnlyAndSystemNotificationEndTheTintRightAfterTheShakes)
{
    Defaults::set(Keys::notificationType(), NotificationType::menuBarIconOnly);
    delivery->notify(zk::Duration::fromSeconds(600));
    advanceTo(3);
    EXPECT_EQ(
        whats(), (std::vector<std::string> { "tint on", "shake", "shake", "shake", "shake", "tint off" }));
    expectTimes(timesOf("tint off"), { 2.4 });
    EXPECT_EQ(delivery->currentPopover(), nullptr);

    steps.clear();
    Defaults::set(Keys::notificationType(), NotificationType::systemNotification);
    delivery->notify(zk::Duration::fromSeconds(600));
    advanceTo(6);
    EXPECT_EQ(whats(),
        (std::vector<std::string> { "tint on", "shake", "shake", "shake", "shake", "tint off",
            "notification You have been active for 10 minutes" }));
    expectTimes(timesOf("tint off"), { 5.4 });
}

TEST_F(ReminderDeliveryTest, HeadsUpStartsEverythingAtOnceAndEndsAfterFourSeconds)
{
    Defaults::set(Keys::notificationType(), NotificationType::hud);
    Defaults::set(Keys::notificationSound(), std::optional(zk::MacSystemSound::tink));
    delivery->notify(zk::Duration::fromSeconds(1802));
    EXPECT_EQ(whats(), (std::vector<std::string> { "tint on", "sound Tink" }));
    settle();
    EXPECT_EQ(count("hud shown 1802"), 1);
    advanceTo(3.95);
    EXPECT_TRUE(controller().isShowingNotification());
    advanceTo(4.05);
    EXPECT_EQ(whats(),
        (std::vector<std::string> { "tint on", "sound Tink", "hud shown 1802", "hud closed", "tint off" }));
    expectTimes(timesOf("tint off"), { 4.0 });
    EXPECT_EQ(count("shake"), 0);
}

TEST_F(ReminderDeliveryTest, TheTypeReadAfterTheShakesDecidesTheForm)
{
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(1);
    Defaults::set(Keys::notificationType(), NotificationType::systemNotification);
    advanceTo(3);
    EXPECT_EQ(count("notification You have been active for 1 minute"), 1);
    EXPECT_EQ(delivery->currentPopover(), nullptr);
    expectTimes(timesOf("tint off"), { 2.4 });
}

TEST_F(ReminderDeliveryTest, ChangingToHeadsUpDuringTheShakesStillEndsTheTint)
{
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(1);
    Defaults::set(Keys::notificationType(), NotificationType::hud);
    advanceTo(20);
    EXPECT_FALSE(controller().isShowingNotification());
    expectTimes(timesOf("tint off"), { 2.4 });
    EXPECT_EQ(count("hud shown 60"), 0);
    EXPECT_EQ(delivery->currentPopover(), nullptr);
}

TEST_F(ReminderDeliveryTest, ANewReminderTakesOverAShownPopoverAndOnlyItsOwnEndClearsTheTint)
{
    delivery->notify(zk::Duration::fromSeconds(600));
    advanceTo(5);
    QPointer<zk::Tooltip> first = delivery->currentPopover();
    ASSERT_NE(first, nullptr);

    delivery->notify(zk::Duration::fromSeconds(900));
    settle();
    EXPECT_TRUE(first.isNull() || !first->isVisible());
    EXPECT_TRUE(controller().isShowingNotification());

    // The first popover's eight seconds would have ended at 10.4.
    advanceTo(15.35);
    EXPECT_EQ(count("tint off"), 0);
    EXPECT_TRUE(controller().isShowingNotification());
    ASSERT_NE(delivery->currentPopover(), nullptr);
    EXPECT_EQ(
        delivery->currentPopover()->label().text().toStdString(), "You have been active for 15 minutes");

    advanceTo(16);
    expectTimes(timesOf("tint off"), { 15.4 });
    EXPECT_FALSE(controller().isShowingNotification());
}

TEST_F(ReminderDeliveryTest, ANewReminderDuringTheShakesCancelsTheOlderOneBeforeItsSideEffects)
{
    Defaults::set(Keys::notificationSound(), std::optional(zk::MacSystemSound::glass));
    Defaults::set(Keys::notificationType(), NotificationType::menuBarIconOnly);
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(1);
    delivery->notify(zk::Duration::fromSeconds(61));
    advanceTo(10);
    expectTimes(timesOf("sound Glass"), { 3.4 });
    expectTimes(timesOf("tint off"), { 3.4 });
    // Two from the first reminder, four from the second.
    EXPECT_EQ(count("shake"), 6);
    EXPECT_FALSE(controller().isShowingNotification());
}

TEST_F(ReminderDeliveryTest, AHeadsUpTakenOverByAnotherTypeClosesItsWindowsAndLeavesTheTintOn)
{
    Defaults::set(Keys::notificationType(), NotificationType::hud);
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(1);
    Defaults::set(Keys::notificationType(), NotificationType::menuBarIconOnly);
    delivery->notify(zk::Duration::fromSeconds(61));
    settle();
    expectTimes(timesOf("hud closed"), { 1 });
    EXPECT_TRUE(controller().isShowingNotification());
    advanceTo(10);
    expectTimes(timesOf("tint off"), { 3.4 });
    EXPECT_EQ(count("hud closed"), 1);
}

TEST_F(ReminderDeliveryTest, FailingStepsNeverLeaveTheTintOn)
{
    failSound = true;
    Defaults::set(Keys::notificationSound(), std::optional(zk::MacSystemSound::basso));
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(3);
    // The failed sound is skipped; the popover still comes.
    ASSERT_NE(delivery->currentPopover(), nullptr);
    advanceTo(11);
    expectTimes(timesOf("tint off"), { 10.4 });

    // Without a status item there is no popover and nothing to wait for.
    steps.clear();
    delivery->setStatusItem(nullptr);
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(14);
    expectTimes(timesOf("tint off"), { 13.4 });
    EXPECT_FALSE(controller().isShowingNotification());
}

TEST_F(ReminderDeliveryTest, SoundAndScriptOnlyWhenChosen)
{
    Defaults::set(Keys::notificationType(), NotificationType::menuBarIconOnly);
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(3);
    for (const auto& what : whats()) {
        EXPECT_EQ(what.rfind("sound", 0), std::string::npos) << what;
        EXPECT_EQ(what.rfind("shortcut", 0), std::string::npos) << what;
        EXPECT_NE(what, "haptic");
    }

    const auto shortcut = platform::Uuid::random();
    Defaults::set(Keys::notificationRunShortcut(), std::optional(shortcut));
    delivery->notify(zk::Duration::fromSeconds(60));
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(8);
    // Only the reminder that was not taken over reaches its side effects.
    EXPECT_EQ(count("shortcut " + shortcut.uuidString()), 1);
}

TEST_F(ReminderDeliveryTest, HapticFeedbackTicksInTwoSeriesAndStopsWhenCancelled)
{
    Defaults::set(Keys::notificationType(), NotificationType::hud);
    Defaults::set(Keys::notificationHapticFeedback(), true);
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(5);
    // Each series' timer stops on the firing after its seventh tick (0.8 s); the pause of 0.5 s
    // follows that.
    expectTimes(timesOf("haptic"), { 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 1.4, 1.5, 1.6, 1.7, 1.8, 1.9, 2.0 });

    steps.clear();
    auto task = delivery->performHapticFeedback();
    advanceTo(5.35);
    task.cancel();
    advanceTo(10);
    expectTimes(timesOf("haptic"), { 5.1, 5.2, 5.3 });
}

TEST_F(ReminderDeliveryTest, WithoutAHapticDeviceTheSettingRunsNoTimerAtAll)
{
    // Linux desktops have no haptic device: a stored "on" (from another system) must not keep a
    // timer ticking for nothing.
    ReminderDelivery::Services services = fakeServices();
    services.hapticFeedback = {};
    platform::combine::ManualScheduler quiet;
    ReminderDelivery noDevice(controller(), quiet, std::move(services));
    Defaults::set(Keys::notificationHapticFeedback(), true);
    auto task = noDevice.performHapticFeedback();
    processEvents();
    EXPECT_TRUE(task.isFinished());
    EXPECT_EQ(quiet.pendingCount(), 0u);

    Defaults::set(Keys::notificationType(), NotificationType::hud);
    noDevice.notify(zk::Duration::fromSeconds(60));
    processEvents();
    quiet.runPending();
    processEvents();
    // Only the heads-up window's own end is waited for.
    EXPECT_EQ(quiet.pendingCount(), 1u);
    EXPECT_EQ(count("haptic"), 0);
}

TEST_F(ReminderDeliveryTest, AttachedDeliveryReceivesTheEnginesReminders)
{
    Defaults::set(Keys::notificationType(), NotificationType::menuBarIconOnly);
    delivery->attach();
    controller().notify(zk::Duration::fromSeconds(60));
    EXPECT_TRUE(controller().reminderSeam().recordedCalls().empty());
    EXPECT_TRUE(controller().isShowingNotification());
    advanceTo(3);
    EXPECT_FALSE(controller().isShowingNotification());

    // A delivery that is gone no longer takes reminders.
    delivery.reset();
    settle();
    controller().notify(zk::Duration::fromSeconds(60));
    EXPECT_FALSE(controller().isShowingNotification());
}

TEST_F(ReminderDeliveryTest, WhatGoesAwayDuringAReminderIsLeftAlone)
{
    // The status item goes while the shakes run: the popover is skipped and the tint still ends.
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(1);
    statusItem.reset();
    advanceTo(3);
    EXPECT_EQ(delivery->currentPopover(), nullptr);
    EXPECT_EQ(count("tint off"), 1);
    EXPECT_FALSE(controller().isShowingNotification());

    // The delivery goes in the middle of a shaken reminder, of a heads-up one and of a haptic
    // pattern: the waits it left end, and nothing of it runs again.
    Defaults::set(Keys::notificationHapticFeedback(), true);
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(4);
    Defaults::set(Keys::notificationType(), NotificationType::hud);
    delivery->notify(zk::Duration::fromSeconds(60));
    advanceTo(4.2);
    ASSERT_GT(count("haptic"), 0);
    steps.clear();
    delivery.reset();
    advanceTo(20);
    EXPECT_EQ(whats(), std::vector<std::string> {});
}
