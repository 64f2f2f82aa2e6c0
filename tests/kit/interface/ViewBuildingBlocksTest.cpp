#include "kit/interface/AddedToSuperviewObserverView.h"
#include "kit/interface/ExpansionTextField.h"
#include "kit/interface/LazyOnAppearView.h"
#include "kit/interface/MultilineText.h"
#include "kit/interface/NonInteractiveImageView.h"
#include "kit/interface/NonInteractiveView.h"
#include "kit/interface/ScalableView.h"
#include "kit/interface/Shake.h"
#include "kit/interface/ViewConstraints.h"
#include "platform/ErrorReporter.h"
#include "platform/desktop/ReduceMotion.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>

namespace {

class ViewBuildingBlocksTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::ReduceMotion::setOverrideForTesting(false);
        platform::ErrorReporter::setShared(&reporter);
    }
    void TearDown() override
    {
        platform::ErrorReporter::setShared(nullptr);
        platform::ReduceMotion::setOverrideForTesting(std::nullopt);
    }

    std::vector<std::string> reportedMessages() const
    {
        std::vector<std::string> messages;
        std::ifstream file(reporter.reportsPath());
        for (std::string line; std::getline(file, line);) {
            messages.push_back(nlohmann::json::parse(line).at("message").get<std::string>());
        }
        return messages;
    }

    static void deliverDeferredDeletes()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTemporaryDir directory;
    platform::ErrorReporter reporter { directory.path().toStdString() };
};

// Paints one red unit square at its origin, on white.
class UnitSquare : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.fillRect(QRect(0, 0, 1, 1), Qt::red);
    }
};

} // namespace

TEST_F(ViewBuildingBlocksTest, AClickOnANonInteractiveViewReachesTheViewUnderIt)
{
    QWidget window;
    window.resize(200, 100);
    auto* button = new QPushButton("Below", &window);
    button->setGeometry(0, 0, 200, 100);
    auto* cover = new zk::NonInteractiveView(&window);
    cover->setGeometry(0, 0, 200, 100);
    auto* picture = new zk::NonInteractiveImageView(QPixmap(10, 10), &window);
    picture->setGeometry(50, 25, 100, 50);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_EQ(window.childAt(QPoint(100, 50)), button);
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(100, 50));
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(cover->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(picture->focusPolicy(), Qt::NoFocus);
}

TEST_F(ViewBuildingBlocksTest, TheObserverWaitsForAShownWindowThenFiresOnceAndLeaves)
{
    QWidget window;
    auto* container = new QWidget; // in no window yet
    QPointer<zk::AddedToSuperviewObserverView> observer = new zk::AddedToSuperviewObserverView;
    int fired = 0;
    observer->onAdded = [&] { ++fired; };
    observer->setParent(container);
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 0);

    window.show();
    container->setParent(&window);
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 0); // the container itself is not shown yet
    container->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 1);
    deliverDeferredDeletes();
    EXPECT_TRUE(observer.isNull());
    EXPECT_TRUE(container->findChildren<QWidget*>().isEmpty());

    window.hide();
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 1);
}

TEST_F(ViewBuildingBlocksTest, TheObserverFiresOnTheNextTurnInAParentAlreadyOnScreen)
{
    QWidget window;
    window.show();
    int fired = 0;
    QPointer<zk::AddedToSuperviewObserverView> observer = new zk::AddedToSuperviewObserverView;
    observer->onAdded = [&] { ++fired; };
    observer->setParent(&window);
    EXPECT_EQ(fired, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 1);
    deliverDeferredDeletes();
    EXPECT_TRUE(observer.isNull());
}

TEST_F(ViewBuildingBlocksTest, TheObserverSurvivesACallbackThatDeletesItsParent)
{
    QWidget window;
    window.show();
    QPointer<QWidget> container = new QWidget(&window);
    container->show();
    QPointer<zk::AddedToSuperviewObserverView> observer = new zk::AddedToSuperviewObserverView;
    observer->onAdded = [&] { delete container.data(); };
    observer->setParent(container);
    deliverDeferredDeletes();
    EXPECT_TRUE(container.isNull());
    EXPECT_TRUE(observer.isNull());
}

