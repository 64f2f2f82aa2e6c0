#include "app/SessionEngineFixture.h"

#include <functional>
#include <thread>

using kiruvo::Session;
using kiruvo::SessionController;
using platform::PropertyList;

namespace {

// The history is decoded on another thread at start-up. Whatever order the worker, the questions
// and the changes of "sessions" come in, the engine answers what a direct decode of the stored
// value at that moment gives, and decodes one stored value once.
class HistoryDecodeTest : public SessionEngineTest {
protected:
    // The work handed to the "other thread", run when the test says.
    kiruvo::SessionHistory::BackgroundRunner heldRunner()
    {
        return [this](std::function<void()> work) { held.push_back(std::move(work)); };
    }
    void runHeldWorkOnAThread()
    {
        for (auto& work : held) {
            std::thread(std::move(work)).join();
        }
        held.clear();
    }

    void countDecodedSignals()
    {
        QObject::connect(&controller(), &SessionController::historyDecoded, [this] { ++decodedSignals; });
    }

    // Sessions in three zones, one of them yesterday, and an entry that does not decode.
    std::vector<Session> storeHistory()
    {
        std::vector<Session> sessions { session(oslo(2024, 5, 15, 10), oslo(2024, 5, 15, 11)),
            session(oslo(2024, 5, 15, 7), oslo(2024, 5, 15, 8), "America/New_York"),
            session(oslo(2024, 5, 14, 22), oslo(2024, 5, 15, 1), "Asia/Kolkata") };
        platform::PropertyListArray entries;
        for (const auto& stored : sessions) {
            entries.emplace_back(stored.jsonText());
        }
        entries.emplace_back(std::string("{\"id\": \"not a session\"}"));
        storeRaw(entries);
        return sessions;
    }

    std::vector<Session> decodedByAnotherEngine()
    {
        SessionController other;
        return other.allSessions();
    }

    std::vector<std::function<void()>> held;
    int decodedSignals = 0;
};

} // namespace

TEST_F(HistoryDecodeTest, TheHistoryDecodedInTheBackgroundIsTheOneADirectDecodeGives)
{
    const auto stored = storeHistory();
    controller().history().decodeInBackground(heldRunner());
    countDecodedSignals();
    EXPECT_TRUE(controller().isDecodingHistory());
    const auto decodes = kiruvo::SessionHistory::decodeCount();

    runHeldWorkOnAThread();
    EXPECT_EQ(kiruvo::SessionHistory::decodeCount(), decodes + 1);
    // Put in place on the main thread.
    EXPECT_EQ(decodedSignals, 0);
    processEvents();
    EXPECT_EQ(decodedSignals, 1);
    EXPECT_FALSE(controller().isDecodingHistory());

    EXPECT_EQ(controller().allSessions(), stored);
    EXPECT_DOUBLE_EQ(controller().totalDurationForSessionsAtDay(oslo(2024, 5, 15, 12)).seconds, 3 * 3600);
    // The entry that does not decode is reported once and kept by the next write.
    EXPECT_EQ(reportsContaining("A stored session could not be read"), 1);
    controller().setAllSessions({ stored[0] });
    EXPECT_EQ(storedEntries().size(), 2u);
    EXPECT_EQ(reportsContaining("A stored session could not be read"), 1);
    storeHistory();
    EXPECT_EQ(controller().allSessions(), decodedByAnotherEngine());
}

