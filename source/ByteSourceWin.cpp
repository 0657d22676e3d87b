// FileSource on Windows: a handle opened for reading that leaves the file to
// everyone else, read with positioned ReadFile calls.

#include "ByteSource.h"

#include <QDir>
#include <algorithm>
#include <limits>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace pdx {

namespace {

std::wstring NativePath(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// Other programs may go on using the table: the engine that owns it may hold
// it open for writing, and it may even be renamed or deleted meanwhile, while
// this handle keeps reading what it opened.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A file on a disk, not a directory: devices (NUL, CON, COM1) and pipes are
// no tables.
bool IsRegularHandle(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info {};
    return ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

HANDLE ToHandle(std::intptr_t file)
{
    return reinterpret_cast<HANDLE>(file);
}

} // namespace

bool IsRegularFile(const QString& path)
{
    // No access asked for: this only looks at what the name leads to, links
    // followed. Directories open only with backup semantics, so that they
    // can be told apart here too.
    const HANDLE handle = ::CreateFileW(NativePath(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool regular = IsRegularHandle(handle);
    ::CloseHandle(handle);
    return regular;
}

FileSource::~FileSource()
{
    Close();
}

void FileSource::Close()
{
    if (ToHandle(file_) != INVALID_HANDLE_VALUE)
        ::CloseHandle(ToHandle(file_));
    file_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
    size_ = 0;
}

bool FileSource::Open(const QString& path)
{
    Close();
    // A directory does not open without backup semantics; a device or pipe
    // opens at once (an open never waits) and is refused after.
    const HANDLE handle = ::CreateFileW(NativePath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size {};
    if (!IsRegularHandle(handle) || !::GetFileSizeEx(handle, &size) || size.QuadPart < 0) {
        ::CloseHandle(handle);
        return false;
    }
    file_ = reinterpret_cast<std::intptr_t>(handle);
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool FileSource::ReadAt(std::uint64_t offset, void* dst, std::size_t n)
{
    if (offset > size_ || n > size_ - offset)
        return false;
    // The offset travels with each read (as with pread): no seek, and no file
    // position shared between reads.
    auto* out = static_cast<char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        const std::uint64_t at = offset + done;
        OVERLAPPED where {};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, std::numeric_limits<DWORD>::max()));
        DWORD got = 0;
        if (!::ReadFile(ToHandle(file_), out + done, chunk, &got, &where) || got == 0)
            return false;
        done += got;
    }
    return true;
}

} // namespace pdx
