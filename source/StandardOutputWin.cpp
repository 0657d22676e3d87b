#include "StandardOutput.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace pdx {

namespace {

UINT g_consoleCodePage = 0;

void RestoreConsoleCodePage()
{
    // What is still buffered goes out first: the streams' own flush at exit comes after this.
    std::fflush(stdout);
    std::fflush(stderr);
    ::SetConsoleOutputCP(g_consoleCodePage);
}

} // namespace

void PrepareStandardOutput()
{
    // Text mode would write "\r\n" for every "\n": output redirected to a
    // file is to hold the same bytes as on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // The console belongs to the shell as well: its code page goes back to
    // what it was when the program ends. Without a console there is none (0).
    const UINT current = ::GetConsoleOutputCP();
    if (current != 0 && current != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
        g_consoleCodePage = current;
        std::atexit(RestoreConsoleCodePage);
    }
    // A console decodes each write on its own, and a C runtime may write an
    // unbuffered stream a character at a time (Wine's does), which splits the
    // bytes of one character. Buffered, standard output reaches the console
    // in large blocks; it is flushed at the latest when the program ends.
    DWORD mode = 0;
    if (::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
    // Windows has no SIGPIPE: a write to a closed pipe fails by itself.
}

} // namespace pdx
