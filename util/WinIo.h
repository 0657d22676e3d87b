// Internal to util/: small Windows building blocks shared by the file helpers.
#pragma once

#include "FileUtils.h"

#include <windows.h>

#include <string>
#include <utility>

namespace FileUtils::Win {

// The UTF-16 name the system calls take: the native delimiters, and the long-path form
// ("\\?\C:\...", "\\?\UNC\server\...") when the full path would exceed MAX_PATH.
std::wstring WidePath(const QString& name);

// Owns one handle and closes it when it goes.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : FHandle(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept
        : FHandle(std::exchange(other.FHandle, INVALID_HANDLE_VALUE))
    {
    }
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            FHandle = std::exchange(other.FHandle, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return FHandle; }
    bool Valid() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }
    HANDLE Release() { return std::exchange(FHandle, INVALID_HANDLE_VALUE); }
    void Reset()
    {
        if (Valid())
            ::CloseHandle(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE FHandle = INVALID_HANDLE_VALUE;
};

// Opens an existing name for its attributes only, sharing everything, following links;
// directories too.
UniqueHandle OpenForQuery(const QString& name);

// Whether an existing file carries the read-only attribute, which refuses any
// opening for writing. Windows enforces it itself; Wine run as root does not.
inline bool IsReadOnlyFile(const std::wstring& name)
{
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
           && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A new handle on the temporary file of a staged replacement that this process
// holds, when fileName names one; else INVALID_HANDLE_VALUE. The held handle
// shares reading and writing but not what an exclusive stream asks, so the
// stream that fills the file borrows it.
HANDLE DuplicateStagedHandle(const QString& fileName);

inline FileTime FromFileTime(const FILETIME& time)
{
    return (FileTime(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline FILETIME ToFileTime(FileTime time)
{
    FILETIME result;
    result.dwLowDateTime = DWORD(time & 0xFFFFFFFFu);
    result.dwHighDateTime = DWORD(time >> 32);
    return result;
}

}  // namespace FileUtils::Win
