#include "kit/foundation/core/PublishedUnique.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::combine::AnyCancellable;
using platform::combine::ObservableObjectPublisher;
using platform::combine::PassthroughSubject;
using platform::combine::Void;

namespace {

struct Model {
    ObservableObjectPublisher& objectWillChange() { return willChange; }
    ObservableObjectPublisher willChange;
    zk::PublishedUnique<std::string> name { "initial" };
};

// An owner whose announcement is not the standard publisher.
struct OtherModel {
    PassthroughSubject<Void>& objectWillChange() { return willChange; }
    PassthroughSubject<Void> willChange;
    zk::PublishedUnique<int> count { 0 };
};

} // namespace

TEST(PublishedUnique, EqualAssignmentThroughTheOwnerAnnouncesAndPublishesNothing)
{
    Model model;
    std::vector<std::string> log;
    auto a = model.willChange.sink(
        [&](const Void&) { log.push_back("will change to? " + model.name.get(model)); });
    auto b = model.name.projectedValue().sink([&](const std::string& v) { log.push_back("published " + v); });
    EXPECT_EQ(log, (std::vector<std::string> { "published initial" })); // current value at once
    log.clear();
    model.name.set(model, "initial");
    EXPECT_TRUE(log.empty());
    model.name.set(model, "changed");
    // Announced exactly once, while the old value is still in place, then published once.
    EXPECT_EQ(log, (std::vector<std::string> { "will change to? initial", "published changed" }));
}

TEST(PublishedUnique, MutationThroughTheOwnerIsComparedToo)
{
    Model model;
    int announcements = 0;
    auto a = model.willChange.sink([&](const Void&) { ++announcements; });
    model.name.modify(model, [](std::string&) {});
    EXPECT_EQ(announcements, 0);
    model.name.modify(model, [](std::string& v) { v += "!"; });
    EXPECT_EQ(announcements, 1);
    EXPECT_EQ(model.name.wrappedValue(), "initial!");
}

TEST(PublishedUnique, AnOwnerWithAnotherAnnouncementStillGetsThePublishedValue)
{
    OtherModel model;
    int announcements = 0;
    std::vector<int> published;
    auto a = model.willChange.sink([&](const Void&) { ++announcements; });
    auto b = model.count.projectedValue().sink([&](int v) { published.push_back(v); });
    model.count.set(model, 3);
    EXPECT_EQ(announcements, 0);
    EXPECT_EQ(published, (std::vector<int> { 0, 3 }));
}

TEST(PublishedUnique, TheDirectPathNeitherComparesNorAnnounces)
{
    Model model;
    int announcements = 0;
    std::vector<std::string> published;
    auto a = model.willChange.sink([&](const Void&) { ++announcements; });
    auto b = model.name.projectedValue().sink([&](const std::string& v) { published.push_back(v); });
    model.name.setWrappedValue("initial");
    EXPECT_EQ(announcements, 0);
    EXPECT_EQ(published, (std::vector<std::string> { "initial", "initial" }));
}

TEST(PublishedUnique, CopiesShareTheValue)
{
    zk::PublishedUnique<int> original(1);
    auto copy = original;
    copy.setWrappedValue(2);
    EXPECT_EQ(original.wrappedValue(), 2);
}
