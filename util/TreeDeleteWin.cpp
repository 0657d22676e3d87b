// Deletion of a directory tree with the Windows file API. A reparse point met
// anywhere (a junction, a symbolic link, a mounted volume) is removed as a link
// and never entered, so nothing outside the tree is reached.
#include "FileUtils.h"
#include "WinIo.h"

#include <QDir>

#include <vector>

namespace FileUtils {

using Win::WidePath;

namespace {

struct Counters {
    std::uint32_t& dirsRemoved;
    std::uint32_t& filesDeleted;
    std::uint32_t& failures;
};

struct Entry {
    QString name;
    DWORD attributes;
};

// Every entry of a directory but "." and "..".
std::vector<Entry> ListEntries(const QString& dir)
{
    std::vector<Entry> entries;
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW(WidePath(JoinPath(dir, QStringLiteral("*.*"))).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const QString name = QString::fromWCharArray(found.cFileName);
        if (IsNotDotEntry(name))
            entries.push_back({name, found.dwFileAttributes});
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return entries;
}

bool IsLink(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsRealDirectory(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsLink(attributes);
}

// Removes a file, or a link as a link (a link to a directory is a directory entry).
bool RemoveNonDirectory(const QString& path, DWORD attributes)
{
    const std::wstring name = WidePath(path);
    if (IsLink(attributes)) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(name.c_str())
                                                       : ::DeleteFileW(name.c_str());
    }
    // Read-only, hidden and system files go like any other.
    ::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    return ::DeleteFileW(name.c_str());
}

void DeleteTree(const QString& dir, bool removeSelf, Counters& counters)
{
    const std::vector<Entry> entries = ListEntries(dir);
    for (const Entry& entry : entries) {
        if (IsRealDirectory(entry.attributes))
            DeleteTree(JoinPath(dir, entry.name), true, counters);
    }
    bool allGone = true;
    for (const Entry& entry : entries) {
        if (IsRealDirectory(entry.attributes))
            continue;
        if (RemoveNonDirectory(JoinPath(dir, entry.name), entry.attributes)) {
            ++counters.filesDeleted;
        } else {
            ++counters.failures;
            allGone = false;
        }
    }
    if (!allGone || !removeSelf)
        return;
    const std::wstring name = WidePath(dir);
    ::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (::RemoveDirectoryW(name.c_str()))
        ++counters.dirsRemoved;
    else
        ++counters.failures;
}

}  // namespace

void DeleteDirectoryTree(const QString& baseDir, const QString& relativeSubDir, bool removeBase,
                         std::uint32_t& dirsRemoved, std::uint32_t& filesDeleted,
                         std::uint32_t& failures)
{
    QString dir = relativeSubDir.isEmpty() ? baseDir : EnsureTrailingDelimiter(baseDir) + relativeSubDir;
    while (dir.size() > 1 && (dir.endsWith(u'\\') || dir.endsWith(u'/')))
        dir.chop(1);
    const DWORD attributes = ::GetFileAttributesW(WidePath(dir).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0
        || QDir(dir).isRoot() || dir.endsWith(u':'))
        return;

    Counters counters{dirsRemoved, filesDeleted, failures};
    const bool removeSelf = removeBase || !relativeSubDir.isEmpty();
    if (IsLink(attributes)) {
        // A junction or link named by the caller goes as a link, counted as a
        // file; what it points to is never touched.
        if (removeSelf) {
            if (::RemoveDirectoryW(WidePath(dir).c_str()))
                ++counters.filesDeleted;
            else
                ++counters.failures;
        }
        return;
    }
    DeleteTree(dir, removeSelf, counters);
}

}  // namespace FileUtils
