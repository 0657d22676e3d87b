// Modal message boxes placed at a screen point, and where dialogs go on the
// screen. The rule that keeps a window inside a monitor's work area is in
// ScreenFit.h, the text measures of dialogs that size themselves in
// TextMeasures.h; both are included here for the dialogs' callers.
//
// The dialogs are built on Qt Widgets but behave like the program's own
// message dialog: fixed German button captions with access keys, explicit
// default and cancel buttons, results as DialogResult values, Ctrl+C copies
// the dialog as text, and an optional self-closing mode.
//
// Test seam: SetAnswerHook() installs a function that receives every request
// of MessageDialogAt (and so of every wrapper below) before a window is built.
// When it returns a value, that value is the dialog's result and nothing is
// shown; when it returns std::nullopt the dialog is shown as usual. Windows'
// tests use it to answer questions without a screen and to check the texts
// they were asked.
#pragma once

#include "ScreenFit.h"
#include "TextMeasures.h"

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

class QFont;
class QIcon;
class QScreen;
class QWidget;

namespace MsgDialogs {

// Default point for every dialog of the program: a point with both
// coordinates negative centres the dialog.
inline constexpr QPoint DefaultDialogPos{-1, -1};

enum class DialogKind : std::uint8_t {
    Warning = 0,
    Error = 1,
    Information = 2,
    Confirmation = 3,
    Custom = 4,
};

enum class DialogButton : std::uint8_t {
    Yes = 0,
    No = 1,
    OK = 2,
    Cancel = 3,
    Abort = 4,
    Retry = 5,
    Ignore = 6,
    All = 7,
    NoToAll = 8,
    YesToAll = 9,
    Help = 10,
    Close = 11,
};
inline constexpr int DialogButtonCount = 12;

// The values a dialog returns; None means "no result yet".
enum class DialogResult : int {
    None = 0,
    OK = 1,
    Cancel = 2,
    Abort = 3,
    Retry = 4,
    Ignore = 5,
    Yes = 6,
    No = 7,
    Close = 8,
    All = 12,
    NoToAll = 13,
    YesToAll = 14,
};

enum class DialogMonitor : std::uint8_t {
    Desktop = 0,
    Primary = 1,
    MainForm = 2,
    ActiveForm = 3,
};

// A set of buttons; bit n of the mask stands for DialogButton n.
class DialogButtons {
public:
    constexpr DialogButtons() = default;
    constexpr DialogButtons(std::initializer_list<DialogButton> buttons)
    {
        for (DialogButton b : buttons)
            mask_ |= Bit(b);
    }
    static constexpr DialogButtons FromMask(std::uint16_t mask)
    {
        DialogButtons set;
        set.mask_ = mask & 0x0FFF;
        return set;
    }
    constexpr bool Has(DialogButton b) const { return (mask_ & Bit(b)) != 0; }
    constexpr std::uint16_t Mask() const { return mask_; }
    constexpr bool operator==(const DialogButtons&) const = default;

private:
    static constexpr std::uint16_t Bit(DialogButton b)
    {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(b));
    }
    std::uint16_t mask_ = 0;
};

// ---- Table values ---------------------------------------------------------

QString DefaultCaption(DialogKind kind);     // "Fehler", ...; custom: the application's display name
QString ButtonCaption(DialogButton button);  // "&Ja", "&Nein", "OK", ...
// The result a button gives; Help gives None (it does not close the dialog).
DialogResult ButtonResult(DialogButton button);
// Stock icon of a kind; a null icon for Custom.
QIcon KindIcon(DialogKind kind);
// What a kind's icon shows, as a screen reader names it ("Frage"); empty for Custom.
QString IconMeaning(DialogKind kind);

// The button pressed by Escape: Cancel, else No, else OK, else none.
std::optional<DialogButton> CancelButtonOf(DialogButtons buttons);
// The default button when the caller names none: OK, else Yes, else Retry.
DialogButton ImplicitDefaultButton(DialogButtons buttons);

// ---- Where dialogs go ------------------------------------------------------

// Windows' MulDiv: a*b/c rounded to nearest, halves away from zero; -1 for c == 0.
int MulDiv(int a, int b, int c);

