#include "platform/linux/BusCallQueue.h"

#include "support/PrivateSessionBus.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using platform::BusCallQueue;

namespace {

void serve()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

// Calls that record their start and keep their answer for the test to give.
struct Calls {
    std::vector<std::string> started;
    std::vector<std::function<void()>> answers;

    BusCallQueue::Work call(const std::string& name)
    {
        return [this, name](BusCallQueue::Answered answered) {
            started.push_back(name);
            answers.push_back([answered = std::move(answered)] { answered(0); });
        };
    }
};

TEST(BusCallQueue, OneCallAtATimeWithCallersTakingTurns)
{
    BusCallQueue queue;
    Calls calls;
    for (const char* name : { "flood 1", "flood 2", "flood 3" }) {
        ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.7"), calls.call(name)));
    }
    EXPECT_TRUE(calls.started.empty()) << "a call starts from a turn of its own";
    serve();
    ASSERT_EQ(calls.started, std::vector<std::string> { "flood 1" });
    // Another script's call, behind the loop's.
    ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.9"), calls.call("other")));
    serve();
    EXPECT_EQ(calls.started.size(), 1u) << "nothing starts before the call under way has answered";

    calls.answers.back()();
    calls.answers.back()();
    serve();
    EXPECT_EQ(calls.started, (std::vector<std::string> { "flood 1", "other" }));
    calls.answers.back()();
    serve();
    calls.answers.back()();
    serve();
    EXPECT_EQ(calls.started, (std::vector<std::string> { "flood 1", "other", "flood 2", "flood 3" }));
    EXPECT_EQ(queue.waitingCount(), 0u);
}

// Loops that never wait for their answers keep calls waiting; a script that sends one call and
// waits for it is served right after the call under way, not after one call of every loop, whether
// the loops were served already or not yet.
TEST(BusCallQueue, TheCallerThatSentFewestCallsGoesNext)
{
    BusCallQueue queue;
    Calls calls;
    for (int loop = 1; loop <= 40; ++loop) {
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.%1").arg(100 + loop), calls.call("loop")));
        }
    }
    serve();
    ASSERT_EQ(calls.started.size(), 1u);
    // Sorted after every loop's name: taking turns by name would reach it last.
    ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.250"), calls.call("script")));
    calls.answers.back()();
    serve();
    EXPECT_EQ(calls.started.back(), "script");
    for (int i = 0; i < 45; ++i) {
        calls.answers.back()();
        serve();
    }
    ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.99"), calls.call("script again")));
    calls.answers.back()();
    serve();
    EXPECT_EQ(calls.started.back(), "script again");
}

// While the connection holds more than the bus has taken, nothing starts; the calls wait and
// start once it has taken enough.
TEST(BusCallQueue, NoCallStartsWhileTheConnectionHoldsTooMuchUnsent)
{
    std::int64_t unsent = BusCallQueue::maximumUnsentBytes + 1;
    BusCallQueue queue([&unsent] { return unsent; });
    Calls calls;
    ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.7"), calls.call("first")));
    ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.9"), calls.call("second")));
    EXPECT_FALSE(PrivateSessionBus::serveUntil([&] { return !calls.started.empty(); }, 200));
    EXPECT_EQ(queue.waitingCount(), 2u);

    unsent = BusCallQueue::maximumUnsentBytes;
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return !calls.started.empty(); }));
    EXPECT_EQ(calls.started, std::vector<std::string> { "first" });
    // The answer just sent is more than the bus takes at once.
    unsent = 3 * BusCallQueue::maximumUnsentBytes;
    calls.answers.back()();
    EXPECT_FALSE(PrivateSessionBus::serveUntil([&] { return calls.started.size() > 1; }, 200));
    unsent = 0;
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return calls.started.size() > 1; }));
    EXPECT_EQ(calls.started, (std::vector<std::string> { "first", "second" }));
}

TEST(BusCallQueue, ACallerWithTooManyCallsWaitingHasTheNextRefusedAndOthersNot)
{
    BusCallQueue queue;
    Calls calls;
    for (std::size_t i = 0; i < BusCallQueue::maximumWaitingPerCaller; ++i) {
        ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.7"), calls.call("flood")));
    }
    EXPECT_FALSE(queue.enqueue(QStringLiteral(":1.7"), calls.call("refused")));
    EXPECT_TRUE(queue.enqueue(QStringLiteral(":1.9"), calls.call("other")));
    serve();
    // The other caller's one call goes first; once one of the loop's has started, there is room for
    // one more.
    EXPECT_EQ(calls.started, std::vector<std::string> { "other" });
    calls.answers.back()();
    serve();
    EXPECT_TRUE(queue.enqueue(QStringLiteral(":1.7"), calls.call("flood")));
    EXPECT_EQ(queue.waitingCount(), BusCallQueue::maximumWaitingPerCaller);
}

// A call whose turn does not come in time, whatever it would do, is refused then and never started
// later; one that starts in time is not.
TEST(BusCallQueue, ACallNotStartedInTimeIsRefusedAndNeverCarriedOut)
{
    BusCallQueue queue({}, nullptr, std::chrono::milliseconds(300));
    Calls calls;
    std::vector<std::string> refused;
    const auto refusal
        = [&refused](const std::string& name) { return [&refused, name] { refused.push_back(name); }; };
    ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.7"), calls.call("slow"), refusal("slow")));
    ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.9"), calls.call("toggle"), refusal("toggle")));
    ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.9"), calls.call("toggle again"), refusal("toggle again")));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return !calls.started.empty(); }));
    // The call under way takes longer than the others may wait.
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return refused.size() == 2; }, 5000));
    EXPECT_EQ(refused, (std::vector<std::string> { "toggle", "toggle again" }));
    EXPECT_EQ(queue.waitingCount(), 0u);
    calls.answers.back()();
    ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.9"), calls.call("later"), refusal("later")));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return calls.started.size() == 2; }));
    calls.answers.back()();
    PrivateSessionBus::serveUntil([] { return false; }, 500);
    EXPECT_EQ(calls.started, (std::vector<std::string> { "slow", "later" }));
    EXPECT_EQ(refused.size(), 2u);
}

TEST(BusCallQueue, ACallAnsweredAfterTheQueueIsGoneIsNoHarm)
{
    Calls calls;
    {
        BusCallQueue queue;
        queue.enqueue(QStringLiteral(":1.7"), calls.call("first"));
        queue.enqueue(QStringLiteral(":1.7"), calls.call("second"));
        serve();
    }
    ASSERT_EQ(calls.answers.size(), 1u);
    calls.answers.front()();
    serve();
    EXPECT_EQ(calls.started, std::vector<std::string> { "first" });
}

} // namespace
