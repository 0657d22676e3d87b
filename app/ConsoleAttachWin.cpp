// The window program's standard output on Windows: the console of the process that started it.
#include "ConsoleAttach.h"

#include <cstring>
#include <string>

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

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return ::GetConsoleMode(handle, &mode) != 0;
}

// The text as UTF-16, written as characters: no code page of the console comes into it.
bool WriteConsoleText(HANDLE console, const char* text, int length)
{
    const int wideLength = ::MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
    if (wideLength <= 0)
        return length == 0;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, length, wide.data(), wideLength);
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
    const int length = static_cast<int>(std::strlen(text));
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (Usable(output))
        return IsConsole(output) ? WriteConsoleText(output, text, length) : WriteBytes(output, text, length);

    // No standard output: borrow the starting process's console. AttachConsole fails where it
    // has none (the Explorer, a shortcut), and then no console window is opened for the text.
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return true;
    const HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    bool written = false;
    if (console != INVALID_HANDLE_VALUE) {
        written = WriteConsoleText(console, text, length);
        ::CloseHandle(console);
    }
    ::FreeConsole();
    return written;
}

} // namespace ConsoleAttach
