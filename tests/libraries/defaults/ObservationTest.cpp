#include "DefaultsTestSupport.h"

#include "libraries/defaults/Observation.h"

#include <QObject>

#include <optional>
#include <thread>
#include <vector>

using namespace defaults_test;
using Defaults::KeyChange;
using Defaults::ObservationOption;
using platform::PropertyList;

namespace {

class Observation : public DefaultsFixture { };

using Changes = std::vector<KeyChange<std::int64_t>>;

std::function<void(const KeyChange<std::int64_t>&)> recordInto(Changes& changes)
{
    return [&changes](const KeyChange<std::int64_t>& change) { changes.push_back(change); };
}

TEST_F(Observation, TypedRecordsCarryOldAndNewValuesInWriteOrder)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Changes changes;
    auto observation = Defaults::observe(key, {}, recordInto(changes));
    EXPECT_TRUE(changes.empty());

    Defaults::set(key, std::int64_t { 5 });
    Defaults::set(key, std::int64_t { 6 });
    key.reset();
    // A value that does not convert reads as the default in the record, as it does from the store.
    suite().setObject(PropertyList(platform::Date(3)), "count");

    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0].oldValue, 1);
    EXPECT_EQ(changes[0].newValue, 5);
    EXPECT_EQ(changes[1].oldValue, 5);
    EXPECT_EQ(changes[1].newValue, 6);
    EXPECT_EQ(changes[2].oldValue, 6);
    EXPECT_EQ(changes[2].newValue, 1); // removal gives the default
    EXPECT_EQ(changes[3].newValue, 1);
    for (const auto& change : changes) {
        EXPECT_FALSE(change.isPrior);
        EXPECT_EQ(change.kind, Defaults::KeyValueChange::setting);
        EXPECT_FALSE(change.indexes);
    }
}

TEST_F(Observation, OtherKeysAndSuitesAreNotHeard)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Defaults::Key<std::int64_t> other("other", 1);
    Defaults::Key<std::int64_t> elsewhere("count", 1, otherSuite("com.example.other"));
    Changes changes;
    auto observation = Defaults::observe(key, {}, recordInto(changes));
    Defaults::set(other, std::int64_t { 2 });
    Defaults::set(elsewhere, std::int64_t { 2 });
    EXPECT_TRUE(changes.empty());
}

TEST_F(Observation, CallbackRunsOnTheWritingThread)
{
    Defaults::Key<std::int64_t> key("count", 1);
    std::optional<std::thread::id> deliveredOn;
    auto observation = Defaults::observe(
        key, {}, [&](const KeyChange<std::int64_t>&) { deliveredOn = std::this_thread::get_id(); });
    std::thread::id writer;
    std::thread thread([&] {
        writer = std::this_thread::get_id();
        Defaults::set(key, std::int64_t { 2 });
    });
    thread.join();
    ASSERT_TRUE(deliveredOn);
    EXPECT_EQ(*deliveredOn, writer);
    EXPECT_NE(*deliveredOn, std::this_thread::get_id());
}

TEST_F(Observation, InitialRecordComesDuringStartWithTheDefaultAsOldValue)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Defaults::set(key, std::int64_t { 4 });
    Changes changes;
    auto observation = Defaults::observe(key, { ObservationOption::initial }, recordInto(changes));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_FALSE(changes[0].isPrior);
    EXPECT_EQ(changes[0].newValue, 4);
    EXPECT_EQ(changes[0].oldValue, 1);

    Defaults::set(key, std::int64_t { 7 });
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].oldValue, 4);
    EXPECT_EQ(changes[1].newValue, 7);
}

TEST_F(Observation, PriorRecordPrecedesEachChangeUnlessInitialIsAskedFor)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Defaults::set(key, std::int64_t { 3 });
    Changes prior;
    auto priorOnly = Defaults::observe(key, { ObservationOption::prior }, recordInto(prior));
    Changes both;
    auto initialAndPrior
        = Defaults::observe(key, { ObservationOption::initial, ObservationOption::prior }, recordInto(both));

    Defaults::set(key, std::int64_t { 8 });

    ASSERT_EQ(prior.size(), 2u);
    EXPECT_TRUE(prior[0].isPrior);
    EXPECT_EQ(prior[0].oldValue, 3);
    EXPECT_EQ(prior[0].newValue, 1); // nothing new yet: the default
    EXPECT_FALSE(prior[1].isPrior);
    EXPECT_EQ(prior[1].oldValue, 3);
    EXPECT_EQ(prior[1].newValue, 8);

    ASSERT_EQ(both.size(), 2u); // the initial record and the change, no prior record
    EXPECT_EQ(both[0].newValue, 3);
    EXPECT_FALSE(both[1].isPrior);
    EXPECT_EQ(both[1].newValue, 8);
}

