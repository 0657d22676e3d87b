// A new version of a file built under a temporary name beside it and put in
// its place with ReplaceFileW, which keeps the old file's ACL and attributes,
// or MoveFileExW where there is no old file.
#include "FileReplace.h"
#include "FileUtils.h"
#include "Platform.h"
#include "StagedCleanup.h"
#include "StagedNames.h"
#include "WinIo.h"

#include <QFile>

#include <map>
#include <mutex>

namespace FileUtils {

using namespace Staged;
using Win::UniqueHandle;
using Win::WidePath;

namespace {

// The longest name component Windows file systems take.
constexpr qsizetype kNameMax = 255;

qsizetype LastDelimiter(const QString& fileName)
{
    return std::max(fileName.lastIndexOf(u'\\'), fileName.lastIndexOf(u'/'));
}

HANDLE HeldHandle(std::intptr_t held)
{
    return reinterpret_cast<HANDLE>(held);
}

// The temporary files this process holds, by their full names in upper case.
std::mutex g_heldMutex;
std::map<QString, HANDLE> g_held;

QString HeldKey(const QString& fileName)
{
    return FullPathName(fileName).toUpper();
}

void Hold(const QString& fileName, HANDLE handle)
{
    const std::lock_guard lock(g_heldMutex);
    g_held[HeldKey(fileName)] = handle;
}

void Unhold(const QString& fileName)
{
    const std::lock_guard lock(g_heldMutex);
    g_held.erase(HeldKey(fileName));
}

}  // namespace

namespace Staged {

QString DirectoryOf(const QString& fileName)
{
    const qsizetype delimiter = LastDelimiter(fileName);
    if (delimiter < 0)
        return fileName.size() >= 2 && fileName.at(1) == u':' ? fileName.left(2) : QStringLiteral(".");
    // "C:\x" lies in "C:\", "\x" in "\".
    if (delimiter == 0 || (delimiter == 2 && fileName.at(1) == u':'))
        return fileName.left(delimiter + 1);
    return fileName.left(delimiter);
}

QString TempNamePrefix(const QString& finalName)
{
    const QString name = finalName.mid(LastDelimiter(finalName) + 1);
    for (const QString& prefix : {u'.' + name + QStringLiteral(".kk-"), QStringLiteral(".kk") + NameMark(name)}) {
        if (prefix.size() + kRandomLetters + kJournalSuffixLength <= kNameMax)
            return prefix;
    }
    return QString();
}

void RemoveWithSideFiles(const QString& fileName)
{
    ::DeleteFileW(WidePath(fileName).c_str());
    for (const char* suffix : kSideSuffixes)
        ::DeleteFileW(WidePath(fileName + QLatin1String(suffix)).c_str());
}

bool NameFits(const QString&, const QString& name)
{
    return name.size() <= kNameMax;
}

std::uint32_t MoveWithoutReplacing(const QString& from, const QString& to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    if (::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH))
        return 0;
    const DWORD error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : error;
}

void RemoveFile(const QString& fileName)
{
    ::DeleteFileW(WidePath(fileName).c_str());
}

void SyncFolder(const QString&)
{
    // The moves are made write-through.
}

}  // namespace Staged

HANDLE Win::DuplicateStagedHandle(const QString& fileName)
{
    const std::lock_guard lock(g_heldMutex);
    const auto held = g_held.find(HeldKey(fileName));
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (held == g_held.end()
        || !::DuplicateHandle(::GetCurrentProcess(), held->second, ::GetCurrentProcess(), &copy, 0, FALSE,
                              DUPLICATE_SAME_ACCESS))
        return INVALID_HANDLE_VALUE;
    // Back to the start: the held handle and its copy share one position.
    LARGE_INTEGER start {};
    ::SetFilePointerEx(copy, start, nullptr, FILE_BEGIN);
    return copy;
}

