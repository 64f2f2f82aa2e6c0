#include "kit/foundation/core/Duration.h"
#include "kit/foundation/core/DurationBridges.h"

#include "platform/fake/FakeClock.h"
#include "platform/store/JsonWriter.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <unordered_set>
#include <vector>

using zk::Duration;

TEST(DurationTest, UnitsMultiplyTheirRawValues)
{
    EXPECT_EQ(Duration::nanoseconds(5).seconds, 5 * 1e-9);
    EXPECT_EQ(Duration::microseconds(3.0).seconds, 3.0 * 1e-6);
    EXPECT_EQ(Duration::milliseconds(250).seconds, 0.25);
    EXPECT_EQ(Duration::fromSeconds(7).seconds, 7);
    EXPECT_EQ(Duration::minutes(10).seconds, 600);
    EXPECT_EQ(Duration::hours(1.5).seconds, 5400);
    EXPECT_EQ(Duration::days(1).seconds, 86400);
    EXPECT_EQ(Duration::weeks(2).seconds, 1209600);
    EXPECT_EQ(Duration::of(3, Duration::Unit::hours).seconds, 10800);
    EXPECT_DOUBLE_EQ(Duration::minutes(90).in(Duration::Unit::hours), 1.5);
}

TEST(DurationTest, UnitFromRawValueAcceptsOnlyExactValues)
{
    EXPECT_EQ(Duration::unitFromRawValue(60), Duration::Unit::minutes);
    EXPECT_EQ(Duration::unitFromRawValue(1e-9), Duration::Unit::nanoseconds);
    EXPECT_EQ(Duration::unitFromRawValue(604800), Duration::Unit::weeks);
    EXPECT_FALSE(Duration::unitFromRawValue(61));
    EXPECT_FALSE(Duration::unitFromRawValue(0.0010000001));
    EXPECT_FALSE(Duration::unitFromRawValue(std::nan("")));
}

TEST(DurationTest, ArithmeticAndSum)
{
    Duration d = Duration::minutes(1);
    d += Duration::fromSeconds(30);
    EXPECT_EQ(d.seconds, 90);
    d -= Duration::fromSeconds(100);
    EXPECT_EQ(d.seconds, -10);
    EXPECT_EQ((Duration::hours(1) - Duration::minutes(15)).seconds, 2700);
    EXPECT_EQ(zk::sum(std::vector<Duration> {}), Duration::zero());
    EXPECT_EQ(zk::sum(std::vector<Duration> { Duration::minutes(1), Duration::fromSeconds(5) }).seconds, 65);
    EXPECT_EQ(&Duration::zero(), &Duration::zero());
}

TEST(DurationTest, ComparisonFollowsIeeeAndNegations)
{
    const Duration nan { std::nan("") };
    EXPECT_FALSE(nan == nan);
    EXPECT_TRUE(Duration::fromSeconds(1) < Duration::fromSeconds(2));
    EXPECT_TRUE(Duration::fromSeconds(2) >= Duration::fromSeconds(2));
    // `<=` is "not greater", so a NaN is at most anything.
    EXPECT_TRUE(nan <= Duration::fromSeconds(1));
    EXPECT_FALSE(nan < Duration::fromSeconds(1));
}

TEST(DurationTest, NegativeZeroEqualsAndHashesLikeZero)
{
    const Duration positive { 0.0 };
    const Duration negative { -0.0 };
    EXPECT_EQ(positive, negative);
    EXPECT_EQ(std::hash<Duration> {}(positive), std::hash<Duration> {}(negative));
    std::unordered_set<Duration> set { positive };
    EXPECT_TRUE(set.contains(negative));
}

TEST(DurationTest, EncodesAsOneBareNumber)
{
    platform::JsonValue json = Duration::minutes(10);
    EXPECT_EQ(platform::JsonWriter::write(json), "600");
    EXPECT_EQ(platform::JsonWriter::write(platform::JsonValue(Duration::milliseconds(1500))), "1.5");
    // As the defaults library stores it: a one-element array without its brackets.
    const std::string stored
        = platform::JsonWriter::write(platform::JsonValue::array({ Duration::minutes(10) })).value();
    EXPECT_EQ(stored.substr(1, stored.size() - 2), "600");

    EXPECT_EQ(platform::JsonValue(600).get<Duration>().seconds, 600);
    EXPECT_EQ(platform::JsonValue::parse("[180.5]")[0].get<Duration>().seconds, 180.5);
    EXPECT_EQ(platform::JsonValue(-3).get<Duration>().seconds, -3);
}

TEST(DurationTest, DecodingRefusesAnythingButANumber)
{
    EXPECT_THROW(platform::JsonValue("600").get<Duration>(), platform::JsonValue::type_error);
    EXPECT_THROW(platform::JsonValue(true).get<Duration>(), platform::JsonValue::type_error);
    EXPECT_THROW(platform::JsonValue(nullptr).get<Duration>(), platform::JsonValue::type_error);
    EXPECT_THROW(
        platform::JsonValue::parse(R"({"seconds":600})").get<Duration>(), platform::JsonValue::type_error);
}

TEST(DurationTest, NonFiniteDurationIsNotWritten)
{
    EXPECT_FALSE(platform::JsonWriter::write(platform::JsonValue(Duration { INFINITY })));
}

