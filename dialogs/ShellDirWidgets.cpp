#include "ShellDirWidgets.h"

#include "ShellDirCommon.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadialGradient>
#include <QRubberBand>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOptionFrame>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTimer>

#include <initializer_list>
#include <utility>

namespace ShellDirDlg {

namespace {

// The look of the directory field: without a drop-down list it is drawn as a plain edit
// field whose text takes the arrow's room too. A style of the field's own (no style sheet:
// taking one back leaves the arrow drawn only under the mouse).
class TComboStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override
    {
        if (control == CC_ComboBox && Plain(widget)) {
            QStyleOptionFrame frame;
            frame.QStyleOption::operator=(*option);
            frame.lineWidth = pixelMetric(PM_DefaultFrameWidth, option, widget);
            frame.midLineWidth = 0;
            frame.state |= State_Sunken;
            drawPrimitive(PE_PanelLineEdit, &frame, painter, widget);
            return;
        }
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override
    {
        if (control == CC_ComboBox && Plain(widget)) {
            if (sub == SC_ComboBoxArrow)
                return QRect();
            if (sub == SC_ComboBoxEditField) {
                QRect field = QProxyStyle::subControlRect(control, option, sub, widget);
                field.setRight(option->rect.right() - (field.left() - option->rect.left()));
                return field;
            }
        }
        return QProxyStyle::subControlRect(control, option, sub, widget);
    }

    SubControl hitTestComplexControl(ComplexControl control, const QStyleOptionComplex* option, const QPoint& pos,
                                     const QWidget* widget) const override
    {
        if (control == CC_ComboBox && Plain(widget))
            return option->rect.contains(pos) ? SC_ComboBoxEditField : SC_None;
        return QProxyStyle::hitTestComplexControl(control, option, pos, widget);
    }

private:
    static bool Plain(const QWidget* widget)
    {
        const auto* combo = dynamic_cast<const THistoryCombo*>(widget);
        return combo != nullptr && !combo->HasDropDown();
    }
};

}  // namespace

// ---- The directory field ------------------------------------------------------------------

THistoryCombo::THistoryCombo(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    auto* look = new TComboStyle(QStyleFactory::create(QApplication::style()->name()));
    look->setParent(this);
    setStyle(look);
}

void THistoryCombo::SetDropDown(bool on)
{
    if (on == FDropDown)
        return;
    FDropDown = on;
    // The edit field takes or leaves the arrow's room.
    QResizeEvent resize(size(), size());
    QCoreApplication::sendEvent(this, &resize);
    update();
}

void THistoryCombo::showPopup()
{
    if (!FDropDown)
        return;
    FPopupOpen = true;
    QComboBox::showPopup();
}

void THistoryCombo::hidePopup()
{
    QComboBox::hidePopup();
    if (!std::exchange(FPopupOpen, false))
        return;  // the combo box hides its list on many occasions; only a shown list closes up
    // The picked entry becomes current only after the list is hidden.
    if (OnCloseUp)
        QTimer::singleShot(0, this, [this] { OnCloseUp(); });
}

// ---- Root buttons -------------------------------------------------------------------------

void TRootButton::paintEvent(QPaintEvent* /*event*/)
{
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    // The access key underlined where the style shows them.
    QStyleOption hint;
    hint.initFrom(this);
    const int mnemonic =
        style()->styleHint(QStyle::SH_UnderlineShortcut, &hint, this) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | mnemonic;
    // A caption of two lines takes its room from the picture.
    const int textHeight = fontMetrics().boundingRect(QRect(0, 0, width() - 2, height()), flags, text()).height();
    const int side = qBound(16, height() - textHeight - 2, 48);
    const QRect picture((width() - side) / 2, 1, side, side);
    icon().paint(&painter, picture, Qt::AlignCenter, mode);
    painter.drawText(QRect(1, picture.bottom() + 1, width() - 2, textHeight), flags, text());
}

// ---- Panels -------------------------------------------------------------------------------

void TAnchorPanel::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    const int dw = width() - FDesign.width();
    const int dh = height() - FDesign.height();
    for (const Item& item : FItems) {
        QRect r = item.rect;
        if ((item.anchors & Right) != 0) {
            if ((item.anchors & Left) != 0)
                r.setWidth(r.width() + dw);
            else
                r.moveLeft(r.left() + dw);
        }
        if ((item.anchors & Bottom) != 0) {
            if ((item.anchors & Top) != 0)
                r.setHeight(r.height() + dh);
            else
                r.moveTop(r.top() + dh);
        }
        item.widget->setGeometry(r);
    }
}

