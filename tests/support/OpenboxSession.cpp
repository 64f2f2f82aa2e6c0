#include "OpenboxSession.h"

#include "PrivateXServer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr const char* childVariable = "KIRUVO_OPENBOX_CHILD";
// Long, since a loaded machine (or a sanitizer build) is slow to start, map and stack; each wait
// ends as soon as what it waits for holds.
constexpr int patience = 60000;
constexpr const char* prefix = "openbox child: ";

} // namespace

bool OpenboxSession::isAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty();
}

bool OpenboxSession::isChild()
{
    return !qEnvironmentVariableIsEmpty(childVariable);
}

void OpenboxSession::report(const std::string& line)
{
    std::printf("%s%s\n", prefix, line.c_str());
    std::fflush(stdout);
}

void OpenboxSession::expectCurrentTestReports(const std::vector<std::string>& lines)
{
    const Outcome outcome = runCurrentTest();
    ASSERT_EQ(outcome.failure, "");
    EXPECT_EQ(outcome.lines, lines) << outcome.errors;
}

OpenboxSession::Outcome OpenboxSession::runCurrentTest()
{
    Outcome outcome;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    PrivateXServer server("1024x768");
    if (!test || !server.isRunning()) {
        outcome.failure = "no X server of its own";
        return outcome;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(server.display()));
    QProcess windowManager;
    windowManager.setProcessEnvironment(environment);
    windowManager.start(QStringLiteral("openbox"), { QStringLiteral("--sm-disable") });
    if (!windowManager.waitForStarted(patience) || !server.waitForWindowManager(patience)) {
        outcome.failure = "openbox did not start";
        return outcome;
    }

    QProcess child;
    environment.insert(QString::fromLatin1(childVariable), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--gtest_filter=%1.%2")
                .arg(QString::fromUtf8(test->test_suite_name()), QString::fromUtf8(test->name())) });
    if (!child.waitForStarted(patience)) {
        outcome.failure = "the child did not start";
    } else if (!child.waitForFinished(4 * patience)) {
        outcome.failure = "the child did not end";
        child.kill();
        child.waitForFinished();
    }
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        if (line.startsWith(prefix)) {
            outcome.lines.push_back(line.mid(int(strlen(prefix))).toStdString());
        }
    }
    outcome.errors = child.readAllStandardError().toStdString();
    windowManager.terminate();
    if (!windowManager.waitForFinished(3000)) {
        windowManager.kill();
        windowManager.waitForFinished();
    }
    return outcome;
}
