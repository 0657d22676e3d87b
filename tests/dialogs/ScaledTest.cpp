// Message dialogs at a display scale of 2 on a 2560 x 1600 screen with window frames: the first
// dialog of a run is measured before it is placed, like every later one, and lies centred
// inside the work area.
#include "DialogTestSupport.h"
#include "MsgDialogs.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace MsgDialogs;
using DialogTest::WhenShown;

namespace {

TEST(ScaledDialogs, TheFirstWideErrorIsCentredInsideTheWorkAreaAsTheNextOne)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_EQ(area.size(), QSize(1280, 800)) << "the scale factor is not in effect";
    // Wider than half the screen, where the message wraps.
    const QString message = QStringLiteral("Verzeichnis \"/home/anwender/")
                            + QStringLiteral("sehr-langer-Verzeichnisname ").repeated(12)
                            + QStringLiteral("\" nicht gefunden!");
    std::vector<QRect> frames;
    for (int run = 0; run < 2; ++run) {
        WhenShown(QStringLiteral("MessageForm"), [&](QDialog* d) {
            frames.push_back(d->frameGeometry());
            QTest::keyClick(d->focusWidget(), Qt::Key_Return);
        });
        EXPECT_EQ(ErrorDialog(message), DialogResult::OK);
    }
    ASSERT_EQ(frames.size(), 2u);
    const QRect first = frames[0];
    EXPECT_GT(first.width(), area.width() / 2);
    EXPECT_TRUE(area.contains(first)) << first.x() << "," << first.y() << " " << first.width() << "x" << first.height();
    EXPECT_LE(std::abs(first.center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(first.center().y() - area.center().y()), 1);
    EXPECT_EQ(frames[1], first);
}

}  // namespace
