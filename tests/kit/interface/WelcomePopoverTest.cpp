#include "kit/interface/WelcomePopover.h"
#include "kit/interface/Tooltip.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/desktop/ReduceMotion.h"
#include "platform/desktop/StatusItem.h"
#include "platform/fake/FakeStatusItemBackend.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QVariantAnimation>
#include <gtest/gtest.h>

namespace {

QCoro::Task<void> showAndNote(platform::StatusItem* item, const zk::TimerSource* source, int* returns)
{
    co_await zk::showWelcomePopover(item, *source);
    ++*returns;
}

class WelcomePopoverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::ReduceMotion::setOverrideForTesting(false);
        auto owned = std::make_unique<platform::fake::FakeStatusItemBackend>();
        backend = owned.get();
        backend->setGeometry(QRect(400, 0, 24, 24));
        item = new platform::StatusItem(std::move(owned));
    }
    void TearDown() override
    {
        delete item.data();
        scheduler.advance(60);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::ReduceMotion::setOverrideForTesting(std::nullopt);
    }

    void start() { task = showAndNote(item, &source, &returns); }

    // The welcome tip on screen, if any.
    static zk::Tooltip* shownTip()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* tip = qobject_cast<zk::Tooltip*>(widget);
            if (tip && tip->identifier == zk::welcomePopoverIdentifier && tip->isVisible()) {
                return tip;
            }
        }
        return nullptr;
    }

    platform::combine::ManualScheduler scheduler;
    zk::TimerSource source { &scheduler, [this] { return scheduler.now(); } };
    platform::fake::FakeStatusItemBackend* backend = nullptr;
    QPointer<platform::StatusItem> item;
    std::optional<QCoro::Task<void>> task;
    int returns = 0;
};

} // namespace

TEST_F(WelcomePopoverTest, TheTipGreetsAfterAMomentAndTheItemShakes)
{
    start();
    scheduler.advance(0.05);
    EXPECT_EQ(shownTip(), nullptr);
    scheduler.advance(0.05);
    zk::Tooltip* tip = shownTip();
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(tip->label().text(), "Hello, I'm Kiruvo");
    EXPECT_EQ(zk::Tooltip::shownCount(zk::welcomePopoverIdentifier), 1);
    ASSERT_NE(item->shakeAnimationForTesting(), nullptr);
    EXPECT_EQ(returns, 0);
}

TEST_F(WelcomePopoverTest, AClickOnTheTipClosesItAndReturnsOnceWithoutTouchingTheItem)
{
    QSignalSpy clicked(item.data(), &platform::StatusItem::clicked);
    start();
    scheduler.advance(0.1);
    zk::Tooltip* tip = shownTip();
    ASSERT_NE(tip, nullptr);
    QTest::mouseClick(tip, Qt::LeftButton);
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(returns, 0); // on the next turn
    scheduler.runPending();
    EXPECT_EQ(returns, 1);
    EXPECT_EQ(clicked.count(), 0);
    // The timer is gone, and clicks on the item reach it again.
    EXPECT_EQ(scheduler.pendingCount(), 0U);
    backend->click(Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    scheduler.advance(10);
    EXPECT_EQ(returns, 1);
}

TEST_F(WelcomePopoverTest, AClickOnTheItemClosesTheTipThenActsAsAClickOnce)
{
    QSignalSpy clicked(item.data(), &platform::StatusItem::clicked);
    start();
    scheduler.advance(0.1);
    zk::Tooltip* tip = shownTip();
    ASSERT_NE(tip, nullptr);
    backend->click(Qt::LeftButton);
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(clicked.count(), 0); // the click is performed after the tip has gone
    scheduler.runPending();
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(returns, 1);

    // The timer still fires later and changes nothing.
    backend->click(Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 2);
    scheduler.advance(6);
    EXPECT_EQ(returns, 1);
    EXPECT_EQ(clicked.count(), 2);
    backend->click(Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 3);
}

TEST_F(WelcomePopoverTest, ARightOrMiddleClickOnTheItemActsAsEverAndLeavesTheTipUp)
{
    QSignalSpy clicked(item.data(), &platform::StatusItem::clicked);
    start();
    scheduler.advance(0.1);
    ASSERT_NE(shownTip(), nullptr);
    backend->click(Qt::RightButton);
    backend->click(Qt::MiddleButton);
    scheduler.runPending();
    ASSERT_EQ(clicked.count(), 2);
    EXPECT_EQ(clicked.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(clicked.at(1).at(0).value<Qt::MouseButton>(), Qt::MiddleButton);
    EXPECT_NE(shownTip(), nullptr);
    EXPECT_EQ(returns, 0);

    // The primary click is still the tip's.
    backend->click(Qt::LeftButton);
    EXPECT_EQ(shownTip(), nullptr);
    scheduler.runPending();
    EXPECT_EQ(clicked.count(), 3);
    EXPECT_EQ(returns, 1);
}

TEST_F(WelcomePopoverTest, LeftAloneTheTipGoesAfterFiveSeconds)
{
    QSignalSpy clicked(item.data(), &platform::StatusItem::clicked);
    start();
    scheduler.advance(0.1);
    ASSERT_NE(shownTip(), nullptr);
    scheduler.advance(4.9);
    EXPECT_NE(shownTip(), nullptr);
    EXPECT_EQ(returns, 0);
    scheduler.advance(0.1);
    EXPECT_EQ(shownTip(), nullptr);
    EXPECT_EQ(returns, 1);
    backend->click(Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(scheduler.pendingCount(), 0U);
}

TEST_F(WelcomePopoverTest, AnItemGoneDuringTheFirstMomentShowsNothing)
{
    start();
    delete item.data();
    scheduler.advance(0.1);
    EXPECT_EQ(shownTip(), nullptr);
    EXPECT_EQ(returns, 1);
    EXPECT_EQ(scheduler.pendingCount(), 0U);
}

TEST_F(WelcomePopoverTest, UnderReducedMotionTheItemDoesNotShake)
{
    platform::ReduceMotion::setOverrideForTesting(true);
    start();
    scheduler.advance(0.1);
    EXPECT_NE(shownTip(), nullptr);
    EXPECT_EQ(item->shakeOffset(), QPointF(0, 0));
    EXPECT_TRUE(item->shakeAnimationForTesting() == nullptr
        || item->shakeAnimationForTesting()->state() != QAbstractAnimation::Running);
}
