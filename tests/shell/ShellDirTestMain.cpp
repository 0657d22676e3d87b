// Runs the folder chooser tests on the offscreen platform with one 1280 x 1024 screen.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + KK_OFFSCREEN_CONFIG);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
