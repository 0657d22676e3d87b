// Text measures of dialogs that size themselves to their texts (the option dialog). Lines are
// separated by the pair CR LF only; a lone CR or LF is part of a line.
#pragma once

#include <QString>

class QFont;

namespace MsgDialogs {

// Pixel width of the widest CR LF separated line of text in font (0 for "").
int WidestLineWidth(const QString& text, const QFont& font);
// 1 + the number of CR LF pairs in text.
int CountLines(const QString& text);

}  // namespace MsgDialogs
