// The window program's standard output on Windows: the console of the process that started it.
#include "ConsoleAttach.h"

#include "source/StandardOutput.h"

#include <cstdio>
#include <cstring>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace ConsoleAttach {

namespace {

bool Usable(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// The bytes as they are, as on Linux: a file or a pipe.
bool WriteBytes(HANDLE file, const char* text, int length)
{
    while (length > 0) {
        DWORD written = 0;
        if (!::WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) || written == 0)
            return false;
        text += written;
        length -= static_cast<int>(written);
    }
    return true;
}

} // namespace

bool WriteOut(const char* text)
{
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (Usable(output)) {
        // A console gets the text as characters (StandardOutput.h), a file the bytes.
        if (pdx::IsTerminal(stdout))
            return pdx::WriteText(stdout, text);
        return WriteBytes(output, text, static_cast<int>(std::strlen(text)));
    }

    // No standard output: borrow the starting process's console. AttachConsole fails where it
    // has none (the Explorer, a shortcut), and then no console window is opened for the text.
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return true;
    const HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    bool written = false;
    if (console != INVALID_HANDLE_VALUE) {
        // The borrowed console stands in as standard output while the text is written.
        ::SetStdHandle(STD_OUTPUT_HANDLE, console);
        written = pdx::WriteText(stdout, text);
        ::SetStdHandle(STD_OUTPUT_HANDLE, output);
        ::CloseHandle(console);
    }
    ::FreeConsole();
    return written;
}

} // namespace ConsoleAttach