TEST_F(ViewBuildingBlocksTest, TheTextFieldOffersItsTextAsTooltipExactlyWhileItIsCut)
{
    zk::ExpansionTextField field("Short");
    field.resize(field.sizeHint().width() + 20, field.sizeHint().height());
    field.show();
    EXPECT_FALSE(field.isTruncated());
    EXPECT_TRUE(field.toolTip().isEmpty());

    const QString longText = "A rather long text that cannot fit into a narrow field";
    field.setText(longText);
    EXPECT_TRUE(field.isTruncated());
    EXPECT_EQ(field.toolTip(), longText);

    field.resize(field.fontMetrics().horizontalAdvance(longText) + 40, field.height());
    EXPECT_FALSE(field.isTruncated());
    EXPECT_TRUE(field.toolTip().isEmpty());

    field.resize(30, field.height());
    EXPECT_EQ(field.toolTip(), longText);
    // The text itself stays whole; only its picture is cut.
    EXPECT_EQ(field.text(), longText);
    EXPECT_LT(field.minimumSizeHint().width(), 30);
    EXPECT_FALSE(field.grab().isNull());
}

TEST_F(ViewBuildingBlocksTest, EachScaleStartsFromUnitScale)
{
    zk::ScalableView view;
    view.resize(60, 30);
    view.setScale(2);
    EXPECT_EQ(view.scale(), 2);
    view.setScale(3);
    EXPECT_EQ(view.scale(), 3);
    EXPECT_EQ(view.contentSize(), QSize(20, 10));
    view.scaleTo(QSizeF(1.5, 3));
    EXPECT_EQ(view.scaleSize(), QSizeF(1.5, 3));
    EXPECT_EQ(view.contentSize(), QSize(40, 10));
    EXPECT_TRUE(reportedMessages().empty());
}

