// The option dialog: its layout as a pure computation, its focus and result
// rules, and the running dialog driven by clicks and keys.
#include "DialogTestSupport.h"
#include "SelectDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <optional>

using namespace SelectDlg;
using DialogTest::WhenShown;
using MsgDialogs::DialogKind;

namespace {

const QString kForm = QStringLiteral("SelectDialog");

std::vector<QPoint> Origins(const std::vector<QRect>& rects)
{
    std::vector<QPoint> points;
    for (const QRect& r : rects)
        points.push_back(r.topLeft());
    return points;
}

LayoutInput Narrow(int captions)
{
    LayoutInput in;
    in.textWidth = 200;
    in.captionCount = captions;
    return in;
}

// The control Tab moves to from w.
QWidget* NextTabStop(QWidget* w)
{
    QWidget* next = w->nextInFocusChain();
    while (next != w && (next->focusPolicy() & Qt::TabFocus) == 0)
        next = next->nextInFocusChain();
    return next;
}

QList<QPushButton*> ButtonsOf(QDialog* dialog)
{
    return static_cast<TSelectDialog*>(dialog)->Buttons;
}

}  // namespace

TEST(SelectLayout, WorkedExampleAt96Dpi)
{
    const Layout l = ComputeLayout(Narrow(2));
    EXPECT_EQ(l.label, QRect(50, 10, 325, 13));
    EXPECT_EQ(l.icon, QRect(5, 15, 32, 32));
    EXPECT_TRUE(l.option.isNull());
    ASSERT_EQ(l.buttons.size(), 3u);
    EXPECT_EQ(l.buttons[0], QRect(50, 38, 105, 26));
    EXPECT_EQ(l.buttons[1], QRect(160, 38, 105, 26));
    EXPECT_EQ(l.buttons[2], QRect(270, 38, 105, 26));
    EXPECT_EQ(l.client, QSize(385, 73));
}

TEST(SelectLayout, RowsOfThreeEndWithTheClosingButtonAtTheRight)
{
    struct Case {
        int captions;
        std::vector<QPoint> origins;
        int clientHeight;
    } const cases[] = {
        {0, {{270, 38}}, 73},
        {2, {{50, 38}, {160, 38}, {270, 38}}, 73},
        {3, {{50, 38}, {160, 38}, {270, 38}, {270, 68}}, 103},
        {5, {{50, 38}, {160, 38}, {270, 38}, {50, 68}, {160, 68}, {270, 68}}, 103},
        {6, {{50, 38}, {160, 38}, {270, 38}, {50, 68}, {160, 68}, {270, 68}, {270, 98}}, 133},
    };
    for (const Case& c : cases) {
        const Layout l = ComputeLayout(Narrow(c.captions));
        EXPECT_EQ(Origins(l.buttons), c.origins) << c.captions << " captions";
        EXPECT_EQ(l.client, QSize(385, c.clientHeight)) << c.captions << " captions";
    }
}

TEST(SelectLayout, TextWidthOptionLinesAndButtonWidth)
{
    // A line wider than the room above the buttons widens the dialog; the
    // buttons stay right-aligned, 10 pixels inside the client area.
    LayoutInput wide = Narrow(2);
    wide.textWidth = 500;
    Layout l = ComputeLayout(wide);
    EXPECT_EQ(l.client.width(), 560);
    EXPECT_EQ(l.label.width(), 500);
    EXPECT_EQ(l.buttons.back().right() + 1, 550);
    EXPECT_EQ(l.buttons.front().x(), 560 - 3 * 110 - 5);

    // Bold text counts 5/4 of its regular width: 300 regular fits, bold does not.
    LayoutInput bold = Narrow(2);
    bold.textWidth = 300;
    EXPECT_EQ(ComputeLayout(bold).client.width(), 385);
    bold.bold = true;
    EXPECT_EQ(ComputeLayout(bold).client.width(), 375 + 60);

    // The check box sits 5 pixels above where the buttons were and pushes them down.
    LayoutInput option = Narrow(2);
    option.hasOption = true;
    l = ComputeLayout(option);
    EXPECT_EQ(l.option, QRect(50, 33, 325, 26));
    EXPECT_EQ(l.buttons[0].y(), 64);
    EXPECT_EQ(l.client.height(), 64 + 30 + 5);

    // Three lines: 3 x 13 pixels of text.
    LayoutInput lines = Narrow(2);
    lines.lineCount = 3;
    l = ComputeLayout(lines);
    EXPECT_EQ(l.label.height(), 39);
    EXPECT_EQ(l.buttons[0].y(), 10 + 39 + 15);

    // A caller's button width replaces 105.
    LayoutInput narrowButtons = Narrow(2);
    narrowButtons.buttonWidth = 80;
    l = ComputeLayout(narrowButtons);
    EXPECT_EQ(l.client.width(), 70 + 240);
    EXPECT_EQ(Origins(l.buttons), (std::vector<QPoint>{{50, 38}, {135, 38}, {220, 38}}));
}

