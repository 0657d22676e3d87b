// The status line of the console programs (StandardOutput.h), the same on every system.
#include "StandardOutput.h"

#include <algorithm>

namespace pdx {

namespace {

// Characters on the screen: a surrogate pair is one.
int Width(const QString& text)
{
    int width = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!text[i].isLowSurrogate())
            ++width;
    return width;
}

// TEXT cut to at most COLUMNS characters, a pair never split.
QString Cut(const QString& text, int columns)
{
    int width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isLowSurrogate())
            continue;
        if (width == columns)
            return text.left(i);
        ++width;
    }
    return text;
}

} // namespace

StatusLine::StatusLine(std::FILE* stream) : stream_(stream), terminal_(IsTerminal(stream)) {}

void StatusLine::Show(const QString& text)
{
    if (!terminal_)
        return;
    // The last column stays free: a line that fills it moves the cursor on to the next.
    const QString shown = Cut(text, std::max(1, TerminalColumns(stream_) - 1));
    const int width = Width(shown);
    QString line = u'\r' + shown;
    if (ErasesToLineEnd(stream_))
        line += QStringLiteral("\x1b[K");
    else if (width < shownWidth_)
        line += QString(shownWidth_ - width, u' ');
    WriteText(stream_, line);
    std::fflush(stream_);
    shownWidth_ = std::max(width, 1);
}

void StatusLine::Clear()
{
    if (shownWidth_ == 0)
        return;
    const std::string erase = ErasesToLineEnd(stream_) ? std::string("\r\x1b[K")
                                                         : '\r' + std::string(std::size_t(shownWidth_), ' ') + '\r';
    WriteText(stream_, erase);
    std::fflush(stream_);
    shownWidth_ = 0;
}

std::string StatusLine::EraseLineText(std::FILE* stream)
{
    if (!IsTerminal(stream))
        return {};
    if (ErasesToLineEnd(stream))
        return "\r\x1b[K";
    return '\r' + std::string(std::size_t(std::max(1, TerminalColumns(stream) - 1)), ' ') + '\r';
}

} // namespace pdx
