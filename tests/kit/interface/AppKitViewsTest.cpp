#include "kit/interface/ButtonValues.h"
#include "kit/interface/CocoaLabel.h"
#include "kit/interface/Coordinate2D.h"
#include "kit/interface/FlippedView.h"
#include "kit/interface/LabelButton.h"
#include "kit/interface/ProgressSpinnerSheet.h"
#include "kit/interface/ResponderChain.h"
#include "kit/interface/StaticToolbar.h"
#include "kit/interface/TrackingArea.h"
#include "kit/interface/WindowResizeObserverView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEnterEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

TEST(AppKitViewsTest, LabelColourFollowsEnabledAndButtonsLetClicksThrough)
{
    QWidget parent;
    auto* label = new zk::CocoaLabel("Text");
    EXPECT_EQ(label->foregroundRole(), QPalette::WindowText);
    label->setEnabled(false);
    EXPECT_EQ(label->foregroundRole(), QPalette::PlaceholderText);
    label->setEnabled(true);
    EXPECT_EQ(label->foregroundRole(), QPalette::WindowText);
    label->setParent(&parent);
    EXPECT_EQ(label->size(), label->sizeHint());

    zk::LabelButton button("Look");
    EXPECT_TRUE(button.testAttribute(Qt::WA_TransparentForMouseEvents));
    zk::FlippedView flipped;
    EXPECT_TRUE(flipped.isFlipped());
}

TEST(AppKitViewsTest, BooleanButtonValues)
{
    QCheckBox box;
    box.setTristate(true);
    box.setCheckState(Qt::PartiallyChecked);
    EXPECT_TRUE(zk::boolValue(box));
    zk::setBoolValue(box, false);
    EXPECT_EQ(box.checkState(), Qt::Unchecked);
    EXPECT_FALSE(zk::boolValue(box));
    zk::setBoolValue(box, true);
    EXPECT_EQ(box.checkState(), Qt::Checked);

    std::unique_ptr<QPushButton> button(zk::makeButton("Go"));
    EXPECT_EQ(button->text(), "Go");
    zk::setBoolValue(*button, true); // not checkable: stays off
    EXPECT_FALSE(zk::boolValue(*button));
    button->setCheckable(true);
    zk::setBoolValue(*button, true);
    EXPECT_TRUE(zk::boolValue(*button));
}

TEST(AppKitViewsTest, ResizeObserverFollowsItsCurrentWindowAndFullScreen)
{
    QWidget first;
    QWidget second;
    auto* observer = new zk::WindowResizeObserverView(&first);
    int resizes = 0;
    observer->onResize = [&] { ++resizes; };
    EXPECT_EQ(observer->focusPolicy(), Qt::NoFocus);
    first.resize(300, 200);
    QCoreApplication::sendPostedEvents();
    first.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    const int afterShow = resizes;
    EXPECT_GE(afterShow, 1);
    first.showFullScreen();
    QTest::qWait(0);
    EXPECT_GT(resizes, afterShow);

    observer->setParent(&second);
    const int moved = resizes;
    first.showNormal();
    first.resize(200, 100);
    QTest::qWait(0);
    EXPECT_EQ(resizes, moved);
    second.resize(250, 150);
    second.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    EXPECT_GT(resizes, moved);
}

TEST(AppKitViewsTest, TrackingAreaReportsEnteringMovingAndLeavingItsRectangle)
{
    QWidget view;
    view.resize(200, 200);
    std::vector<std::string> seen;
    auto area = std::make_unique<zk::TrackingArea>(
        &view, QRect(50, 50, 50, 50), zk::TrackingArea::mouseEnteredAndExited | zk::TrackingArea::mouseMoved);
    QObject::connect(area.get(), &zk::TrackingArea::mouseEntered, [&] { seen.push_back("enter"); });
    QObject::connect(area.get(), &zk::TrackingArea::mouseExited, [&] { seen.push_back("exit"); });
    QObject::connect(area.get(), &zk::TrackingArea::mouseMovedTo, [&](QPoint) { seen.push_back("move"); });
    EXPECT_TRUE(view.hasMouseTracking());
    auto move = [&](QPoint at) {
        QMouseEvent event(
            QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &event);
    };
    move({ 10, 10 });
    move({ 60, 60 });
    move({ 70, 70 });
    move({ 150, 150 });
    EXPECT_EQ(seen, (std::vector<std::string> { "enter", "move", "move", "exit" }));
    seen.clear();
    area->setRect(QRect(0, 0, 20, 20));
    move({ 10, 10 });
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&view, &leave);
    EXPECT_EQ(seen, (std::vector<std::string> { "enter", "move", "exit" }));
    area.reset();
    move({ 10, 10 });
    EXPECT_EQ(seen.size(), 3u);
}