TEST(SelectLayout, TheLargestClientAreaLimitsTheDialog)
{
    // A line far wider than the room: the label gets what is left beside the
    // icon, and the buttons stay right-aligned inside the narrower dialog.
    LayoutInput wide = Narrow(2);
    wide.textWidth = 2000;
    wide.maxClient = QSize(984, 700);
    Layout l = ComputeLayout(wide);
    EXPECT_EQ(l.client.width(), 984);
    EXPECT_EQ(l.label.width(), 984 - 60);
    EXPECT_EQ(l.buttons.back().right() + 1, 984 - 10);
    EXPECT_EQ(l.lines, 1);

    // Never narrower than the row of buttons.
    wide.maxClient = QSize(300, 700);
    EXPECT_EQ(ComputeLayout(wide).client.width(), 385);

    // Too many lines: as many as leave room for the buttons, at least one.
    LayoutInput tall = Narrow(2);
    tall.lineCount = 100;
    tall.hasOption = true;
    tall.maxClient = QSize(984, 300);
    l = ComputeLayout(tall);
    EXPECT_EQ(l.lines, 16);  // 10 + 16 x 13 + 15 + 26 + 35 = 294
    EXPECT_EQ(l.label.height(), 16 * 13);
    EXPECT_EQ(l.client.height(), 294);
    EXPECT_EQ(l.buttons[0].y(), 10 + 16 * 13 + 15 + 26);
    tall.maxClient = QSize(984, 40);
    EXPECT_EQ(ComputeLayout(tall).lines, 1);

    // Within the limits nothing changes.
    LayoutInput fits = Narrow(2);
    fits.lineCount = 3;
    fits.maxClient = QSize(984, 700);
    LayoutInput unlimited = fits;
    unlimited.maxClient = QSize();
    EXPECT_EQ(ComputeLayout(fits).client, ComputeLayout(unlimited).client);
    EXPECT_EQ(ComputeLayout(fits).lines, 3);
}

TEST(SelectLayout, LengthsScaleWithDensity)
{
    LayoutInput in = Narrow(2);
    in.dpi = 144;
    in.fontHeight = 17;  // 11 px scaled
    const Layout l = ComputeLayout(in);
    // bw 158, W = 105 + 474, L 75, R 15, label top 15, label height 20,
    // y = 50, button height 41, row step 47.
    EXPECT_EQ(l.label, QRect(75, 15, 579 - 75 - 15, 20));
    EXPECT_EQ(l.icon.topLeft(), QPoint(8, 23));
    EXPECT_EQ(Origins(l.buttons), (std::vector<QPoint>{{85, 50}, {248, 50}, {411, 50}}));
    EXPECT_EQ(l.buttons[0].size(), QSize(158, 41));
    EXPECT_EQ(l.client, QSize(579, 50 + 47 + 5));
}

TEST(SelectRules, FocusTickAndResult)
{
    struct Focus {
        int preSelection, buttons, expected;
    } const focusCases[] = {
        {0, 3, 0}, {2, 3, 2}, {3, 3, -1}, {10, 3, -1}, {257, 3, 1}, {256, 3, 0}, {-1, 3, -1}, {-5, 1, -1},
        {0, 1, 0},
    };
    for (const Focus& c : focusCases)
        EXPECT_EQ(FocusIndex(c.preSelection, c.buttons), c.expected) << c.preSelection << "/" << c.buttons;

    EXPECT_TRUE(PreSelectionTicks(257));
    EXPECT_TRUE(PreSelectionTicks(256));
    EXPECT_FALSE(PreSelectionTicks(1));
    EXPECT_FALSE(PreSelectionTicks(-1)) << "a negative value has bit 8 set but never ticks";

    EXPECT_EQ(PackResult(1, true), 257);
    EXPECT_EQ(PackResult(0, false), 0);
    EXPECT_EQ(PackResult(-1, true), -1);
}

