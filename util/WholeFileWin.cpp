// Small files stored whole, with the Windows file API: a new file beside the
// old one, put in its place with ReplaceFileW (the old file's ACL and
// attributes stay) or MoveFileExW when there is none.
#include "WholeFile.h"

#include "FileUtils.h"
#include "StagedNames.h"
#include "WinIo.h"

namespace FileUtils {

using Win::UniqueHandle;
using Win::WidePath;

WholeFile ReadWholeFile(const QString& fileName)
{
    WholeFile file;
    const UniqueHandle handle(::CreateFileW(WidePath(fileName).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Valid()) {
        const DWORD error = ::GetLastError();
        file.state = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? WholeFile::Missing
                                                                                    : WholeFile::Unreadable;
        file.error = file.state == WholeFile::Unreadable ? error : 0;
        return file;
    }
    file.state = WholeFile::Unreadable;
    file.error = ERROR_ACCESS_DENIED;
    if (::GetFileType(handle.Get()) != FILE_TYPE_DISK)
        return file;
    constexpr DWORD kChunk = 65536;
    for (;;) {
        const qsizetype size = file.bytes.size();
        file.bytes.resize(size + kChunk);
        DWORD got = 0;
        const bool read = ::ReadFile(handle.Get(), file.bytes.data() + size, kChunk, &got, nullptr);
        file.bytes.resize(size + qsizetype(read ? got : 0));
        if (!read) {
            file.error = ::GetLastError();
            return file;
        }
        if (got == 0)
            break;
    }
    file.state = WholeFile::Read;
    file.error = 0;
    return file;
}

std::uint32_t StoreWholeFile(const QString& fileName, const QByteArray& bytes, const WholeFile&)
{
    const QString directory = Staged::DirectoryOf(fileName);
    const QString name = fileName.mid(std::max(fileName.lastIndexOf(u'\\'), fileName.lastIndexOf(u'/')) + 1);
    QString temp;
    UniqueHandle file;
    for (int attempt = 0; attempt < 100 && !file.Valid(); ++attempt) {
        temp = JoinPath(directory, u'.' + name + u'.' + Staged::RandomSuffix());
        file = UniqueHandle(::CreateFileW(WidePath(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid() && ::GetLastError() != ERROR_FILE_EXISTS)
            return ::GetLastError();
    }
    if (!file.Valid())
        return ERROR_FILE_EXISTS;
    const std::wstring tempName = WidePath(temp);
    const auto discard = [&](DWORD error) {
        file.Reset();
        ::DeleteFileW(tempName.c_str());
        return std::uint32_t(error);
    };
    DWORD written = 0;
    if (!::WriteFile(file.Get(), bytes.constData(), DWORD(bytes.size()), &written, nullptr))
        return discard(::GetLastError());
    if (written != DWORD(bytes.size()))
        return discard(ERROR_DISK_FULL);
    if (!::FlushFileBuffers(file.Get()))
        return discard(::GetLastError());
    file.Reset();
    const std::wstring target = WidePath(fileName);
    const bool stored = ::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES
                            ? ::ReplaceFileW(target.c_str(), tempName.c_str(), nullptr,
                                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                            : ::MoveFileExW(tempName.c_str(), target.c_str(),
                                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    return stored ? 0 : discard(::GetLastError());
}

}  // namespace FileUtils
