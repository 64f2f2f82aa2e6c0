#include "kit/foundation/Relaunch.h"

#include "kit/foundation/ZKApp.h"
#include "libraries/defaults/Defaults.h"
#include "platform/ErrorReporter.h"
#include "platform/fake/FakeClock.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/time/Date.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::UserDefaults;

class RelaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::ErrorReporter::setShared(&reporter);
        zk::RelaunchEnvironment environment;
        environment.quit = [this] { ++quits; };
        environment.exitImmediately = [this] { ++exits; };
        // No installed application unless a test puts one there.
        environment.applicationEntry = [](const std::string&) { return std::optional<QString>(); };
        environment.presentError = [this](zk::ErrorPtr error) -> QCoro::Task<> {
            shown.push_back(error->localizedDescription());
            co_return;
        };
        zk::RelaunchEnvironment::shared() = environment;
        zk::ZKApp::isShowingSettingsAfterRelaunch().reset();
    }
    void TearDown() override
    {
        zk::RelaunchEnvironment::shared() = {};
        platform::ErrorReporter::setShared(nullptr);
        zk::ZKApp::isShowingSettingsAfterRelaunch().reset();
    }

    std::size_t reportCount() const
    {
        std::ifstream file(reporter.reportsPath());
        std::size_t lines = 0;
        for (std::string line; std::getline(file, line);) {
            ++lines;
        }
        return lines;
    }

    QTemporaryDir directory;
    platform::ErrorReporter reporter { directory.path().toStdString() };
    int quits = 0;
    int exits = 0;
    std::vector<std::string> shown;
};

TEST_F(RelaunchTest, AFailedStartIsReportedAndShownAndOnlyAnImmediateExitStillEnds)
{
    zk::RelaunchEnvironment::shared().executablePath = directory.filePath("no-such-kiruvo");

    for (bool exitImmediately : { false, true }) {
        shown.clear();
        const std::size_t reportsBefore = reportCount();
        auto task = zk::relaunchApp(exitImmediately, true);
        const bool started = QCoro::waitFor(task);

        EXPECT_FALSE(started);
        EXPECT_EQ(quits, 0);
        // Asked to end at once, the process ends after the user was told; otherwise it runs on.
        EXPECT_EQ(exits, exitImmediately ? 1 : 0);
        EXPECT_EQ(shown, std::vector<std::string> { "Could not restart Kiruvo." });
        EXPECT_EQ(reportCount(), reportsBefore + 1);
        // No new instance will read the request, so it is withdrawn.
        EXPECT_FALSE(Defaults::get(zk::ZKApp::isShowingSettingsAfterRelaunch()));
    }
}

TEST_F(RelaunchTest, AStartedInstanceWaitsForTheLockAndThisOneEnds)
{
    QString program;
    QStringList arguments;
    zk::RelaunchEnvironment::shared().startDetached = [&](const QString& p, const QStringList& a, QString&) {
        program = p;
        arguments = a;
        return true;
    };

    auto normal = zk::relaunchApp(false, false);
    EXPECT_TRUE(QCoro::waitFor(normal));
    EXPECT_EQ(program.toStdString(), zk::ZKApp::url());
    EXPECT_EQ(arguments, QStringList { "--wait-for-instance-lock" });
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(exits, 0);
    EXPECT_FALSE(Defaults::get(zk::ZKApp::isShowingSettingsAfterRelaunch()));

    auto immediate = zk::relaunchApp(true, true);
    EXPECT_TRUE(QCoro::waitFor(immediate));
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(exits, 1);
    EXPECT_TRUE(Defaults::get(zk::ZKApp::isShowingSettingsAfterRelaunch()));
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(reportCount(), 0u);
}

// The desktop entry of an installed Kiruvo whose program lives elsewhere.
QString writeEntry(const QTemporaryDir& directory, const QByteArray& exec)
{
    const QString path = directory.filePath("com.zelvantorium.Kiruvo.desktop");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Kiruvo\nExec=" + exec + "\n");
    return path;
}