TEST_F(Observation, EndsWhenReleasedOrInvalidatedAndInvalidatingTwiceIsHarmless)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Changes released;
    Changes invalidated;
    auto a = Defaults::observe(key, {}, recordInto(released));
    auto b = Defaults::observe(key, {}, recordInto(invalidated));
    Defaults::set(key, std::int64_t { 2 });
    a.reset();
    b->invalidate();
    b->invalidate();
    Defaults::set(key, std::int64_t { 3 });
    EXPECT_EQ(released.size(), 1u);
    EXPECT_EQ(invalidated.size(), 1u);
}

TEST_F(Observation, StartingTwiceRegistersOnce)
{
    int calls = 0;
    auto observation = Defaults::UserDefaultsKeyObservation::make(
        suitePointer(), "count", [&](const Defaults::BaseChange&) { ++calls; });
    observation->start({});
    observation->start({ ObservationOption::initial });
    suite().setObject(PropertyList(2), "count");
    EXPECT_EQ(calls, 1);

    // An invalidated observation cannot be started again.
    observation->invalidate();
    observation->start({});
    suite().setObject(PropertyList(3), "count");
    EXPECT_EQ(calls, 1);
}

TEST_F(Observation, ObserverRemovedWhileAChangeIsDeliveredIsNotCalled)
{
    Defaults::Key<std::int64_t> key("count", 1);
    std::shared_ptr<Defaults::DefaultsObservation> second;
    int firstCalls = 0;
    int secondCalls = 0;
    auto first = Defaults::observe(key, {}, [&](const KeyChange<std::int64_t>&) {
        ++firstCalls;
        second.reset(); // the last holder: ends it in the middle of the delivery
    });
    second = Defaults::observe(key, {}, [&](const KeyChange<std::int64_t>&) { ++secondCalls; });

    Defaults::set(key, std::int64_t { 2 });
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 0);
}

TEST_F(Observation, InvalidatingItselfFromTheCallbackStopsAtOnce)
{
    Defaults::Key<std::int64_t> key("count", 1);
    std::shared_ptr<Defaults::DefaultsObservation> observation;
    Changes changes;
    observation
        = Defaults::observe(key, { ObservationOption::prior }, [&](const KeyChange<std::int64_t>& change) {
              changes.push_back(change);
              observation->invalidate();
          });
    Defaults::set(key, std::int64_t { 2 });
    Defaults::set(key, std::int64_t { 3 });
    ASSERT_EQ(changes.size(), 1u); // the prior record only
    EXPECT_TRUE(changes[0].isPrior);
}

TEST_F(Observation, TiedObservationLivesAndEndsWithItsOwner)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Changes changes;
    auto owner = std::make_unique<QObject>();
    std::weak_ptr<Defaults::DefaultsObservation> weak;
    {
        auto observation = Defaults::observe(key, {}, recordInto(changes));
        weak = observation;
        observation->tieToLifetime(owner.get());
    }
    ASSERT_FALSE(weak.expired()); // the owner keeps it
    Defaults::set(key, std::int64_t { 2 });
    EXPECT_EQ(changes.size(), 1u);

    owner.reset();
    EXPECT_TRUE(weak.expired());
    Defaults::set(key, std::int64_t { 3 });
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(Observation, RemovedTieNeitherKeepsAliveNorEnds)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Changes changes;
    auto owner = std::make_unique<QObject>();
    auto observation = Defaults::observe(key, {}, recordInto(changes));
    observation->tieToLifetime(owner.get());
    observation->removeLifetimeTie();
    owner.reset();
    Defaults::set(key, std::int64_t { 2 });
    EXPECT_EQ(changes.size(), 1u);

    std::weak_ptr<Defaults::DefaultsObservation> weak = observation;
    auto secondOwner = std::make_unique<QObject>();
    observation->tieToLifetime(secondOwner.get());
    observation->removeLifetimeTie();
    observation.reset();
    EXPECT_TRUE(weak.expired());
    Defaults::set(key, std::int64_t { 3 });
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(Observation, InvalidatingEndsTheTieSoTheOwnerReleasesIt)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Changes changes;
    QObject owner;
    std::weak_ptr<Defaults::DefaultsObservation> weak;
    {
        auto observation = Defaults::observe(key, {}, recordInto(changes));
        weak = observation->tieToLifetime(&owner);
    }
    weak.lock()->invalidate();
    EXPECT_TRUE(weak.expired());
}

