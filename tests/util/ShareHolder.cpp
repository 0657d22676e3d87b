// Holds a file the way another program would: opens it with the share mode
// given (0 shares nothing), says "ready" on standard output and keeps the
// handle until its standard input ends.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    const HANDLE file = ::CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, DWORD(std::wcstoul(argv[2], nullptr, 0)),
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    std::puts("ready");
    std::fflush(stdout);
    char buffer[64];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
    ::CloseHandle(file);
    return 0;
}
