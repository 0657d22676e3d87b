// Deletion of a directory tree, relative to open directory descriptors.
//
// Every step below the top directory names its entry relative to the
// descriptor of the directory that holds it, and directories are entered with
// O_NOFOLLOW. So a symbolic link met anywhere in the tree, the top directory
// included, is removed as a link and never entered, and an entry swapped for a
// link while the walk runs cannot lead it outside the tree. Nor does the walk
// enter anything mounted below the top directory, bind mounts of the same file
// system included.
#include "FileUtils.h"
#include "PosixIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <vector>

namespace FileUtils {

using Posix::EncodeName;
using Posix::UniqueFd;

namespace {

struct Counters {
    std::uint32_t& dirsRemoved;
    std::uint32_t& filesDeleted;
    std::uint32_t& failures;
};

// The mount a directory belongs to: its device and, when the kernel reports
// it, the mount id. A bind mount shows a folder of the same file system, with
// the same device; only the mount id tells it apart.
struct MountIdentity {
    dev_t device = 0;
    std::uint64_t mountId = 0;
    bool hasMountId = false;
};

bool IdentifyMount(int fd, MountIdentity& id)
{
#ifdef STATX_MNT_ID
    struct statx stx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) == 0) {
        id.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
        id.hasMountId = (stx.stx_mask & STATX_MNT_ID) != 0;
        id.mountId = id.hasMountId ? stx.stx_mnt_id : 0;
        return true;
    }
#endif
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    id.device = st.st_dev;
    id.hasMountId = false;
    return true;
}

// Whether two directories lie in the same mount; by the device alone when a
// mount id is missing.
bool SameMount(const MountIdentity& a, const MountIdentity& b)
{
    if (a.device != b.device)
        return false;
    return !a.hasMountId || !b.hasMountId || a.mountId == b.mountId;
}

enum class EntryKind { Directories, NonDirectories };

