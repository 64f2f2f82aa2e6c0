#include "DefaultsTestSupport.h"

#include "libraries/defaults/Default.h"
#include "libraries/defaults/Observable.h"
#include "libraries/defaults/Observation.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <optional>
#include <thread>
#include <vector>

using namespace defaults_test;
using platform::PropertyList;

namespace {

// Lets queued main-thread work (the observing task, its announcements) run. Only tiny real-time
// delivery is waited for: the task is posted and resumed through the event loop.
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(2);
    }
}

class ObservableSettings : public DefaultsFixture {
protected:
    // Observing tasks end on the main thread after their objects: let them, so that none is left
    // suspended when the test program exits.
    void TearDown() override
    {
        settle();
        DefaultsFixture::TearDown();
    }
};

// Counts announcements and remembers what the store held at each.
struct Announcements {
    template <class Value> explicit Announcements(Defaults::Observable<Value>& observable)
    {
        QObject::connect(
            &observable, &Defaults::ObservableBase::objectWillChange, &observable, [this, &observable] {
                ++count;
                onMainThread
                    = onMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
                seen.push_back(static_cast<std::int64_t>(observable.value()));
            });
    }
    int count = 0;
    bool onMainThread = true;
    std::vector<std::int64_t> seen;
};

TEST_F(ObservableSettings, AnnouncesOnceShortlyAfterConstruction)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Defaults::Observable<std::int64_t> observable(key);
    Announcements announcements(observable);
    EXPECT_EQ(announcements.count, 0);
    settle();
    EXPECT_EQ(announcements.count, 1);
    EXPECT_EQ(observable.value(), 1);
}

TEST_F(ObservableSettings, WriteThroughItAnnouncesBeforeStoringAndAgainAfter)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Defaults::Observable<std::int64_t> observable(key);
    settle();
    Announcements announcements(observable);
    observable.setValue(5);
    ASSERT_EQ(announcements.count, 1);
    EXPECT_EQ(announcements.seen[0], 1); // announced before the write
    EXPECT_EQ(Defaults::get(key), 5);
    settle();
    EXPECT_EQ(announcements.count, 2);
    EXPECT_EQ(announcements.seen[1], 5);
}

TEST_F(ObservableSettings, WritesMadeElsewhereAreAnnouncedOnTheMainThread)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Defaults::Observable<std::int64_t> observable(key);
    Defaults::Observable<std::int64_t> second(key);
    settle();
    Announcements announcements(observable);
    Announcements secondAnnouncements(second);

    Defaults::set(key, std::int64_t { 3 });
    EXPECT_EQ(announcements.count, 0); // not inside the write
    std::thread([&] { Defaults::set(key, std::int64_t { 4 }); }).join();
    key.reset();
    settle();
    EXPECT_EQ(announcements.count, 3);
    EXPECT_TRUE(announcements.onMainThread);
    EXPECT_EQ(observable.value(), 1); // the default after the removal
    EXPECT_EQ(secondAnnouncements.count, 3);
}

TEST_F(ObservableSettings, SuppressedWritesOnTheMainThreadAreNotAnnounced)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Defaults::Observable<std::int64_t> observable(key);
    settle();
    Announcements announcements(observable);
    Defaults::withoutPropagation([&] { Defaults::set(key, std::int64_t { 2 }); });
    settle();
    EXPECT_EQ(announcements.count, 0);
    EXPECT_EQ(observable.value(), 2);
}

TEST_F(ObservableSettings, AWriteBeforeTheTaskRunsIsSeenThroughTheInitialAnnouncement)
{
    Defaults::Key<std::int64_t> key("count", 1);
    Defaults::Observable<std::int64_t> observable(key);
    Announcements announcements(observable);
    Defaults::set(key, std::int64_t { 8 });
    settle();
    ASSERT_EQ(announcements.count, 1);
    EXPECT_EQ(announcements.seen[0], 8);
}

