// The icons of the message kinds: the style's, drawn anew where the style has none large enough.
#include "MsgDialogs.h"

#include <QApplication>
#include <QIcon>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <QStyle>

#include <algorithm>
#include <utility>

namespace MsgDialogs {

namespace {

// A message icon that stays sharp at every size and shows the same picture at every size: the
// style's own where it serves every scale (an icon theme's are scalable), else drawn here in the
// same meaning at every size: a warning triangle, a red disc with a cross, a blue disc with an
// "i", a disc with a "?". A style's picture of 32 pixels only is not taken at 32 and replaced
// by another at 64.
class KindIconEngine final : public QIconEngine {
public:
    KindIconEngine(DialogKind kind, QIcon style)
        : kind_(kind), style_(std::move(style)), useStyle_(ServesEveryScale(style_))
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() != nullptr ? painter->device()->devicePixelRatio() : 1.0;
        const QSize device(qRound(rect.width() * dpr), qRound(rect.height() * dpr));
        QPixmap picture = pixmap(device, mode, state);
        picture.setDevicePixelRatio(dpr);
        painter->drawPixmap(rect, picture);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        if (useStyle_)
            return style_.pixmap(size, 1.0, mode, state);
        QPixmap picture(size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size.width() / 32.0, size.height() / 32.0);
        Draw(painter);
        painter.end();
        if (mode == QIcon::Disabled)
            return style_.isNull() ? picture : QApplication::style()->generatedIconPixmap(mode, picture, nullptr);
        return picture;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {}; }
    QIconEngine* clone() const override { return new KindIconEngine(kind_, style_); }
    QString key() const override { return QStringLiteral("kk_KindIcon"); }

private:
    // The largest message icon a dialog asks for: 32 pixels at a display scale of 4.
    static constexpr int kLargestSide = 128;

    // The style's picture serves where it is scalable (no fixed sizes) or has one as large as
    // any scale needs.
    static bool ServesEveryScale(const QIcon& style)
    {
        if (style.isNull())
            return false;
        const QList<QSize> sizes = style.availableSizes();
        if (sizes.isEmpty())
            return true;
        return std::any_of(sizes.begin(), sizes.end(), [](const QSize& s) {
            return s.width() >= kLargestSide && s.height() >= kLargestSide;
        });
    }

    void Disc(QPainter& p, const QColor& light, const QColor& dark) const
    {
        QRadialGradient fill(QPointF(12, 10), 20);
        fill.setColorAt(0, light);
        fill.setColorAt(1, dark);
        p.setPen(QPen(dark.darker(130), 1.0));
        p.setBrush(fill);
        p.drawEllipse(QPointF(16, 16), 14.5, 14.5);
    }

    void Draw(QPainter& p) const
    {
        switch (kind_) {
        case DialogKind::Warning: {
            QPainterPath triangle;
            triangle.moveTo(16, 2.5);
            triangle.lineTo(30, 28.5);
            triangle.lineTo(2, 28.5);
            triangle.closeSubpath();
            p.setPen(QPen(QColor(0xb0, 0x10, 0x10), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(QColor(0xff, 0xd8, 0x30));
            p.drawPath(triangle);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            p.drawRoundedRect(QRectF(14.5, 10, 3, 11), 1.5, 1.5);
            p.drawEllipse(QPointF(16, 24.5), 1.8, 1.8);
            break;
        }
        case DialogKind::Error:
            Disc(p, QColor(0xff, 0x70, 0x60), QColor(0xc0, 0x10, 0x10));
            p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
            p.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
            break;
        case DialogKind::Information:
            Disc(p, QColor(0x80, 0xb8, 0xff), QColor(0x10, 0x48, 0xb0));
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(16, 9.5), 2.2, 2.2);
            p.drawRoundedRect(QRectF(14, 13.5, 4, 11.5), 1.2, 1.2);
            break;
        case DialogKind::Confirmation: {
            Disc(p, QColor(0x80, 0xb8, 0xff), QColor(0x10, 0x48, 0xb0));
            QPainterPath mark;
            mark.moveTo(11.5, 12.5);
            mark.cubicTo(11.5, 6.5, 21, 6.5, 20.5, 12);
            mark.cubicTo(20.2, 15.5, 16, 15.5, 16, 19.5);
            p.setPen(QPen(Qt::white, 3.0, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            p.drawPath(mark);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(16, 24), 1.9, 1.9);
            break;
        }
        case DialogKind::Custom:
            break;
        }
    }

    DialogKind kind_;
    QIcon style_;
    bool useStyle_;
};

}  // namespace

QIcon KindIcon(DialogKind kind)
{
    QStyle::StandardPixmap pixmap;
    switch (kind) {
    case DialogKind::Warning:
        pixmap = QStyle::SP_MessageBoxWarning;
        break;
    case DialogKind::Error:
        pixmap = QStyle::SP_MessageBoxCritical;
        break;
    case DialogKind::Information:
        pixmap = QStyle::SP_MessageBoxInformation;
        break;
    case DialogKind::Confirmation:
        pixmap = QStyle::SP_MessageBoxQuestion;
        break;
    default:
        return QIcon();
    }
    return QIcon(new KindIconEngine(kind, QApplication::style()->standardIcon(pixmap)));
}

}  // namespace MsgDialogs
