#include "app/reminders/AutomationPermission.h"

#include "app/reminders/ShortcutsApp.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using kiruvo::automationPermissionStatus;
using Status = kiruvo::Permissions::Automation::Status;

namespace {

TEST(AutomationPermissionTest, theShortcutsServiceIsAuthorizedExactlyWhenItsFolderCanBeRead)
{
    QTemporaryDir dataHome;
    const QByteArray previous = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    const std::string target = kiruvo::ShortcutsApp::eventsAgentBundleIdentifier;

    EXPECT_EQ(QCoro::waitFor(automationPermissionStatus(target, false)), Status::notRunning);
    EXPECT_EQ(QCoro::waitFor(automationPermissionStatus(target, true)), Status::notRunning);

    const fs::path folder = fs::path(dataHome.path().toStdString()) / "kiruvo" / "shortcuts";
    fs::create_directories(folder);
    EXPECT_EQ(QCoro::waitFor(automationPermissionStatus(target, true)), Status::authorized);

    if (::geteuid() != 0) { // root reads every folder
        fs::permissions(folder, fs::perms::none);
        EXPECT_EQ(QCoro::waitFor(automationPermissionStatus(target, false)), Status::notRunning);
        fs::permissions(folder, fs::perms::owner_all);
    }

    EXPECT_EQ(QCoro::waitFor(automationPermissionStatus("org.example.Other", true)), Status::notRunning);
    qputenv("XDG_DATA_HOME", previous);
}

} // namespace