TEST_F(HistoryDecodeTest, AChangeOfTheHistoryDuringTheDecodeWinsWhateverTheOrder)
{
    const Session later = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 9, 30));
    const auto writeLaterFromAnotherThread
        = [&] { std::thread([&] { storeRaw({ PropertyList(later.jsonText()) }); }).join(); };
    // The change is seen before the worker begins, or after it has read the old list, or while its
    // result waits to be put in place.
    for (int order = 0; order < 3; ++order) {
        SCOPED_TRACE(order);
        m_controller.reset();
        storeHistory();
        controller().history().decodeInBackground(heldRunner());
        if (order == 0) {
            storeRaw({ PropertyList(later.jsonText()) });
            EXPECT_FALSE(controller().isDecodingHistory());
            runHeldWorkOnAThread();
        } else if (order == 1) {
            runHeldWorkOnAThread();
            writeLaterFromAnotherThread();
        } else {
            runHeldWorkOnAThread();
            processEvents();
            writeLaterFromAnotherThread();
        }
        processEvents();
        EXPECT_FALSE(controller().isDecodingHistory());
        EXPECT_EQ(controller().allSessions(), std::vector<Session> { later });
        EXPECT_DOUBLE_EQ(controller().totalDurationForSessionsAtDay(oslo(2024, 5, 15, 12)).seconds, 30 * 60);
    }
}

TEST_F(HistoryDecodeTest, OurOwnWriteDuringTheDecodeIsNotUndoneByIt)
{
    storeHistory();
    controller().history().decodeInBackground(heldRunner());
    countDecodedSignals();
    controller().removeAllSessions();
    // Nobody waits for the dropped decode any longer.
    EXPECT_EQ(decodedSignals, 1);
    runHeldWorkOnAThread();
    processEvents();
    EXPECT_TRUE(controller().allSessions().empty());
    EXPECT_TRUE(storedEntries().empty());
    EXPECT_EQ(decodedSignals, 1);
}

TEST_F(HistoryDecodeTest, AQuestionBeforeTheDecodeIsDoneGetsTheWholeHistoryDecodedOnce)
{
    const auto stored = storeHistory();
    const auto decodes = kiruvo::SessionHistory::decodeCount();
    controller().history().decodeInBackground(heldRunner());
    countDecodedSignals();

    // The worker has not begun: the question decodes on its own thread, and the worker finds it done.
    EXPECT_EQ(controller().allSessions(), stored);
    EXPECT_FALSE(controller().isDecodingHistory());
    runHeldWorkOnAThread();
    processEvents();
    EXPECT_EQ(kiruvo::SessionHistory::decodeCount(), decodes + 1);
    EXPECT_EQ(decodedSignals, 1);

    // The worker is at it while the question comes: one of them decodes, the other waits.
    m_controller.reset();
    const auto before = kiruvo::SessionHistory::decodeCount();
    std::function<void()> work;
    controller().history().decodeInBackground(
        [&](std::function<void()> started) { work = std::move(started); });
    std::thread worker(work);
    EXPECT_EQ(controller().allSessions(), stored);
    worker.join();
    processEvents();
    EXPECT_EQ(kiruvo::SessionHistory::decodeCount(), before + 1);
    EXPECT_EQ(controller().allSessions(), stored);
    EXPECT_EQ(kiruvo::SessionHistory::decodeCount(), before + 1);
}

TEST_F(HistoryDecodeTest, AStopBeforeTheDecodeIsDoneKeepsTheStoredHistory)
{
    const auto stored = storeHistory();
    controller().setEnabled(true);
    controller().history().decodeInBackground(heldRunner());
    fake.clock.advance(20 * 60);
    controller().stop(false);

    ASSERT_EQ(controller().allSessions().size(), stored.size() + 1);
    // The stored sessions, the new one, and the entry that does not decode are all in the store.
    EXPECT_EQ(storedEntries().size(), stored.size() + 2);
    runHeldWorkOnAThread();
    processEvents();
    EXPECT_EQ(controller().allSessions().size(), stored.size() + 1);
}

TEST_F(HistoryDecodeTest, ADecodeIsStartedOnlyWhenNoneIsNeededOrUnderWay)
{
    storeHistory();
    controller().history().decodeInBackground(heldRunner());
    controller().history().decodeInBackground(heldRunner());
    EXPECT_EQ(held.size(), 1u);
    runHeldWorkOnAThread();
    processEvents();
    // Decoded already.
    controller().history().decodeInBackground(heldRunner());
    EXPECT_TRUE(held.empty());
    EXPECT_FALSE(controller().isDecodingHistory());
}
