#include "app/reminders/SystemNotificationReminder.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/SettingsWindowOpener.h"
#include "platform/DetachedProcess.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/fake/FakeNotificationCenter.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using kiruvo::SystemNotificationReminder;
using platform::fake::FakeNotificationCenter;
using Kind = FakeNotificationCenter::Call::Kind;

namespace {

struct ShownAlert {
    std::string title;
    std::string message;
    std::vector<std::string> buttons;
};

// Answers every alert with `response` and keeps what it showed.
class AlertAnswers {
public:
    explicit AlertAnswers(int response)
    {
        zk::AlertPresenter::shared().setRunModal([this, response](QMessageBox& alert) {
            ShownAlert shown { alert.text().toStdString(), alert.informativeText().toStdString(), {} };
            for (auto* button : zk::alertButtons(alert)) {
                shown.buttons.push_back(button->text().toStdString());
            }
            alerts.push_back(shown);
            return response;
        });
    }
    ~AlertAnswers() { zk::AlertPresenter::shared().setRunModal({}); }

    std::vector<ShownAlert> alerts;
};

// Records the helper programs started instead of starting them.
class StartedPrograms {
public:
    StartedPrograms()
    {
        platform::DetachedProcess::setStarterForTesting(
            [this](const std::string& program, const std::vector<std::string>& arguments) {
                std::vector<std::string> command { program };
                command.insert(command.end(), arguments.begin(), arguments.end());
                commands.push_back(command);
                return true;
            });
    }
    ~StartedPrograms() { platform::DetachedProcess::setStarterForTesting({}); }

