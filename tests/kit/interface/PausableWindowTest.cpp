#include "kit/interface/UserInteractionPausableWindow.h"
#include "kit/interface/WindowUtilities.h"
#include "kit/interface/ZKCAAnimationDelegate.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <gtest/gtest.h>

namespace {

// Counts what reaches a widget.
class Recorder : public QWidget {
public:
    std::vector<QEvent::Type> seen;

protected:
    bool event(QEvent* event) override
    {
        seen.push_back(event->type());
        return QWidget::event(event);
    }
};

} // namespace

TEST(UserInteractionPausableWindowTest, PausedWindowDropsInputButKeepsMotionAndItsOwnEvents)
{
    zk::UserInteractionPausableWindow window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit;
    auto* button = new QPushButton("Go");
    layout->addWidget(field);
    layout->addWidget(button);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    field->setFocus();

    window.setUserInteractionEnabled(false);
    EXPECT_FALSE(window.isUserInteractionEnabled());
    QTest::keyClicks(field, "ab");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(clicks, 0);

    // Another window is not paused.
    QLineEdit other;
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    QTest::keyClicks(&other, "x");
    EXPECT_EQ(other.text(), "x");

    window.setUserInteractionEnabled(true);
    QTest::keyClicks(field, "ab");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(field->text(), "ab");
    EXPECT_EQ(clicks, 1);
}

