#include "app/reminders/ShortcutsApp.h"

#include "app/engine/SettingsKeys.h"
#include "kit/foundation/AlertPresenter.h"
#include "platform/Logger.h"
#include "platform/desktop/ShortcutsFolder.h"
#include "platform/fake/FakeDesktopOpener.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
namespace ShortcutsApp = kiruvo::ShortcutsApp;
namespace Keys = kiruvo::Keys;
using ShortcutsApp::LookupOutcome;

namespace {

// A private XDG_DATA_HOME for each test, so the user's own scripts are never touched.
class ShortcutsAppTest : public ::testing::Test {
protected:
    // The program's in-memory standard suite, empty at the start of every test: the settings keys
    // bind to it at first use.
    static std::shared_ptr<platform::UserDefaults> store() { return platform::UserDefaults::standard(); }

    void SetUp() override
    {
        ASSERT_TRUE(m_dataHome.isValid());
        m_previous = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_dataHome.path().toUtf8());
        desktop.outcome = [this](const platform::fake::FakeDesktopOpener::Request&) { return opens; };
        platform::DesktopOpener::setShared(&desktop);
    }

    void TearDown() override
    {
        platform::DesktopOpener::setShared(nullptr);
        zk::AlertPresenter::shared().setRunModal({});
        qputenv("XDG_DATA_HOME", m_previous);
    }

    fs::path folder() const { return fs::path(m_dataHome.path().toStdString()) / "kiruvo" / "shortcuts"; }

    void writeScript(const std::string& relativePath, const std::string& text, bool executable = true)
    {
        const auto path = folder() / relativePath;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
        fs::permissions(
            path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
    }

    // Whether the user's editor opens what it is given.
    platform::DesktopOpener::Outcome opens = platform::DesktopOpener::Outcome::opened;
    platform::fake::FakeDesktopOpener desktop;

private:
    QTemporaryDir m_dataHome;
    QByteArray m_previous;
};

TEST_F(ShortcutsAppTest, withoutTheFolderThereAreNoShortcutsAndNothingRuns)
{
    EXPECT_FALSE(ShortcutsApp::isAvailable());
    EXPECT_TRUE(QCoro::waitFor(ShortcutsApp::shortcuts()).empty());
    const auto id = platform::ShortcutsFolder::identifier("stretch.sh");
    EXPECT_FALSE(ShortcutsApp::shortcut(id));
    EXPECT_TRUE(QCoro::waitFor(ShortcutsApp::runShortcut(id, std::string("input"))).empty());
}

TEST_F(ShortcutsAppTest, listsTheExecutableScriptsWithStableIdentifiersAndTheirFolders)
{
    writeScript("stretch.sh", "#!/bin/sh\n# stand up\necho stretch\n\necho done\n");
    writeScript("Breaks/walk.py", "#!/usr/bin/env python3\nprint('walk')\n");
    writeScript("notes.txt", "not a script\n", false);
    writeScript(".hidden.sh", "#!/bin/sh\n");
    writeScript(".git/hook.sh", "#!/bin/sh\n");

    const auto shortcuts = QCoro::waitFor(ShortcutsApp::shortcuts());
    ASSERT_EQ(shortcuts.size(), 2u);
    const auto& walk = shortcuts[0];
    const auto& stretch = shortcuts[1];

    EXPECT_EQ(stretch.name, "stretch");
    EXPECT_EQ(stretch.subtitle, "stretch.sh");
    EXPECT_EQ(stretch.id, platform::Uuid::nameBased(platform::Uuid::urlNamespace(), "stretch.sh"));
    EXPECT_EQ(stretch.id.version(), 5);
    EXPECT_FALSE(stretch.folder);
    EXPECT_EQ(stretch.actionCount, 2);
    EXPECT_TRUE(stretch.isInputAccepted);
    EXPECT_EQ(stretch.color.alpha(), 255);

    EXPECT_EQ(walk.name, "walk");
    EXPECT_EQ(walk.subtitle, "Breaks/walk.py");
    ASSERT_TRUE(walk.folder);
    EXPECT_EQ(walk.folder->name, "Breaks");
    EXPECT_EQ(walk.folder->id, platform::Uuid::nameBased(platform::Uuid::urlNamespace(), "Breaks"));
    EXPECT_EQ(walk.id, platform::Uuid::nameBased(platform::Uuid::urlNamespace(), "Breaks/walk.py"));

    // The same files give the same records, and a record is found by its identifier.
    const auto again = QCoro::waitFor(ShortcutsApp::shortcuts());
    EXPECT_EQ(again, shortcuts);
    EXPECT_EQ(std::hash<ShortcutsApp::Shortcut> {}(again[1]), std::hash<ShortcutsApp::Shortcut> {}(stretch));
    EXPECT_EQ(ShortcutsApp::shortcut(walk.id), walk);

    // A renamed script is another shortcut; the old identifier finds nothing.
    fs::rename(folder() / "stretch.sh", folder() / "reach.sh");
    EXPECT_FALSE(ShortcutsApp::shortcut(stretch.id));
}

TEST_F(ShortcutsAppTest, runsAScriptWithItsInputAndAnswersItsOutputLines)
{
    writeScript("echo.sh", "#!/bin/sh\nwhile IFS= read -r line; do echo \"got $line\"; done\necho end\n");
    const auto id = platform::ShortcutsFolder::identifier("echo.sh");

    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::runShortcut(id, std::string("one\ntwo\n"))),
        (std::vector<std::string> { "got one", "got two", "end" }));
    EXPECT_EQ(
        QCoro::waitFor(ShortcutsApp::runShortcut(id, std::nullopt)), (std::vector<std::string> { "end" }))
        << "no input is an empty, closed input";
}

