#include "MsgDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <utility>

namespace MsgDialogs {

namespace {

AnswerHook& Hook()
{
    static AnswerHook hook;
    return hook;
}

QString StripAccessKeys(QString caption)
{
    return caption.remove(QLatin1Char('&'));
}

// ---- Screens ----------------------------------------------------------------

QScreen* PrimaryScreen()
{
    return QGuiApplication::primaryScreen();
}

// The screen a window lies on, judged by its frame rectangle; the window
// handle's own idea of its screen is not updated by every platform.
QScreen* ScreenOfWindow(const QWidget* window)
{
    if (window == nullptr)
        return nullptr;
    return ScreenAtIndex(BestRectIndex(ScreenRects(false), window->frameGeometry()));
}

QWidget* FindMainForm()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(w) != nullptr && w->isVisible())
            return w;
    }
    return nullptr;
}

// The screen a DialogMonitor choice names; the primary screen when the named
// window does not exist.
QScreen* ScreenForMonitor(DialogMonitor monitor)
{
    QScreen* screen = nullptr;
    switch (monitor) {
    case DialogMonitor::Desktop:
    case DialogMonitor::Primary:
        break;
    case DialogMonitor::MainForm:
        screen = ScreenOfWindow(FindMainForm());
        break;
    case DialogMonitor::ActiveForm:
        screen = ScreenOfWindow(QApplication::activeWindow());
        break;
    }
    return screen != nullptr ? screen : PrimaryScreen();
}

QPoint CentredIn(const QRect& area, QSize size)
{
    return QPoint(area.x() + (area.width() - size.width()) / 2,
                  area.y() + (area.height() - size.height()) / 2);
}

// Moves a placed window onto the target monitor when it lies on another one.
QPoint OntoMonitor(QPoint pos, QSize size, DialogMonitor monitor, const QScreen* target)
{
    if (monitor == DialogMonitor::Desktop)
        return pos;
    const std::vector<QRect> monitors = ScreenRects(false);
    const int from = BestRectIndex(monitors, QRect(pos, size));
    const int to = static_cast<int>(QGuiApplication::screens().indexOf(const_cast<QScreen*>(target)));
    if (from < 0 || to < 0 || from == to)
        return pos;
    return MoveToMonitor(QRect(pos, size), monitors[from], monitors[to]);
}

// Keeps a top-level form where a placement rule puts it. The rule takes the
// frame margins and gives the frame's top-left corner. It is worked out anew
// each time the form is shown and applied with the frame the form is expected
// to get; once the window manager has framed the window and its margins turn
// out different, the form is placed again with the real ones; after that
// the form stays where the user puts it until it is shown again.
//
// The client area is placed, at the rule's corner plus the margins: the
// frame offset QWidget::move() adds is cached by Qt and may still be the one
// from before the window was framed.
class FramePlacement final : public QObject {
public:
    using Rule = std::function<QPoint(const QMargins& frame)>;

    FramePlacement(QWidget* form, const QString& name, std::function<Rule()> ruleForShow)
        : QObject(form), form_(form), ruleForShow_(std::move(ruleForShow))
    {
        setObjectName(name);
        form->installEventFilter(this);
    }

    // Places the form by the rule now, with its size as it is and the frame it is expected to
    // get, so that its window is made where it belongs rather than where the toolkit would put
    // a dialog of unknown size; showing places it again.
    void PlaceBeforeShow()
    {
        rule_ = ruleForShow_();
        Place(ExpectedFrameMargins(form_));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == form_) {
            if (event->type() == QEvent::Show && !event->spontaneous()) {
                rule_ = ruleForShow_();
                framed_ = false;
                Place(ExpectedFrameMargins(form_));
                Watch(form_->windowHandle());
            }
        } else if (watched == window_) {
            switch (event->type()) {
            case QEvent::Expose:
            case QEvent::Move:
            case QEvent::Resize:
                PlaceAgainIfFramedOtherwise();
                break;
            default:
                break;
            }
        }
        return false;
    }