TEST_F(RelaunchTest, WhenThisExecutableCannotStartTheInstalledApplicationIsTried)
{
    const QString entry = writeEntry(directory, "\"/opt/kiruvo 2/kiruvo\" --verbose %U");
    zk::RelaunchEnvironment::shared().applicationEntry = [&](const std::string& identifier) {
        EXPECT_EQ(identifier, "com.zelvantorium.Kiruvo");
        return std::optional<QString>(entry);
    };
    std::vector<std::pair<QString, QStringList>> starts;
    zk::RelaunchEnvironment::shared().startDetached
        = [&](const QString& p, const QStringList& a, QString& error) {
              starts.emplace_back(p, a);
              error = "No such file or directory";
              return starts.size() == 2;
          };

    auto task = zk::relaunchApp(false, true);
    EXPECT_TRUE(QCoro::waitFor(task));
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].first.toStdString(), zk::ZKApp::url());
    EXPECT_EQ(starts[1].first, "/opt/kiruvo 2/kiruvo");
    EXPECT_EQ(starts[1].second, (QStringList { "--verbose", "--wait-for-instance-lock" }));
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(Defaults::get(zk::ZKApp::isShowingSettingsAfterRelaunch()));
}

TEST_F(RelaunchTest, WhenTheInstalledApplicationFailsTooTheSecondFailureIsShown)
{
    const QString entry = writeEntry(directory, "kiruvo-installed");
    zk::RelaunchEnvironment::shared().applicationEntry
        = [&](const std::string&) { return std::optional<QString>(entry); };
    int tries = 0;
    zk::RelaunchEnvironment::shared().startDetached
        = [&](const QString&, const QStringList&, QString& error) {
              error = ++tries == 1 ? "first failure" : "second failure";
              return false;
          };
    auto task = zk::relaunchApp(true, false);
    EXPECT_FALSE(QCoro::waitFor(task));
    EXPECT_EQ(tries, 2);
    EXPECT_EQ(shown, std::vector<std::string> { "Could not restart Kiruvo." });
    EXPECT_EQ(exits, 1);
    std::ifstream file(reporter.reportsPath());
    const std::string reports((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(reports.find("second failure"), std::string::npos);
    EXPECT_NE(reports.find("kiruvo-installed"), std::string::npos);
}

TEST(DesktopEntryCommandTest, TheExecLineWithoutFieldCodes)
{
    QTemporaryDir directory;
    EXPECT_EQ(zk::desktopEntryCommand(writeEntry(directory, "kiruvo %u --flag %%done %F")),
        (QStringList { "kiruvo", "--flag", "%done" }));
    EXPECT_EQ(zk::desktopEntryCommand(writeEntry(directory, "%U")), std::nullopt);
    EXPECT_EQ(zk::desktopEntryCommand(directory.filePath("missing.desktop")), std::nullopt);
}

TEST(DesktopEntryCommandTest, AnEntryThatIsNoRegularFileIsNotWaitedFor)
{
    // A FIFO put in place of the entry: opened as a plain file it would wait for a writer for good.
    QTemporaryDir directory;
    const QString fifo = directory.filePath(QStringLiteral("kiruvo.desktop"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    auto command = std::async(std::launch::async, [&fifo] { return zk::desktopEntryCommand(fifo); });
    const bool answered = command.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!answered) {
        // Lets the blocked reader go.
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
        }
    }
    EXPECT_TRUE(answered);
    EXPECT_EQ(command.get(), std::nullopt);

    // Nor one larger than any entry.
    QFile huge(directory.filePath(QStringLiteral("huge.desktop")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write("[Desktop Entry]\nExec=kiruvo\n");
    huge.write(QByteArray(2 * 1024 * 1024, '#'));
    huge.close();
    EXPECT_EQ(zk::desktopEntryCommand(huge.fileName()), std::nullopt);
}

TEST(InstalledApplicationEntryTest, FoundInTheApplicationsFolderAndLookedUpOncePerSecond)
{
    platform::fake::FakeClock clock;
    platform::Clock::setShared(&clock);
    QTemporaryDir data;
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    const QByteArray dirsBefore = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    qputenv("XDG_DATA_DIRS", data.filePath("none").toLocal8Bit());
    const std::string identifier = "com.zelvantorium.KiruvoTest";
    EXPECT_EQ(zk::installedApplicationEntry(identifier), std::nullopt);
    QDir(data.path()).mkpath("applications");
    const QString path = data.filePath("applications/com.zelvantorium.KiruvoTest.desktop");
    QFile(path).open(QIODevice::WriteOnly);
    // Within the second the earlier answer stands.
    clock.advance(0.5);
    EXPECT_EQ(zk::installedApplicationEntry(identifier), std::nullopt);
    clock.advance(0.6);
    EXPECT_EQ(zk::installedApplicationEntry(identifier), path);
    for (const auto& [name, value] :
        { std::pair { "XDG_DATA_HOME", before }, std::pair { "XDG_DATA_DIRS", dirsBefore } }) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    }
    platform::Clock::setShared(nullptr);
}

} // namespace
