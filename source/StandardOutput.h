#pragma once
// Standard output and standard error of the console programs: UTF-8 text, one message at a
// time, read the same on a Linux terminal and in a Windows console.
//
// StandardOutputPosix.cpp and StandardOutputWin.cpp do what their systems need for it;
// StandardOutput.cpp holds the status line both use.

#include <QString>

#include <cstdio>
#include <string>
#include <string_view>

namespace pdx {

// Called first in main: stdout and stderr pass the bytes on as written (no newline becomes
// CR LF), a write to a reader that went away fails instead of ending the program, and on
// Windows std::cout and std::cerr reach a console through WriteText, each line whole.
void PrepareStandardOutput();

// Writes the UTF-8 TEXT to STREAM (stdout or stderr) in one piece. Where the stream is a
// Windows console, the text goes to it as UTF-16 characters, whatever the console's code page,
// after anything the stream still held. Everywhere else the bytes go into the stream as they
// are, buffered as the stream is (the caller flushes when it needs to). False when it could
// not be written.
bool WriteText(std::FILE* stream, std::string_view text);
inline bool WriteText(std::FILE* stream, const char* text)
{
    return WriteText(stream, std::string_view(text));
}
inline bool WriteText(std::FILE* stream, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return WriteText(stream, std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

// Whether STREAM (stdout or stderr) is a terminal: a POSIX terminal, or a Windows console
// (not the NUL device, which the C runtime counts as one).
bool IsTerminal(std::FILE* stream);

// A line on a terminal that is drawn over again in place, such as a progress line. Show
// replaces what the line showed, Clear takes it away before other output. It never grows
// past the terminal's width, where the cursor could no longer go back to its start; on a
// terminal that understands "erase to the end of the line" (ESC [ K: POSIX terminals, and a
// Windows console that PrepareStandardOutput could switch to virtual-terminal processing and
// that draws the code) that is used, otherwise the rest of the old line is written over with
// blanks. Nothing is written when STREAM is no terminal.
class StatusLine {
public:
    explicit StatusLine(std::FILE* stream = stderr);
    ~StatusLine() { Clear(); }
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    bool OnTerminal() const { return terminal_; }
    bool Visible() const { return shownWidth_ > 0; }
    void Show(const QString& text);
    void Clear();

    // The bytes that blank the line the cursor is on of the terminal STREAM and put the cursor
    // at its start; empty when STREAM is no terminal. For a message written where no
    // StatusLine can be asked (a signal handler).
    static std::string EraseLineText(std::FILE* stream);

private:
    std::FILE* stream_;
    bool terminal_;
    int shownWidth_ = 0;  // characters the line shows now
};

// ---- What each system provides for the above ----

// Whether the terminal STREAM erases to the end of the line on ESC [ K. The first call may try
// it out on the console (Windows): made at the start of a line.
bool ErasesToLineEnd(std::FILE* stream);
// The terminal STREAM's width in characters; 80 when it cannot be told.
int TerminalColumns(std::FILE* stream);

} // namespace pdx
