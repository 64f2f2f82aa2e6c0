#pragma once

#include <QTest>
#include <gtest/gtest.h>

// Qt's QTRY_ macros report a failure to QTest's own log and return: outside QTest::qExec nothing
// fails the GoogleTest test, so a wait that ran out passed silently and the checks after it were
// skipped. These wait the same way (events processed while waiting) and then assert through
// GoogleTest, so a wait that runs out fails the test with the values compared.
#define KIRUVO_TRY_COMPARE_WITH_TIMEOUT(actual, expected, timeoutMilliseconds)                               \
    do {                                                                                                     \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }, (timeoutMilliseconds));                \
        ASSERT_EQ((actual), (expected)) << "still different after " << (timeoutMilliseconds) << " ms";       \
    } while (false)

#define KIRUVO_TRY_VERIFY_WITH_TIMEOUT(condition, timeoutMilliseconds)                                       \
    do {                                                                                                     \
        (void)QTest::qWaitFor([&] { return static_cast<bool>(condition); }, (timeoutMilliseconds));          \
        ASSERT_TRUE(condition) << "still false after " << (timeoutMilliseconds) << " ms";                    \
    } while (false)
