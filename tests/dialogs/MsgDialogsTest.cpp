// Message dialogs on one 1280 x 1024 screen: the pure rules (rounding, work
// area fitting, line measures, layout, copy text) and the dialogs' behaviour
// driven through keys, clicks and the close box.
#include "DialogTestSupport.h"
#include "MsgDialogs.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

using namespace MsgDialogs;
using DialogTest::WhenShown;

namespace {

const QString kForm = QStringLiteral("MessageForm");
const QRect kScreen(0, 0, 1280, 1024);

QList<QPushButton*> ButtonsOf(QDialog* dialog)
{
    return dialog->findChildren<QPushButton*>();
}

QPushButton* ButtonOf(QDialog* dialog, const QString& plainCaption)
{
    for (QPushButton* b : ButtonsOf(dialog)) {
        if (b->text().remove(QLatin1Char('&')) == plainCaption)
            return b;
    }
    ADD_FAILURE() << "no button " << plainCaption.toStdString();
    return nullptr;
}

// Ways of leaving a dialog in the tests below.
enum class Leave { Enter, Escape, CloseBox };

void LeaveBy(QDialog* dialog, Leave how)
{
    switch (how) {
    case Leave::Enter:
        // The key goes where a user's key goes: to the focused control.
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        break;
    case Leave::Escape:
        QTest::keyClick(dialog, Qt::Key_Escape);
        break;
    case Leave::CloseBox:
        dialog->close();
        break;
    }
}

}  // namespace