TEST_F(ViewBuildingBlocksTest, ANonFiniteScaleChangesNothingAndIsReportedOnce)
{
    zk::ScalableView view;
    view.resize(60, 30);
    view.setScale(2);
    view.scaleTo(QSizeF(2, std::numeric_limits<double>::infinity()));
    EXPECT_EQ(view.scaleSize(), QSizeF(2, 2));
    EXPECT_EQ(
        reportedMessages(), (std::vector<std::string> { "The given scale size 2\u00D7inf is not finite." }));
    view.setScale(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(view.scale(), 2);
    EXPECT_EQ(reportedMessages().size(), 2U);
}

TEST_F(ViewBuildingBlocksTest, TheContentIsDrawnMagnified)
{
    zk::ScalableView view;
    view.resize(12, 12);
    view.setContentWidget(new UnitSquare);
    view.setScale(3);
    const QImage picture = view.grab().toImage();
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(picture.pixelColor(2, 2), QColor(Qt::red));
    EXPECT_EQ(picture.pixelColor(3, 3), QColor(Qt::white));
    EXPECT_EQ(view.contentWidget()->size(), QSize(4, 4));

    // Setting the same content again keeps it; a new one replaces and deletes the old.
    const QPointer<QWidget> content = view.contentWidget();
    view.setContentWidget(content);
    ASSERT_FALSE(content.isNull());
    EXPECT_EQ(view.contentWidget(), content.data());
    EXPECT_EQ(view.grab().toImage().pixelColor(2, 2), QColor(Qt::red));
    view.setContentWidget(new UnitSquare);
    EXPECT_TRUE(content.isNull());
}

TEST_F(ViewBuildingBlocksTest, EdgesFollowTheParentWithTheirInsets)
{
    QWidget parent;
    parent.resize(200, 100);
    auto* child = new QWidget(&parent);
    parent.show();
    zk::constrainEdges(*child, parent, QMargins(10, 10, 10, 10));
    EXPECT_EQ(child->geometry(), QRect(10, 10, 180, 80));
    parent.resize(300, 150);
    EXPECT_EQ(child->geometry(), QRect(10, 10, 280, 130));
}

TEST_F(ViewBuildingBlocksTest, EdgesFollowASiblingAndEndWithIt)
{
    QWidget parent;
    parent.resize(300, 300);
    auto* other = new QWidget(&parent);
    other->setGeometry(20, 20, 100, 50);
    other->show();
    auto* view = new QWidget(&parent);
    parent.show();
    zk::constrainEdges(*view, *other, QMargins(5, 1, 15, 2));
    EXPECT_EQ(view->geometry(), QRect(25, 21, 80, 47));
    other->move(40, 60);
    EXPECT_EQ(view->geometry(), QRect(45, 61, 80, 47));
    delete other;
    parent.resize(400, 400); // nothing left to follow
    EXPECT_EQ(view->geometry(), QRect(45, 61, 80, 47));
}

TEST_F(ViewBuildingBlocksTest, ConstrainFixesTheSize)
{
    QWidget parent;
    auto* layout = new QVBoxLayout(&parent);
    auto* view = new QWidget;
    layout->addWidget(view);
    zk::constrain(*view, 40, 25);
    parent.resize(300, 300);
    parent.show();
    layout->activate();
    EXPECT_EQ(view->size(), QSize(40, 25));
}

TEST_F(ViewBuildingBlocksTest, MultilineTextGrowsDownwardsToShowEveryLine)
{
    QWidget window;
    window.setFixedWidth(160);
    auto* layout = new QVBoxLayout(&window);
    auto* label = new QLabel("Kiruvo measures how long you have been at the computer and reminds you to take "
                             "a break now and then.");
    layout->addWidget(&zk::multilineText(*label));
    layout->addStretch();
    window.show();
    layout->activate();
    const int oneLine = label->fontMetrics().height();
    EXPECT_GT(label->height(), 2 * oneLine);
    EXPECT_GE(label->height(), label->heightForWidth(label->width()));
    EXPECT_LE(label->width(), 160);
}

TEST_F(ViewBuildingBlocksTest, ShakeOffsetsFollowTheKeyFrames)
{
    EXPECT_DOUBLE_EQ(zk::shakeOffset(0, 4), -4);
    EXPECT_DOUBLE_EQ(zk::shakeOffset(0.125, 4), 0);
    EXPECT_DOUBLE_EQ(zk::shakeOffset(0.25, 4), 4);
    EXPECT_DOUBLE_EQ(zk::shakeOffset(0.5, 4), -2);
    EXPECT_DOUBLE_EQ(zk::shakeOffset(0.75, 4), 2);
    EXPECT_DOUBLE_EQ(zk::shakeOffset(1, 4), 0);
    EXPECT_DOUBLE_EQ(zk::shakeOffset(std::numeric_limits<double>::quiet_NaN(), 4), 0);
}

TEST_F(ViewBuildingBlocksTest, AShakeMovesAlongOneAxisAndComesBackToRest)
{
    QWidget parent;
    auto* widget = new QWidget(&parent);
    widget->move(50, 40);
    QPointer<QVariantAnimation> animation = zk::shake(*widget, 0.4, 6, true);
    ASSERT_TRUE(animation);
    animation->pause();
    animation->setCurrentTime(0);
    EXPECT_EQ(widget->pos(), QPoint(50, 34));
    animation->setCurrentTime(200); // the middle of a symmetric ease
    EXPECT_EQ(widget->pos(), QPoint(50, 37));

    // A second shake starts from the resting place, not from where the first one is.
    QPointer<QVariantAnimation> second = zk::shake(*widget, 0.4, 6, false);
    EXPECT_TRUE(animation.isNull());
    ASSERT_TRUE(second);
    second->pause();
    second->setCurrentTime(0);
    EXPECT_EQ(widget->pos(), QPoint(44, 40));
    second->setCurrentTime(400);
    EXPECT_EQ(widget->pos(), QPoint(50, 40));
}

TEST_F(ViewBuildingBlocksTest, NothingShakesUnderReducedMotion)
{
    platform::ReduceMotion::setOverrideForTesting(true);
    QWidget widget;
    widget.move(10, 10);
    EXPECT_FALSE(zk::shake(widget, 0.3, 5, true));
    EXPECT_EQ(widget.pos(), QPoint(10, 10));
}

TEST_F(ViewBuildingBlocksTest, LazyContentIsBuiltOnceOnTheTurnAfterTheFirstShowing)
{
    int builds = 0;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* lazy = new zk::LazyOnAppearView([&] {
        ++builds;
        return new QLabel("Built");
    });
    layout->addWidget(lazy);
    QCoreApplication::processEvents();
    EXPECT_EQ(builds, 0);

    window.show();
    // The first picture is the empty placeholder.
    EXPECT_EQ(builds, 0);
    EXPECT_EQ(lazy->content(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(builds, 1);
    ASSERT_NE(qobject_cast<QLabel*>(lazy->content()), nullptr);
    EXPECT_TRUE(lazy->content()->isVisible());

    window.hide();
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(builds, 1);
}
