#include "kit/foundation/core/LifetimeAssociation.h"

#include <QObject>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using zk::LifetimeAssociation;

namespace {

// An observation that ends itself when its owner goes away, as the store's observations do.
struct Observation {
    Observation(std::vector<std::string>* log, std::string name)
        : log(log)
        , name(std::move(name))
    {
    }
    std::vector<std::string>* log;
    std::string name;
    bool active = true;
    std::optional<LifetimeAssociation> association;
};

} // namespace

TEST(LifetimeAssociation, OwnerDestroyedEndsTheObservationAndReleasesIt)
{
    std::vector<std::string> log;
    std::weak_ptr<Observation> weak;
    auto owner = std::make_unique<QObject>();
    {
        auto observation = std::make_shared<Observation>(&log, "a");
        weak = observation;
        Observation* raw = observation.get();
        observation->association.emplace(observation, owner.get(), [raw] {
            raw->active = false;
            raw->log->push_back("ended " + raw->name);
        });
    }
    // The owner keeps the observation alive.
    ASSERT_FALSE(weak.expired());
    EXPECT_TRUE(weak.lock()->active);
    owner.reset();
    EXPECT_EQ(log, (std::vector<std::string> { "ended a" }));
    EXPECT_TRUE(weak.expired());
}

TEST(LifetimeAssociation, CancellingOneOfTwoLeavesTheOther)
{
    std::vector<std::string> log;
    auto owner = std::make_unique<QObject>();
    LifetimeAssociation first(nullptr, owner.get(), [&] { log.push_back("first"); });
    LifetimeAssociation second(nullptr, owner.get(), [&] { log.push_back("second"); });
    first.cancel();
    EXPECT_TRUE(log.empty());
    owner.reset();
    EXPECT_EQ(log, (std::vector<std::string> { "second" }));
    EXPECT_FALSE(second.isOwnerAlive());
}

TEST(LifetimeAssociation, CancelAfterTheOwnerIsGoneDoesNothing)
{
    int calls = 0;
    auto owner = std::make_unique<QObject>();
    LifetimeAssociation association(nullptr, owner.get(), [&] { ++calls; });
    owner.reset();
    EXPECT_EQ(calls, 1);
    association.cancel();
    EXPECT_EQ(calls, 1);
}

TEST(LifetimeAssociation, DestroyingTheAssociationWhileTheOwnerLivesRunsTheHandlerOnce)
{
    int calls = 0;
    auto target = std::make_shared<int>(5);
    std::weak_ptr<int> weak = target;
    auto owner = std::make_unique<QObject>();
    {
        LifetimeAssociation association(std::move(target), owner.get(), [&] { ++calls; });
    }
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(weak.expired()); // the owner no longer holds the target
    owner.reset();
    EXPECT_EQ(calls, 1);
}

TEST(LifetimeAssociation, OwnerThatIsNotAQObject)
{
    std::vector<std::string> log;
    auto owner = std::make_unique<zk::LifetimeOwner>();
    LifetimeAssociation kept(nullptr, *owner, [&] { log.push_back("kept"); });
    {
        LifetimeAssociation cancelled(nullptr, *owner, [&] { log.push_back("cancelled"); });
        cancelled.cancel();
    }
    owner.reset();
    EXPECT_EQ(log, (std::vector<std::string> { "kept" }));
}

TEST(LifetimeAssociation, AHandlerMayEndOtherAssociationsOfTheSameOwner)
{
    std::vector<std::string> log;
    auto owner = std::make_unique<QObject>();
    auto other = std::make_unique<LifetimeAssociation>(nullptr, owner.get(), [&] { log.push_back("other"); });
    {
        LifetimeAssociation first(nullptr, owner.get(), [&] {
            log.push_back("first");
            other.reset(); // detaches while the owner still lives
        });
    }
    EXPECT_EQ(log, (std::vector<std::string> { "first", "other" }));
    owner.reset();
    EXPECT_EQ(log.size(), 2u);
}
