#include "StandardOutput.h"

#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <iterator>
#include <streambuf>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace pdx {

namespace {

// The console behind STREAM (stdout or stderr), or nullptr when it goes to a file, a pipe or
// nowhere, or is another stream. The process's standard handle, not the C runtime's
// descriptor: a window program that borrows a console sets the handle (app/ConsoleAttachWin.cpp).
HANDLE ConsoleOf(std::FILE* stream)
{
    if (stream != stdout && stream != stderr)
        return nullptr;
    const HANDLE handle = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode))
        return nullptr;
    return handle;
}

// How many bytes at the start of TEXT are whole UTF-8 characters: a character whose last bytes
// are still to come is left for the next write (valid or not, a lead byte with fewer than its
// continuation bytes at the very end).
std::size_t CompleteLength(std::string_view text)
{
    std::size_t start = text.size();
    for (int back = 0; back < 4 && start > 0; ++back) {
        const unsigned char c = static_cast<unsigned char>(text[start - 1]);
        if ((c & 0xC0) != 0x80) {
            // A lead byte: how many bytes it begins.
            const std::size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            return text.size() - (start - 1) < needed ? start - 1 : text.size();
        }
        --start;
    }
    return text.size();
}

bool WriteConsoleText(HANDLE console, std::string_view text)
{
    if (text.empty())
        return true;
    const int length = static_cast<int>(text.size());
    const int wideLength = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), wideLength);
    const wchar_t* rest = wide.data();
    DWORD left = static_cast<DWORD>(wide.size());
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteConsoleW(console, rest, left, &written, nullptr) || written == 0)
            return false;
        rest += written;
        left -= written;
    }
    return true;
}

// Whether CONSOLE erases to the end of the line on ESC [ K. A console that draws escape codes
// says so by the mode PrepareStandardOutput set, but not every console that takes the mode
// draws them (Wine's window console shows them as characters): the code is written once, and
// where the cursor moved on, it was shown, and is wiped again.
bool TakesEraseToLineEnd(HANDLE console)
{
    DWORD mode = 0;
    CONSOLE_SCREEN_BUFFER_INFO before{};
    if (!console || !::GetConsoleMode(console, &mode) || !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)
        || !::GetConsoleScreenBufferInfo(console, &before))
        return false;
    static const wchar_t kErase[] = L"\x1b[K";
    const DWORD length = DWORD(std::size(kErase) - 1);
    DWORD written = 0;
    CONSOLE_SCREEN_BUFFER_INFO after{};
    if (!::WriteConsoleW(console, kErase, length, &written, nullptr) || !::GetConsoleScreenBufferInfo(console, &after))
        return false;
    if (after.dwCursorPosition.X == before.dwCursorPosition.X && after.dwCursorPosition.Y == before.dwCursorPosition.Y)
        return true;
    ::SetConsoleCursorPosition(console, before.dwCursorPosition);
    ::FillConsoleOutputCharacterW(console, L' ', length, before.dwCursorPosition, &written);
    return false;
}

// std::cout and std::cerr on a console: the text is collected and written through WriteText
// line by line (and on flush), so that no message reaches the console in pieces.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(std::FILE* stream) : stream_(stream) {}

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        pending_.append(text, static_cast<std::size_t>(count));
        return WriteLines() ? count : 0;
    }

    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        pending_ += traits_type::to_char_type(c);
        return c != '\n' || WriteLines() ? c : traits_type::eof();
    }

    int sync() override { return Write(CompleteLength(pending_)) ? 0 : -1; }

private:
    bool WriteLines()
    {
        const std::size_t end = pending_.rfind('\n');
        return end == std::string::npos || Write(end + 1);
    }

    bool Write(std::size_t length)
    {
        const bool written = WriteText(stream_, std::string_view(pending_.data(), length));
        pending_.erase(0, length);
        return written;
    }

    std::FILE* stream_;
    std::string pending_;
};

struct ConsoleModes {
    HANDLE handle = nullptr;
    DWORD mode = 0;
};
ConsoleModes g_restore[2];

void RestoreConsoleModes()
{
    std::cout.flush();
    std::cerr.flush();
    for (const ConsoleModes& saved : g_restore)
        if (saved.handle)
            ::SetConsoleMode(saved.handle, saved.mode);
}

} // namespace

void PrepareStandardOutput()
{
    // Text mode would write "\r\n" for every "\n": output redirected to a
    // file is to hold the same bytes as on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    bool restore = false;
    for (std::FILE* stream : {stdout, stderr}) {
        const HANDLE console = ConsoleOf(stream);
        if (!console)
            continue;
        // A console since Windows 10 draws the status line's ESC [ K itself once asked to;
        // the console belongs to the shell too, so its mode goes back at the end.
        DWORD mode = 0;
        ::GetConsoleMode(console, &mode);
        if (!(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)
            && ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
            const bool second = stream == stderr && g_restore[0].handle != console;
            g_restore[second ? 1 : 0] = {console, mode};
            restore = true;
        }
        // The streams live as long as the process: the library flushes them after main.
        auto* buffer = new ConsoleBuffer(stream);
        if (stream == stdout) {
            std::cout.rdbuf(buffer);
        } else {
            std::cerr.rdbuf(buffer);
            std::clog.rdbuf(buffer);
            // Whole lines, not every piece on its own; std::flush still writes at once.
            std::cerr.unsetf(std::ios_base::unitbuf);
        }
    }
    if (restore)
        std::atexit(RestoreConsoleModes);
    // Windows has no SIGPIPE: a write to a closed pipe fails by itself.
}

bool WriteText(std::FILE* stream, std::string_view text)
{
    const HANDLE console = ConsoleOf(stream);
    if (!console)
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    // What the C stream still holds comes first.
    std::fflush(stream);
    return WriteConsoleText(console, text);
}

bool IsTerminal(std::FILE* stream)
{
    return ConsoleOf(stream) != nullptr;
}

bool ErasesToLineEnd(std::FILE* stream)
{
    // Asked once for each of the two streams, as a status line first needs it: at the start of
    // a line, where the test's three characters overwrite nothing.
    static int known[2] = {-1, -1};
    int& erases = known[stream == stderr ? 1 : 0];
    if (erases < 0)
        erases = TakesEraseToLineEnd(ConsoleOf(stream)) ? 1 : 0;
    return erases == 1;
}

int TerminalColumns(std::FILE* stream)
{
    const HANDLE console = ConsoleOf(stream);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    // The console breaks lines at its buffer's width.
    if (console && ::GetConsoleScreenBufferInfo(console, &info) && info.dwSize.X > 0)
        return info.dwSize.X;
    return 80;
}

} // namespace pdx