TEST(MsgDialogsRules, MulDivRoundsHalvesAwayFromZero)
{
    struct Case {
        int a, b, c, expected;
    } const cases[] = {
        {8, 7, 4, 14},      {10, 13, 8, 16},  // 16.25
        {14, 13, 8, 23},                      // 22.75
        {1, 3, 2, 2},       {-1, 3, 2, -2},   {1, -3, 2, -2}, {-1, -3, 2, 2},
        {11, 144, 96, 17},                    // 16.5
        {5, 7, 0, -1},
        {2000000000, 3, 4, 1500000000},       // the product exceeds 32 bits
    };
    for (const Case& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(MsgDialogsRules, FitToRectKeepsMarginsInOrder)
{
    const QRect area(0, 0, 1280, 984);  // a task bar of 40 pixels below
    struct Case {
        const char* what;
        QPoint origin;
        QSize size;
        QPoint expected;
    } const cases[] = {
        {"inside", {100, 100}, {200, 100}, {100, 100}},
        {"touching right and bottom edges", {1080, 884}, {200, 100}, {1080, 884}},
        {"past the right edge", {1200, 100}, {200, 100}, {1060, 100}},
        {"past the bottom edge", {100, 900}, {200, 100}, {100, 854}},
        {"left of the area", {-1, 300}, {200, 100}, {20, 300}},
        {"above the area", {100, -5}, {200, 100}, {100, 20}},
        {"wider than the area", {100, 100}, {1400, 100}, {20, 100}},
        {"taller than the area", {100, 100}, {200, 1000}, {100, 20}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitToRect(c.origin, c.size, area), c.expected) << c.what;

    // The rectangle's own origin counts, not the screen's.
    EXPECT_EQ(FitToRect({-1100, 700}, {200, 100}, QRect(-1024, 0, 1024, 768)), QPoint(-1004, 638));
}

TEST(MsgDialogsRules, LinesAreSeparatedByCrLfOnly)
{
    struct Case {
        const char* text;
        int lines;
    } const cases[] = {
        {"", 1},          {"abc", 1},        {"a\r\nb", 2},      {"a\r\n", 2},
        {"x\r\n\r\n", 3}, {"a\rb\nc", 1},    {"\r\r\n\n", 2},    {"\n\r", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CountLines(QString::fromUtf8(c.text)), c.lines) << c.text;

    const QFont font = QApplication::font();
    const QFontMetrics fm(font);
    EXPECT_EQ(WidestLineWidth(QString(), font), 0);
    EXPECT_EQ(WidestLineWidth(QStringLiteral("i\r\nWWWW\r\nii"), font), fm.horizontalAdvance("WWWW"));
    // A last line of one wide character is measured too.
    EXPECT_EQ(WidestLineWidth(QStringLiteral("i\r\nW"), font),
              std::max(fm.horizontalAdvance("i"), fm.horizontalAdvance("W")));
    // (Where the font is proportional: the offscreen platform on Windows may only have a
    // fixed-width one.)
    if (fm.horizontalAdvance("W") > fm.horizontalAdvance("i")) {
        EXPECT_GT(WidestLineWidth(QStringLiteral("i\r\nW"), font), fm.horizontalAdvance("i"));
    }
}

TEST(MsgDialogsRules, EscapeAndDefaultButtonsFollowThePriorities)
{
    using B = DialogButton;
    struct Case {
        DialogButtons buttons;
        std::optional<DialogButton> escape;
        DialogButton implicitDefault;
    } const cases[] = {
        {{B::Yes, B::No}, B::No, B::Yes},
        {{B::Yes, B::No, B::Cancel}, B::Cancel, B::Yes},
        {{B::OK, B::Cancel}, B::Cancel, B::OK},
        {{B::OK}, B::OK, B::OK},
        {{B::OK, B::No, B::Yes}, B::No, B::OK},
        {{B::Abort, B::Retry, B::Ignore}, std::nullopt, B::Retry},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CancelButtonOf(c.buttons), c.escape) << c.buttons.Mask();
        EXPECT_EQ(ImplicitDefaultButton(c.buttons), c.implicitDefault) << c.buttons.Mask();
    }
}

TEST(MsgDialogsRules, MessageLayoutUsesFontUnits)
{
    // dx 6, dy 13: margins 12 and 13, icon gap 15, text-to-buttons 16,
    // button height 23, button width at least 75, button gap 6.
    const MessageLayout one = ComputeMessageLayout(6, 13, QSize(200, 13), true, 1, 20);
    EXPECT_EQ(one.icon, QRect(12, 13, 32, 32));
    EXPECT_EQ(one.text, QRect(59, 13, 200, 13));
    EXPECT_EQ(one.client, QSize(12 + 32 + 15 + 200 + 12, 13 + 32 + 16 + 23 + 13));
    ASSERT_EQ(one.buttons.size(), 1u);
    EXPECT_EQ(one.buttons[0], QRect((271 - 75) / 2, 13 + 32 + 16, 75, 23));

    // No icon, a short text and three buttons sized by their widest caption:
    // the row sets the width and is centred between the margins.
    const MessageLayout row = ComputeMessageLayout(6, 13, QSize(40, 39), false, 3, 90);
    EXPECT_TRUE(row.icon.isNull());
    EXPECT_EQ(row.text, QRect(12, 13, 40, 39));
    EXPECT_EQ(row.client, QSize(3 * 98 + 2 * 6 + 24, 13 + 39 + 16 + 23 + 13));
    ASSERT_EQ(row.buttons.size(), 3u);
    EXPECT_EQ(row.buttons[0], QRect(12, 13 + 39 + 16, 98, 23));
    EXPECT_EQ(row.buttons[2].x(), 12 + 2 * (98 + 6));
}

TEST(MsgDialogsRules, CopyTextHasSevenCrLfLines)
{
    const QString dashes(27, QLatin1Char('-'));
    const QString expected = dashes + "\r\nBestätigen\r\n" + dashes + "\r\nWirklich?\r\n" + dashes +
                             "\r\nJa   Nein   \r\n" + dashes + "\r\n";
    EXPECT_EQ(DialogCopyText(QStringLiteral("Bestätigen"), QStringLiteral("Wirklich?"),
                             {QStringLiteral("&Ja"), QStringLiteral("&Nein")}),
              expected);
}

TEST(MsgDialogsGeometry, FitFormAndPlaceDialogAt)
{
    QWidget form;
    form.resize(200, 100);
    form.move(1270, 1000);
    FitFormToWorkArea(&form);
    EXPECT_EQ(form.pos(), QPoint(1060, 1024 - 100 - 30));

    QWidget placed;
    placed.resize(200, 100);
    PlaceDialogAt(&placed, QPoint(300, 400), true);
    EXPECT_EQ(placed.pos(), QPoint(300, 300)) << "bottom edge at the point";
    PlaceDialogAt(&placed, QPoint(1200, 10), false);
    EXPECT_EQ(placed.pos(), QPoint(1060, 10));

    // The default point centres the form, with the size it has when shown.
    QWidget centred;
    centred.resize(100, 100);
    PlaceDialogAt(&centred, DefaultDialogPos, false);
    centred.resize(300, 200);
    centred.show();
    EXPECT_EQ(centred.pos(), QPoint((1280 - 300) / 2, (1024 - 200) / 2));
    centred.hide();
    // A real point afterwards ends the centring.
    PlaceDialogAt(&centred, QPoint(5, 30), false);
    centred.show();
    EXPECT_EQ(centred.pos(), QPoint(5, 30));
}

TEST(MsgDialogsGeometry, MessageDialogOriginFitsTheFramedWindow)
{
    // A title bar of 24 pixels and borders of 4: a client area of 300 x 100
    // makes a window of 308 x 128, whose top-left corner the origin is.
    const QMargins frame(4, 24, 4, 4);
    const QSize client(300, 100);
    const QScreen* screen = QGuiApplication::primaryScreen();
    struct Case {
        const char* what;
        QPoint point;
        QPoint expected;
    } const cases[] = {
        {"inside: the frame's corner at the point", {100, 150}, {100, 150}},
        {"the client area would fit, the frame not", {900, 900}, {900, 1024 - 128 - 30}},
        {"past the bottom-right corner", {1270, 1020}, {1280 - 308 - 20, 1024 - 128 - 30}},
        {"centred", {-1, -1}, {(1280 - 308) / 2, (1024 - 128) / 2}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MessageDialogOrigin(c.point, client, frame, DialogMonitor::ActiveForm, screen), c.expected)
            << c.what;
}

TEST(MsgDialogsGeometry, LargestClientSizeLeavesFrameAndMargins)
{
    const QRect area(0, 0, 800, 560);
    const QMargins frame(1, 20, 1, 1);
    const QSize largest = LargestClientSize(area, frame);
    EXPECT_EQ(largest, QSize(800 - 40 - 2, 560 - 50 - 21));
    // A window of that size fits exactly, wherever it is put.
    for (const QPoint origin : {QPoint(0, 0), QPoint(700, 500), QPoint(-50, -50)}) {
        const QRect window(FitToRect(origin, largest.grownBy(frame), area), largest.grownBy(frame));
        EXPECT_TRUE(area.contains(window)) << origin.x() << "," << origin.y();
    }
    EXPECT_EQ(LargestClientSize(QRect(0, 0, 30, 30), frame), QSize(0, 0));
}

TEST(MsgDialogsGeometry, BottomRightOfControl)
{
    QWidget window;
    window.setGeometry(100, 200, 400, 300);
    auto* button = new QPushButton(QStringLiteral("Konvertieren"), &window);
    button->setGeometry(10, 20, 30, 40);
    window.show();
    EXPECT_EQ(BottomRightOfControl(button), QPoint(140, 260));
    EXPECT_EQ(BottomRightOfControl(button, QPoint(5, -5)), QPoint(145, 255));

    QPushButton alone;
    alone.setGeometry(10, 20, 30, 40);
    EXPECT_EQ(BottomRightOfControl(&alone), QPoint(40, 60));
}

TEST(MsgDialogsShow, ErrorDialogIsCentredWithCaptionAndOneOkButton)
{
    struct Case {
        Leave how;
        DialogResult expected;
    } const cases[] = {
        {Leave::Enter, DialogResult::OK},
        {Leave::Escape, DialogResult::OK},  // OK is the cancel button when alone
        {Leave::CloseBox, DialogResult::Cancel},
    };
    for (const Case& c : cases) {
        QString caption;
        QStringList captions;
        QPoint pos;
        QSize size;
        bool onTop = false;
        WhenShown(kForm, [&](QDialog* d) {
            caption = d->windowTitle();
            for (QPushButton* b : ButtonsOf(d))
                captions << b->text();
            pos = d->pos();
            size = d->size();
            onTop = d->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            LeaveBy(d, c.how);
        });
        EXPECT_EQ(ErrorDialog(QStringLiteral("Datei \"x\" nicht gefunden!")), c.expected);
        EXPECT_EQ(caption, QStringLiteral("Fehler"));
        EXPECT_EQ(captions, QStringList{QStringLiteral("OK")});
        EXPECT_EQ(pos, QPoint((1280 - size.width()) / 2, (1024 - size.height()) / 2));
        EXPECT_TRUE(onTop);
    }
}

TEST(MsgDialogsShow, FixedDialogBorderWithACloseBoxOnly)
{
    Qt::WindowFlags flags;
    QSize minimum, maximum, size;
    bool cameBack = false;
    WhenShown(kForm, [&](QDialog* d) {
        flags = d->windowFlags();
        minimum = d->minimumSize();
        maximum = d->maximumSize();
        size = d->size();
        // A window manager that minimises it anyway (openbox offers it to every window): the
        // question the program waits for comes back.
        d->setWindowState(Qt::WindowMinimized);
        cameBack = QTest::qWaitFor([d] { return (d->windowState() & Qt::WindowMinimized) == 0; }, 5000);
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
    });
    EXPECT_TRUE(ConfirmDialogAt(DefaultDialogPos, QStringLiteral("Stammverzeichnis wechseln?")));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint)) << "else the toolkit adds its usual buttons";
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(minimum, size);
    EXPECT_EQ(maximum, size);
    EXPECT_TRUE(cameBack);
}

TEST(MsgDialogsShow, ConfirmIsTrueOnlyForYes)
{
    struct Case {
        const char* what;
        DialogButton defaultButton;
        std::function<void(QDialog*)> act;
        bool expected;
    } const cases[] = {
        {"Enter on the focused Yes", DialogButton::Yes, [](QDialog* d) { LeaveBy(d, Leave::Enter); }, true},
        {"Enter with No as default", DialogButton::No, [](QDialog* d) { LeaveBy(d, Leave::Enter); }, false},
        {"Alt+J", DialogButton::No,
         [](QDialog* d) { QTest::keyClick(d->focusWidget(), Qt::Key_J, Qt::AltModifier); }, true},
        {"No clicked", DialogButton::Yes, [](QDialog* d) { ButtonOf(d, "Nein")->click(); }, false},
        {"Escape", DialogButton::Yes, [](QDialog* d) { LeaveBy(d, Leave::Escape); }, false},
        {"close box", DialogButton::Yes, [](QDialog* d) { LeaveBy(d, Leave::CloseBox); }, false},
    };
    for (const Case& c : cases) {
        QString caption;
        WhenShown(kForm, [&](QDialog* d) {
            caption = d->windowTitle();
            c.act(d);
        });
        EXPECT_EQ(ConfirmDialogAt(QPoint(200, 200), QStringLiteral("Überschreiben?"), c.defaultButton), c.expected)
            << c.what;
        EXPECT_EQ(caption, QStringLiteral("Bestätigen"));
    }
}

TEST(MsgDialogsShow, ResultsOfKeysAndButtons)
{
    using B = DialogButton;
    struct Case {
        const char* what;
        DialogButtons buttons;
        std::function<void(QDialog*)> act;
        DialogResult expected;
    } const cases[] = {
        {"Escape prefers Cancel", {B::Yes, B::No, B::Cancel},
         [](QDialog* d) { LeaveBy(d, Leave::Escape); }, DialogResult::Cancel},
        {"close box gives Cancel without a Cancel button", {B::Yes, B::No},
         [](QDialog* d) { LeaveBy(d, Leave::CloseBox); }, DialogResult::Cancel},
        {"Escape without cancel button does nothing", {B::Abort, B::Retry, B::Ignore},
         [](QDialog* d) {
             LeaveBy(d, Leave::Escape);
             ButtonOf(d, "Ignorieren")->click();
         },
         DialogResult::Ignore},
        {"Help does not close", {B::OK, B::Help},
         [](QDialog* d) {
             ButtonOf(d, "Hilfe")->click();
             EXPECT_TRUE(d->isVisible());
             ButtonOf(d, "OK")->click();
         },
         DialogResult::OK},
        {"all of them", {B::All, B::NoToAll, B::YesToAll, B::Close},
         [](QDialog* d) { ButtonOf(d, "Alle Nein")->click(); }, DialogResult::NoToAll},
    };
    for (const Case& c : cases) {
        WhenShown(kForm, c.act);
        EXPECT_EQ(MessageDialogAt(QString(), QStringLiteral("?"), DialogKind::Warning, c.buttons,
                                  DefaultDialogPos),
                  c.expected)
            << c.what;
    }
}

TEST(MsgDialogsShow, DefaultButtonOutsideTheSetFocusesTheFirstButton)
{
    QString focused;
    WhenShown(kForm, [&](QDialog* d) {
        focused = static_cast<QPushButton*>(d->focusWidget())->text();
        LeaveBy(d, Leave::Enter);
    });
    EXPECT_EQ(MessageDialogAt(QString(), QStringLiteral("?"), DialogKind::Confirmation,
                              {DialogButton::No, DialogButton::Yes}, DialogButton::OK, DefaultDialogPos),
              DialogResult::Yes);
    EXPECT_EQ(focused, QStringLiteral("&Ja")) << "buttons keep their table order";
}

TEST(MsgDialogsShow, PositionOfPlacedDialogs)
{
    struct Case {
        const char* what;
        QPoint point;
        std::function<QPoint(QSize)> expected;
    } const cases[] = {
        {"at the point", {100, 150}, [](QSize) { return QPoint(100, 150); }},
        {"only x negative: not centred", {-1, 300}, [](QSize) { return QPoint(20, 300); }},
        {"past the bottom-right corner", {1270, 1020},
         [](QSize s) { return QPoint(1280 - s.width() - 20, 1024 - s.height() - 30); }},
        {"both negative: centred", {-1, -1},
         [](QSize s) { return QPoint((1280 - s.width()) / 2, (1024 - s.height()) / 2); }},
    };
    for (const Case& c : cases) {
        QPoint pos;
        QSize size;
        WhenShown(kForm, [&](QDialog* d) {
            pos = d->pos();
            size = d->size();
            LeaveBy(d, Leave::Enter);
        });
        InfoDialogAt(c.point, QString(), QStringLiteral("Hinweis"));
        EXPECT_EQ(pos, c.expected(size)) << c.what;
    }
}

TEST(MsgDialogsShow, TitleWidensTheDialogOnlyWhenWider)
{
    QSize plain;
    WhenShown(kForm, [&](QDialog* d) {
        plain = d->size();
        LeaveBy(d, Leave::Enter);
    });
    InfoDialogAt(QPoint(10, 10), QString(), QStringLiteral("Kurz"));

    QString caption;
    QSize withShortTitle;
    WhenShown(kForm, [&](QDialog* d) {
        caption = d->windowTitle();
        withShortTitle = d->size();
        LeaveBy(d, Leave::Enter);
    });
    InfoDialogAt(QPoint(10, 10), QStringLiteral("T"), QStringLiteral("Kurz"));
    EXPECT_EQ(caption, QStringLiteral("T"));
    EXPECT_EQ(withShortTitle, plain);

    const QString title(60, QLatin1Char('W'));
    int width = 0;
    int titleWidth = 0;
    WhenShown(kForm, [&](QDialog* d) {
        width = d->width();
        titleWidth = QFontMetrics(d->font()).horizontalAdvance(title);
        LeaveBy(d, Leave::Enter);
    });
    ErrorDialogAt(QPoint(10, 10), title, QStringLiteral("Kurz"));
    ASSERT_GT(titleWidth + 50, plain.width());
    EXPECT_EQ(width, titleWidth + 50);

    // Near the right edge the widened window is fitted, not the narrow one.
    QRect widened;
    WhenShown(kForm, [&](QDialog* d) {
        widened = d->frameGeometry();
        LeaveBy(d, Leave::Enter);
    });
    ErrorDialogAt(QPoint(1280 - plain.width() - 30, 10), title, QStringLiteral("Kurz"));
    EXPECT_EQ(widened.right() + 1, 1280 - 20);
}

TEST(MsgDialogsShow, CtrlCCopiesTheDialogAsText)
{
    QGuiApplication::clipboard()->clear();
    WhenShown(kForm, [&](QDialog* d) {
        QTest::keyClick(d, Qt::Key_C, Qt::ControlModifier);
        EXPECT_TRUE(d->isVisible());
        LeaveBy(d, Leave::Escape);
    });
    ConfirmDialogAt(DefaultDialogPos, QStringLiteral("Wirklich?"));
    const QString dashes(27, QLatin1Char('-'));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), dashes + "\r\nBestätigen\r\n" + dashes + "\r\nWirklich?\r\n" +
                                                        dashes + "\r\nJa   Nein   \r\n" + dashes + "\r\n");
}

