#include "SelectDlg.h"

#include "GgtDummy.h"

#include <QCheckBox>
#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <memory>
#include <utility>

using MsgDialogs::MulDiv;

namespace SelectDlg {

namespace {

AnswerHook& Hook()
{
    static AnswerHook hook;
    return hook;
}

const char* const kTagProperty = "tag";
const QString kCrLf = QStringLiteral("\r\n");
const QChar kEllipsis(0x2026);

// The question as the label shows it: every line at most `width` wide,
// shortened in the middle, and at most maxLines lines; when lines are left
// out, the last one shown ends in an ellipsis.
QString FitCaption(const QString& text, const QFontMetrics& fm, int width, int maxLines)
{
    QStringList lines = text.split(kCrLf);
    const bool linesLeftOut = lines.size() > maxLines;
    if (linesLeftOut)
        lines.erase(lines.begin() + std::max(maxLines, 1), lines.end());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool markCut = linesLeftOut && i == lines.size() - 1;
        const int room = markCut ? width - fm.horizontalAdvance(kEllipsis) : width;
        if (fm.horizontalAdvance(lines[i]) > room)
            lines[i] = fm.elidedText(lines[i], Qt::ElideMiddle, room);
        if (markCut)
            lines[i] += kEllipsis;
    }
    return lines.join(kCrLf);
}

// A tooltip showing text whole, its lines kept and long lines wrapped, also
// where they have no blank to wrap at (a path).
QString WholeTextTip(const QString& text)
{
    QString lines = text;
    lines.replace(kCrLf, QStringLiteral("\n"));
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + lines.toHtmlEscaped() + QStringLiteral("</p>");
}

}  // namespace

Layout ComputeLayout(const LayoutInput& in)
{
    const auto scaled = [&](int n) { return MulDiv(n, in.dpi, 96); };
    const int bw = scaled(in.buttonWidth > 0 ? in.buttonWidth : DefaultButtonWidth);
    const int minWidth = scaled(70) + 3 * bw;
    int width = minWidth;
    const int left = scaled(50);
    const int right = scaled(10);
    const int h = in.fontHeight;

    int tw = in.bold ? MulDiv(in.textWidth, 5, 4) : in.textWidth;
    if (width - left - right > tw)
        tw = width - left - right;  // the text uses all the room above the buttons
    else
        width = tw + left + right;  // the dialog grows to the text
    if (in.maxClient.width() > 0 && width > in.maxClient.width()) {
        width = std::max(in.maxClient.width(), minWidth);  // but not past the work area
        tw = width - left - right;
    }

    const int lineHeight = MulDiv(h, 12, 10);
    const int bh = MulDiv(h, 24, 10);
    const int rowStep = MulDiv(bh, 30, 26);
    const auto build = [&](int lines) {
        Layout layout;
        const int labelTop = scaled(10);
        layout.lines = lines;
        layout.label = QRect(left, labelTop, tw, lines * lineHeight);
        layout.icon = QRect(scaled(5), scaled(15), 32, 32);

        int y = layout.label.y() + layout.label.height() + 15;

        if (in.hasOption) {
            layout.option = QRect(left, y - 5, width - left - 10, scaled(26));
            y += layout.option.height();
        }

        // Rows of three, the closing button last, the last row aligned right.
        const int captions = in.captionCount > 0 ? in.captionCount : 0;
        const int rows = captions / 3;
        const int inLastRow = captions % 3 + 1;
        const int x0 = width - 3 * (bw + 5) - 5;
        for (int i = 0; i < rows; ++i) {
            for (int j = 0; j < 3; ++j)
                layout.buttons.emplace_back(x0 + j * (bw + 5), y, bw, bh);
            y += rowStep;
        }
        for (int j = 0; j < inLastRow; ++j)
            layout.buttons.emplace_back(x0 + (3 - inLastRow + j) * (bw + 5), y, bw, bh);

        layout.client = QSize(width, y + rowStep + 5);
        return layout;
    };

    const int lines = std::max(in.lineCount, 1);
    Layout layout = build(lines);
    const int excess = layout.client.height() - in.maxClient.height();
    if (in.maxClient.height() > 0 && excess > 0 && lines > 1)
        layout = build(std::max(1, lines - (excess + lineHeight - 1) / lineHeight));
    return layout;
}

