#include "kit/interface/KeyDescriptions.h"
#include "kit/interface/LocalEventMonitor.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

TEST(LocalEventMonitorTest, CallbackSwallowsOrLetsThroughAndStoppingEndsIt)
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
    EXPECT_EQ(field.text(), "ab");
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(published, 3);

    monitor.stop();
    QTest::keyClick(window, Qt::Key_X);
    EXPECT_EQ(field.text(), "abx");
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
