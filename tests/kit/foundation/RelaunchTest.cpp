#include "kit/foundation/Relaunch.h"

#include "kit/foundation/ZKApp.h"
#include "libraries/defaults/Defaults.h"
#include "platform/ErrorReporter.h"
#include "platform/store/DefaultsDatabase.h"

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

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

} // namespace
