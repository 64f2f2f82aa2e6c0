#include "app/intents/IntentCallQueue.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using kiruvo::IntentCallQueue;

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

    IntentCallQueue::Work call(const std::string& name)
    {
        return [this, name](std::function<void()> answered) {
            started.push_back(name);
            answers.push_back(std::move(answered));
        };
    }
};

TEST(IntentCallQueue, OneCallAtATimeWithCallersTakingTurns)
{
    IntentCallQueue queue;
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

TEST(IntentCallQueue, ACallerWithTooManyCallsWaitingHasTheNextRefusedAndOthersNot)
{
    IntentCallQueue queue;
    Calls calls;
    for (std::size_t i = 0; i < IntentCallQueue::maximumWaitingPerCaller; ++i) {
        ASSERT_TRUE(queue.enqueue(QStringLiteral(":1.7"), calls.call("flood")));
    }
    EXPECT_FALSE(queue.enqueue(QStringLiteral(":1.7"), calls.call("refused")));
    EXPECT_TRUE(queue.enqueue(QStringLiteral(":1.9"), calls.call("other")));
    serve();
    // One started: room for one more.
    EXPECT_TRUE(queue.enqueue(QStringLiteral(":1.7"), calls.call("flood")));
    EXPECT_EQ(queue.waitingCount(), IntentCallQueue::maximumWaitingPerCaller + 1);
}

TEST(IntentCallQueue, ACallAnsweredAfterTheQueueIsGoneIsNoHarm)
{
    Calls calls;
    {
        IntentCallQueue queue;
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