private:
    void Place(const QMargins& frame)
    {
        frame_ = frame;
        const QPoint client = rule_(frame) + QPoint(frame.left(), frame.top());
        form_->setGeometry(QRect(client, form_->size()));
    }

    void Watch(QWindow* window)
    {
        if (window == window_)
            return;
        if (window_ != nullptr)
            window_->removeEventFilter(this);
        window_ = window;
        if (window_ != nullptr)
            window_->installEventFilter(this);
    }

    void PlaceAgainIfFramedOtherwise()
    {
        if (framed_ || !rule_ || !form_->isVisible())
            return;
        // No margins: the window manager has not framed the window yet.
        const QMargins frame = window_->frameMargins();
        if (frame.isNull())
            return;
        framed_ = true;
        if (frame != frame_)
            Place(frame);
    }

    QWidget* form_;
    std::function<Rule()> ruleForShow_;
    Rule rule_;
    QMargins frame_;
    bool framed_ = false;  // placed with the real frame in this showing
    QPointer<QWindow> window_;
};

const QString kCentreOnShow = QStringLiteral("kk_CentreOnShow");

// Centres a form on the active window's monitor each time it is shown.
void CentreOnEveryShow(QWidget* form)
{
    new FramePlacement(form, kCentreOnShow, [form] {
        QScreen* screen = ScreenForMonitor(DialogMonitor::ActiveForm);
        const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
        return [form, area](const QMargins& frame) { return CentredIn(area, form->size().grownBy(frame)); };
    });
}

// ---- The message form -------------------------------------------------------

// Draws the message as Windows' static text does: word-wrapped, tabs expanded. A label to
// assistive technology, so that a screen reader reads the message with the dialog.
class MessageText final : public QLabel {
public:
    MessageText(const QString& text, int flags, QWidget* parent)
        : QLabel(parent), text_(text), flags_(flags)
    {
        setTextFormat(Qt::PlainText);
        QString spoken = text;
        setText(spoken.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), flags_, text_);
    }

private:
    QString text_;
    int flags_;
};

// Paints a stock icon over its whole rectangle. A picture to assistive technology, named by
// what it shows.
class IconView final : public QLabel {
public:
    IconView(const QIcon& icon, const QString& meaning, QWidget* parent) : QLabel(parent), icon_(icon)
    {
        setPixmap(icon.pixmap(QSize(32, 32)));
        setAccessibleName(meaning);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        icon_.paint(&painter, rect());
    }

private:
    QIcon icon_;
};

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs;

class MessageForm final : public QDialog {
public:
    MessageForm(const DialogRequest& request, QScreen* screen)
        : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                               Qt::MSWindowsFixedSizeDialogHint),
          caption_(request.caption),
          message_(request.message)
    {
        setObjectName(QStringLiteral("MessageForm"));
        setFont(QApplication::font("QMessageBox"));
        setWindowTitle(caption_);
        Build(request, screen);
    }

    DialogResult Result() const { return result_; }

    DialogResult RunModal()
    {
        modal_ = true;
        exec();
        return result_;
    }

    void SetClientWidth(int width) { setFixedSize(width, height()); }

    // The size of the client area, used before the window is shown.
    QSize ClientSize() const { return size(); }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->matches(QKeySequence::Copy)) {
            QApplication::beep();
            QGuiApplication::clipboard()->setText(DialogCopyText(caption_, message_, captions_));
            return;
        }
        switch (event->key()) {
        case Qt::Key_Escape:
            if (cancelButton_ != nullptr)
                cancelButton_->click();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
                button->click();
            return;
        default:
            QDialog::keyPressEvent(event);
        }
    }

    // The dialog has a close box only. A window manager that offers to minimise every window
    // (openbox does, whatever the window asks for) would hide the question the program waits
    // for: the dialog comes back at once.
    void changeEvent(QEvent* event) override
    {
        QDialog::changeEvent(event);
        if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) != 0)
            QTimer::singleShot(0, this, [this] {
                if (isVisible() && (windowState() & Qt::WindowMinimized) != 0) {
                    setWindowState(windowState() & ~Qt::WindowMinimized);
                    raise();
                    activateWindow();
                }
            });
    }

    // Close box, Alt+F4 and every other way of closing the window without a
    // button: Cancel while modal; a modeless dialog is only hidden.
    void reject() override
    {
        if (modal_) {
            result_ = DialogResult::Cancel;
            QDialog::done(static_cast<int>(result_));
        } else {
            hide();
        }
    }

