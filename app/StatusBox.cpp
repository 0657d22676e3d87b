#include "StatusBox.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QPainter>
#include <QTextLayout>

namespace {

constexpr QChar kZeroWidthSpace(0x200B);
constexpr int kInnerMargin = 2;

// A break opportunity after every path delimiter, so that a long file name wraps there before
// it wraps inside a name.
QString WithPathBreaks(const QString& paragraph)
{
    QString text;
    text.reserve(paragraph.size() + paragraph.size() / 8);
    for (const QChar c : paragraph) {
        text += c;
        if (c == u'/' || c == u'\\')
            text += kZeroWidthSpace;
    }
    return text;
}

// The lines of one paragraph at the given width.
QStringList WrapParagraph(const QString& paragraph, const QFont& font, qreal width)
{
    const QString text = WithPathBreaks(paragraph);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).remove(kZeroWidthSpace).trimmed();
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines << QString();
    return lines;
}

// To assistive technology the box is a notification: its whole text is its name, and a screen
// reader reads it out when the box reports itself shown anew (Announce).
class StatusInterface final : public QAccessibleWidget {
public:
    explicit StatusInterface(QWidget* box) : QAccessibleWidget(box, QAccessible::Notification) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* StatusInterfaceFor(const QString& key, QObject* object)
{
    if (key == QLatin1String(TStatusBox::staticMetaObject.className()) && object->isWidgetType())
        return new StatusInterface(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

TStatusBox::TStatusBox(QWidget* parent) : QLabel(parent)
{
    static const bool interfaceKnown = [] {
        QAccessible::installFactory(StatusInterfaceFor);
        return true;
    }();
    Q_UNUSED(interfaceKnown)
    // The label's own text is what assistive technology reads; the box draws its own lines.
    setTextFormat(Qt::PlainText);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::NoFocus);
}

void TStatusBox::setText(const QString& text)
{
    FText = text;
    QString spoken = text;
    QLabel::setText(spoken.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    LayOut();
    update();
}

void TStatusBox::Announce()
{
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
    emit announced();
}

void TStatusBox::LayOut()
{
    const QRect area = contentsRect().adjusted(kInnerMargin, kInnerMargin, -kInnerMargin, -kInnerMargin);
    const QFontMetrics metrics(font());
    const int fitting = std::max(1, area.height() / std::max(1, metrics.lineSpacing()));

    QStringList lines;
    QString normalized = FText;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!FText.isEmpty()) {
        for (const QString& paragraph : normalized.split(u'\n'))
            lines += WrapParagraph(paragraph, font(), std::max(1, area.width()));
    }
    FComplete = lines.size() <= fitting;
    if (!FComplete) {
        lines = lines.mid(0, fitting);
        lines.back() = metrics.elidedText(lines.back() + QStringLiteral("…"), Qt::ElideRight, area.width());
    }
    FLines = lines;
    setToolTip(FComplete ? QString() : normalized);
}

void TStatusBox::paintEvent(QPaintEvent* event)
{
    // The frame as a frame draws it; the text below, not as the label would.
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    const QRect area = contentsRect().adjusted(kInnerMargin, kInnerMargin, -kInnerMargin, -kInnerMargin);
    const QFontMetrics metrics(font());
    int y = area.top();
    for (const QString& line : FLines) {
        painter.drawText(QRect(area.left(), y, area.width(), metrics.lineSpacing()), Qt::AlignLeft | Qt::AlignTop,
                         line);
        y += metrics.lineSpacing();
    }
}

void TStatusBox::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    LayOut();
}

void TStatusBox::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        LayOut();
}
