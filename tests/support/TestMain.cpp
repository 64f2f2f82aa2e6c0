#include <QApplication>
#include <gtest/gtest.h>

// Tests run inside a QApplication so that timers, queued calls and widgets behave as in the
// application; the offscreen platform is set by CTest and defaulted here for direct runs.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