private:
    void Build(const DialogRequest& request, QScreen* screen)
    {
        const QFontMetrics fm(font());
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        const int dx = fm.horizontalAdvance(letters) / 52;
        const int dy = fm.height();

        const int wrapWidth = (screen != nullptr ? screen->geometry().width() : 1024) / 2;
        const QRect textRect = fm.boundingRect(QRect(0, 0, wrapWidth, 0), kTextFlags, message_);

        std::vector<DialogButton> shown;
        int widest = 0;
        for (int i = 0; i < DialogButtonCount; ++i) {
            const auto b = static_cast<DialogButton>(i);
            if (!request.buttons.Has(b))
                continue;
            shown.push_back(b);
            captions_ << ButtonCaption(b);
            widest = std::max(widest, fm.horizontalAdvance(StripAccessKeys(ButtonCaption(b))));
        }

        const QIcon icon = KindIcon(request.kind);
        const MessageLayout layout = ComputeMessageLayout(dx, dy, textRect.size(), !icon.isNull(),
                                                          static_cast<int>(shown.size()), widest);
        setFixedSize(layout.client);

        if (!icon.isNull()) {
            auto* image = new IconView(icon, IconMeaning(request.kind), this);
            image->setObjectName(QStringLiteral("Image"));
            image->setGeometry(layout.icon);
        }
        auto* text = new MessageText(message_, kTextFlags, this);
        text->setObjectName(QStringLiteral("Message"));
        text->setGeometry(layout.text);

        const std::optional<DialogButton> cancel = CancelButtonOf(request.buttons);
        QPushButton* focus = nullptr;
        QPushButton* first = nullptr;
        QWidget* previous = nullptr;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const DialogButton b = shown[i];
            auto* button = new QPushButton(ButtonCaption(b), this);
            button->setObjectName(StripAccessKeys(ButtonCaption(b)));
            button->setGeometry(layout.buttons[i]);
            button->setAutoDefault(true);
            connect(button, &QPushButton::clicked, this, [this, b] { Press(b); });
            if (request.defaultButton && *request.defaultButton == b) {
                button->setDefault(true);
                focus = button;
            }
            if (cancel && *cancel == b)
                cancelButton_ = button;
            if (previous != nullptr)
                setTabOrder(previous, button);
            else
                first = button;
            previous = button;
        }
        // Without a default button the focus starts on the first button.
        if (focus == nullptr)
            focus = first;
        if (focus != nullptr)
            focus->setFocus(Qt::OtherFocusReason);
    }

    void Press(DialogButton button)
    {
        const DialogResult r = ButtonResult(button);
        if (r == DialogResult::None)
            return;  // Help: there is no help system; the dialog stays open
        result_ = r;
        if (modal_)
            QDialog::done(static_cast<int>(r));
    }

    QString caption_;
    QString message_;
    QStringList captions_;
    QPushButton* cancelButton_ = nullptr;
    DialogResult result_ = DialogResult::None;
    bool modal_ = false;
};