// The names of one kind of entry in an open directory, "." and ".." left out.
// A directory that cannot be listed yields no names.
std::vector<QByteArray> ListEntries(int dirFd, EntryKind kind)
{
    std::vector<QByteArray> names;
    // A fresh open of "." gives this listing its own read position.
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return names;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone since it was listed
        const bool isDirectory = S_ISDIR(st.st_mode);
        if (isDirectory == (kind == EntryKind::Directories))
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

// A directory needs the owner's read, write and search permission before its
// entries can be listed and removed; a read-only directory gets them back
// (the counterpart of clearing its read-only attribute). Returns whether it
// has them now.
//
// The walk goes on when this fails (a directory of another owner): nothing is
// lost by that, as whatever the missing permission keeps in the directory
// makes the directory's own removal fail, and that failure is counted. A
// directory another owner lets everyone change is still emptied and removed.
bool MakeDirectoryAccessible(int parentFd, const QByteArray& name)
{
    struct stat st {};
    if (::fstatat(parentFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0
        || !S_ISDIR(st.st_mode) || (st.st_mode & S_IRWXU) == S_IRWXU)
        return true;  // gone, no directory (the walk finds out), or accessible
    return ::fchmodat(parentFd, name.constData(), (st.st_mode & 07777) | S_IRWXU,
                      AT_SYMLINK_NOFOLLOW) == 0;
}

// Removes the entry `name` of parentFd: a directory, or (flags 0) a link.
void RemoveEntry(int parentFd, const QByteArray& name, int flags, Counters& counters)
{
    if (::unlinkat(parentFd, name.constData(), flags) == 0)
        ++counters.dirsRemoved;
    else
        ++counters.failures;
}

void DeleteTreeAt(int parentFd, const QByteArray& name, const UniqueFd& dirFd, bool removeSelf,
                  Counters& counters);

// Empties the open directory dirFd, post-order: subdirectories, then files.
// Returns whether every file found directly in it was deleted. An invalid
// dirFd stands for a directory that could not be opened: it looks empty.
bool EmptyDirectory(const UniqueFd& dirFd, Counters& counters)
{
    MountIdentity self;
    if (!dirFd.Valid() || !IdentifyMount(dirFd.Get(), self))
        return true;
    for (const QByteArray& sub : ListEntries(dirFd.Get(), EntryKind::Directories)) {
        // Walked as far as it lets even when it stays inaccessible (see above).
        [[maybe_unused]] const bool accessible = MakeDirectoryAccessible(dirFd.Get(), sub);
        UniqueFd subFd(::openat(dirFd.Get(), sub.constData(),
                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        // Whatever is mounted inside the tree is not part of it: it is not
        // entered, and only the (failing) removal of its mount point is tried.
        MountIdentity mount;
        if (subFd.Valid() && (!IdentifyMount(subFd.Get(), mount) || !SameMount(mount, self)))
            subFd.Reset();
        DeleteTreeAt(dirFd.Get(), sub, subFd, true, counters);
    }
    bool allGone = true;
    // A file is unlinked as it is: that needs no permission on the file itself,
    // and a read-only file keeps its mode for any other hard link to it.
    for (const QByteArray& file : ListEntries(dirFd.Get(), EntryKind::NonDirectories)) {
        if (::unlinkat(dirFd.Get(), file.constData(), 0) == 0) {
            ++counters.filesDeleted;
        } else {
            ++counters.failures;
            allGone = false;
        }
    }
    return allGone;
}

// Empties the directory and, when removeSelf is set and all its own files
// went, removes its entry `name` from parentFd. Failures further down do not
// keep the removal from being tried.
void DeleteTreeAt(int parentFd, const QByteArray& name, const UniqueFd& dirFd, bool removeSelf,
                  Counters& counters)
{
    if (EmptyDirectory(dirFd, counters) && removeSelf)
        RemoveEntry(parentFd, name, AT_REMOVEDIR, counters);
}

// Splits a directory name into its parent and its last component, ignoring
// trailing delimiters ("/a/b/" gives "/a" and "b").
void SplitLastComponent(const QString& dir, QString& parent, QString& last)
{
    qsizetype end = dir.size();
    while (end > 1 && dir.at(end - 1) == u'/')
        --end;
    const QString trimmed = dir.left(end);
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    if (slash < 0) {
        parent = QStringLiteral(".");
        last = trimmed;
    } else {
        parent = slash == 0 ? QStringLiteral("/") : trimmed.left(slash);
        last = trimmed.mid(slash + 1);
    }
}

}  // namespace

void DeleteDirectoryTree(const QString& baseDir, const QString& relativeSubDir, bool removeBase,
                         std::uint32_t& dirsRemoved, std::uint32_t& filesDeleted,
                         std::uint32_t& failures)
{
    const QString dir = relativeSubDir.isEmpty()
                            ? baseDir
                            : EnsureTrailingDelimiter(baseDir) + relativeSubDir;
    if (!DirectoryExists(dir))
        return;

    QString parent;
    QString last;
    SplitLastComponent(dir, parent, last);
    const QByteArray name = EncodeName(last);
    // The parent serves only to look its entry up and remove it, which needs
    // search and write permission on it but not read permission.
    const UniqueFd parentFd(
        ::open(EncodeName(parent).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (!parentFd.Valid()
        || ::fstatat(parentFd.Get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;  // gone meanwhile, or no entry of a parent at all (the root)

    Counters counters{dirsRemoved, filesDeleted, failures};
    const bool removeSelf = removeBase || !relativeSubDir.isEmpty();
    if (S_ISLNK(st.st_mode)) {
        // A link named by the caller goes as a link, counted as a file; what
        // it points to is never touched.
        if (removeSelf) {
            if (::unlinkat(parentFd.Get(), name.constData(), 0) == 0)
                ++counters.filesDeleted;
            else
                ++counters.failures;
        }
        return;
    }
    if (!S_ISDIR(st.st_mode))
        return;
    MakeDirectoryAccessible(parentFd.Get(), name);
    const UniqueFd dirFd(::openat(parentFd.Get(), name.constData(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    DeleteTreeAt(parentFd.Get(), name, dirFd, removeSelf, counters);
}

}  // namespace FileUtils
