#include "platform/Logger.h"

#include "platform/fake/FakeClock.h"

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
    platform::log(LogLevel::Warning, "store", "The database was moved aside.");
    platform::log(LogLevel::Error, "store", "Second");
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_EQ(output, "kiruvo[store] warning: The database was moved aside.\nkiruvo[store] error: Second\n");
}

TEST_F(LoggerTest, DebugLinesReachStandardErrorOnlyInDebugMode)
{
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Debug, "session", "hidden");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    DebugLog::setEnabled(true);
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Debug, "session", "shown");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "kiruvo[session] debug: shown\n");
}

TEST_F(LoggerTest, DisabledDebugLogStaysEmpty)
{
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Info, "general", "not kept");
    testing::internal::GetCapturedStderr();
    DebugLog::append("not kept either");
    EXPECT_TRUE(DebugLog::entries().empty());
}

TEST_F(LoggerTest, EnabledDebugLogKeepsMessagesWithUtcTimestamp)
{
    DebugLog::setEnabled(true);
    EXPECT_TRUE(DebugLog::isEnabled());
    testing::internal::CaptureStderr();
    platform::log(LogLevel::Info, "general", "An ordinary line is not kept");
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
    platform::log(LogLevel::Info, "general", "before");
    std::optional<LogCapture> outer(std::in_place);
    {
        LogCapture inner;
        platform::log(LogLevel::Debug, "general", "hidden debug line");
        platform::log(LogLevel::Error, "general", "failed twice");
        EXPECT_EQ(inner.messages(), (std::vector<std::string> { "hidden debug line", "failed twice" }));
    }
    platform::log(LogLevel::Warning, "general", "failed again");
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
        platform::log(LogLevel::Error, "LoggerTest", "Nobody reads this");
    }
    std::fprintf(stderr, "nor this\n");

    std::fflush(stderr);
    ::dup2(savedError, STDERR_FILENO);
    ::close(savedError);
    std::clearerr(stderr);
    platform::log(LogLevel::Info, "LoggerTest", "Standard error is back");
    SUCCEED();
}
