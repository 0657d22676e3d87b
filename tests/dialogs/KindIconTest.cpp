// The message icons stay sharp on a scaled screen: at a device pixel ratio of 2 a 32-pixel icon
// has 64 pixels of its own, not 32 pixels blown up; and each shows one picture at every scale.
#include "ImageCompare.h"
#include "MsgDialogs.h"

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

using ImageCompare::Doubled;
using MsgDialogs::DialogKind;

namespace {

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
        // And it is the same picture at every scale: a style's 32-pixel icon is not shown at
        // 1 and another picture at 2.
        for (const qreal ratio : {2.0, 3.0}) {
            const QImage larger = icon.pixmap(QSize(32, 32), ratio).toImage();
            EXPECT_LT(ImageCompare::MeanDifference(ImageCompare::Reduced(larger, 32, 32), normal.toImage()), 12.0)
                << ratio;
        }
    }
    EXPECT_TRUE(MsgDialogs::KindIcon(DialogKind::Custom).isNull());
}

}  // namespace
