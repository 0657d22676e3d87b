// The error-raising file stream over Windows file handles; sharing is the
// system's own share mode.
#include "FileUtils.h"
#include "Platform.h"
#include "WinIo.h"

namespace FileUtils {

namespace {

constexpr std::uint16_t kCreateMask = 0xFF00;

// The share mode for the sharing bits of a mode byte: 0x00 and 0x10 share
// nothing, 0x20 lets others read, 0x30 write, 0x40 both.
DWORD ShareMode(std::uint8_t modeByte)
{
    switch (modeByte & 0xF0) {
    case 0x20:
        return FILE_SHARE_READ;
    case 0x30:
        return FILE_SHARE_WRITE;
    case 0x40:
        return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default:
        return 0;
    }
}

DWORD Access(std::uint16_t mode)
{
    switch (mode & 0x03) {
    case 1:
        return GENERIC_WRITE;
    case 2:
        return GENERIC_READ | GENERIC_WRITE;
    default:
        return GENERIC_READ;
    }
}

}  // namespace

TExtFileStream::TExtFileStream(const QString& fileName, std::uint16_t mode, std::uint32_t)
    : FHandle(INVALID_HANDLE_VALUE)
{
    const bool create = (mode & kCreateMask) == kCreateMask;
    std::uint8_t sharing = mode & 0xFF;
    if (create && sharing == 0xFF)
        sharing = 0x10;

    // Creating over a file that another handle has open fails with 32 before
    // anything is truncated; over a read-only, hidden or system file with 5.
    const DWORD disposition = !create ? OPEN_EXISTING
                              : (sharing & fmExclusive) ? CREATE_NEW
                                                        : CREATE_ALWAYS;
    const DWORD access = create ? GENERIC_READ | GENERIC_WRITE : Access(mode);
    const std::wstring name = Win::WidePath(fileName);
    if ((access & GENERIC_WRITE) && Win::IsReadOnlyFile(name))
        throw StreamOpenError(fileName, create, ERROR_ACCESS_DENIED);
    const HANDLE handle = ::CreateFileW(name.c_str(), access, ShareMode(sharing), nullptr,
                                        disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // The temporary file of a staging is held by this very process, which
        // fills it: its own handle is taken over, emptied for a creation.
        const HANDLE staged = error == ERROR_SHARING_VIOLATION ? Win::DuplicateStagedHandle(fileName)
                                                               : INVALID_HANDLE_VALUE;
        if (staged == INVALID_HANDLE_VALUE)
            throw StreamOpenError(fileName, create, error);
        if (create && !::SetEndOfFile(staged)) {
            const DWORD truncateError = ::GetLastError();
            ::CloseHandle(staged);
            throw StreamOpenError(fileName, create, truncateError);
        }
        FHandle = staged;
        FFileName = fileName;
        return;
    }
    FHandle = handle;
    FFileName = fileName;
}

TExtFileStream::~TExtFileStream()
{
    Close();
}

std::uint32_t TExtFileStream::Close()
{
    if (FHandle == INVALID_HANDLE_VALUE)
        return 0;
    const HANDLE handle = std::exchange(FHandle, INVALID_HANDLE_VALUE);
    return ::CloseHandle(handle) ? 0 : ::GetLastError();
}

std::uint32_t TExtFileStream::Read(void* buffer, std::int32_t count, std::int32_t& readCount)
{
    DWORD done = 0;
    if (!::ReadFile(FHandle, buffer, DWORD(count < 0 ? 0 : count), &done, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
            readCount = 0;  // the writing end of a pipe went: its end
            return 0;
        }
        readCount = -1;
        return error;
    }
    readCount = std::int32_t(done);
    return 0;
}

std::uint32_t TExtFileStream::Write(const void* buffer, std::int32_t count, std::int32_t& writeCount)
{
    DWORD done = 0;
    if (!::WriteFile(FHandle, buffer, DWORD(count < 0 ? 0 : count), &done, nullptr)) {
        writeCount = -1;
        return ::GetLastError();
    }
    writeCount = std::int32_t(done);
    return 0;
}

}  // namespace FileUtils