DialogResult RunMessageDialog(const DialogRequest& request, const QString& title)
{
    const QPointer<QScreen> target = ScreenForMonitor(request.monitor);
    auto form = std::make_unique<MessageForm>(request, target);

    if (!title.isEmpty()) {
        const int wanted = QFontMetrics(form->font()).horizontalAdvance(title) + 50;
        if (form->ClientSize().width() < wanted)
            form->SetClientWidth(wanted);
    }

    form->setWindowFlag(Qt::WindowStaysOnTopHint, true);

    // The whole window, frame included and widened for the title, goes into
    // the work area.
    QWidget* placed = form.get();
    auto* placement = new FramePlacement(placed, QStringLiteral("kk_PlaceMessage"), [placed, target, request] {
        return [placed, target, request](const QMargins& frame) {
            return MessageDialogOrigin(request.point, placed->size(), frame, request.monitor, target);
        };
    });
    placement->PlaceBeforeShow();

    if (request.seconds <= 0)
        return form->RunModal();

    form->show();
    for (int n = request.seconds * 10; n > 0 && form->Result() == DialogResult::None; --n) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(100);
    }
    if (form->Result() != DialogResult::None)
        return form->Result();
    form->close();
    return DialogResult::OK;
}

}  // namespace

// ---- Table values -------------------------------------------------------------

QString DefaultCaption(DialogKind kind)
{
    switch (kind) {
    case DialogKind::Warning:
        return QStringLiteral("Warnung");
    case DialogKind::Error:
        return QStringLiteral("Fehler");
    case DialogKind::Information:
        return QStringLiteral("Informationen");
    case DialogKind::Confirmation:
        return QStringLiteral("Bestätigen");
    case DialogKind::Custom:
        break;
    }
    return QGuiApplication::applicationDisplayName();
}

QString ButtonCaption(DialogButton button)
{
    switch (button) {
    case DialogButton::Yes:
        return QStringLiteral("&Ja");
    case DialogButton::No:
        return QStringLiteral("&Nein");
    case DialogButton::OK:
        return QStringLiteral("OK");
    case DialogButton::Cancel:
        return QStringLiteral("Abbrechen");
    case DialogButton::Abort:
        return QStringLiteral("&Abbrechen");
    case DialogButton::Retry:
        return QStringLiteral("&Wiederholen");
    case DialogButton::Ignore:
        return QStringLiteral("&Ignorieren");
    case DialogButton::All:
        return QStringLiteral("&Alle");
    case DialogButton::NoToAll:
        return QStringLiteral("&Alle Nein");
    case DialogButton::YesToAll:
        return QStringLiteral("A&lle Ja");
    case DialogButton::Help:
        return QStringLiteral("&Hilfe");
    case DialogButton::Close:
        return QStringLiteral("S&chließen");
    }
    return QString();
}

DialogResult ButtonResult(DialogButton button)
{
    switch (button) {
    case DialogButton::Yes:
        return DialogResult::Yes;
    case DialogButton::No:
        return DialogResult::No;
    case DialogButton::OK:
        return DialogResult::OK;
    case DialogButton::Cancel:
        return DialogResult::Cancel;
    case DialogButton::Abort:
        return DialogResult::Abort;
    case DialogButton::Retry:
        return DialogResult::Retry;
    case DialogButton::Ignore:
        return DialogResult::Ignore;
    case DialogButton::All:
        return DialogResult::All;
    case DialogButton::NoToAll:
        return DialogResult::NoToAll;
    case DialogButton::YesToAll:
        return DialogResult::YesToAll;
    case DialogButton::Help:
        return DialogResult::None;
    case DialogButton::Close:
        return DialogResult::Close;
    }
    return DialogResult::None;
}


QString IconMeaning(DialogKind kind)
{
    static const char* const meanings[] = {"Warnung", "Fehler", "Information", "Frage"};
    const auto index = static_cast<std::size_t>(kind);
    return index < std::size(meanings) ? QString::fromUtf8(meanings[index]) : QString();
}

std::optional<DialogButton> CancelButtonOf(DialogButtons buttons)
{
    for (DialogButton b : {DialogButton::Cancel, DialogButton::No, DialogButton::OK}) {
        if (buttons.Has(b))
            return b;
    }
    return std::nullopt;
}

DialogButton ImplicitDefaultButton(DialogButtons buttons)
{
    if (buttons.Has(DialogButton::OK))
        return DialogButton::OK;
    if (buttons.Has(DialogButton::Yes))
        return DialogButton::Yes;
    return DialogButton::Retry;
}