// A point with both coordinates negative (DefaultDialogPos) makes the form
// centre itself, with its size at that moment and its window frame, in the
// work area of the active window's monitor each time it is shown. A point
// with both coordinates non-negative places it there (its bottom edge at the
// point when `above`), fitted into the work area. A point with exactly one
// negative coordinate is treated like the default point.
void PlaceDialogAt(QWidget* form, QPoint point, bool above);

// Where a message dialog goes, as the top-left corner of its framed window:
// a client area of size `client` inside a frame of `frame`, centred in the
// work area of `target` when both coordinates of point are negative;
// otherwise the whole framed window fitted into the work area at point and,
// unless monitor is Desktop, moved onto `target` when it lies on another
// monitor. A null target stands for the primary monitor.
QPoint MessageDialogOrigin(QPoint point, QSize client, const QMargins& frame, DialogMonitor monitor,
                           const QScreen* target);

// The frame the window manager puts around form: its own once it has been
// framed, else that of another framed window of the program (the active one
// first), else none. The frame is only known after a window has been shown.
QMargins ExpectedFrameMargins(const QWidget* form);
// The work area a dialog opens in: that of the monitor `monitor` names for a
// point with both coordinates negative, else the one at or nearest to point.
QRect DialogWorkArea(QPoint point, DialogMonitor monitor);
// Screen point under the control's bottom-right corner, plus offset.
QPoint BottomRightOfControl(const QWidget* control, QPoint offset = QPoint(0, 0));

// ---- The standard message dialog ------------------------------------------

// Geometry of the standard message dialog in its client area. dx is the
// average letter width of the dialog font, dy its text height.
struct MessageLayout {
    QSize client;
    QRect icon;  // empty when the kind has no icon
    QRect text;
    std::vector<QRect> buttons;  // in button order
};
MessageLayout ComputeMessageLayout(int dx, int dy, QSize textSize, bool hasIcon, int buttonCount,
                                   int widestCaption);

// Text that Ctrl+C puts on the clipboard: dividers, caption, message and the
// button captions without "&", each line ending in CR LF.
QString DialogCopyText(const QString& caption, const QString& message, const QStringList& buttonCaptions);

// ---- Dialogs --------------------------------------------------------------

struct DialogRequest {
    DialogKind kind = DialogKind::Information;
    QString caption;  // the caption the dialog shows (title or the kind's default)
    QString message;
    DialogButtons buttons;
    std::optional<DialogButton> defaultButton;  // none when not in buttons
    QPoint point = DefaultDialogPos;
    int seconds = 0;
    DialogMonitor monitor = DialogMonitor::ActiveForm;
};
using AnswerHook = std::function<std::optional<DialogResult>(const DialogRequest&)>;
// Installs hook (an empty function removes it) and returns the previous one.
AnswerHook SetAnswerHook(AnswerHook hook);

// Shows msg in a message dialog and returns the pressed button's result
// (Cancel when the window is closed). An empty title keeps the kind's caption.
// seconds > 0 shows the dialog without modality and closes it after that
// time, returning OK unless a button was pressed before.
DialogResult MessageDialogAt(const QString& title, const QString& msg, DialogKind kind,
                             DialogButtons buttons, DialogButton defaultButton, QPoint point,
                             int seconds = 0, DialogMonitor monitor = DialogMonitor::ActiveForm);
// Same, with the default button OK, else Yes, else Retry.
DialogResult MessageDialogAt(const QString& title, const QString& msg, DialogKind kind,
                             DialogButtons buttons, QPoint point, int seconds = 0,
                             DialogMonitor monitor = DialogMonitor::ActiveForm);

// Yes/No question; true only when Yes was pressed.
bool ConfirmDialogAt(QPoint point, const QString& msg, DialogButton defaultButton = DialogButton::Yes,
                     DialogMonitor monitor = DialogMonitor::ActiveForm);
DialogResult InfoDialogAt(QPoint point, const QString& title, const QString& msg,
                          DialogMonitor monitor = DialogMonitor::ActiveForm);
DialogResult ErrorDialogAt(QPoint point, const QString& title, const QString& msg,
                           DialogMonitor monitor = DialogMonitor::ActiveForm);
DialogResult InfoDialog(const QString& msg, DialogMonitor monitor = DialogMonitor::ActiveForm);
DialogResult ErrorDialog(const QString& msg, DialogMonitor monitor = DialogMonitor::ActiveForm);

}  // namespace MsgDialogs
