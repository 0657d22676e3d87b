// A modal question whose answers are buttons with captions of the caller's
// choosing, plus a closing button and an optional check box. The dialog sizes
// itself to its text and its number of buttons.
//
// Result of TSelectDialog::Execute and SelectDlg::SelectOption: -1 when the
// dialog was left by its closing button or closed without a button; otherwise
// the index of the pressed caption button, plus 256 when the box was ticked.
//
// Test seam: SelectDlg::SetAnswerHook() installs a function that receives each
// SelectOption request before a window is built. A returned value is taken as
// the result and nothing is shown; std::nullopt shows the dialog as usual.
#pragma once

#include "MsgDialogs.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;

namespace SelectDlg {

// Font styles of the question text, one bit each.
enum FontStyle : std::uint8_t {
    Bold = 0x01,
    Italic = 0x02,
    Underline = 0x04,
    StrikeOut = 0x08,
};
using FontStyles = std::uint8_t;

inline constexpr int DefaultButtonWidth = 105;  // at 96 dpi, used when 0 is given
inline constexpr int OptionTicked = 256;        // added to the result when the box is ticked

// What the layout depends on. Lengths are pixels at `dpi` unless noted.
struct LayoutInput {
    int dpi = 96;
    int textWidth = 0;    // widest line of the question in the regular font
    bool bold = false;
    int lineCount = 1;
    int fontHeight = 11;  // |height| of the dialog font in pixels
    int captionCount = 0;
    int buttonWidth = 0;  // at 96 dpi; 0 (or less) means DefaultButtonWidth
    bool hasOption = false;
    // The largest client area the dialog may take (the work area less the
    // window frame and margins); a width or height of 0 or less sets no limit.
    QSize maxClient;
};

// Where everything goes in the client area. A question wider than the
// largest client area gets a label only as wide as there is room for, and
// one taller than it shows only `lines` of its lines; the dialog never gets
// narrower than its row of three buttons, though.
struct Layout {
    QSize client;
    QRect label;
    int lines = 1;  // lines of the question the label has room for
    QRect icon;
    QRect option;               // null without a check box
    std::vector<QRect> buttons;  // caption buttons in index order, the closing button last
};
Layout ComputeLayout(const LayoutInput& in);

// Index of the button to focus for a PreSelection among buttonCount buttons
// (the closing button included); -1 stands for the closing button.
int FocusIndex(int preSelection, int buttonCount);
// Whether a PreSelection ticks the check box.
bool PreSelectionTicks(int preSelection);
// Execute's result from the pressed button's tag and the box's state.
int PackResult(int selection, bool ticked);

struct SelectRequest {
    QString title;
    QString caption;
    MsgDialogs::DialogKind kind = MsgDialogs::DialogKind::Confirmation;
    FontStyles captionFormat = 0;
    QStringList buttons;
    QString option;
    int buttonWidth = 0;
    int preSelection = 0;
    QString defaultButton;
};
using AnswerHook = std::function<std::optional<int>(const SelectRequest&)>;
// Installs hook (an empty function removes it) and returns the previous one.
AnswerHook SetAnswerHook(AnswerHook hook);

// Runs a fresh TSelectDialog, centred, and returns its result.
int SelectOption(const QString& ATitle, const QString& ACaption, MsgDialogs::DialogKind DlgType,
                 FontStyles ACaptionFormat, const QStringList& AButtons, const QString& AOption = QString(),
                 int ButtonWidth = 0, int PreSelection = 0, const QString& DefaultButton = QString());

}  // namespace SelectDlg

class TSelectDialog : public QDialog {
public:
    explicit TSelectDialog(QWidget* parent = nullptr);

    // Shows the dialog modally at APos (DefaultDialogPos centres it) and
    // returns the result described at the top of this file. The generated
    // buttons are destroyed again before it returns.
    //
    // The dialog stays inside the work area of its monitor: a line of the
    // question too wide for it is shortened in the middle ("/home/…/Musik"),
    // lines beyond its height are left out, and a check box caption too wide
    // for the box is shortened the same way; the label's or box's tooltip
    // then holds the whole text.
    int Execute(QPoint APos, const QString& ATitle, const QString& ACaption, MsgDialogs::DialogKind DlgType,
                SelectDlg::FontStyles ACaptionFormat, const QStringList& AButtons, const QString& AOption,
                int ButtonWidth, int PreSelection, const QString& DefaultButton);

    QLabel* lbCaption = nullptr;
    QLabel* imgIcon = nullptr;
    QList<QPixmap> ilIcons;  // warning, error, information, confirmation
    QCheckBox* cbOption = nullptr;
    QList<QPushButton*> Buttons;
    int Selection = -1;

private:
    void FormCreate();
    void ButtonClick(QPushButton* sender);
};
