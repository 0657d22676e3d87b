#include "TextMeasures.h"

#include <QFont>
#include <QFontMetrics>
#include <QStringList>

#include <algorithm>

namespace MsgDialogs {

int WidestLineWidth(const QString& text, const QFont& font)
{
    const QFontMetrics fm(font);
    int widest = 0;
    for (const QString& line : text.split(QStringLiteral("\r\n")))
        widest = std::max(widest, fm.horizontalAdvance(line));
    return widest;
}

int CountLines(const QString& text)
{
    return 1 + static_cast<int>(text.count(QStringLiteral("\r\n")));
}

}  // namespace MsgDialogs