// ---- Splitter -----------------------------------------------------------------------------

TSplitterHandle::TSplitterHandle(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::SplitHCursor);
    setAttribute(Qt::WA_Hover);
}

QWidget* TSplitterHandle::DragLine() const
{
    return FLine;
}

int TSplitterHandle::DragTo(int globalX) const
{
    const int last = qMax(1, parentWidget()->width() - width() - 1);
    return qBound(1, x() + globalX - FStart, last);
}

void TSplitterHandle::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    option.state |= QStyle::State_Horizontal;
    if (FDragging)
        option.state |= QStyle::State_Sunken;
    style()->drawControl(QStyle::CE_Splitter, &option, &painter, this);
}

void TSplitterHandle::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    FStart = event->globalPosition().toPoint().x();
    FDragging = true;
    if (FLine == nullptr)
        FLine = new QRubberBand(QRubberBand::Line, parentWidget());
    FLine->setGeometry(geometry());
    FLine->show();
    FLine->raise();
    update();
}

void TSplitterHandle::mouseMoveEvent(QMouseEvent* event)
{
    if (FDragging)
        FLine->move(DragTo(event->globalPosition().toPoint().x()), y());
}

void TSplitterHandle::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !FDragging)
        return;
    FDragging = false;
    FLine->hide();
    update();
    if (OnMoved)
        OnMoved(DragTo(event->globalPosition().toPoint().x()) - x());
}

// ---- The new-folder input box ---------------------------------------------------------------

TPathLabel::TPathLabel(const QString& text, QWidget* parent) : QWidget(parent), FText(text)
{
    setToolTip(text);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QString TPathLabel::ShownText() const
{
    return fontMetrics().elidedText(FText, Qt::ElideMiddle, width());
}

QSize TPathLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(FText) + 1, fontMetrics().height()};
}

QSize TPathLabel::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("XXXXXXXX")), fontMetrics().height()};
}

void TPathLabel::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, ShownText());
}

std::optional<QString> AskNewFolder(QWidget* parent, const QString& caption, const QString& prompt,
                                    const QString& text)
{
    QDialog box(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    box.setObjectName(QStringLiteral("ShellDirNewFolder"));
    box.setWindowTitle(caption);
    if (parent != nullptr)
        box.setFont(parent->font());
    auto* path = new TPathLabel(caption, &box);
    path->setObjectName(QStringLiteral("Path"));
    // The prompt with an access key for the field (its first letter unless it has one).
    auto* label = new QLabel(prompt.contains(QLatin1Char('&')) ? prompt : QLatin1Char('&') + prompt, &box);
    auto* edit = new QLineEdit(text, &box);
    label->setBuddy(edit);
    auto* ok = new QPushButton(Tr(QStringLiteral("OK")), &box);
    auto* cancel = new QPushButton(Tr(QStringLiteral("Abbrechen")), &box);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &box, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(path);
    layout->addSpacing(4);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addLayout(buttons);

    // Wide enough for the whole caption where the screen allows it (with room for the frame).
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const int most = screen != nullptr ? screen->availableGeometry().width() - 40 : 1000;
    const QMargins margins = layout->contentsMargins();
    // Window managers draw the title in bold, with their buttons beside it.
    QFont title = box.font();
    title.setBold(true);
    const int wanted = qMax(path->sizeHint().width() + margins.left() + margins.right(),
                            QFontMetrics(title).horizontalAdvance(caption) + 120);
    box.resize(qBound(qMin(360, most), wanted, most), box.sizeHint().height());
    edit->setFocus();
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return edit->text();
}

// ---- Root pictures ---------------------------------------------------------------------------

namespace {

QLinearGradient Vertical(qreal top, qreal bottom, const QColor& from, const QColor& to)
{
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    return gradient;
}

// A monitor with its stand; screen is the brush of its glass.
void DrawMonitor(QPainter& p, const QRectF& frame, const QBrush& screen)
{
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.0));
    p.setBrush(Vertical(frame.top(), frame.bottom(), QColor(0x70, 0x70, 0x70), QColor(0x2a, 0x2a, 0x2a)));
    const qreal cx = frame.center().x();
    QPolygonF stand;
    stand << QPointF(cx - 3, frame.bottom()) << QPointF(cx + 3, frame.bottom()) << QPointF(cx + 5, frame.bottom() + 5)
          << QPointF(cx - 5, frame.bottom() + 5);
    p.drawPolygon(stand);
    p.drawRoundedRect(QRectF(cx - 10, frame.bottom() + 4.5, 20, 3), 1.2, 1.2);
    p.drawRoundedRect(frame, 2.5, 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(screen);
    p.drawRect(frame.adjusted(2.5, 2.5, -2.5, -2.5));
}

void DrawDesktop(QPainter& p)
{
    const QRectF frame(3, 5, 42, 30);
    DrawMonitor(p, frame, Vertical(8, 32, QColor(0x8c, 0xc8, 0xff), QColor(0x1c, 0x5c, 0xb4)));
    // Two desktop icons and a task bar.
    p.setPen(QPen(QColor(0x9a, 0x6a, 0x08), 0.8));
    p.setBrush(QColor(0xff, 0xd4, 0x5a));
    p.drawRect(QRectF(9, 10.5, 7, 5));
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 0.8));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9.5, 19, 6, 7));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x2a, 0x60, 0xd0));
    p.drawRect(QRectF(5.5, 29, 37, 3.5));
}

