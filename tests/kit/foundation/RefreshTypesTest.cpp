#include "kit/foundation/ListenOnlyPublisherObservable.h"
#include "kit/foundation/ViewTimer.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/combine/PassthroughSubject.h"
#include "support/TryWithTimeout.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

TEST(ListenOnlyPublisherObservableTest, AnnouncesEachValueOnTheSchedulerAndStopsWithTheObject)
{
    platform::combine::PassthroughSubject<int> subject;
    platform::combine::ManualScheduler scheduler;
    int announcements = 0;
    {
        zk::ListenOnlyPublisherObservable observable(subject.eraseToAnyPublisher(), scheduler);
        auto subscription = observable.objectWillChange().sink([&](const auto&) { ++announcements; });
        subject.send(1);
        subject.send(2);
        EXPECT_EQ(announcements, 0); // not before the scheduler delivers
        scheduler.runPending();
        EXPECT_EQ(announcements, 2);
        subject.send(3);
    }
    scheduler.runPending(); // the object is gone: nothing more is said
    EXPECT_EQ(announcements, 2);
}

TEST(ViewTimerTest, TheBeatRunsFromTheFirstListenerToTheLast)
{
    zk::ViewTimer timer(60);
    EXPECT_FALSE(timer.isRunning());
    auto first = QObject::connect(&timer, &zk::ViewTimer::changed, [] {});
    EXPECT_TRUE(timer.isRunning());
    auto second = QObject::connect(&timer, &zk::ViewTimer::changed, [] {});
    QObject::disconnect(first);
    EXPECT_TRUE(timer.isRunning());
    QObject::disconnect(second);
    EXPECT_FALSE(timer.isRunning());
}

TEST(ViewTimerTest, FlipsItsValueOnEachBeat)
{
    zk::ViewTimer timer(0.001);
    QSignalSpy changes(&timer, &zk::ViewTimer::changed);
    const bool first = timer.value();
    ASSERT_TRUE(changes.wait(2000));
    EXPECT_NE(timer.value(), first);
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(changes.count() >= 2, 2000);
    EXPECT_EQ(timer.value(), (changes.count() % 2 == 0) == first);
}
