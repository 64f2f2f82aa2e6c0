#include "platform/Logger.h"

#include "platform/fake/FakeClock.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <thread>
#include <unistd.h>

using platform::DebugLog;
using platform::LogCapture;
using platform::LogLevel;

namespace {

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DebugLog::setEnabled(false);
        DebugLog::clear();
    }
    void TearDown() override
    {
        QLoggingCategory::setFilterRules(QString());
        DebugLog::setEnabled(false);
        DebugLog::clear();
    }
    // 2024-03-01 12:34:56 UTC.
    platform::fake::ScopedFakeClock clock { platform::Date::fromUnixTime(1709296496.0) };
};

} // namespace

TEST_F(LoggerTest, WritesOneLineToStandardErrorWithCategoryAndLevel)
{
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Warning, platform::lcStore(), "The database was moved aside.");
    platform::log(LogLevel::Error, platform::lcStore(), "Second");
    platform::log(LogLevel::Info, platform::lcIdle(), "Third");
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_EQ(output,
        "kiruvo.store warning: The database was moved aside.\n"
        "kiruvo.store error: Second\n"
        "kiruvo.idle info: Third\n");
}

TEST_F(LoggerTest, DebugLinesReachStandardErrorOnlyInDebugMode)
{
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Debug, platform::lcEngine(), "hidden");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    DebugLog::setEnabled(true);
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Debug, platform::lcEngine(), "shown");
    platform::log(LogLevel::Debug, platform::lcTray(), "shown too");
    EXPECT_EQ(
        testing::internal::GetCapturedStderr(), "kiruvo.engine debug: shown\nkiruvo.tray debug: shown too\n");
}

TEST_F(LoggerTest, LoggingRulesTurnOnTheDebugLinesOfOneCategoryAlone)
{
    QLoggingCategory::setFilterRules(QStringLiteral("kiruvo.idle.debug=true"));
    LogCapture capture;
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Debug, platform::lcIdle(), "Asked the compositor");
    platform::log(LogLevel::Debug, platform::lcStore(), "Opened the database");
    platform::log(LogLevel::Info, platform::lcStore(), "The database is free");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
        "kiruvo.idle debug: Asked the compositor\nkiruvo.store info: The database is free\n");
    // Tests see every line, shown or not.
    EXPECT_EQ(capture.messages(),
        (std::vector<std::string> { "Asked the compositor", "Opened the database", "The database is free" }));

    QLoggingCategory::setFilterRules(QString());
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Debug, platform::lcIdle(), "Asked again");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(capture.countContaining("Asked again"), 1);
}

// As a user starts it: the rules come from the environment, read when the first category is made.
TEST_F(LoggerTest, TheEnvironmentsLoggingRulesHoldFromTheStart)
{
    const char* childVariable = "KIRUVO_LOGGER_TEST_CHILD";
    if (qEnvironmentVariableIsSet(childVariable)) {
        platform::log(LogLevel::Debug, platform::lcIdle(), "Idle debug line");
        platform::log(LogLevel::Debug, platform::lcStore(), "Store debug line");
        return;
    }
    QProcess child;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(childVariable), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kiruvo.idle.debug=true"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--gtest_filter=LoggerTest.TheEnvironmentsLoggingRulesHoldFromTheStart") });
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray written = child.readAllStandardError();
    EXPECT_TRUE(written.contains("kiruvo.idle debug: Idle debug line\n")) << written.toStdString();
    EXPECT_FALSE(written.contains("Store debug line")) << written.toStdString();
    EXPECT_EQ(child.exitCode(), 0);
}

TEST_F(LoggerTest, LoggingRulesSilenceOneCategoryWithoutLosingItsLinesForCaptures)
{
    QLoggingCategory::setFilterRules(QStringLiteral("kiruvo.tray=false"));
    DebugLog::setEnabled(true);
    LogCapture capture;
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Warning, platform::lcTray(), "No tray");
    platform::log(LogLevel::Error, platform::lcTray(), "No icon");
    platform::log(LogLevel::Warning, platform::lcEngine(), "History not stored");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "kiruvo.engine warning: History not stored\n");
    EXPECT_EQ(capture.countContaining("No "), 2);
}

