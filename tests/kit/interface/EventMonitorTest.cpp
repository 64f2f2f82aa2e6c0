#include "kit/interface/CarbonLocalEventMonitor.h"
#include "kit/interface/KeyDescriptions.h"
#include "kit/interface/LocalEventMonitor.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

TEST(LocalEventMonitorTest, CallbackNeverSwallowsAndStoppingEndsIt)
{
    QLineEdit field;
    field.show();
    field.activateWindow();
    field.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    QWindow* window = field.windowHandle();

    int seen = 0;
    zk::LocalEventMonitor monitor({ QEvent::KeyPress }, [&](QEvent* event) -> QEvent* {
        ++seen;
        return static_cast<QKeyEvent*>(event)->key() == Qt::Key_X ? nullptr : event;
    });
    int published = 0;
    auto subscription = monitor.objectWillChange().sink([&](const QEvent*) { ++published; });
    monitor.start();

    QTest::keyClick(window, Qt::Key_A);
    QTest::keyClick(window, Qt::Key_X);
    QTest::keyClick(window, Qt::Key_B);
    // Returning nothing lets the key through unchanged: this monitor only observes.
    EXPECT_EQ(field.text(), "axb");
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(published, 3);

    monitor.stop();
    QTest::keyClick(window, Qt::Key_X);
    EXPECT_EQ(field.text(), "axbx");
    EXPECT_EQ(seen, 3);
}

TEST(LocalEventMonitorTest, ReplacementEventIsDeliveredInstead)
{
    QLineEdit field;
    field.show();
    field.activateWindow();
    field.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    QKeyEvent replacement(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z");
    bool replacing = false;
    zk::LocalEventMonitor monitor({ QEvent::KeyPress }, [&](QEvent* event) -> QEvent* {
        if (replacing || event == &replacement) {
            return event;
        }
        replacing = true;
        return &replacement;
    });
    monitor.start();
    QTest::keyClick(field.windowHandle(), Qt::Key_A);
    EXPECT_EQ(field.text(), "z");
}

using EventType = zk::CarbonLocalEventMonitor::EventType;

TEST(CarbonLocalEventMonitorTest, HandledEventsAreConsumedOthersGoOn)
{
    QLineEdit field;
    field.show();
    field.activateWindow();
    field.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    QWindow* window = field.windowHandle();

    std::vector<int> seen;
    zk::CarbonLocalEventMonitor monitor({ EventType::keyDown }, true, [&](QEvent* event) {
        seen.push_back(static_cast<QKeyEvent*>(event)->key());
        return static_cast<QKeyEvent*>(event)->key() == Qt::Key_X;
    });
    monitor.start();
    QTest::keyClick(window, Qt::Key_A);
    QTest::keyClick(window, Qt::Key_X);
    QTest::keyClick(window, Qt::Key_B);
    EXPECT_EQ(field.text(), "ab");
    // Key releases are not key-downs: the callback saw only the three presses.
    EXPECT_EQ(seen, (std::vector<int> { Qt::Key_A, Qt::Key_X, Qt::Key_B }));

    monitor.stop();
    monitor.stop();
    QTest::keyClick(window, Qt::Key_X);
    EXPECT_EQ(field.text(), "abx");
    EXPECT_EQ(seen.size(), 3u);
}

TEST(CarbonLocalEventMonitorTest, EmptySetInstallsNothingAndSpecsFollowRawOrder)
{
    int calls = 0;
    zk::CarbonLocalEventMonitor empty({}, true, [&](QEvent*) { return ++calls, true; });
    empty.start();
    EXPECT_FALSE(empty.isStarted());
    empty.stop();

    zk::CarbonLocalEventMonitor monitor({ EventType::mouseScroll, EventType::keyDown }, false, {});
    EXPECT_EQ(monitor.eventTypeSpecs(), (std::vector { EventType::keyDown, EventType::mouseScroll }));
}

TEST(CarbonLocalEventMonitorTest, EventKinds)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a", true);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_EQ(zk::CarbonLocalEventMonitor::eventType(press), EventType::keyDown);
    EXPECT_EQ(zk::CarbonLocalEventMonitor::eventType(repeat), EventType::keyRepeat);
    EXPECT_EQ(zk::CarbonLocalEventMonitor::eventType(release), EventType::keyUp);
    EXPECT_EQ(zk::CarbonLocalEventMonitor::eventType(shift), EventType::keyModifiersChanged);
    const QPointF at(1, 1);
    QMouseEvent moved(QEvent::MouseMove, at, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QMouseEvent dragged(QEvent::MouseMove, at, at, at, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    EXPECT_EQ(zk::CarbonLocalEventMonitor::eventType(moved), EventType::mouseMoved);
    EXPECT_EQ(zk::CarbonLocalEventMonitor::eventType(dragged), EventType::mouseDragged);
    EXPECT_EQ(zk::CarbonLocalEventMonitor::eventType(QEvent(QEvent::Paint)), std::nullopt);
}

TEST(KeyDescriptionsTest, ModifierSymbolsInTheirFixedOrder)
{
    EXPECT_EQ(zk::modifierDescription(Qt::MetaModifier | Qt::ControlModifier), "\u2303\u2318");
    EXPECT_EQ(
        zk::modifierDescription(Qt::MetaModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier),
        "\u2303\u2325\u21E7\u2318");
    EXPECT_EQ(zk::modifierDescription(Qt::KeypadModifier), "");
    EXPECT_EQ(zk::modifierDescription(Qt::NoModifier), "");
}

TEST(KeyDescriptionsTest, FunctionKeysAndLines)
{
    EXPECT_EQ(zk::functionKeys().size(), 35u);
    EXPECT_TRUE(zk::functionKeys().contains(Qt::Key_F35));
    EXPECT_FALSE(zk::functionKeys().contains(Qt::Key_Escape));
    EXPECT_FALSE(zk::functionKeys().contains(Qt::Key_Left));

    EXPECT_EQ(zk::formatKeyValueLines({}), "");
    EXPECT_EQ(zk::formatKeyValueLines({ { "Locale", "en" } }), "Locale: en");
    EXPECT_EQ(zk::formatKeyValueLines({ { "", "" }, { "b", "2" } }), ": \nb: 2");
}
