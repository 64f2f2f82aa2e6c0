#include "DefaultsTestSupport.h"

#include "libraries/defaults/Updates.h"
#include "platform/async/TaskHandle.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace defaults_test;
using platform::PropertyList;
using platform::async::TaskHandle;

namespace updates_test {

// A stored number whose every decoding is counted, so that a test can tell whether anything still
// converts (that is, observes) the key.
struct Counted {
    std::int64_t number = 0;
    static inline std::atomic<int> decodings { 0 };
    friend bool operator==(const Counted&, const Counted&) = default;
};

inline void to_json(platform::JsonValue& json, const Counted& value)
{
    json = value.number;
}
inline void from_json(const platform::JsonValue& json, Counted& value)
{
    ++Counted::decodings;
    value.number = json.get<std::int64_t>();
}

} // namespace updates_test

using updates_test::Counted;

namespace {

class Updates : public DefaultsFixture { };

// Runs `body` as a main-thread task and waits (briefly, in real time) until it has finished.
bool runToEnd(TaskHandle::Body body)
{
    auto task = TaskHandle::start(std::move(body));
    return QTest::qWaitFor([&] { return task.isFinished(); }, 2000);
}

TEST_F(Updates, InitialValueFirstThenEveryChangeInOrder)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Defaults::set(key, std::int64_t { 4 });
    auto stream = Defaults::valueStream(key);
    Defaults::set(key, std::int64_t { 5 });
    Defaults::set(key, std::int64_t { 6 });
    key.reset();
    suite().setObject(PropertyList(platform::Date(1)), "count"); // does not convert

    std::vector<std::int64_t> values;
    ASSERT_TRUE(runToEnd([&](std::stop_token) -> QCoro::Task<void> {
        for (int i = 0; i < 5; ++i) {
            auto value = co_await stream.next();
            if (value) {
                values.push_back(*value);
            }
        }
    }));
    EXPECT_EQ(values, (std::vector<std::int64_t> { 4, 5, 6, 1, 1 }));
}

TEST_F(Updates, WithoutInitialNothingComesBeforeAChange)
{
    Defaults::Key<std::int64_t> key("count", 1);
    auto stream = Defaults::updates(key, false);
    std::vector<std::int64_t> values;
    auto task = TaskHandle::start([&](std::stop_token token) -> QCoro::Task<void> {
        while (auto value = co_await stream.next(token)) {
            values.push_back(*value);
        }
    });
    QTest::qWait(20);
    EXPECT_TRUE(values.empty());
    Defaults::set(key, std::int64_t { 9 });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !values.empty(); }, 2000));
    EXPECT_EQ(values, (std::vector<std::int64_t> { 9 }));
    task.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return task.isFinished(); }, 2000));
}

TEST_F(Updates, SuppressedWritesGiveNothingWhileOtherThreadsStillDo)
{
    Defaults::Key<std::int64_t> key("count", 1);
    auto stream = Defaults::valueStream(key, false);
    Defaults::withoutPropagation([&] {
        Defaults::set(key, std::int64_t { 2 });
        std::thread([&] { Defaults::set(key, std::int64_t { 3 }); }).join();
    });
    Defaults::set(key, std::int64_t { 4 });

    std::vector<std::int64_t> values;
    ASSERT_TRUE(runToEnd([&](std::stop_token) -> QCoro::Task<void> {
        for (int i = 0; i < 2; ++i) {
            auto value = co_await stream.next();
            values.push_back(value.value_or(-1));
        }
    }));
    EXPECT_EQ(values, (std::vector<std::int64_t> { 3, 4 }));
}

TEST_F(Updates, CancellingTheConsumerEndsTheStreamAndItsObservation)
{
    Defaults::Key<Counted> key("counted", Counted { 1 });
    std::optional<platform::async::AsyncStream<Counted>> stream = Defaults::valueStream(key, false);
    bool ended = false;
    auto task = TaskHandle::start([&](std::stop_token token) -> QCoro::Task<void> {
        while (co_await stream->next(token)) { }
        ended = true;
    });
    QTest::qWait(10); // the task waits for an element
    Defaults::set(key, Counted { 2 });
    const int whileObserved = Counted::decodings;
    EXPECT_GT(whileObserved, 0);

    task.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 2000));
    Defaults::set(key, Counted { 3 });
    EXPECT_EQ(Counted::decodings, whileObserved); // nobody converts the change any more
}

TEST_F(Updates, DiscardingTheStreamWithoutIteratingEndsItsObservation)
{
    Defaults::Key<Counted> key("counted", Counted { 1 });
    {
        auto stream = Defaults::valueStream(key, true);
        Defaults::set(key, Counted { 2 });
    }
    const int before = Counted::decodings;
    Defaults::set(key, Counted { 3 });
    Defaults::set(key, Counted { 4 });
    EXPECT_EQ(Counted::decodings, before);
}

TEST_F(Updates, SeveralKeysGiveOneElementPerChange)
{
    Defaults::Key<std::int64_t> a("a", 1);
    Defaults::Key<bool> b("b", false);
    auto stream = Defaults::updates({ a, b });
    Defaults::set(a, std::int64_t { 2 });
    Defaults::set(b, true);
    int elements = 0;
    auto task = TaskHandle::start([&](std::stop_token token) -> QCoro::Task<void> {
        while (co_await stream.next(token)) {
            ++elements;
        }
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return elements == 2; }, 2000));
    task.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return task.isFinished(); }, 2000));
    Defaults::set(a, std::int64_t { 3 });
    QCoreApplication::processEvents();
    EXPECT_EQ(elements, 2);
}

} // namespace
