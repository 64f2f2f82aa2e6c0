#include "app/engine/Session.h"

#include "platform/fake/FakeClock.h"
#include "platform/store/JsonWriter.h"
#include "platform/time/Locale.h"

#include <gtest/gtest.h>

#include <limits>
#include <unordered_set>

using kiruvo::Session;
using platform::Date;
using platform::TimeZone;
using platform::Uuid;

namespace {

const Uuid sampleId = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
const TimeZone oslo = *TimeZone::withIdentifier("Europe/Oslo");

Date unix(double seconds)
{
    return Date::fromUnixTime(seconds);
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::Locale::setCurrentForTesting(platform::Locale("en_US"));
        TimeZone::setCurrentForTesting(oslo);
    }
    void TearDown() override
    {
        platform::Locale::setCurrentForTesting(std::nullopt);
        TimeZone::setCurrentForTesting(std::nullopt);
    }
};

} // namespace

TEST_F(SessionTest, StoredTextIsExact)
{
    const auto session = Session::make(sampleId, Date(700000000), Date(700003600.5), oslo);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->jsonText(),
        "{\"id\":\"E621E1F8-C36C-495A-93FC-0C247A3E6E5F\",\"dateRange\":[700000000,"
        "700003600.5],\"timeZone\":{\"identifier\":\"Europe\\/Oslo\"}}");

    const auto utcSession = Session::make(Uuid(), Date(-0.25), Date(1e-3), TimeZone::utc());
    EXPECT_EQ(utcSession->jsonText(),
        "{\"id\":\"00000000-0000-0000-0000-000000000000\",\"dateRange\":[-0.25,"
        "0.001],\"timeZone\":{\"identifier\":\"GMT\"}}");
}

TEST_F(SessionTest, TextRoundTripsToAnEqualSession)
{
    const auto session = *Session::make(Uuid::random(), Date(726136200.125), Date(726141600), oslo);
    const auto decoded = Session::fromJsonText(session.jsonText());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, session);
    EXPECT_EQ(std::hash<Session>()(*decoded), std::hash<Session>()(session));
}

TEST_F(SessionTest, DecodingIsLenientOnlyWhereStoredDataMayDiffer)
{
    // Lower-case ids from other writers, integral dates, further keys and elements are read.
    const auto decoded = Session::fromJsonText(
        R"({"timeZone":{"identifier":"America/New_York","abbr":"EST"},"dateRange":[10,20,30],)"
        R"("id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","extra":true})");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->id(), sampleId);
    EXPECT_EQ(decoded->dateRange().lowerBound, Date(10));
    EXPECT_EQ(decoded->dateRange().upperBound, Date(20));
    EXPECT_EQ(decoded->timeZone().identifier(), "America/New_York");
    // Written back in the one canonical form.
    EXPECT_EQ(decoded->jsonText(),
        "{\"id\":\"E621E1F8-C36C-495A-93FC-0C247A3E6E5F\",\"dateRange\":[10,20],"
        "\"timeZone\":{\"identifier\":\"America\\/New_York\"}}");
}

TEST_F(SessionTest, DecodingRefusesBrokenSessions)
{
    const char* id = R"("id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F")";
    const char* zone = R"("timeZone":{"identifier":"Europe/Oslo"})";
    auto text = [&](std::string idPart, std::string rangePart, std::string zonePart) {
        std::string out = "{";
        for (const auto& part : { idPart, rangePart, zonePart }) {
            if (!part.empty()) {
                out += (out.size() > 1 ? "," : "") + part;
            }
        }
        return out + "}";
    };
    const std::string good = text(id, R"("dateRange":[1,2])", zone);
    ASSERT_TRUE(Session::fromJsonText(good));

    const std::string broken[] = {
        text("", R"("dateRange":[1,2])", zone), // no id
        text(id, "", zone), // no range
        text(id, R"("dateRange":[1,2])", ""), // no zone
        text(R"("id":"{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}")", R"("dateRange":[1,2])", zone),
        text(R"("id":42)", R"("dateRange":[1,2])", zone), // id of the wrong kind
        text(id, R"("dateRange":[2,1])", zone), // start after end
        text(id, R"("dateRange":[1])", zone), // one date
        text(id, R"("dateRange":[1,"2"])", zone), // a date as text
        text(id, R"("dateRange":[true,2])", zone), // a date as Boolean
        text(id, R"("dateRange":[1,null])", zone), // null for NaN
        text(id, R"("dateRange":[1,1e400])", zone), // overflows to infinity
        text(id, R"("dateRange":[-1e400,1])", zone),
        text(id, R"("dateRange":{"a":1,"b":2})", zone),
        text(id, R"("dateRange":[1,2])", R"("timeZone":{"identifier":"Mars/Olympus"})"),
        text(id, R"("dateRange":[1,2])", R"("timeZone":"Europe/Oslo")"),
        text(id, R"("dateRange":[1,2])", R"("timeZone":{})"),
        "[" + good + "]",
        good + "x",
        "",
    };
    for (const auto& candidate : broken) {
        EXPECT_FALSE(Session::fromJsonText(candidate)) << candidate;
    }

    // A JSON value built in code may hold NaN where text cannot.
    platform::JsonValue json;
    to_json(json, *Session::fromJsonText(good));
    json["dateRange"][1] = std::numeric_limits<double>::quiet_NaN();
    Session out;
    EXPECT_THROW(from_json(json, out), std::invalid_argument);
}

