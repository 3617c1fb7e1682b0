#include <QApplication>

#include <gtest/gtest.h>

// Tests run with a QApplication so that widget, timer and socket code works;
// QT_QPA_PLATFORM decides whether it is offscreen or the test display.
int main(int argc, char* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
