#include "DefaultsTestSupport.h"

#include "libraries/defaults/Publishers.h"

#include <thread>
#include <vector>

using namespace defaults_test;
using Defaults::KeyChange;
using Defaults::ObservationOption;
using platform::PropertyList;
using platform::combine::AnyCancellable;
using platform::combine::Void;

namespace {

class Publishers : public DefaultsFixture { };

TEST_F(Publishers, InitialRecordArrivesInsideTheSubscribeCall)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Defaults::set(key, std::int64_t { 4 });
    std::vector<KeyChange<std::int64_t>> changes;
    auto publisher = Defaults::publisher(key, { ObservationOption::initial });
    EXPECT_TRUE(changes.empty()); // nothing before a subscriber
    auto subscription
        = publisher.sink([&](const KeyChange<std::int64_t>& change) { changes.push_back(change); });
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].newValue, 4);
    EXPECT_EQ(changes[0].oldValue, 1);

    Defaults::set(key, std::int64_t { 5 });
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].oldValue, 4);
    EXPECT_EQ(changes[1].newValue, 5);
}

TEST_F(Publishers, CancellingOrDroppingTheSubscriptionEndsDelivery)
{
    Defaults::Key<std::int64_t> key("count", 1);
    int cancelledCalls = 0;
    int droppedCalls = 0;
    auto cancelled
        = Defaults::publisher(key, {}).sink([&](const KeyChange<std::int64_t>&) { ++cancelledCalls; });
    std::optional<AnyCancellable> dropped
        = Defaults::publisher(key, {}).sink([&](const KeyChange<std::int64_t>&) { ++droppedCalls; });
    Defaults::set(key, std::int64_t { 2 });
    cancelled.cancel();
    dropped.reset();
    Defaults::set(key, std::int64_t { 3 });
    EXPECT_EQ(cancelledCalls, 1);
    EXPECT_EQ(droppedCalls, 1);
}

TEST_F(Publishers, EachSubscriberHasItsOwnObservation)
{
    Defaults::Key<std::int64_t> key("count", 1);
    auto publisher = Defaults::publisher(key, {});
    int first = 0;
    int second = 0;
    auto a = publisher.sink([&](const KeyChange<std::int64_t>&) { ++first; });
    auto b = publisher.sink([&](const KeyChange<std::int64_t>&) { ++second; });
    Defaults::set(key, std::int64_t { 2 });
    a.cancel();
    Defaults::set(key, std::int64_t { 3 });
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
}

TEST_F(Publishers, DeliversOnTheWritingThreadAndUnconvertibleValuesAsTheDefault)
{
    Defaults::Key<std::int64_t> key("count", 7);
    std::vector<std::pair<std::thread::id, std::int64_t>> received;
    auto subscription = Defaults::publisher(key, {}).sink([&](const KeyChange<std::int64_t>& change) {
        received.emplace_back(std::this_thread::get_id(), change.newValue);
    });
    std::thread::id writer;
    std::thread([&] {
        writer = std::this_thread::get_id();
        suite().setObject(PropertyList("not a number"), "count");
    }).join();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].first, writer);
    EXPECT_EQ(received[0].second, 7);
}

TEST_F(Publishers, SuppressedWritesAreNotPublished)
{
    Defaults::Key<std::int64_t> key("count", 1);
    int calls = 0;
    auto subscription = Defaults::publisher(key, {}).sink([&](const KeyChange<std::int64_t>&) { ++calls; });
    Defaults::withoutPropagation([&] { Defaults::set(key, std::int64_t { 2 }); });
    EXPECT_EQ(calls, 0);
}

TEST_F(Publishers, SeveralKeysEmitOncePerChangeOfAnyAndNeverComplete)
{
    Defaults::Key<std::int64_t> a("a", 1);
    Defaults::Key<bool> b("b", false);
    int events = 0;
    bool completed = false;
    auto subscription = Defaults::publisher({ a, b }, {})
                            .sink([&](const platform::combine::Completion&) { completed = true; },
                                [&](const Void&) { ++events; });
    Defaults::set(a, std::int64_t { 2 });
    Defaults::set(b, true);
    b.reset();
    EXPECT_EQ(events, 3);

    int twice = 0;
    auto sameKeyTwice = Defaults::publisher({ a, a }, {}).sink([&](const Void&) { ++twice; });
    Defaults::set(a, std::int64_t { 3 });
    EXPECT_EQ(twice, 2);

    int withPrior = 0;
    auto prior
        = Defaults::publisher({ a }, { ObservationOption::prior }).sink([&](const Void&) { ++withPrior; });
    Defaults::set(a, std::int64_t { 4 });
    EXPECT_EQ(withPrior, 2);

    int initial = 0;
    auto initialOnly
        = Defaults::publisher({ a, b }, { ObservationOption::initial }).sink([&](const Void&) { ++initial; });
    EXPECT_EQ(initial, 2);

    const int beforeCancel = events;
    EXPECT_EQ(beforeCancel, 5); // with the two later writes of `a`
    subscription.cancel();
    Defaults::set(a, std::int64_t { 5 });
    EXPECT_EQ(events, beforeCancel);
    EXPECT_FALSE(completed);
}

TEST_F(Publishers, NoKeysNeverEmitsNorCompletes)
{
    bool anything = false;
    auto subscription = Defaults::publisher(std::vector<std::reference_wrapper<const Defaults::Keys>> {}, {})
                            .sink([&](const platform::combine::Completion&) { anything = true; },
                                [&](const Void&) { anything = true; });
    suite().setObject(PropertyList(1), "a");
    EXPECT_FALSE(anything);
}

} // namespace