TEST(AppKitViewsTest, ProgressSheetShowsTextOnlyWhenThereIsSomeAndEscapeCancels)
{
    QWidget presenter;
    presenter.resize(400, 300);
    presenter.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&presenter));
    zk::ProgressSpinnerSheet sheet;
    int cancelled = 0;
    sheet.onCancel = [&] { ++cancelled; };
    sheet.setText("Exporting…");
    EXPECT_FALSE(sheet.label()->isHidden());
    sheet.setText(QString());
    EXPECT_TRUE(sheet.label()->isHidden());

    sheet.showSheet(&presenter);
    sheet.setText("Working");
    EXPECT_TRUE(sheet.isShown());
    EXPECT_EQ(sheet.presenterWindow(), &presenter);
    EXPECT_EQ(sheet.windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet.spinner()->maximum(), 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));

    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(cancelled, 1);
    QTest::qWait(0);
    EXPECT_FALSE(sheet.isShown());
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.text(), "");
    EXPECT_TRUE(sheet.label()->isHidden());
    EXPECT_NE(sheet.spinner()->maximum(), 0);
}

TEST(AppKitViewsTest, StaticToolbarKeepsItsItemsInOrder)
{
    auto* share = new QAction("Share");
    auto* remove = new QAction("Delete");
    zk::StaticToolbar toolbar(
        { { "share", share }, { "delete", remove }, { "share", new QAction("Again") } });
    EXPECT_EQ(toolbar.toolbarItemIdentifiers(), (std::vector<QString> { "share", "delete" }));
    EXPECT_EQ(toolbar.defaultItemIdentifiers(), toolbar.allowedItemIdentifiers());
    EXPECT_EQ(toolbar.item("delete"), remove);
    EXPECT_EQ(toolbar.item("missing"), nullptr);
    EXPECT_EQ(toolbar.actions().size(), 2);
    EXPECT_FALSE(toolbar.isMovable());
}

TEST(AppKitViewsTest, ResponderChainAndFirstResponder)
{
    QWidget window;
    auto* group = new QWidget(&window);
    auto* field = new QLineEdit(group);
    EXPECT_EQ(zk::responderChain(field), (std::vector<QWidget*> { field, group, &window }));
    EXPECT_TRUE(zk::responderChain(nullptr).empty());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    field->setFocus();
    EXPECT_EQ(zk::firstResponder(&window), field);
    EXPECT_EQ(zk::firstResponder(group), field);
    EXPECT_EQ(zk::firstResponder(), field);
}

TEST(AppKitViewsTest, CoordinateIdentityEqualityAndDistance)
{
    const zk::Coordinate2D a { 1.5, -2.0 };
    EXPECT_EQ(a.id(), "1.5--2.0");
    EXPECT_EQ((zk::Coordinate2D { 0.1, 10 }).id(), "0.1-10.0");
    EXPECT_EQ(a, (zk::Coordinate2D { 1.5, -2.0 }));
    EXPECT_NE(a, (zk::Coordinate2D { 1.5, 2.0 }));
    EXPECT_DOUBLE_EQ(a.distance(a), 0);
    // One degree of longitude on the equator, about 111.2 km.
    EXPECT_NEAR((zk::Coordinate2D { 0, 0 }).distance({ 0, 1 }), 111195, 5);
    // Paris to London, about 343.5 km.
    EXPECT_NEAR((zk::Coordinate2D { 48.8566, 2.3522 }).distance({ 51.5074, -0.1278 }), 343500, 1500);
}
