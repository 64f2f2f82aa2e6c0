#include "kit/foundation/SystemSettings.h"

#include "kit/foundation/AlertPresenter.h"
#include "platform/DetachedProcess.h"

#include <QMessageBox>

#include <QByteArray>
#include <QCoreApplication>
#include <gtest/gtest.h>

using zk::SystemSettingsCommand;
namespace Pane = zk::SystemSettingsPane;

namespace {

TEST(SystemSettings, NotificationsPaneOfGnomeAndKde)
{
    EXPECT_EQ(zk::systemSettingsCommand(Pane::notifications, "GNOME"),
        (SystemSettingsCommand { "gnome-control-center", "notifications" }));
    EXPECT_EQ(zk::systemSettingsCommand(Pane::notifications, "ubuntu:GNOME"),
        (SystemSettingsCommand { "gnome-control-center", "notifications" }));
    EXPECT_EQ(zk::systemSettingsCommand(Pane::notifications, "KDE"),
        (SystemSettingsCommand { "systemsettings", "kcm_notifications" }));
    EXPECT_EQ(zk::systemSettingsCommand(Pane::notifications, "XFCE"), std::nullopt);
    EXPECT_EQ(zk::systemSettingsCommand(Pane::notifications, ""), std::nullopt);
    EXPECT_EQ(zk::systemSettingsCommand(Pane::notifications, "GNOME-Flashback:Unity"), std::nullopt);
    EXPECT_EQ(zk::systemSettingsCommand("no such pane", "GNOME"), std::nullopt);
}

TEST(SystemSettings, OpensOnlyAKnownPaneOfAKnownDesktop)
{
    const QByteArray previous = qgetenv("XDG_CURRENT_DESKTOP");
    std::vector<SystemSettingsCommand> started;
    platform::DetachedProcess::setStarterForTesting(
        [&started](const std::string& program, const std::vector<std::string>& arguments) {
            SystemSettingsCommand command { program };
            command.insert(command.end(), arguments.begin(), arguments.end());
            started.push_back(command);
            return true;
        });

    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    EXPECT_TRUE(zk::openSystemSettingsPane(Pane::notifications));
    // A pane identifier that names nothing is refused, not opened somewhere else.
    EXPECT_FALSE(zk::openSystemSettingsPane("com.apple.preference.notifications"));
    qputenv("XDG_CURRENT_DESKTOP", "XFCE");
    EXPECT_FALSE(zk::openSystemSettingsPane(Pane::notifications));

    platform::DetachedProcess::setStarterForTesting({});
    qputenv("XDG_CURRENT_DESKTOP", previous);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], (SystemSettingsCommand { "systemsettings", "kcm_notifications" }));
}

TEST(SystemSettings, ADesktopWhoseSettingsAreUnknownIsToldWhereToLook)
{
    const QByteArray previous = qgetenv("XDG_CURRENT_DESKTOP");
    std::vector<std::string> alerts;
    zk::AlertPresenter::shared().setRunModal([&alerts](QMessageBox& alert) {
        alerts.push_back(alert.text().toStdString() + " | " + alert.informativeText().toStdString());
        return 0;
    });
    int starts = 0;
    platform::DetachedProcess::setStarterForTesting(
        [&starts](const std::string&, const std::vector<std::string>&) {
            ++starts;
            return true;
        });

    qputenv("XDG_CURRENT_DESKTOP", "XFCE");
    EXPECT_FALSE(zk::openSystemSettingsPaneOrTell(Pane::notifications));
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    EXPECT_TRUE(zk::openSystemSettingsPaneOrTell(Pane::notifications));
    for (int turn = 0; turn < 5; ++turn) {
        QCoreApplication::processEvents();
    }

    platform::DetachedProcess::setStarterForTesting({});
    zk::AlertPresenter::shared().setRunModal({});
    qputenv("XDG_CURRENT_DESKTOP", previous);
    EXPECT_EQ(starts, 1);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("Could not open the notifications settings"), std::string::npos) << alerts[0];
    EXPECT_NE(alerts[0].find("look for Notifications"), std::string::npos) << alerts[0];
}

} // namespace