TEST_F(ShortcutsAppTest, aFailingOrUnknownScriptAnswersNothing)
{
    writeScript("fails.sh", "#!/bin/sh\necho partial\nexit 3\n");
    writeScript("silent.sh", "#!/bin/sh\nexit 0\n");
    EXPECT_TRUE(
        QCoro::waitFor(ShortcutsApp::runShortcut(platform::ShortcutsFolder::identifier("fails.sh"), {}))
            .empty());
    EXPECT_TRUE(
        QCoro::waitFor(ShortcutsApp::runShortcut(platform::ShortcutsFolder::identifier("silent.sh"), {}))
            .empty());
    EXPECT_TRUE(QCoro::waitFor(ShortcutsApp::runShortcut(platform::Uuid::random(), {})).empty());
}

TEST_F(ShortcutsAppTest, opensAKnownScriptAndReportsAnUnknownOne)
{
    writeScript("stretch.sh", "#!/bin/sh\n");
    QCoro::waitFor(ShortcutsApp::openShortcut(platform::ShortcutsFolder::identifier("stretch.sh")));
    const QUrl script = QUrl::fromLocalFile(QString::fromStdString((folder() / "stretch.sh").string()));
    EXPECT_EQ(desktop.openedUrls(), std::vector<QUrl> { script });

    platform::LogCapture log;
    QCoro::waitFor(ShortcutsApp::openShortcut(platform::Uuid::random()));
    EXPECT_EQ(desktop.openedUrls().size(), 1u);
    EXPECT_EQ(log.countContaining("Could not find shortcut"), 1);

    // No program for it: the user is told, once the desktop has said so.
    std::vector<std::string> alerts;
    zk::AlertPresenter::shared().setRunModal([&alerts](QMessageBox& alert) {
        alerts.push_back(alert.text().toStdString());
        return 1;
    });
    opens = platform::DesktopOpener::Outcome::failed;
    QCoro::waitFor(ShortcutsApp::openShortcut(platform::ShortcutsFolder::identifier("stretch.sh")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !alerts.empty(); }, 5000));
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the script" });
}