TEST_F(Observation, SuppressedWritesAreDroppedOnlyOnTheirThread)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Changes changes;
    std::mutex mutex;
    auto observation = Defaults::observe(key, {}, [&](const KeyChange<std::int64_t>& change) {
        std::lock_guard lock(mutex);
        changes.push_back(change);
    });

    Defaults::withoutPropagation([&] {
        Defaults::set(key, std::int64_t { 2 });
        Defaults::withoutPropagation([&] { Defaults::set(key, std::int64_t { 3 }); });
        // Still suppressed after the inner one ends.
        Defaults::set(key, std::int64_t { 4 });
        // Another thread's write in the meantime is heard.
        std::thread([&] { Defaults::set(key, std::int64_t { 5 }); }).join();
    });
    Defaults::set(key, std::int64_t { 6 });

    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].oldValue, 4);
    EXPECT_EQ(changes[0].newValue, 5);
    EXPECT_EQ(changes[1].oldValue, 5);
    EXPECT_EQ(changes[1].newValue, 6);
}

TEST_F(Observation, CompositeHearsEveryListedKeyOncePerListing)
{
    Defaults::Key<std::int64_t> a("a", 1);
    Defaults::Key<std::string> b("b", "x", otherSuite("com.example.other"));
    int calls = 0;
    auto observation = Defaults::observe({ a, b }, {}, [&] { ++calls; });
    Defaults::set(a, std::int64_t { 2 });
    Defaults::set(b, std::string("y"));
    EXPECT_EQ(calls, 2);

    int twiceCalls = 0;
    auto twice = Defaults::observe({ a, a }, {}, [&] { ++twiceCalls; });
    Defaults::set(a, std::int64_t { 3 });
    EXPECT_EQ(twiceCalls, 2);
    EXPECT_EQ(calls, 3);

    int initialCalls = 0;
    auto initial = Defaults::observe({ a, b }, { ObservationOption::initial }, [&] { ++initialCalls; });
    EXPECT_EQ(initialCalls, 2);

    Defaults::withoutPropagation([&] { Defaults::set(a, std::int64_t { 4 }); });
    EXPECT_EQ(calls, 3); // the write of `a` listed twice, not the suppressed one
    observation->invalidate();
    Defaults::set(b, std::string("z"));
    EXPECT_EQ(calls, 3);
}

TEST_F(Observation, CompositeEndsWithItsOwner)
{
    Defaults::Key<std::int64_t> a("a", 1);
    int calls = 0;
    auto owner = std::make_unique<QObject>();
    Defaults::observe({ a }, {}, [&] { ++calls; })->tieToLifetime(owner.get());
    Defaults::set(a, std::int64_t { 2 });
    owner.reset();
    Defaults::set(a, std::int64_t { 3 });
    EXPECT_EQ(calls, 1);
}

TEST_F(Observation, ObservationOfASuiteThatIsGoneDoesNothingAndEndsSafely)
{
    int calls = 0;
    auto gone = otherSuite("com.example.gone");
    auto started = Defaults::UserDefaultsKeyObservation::make(
        gone, "count", [&](const Defaults::BaseChange&) { ++calls; });
    started->start({});
    auto unstarted = Defaults::UserDefaultsKeyObservation::make(
        gone, "count", [&](const Defaults::BaseChange&) { ++calls; });
    gone.reset(); // the observations hold it weakly: it is destroyed here

    unstarted->start({ ObservationOption::initial });
    // The same key in another suite object over the same database is a different store.
    otherSuite("com.example.gone")->setObject(PropertyList(2), "count");
    started->invalidate();
    unstarted->invalidate();
    EXPECT_EQ(calls, 0);
}

} // namespace
