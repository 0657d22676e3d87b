#pragma once
// The pictures of the main window's two image buttons: a folder tree (the root directory) and an
// open folder (the catalog). At 16 pixels they are the designed strips of normal and greyed
// image (images/*.xpm, read by ConvertMain::GlyphIcon); for scaled screens the same pictures are
// drawn at 32 and 48 pixels, so that a display scale of 2 or 3 shows them sharp, not enlarged.

#include <QIcon>
#include <QImage>

namespace ButtonGlyphs {

enum class Glyph { FolderTree, OpenFolder };

// The button's icon: 16, 32 and 48 pixels, each normal and greyed.
QIcon Icon(Glyph glyph);

// The picture drawn at side × side pixels (32 or 48), normal or greyed; transparent around it.
QImage Drawn(Glyph glyph, int side, bool greyed);

} // namespace ButtonGlyphs