    std::vector<std::vector<std::string>> commands;
};

std::vector<Kind> kinds(const FakeNotificationCenter& center)
{
    std::vector<Kind> result;
    for (const auto& call : center.calls()) {
        result.push_back(call.kind);
    }
    return result;
}

TEST(SystemNotificationReminderTest, removesThePreviousReminderAndPostsTheNewOneHalfASecondLater)
{
    FakeNotificationCenter center;
    platform::combine::ManualScheduler scheduler;
    SystemNotificationReminder reminder(center, scheduler);

    auto first = reminder.show("You have been active for 30 minutes");
    scheduler.advance(0.5);
    QCoro::waitFor(first);
    ASSERT_EQ(center.shownSummaries(), std::vector<std::string> { "You have been active for 30 minutes" });

    auto second = reminder.show("You have been active for 1 hour");
    EXPECT_EQ((kinds(center)),
        (std::vector<Kind> { Kind::requestAuthorization, Kind::removeAllDelivered, Kind::post,
            Kind::requestAuthorization, Kind::removeAllDelivered }));
    EXPECT_TRUE(center.shownSummaries().empty()) << "the old reminder goes before the pause";

    scheduler.advance(0.49);
    EXPECT_EQ(center.calls().size(), 5u) << "nothing is posted before the half second has passed";
    scheduler.advance(0.01);
    QCoro::waitFor(second);
    ASSERT_EQ(center.calls().size(), 6u);
    EXPECT_EQ(center.calls().back().kind, Kind::post);
    EXPECT_EQ(center.calls().back().summary, "You have been active for 1 hour");
    EXPECT_EQ(center.calls().back().urgency, platform::NotificationCenter::Urgency::normal);
    EXPECT_EQ(center.shownSummaries(), std::vector<std::string> { "You have been active for 1 hour" });
}

TEST(SystemNotificationReminderTest, aCancelledPauseStillPostsTheReminder)
{
    FakeNotificationCenter center;
    platform::combine::ManualScheduler scheduler;
    SystemNotificationReminder reminder(center, scheduler);
    std::stop_source stop;

    auto task = reminder.show("You have been active for 5 minutes", stop.get_token());
    stop.request_stop();
    scheduler.runPending();
    QCoro::waitFor(task);
    EXPECT_EQ(center.shownSummaries(), std::vector<std::string> { "You have been active for 5 minutes" });
}

// Sets XDG_CURRENT_DESKTOP for the life of the object.
class CurrentDesktop {
public:
    explicit CurrentDesktop(const char* name)
        : m_previous(qgetenv("XDG_CURRENT_DESKTOP"))
        , m_wasSet(qEnvironmentVariableIsSet("XDG_CURRENT_DESKTOP"))
    {
        set(name);
    }
    ~CurrentDesktop()
    {
        if (m_wasSet) {
            qputenv("XDG_CURRENT_DESKTOP", m_previous);
        } else {
            qunsetenv("XDG_CURRENT_DESKTOP");
        }
    }
    static void set(const char* name) { qputenv("XDG_CURRENT_DESKTOP", name); }

private:
    QByteArray m_previous;
    bool m_wasSet;
};

TEST(SystemNotificationReminderTest, refusedPermissionShowsTheAlertEveryTimeAndPostsNothing)
{
    CurrentDesktop desktop("KDE");
    FakeNotificationCenter center;
    center.grantsAuthorization = false;
    platform::combine::ManualScheduler scheduler;
    SystemNotificationReminder reminder(center, scheduler);
    AlertAnswers answers(2); // "Ignore"
    StartedPrograms started;
    int settingsOpened = 0;
    QObject::connect(
        &reminder, &SystemNotificationReminder::settingsWindowRequested, [&] { ++settingsOpened; });

    QCoro::waitFor(reminder.show("You have been active for 30 minutes"));
    QCoro::waitFor(reminder.show("You have been active for 60 minutes"));
    QCoreApplication::processEvents();

    EXPECT_EQ(
        (kinds(center)), (std::vector<Kind> { Kind::requestAuthorization, Kind::requestAuthorization }));
    ASSERT_EQ(answers.alerts.size(), 2u);
    for (const auto& alert : answers.alerts) {
        // The words speak of this system: no service answers, and a daemon is what to install.
        EXPECT_EQ(alert.title, "Kiruvo cannot show a notification.");
        EXPECT_EQ(alert.message,
            "No notification service answers on this desktop. Install and start a notification daemon "
            "(the desktop's own, or one such as dunst or mako), or choose another kind of reminder in "
            "the Kiruvo settings.");
        EXPECT_EQ(alert.buttons,
            (std::vector<std::string> { "Open System Settings", "Open Kiruvo Settings", "Ignore" }));
    }
    EXPECT_TRUE(started.commands.empty());
    EXPECT_EQ(settingsOpened, 0);
}

TEST(SystemNotificationReminderTest, theAlertButtonsOpenTheDesktopsSettingsOrKiruvos)
{
    FakeNotificationCenter center;
    center.grantsAuthorization = false;
    platform::combine::ManualScheduler scheduler;
    SystemNotificationReminder reminder(center, scheduler);
    StartedPrograms started;
    int settingsOpened = 0;
    QObject::connect(
        &reminder, &SystemNotificationReminder::settingsWindowRequested, [&] { ++settingsOpened; });
    CurrentDesktop desktop("ubuntu:GNOME");
    {
        AlertAnswers answers(0);
        QCoro::waitFor(reminder.show("x"));
    }
    EXPECT_EQ(started.commands,
        (std::vector<std::vector<std::string>> { { "gnome-control-center", "notifications" } }));
    EXPECT_EQ(settingsOpened, 0);

    // A desktop whose settings are not known gets no button that would do nothing.
    CurrentDesktop::set("XFCE");
    {
        AlertAnswers answers(1); // "Ignore"
        QCoro::waitFor(reminder.show("x"));
        ASSERT_EQ(answers.alerts.size(), 1u);
        EXPECT_EQ(answers.alerts[0].buttons, (std::vector<std::string> { "Open Kiruvo Settings", "Ignore" }));
    }
    EXPECT_EQ(started.commands.size(), 1u);
    QCoreApplication::processEvents();
    EXPECT_EQ(settingsOpened, 0);

    {
        AlertAnswers answers(0); // "Open Kiruvo Settings"
        QCoro::waitFor(reminder.show("x"));
        EXPECT_EQ(settingsOpened, 0) << "the Settings window opens from the main queue, after the alert";
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_EQ(started.commands.size(), 1u);
}

TEST(SystemNotificationReminderTest, openKiruvoSettingsUsesTheApplicationsSettingsWindowByDefault)
{
    FakeNotificationCenter center;
    center.grantsAuthorization = false;
    platform::combine::ManualScheduler scheduler;
    SystemNotificationReminder reminder(center, scheduler);
    int settingsOpened = 0;
    zk::SettingsWindowOpener::setOpener([&] { ++settingsOpened; });
    CurrentDesktop desktop("KDE");
    {
        AlertAnswers answers(1);
        QCoro::waitFor(reminder.show("x"));
        QCoreApplication::processEvents();
    }
    zk::SettingsWindowOpener::setOpener({});
    EXPECT_EQ(settingsOpened, 1);
}

TEST(SystemNotificationReminderTest, aFailedPostIsShownAsAnError)
{
    FakeNotificationCenter center;
    center.failPostsWithErrorName = "org.freedesktop.Notifications.Error.Excess";
    platform::combine::ManualScheduler scheduler;
    SystemNotificationReminder reminder(center, scheduler);
    AlertAnswers answers(0);

    auto task = reminder.show("You have been active for 30 minutes");
    scheduler.advance(0.5);
    QCoro::waitFor(task);

    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_EQ(answers.alerts[0].title, "The reminder notification could not be shown.");
    EXPECT_EQ(answers.alerts[0].message, "The notification could not be shown.");
}

} // namespace
