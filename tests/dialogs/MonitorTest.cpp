// Monitor choice on two screens: the primary one (0, 0, 1280 x 1024) and one
// left of it (-1024, 0, 1024 x 768), so that coordinates there are negative.
#include "DialogTestSupport.h"
#include "MsgDialogs.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace MsgDialogs;
using DialogTest::WhenShown;

namespace {

const QString kForm = QStringLiteral("MessageForm");
const QRect kPrimary(0, 0, 1280, 1024);
const QRect kLeft(-1024, 0, 1024, 768);

// A window made active on the given screen area, as the user's window would be.
class ActiveWindow {
public:
    explicit ActiveWindow(const QRect& geometry)
    {
        window_.setGeometry(geometry);
        window_.show();
        window_.activateWindow();
        QApplication::setActiveWindow(&window_);
        active_ = QTest::qWaitForWindowActive(&window_, 60000);
    }
    bool IsActive() const { return active_; }

private:
    QWidget window_;
    bool active_ = false;
};

QPoint CentreIn(const QRect& area, QSize size)
{
    return QPoint(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

}  // namespace

TEST(Monitors, TheScreensAreAsConfigured)
{
    ASSERT_EQ(QGuiApplication::screens().size(), 2);
    EXPECT_EQ(QGuiApplication::primaryScreen()->geometry(), kPrimary);
}

TEST(Monitors, FitToWorkAreaUsesTheMonitorAtOrNearestThePoint)
{
    struct Case {
        const char* what;
        QPoint origin;
        QSize size;
        QPoint expected;
    } const cases[] = {
        {"on the left monitor, past its right and bottom edges", {-100, 700}, {200, 100}, {-220, 638}},
        {"on the left monitor, inside", {-1000, 10}, {200, 100}, {-1000, 10}},
        {"below the left monitor: nearest is the left one", {-500, 900}, {100, 100}, {-500, 638}},
        {"left of everything", {-3000, 10}, {100, 100}, {-1004, 10}},
        {"on the primary monitor", {1270, 10}, {100, 100}, {1160, 10}},
    };
    for (const Case& c : cases) {
        int x = c.origin.x();
        int y = c.origin.y();
        FitToWorkArea(x, y, c.size.width(), c.size.height());
        EXPECT_EQ(QPoint(x, y), c.expected) << c.what;
    }
}

TEST(Monitors, CentredDialogOpensOnTheChosenMonitor)
{
    ActiveWindow user(QRect(-900, 100, 300, 200));
    ASSERT_TRUE(user.IsActive());

    struct Case {
        const char* what;
        DialogMonitor monitor;
        QRect area;
    } const cases[] = {
        {"active window's monitor", DialogMonitor::ActiveForm, kLeft},
        {"primary monitor", DialogMonitor::Primary, kPrimary},
        {"desktop means the primary monitor", DialogMonitor::Desktop, kPrimary},
        {"no main window: the primary monitor", DialogMonitor::MainForm, kPrimary},
    };
    for (const Case& c : cases) {
        QPoint pos;
        QSize size;
        WhenShown(kForm, [&](QDialog* d) {
            pos = d->pos();
            size = d->size();
            d->close();
        });
        EXPECT_EQ(ErrorDialog(QStringLiteral("Fehler hier"), c.monitor), DialogResult::Cancel);
        EXPECT_EQ(pos, CentreIn(c.area, size)) << c.what;
    }
}

TEST(Monitors, PlacedDialogMovesToTheChosenMonitor)
{
    ActiveWindow user(QRect(100, 100, 300, 200));
    ASSERT_TRUE(user.IsActive());

    struct Case {
        const char* what;
        QPoint point;
        DialogMonitor monitor;
        QPoint expected;
    } const cases[] = {
        {"same offset on the active window's monitor", {-1000, 100}, DialogMonitor::ActiveForm, {24, 100}},
        {"desktop: stays where placed", {-1000, 100}, DialogMonitor::Desktop, {-1000, 100}},
        {"already on the chosen monitor", {300, 400}, DialogMonitor::ActiveForm, {300, 400}},
    };
    for (const Case& c : cases) {
        QPoint pos;
        WhenShown(kForm, [&](QDialog* d) {
            pos = d->pos();
            d->close();
        });
        ConfirmDialogAt(c.point, QStringLiteral("Frage"), DialogButton::Yes, c.monitor);
        EXPECT_EQ(pos, c.expected) << c.what;
    }
}

TEST(Monitors, MoveToMonitorPullsBackInsideRightAndBottom)
{
    // 900 from the left monitor's left edge does not fit a 1024 wide monitor
    // for a 300 wide window.
    EXPECT_EQ(MoveToMonitor(QRect(-124, 700, 300, 200), kLeft, QRect(0, 0, 1024, 768)), QPoint(724, 568));
}