void DrawDocuments(QPainter& p)
{
    const QColor edge(0xa0, 0x70, 0x10);
    p.setPen(QPen(edge, 1.0));
    p.setBrush(QColor(0xe0, 0xa8, 0x38));
    p.drawRoundedRect(QRectF(3, 8, 18, 8), 2, 2);  // the tab
    p.drawRoundedRect(QRectF(3, 11, 42, 31), 2.5, 2.5);
    // A sheet of paper with lines of text.
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 0.8));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(10, 5, 28, 27));
    p.setPen(QPen(QColor(0x70, 0x90, 0xc0), 1.2));
    for (qreal y = 10; y < 28; y += 4)
        p.drawLine(QPointF(14, y), QPointF(y < 24 ? 34 : 27, y));
    p.setPen(QPen(edge, 1.0));
    p.setBrush(Vertical(18, 42, QColor(0xff, 0xdc, 0x70), QColor(0xf0, 0xb0, 0x28)));
    p.drawRoundedRect(QRectF(3, 19, 42, 23), 2.5, 2.5);
}

void DrawComputer(QPainter& p)
{
    // A tower beside a monitor, a keyboard in front.
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1.0));
    p.setBrush(Vertical(6, 40, QColor(0xf4, 0xf4, 0xf4), QColor(0xb8, 0xb8, 0xb8)));
    p.drawRoundedRect(QRectF(3, 6, 13, 32), 1.5, 1.5);
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.0));
    p.drawLine(QPointF(5.5, 11), QPointF(13.5, 11));
    p.drawLine(QPointF(5.5, 15), QPointF(13.5, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x30, 0xc0, 0x40));
    p.drawEllipse(QPointF(9.5, 33), 1.5, 1.5);
    DrawMonitor(p, QRectF(19, 8, 26, 21), Vertical(10, 27, QColor(0x7a, 0xd8, 0xe0), QColor(0x16, 0x78, 0x88)));
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1.0));
    p.setBrush(Vertical(40, 46, QColor(0xe8, 0xe8, 0xe8), QColor(0xa8, 0xa8, 0xa8)));
    QPolygonF keyboard;
    keyboard << QPointF(9, 40) << QPointF(45, 40) << QPointF(46.5, 45.5) << QPointF(7.5, 45.5);
    p.drawPolygon(keyboard);
}

void DrawNetwork(QPainter& p)
{
    // A globe over a cable joining two computers.
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.6));
    p.drawLine(QPointF(24, 36), QPointF(24, 42));
    p.drawLine(QPointF(9, 42), QPointF(39, 42));
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.0));
    p.setBrush(Vertical(38, 47, QColor(0x90, 0x90, 0x90), QColor(0x40, 0x40, 0x40)));
    p.drawRoundedRect(QRectF(2, 38.5, 11, 8), 1.2, 1.2);
    p.drawRoundedRect(QRectF(35, 38.5, 11, 8), 1.2, 1.2);
    const QPointF centre(24, 19.5);
    const qreal r = 16.5;
    QRadialGradient sea(QPointF(18, 13), 24);
    sea.setColorAt(0, QColor(0xa8, 0xdc, 0xff));
    sea.setColorAt(1, QColor(0x18, 0x58, 0xa8));
    p.setPen(QPen(QColor(0x12, 0x44, 0x84), 1.0));
    p.setBrush(sea);
    p.drawEllipse(centre, r, r);
    QPainterPath globe;
    globe.addEllipse(centre, r, r);
    p.save();
    p.setClipPath(globe);
    p.setPen(QPen(QColor(255, 255, 255, 170), 1.1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, r * 0.45, r);
    p.drawLine(QPointF(centre.x(), centre.y() - r), QPointF(centre.x(), centre.y() + r));
    for (qreal dy : {-r * 0.5, 0.0, r * 0.5})
        p.drawLine(QPointF(centre.x() - r, centre.y() + dy), QPointF(centre.x() + r, centre.y() + dy));
    p.restore();
}

