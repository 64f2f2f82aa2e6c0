#include "kit/foundation/MakeCSV.h"

#include "kit/foundation/Sorting.h"
#include "platform/ErrorReporter.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

class MakeCSVTest : public ::testing::Test {
protected:
    void SetUp() override { platform::ErrorReporter::setShared(&reporter); }
    void TearDown() override { platform::ErrorReporter::setShared(nullptr); }

    int mismatchReports() const
    {
        int count = 0;
        std::ifstream file(reporter.reportsPath());
        for (std::string line; std::getline(file, line);) {
            count
                += line.find("The header column count must match the row column count.") != std::string::npos;
        }
        return count;
    }

    QTemporaryDir folder;
    platform::ErrorReporter reporter { folder.path().toStdString() };
};

} // namespace

TEST_F(MakeCSVTest, QuotesEveryFieldAndDoublesQuotesInside)
{
    EXPECT_EQ(zk::makeCSV({ "a", "b" }, { { "1", "x\"y" } }), "\"a\",\"b\"\n\"1\",\"x\"\"y\"");
    EXPECT_EQ(mismatchReports(), 0);
}

TEST_F(MakeCSVTest, CommasLineFeedsAndOtherTextStayInsideTheQuotes)
{
    EXPECT_EQ(zk::makeCSV({ "Note" }, { { "a, b" }, { "line\nbreak" }, { " Ærø \"1\" " } }),
        "\"Note\"\n\"a, b\"\n\"line\nbreak\"\n\" Ærø \"\"1\"\" \"");
}

TEST_F(MakeCSVTest, HeaderAndRowsMayEachBeEmpty)
{
    EXPECT_EQ(zk::makeCSV({}, {}), "");
    EXPECT_EQ(zk::makeCSV({}, { { "1" }, { "2", "3" } }), "\"1\"\n\"2\",\"3\"");
    EXPECT_EQ(zk::makeCSV({ "Duration", "Start", "End" }, {}), "\"Duration\",\"Start\",\"End\"");
    EXPECT_EQ(mismatchReports(), 0);
}

TEST_F(MakeCSVTest, ARowOfAnotherWidthIsReportedAndWrittenAsItIs)
{
    EXPECT_EQ(zk::makeCSV({ "a", "b" }, { {}, { "1", "2", "3" }, { "4", "5" } }),
        "\"a\",\"b\"\n\n\"1\",\"2\",\"3\"\n\"4\",\"5\"");
    EXPECT_EQ(mismatchReports(), 2);
}

namespace {

struct Range {
    double lowerBound;
};
struct Stub {
    Range range;
    int tag;
    Range dateRange() const { return range; }
};

} // namespace

TEST(SessionsByStartDescending, PutsTheLatestStartFirstAndKeepsTiesInOrder)
{
    std::vector<Stub> sessions { { { 10 }, 1 }, { { 30 }, 2 }, { { 20 }, 3 }, { { 30 }, 4 }, { { 10 }, 5 } };
    std::stable_sort(sessions.begin(), sessions.end(), zk::sessionsByStartDescending);
    std::vector<int> tags;
    for (const auto& session : sessions) {
        tags.push_back(session.tag);
    }
    EXPECT_EQ(tags, (std::vector<int> { 2, 4, 3, 1, 5 }));
}
