// Runs the dialog tests on the offscreen platform with the screen layout the
// test binary was built for, whatever QT_QPA_PLATFORM says.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + KK_OFFSCREEN_CONFIG);
#ifdef KK_SCALE_FACTOR
    qputenv("QT_SCALE_FACTOR", KK_SCALE_FACTOR);
#endif
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