int FocusIndex(int preSelection, int buttonCount)
{
    int p = preSelection;
    if (p > 0)
        p &= 0xFF;
    if (p > buttonCount - 1)
        p = -1;
    return p < 0 ? -1 : p;
}

bool PreSelectionTicks(int preSelection)
{
    return preSelection > 0 && (preSelection & OptionTicked) != 0;
}

int PackResult(int selection, bool ticked)
{
    return selection >= 0 && ticked ? selection + OptionTicked : selection;
}

AnswerHook SetAnswerHook(AnswerHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

int SelectOption(const QString& ATitle, const QString& ACaption, MsgDialogs::DialogKind DlgType,
                 FontStyles ACaptionFormat, const QStringList& AButtons, const QString& AOption,
                 int ButtonWidth, int PreSelection, const QString& DefaultButton)
{
    if (const AnswerHook& hook = Hook()) {
        const SelectRequest request{ATitle,   ACaption,    DlgType,      ACaptionFormat, AButtons,
                                    AOption,  ButtonWidth, PreSelection, DefaultButton};
        if (std::optional<int> answer = hook(request))
            return *answer;
    }

    // A fresh dialog for every call, destroyed before the result is returned.
    auto dialog = std::make_unique<TSelectDialog>();
    return dialog->Execute(MsgDialogs::DefaultDialogPos, ATitle, ACaption, DlgType, ACaptionFormat, AButtons,
                           AOption, ButtonWidth, PreSelection, DefaultButton);
}

}  // namespace SelectDlg

// ---- TSelectDialog ---------------------------------------------------------------

TSelectDialog::TSelectDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("SelectDialog"));
    setWindowTitle(QStringLiteral("Dialog"));
    setFixedSize(385, 145);

    lbCaption = new QLabel(this);
    lbCaption->setObjectName(QStringLiteral("lbCaption"));
    lbCaption->setTextFormat(Qt::PlainText);
    lbCaption->setWordWrap(true);
    lbCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbCaption->setGeometry(50, 10, 325, 13);

    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setGeometry(5, 15, 32, 32);
    imgIcon->setAttribute(Qt::WA_TranslucentBackground);

    for (int kind = 0; kind <= static_cast<int>(MsgDialogs::DialogKind::Confirmation); ++kind)
        ilIcons << MsgDialogs::KindIcon(static_cast<MsgDialogs::DialogKind>(kind)).pixmap(32, 32);

    cbOption = new QCheckBox(this);
    cbOption->setObjectName(QStringLiteral("cbOption"));
    cbOption->setGeometry(50, 50, 97, 26);
    cbOption->hide();

    FormCreate();
}

void TSelectDialog::FormCreate()
{
    GgtDummy::TranslateForm(this, QStringLiteral("dialogs"));
}

void TSelectDialog::ButtonClick(QPushButton* sender)
{
    Selection = sender->property(SelectDlg::kTagProperty).toInt();
}