TEST_F(SessionTest, NonFiniteOrReversedSpansAreRefusedWhenBuilt)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(Session::make(sampleId, Date(nan), Date(1), oslo));
    EXPECT_FALSE(Session::make(sampleId, Date(1), Date(inf), oslo));
    EXPECT_FALSE(Session::make(sampleId, Date(-inf), Date(1), oslo));
    EXPECT_FALSE(Session::make(sampleId, Date(2), Date(1), oslo));
    EXPECT_TRUE(Session::make(sampleId, Date(1), Date(1), oslo));

    auto session = *Session::make(sampleId, Date(1), Date(2), oslo);
    EXPECT_FALSE(session.setDateRange({ Date(1), Date(nan) }));
    EXPECT_FALSE(session.setDateRange({ Date(5), Date(4) }));
    EXPECT_EQ(session.dateRange().upperBound, Date(2));
    EXPECT_TRUE(session.setDateRange({ Date(5), Date(6) }));
    EXPECT_EQ(session.duration(), 1);
}

TEST_F(SessionTest, EqualityLooksAtEveryField)
{
    const auto a = *Session::make(sampleId, Date(1), Date(2), oslo);
    auto b = a;
    EXPECT_EQ(a, b);
    b.setDateRange({ Date(1), Date(3) });
    EXPECT_FALSE(a == b);
    EXPECT_EQ(a.id(), b.id());
    b = a;
    b.setTimeZone(*TimeZone::withIdentifier("Europe/Berlin"));
    EXPECT_FALSE(a == b);
    std::unordered_set<Session> set { a, a, b };
    EXPECT_EQ(set.size(), 2u);
}

TEST_F(SessionTest, DateRangeStringShowsTimesOnlyForToday)
{
    // Now: 2024-01-05 13:00 in Oslo.
    platform::fake::ScopedFakeClock clock(unix(1704456000));
    const auto today = *Session::make(sampleId, unix(1704441600), unix(1704447000), oslo); // 09:00–10:30
    EXPECT_EQ(today.dateRangeString(), "9:00\u2009\u2013\u200910:30\u202FAM");

    const auto yesterday = *Session::make(sampleId, unix(1704441600 - 86400), unix(1704447000 - 86400), oslo);
    EXPECT_EQ(yesterday.dateRangeString(), "1/4/24, 9:00\u2009\u2013\u200910:30\u202FAM");

    // 23:30 yesterday to 00:30 today: not today's, so with dates.
    const auto overnight = *Session::make(sampleId, unix(1704407400), unix(1704411000), oslo);
    EXPECT_EQ(overnight.dateRangeString(), "1/4/24, 11:30\u202FPM\u2009\u2013\u20091/5/24, 12:30\u202FAM");

    // Recorded in Tokyo, 8 hours ahead in winter: shown with Tokyo's clock, judged by Tokyo's day.
    const auto tokyo = *TimeZone::withIdentifier("Asia/Tokyo");
    const auto inTokyo = *Session::make(sampleId, unix(1704441600), unix(1704447000), tokyo); // 17:00–18:30
    EXPECT_EQ(inTokyo.dateRangeString(), "5:00\u2009\u2013\u20096:30\u202FPM");
    clock.clock.advance(11 * 3600); // 00:00 in Oslo, 08:00 of the 6th in Tokyo
    EXPECT_EQ(inTokyo.dateRangeString(), "1/5/24, 5:00\u2009\u2013\u20096:30\u202FPM");
}
