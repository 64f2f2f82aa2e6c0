#include "kit/foundation/ObservableValue.h"

#include <QTimer>
#include <gtest/gtest.h>

TEST(ObservableValueTest, AnnouncesBeforeEachChange)
{
    zk::ObservableValue<int> observable(1);
    std::vector<int> seenBefore;
    auto subscription = observable.objectWillChange().sink(
        [&](const auto&) { seenBefore.push_back(observable.wrappedValue()); });
    observable.setWrappedValue(2);
    observable.setWrappedValue(3);
    EXPECT_EQ(seenBefore, (std::vector<int> { 1, 2 }));
    EXPECT_EQ(observable.wrappedValue(), 3);
}

TEST(ObservableValueTest, FollowsAQtPropertyUntilDropped)
{
    QTimer timer;
    timer.setObjectName("first");
    int announcements = 0;
    {
        zk::KVOObservable<QString> name(&timer, "objectName");
        EXPECT_TRUE(name.isObserving());
        EXPECT_EQ(name.value(), "first");
        auto subscription = name.objectWillChange().sink([&](const auto&) {
            ++announcements;
            EXPECT_EQ(name.value(), "first"); // told before the change takes effect
        });
        timer.setObjectName("second");
        EXPECT_EQ(name.value(), "second");
        EXPECT_EQ(announcements, 1);
    }
    timer.setObjectName("third"); // the dropped observer is no longer told
    EXPECT_EQ(announcements, 1);

    // A property that announces no changes is read once and not followed.
    timer.setInterval(10);
    zk::KVOObservable<int> interval(&timer, "interval");
    EXPECT_FALSE(interval.isObserving());
    EXPECT_EQ(interval.value(), 10);
}
