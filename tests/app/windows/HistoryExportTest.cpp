#include "app/SessionEngineFixture.h"

#include "app/windows/HistoryExport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kiruvo;

namespace {

class HistoryExportTest : public SessionEngineTest {
protected:
    // Newest first, as the engine keeps them: one across the European change to summer time, one
    // across the American one, with a fraction of a second that the export drops.
    std::vector<Session> twoZones()
    {
        return { session(at("Europe/Oslo", 2024, 3, 31, 1, 30), at("Europe/Oslo", 2024, 3, 31, 3, 30)),
            session(at("America/New_York", 2024, 3, 10, 1, 15),
                at("America/New_York", 2024, 3, 10, 3, 45).addingTimeInterval(0.9), "America/New_York") };
    }

    static std::string text(const QByteArray& bytes) { return bytes.toStdString(); }
};

} // namespace

TEST_F(HistoryExportTest, CSVHasTheHeaderAndOneQuotedLineBySessionInItsOwnZone)
{
    EXPECT_EQ(text(HistoryExport::csvData(twoZones())),
        "\"Duration\",\"Start\",\"End\"\n"
        "\"3600\",\"2024-03-31T01:30:00+01:00\",\"2024-03-31T03:30:00+02:00\"\n"
        "\"5400\",\"2024-03-10T01:15:00-05:00\",\"2024-03-10T03:45:00-04:00\"");
}

TEST_F(HistoryExportTest, JSONIsAPrettyArrayOfRecordsInStoredOrder)
{
    EXPECT_EQ(text(HistoryExport::jsonData(twoZones())),
        "[\n"
        "  {\n"
        "    \"duration\" : 3600,\n"
        "    \"start\" : \"2024-03-31T01:30:00+01:00\",\n"
        "    \"end\" : \"2024-03-31T03:30:00+02:00\"\n"
        "  },\n"
        "  {\n"
        "    \"duration\" : 5400,\n"
        "    \"start\" : \"2024-03-10T01:15:00-05:00\",\n"
        "    \"end\" : \"2024-03-10T03:45:00-04:00\"\n"
        "  }\n"
        "]");
}

TEST_F(HistoryExportTest, AnEmptyHistoryIsTheHeaderAloneAnEmptyArrayAndTheBareName)
{
    EXPECT_EQ(text(HistoryExport::csvData({})), "\"Duration\",\"Start\",\"End\"");
    EXPECT_EQ(text(HistoryExport::jsonData({})), "[]");
    EXPECT_EQ(HistoryExport::exportFilename(controller()), "Kiruvo Sessions ");
}

TEST_F(HistoryExportTest, DurationsDropTheirFraction)
{
    const auto start = oslo(2024, 5, 15, 9);
    const auto record = HistoryExport::exportRecord(session(start, start.addingTimeInterval(180.6)));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->duration, 180);
    EXPECT_EQ(record->start, "2024-05-15T09:00:00+02:00");
    EXPECT_EQ(record->end, "2024-05-15T09:03:00+02:00");
}

TEST_F(HistoryExportTest, TheFileNameSpansTheHistoryInTheCurrentZone)
{
    controller().setAllSessions(twoZones());
    EXPECT_EQ(HistoryExport::exportFilename(controller()), "Kiruvo Sessions 2024-03-10--2024-03-31");

    // Recorded in Los Angeles on the evening of the 14th, which is the 15th in Oslo: the records
    // keep their own zone, the name uses the current one.
    const auto start = at("America/Los_Angeles", 2024, 5, 14, 20);
    const auto single = session(start, start.addingTimeInterval(3600), "America/Los_Angeles");
    controller().setAllSessions({ single });
    EXPECT_EQ(HistoryExport::exportFilename(controller()), "Kiruvo Sessions 2024-05-15--2024-05-15");
    EXPECT_EQ(HistoryExport::exportRecord(single)->start, "2024-05-14T20:00:00-07:00");
}

TEST_F(HistoryExportTest, TwoExportsInARowSeeASessionStoredInBetween)
{
    controller().setAllSessions(twoZones());
    const auto before = HistoryExport::csvData(controller().allSessions());
    controller().setEnabled(true);
    fake.clock.advance(600);
    controller().stop(false);
    const auto after = HistoryExport::csvData(controller().allSessions());
    EXPECT_EQ(after.count('\n'), before.count('\n') + 1);
    EXPECT_TRUE(after.contains("\"600\",\"2024-05-15T12:00:00+02:00\",\"2024-05-15T12:10:00+02:00\""));
}

TEST_F(HistoryExportTest, ASessionTooLongToWriteNeverStopsTheExport)
{
    auto sessions = twoZones();
    sessions.insert(sessions.begin() + 1,
        *Session::make(platform::Uuid::random(), platform::Date(-1.5e308), platform::Date(1.5e308),
            platform::TimeZone::utc()));
    const auto csv = text(HistoryExport::csvData(sessions));
    const auto json = text(HistoryExport::jsonData(sessions));
    // The other sessions are all there; the long one is written with the longest duration or,
    // when its dates have no text, left out.
    EXPECT_NE(csv.find("\"3600\",\"2024-03-31T01:30:00+01:00\""), std::string::npos);
    EXPECT_NE(csv.find("\"5400\",\"2024-03-10T01:15:00-05:00\""), std::string::npos);
    EXPECT_NE(json.find("\"duration\" : 5400"), std::string::npos);
    if (const auto record = HistoryExport::exportRecord(sessions[1])) {
        EXPECT_EQ(record->duration, std::numeric_limits<std::int64_t>::max());
        EXPECT_NE(csv.find("\"9223372036854775807\""), std::string::npos);
    } else {
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2);
    }
}
