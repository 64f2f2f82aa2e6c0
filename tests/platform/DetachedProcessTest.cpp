#include "platform/DetachedProcess.h"
#include "support/ApplicationSignals.h"
#include "support/TryWithTimeout.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include <sys/wait.h>

using platform::DetachedProcess;

TEST(DetachedProcessTest, AProgramStartsInItsFolderWithTheSignalsOfANewProcessAndIsNoChildOfThisOne)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    std::optional<pid_t> pid;
    {
        const ApplicationSignals applicationSignals;
        // Written where the program runs.
        pid = DetachedProcess::launch(QStringLiteral("sh"),
            { QStringLiteral("-c"), copyOwnSignalStatusCommand(QStringLiteral("status")) }, folder.path());
    }
    ASSERT_TRUE(pid.has_value());
    const QString status = folder.filePath(QStringLiteral("status"));
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(SignalMasks::readFrom(status).has_value(), 10000);
    EXPECT_EQ(SignalMasks::readFrom(status), SignalMasks {}) << "nothing ignored, blocked or caught";
    // No child of this process, which would have to wait for it.
    EXPECT_EQ(::waitpid(*pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(DetachedProcessTest, AProgramThatCannotStartIsAnsweredWithTheReason)
{
    QString error;
    EXPECT_FALSE(DetachedProcess::launch(QStringLiteral("kiruvo-test-no-such-program"), {}, {}, &error));
    EXPECT_EQ(error, QStringLiteral("No such file or directory"));
    EXPECT_FALSE(
        DetachedProcess::launch(QStringLiteral("sh"), {}, QStringLiteral("/nonexistent/folder"), &error));
}