TEST(SelectDialogRun, WorkedExampleOnScreen)
{
    TSelectDialog dialog;
    QSize client;
    QRect label;
    std::vector<QRect> buttons;
    QStringList captions;
    QString focused;
    bool iconVisible = false;
    bool optionVisible = true;
    WhenShown(kForm, [&](QDialog* d) {
        client = d->size();
        label = dialog.lbCaption->geometry();
        for (QPushButton* b : ButtonsOf(d)) {
            buttons.push_back(b->geometry());
            captions << b->text();
        }
        focused = static_cast<QPushButton*>(d->focusWidget())->text();
        iconVisible = dialog.imgIcon->isVisible();
        optionVisible = dialog.cbOption->isVisible();
        ButtonsOf(d)[1]->click();
    });
    const int result = dialog.Execute(MsgDialogs::DefaultDialogPos, QStringLiteral("Verzeichnis löschen"),
                                      QStringLiteral("Lösche \"/tmp/a\""), DialogKind::Confirmation, Bold,
                                      {QStringLiteral("Endgültig"), QStringLiteral("In Papierkorb")}, QString(),
                                      0, -1, QString());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(client, QSize(385, 73));
    EXPECT_EQ(label, QRect(50, 10, 325, 13));
    EXPECT_EQ(buttons, (std::vector<QRect>{{50, 38, 105, 26}, {160, 38, 105, 26}, {270, 38, 105, 26}}));
    EXPECT_EQ(captions, (QStringList{"Endgültig", "In Papierkorb", "Abbrechen"}));
    EXPECT_EQ(focused, QStringLiteral("Abbrechen"));
    EXPECT_TRUE(iconVisible);
    EXPECT_FALSE(optionVisible);
    EXPECT_EQ(dialog.lbCaption->font().bold(), true);
    // The generated buttons are gone, and the dialog runs again with new ones.
    EXPECT_TRUE(dialog.findChildren<QPushButton*>().isEmpty());
    EXPECT_TRUE(dialog.Buttons.isEmpty());

    int buttonsOnSecondRun = 0;
    WhenShown(kForm, [&](QDialog* d) {
        buttonsOnSecondRun = static_cast<int>(d->findChildren<QPushButton*>().size());
        ButtonsOf(d)[0]->click();
    });
    EXPECT_EQ(dialog.Execute(MsgDialogs::DefaultDialogPos, QStringLiteral("Noch einmal"), QStringLiteral("Frage"),
                             DialogKind::Warning, 0, {QStringLiteral("Nur eins")}, QString(), 0, 0, QString()),
              0);
    EXPECT_EQ(buttonsOnSecondRun, 2);
}

TEST(SelectDialogRun, ResultsWithTheCheckBox)
{
    const QStringList two{QStringLiteral("Eins"), QStringLiteral("Zwei")};
    struct Case {
        const char* what;
        int preSelection;
        std::function<void(TSelectDialog*)> act;
        int expected;
    } const cases[] = {
        {"PreSelection 257: Enter on button 1 with the box ticked", 257,
         [](TSelectDialog* d) {
             EXPECT_EQ(d->focusWidget(), d->Buttons[1]);
             EXPECT_TRUE(d->cbOption->isChecked());
             QTest::keyClick(d->focusWidget(), Qt::Key_Return);
         },
         257},
        {"PreSelection 0: button 0 focused, box unticked", 0,
         [](TSelectDialog* d) {
             EXPECT_EQ(d->focusWidget(), d->Buttons[0]);
             EXPECT_FALSE(d->cbOption->isChecked());
             QTest::keyClick(d->focusWidget(), Qt::Key_Return);
         },
         0},
        {"PreSelection 10: the closing button is focused", 10,
         [](TSelectDialog* d) {
             EXPECT_EQ(d->focusWidget(), d->Buttons[2]);
             QTest::keyClick(d->focusWidget(), Qt::Key_Return);
         },
         -1},
        {"ticked box and the closing button", 0,
         [](TSelectDialog* d) {
             d->cbOption->setChecked(true);
             d->Buttons[2]->click();
         },
         -1},
        {"ticked box, then button 0", 0,
         [](TSelectDialog* d) {
             d->cbOption->setChecked(true);
             d->Buttons[0]->click();
         },
         256},
        {"Escape", 257, [](TSelectDialog* d) { QTest::keyClick(d, Qt::Key_Escape); }, -1},
        {"close box", 257, [](TSelectDialog* d) { d->close(); }, -1},
    };
    for (const Case& c : cases) {
        TSelectDialog dialog;
        WhenShown(kForm, [&](QDialog*) { c.act(&dialog); });
        EXPECT_EQ(dialog.Execute(MsgDialogs::DefaultDialogPos, QStringLiteral("Titel"), QStringLiteral("Frage"),
                                 DialogKind::Information, 0, two, QStringLiteral("Merken"), 0, c.preSelection,
                                 QString()),
                  c.expected)
            << c.what;
    }
}