TEST_F(ShortcutsAppTest, createsAnExecutableTemplateBesideTheOthersAndOpensIt)
{
    const auto created = ShortcutsApp::createShortcut();
    ASSERT_TRUE(created);
    EXPECT_EQ(created->subtitle, "New Script.sh");
    EXPECT_TRUE(ShortcutsApp::isAvailable());
    const auto path = folder() / "New Script.sh";
    EXPECT_NE(fs::status(path).permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(desktop.openedUrls(),
        std::vector<QUrl> { QUrl::fromLocalFile(QString::fromStdString(path.string())) });

    // The template runs as it is, and a second one never overwrites the first.
    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::runShortcut(created->id, {})),
        std::vector<std::string> { "Time for a break" });
    const auto second = ShortcutsApp::createShortcut();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->subtitle, "New Script 2.sh");
    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::shortcuts()).size(), 2u);
}

TEST_F(ShortcutsAppTest, theChosenScriptIsClearedOnlyWhenTheReadableFolderNoLongerHasIt)
{
    const auto stretch = platform::ShortcutsFolder::identifier("stretch.sh");
    const auto chosen = [] { return Defaults::get(Keys::notificationRunShortcut()); };
    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::validateChosenShortcut()), std::nullopt) << "nothing chosen";

    // No folder at all (a drive not mounted yet, say): the choice stays.
    Defaults::set(Keys::notificationRunShortcut(), std::optional(stretch));
    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::lookUp(stretch)).outcome, LookupOutcome::unavailable);
    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::validateChosenShortcut()), LookupOutcome::unavailable);
    EXPECT_EQ(chosen(), stretch);

    writeScript("stretch.sh", "#!/bin/sh\n");
    const auto found = QCoro::waitFor(ShortcutsApp::lookUp(stretch));
    EXPECT_EQ(found.outcome, LookupOutcome::found);
    ASSERT_TRUE(found.shortcut);
    EXPECT_EQ(found.shortcut->name, "stretch");
    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::validateChosenShortcut()), LookupOutcome::found);
    EXPECT_EQ(chosen(), stretch);

    // Part of the folder cannot be read: the script may be hiding there, so the choice stays.
    fs::remove(folder() / "stretch.sh");
    writeScript("walk.sh", "#!/bin/sh\n");
    fs::create_symlink(folder() / "loop.sh", folder() / "loop.sh");
    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::validateChosenShortcut()), LookupOutcome::unavailable);
    EXPECT_EQ(chosen(), stretch);
    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::shortcuts()).size(), 1u) << "what can be read is still listed";

    // The whole folder read, and the script is gone: the choice falls back to none.
    fs::remove(folder() / "loop.sh");
    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::validateChosenShortcut()), LookupOutcome::missing);
    EXPECT_EQ(chosen(), std::nullopt);
    EXPECT_FALSE(store()->objectForKey("notificationRunShortcut"));
}

TEST_F(ShortcutsAppTest, anUnreadableFolderKeepsTheChosenScript)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every folder";
    }
    writeScript("stretch.sh", "#!/bin/sh\n");
    const auto stretch = platform::ShortcutsFolder::identifier("stretch.sh");
    Defaults::set(Keys::notificationRunShortcut(), std::optional(stretch));
    fs::permissions(folder(), fs::perms::none);
    EXPECT_EQ(QCoro::waitFor(ShortcutsApp::validateChosenShortcut()), LookupOutcome::unavailable);
    fs::permissions(folder(), fs::perms::owner_all);
    EXPECT_EQ(Defaults::get(Keys::notificationRunShortcut()), stretch);
}

TEST(ShortcutsFolderTest, refusesPathsThatLeaveTheFolder)
{
    QTemporaryDir root;
    platform::ShortcutsFolder folder(root.path().toStdString());
    const auto result = QCoro::waitFor(folder.run("../outside.sh", std::nullopt));
    EXPECT_FALSE(result.succeeded);
    EXPECT_FALSE(folder.resolved("/bin/sh").has_value());
}

} // namespace