TEST(DurationTest, IntegerConversionsTruncateAndSaturate)
{
    EXPECT_EQ(Duration::fromSeconds(1.5).wholeNanoseconds(), 1500000000);
    EXPECT_EQ(Duration::fromSeconds(-1.9).wholeSeconds(), -1);
    EXPECT_EQ(Duration::milliseconds(2.7).wholeMilliseconds(), 2);
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(Duration { INFINITY }.wholeNanoseconds(), max);
    EXPECT_EQ(Duration { -INFINITY }.wholeNanoseconds(), min);
    EXPECT_EQ(Duration { std::nan("") }.wholeNanoseconds(), 0);
    EXPECT_EQ(Duration::weeks(1e6).wholeNanoseconds(), max); // ~19,000 years
    EXPECT_EQ(Duration { 1e300 }.wholeSeconds(), max);
    EXPECT_EQ(Duration { 0x1p63 }.wholeSeconds(), max);
    EXPECT_EQ(Duration { -0x1p63 }.wholeSeconds(), min);
    EXPECT_EQ(Duration { INFINITY }.toChronoMilliseconds().count(), max);

    EXPECT_EQ(Duration::fromSeconds(2).timerMilliseconds(), 2000);
    EXPECT_EQ(Duration::fromSeconds(-2).timerMilliseconds(), 0);
    EXPECT_EQ(Duration { std::nan("") }.timerMilliseconds(), 0);
    EXPECT_EQ(Duration::days(100).timerMilliseconds(), std::numeric_limits<int>::max());
}

TEST(DurationTest, ChronoAndDateBridges)
{
    EXPECT_EQ(Duration::fromChrono(std::chrono::milliseconds(250)).seconds, 0.25);
    EXPECT_EQ(Duration::fromChrono(std::chrono::hours(2)).seconds, 7200);
    EXPECT_EQ(Duration::days(1).sinceUnixEpoch().unixTime(), 86400);
    EXPECT_EQ(Duration::minutes(1).sinceReferenceDate().timeIntervalSinceReferenceDate, 60);
    EXPECT_EQ(Duration::fromSeconds(5).after(platform::Date(100)).timeIntervalSinceReferenceDate, 105);
    platform::fake::ScopedFakeClock fake(platform::Date(1000));
    EXPECT_EQ(Duration::minutes(1).fromNow().timeIntervalSinceReferenceDate, 1060);
}

TEST(DurationTest, RandomStaysInTheClosedRange)
{
    const Duration bound = Duration::fromSeconds(42);
    EXPECT_EQ(Duration::random(bound, bound), bound);
    std::mt19937_64 generator(7);
    for (int i = 0; i < 1000; ++i) {
        const Duration d = Duration::random(Duration::fromSeconds(-1), Duration::fromSeconds(1), generator);
        EXPECT_GE(d.seconds, -1);
        EXPECT_LE(d.seconds, 1);
    }
}

TEST(DurationTest, DescriptionIsReadable)
{
    EXPECT_EQ(Duration::minutes(10).description(), "600 s");
    EXPECT_EQ(Duration::milliseconds(1500).description(), "1.5 s");
    EXPECT_EQ(Duration { INFINITY }.description(), "inf s");
}

TEST(DurationBridgesTest, DispatchIntervalsBothWaysAndTimers)
{
    const auto interval = zk::toDispatchTimeInterval(zk::Duration::fromSeconds(1.5));
    EXPECT_EQ(interval, zk::DispatchTimeInterval::nanoseconds(1'500'000'000));
    EXPECT_EQ(zk::durationFrom(zk::DispatchTimeInterval::milliseconds(250)).seconds, 0.25);
    EXPECT_TRUE(std::isinf(zk::durationFrom(zk::DispatchTimeInterval::never()).seconds));
    EXPECT_THROW(zk::toDispatchTimeInterval(zk::Duration::fromSeconds(1e12)), std::overflow_error);
    EXPECT_THROW(zk::toDispatchTimeInterval(zk::Duration::fromSeconds(std::nan(""))), std::overflow_error);

    int fired = 0;
    auto timer = zk::makeTimer(zk::Duration::fromSeconds(2.5), true, [&] { ++fired; });
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(timer->interval(), 2500);
    EXPECT_FALSE(timer->isSingleShot());
    auto immediate = zk::makeTimer(zk::Duration::fromSeconds(0), false, [&] { ++fired; });
    immediate->start();
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(zk::makeTimer(zk::Duration::fromSeconds(-1), false, [] {})->isSingleShot());
    EXPECT_EQ(zk::makeTimer(zk::Duration::fromSeconds(-1), false, [] {})->interval(), 0);
}

TEST(DurationBridgesTest, AURLRequestGivesUpAfterTheDuration)
{
    const QUrl url("https://example.com/feedback");
    const QNetworkRequest request = zk::makeURLRequest(url, zk::Duration::fromSeconds(1.5));
    EXPECT_EQ(request.url(), url);
    EXPECT_EQ(request.transferTimeout(), 1500);
    EXPECT_EQ(zk::timeoutInterval(request), zk::Duration::fromSeconds(1.5));
    EXPECT_EQ(request.attribute(QNetworkRequest::CacheLoadControlAttribute).toInt(),
        int(QNetworkRequest::PreferNetwork));
    EXPECT_EQ(zk::makeURLRequest(url, zk::Duration::minutes(1), QNetworkRequest::AlwaysNetwork)
                  .attribute(QNetworkRequest::CacheLoadControlAttribute)
                  .toInt(),
        int(QNetworkRequest::AlwaysNetwork));

    // A short positive length still times out; Qt's 0 would mean never.
    EXPECT_EQ(zk::makeURLRequest(url, zk::Duration::fromSeconds(0.0004)).transferTimeout(), 1);
    EXPECT_EQ(zk::makeURLRequest(url, zk::Duration::fromSeconds(-5)).transferTimeout(), 0);
    EXPECT_EQ(zk::makeURLRequest(url, zk::Duration::fromSeconds(std::nan(""))).transferTimeout(), 0);
    EXPECT_EQ(
        zk::makeURLRequest(url, zk::Duration::weeks(10)).transferTimeout(), std::numeric_limits<int>::max());
}
