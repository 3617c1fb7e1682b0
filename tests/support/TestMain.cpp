#include <QApplication>

#include <gtest/gtest.h>

// Tests run with a QApplication so that widget, timer and socket code works;
// QT_QPA_PLATFORM decides whether it is offscreen or the test display. Listing
// the tests (as test discovery does) needs no display at all.
int main(int argc, char* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