QString FinalFileName(const QString& fileName)
{
    // A symbolic link stands for the file it leads to.
    const DWORD attributes = ::GetFileAttributesW(WidePath(fileName).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return fileName;
    const UniqueHandle handle = Win::OpenForQuery(fileName);
    wchar_t buffer[32768];
    const DWORD length = handle.Valid() ? ::GetFinalPathNameByHandleW(handle.Get(), buffer, 32768, 0) : 0;
    if (length == 0 || length >= 32768)
        return fileName;
    QString name = QString::fromWCharArray(buffer, int(length));
    if (name.startsWith(QLatin1String("\\\\?\\UNC\\")))
        name = QStringLiteral("\\\\") + name.mid(8);
    else if (name.startsWith(QLatin1String("\\\\?\\")))
        name = name.mid(4);
    return name;
}

// Whether the final file can be replaced: a file (no folder or device) in a
// folder that exists, with a name the file system takes.
std::uint32_t TStagedFile::CheckReplaceable()
{
    const QString name = FFinalName.mid(LastDelimiter(FFinalName) + 1);
    if (name.size() > kNameMax)
        return Refuse(ERROR_FILENAME_EXCED_RANGE,
                      SafeFormat(QStringLiteral("Der Dateiname \"%s\" ist zu lang: erlaubt sind höchstens %u Zeichen."),
                                 {FFinalName, std::uint32_t(kNameMax)}));
    const DWORD attributes = ::GetFileAttributesW(WidePath(FFinalName).c_str());
    FReplaces = attributes != INVALID_FILE_ATTRIBUTES;
    if (FReplaces && ((attributes & FILE_ATTRIBUTE_DIRECTORY) || !Platform::IsRegularFile(FFinalName))) {
        const QString kind =
            PathKindText((attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Directory : PathKind::Device);
        return Refuse(ERROR_ACCESS_DENIED,
                      SafeFormat(QStringLiteral("\"%s\" ist keine gewöhnliche Datei (sondern %s) und wird nicht ersetzt."),
                                 {FTarget, kind}));
    }
    const QString directory = DirectoryOf(FFinalName);
    if (!DirectoryExists(directory))
        return Refuse(ERROR_PATH_NOT_FOUND, SafeFormat(QStringLiteral("Das Verzeichnis \"%s\" gibt es nicht."), {directory}));
    return 0;
}

std::uint32_t TStagedFile::CreateTempFile()
{
    const QString prefix = TempNamePrefix(FFinalName);
    if (prefix.isEmpty())
        return Refuse(ERROR_FILENAME_EXCED_RANGE,
                      SafeFormat(QStringLiteral("Der Dateiname \"%s\" ist zu lang."), {FFinalName}));
    const QString directory = DirectoryOf(FFinalName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = JoinPath(directory, prefix + RandomSuffix());
        // Entered for the clean-up before it exists, as a console event may
        // come right after the file does (see the POSIX side).
        int slot = StagedCleanup::Claim(candidate.toUtf8());
        // Held open, sharing all, so that SQLite can work on it and another
        // staging of the same file sees it in use. The folder's inherited ACL
        // stands until ReplaceFileW gives it the old file's.
        const HANDLE handle = ::CreateFileW(WidePath(candidate).c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD createError = ::GetLastError();
        if (handle == INVALID_HANDLE_VALUE)
            StagedCleanup::Release(slot);
        if (handle == INVALID_HANDLE_VALUE && createError == ERROR_FILE_EXISTS)
            continue;
        if (handle == INVALID_HANDLE_VALUE) {
            const std::uint32_t error = createError;
            return Refuse(error, SafeFormat(QStringLiteral("Im Verzeichnis \"%s\" kann keine neue Datei angelegt werden: %s."),
                                            {directory, SystemErrorText(error)}));
        }
        FHeld = reinterpret_cast<std::intptr_t>(handle);
        FTempName = candidate;
        Hold(candidate, handle);
        FSlot = slot;
        return 0;
    }
    return ERROR_FILE_EXISTS;
}

std::uint32_t TStagedFile::FlushTemp()
{
    return ::FlushFileBuffers(HeldHandle(FHeld)) ? 0 : ::GetLastError();
}

// The old file's rights go with ReplaceFileW.
std::uint32_t TStagedFile::GiveOldOwnership(bool)
{
    return 0;
}

std::uint32_t TStagedFile::PutInPlace()
{
    for (const char* suffix : kSideSuffixes)
        ::DeleteFileW(WidePath(FTempName + QLatin1String(suffix)).c_str());
    Unhold(FTempName);
    ::CloseHandle(HeldHandle(FHeld));
    FHeld = -1;

    const std::wstring finalName = WidePath(FFinalName);
    const std::wstring tempName = WidePath(FTempName);
    BOOL replaced = FALSE;
    const DWORD oldAttributes = ::GetFileAttributesW(finalName.c_str());
    if (oldAttributes != INVALID_FILE_ATTRIBUTES) {
        // ReplaceFileW keeps the old file's attributes and ACL, but does not
        // replace a read-only file: the attribute is lifted for the moment.
        if (oldAttributes & FILE_ATTRIBUTE_READONLY)
            ::SetFileAttributesW(finalName.c_str(), oldAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
        replaced = ::ReplaceFileW(finalName.c_str(), tempName.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                  nullptr, nullptr);
    } else {
        replaced = ::MoveFileExW(tempName.c_str(), finalName.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!replaced) {
        const std::uint32_t error = ::GetLastError();
        if (oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & FILE_ATTRIBUTE_READONLY))
            ::SetFileAttributesW(finalName.c_str(), oldAttributes);
        return error;
    }
    // A read-only old file gives a read-only new one only when the rule keeps it so.
    if (oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & FILE_ATTRIBUTE_READONLY)
        && FRule == ModeRule::Keep)
        ::SetFileAttributesW(finalName.c_str(), ::GetFileAttributesW(finalName.c_str()) | FILE_ATTRIBUTE_READONLY);
    return 0;
}

void TStagedFile::Discard()
{
    StagedCleanup::Release(FSlot);
    if (FHeld >= 0) {
        Unhold(FTempName);
        ::CloseHandle(HeldHandle(FHeld));
    }
    FHeld = -1;
    if (!FTempName.isEmpty())
        RemoveWithSideFiles(FTempName);
    FTempName.clear();
}

}  // namespace FileUtils
