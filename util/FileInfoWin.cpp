// Existence tests, attributes and time stamps over the Windows file API.
#include "FileUtils.h"
#include "Platform.h"
#include "WinIo.h"

#include <QDir>

namespace FileUtils {

using Win::UniqueHandle;
using Win::WidePath;

namespace {

// The attributes Windows lets a program set.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
                            | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY
                            | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

FileAttributeData FromFindData(const WIN32_FIND_DATAW& found)
{
    FileAttributeData data;
    data.Attributes = found.dwFileAttributes;
    data.CreationTime = Win::FromFileTime(found.ftCreationTime);
    data.LastAccessTime = Win::FromFileTime(found.ftLastAccessTime);
    data.LastWriteTime = Win::FromFileTime(found.ftLastWriteTime);
    data.FileSize = (std::uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    return data;
}

// The record of the final target of a link, through a handle on it.
std::uint32_t ReadThroughLink(const QString& fileName, FileAttributeData& data)
{
    const UniqueHandle handle = Win::OpenForQuery(fileName);
    BY_HANDLE_FILE_INFORMATION info {};
    if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &info))
        return ::GetLastError();
    data.Attributes = info.dwFileAttributes;
    data.CreationTime = Win::FromFileTime(info.ftCreationTime);
    data.LastAccessTime = Win::FromFileTime(info.ftLastAccessTime);
    data.LastWriteTime = Win::FromFileTime(info.ftLastWriteTime);
    data.FileSize = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return 0;
}

}  // namespace

namespace Win {

std::wstring WidePath(const QString& name)
{
    QString path = QDir::toNativeSeparators(name);
    if (path.size() >= MAX_PATH - 12 && !path.startsWith(QLatin1String("\\\\?\\"))) {
        const QString full = FullPathName(path);
        if (full.startsWith(QLatin1String("\\\\")))
            path = QStringLiteral("\\\\?\\UNC\\") + full.mid(2);
        else
            path = QStringLiteral("\\\\?\\") + full;
    }
    return path.toStdWString();
}

UniqueHandle OpenForQuery(const QString& name)
{
    return UniqueHandle(::CreateFileW(WidePath(name).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace Win

bool SamePathSpelling(const QString& first, const QString& second)
{
    // Windows file systems ignore letter case in names.
    return first.compare(second, Qt::CaseInsensitive) == 0;
}

namespace Platform {

bool SameFileObject(const QString& first, const QString& second)
{
    const UniqueHandle a = Win::OpenForQuery(first);
    const UniqueHandle b = Win::OpenForQuery(second);
    BY_HANDLE_FILE_INFORMATION infoA {};
    BY_HANDLE_FILE_INFORMATION infoB {};
    return a.Valid() && b.Valid() && ::GetFileInformationByHandle(a.Get(), &infoA)
           && ::GetFileInformationByHandle(b.Get(), &infoB)
           && infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber
           && infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow;
}

QString FileIdentity(const QString& fileName)
{
    const UniqueHandle handle = Win::OpenForQuery(fileName);
    BY_HANDLE_FILE_INFORMATION info {};
    if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &info))
        return QStringLiteral("0");
    const std::uint64_t index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return QString::number(qulonglong(index), 16);
}

// A file on a disk, not a directory: devices (NUL, CON), pipes and folders have no
// bytes to copy or could block.
bool IsRegularFile(const QString& fileName)
{
    const UniqueHandle handle = Win::OpenForQuery(fileName);
    BY_HANDLE_FILE_INFORMATION info {};
    return handle.Valid() && ::GetFileType(handle.Get()) == FILE_TYPE_DISK
           && ::GetFileInformationByHandle(handle.Get(), &info)
           && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsRegularFile(const TExtFileStream& stream)
{
    BY_HANDLE_FILE_INFORMATION info {};
    return ::GetFileType(stream.Handle()) == FILE_TYPE_DISK
           && ::GetFileInformationByHandle(stream.Handle(), &info)
           && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace Platform

bool FileExists(const QString& fileName)
{
    FileAttributeData data;
    return GetFileAttributeData(fileName, data) == 0 && (data.Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const QString& dirName)
{
    FileAttributeData data;
    return GetFileAttributeData(dirName, data) == 0 && (data.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

PathKind KindOfPath(const QString& name)
{
    FileAttributeData data;
    if (GetFileAttributeData(name, data) != 0)
        return PathKind::Missing;
    if (data.Attributes & FILE_ATTRIBUTE_DIRECTORY)
        return PathKind::Directory;
    return Platform::IsRegularFile(name) ? PathKind::File : PathKind::Device;
}

FileTime CurrentFileTime()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const FileTime time = Win::FromFileTime(now);
    return time - time % (FileTimePerSecond / 1000);
}

std::uint32_t GetFileAttributeData(const QString& fileName, FileAttributeData& data)
{
    WIN32_FILE_ATTRIBUTE_DATA own {};
    std::uint32_t error = 0;
    if (!::GetFileAttributesExW(WidePath(fileName).c_str(), GetFileExInfoStandard, &own)) {
        error = ::GetLastError();
    } else if (own.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A symbolic link or junction stands for its final target.
        error = ReadThroughLink(fileName, data);
    } else {
        WIN32_FIND_DATAW found {};
        found.dwFileAttributes = own.dwFileAttributes;
        found.ftCreationTime = own.ftCreationTime;
        found.ftLastAccessTime = own.ftLastAccessTime;
        found.ftLastWriteTime = own.ftLastWriteTime;
        found.nFileSizeHigh = own.nFileSizeHigh;
        found.nFileSizeLow = own.nFileSizeLow;
        data = FromFindData(found);
    }
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return FindFileEntry(fileName, data) ? 0 : ERROR_SHARING_VIOLATION;
    return error;
}

std::uint32_t ChangeFileAttributes(const QString& fileName, std::uint32_t attributes)
{
    DWORD settable = attributes & kSettable;
    if (settable == 0)
        settable = FILE_ATTRIBUTE_NORMAL;
    // SetFileAttributesW follows a symbolic link to its target.
    if (!::SetFileAttributesW(WidePath(fileName).c_str(), settable))
        return ::GetLastError();
    return 0;
}

std::uint32_t SetFileWriteTime(const QString& fileName, FileTime time)
{
    time = Platform::WithoutFutureTime(time);
    const std::wstring name = WidePath(fileName);
    if (Win::IsReadOnlyFile(name))
        return ERROR_ACCESS_DENIED;
    UniqueHandle handle(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Valid()) {
        const DWORD error = ::GetLastError();
        // A staged temporary file is held by this process itself.
        if (error == ERROR_SHARING_VIOLATION)
            handle = UniqueHandle(Win::DuplicateStagedHandle(fileName));
        if (!handle.Valid())
            return error;
    }
    if (time == 0)
        return 0;
    const FILETIME writeTime = Win::ToFileTime(time);
    if (!::SetFileTime(handle.Get(), nullptr, nullptr, &writeTime))
        return ::GetLastError();
    return 0;
}

bool FindFileEntry(const QString& fileName, FileAttributeData& entry)
{
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW(WidePath(fileName).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    entry = FromFindData(found);
    return true;
}

}  // namespace FileUtils