int TSelectDialog::Execute(QPoint APos, const QString& ATitle, const QString& ACaption,
                           MsgDialogs::DialogKind DlgType, SelectDlg::FontStyles ACaptionFormat,
                           const QStringList& AButtons, const QString& AOption, int ButtonWidth,
                           int PreSelection, const QString& DefaultButton)
{
    using namespace SelectDlg;

    MsgDialogs::PlaceDialogAt(this, APos, false);
    setWindowTitle(ATitle);
    const QRect workArea = MsgDialogs::DialogWorkArea(APos, MsgDialogs::DialogMonitor::ActiveForm);

    // The design font, Tahoma 8 pt (11 px at 96 dpi), at the screen's density.
    const int dpi = screen() != nullptr ? qRound(screen()->logicalDotsPerInchY()) : 96;
    QFont dialogFont(QStringLiteral("Tahoma"));
    dialogFont.setPixelSize(MulDiv(11, dpi, 96));
    setFont(dialogFont);

    LayoutInput in;
    in.dpi = dpi;
    in.textWidth = MsgDialogs::WidestLineWidth(ACaption, dialogFont);
    in.bold = (ACaptionFormat & Bold) != 0;
    in.lineCount = MsgDialogs::CountLines(ACaption);
    in.fontHeight = dialogFont.pixelSize();
    in.captionCount = static_cast<int>(AButtons.size());
    in.buttonWidth = ButtonWidth;
    in.hasOption = !AOption.isEmpty();
    if (!workArea.isEmpty())
        in.maxClient = MsgDialogs::LargestClientSize(workArea, MsgDialogs::ExpectedFrameMargins(this));
    const Layout layout = ComputeLayout(in);

    QFont captionFont = dialogFont;
    captionFont.setBold((ACaptionFormat & Bold) != 0);
    captionFont.setItalic((ACaptionFormat & Italic) != 0);
    captionFont.setUnderline((ACaptionFormat & Underline) != 0);
    captionFont.setStrikeOut((ACaptionFormat & StrikeOut) != 0);
    lbCaption->setFont(captionFont);
    lbCaption->setGeometry(layout.label);
    const QString shownCaption = FitCaption(ACaption, QFontMetrics(captionFont), layout.label.width(), layout.lines);
    lbCaption->setText(shownCaption);
    lbCaption->setToolTip(shownCaption == ACaption ? QString() : WholeTextTip(ACaption));
    // A screen reader reads the question whole, also where the label shows it shortened.
    lbCaption->setAccessibleName(shownCaption == ACaption ? QString() : ACaption);

    setFixedSize(layout.client);

    cbOption->setChecked(false);
    if (in.hasOption) {
        cbOption->setGeometry(layout.option);
        QStyleOptionButton box;
        box.initFrom(cbOption);
        const int room = cbOption->style()->subElementRect(QStyle::SE_CheckBoxContents, &box, cbOption).width();
        const QFontMetrics fm(cbOption->font());
        const bool tooWide = fm.horizontalAdvance(AOption) > room;
        cbOption->setText(tooWide ? fm.elidedText(AOption, Qt::ElideMiddle, room, Qt::TextShowMnemonic) : AOption);
        cbOption->setToolTip(tooWide ? WholeTextTip(AOption) : QString());
        cbOption->setAccessibleName(tooWide ? QString(AOption).remove(QLatin1Char('&')) : QString());
        if (PreSelection > 0)
            cbOption->setChecked(PreSelectionTicks(PreSelection));
        cbOption->show();
    } else {
        cbOption->hide();
    }

    const int kind = static_cast<int>(DlgType);
    if (DlgType == MsgDialogs::DialogKind::Custom || kind < 0 || kind >= ilIcons.size()) {
        imgIcon->hide();
    } else {
        imgIcon->setGeometry(layout.icon);
        imgIcon->setPixmap(ilIcons.at(kind));
        imgIcon->setAccessibleName(MsgDialogs::IconMeaning(DlgType));
        imgIcon->show();
    }

    const int n = static_cast<int>(layout.buttons.size());
    QWidget* previous = nullptr;
    for (int m = 0; m < n; ++m) {
        const bool closing = m == n - 1;
        QString caption;
        if (!closing)
            caption = AButtons.at(m);
        else if (!DefaultButton.isEmpty())
            caption = DefaultButton;
        else
            caption = GgtDummy::TranslateText(QStringLiteral("dialogs"), QStringLiteral("Abbrechen"));
        auto* button = new QPushButton(caption, this);
        button->setGeometry(layout.buttons[static_cast<std::size_t>(m)]);
        button->setProperty(kTagProperty, closing ? -1 : m);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setAutoDefault(true);  // Enter presses the focused button
        connect(button, &QPushButton::clicked, this, [this, button] {
            ButtonClick(button);
            accept();
        });
        if (previous != nullptr)
            setTabOrder(previous, button);
        previous = button;
        Buttons << button;
    }
    if (previous != nullptr)
        setTabOrder(previous, cbOption);

    Selection = -1;

    const int focus = FocusIndex(PreSelection, n);
    Buttons.at(focus < 0 ? n - 1 : focus)->setFocus(Qt::OtherFocusReason);

    // Escape and the close box leave Selection at -1, as the closing button does.
    struct RemoveButtons {
        TSelectDialog* dialog;
        ~RemoveButtons()
        {
            const QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
            dialog->Buttons.clear();
            qDeleteAll(buttons);
        }
    } removeButtons{this};

    exec();
    return PackResult(Selection, cbOption->isChecked());
}