// ---- Geometry -------------------------------------------------------------------

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    std::int64_t quotient = product / c;
    const std::int64_t remainder = product % c;
    if (2 * std::llabs(remainder) >= std::llabs(static_cast<std::int64_t>(c)))
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    return static_cast<int>(quotient);
}

void PlaceDialogAt(QWidget* form, QPoint point, bool above)
{
    if (form == nullptr)
        return;
    auto* centring = form->findChild<FramePlacement*>(kCentreOnShow, Qt::FindDirectChildrenOnly);
    if (point.x() < 0 || point.y() < 0) {
        if (centring == nullptr)
            CentreOnEveryShow(form);
        return;
    }
    delete centring;
    const QSize size = form->frameGeometry().size();
    if (above)
        point.setY(point.y() - size.height());
    int x = point.x();
    int y = point.y();
    FitToWorkArea(x, y, size.width(), size.height());
    form->move(x, y);
}

QPoint MessageDialogOrigin(QPoint point, QSize client, const QMargins& frame, DialogMonitor monitor,
                           const QScreen* target)
{
    if (target == nullptr)
        target = PrimaryScreen();
    const QSize size = client.grownBy(frame);
    if (point.x() < 0 && point.y() < 0)
        return target != nullptr ? CentredIn(target->availableGeometry(), size) : QPoint(0, 0);
    int x = point.x();
    int y = point.y();
    FitToWorkArea(x, y, size.width(), size.height());
    return OntoMonitor(QPoint(x, y), size, monitor, target);
}

QMargins ExpectedFrameMargins(const QWidget* form)
{
    const auto framedMargins = [](const QWidget* w) {
        const QWindow* window = w->windowHandle();
        return window != nullptr ? window->frameMargins() : QMargins();
    };
    if (form != nullptr) {
        if (form->windowFlags().testFlag(Qt::FramelessWindowHint))
            return QMargins();
        const QMargins own = framedMargins(form);
        if (!own.isNull())
            return own;
    }
    QWidgetList candidates = QApplication::topLevelWidgets();
    if (QWidget* active = QApplication::activeWindow())
        candidates.prepend(active);
    for (const QWidget* w : std::as_const(candidates)) {
        if (w == form || !w->isVisible() || w->windowFlags().testFlag(Qt::FramelessWindowHint))
            continue;
        const Qt::WindowType type = w->windowType();
        if (type != Qt::Window && type != Qt::Dialog)
            continue;
        const QMargins m = framedMargins(w);
        if (!m.isNull())
            return m;
    }
    return QMargins();
}

QRect DialogWorkArea(QPoint point, DialogMonitor monitor)
{
    if (point.x() < 0 && point.y() < 0) {
        QScreen* screen = ScreenForMonitor(monitor);
        return screen != nullptr ? screen->availableGeometry() : QRect();
    }
    return WorkAreaAt(point);
}

QPoint BottomRightOfControl(const QWidget* control, QPoint offset)
{
    if (control == nullptr)
        return offset;
    const QPoint corner(control->x() + control->width(), control->y() + control->height());
    const QWidget* parent = control->parentWidget();
    if (parent == nullptr || control->isWindow())
        return corner + offset;
    return parent->mapToGlobal(corner) + offset;
}

// ---- The standard message dialog --------------------------------------------