// The small buttons' pictures, on a 16-pixel grid (a pixel's centre at n + 0.5).
void DrawHome(QPainter& p)
{
    p.setPen(QPen(QColor(0x5a, 0x48, 0x30), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Vertical(7, 15, QColor(0xfa, 0xf4, 0xe4), QColor(0xd8, 0xcc, 0xb0)));
    p.drawRect(QRectF(3.5, 7.5, 9, 7));
    p.setBrush(QColor(0x8a, 0x5a, 0x2a));
    p.drawRect(QRectF(6.5, 10.5, 3, 4));
    p.setPen(QPen(QColor(0x80, 0x18, 0x10), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Vertical(1, 8, QColor(0xf0, 0x60, 0x40), QColor(0xb8, 0x28, 0x18)));
    p.drawPolygon(QPolygonF{QPointF(8, 1.5), QPointF(15, 8), QPointF(1, 8)});
}

void DrawUp(QPainter& p)
{
    p.setPen(QPen(QColor(0x1c, 0x60, 0x18), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Vertical(1, 15, QColor(0x8c, 0xdc, 0x64), QColor(0x2c, 0x90, 0x24)));
    p.drawPolygon(QPolygonF{QPointF(8, 1.5), QPointF(14.5, 8), QPointF(10.5, 8), QPointF(10.5, 14.5), QPointF(5.5, 14.5),
                            QPointF(5.5, 8), QPointF(1.5, 8)});
}

void DrawNewFolder(QPainter& p)
{
    p.setPen(QPen(QColor(0x8a, 0x64, 0x08), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Vertical(5, 15, QColor(0xff, 0xe0, 0x7a), QColor(0xe8, 0xb0, 0x30)));
    p.drawPolygon(QPolygonF{QPointF(0.5, 14.5), QPointF(0.5, 5.5), QPointF(1.5, 4.5), QPointF(4.5, 4.5),
                            QPointF(5.5, 5.5), QPointF(11.5, 5.5), QPointF(11.5, 14.5)});
    // A plus: something new.
    p.setPen(QPen(QColor(0xff, 0xff, 0xff), 3.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12.5, 1.5), QPointF(12.5, 7.5));
    p.drawLine(QPointF(9.5, 4.5), QPointF(15.5, 4.5));
    p.setPen(QPen(QColor(0x20, 0x80, 0x20), 1.6, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(12.5, 1.5), QPointF(12.5, 7.5));
    p.drawLine(QPointF(9.5, 4.5), QPointF(15.5, 4.5));
}

// The desktop's icon theme's picture of that name where it has one, else the picture drawn on a
// grid of grid x grid units at each of the sides.
QIcon ThemeOrDrawnIcon(const char* themeName, std::initializer_list<int> sides, qreal grid,
                       void (*draw)(QPainter&))
{
    if (QIcon::hasThemeIcon(QLatin1String(themeName)))
        return QIcon::fromTheme(QLatin1String(themeName));
    QIcon icon;
    for (const int side : sides) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(side / grid, side / grid);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QIcon ButtonIcon(ButtonPicture picture)
{
    static const char* const themeNames[] = {"go-home", "go-up", "folder-new"};
    static void (*const draw[])(QPainter&) = {DrawHome, DrawUp, DrawNewFolder};
    const auto kind = static_cast<int>(picture);
    return ThemeOrDrawnIcon(themeNames[kind], {16, 24, 32, 48}, 16, draw[kind]);
}

QIcon RootIcon(RootPicture picture)
{
    static const char* const themeNames[] = {"user-desktop", "folder-documents", "computer", "network-workgroup"};
    static void (*const draw[])(QPainter&) = {DrawDesktop, DrawDocuments, DrawComputer, DrawNetwork};
    const auto kind = static_cast<int>(picture);
    return ThemeOrDrawnIcon(themeNames[kind], {16, 24, 32, 48, 64, 96}, 48, draw[kind]);
}

}  // namespace ShellDirDlg
