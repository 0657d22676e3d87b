// Dialogs on one 1024 x 768 screen whose windows have frames: the whole
// window, frame included, goes into the work area, not just its client area.
#include "DialogTestSupport.h"
#include "MsgDialogs.h"
#include "SelectDlg.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <qpa/qwindowsysteminterface.h>

#include <gtest/gtest.h>

using namespace MsgDialogs;
using DialogTest::WhenShown;

namespace {

const QRect kScreen(0, 0, 1024, 768);

struct Shown {
    QRect frame;
    QRect client;
};

// Shows a yes/no question at point and returns where its window was.
Shown ConfirmAt(QPoint point)
{
    Shown shown;
    WhenShown(QStringLiteral("MessageForm"), [&](QDialog* d) {
        shown = {d->frameGeometry(), d->geometry()};
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
    });
    EXPECT_TRUE(ConfirmDialogAt(point, QStringLiteral("Die Datei \"Katalog.sqlite\" gibt es schon. Überschreiben?")));
    return shown;
}

// Panels of a desktop on the screen while it lives: the screen's work area (available
// geometry) becomes smaller than the monitor, as the window system reports it. The offscreen
// platform has no panels of its own.
class Panels {
public:
    explicit Panels(const QRect& workArea) { Set(workArea); }
    ~Panels() { Set(kScreen); }
    static void Set(const QRect& workArea)
    {
        QScreen* screen = QGuiApplication::primaryScreen();
        QWindowSystemInterface::handleScreenGeometryChange(screen, kScreen, workArea);
        QWindowSystemInterface::flushWindowSystemEvents();
    }
};

}  // namespace

TEST(FramedDialogs, MessageDialogFitsWithItsFrame)
{
    const Shown corner = ConfirmAt(QPoint(1020, 760));
    ASSERT_NE(corner.frame, corner.client) << "the windows have no frame: the screen configuration is not in effect";
    EXPECT_EQ(corner.frame.right() + 1, 1024 - 20);
    EXPECT_EQ(corner.frame.bottom() + 1, 768 - 30);

    // The client area ends at the screen's bottom edge and would fit; the
    // frame below it would not.
    const int clientHeight = corner.client.height();
    const Shown low = ConfirmAt(QPoint(100, 768 - clientHeight - (corner.frame.top() - corner.client.top())));
    EXPECT_EQ(low.frame.x(), 100);
    EXPECT_EQ(low.frame.bottom() + 1, 768 - 30);

    const Shown centred = ConfirmAt(DefaultDialogPos);
    EXPECT_EQ(centred.frame.topLeft(),
              QPoint((1024 - centred.frame.width()) / 2, (768 - centred.frame.height()) / 2));
}

TEST(FramedDialogs, OptionDialogWithALongPathIsCentredInside)
{
    const QString path = QStringLiteral("/home/benutzer/Musik/Sammlungen/Klassik/Komponisten/Johann Sebastian Bach/"
                                        "Kantaten und Oratorien/Weihnachtsoratorium BWV 248/Teil I bis VI/CD 2");
    const auto run = [&path] {
        Shown shown;
        std::vector<QRect> buttons;
        WhenShown(QStringLiteral("SelectDialog"), [&](QDialog* d) {
            shown = {d->frameGeometry(), d->geometry()};
            for (QPushButton* b : static_cast<TSelectDialog*>(d)->Buttons)
                buttons.emplace_back(b->mapToGlobal(QPoint(0, 0)), b->size());
            QTest::keyClick(d, Qt::Key_Escape);
        });
        EXPECT_EQ(SelectDlg::SelectOption(QStringLiteral("Verzeichnis löschen"),
                                          QStringLiteral("Lösche \"%1\"").arg(path), DialogKind::Confirmation,
                                          SelectDlg::Bold,
                                          {QStringLiteral("Endgültig"), QStringLiteral("In Papierkorb")}, QString(),
                                          0, -1),
                  -1);
        EXPECT_EQ(buttons.size(), 3u);
        for (const QRect& b : buttons)
            EXPECT_TRUE(shown.client.contains(b)) << "button at " << b.x() << "," << b.y();
        return shown;
    };

    // Alone, the dialog cannot know its frame before it is shown; the margins
    // kept beside it take the frame up.
    const Shown alone = run();
    ASSERT_NE(alone.frame, alone.client) << "the windows have no frame: the screen configuration is not in effect";
    EXPECT_TRUE(kScreen.contains(alone.frame));
    EXPECT_EQ(alone.frame.topLeft(),
              QPoint((1024 - alone.frame.width()) / 2, (768 - alone.frame.height()) / 2));

    // With a framed window of the program up, it expects that window's frame.
    QWidget window;
    window.setGeometry(100, 100, 300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, 60000));
    const Shown beside = run();
    EXPECT_EQ(beside.frame.width(), 1024 - 40);
    EXPECT_EQ(beside.frame.topLeft(),
              QPoint((1024 - beside.frame.width()) / 2, (768 - beside.frame.height()) / 2));
}

// With a dock on the left and a panel at the bottom, a question placed at the bottom-left
// corner ends inside the work area with its frame, and a centred one is centred in it.
TEST(FramedDialogs, MessageDialogFitsIntoTheWorkAreaBesideThePanels)
{
    const QRect workArea(64, 0, 1024 - 64, 768 - 48);
    const Panels panels(workArea);
    ASSERT_EQ(QGuiApplication::primaryScreen()->availableGeometry(), workArea);
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), kScreen);

    const Shown low = ConfirmAt(QPoint(0, 760));
    EXPECT_TRUE(workArea.contains(low.frame)) << low.frame.x() << "," << low.frame.y() << " "
                                              << low.frame.width() << "x" << low.frame.height();
    EXPECT_EQ(low.frame.x(), 64 + 20);
    EXPECT_EQ(low.frame.bottom() + 1, 768 - 48 - 30);

    const Shown centred = ConfirmAt(DefaultDialogPos);
    EXPECT_EQ(centred.frame.topLeft(), QPoint(64 + (workArea.width() - centred.frame.width()) / 2,
                                              (workArea.height() - centred.frame.height()) / 2));
}