TEST_F(LoggerTest, DisabledDebugLogStaysEmpty)
{
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Info, platform::lcCore(), "not kept");
    testing::internal::GetCapturedStderr();
    DebugLog::append("not kept either");
    EXPECT_TRUE(DebugLog::entries().empty());
}

TEST_F(LoggerTest, EnabledDebugLogKeepsMessagesWithUtcTimestamp)
{
    DebugLog::setEnabled(true);
    EXPECT_TRUE(DebugLog::isEnabled());
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Info, platform::lcCore(), "An ordinary line is not kept");
    testing::internal::GetCapturedStderr();
    DebugLog::append("Session started");
    DebugLog::append("\"quoted\" 42");
    auto entries = DebugLog::entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], "Session started\t2024-03-01 12:34:56 +0000\n");
    EXPECT_EQ(entries[1], "\"quoted\" 42\t2024-03-01 12:34:56 +0000\n");

    DebugLog::clear();
    EXPECT_TRUE(DebugLog::entries().empty());
}

TEST_F(LoggerTest, CapturesKeepEveryLevelForTheirOwnLife)
{
    DebugLog::setEnabled(true);
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Info, platform::lcCore(), "before");
    std::optional<LogCapture> outer(std::in_place);
    {
        LogCapture inner;
        platform::log(LogLevel::Debug, platform::lcCore(), "hidden debug line");
        platform::log(LogLevel::Error, platform::lcCore(), "failed twice");
        EXPECT_EQ(inner.messages(), (std::vector<std::string> { "hidden debug line", "failed twice" }));
    }
    platform::log(LogLevel::Warning, platform::lcCore(), "failed again");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(outer->countContaining("failed"), 2);
    EXPECT_EQ(outer->countContaining("before"), 0);
    outer.reset();
    EXPECT_TRUE(DebugLog::entries().empty());
}

TEST_F(LoggerTest, FullLogDropsTheOldestEntry)
{
    DebugLog::setEnabled(true);
    for (std::size_t i = 1; i <= DebugLog::maxCount + 1; ++i) {
        DebugLog::append(std::to_string(i));
    }
    auto entries = DebugLog::entries();
    ASSERT_EQ(entries.size(), DebugLog::maxCount);
    EXPECT_EQ(entries.front().substr(0, entries.front().find('\t')), "2");
    EXPECT_EQ(entries.back().substr(0, entries.back().find('\t')), std::to_string(DebugLog::maxCount + 1));
}

TEST_F(LoggerTest, ConcurrentWritersLoseNothingBelowTheBound)
{
    DebugLog::setEnabled(true);
    constexpr int threads = 8;
    constexpr int perThread = 500;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i) {
                DebugLog::append(std::to_string(t) + ":" + std::to_string(i));
                if (i % 50 == 0) {
                    (void)DebugLog::entries();
                }
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    auto entries = DebugLog::entries();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(threads * perThread));
    // Each thread's own entries keep their order.
    std::vector<int> next(threads, 0);
    for (const auto& entry : entries) {
        auto colon = entry.find(':');
        int t = std::stoi(entry.substr(0, colon));
        int i = std::stoi(entry.substr(colon + 1, entry.find('\t') - colon - 1));
        EXPECT_EQ(i, next[t]);
        next[t] = i + 1;
    }
}

TEST_F(LoggerTest, LoggingToAStandardErrorWhoseReaderHasGoneFailsQuietly)
{
    platform::ignoreBrokenPipes();
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::fflush(stderr);
    const int savedError = ::dup(STDERR_FILENO);
    ASSERT_GE(savedError, 0);
    ::dup2(ends[1], STDERR_FILENO);
    ::close(ends[1]);
    ::close(ends[0]);

    // Without the signal ignored, the first of these ends the process.
    for (int i = 0; i < 3; ++i) {
        platform::log(LogLevel::Error, platform::lcCore(), "Nobody reads this");
    }
    std::fprintf(stderr, "nor this\n");

    std::fflush(stderr);
    ::dup2(savedError, STDERR_FILENO);
    ::close(savedError);
    std::clearerr(stderr);
    platform::log(LogLevel::Info, platform::lcCore(), "Standard error is back");
    SUCCEED();
}