TEST_F(ObservableSettings, NothingIsAnnouncedOrObservedAfterDestruction)
{
    Defaults::Key<std::int64_t> key("count", 1);
    int announced = 0;
    {
        Defaults::Observable<std::int64_t> observable(key);
        QObject::connect(&observable, &Defaults::ObservableBase::objectWillChange, [&] { ++announced; });
        settle();
    }
    EXPECT_EQ(announced, 1);
    // The suite's other observers are still told; the destroyed object's stream is gone.
    int others = 0;
    auto observation
        = Defaults::observe(key, {}, [&](const Defaults::KeyChange<std::int64_t>&) { ++others; });
    Defaults::set(key, std::int64_t { 2 });
    settle();
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(others, 1);
}

TEST_F(ObservableSettings, DestroyedBeforeItsTaskRanLeavesNoObservationBehind)
{
    Defaults::Key<std::int64_t> key("count", 1);
    {
        Defaults::Observable<std::int64_t> observable(key);
    }
    settle(); // the task runs, finds itself cancelled and ends
    // Writing must not reach a stream of a dead object; the write and the observers that are
    // still alive carry on as usual.
    int others = 0;
    auto observation
        = Defaults::observe(key, {}, [&](const Defaults::KeyChange<std::int64_t>&) { ++others; });
    Defaults::set(key, std::int64_t { 2 });
    settle();
    EXPECT_EQ(Defaults::get(key), 2);
    EXPECT_EQ(others, 1);
}

TEST_F(ObservableSettings, DefaultReadsWritesResetsAndModifiesThroughTheStore)
{
    Defaults::Key<std::int64_t> count("count", 3);
    Defaults::Default<std::int64_t> setting(count);
    EXPECT_EQ(setting.value(), 3);
    EXPECT_TRUE(setting.isDefaultValue());
    setting.setValue(3);
    EXPECT_EQ(stored("count"), PropertyList(3));
    EXPECT_TRUE(setting.isDefaultValue());
    setting.setValue(4);
    EXPECT_FALSE(setting.isDefaultValue());
    setting.reset();
    EXPECT_EQ(setting.value(), 3);
    EXPECT_TRUE(setting.isDefaultValue());

    Defaults::Key<std::optional<std::string>> name("name");
    Defaults::Default<std::optional<std::string>> optional(name);
    optional.setValue(std::string("x"));
    EXPECT_EQ(stored("name"), PropertyList("x"));
    optional.setValue(std::nullopt);
    EXPECT_FALSE(stored("name"));

    Defaults::Key<std::vector<std::int64_t>> list("list", {});
    Defaults::Default<std::vector<std::int64_t>> values(list);
    int writes = 0;
    auto observation = Defaults::observe(
        list, {}, [&](const Defaults::KeyChange<std::vector<std::int64_t>>&) { ++writes; });
    values.modify([](std::vector<std::int64_t>& v) {
        v.push_back(1);
        v.push_back(2);
    });
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(values.value(), (std::vector<std::int64_t> { 1, 2 }));
    EXPECT_THROW(values.modify([](std::vector<std::int64_t>& v) {
        v.push_back(3);
        throw std::runtime_error("stop");
    }),
        std::runtime_error);
    EXPECT_EQ(values.value(), (std::vector<std::int64_t> { 1, 2, 3 }));
}

TEST_F(ObservableSettings, DefaultPublisherStartsWithTheCurrentValue)
{
    Defaults::Key<std::int64_t> count("count", 3);
    Defaults::set(count, std::int64_t { 6 });
    Defaults::Default<std::int64_t> setting(count);
    std::vector<std::int64_t> values;
    auto subscription = setting.publisher().sink(
        [&](const Defaults::KeyChange<std::int64_t>& change) { values.push_back(change.newValue); });
    setting.setValue(7);
    EXPECT_EQ(values, (std::vector<std::int64_t> { 6, 7 }));
}

} // namespace