MessageLayout ComputeMessageLayout(int dx, int dy, QSize textSize, bool hasIcon, int buttonCount,
                                   int widestCaption)
{
    const int marginX = MulDiv(8, dx, 4);
    const int marginY = MulDiv(8, dy, 8);
    const int iconGap = MulDiv(10, dx, 4);
    const int textToButtons = MulDiv(10, dy, 8);
    const int buttonHeight = MulDiv(14, dy, 8);
    const int buttonWidth = std::max(widestCaption + 8, MulDiv(50, dx, 4));
    const int buttonGap = MulDiv(4, dx, 4);
    constexpr int kIconSize = 32;

    MessageLayout layout;
    int textLeft = marginX;
    int blockHeight = textSize.height();
    if (hasIcon) {
        layout.icon = QRect(marginX, marginY, kIconSize, kIconSize);
        textLeft += kIconSize + iconGap;
        blockHeight = std::max(blockHeight, kIconSize);
    }
    layout.text = QRect(textLeft, marginY, textSize.width(), textSize.height());

    const int rowWidth = buttonCount > 0 ? buttonCount * buttonWidth + (buttonCount - 1) * buttonGap : 0;
    const int contentWidth = std::max(rowWidth, textLeft - marginX + textSize.width());
    layout.client = QSize(contentWidth + 2 * marginX,
                          blockHeight + textToButtons + buttonHeight + 2 * marginY);

    const int rowTop = marginY + blockHeight + textToButtons;
    int x = (layout.client.width() - rowWidth) / 2;
    for (int i = 0; i < buttonCount; ++i) {
        layout.buttons.emplace_back(x, rowTop, buttonWidth, buttonHeight);
        x += buttonWidth + buttonGap;
    }
    return layout;
}

QString DialogCopyText(const QString& caption, const QString& message, const QStringList& buttonCaptions)
{
    const QString crlf = QStringLiteral("\r\n");
    const QString divider = QString(27, QLatin1Char('-')) + crlf;
    QString buttons;
    for (const QString& c : buttonCaptions)
        buttons += StripAccessKeys(c) + QStringLiteral("   ");
    return divider + caption + crlf + divider + message + crlf + divider + buttons + crlf + divider;
}

// ---- Dialogs ----------------------------------------------------------------

AnswerHook SetAnswerHook(AnswerHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

DialogResult MessageDialogAt(const QString& title, const QString& msg, DialogKind kind,
                             DialogButtons buttons, DialogButton defaultButton, QPoint point, int seconds,
                             DialogMonitor monitor)
{
    DialogRequest request;
    request.kind = kind;
    request.caption = title.isEmpty() ? DefaultCaption(kind) : title;
    request.message = msg;
    request.buttons = buttons;
    if (buttons.Has(defaultButton))
        request.defaultButton = defaultButton;
    request.point = point;
    request.seconds = seconds;
    request.monitor = monitor;

    if (const AnswerHook& hook = Hook()) {
        if (std::optional<DialogResult> answer = hook(request))
            return *answer;
    }
    return RunMessageDialog(request, title);
}

DialogResult MessageDialogAt(const QString& title, const QString& msg, DialogKind kind,
                             DialogButtons buttons, QPoint point, int seconds, DialogMonitor monitor)
{
    return MessageDialogAt(title, msg, kind, buttons, ImplicitDefaultButton(buttons), point, seconds,
                           monitor);
}

bool ConfirmDialogAt(QPoint point, const QString& msg, DialogButton defaultButton, DialogMonitor monitor)
{
    return MessageDialogAt(QString(), msg, DialogKind::Confirmation, {DialogButton::Yes, DialogButton::No},
                           defaultButton, point, 0, monitor) == DialogResult::Yes;
}

DialogResult InfoDialogAt(QPoint point, const QString& title, const QString& msg, DialogMonitor monitor)
{
    return MessageDialogAt(title, msg, DialogKind::Information, {DialogButton::OK}, point, 0, monitor);
}

DialogResult ErrorDialogAt(QPoint point, const QString& title, const QString& msg, DialogMonitor monitor)
{
    return MessageDialogAt(title, msg, DialogKind::Error, {DialogButton::OK}, point, 0, monitor);
}

DialogResult InfoDialog(const QString& msg, DialogMonitor monitor)
{
    return InfoDialogAt(DefaultDialogPos, QString(), msg, monitor);
}

DialogResult ErrorDialog(const QString& msg, DialogMonitor monitor)
{
    return ErrorDialogAt(DefaultDialogPos, QString(), msg, monitor);
}

}  // namespace MsgDialogs