TEST(UserInteractionPausableWindowTest, DropListHoldsExactlyTheUserInput)
{
    using W = zk::UserInteractionPausableWindow;
    const QPointF at(1, 1);
    const QMouseEvent moved(QEvent::MouseMove, at, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    const QMouseEvent dragged(QEvent::MouseMove, at, at, at, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    const QMouseEvent press(
        QEvent::MouseButtonPress, at, at, at, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    EXPECT_FALSE(W::isDroppedWhilePaused(moved));
    EXPECT_TRUE(W::isDroppedWhilePaused(dragged));
    EXPECT_TRUE(W::isDroppedWhilePaused(press));
    // Modifier changes still arrive; a key with a modifier held is input.
    for (const auto type : { QEvent::KeyPress, QEvent::KeyRelease }) {
        for (const int key :
            { Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_CapsLock }) {
            EXPECT_FALSE(W::isDroppedWhilePaused(QKeyEvent(type, key, Qt::NoModifier))) << key;
        }
        EXPECT_TRUE(W::isDroppedWhilePaused(QKeyEvent(type, Qt::Key_A, Qt::ShiftModifier)));
        EXPECT_TRUE(W::isDroppedWhilePaused(QKeyEvent(type, Qt::Key_Return, Qt::NoModifier)));
    }
    for (const auto type : { QEvent::Enter, QEvent::Leave, QEvent::HoverMove, QEvent::Paint, QEvent::Resize,
             QEvent::Close, QEvent::FocusIn, QEvent::WindowActivate }) {
        EXPECT_FALSE(W::isDroppedWhilePaused(QEvent(type))) << type;
    }
    for (const auto type : { QEvent::Wheel, QEvent::TabletPress, QEvent::TouchBegin, QEvent::NativeGesture,
             QEvent::KeyRelease, QEvent::MouseButtonDblClick }) {
        EXPECT_TRUE(W::droppedEventTypes().contains(type)) << type;
    }
}

TEST(UserInteractionPausableWindowTest, APausedWindowStillHearsTheModifierKeys)
{
    zk::UserInteractionPausableWindow window;
    auto* recorder = new Recorder;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(recorder);
    recorder->setFocusPolicy(Qt::StrongFocus);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    recorder->setFocus();
    window.setUserInteractionEnabled(false);

    std::vector<int> keys;
    struct KeyRecorder : QObject {
        std::vector<int>* keys;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
                keys->push_back(static_cast<QKeyEvent*>(event)->key());
            }
            return false;
        }
    } filter;
    filter.keys = &keys;
    recorder->installEventFilter(&filter);
    QTest::keyPress(recorder, Qt::Key_Shift);
    QTest::keyClick(recorder, Qt::Key_B);
    QTest::keyRelease(recorder, Qt::Key_Shift);
    QTest::keyPress(recorder, Qt::Key_Control);
    QTest::keyRelease(recorder, Qt::Key_Control);
    QTest::keyPress(recorder, Qt::Key_Alt);
    QTest::keyRelease(recorder, Qt::Key_Alt);
    EXPECT_EQ(keys,
        (std::vector<int> {
            Qt::Key_Shift, Qt::Key_Shift, Qt::Key_Control, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Alt }))
        << "only the letter is dropped";
    recorder->removeEventFilter(&filter);
}

TEST(UserInteractionPausableWindowTest, APausedWindowStillSeesThePointerEnter)
{
    zk::UserInteractionPausableWindow window;
    auto* recorder = new Recorder;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(recorder);
    recorder->setMouseTracking(true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.setUserInteractionEnabled(false);
    recorder->seen.clear();
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(recorder, &enter);
    QTest::mousePress(recorder, Qt::LeftButton);
    EXPECT_NE(std::find(recorder->seen.begin(), recorder->seen.end(), QEvent::Enter), recorder->seen.end());
    EXPECT_EQ(std::find(recorder->seen.begin(), recorder->seen.end(), QEvent::MouseButtonPress),
        recorder->seen.end());
}

TEST(WindowLevelsTest, FinerLevelsCollapseOntoBelowAndAbove)
{
    EXPECT_EQ(zk::windowLevel(zk::ExtraWindowLevel::desktop), zk::WindowLevel::below);
    EXPECT_EQ(zk::windowLevel(zk::ExtraWindowLevel::backstopMenu), zk::WindowLevel::below);
    EXPECT_EQ(zk::windowLevel(zk::ExtraWindowLevel::assistiveTechHigh), zk::WindowLevel::floating);
    EXPECT_EQ(zk::windowLevel(zk::ExtraWindowLevel::maximum), zk::WindowLevel::floating);

    QWidget window;
    zk::setWindowLevel(window, zk::WindowLevel::below);
    EXPECT_EQ(zk::windowLevel(window), zk::WindowLevel::below);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnBottomHint));
    zk::setWindowLevel(window, zk::WindowLevel::floating);
    EXPECT_EQ(zk::windowLevel(window), zk::WindowLevel::floating);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnBottomHint));
    zk::setWindowLevel(window, zk::WindowLevel::normal);
    EXPECT_EQ(zk::windowLevel(window), zk::WindowLevel::normal);
}

TEST(ZKCAAnimationDelegateTest, ReportsStartAndWhetherTheAnimationFinished)
{
    std::vector<std::string> calls;
    auto makeDelegate = [&](QVariantAnimation& animation) {
        auto* delegate = new zk::ZKCAAnimationDelegate;
        delegate->didStartHandler = [&] { calls.push_back("start"); };
        delegate->didStopHandler = [&](bool finished) { calls.push_back(finished ? "finished" : "stopped"); };
        delegate->attach(animation);
    };
    QVariantAnimation finishing;
    finishing.setStartValue(0.0);
    finishing.setEndValue(1.0);
    finishing.setDuration(10);
    makeDelegate(finishing);
    finishing.start();
    finishing.setCurrentTime(10);
    EXPECT_EQ(calls, (std::vector<std::string> { "start", "finished" }));

    calls.clear();
    QVariantAnimation stopped;
    stopped.setStartValue(0.0);
    stopped.setEndValue(1.0);
    stopped.setDuration(1000);
    makeDelegate(stopped);
    stopped.start();
    stopped.stop();
    EXPECT_EQ(calls, (std::vector<std::string> { "start", "stopped" }));

    // Without handlers nothing happens.
    zk::ZKCAAnimationDelegate bare;
    bare.animationDidStart();
    bare.animationDidStop(true);
}