TEST(MsgDialogsShow, SelfClosingDialog)
{
    using B = DialogButton;
    const auto run = [] {
        return MessageDialogAt(QStringLiteral("Zeit"), QStringLiteral("Gleich vorbei"), DialogKind::Information,
                               {B::Yes, B::No}, DefaultDialogPos, 1);
    };

    // Nobody acts: OK, although the dialog has no OK button.
    EXPECT_EQ(run(), DialogResult::OK);

    WhenShown(kForm, [](QDialog* d) {
        EXPECT_FALSE(d->isModal());
        ButtonOf(d, "Nein")->click();
    });
    EXPECT_EQ(run(), DialogResult::No);

    WhenShown(kForm, [](QDialog* d) { LeaveBy(d, Leave::Escape); });
    EXPECT_EQ(run(), DialogResult::No);

    // The close box only hides it; the call still runs its full time.
    bool hidden = false;
    WhenShown(kForm, [&](QDialog* d) {
        LeaveBy(d, Leave::CloseBox);
        hidden = !d->isVisible();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(run(), DialogResult::OK);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_TRUE(hidden);
    EXPECT_EQ(DialogTest::VisibleDialog(kForm), nullptr);
}

TEST(MsgDialogsShow, AnswerHookAnswersWithoutAWindow)
{
    std::optional<DialogRequest> seen;
    AnswerHook previous = SetAnswerHook([&](const DialogRequest& r) -> std::optional<DialogResult> {
        seen = r;
        return DialogResult::Yes;
    });
    EXPECT_TRUE(ConfirmDialogAt(QPoint(7, 8), QStringLiteral("Frage"), DialogButton::No));
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->kind, DialogKind::Confirmation);
    EXPECT_EQ(seen->caption, QStringLiteral("Bestätigen"));
    EXPECT_EQ(seen->message, QStringLiteral("Frage"));
    EXPECT_EQ(seen->buttons, (DialogButtons{DialogButton::Yes, DialogButton::No}));
    EXPECT_EQ(seen->defaultButton, DialogButton::No);
    EXPECT_EQ(seen->point, QPoint(7, 8));

    // A hook that declines lets the dialog show.
    SetAnswerHook([](const DialogRequest&) { return std::optional<DialogResult>(); });
    WhenShown(kForm, [](QDialog* d) { LeaveBy(d, Leave::Enter); });
    EXPECT_EQ(InfoDialog(QStringLiteral("Hinweis")), DialogResult::OK);

    SetAnswerHook(previous);
}
