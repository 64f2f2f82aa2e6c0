#include "kit/foundation/Debouncer.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {
void runPostedWork()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}
} // namespace

TEST(DebouncerTest, OnlyTheLastOfABurstRuns)
{
    std::vector<int> ran;
    {
        zk::Debouncer debouncer(zk::Duration::fromSeconds(0));
        debouncer.call([&] { ran.push_back(1); });
        debouncer.call([&] { ran.push_back(2); });
        debouncer.call([&] { ran.push_back(3); });
    } // dropping it leaves the scheduled work in place
    runPostedWork();
    EXPECT_EQ(ran, (std::vector<int> { 3 }));

    zk::Debouncer cancelled(zk::Duration::fromSeconds(0));
    cancelled.call([&] { ran.push_back(4); });
    cancelled.cancel();
    runPostedWork();
    EXPECT_EQ(ran, (std::vector<int> { 3 }));
}
