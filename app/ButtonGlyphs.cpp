#include "ButtonGlyphs.h"

#include "ConvertMain.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <algorithm>

namespace {

// The colours of the 16-pixel strips: outline, folder, front of an open folder, tree lines.
struct Colours {
    QColor outline, folder, front, line;
};

Colours ColoursOf(bool greyed)
{
    if (greyed)
        return {QColor(0x80, 0x80, 0x80), QColor(0xd4, 0xd4, 0xd4), QColor(0xc0, 0xc0, 0xc0), QColor(0x80, 0x80, 0x80)};
    return {QColor(0x5a, 0x46, 0x00), QColor(0xf8, 0xd8, 0x68), QColor(0xe0, 0xb0, 0x30), QColor(0x00, 0x00, 0x00)};
}

// The pictures are laid out on the 16-pixel grid of the strips, a pixel's centre at n + 0.5.
// A closed folder: its tab from left + 1 to left + tab one row above the body's top edge.
QPolygonF Folder(qreal left, qreal top, qreal right, qreal bottom, qreal tab)
{
    return QPolygonF{QPointF(left, bottom), QPointF(left, top), QPointF(left + 1, top - 1),
                     QPointF(left + tab, top - 1), QPointF(left + tab + 1, top), QPointF(right - 1, top),
                     QPointF(right, top + 1), QPointF(right, bottom)};
}

void DrawFolderTree(QPainter& p, const Colours& c, qreal pen)
{
    // The parent folder, and two sub-folders hanging from its line.
    p.setPen(QPen(c.line, pen, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(2.5, 5.5), QPointF(2.5, 13.5));
    p.drawLine(QPointF(2.5, 8.5), QPointF(5, 8.5));
    p.drawLine(QPointF(2.5, 13.5), QPointF(5, 13.5));
    p.setPen(QPen(c.outline, pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(c.folder);
    p.drawPolygon(Folder(0.5, 2.5, 10.5, 5.5, 3.5));
    p.drawPolygon(Folder(5.5, 8.5, 13.5, 10.5, 2.5));
    p.drawPolygon(Folder(5.5, 13.5, 13.5, 15.5, 2.5));
}

void DrawOpenFolder(QPainter& p, const Colours& c, qreal pen)
{
    p.setPen(QPen(c.outline, pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(c.folder);
    p.drawPolygon(Folder(1.5, 4.5, 13.5, 13.5, 4.5));
    // The front, tilted open towards the viewer.
    p.setBrush(c.front);
    p.drawPolygon(QPolygonF{QPointF(5, 7.5), QPointF(15.5, 7.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)});
}

const char* StripFile(ButtonGlyphs::Glyph glyph)
{
    return glyph == ButtonGlyphs::Glyph::FolderTree ? ":/images/folder-tree.xpm" : ":/images/open-folder.xpm";
}

} // namespace

namespace ButtonGlyphs {

QImage Drawn(Glyph glyph, int side, bool greyed)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal scale = side / 16.0;
    painter.scale(scale, scale);
    // Lines a little finer than the strips' pixel, never thinner than a pixel of the screen.
    const qreal pen = std::max(0.75, 1.0 / scale);
    const Colours colours = ColoursOf(greyed);
    if (glyph == Glyph::FolderTree)
        DrawFolderTree(painter, colours, pen);
    else
        DrawOpenFolder(painter, colours, pen);
    painter.end();
    return image;
}

QIcon Icon(Glyph glyph)
{
    QIcon icon = ConvertMain::GlyphIcon(QImage(QLatin1String(StripFile(glyph))));
    for (const int side : {32, 48}) {
        icon.addPixmap(QPixmap::fromImage(Drawn(glyph, side, false)), QIcon::Normal);
        icon.addPixmap(QPixmap::fromImage(Drawn(glyph, side, true)), QIcon::Disabled);
    }
    return icon;
}

} // namespace ButtonGlyphs