TEST(SelectDialogRun, TabOrderIconAndOwnClosingCaption)
{
    TSelectDialog dialog;
    bool buttonsInOrder = false;
    bool optionAfterButtons = false;
    bool iconVisible = true;
    QString closing;
    WhenShown(kForm, [&](QDialog*) {
        buttonsInOrder = NextTabStop(dialog.Buttons[0]) == dialog.Buttons[1];
        optionAfterButtons = NextTabStop(dialog.Buttons.back()) == dialog.cbOption;
        iconVisible = dialog.imgIcon->isVisible();
        closing = dialog.Buttons.back()->text();
        dialog.Buttons.back()->click();
    });
    dialog.Execute(MsgDialogs::DefaultDialogPos, QString(), QStringLiteral("Frage"), DialogKind::Custom, 0,
                   {QStringLiteral("A")}, QStringLiteral("Option"), 0, 0, QStringLiteral("Schließen"));
    EXPECT_FALSE(iconVisible) << "custom dialogs show no icon";
    EXPECT_EQ(closing, QStringLiteral("Schließen"));
    EXPECT_TRUE(buttonsInOrder);
    EXPECT_TRUE(optionAfterButtons);
}

namespace {

// The whole text a tooltip holds, without its markup.
QString TipText(const QWidget* w)
{
    QTextDocument doc;
    doc.setHtml(w->toolTip());
    return doc.toPlainText();
}

struct Seen {
    QRect frame;
    QRect workArea;
    std::vector<QRect> buttons;  // in screen coordinates
    QString label;
    QString labelTip;
    int labelWidth = 0;
    int labelHeight = 0;
    int labelNeeds = 0;  // the height the label needs for its text at its width
    QString option;
    QString optionTip;
};

Seen RunWith(TSelectDialog& dialog, const QString& caption, const QString& option)
{
    Seen seen;
    WhenShown(kForm, [&](QDialog* d) {
        seen.frame = d->frameGeometry();
        seen.workArea = d->screen()->availableGeometry();
        for (QPushButton* b : ButtonsOf(d))
            seen.buttons.emplace_back(b->mapToGlobal(QPoint(0, 0)), b->size());
        seen.label = dialog.lbCaption->text();
        seen.labelTip = TipText(dialog.lbCaption);
        seen.labelWidth = dialog.lbCaption->width();
        seen.labelHeight = dialog.lbCaption->height();
        seen.labelNeeds = dialog.lbCaption->heightForWidth(dialog.lbCaption->width());
        seen.option = dialog.cbOption->text();
        seen.optionTip = TipText(dialog.cbOption);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    dialog.Execute(MsgDialogs::DefaultDialogPos, QStringLiteral("Verzeichnis löschen"), caption,
                   DialogKind::Confirmation, Bold, {QStringLiteral("Endgültig"), QStringLiteral("In Papierkorb")},
                   option, 0, -1, QString());
    return seen;
}

void ExpectInsideTheWorkArea(const Seen& seen)
{
    EXPECT_TRUE(seen.workArea.contains(seen.frame)) << "dialog " << seen.frame.x() << "," << seen.frame.y() << " "
                                                    << seen.frame.width() << "x" << seen.frame.height();
    for (const QRect& b : seen.buttons)
        EXPECT_TRUE(seen.frame.contains(b)) << "button at " << b.x() << "," << b.y();
}

}  // namespace

TEST(SelectDialogRun, LongTextsStayInsideTheWorkArea)
{
    QString path = QStringLiteral("/home/benutzer/Musik");
    while (path.size() < 400)
        path += QStringLiteral("/Sammlung Klassik und Jazz");
    path += QStringLiteral("/CD 2");
    const QString deletePath = QStringLiteral("Lösche \"") + path + QStringLiteral("\"");
    TSelectDialog dialog;

    // A path wider than the screen: shortened in the middle, whole in the tooltip.
    Seen seen = RunWith(dialog, deletePath, QString());
    ExpectInsideTheWorkArea(seen);
    EXPECT_EQ(seen.buttons.size(), 3u);
    EXPECT_TRUE(seen.label.startsWith(QStringLiteral("Lösche \"/home/benutzer/Musik/"))) << seen.label.toStdString();
    EXPECT_TRUE(seen.label.endsWith(QStringLiteral("/CD 2\""))) << seen.label.toStdString();
    EXPECT_TRUE(seen.label.contains(QChar(0x2026)));
    EXPECT_LE(seen.labelNeeds, seen.labelHeight) << "the shortened line wraps out of sight";
    EXPECT_EQ(seen.labelTip, deletePath);

    // More lines than the screen is high: the last line shown ends in an
    // ellipsis, the tooltip has them all.
    QStringList lines;
    for (int i = 1; i <= 200; ++i)
        lines << QStringLiteral("Zeile %1").arg(i);
    seen = RunWith(dialog, lines.join(QStringLiteral("\r\n")), QString());
    ExpectInsideTheWorkArea(seen);
    const QStringList shown = seen.label.split(QStringLiteral("\r\n"));
    EXPECT_LT(shown.size(), 200);
    EXPECT_GT(shown.size(), 10);
    EXPECT_EQ(shown.first(), QStringLiteral("Zeile 1"));
    EXPECT_EQ(shown.last(), QStringLiteral("Zeile %1").arg(shown.size()) + QChar(0x2026));
    EXPECT_EQ(seen.labelTip, lines.join(QLatin1Char('\n')));

    // A check box caption wider than the box.
    const QString option = QStringLiteral("Auch schreibgeschützte Dateien, versteckte Dateien und alle "
                                          "Unterverzeichnisse ohne weitere Rückfrage endgültig löschen");
    seen = RunWith(dialog, QStringLiteral("Lösche \"/tmp/a\""), option);
    ExpectInsideTheWorkArea(seen);
    EXPECT_TRUE(seen.option.startsWith(QStringLiteral("Auch"))) << seen.option.toStdString();
    EXPECT_TRUE(seen.option.endsWith(QStringLiteral("löschen"))) << seen.option.toStdString();
    EXPECT_TRUE(seen.option.contains(QChar(0x2026)));
    EXPECT_EQ(seen.optionTip, option);
    EXPECT_TRUE(seen.labelTip.isEmpty());

    // Texts that fit are shown as they are, without tooltips left over.
    seen = RunWith(dialog, QStringLiteral("Lösche \"/tmp/a\""), QStringLiteral("Merken"));
    EXPECT_EQ(seen.label, QStringLiteral("Lösche \"/tmp/a\""));
    EXPECT_EQ(seen.option, QStringLiteral("Merken"));
    EXPECT_TRUE(seen.labelTip.isEmpty());
    EXPECT_TRUE(seen.optionTip.isEmpty());
}

TEST(SelectOption, RunsCentredWithTheClosingButtonAlone)
{
    QPoint pos;
    QSize size;
    QStringList captions;
    WhenShown(kForm, [&](QDialog* d) {
        pos = d->pos();
        size = d->size();
        for (QPushButton* b : ButtonsOf(d))
            captions << b->text();
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(SelectOption(QStringLiteral("Titel"), QStringLiteral("Nichts zu wählen"), DialogKind::Warning, 0, {}),
              -1);
    EXPECT_EQ(captions, QStringList{QStringLiteral("Abbrechen")});
    EXPECT_EQ(pos, QPoint((1280 - size.width()) / 2, (1024 - size.height()) / 2));
    EXPECT_EQ(DialogTest::VisibleDialog(kForm), nullptr);
}

TEST(SelectOption, AnswerHookAnswersWithoutAWindow)
{
    std::optional<SelectRequest> seen;
    AnswerHook previous = SetAnswerHook([&](const SelectRequest& r) -> std::optional<int> {
        seen = r;
        return 1;
    });
    EXPECT_EQ(SelectOption(QStringLiteral("Verzeichnis löschen"), QStringLiteral("Lösche \"x\""),
                           DialogKind::Confirmation, Bold,
                           {QStringLiteral("Endgültig"), QStringLiteral("In Papierkorb")}, QString(), 0, -1),
              1);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->title, QStringLiteral("Verzeichnis löschen"));
    EXPECT_EQ(seen->buttons.size(), 2);
    EXPECT_EQ(seen->preSelection, -1);
    EXPECT_EQ(seen->captionFormat, Bold);
    SetAnswerHook(previous);
}
