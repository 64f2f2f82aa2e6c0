#include "SeparateTestProcess.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

constexpr const char* aloneVariable = "KIRUVO_TEST_RUNNING_ALONE";
constexpr int childTimeoutMilliseconds = 120000;

} // namespace

void SeparateTestProcess::runCurrentTest()
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    ASSERT_NE(test, nullptr);
    QProcess child;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(aloneVariable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--gtest_filter=%1.%2")
                .arg(QString::fromUtf8(test->test_suite_name()), QString::fromUtf8(test->name())) });
    if (!child.waitForFinished(childTimeoutMilliseconds)) {
        child.kill();
        child.waitForFinished();
        FAIL() << "the test program of its own did not end: " << child.readAll().toStdString();
    }
    const QByteArray output = child.readAll();
    EXPECT_TRUE(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
        && output.contains("[  PASSED  ] 1 test.") && !output.contains("[  SKIPPED ]"))
        << "in a test program of its own: " << output.toStdString();
}

bool SeparateTestProcess::isRunningAlone()
{
    // ctest runs each test in a program of its own, too.
    return !qEnvironmentVariableIsEmpty(aloneVariable)
        || ::testing::UnitTest::GetInstance()->test_to_run_count() == 1;
}
