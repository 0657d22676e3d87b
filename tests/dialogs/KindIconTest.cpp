// The message icons stay sharp on a scaled screen: at a device pixel ratio of 2 a 32-pixel icon
// has 64 pixels of its own, not 32 pixels blown up.
#include "MsgDialogs.h"

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

using MsgDialogs::DialogKind;

namespace {

// Whether every 2 x 2 block of the image has one colour, as a picture enlarged twofold has.
bool Doubled(const QImage& image)
{
    for (int y = 0; y + 1 < image.height(); y += 2) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb c = image.pixel(x, y);
            if (image.pixel(x + 1, y) != c || image.pixel(x, y + 1) != c || image.pixel(x + 1, y + 1) != c)
                return false;
        }
    }
    return true;
}

TEST(KindIcons, SharpAtEveryPixelRatio)
{
    for (DialogKind kind :
         {DialogKind::Warning, DialogKind::Error, DialogKind::Information, DialogKind::Confirmation}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const QIcon icon = MsgDialogs::KindIcon(kind);
        ASSERT_FALSE(icon.isNull());
        const QPixmap normal = icon.pixmap(QSize(32, 32), 1.0);
        EXPECT_EQ(normal.size(), QSize(32, 32));
        const QPixmap scaled = icon.pixmap(QSize(32, 32), 2.0);
        EXPECT_EQ(scaled.size(), QSize(64, 64));
        EXPECT_EQ(scaled.deviceIndependentSize().toSize(), QSize(32, 32));
        EXPECT_FALSE(Doubled(scaled.toImage().convertToFormat(QImage::Format_ARGB32)));
        // Painted into a scaled picture, as the message dialog paints it, it is just as sharp.
        QImage target(64, 64, QImage::Format_ARGB32_Premultiplied);
        target.setDevicePixelRatio(2.0);
        target.fill(Qt::transparent);
        {
            QPainter painter(&target);
            icon.paint(&painter, QRect(0, 0, 32, 32));
        }
        EXPECT_FALSE(Doubled(target.convertToFormat(QImage::Format_ARGB32)));
    }
    EXPECT_TRUE(MsgDialogs::KindIcon(DialogKind::Custom).isNull());
}

}  // namespace
