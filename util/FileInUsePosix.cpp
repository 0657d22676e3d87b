// Who holds a file: the kernel's lease test first; a look through /proc only
// when the test says "in use" (to name the holder) or cannot be made.
//
// The kernel grants a write lease (F_SETLEASE, F_WRLCK) only while no other
// open file description of the file exists, whatever name it was opened by.
// Every lock (flock, POSIX, OFD, lease) belongs to an open description, and a
// mapping keeps its description alive after the descriptor is closed, so a
// granted lease shows the file free in a handful of system calls, however
// many processes run. The lease is given back at once.
//
// When the lease is refused (somebody, perhaps this process, has the file
// open) or cannot be taken (another user's file without CAP_LEASE, a file
// system without leases such as NFS, a file this user may not read), /proc
// tells who holds it:
//   /proc/<pid>/fd      every process's open files, read with readlink and
//                       compared with the file's canonical name;
//   /proc/<pid>/fdinfo  the inode behind a descriptor: it confirms a name and
//                       finds a file opened by another of its names (hard links);
//   /proc/locks         every flock, POSIX and OFD lock and lease on the
//                       machine, by device and inode;
//   /proc/<pid>/maps    mappings kept after their descriptor was closed;
// and an F_OFD_GETLK probe looks for locks where no lease could be taken.
// The look stops at the first holder found.
//
// Nothing here reaches a file system but the checked file's own and /proc:
// readlink and fdinfo report what the kernel keeps about an open file, where
// a stat through another process's descriptor would ask that file's file
// system, and hang as long as a dead network mount does. Keep it that way.
//
// The probes open the file and close it again. Closing a descriptor drops the
// POSIX locks this process holds on the file, so nobody in this process may
// have the file open as a SQLite database while it is checked.
#include "FileInUse.h"
#include "FileUtils.h"
#include "PosixIo.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace FileUtils {

using Posix::EncodeName;
using Posix::UniqueFd;

namespace {

// What the lease test said about a file.
enum class Lease {
    Granted,   // nobody has the file open: it is free
    Refused,   // another process has it open: it is in use
    Untested,  // no lease could be taken, or this process's own use may have refused it
};

// A regular file to check.
struct Target {
    QString name;
    QByteArray path;  // canonical, as readlink of a descriptor shows it; set when /proc is asked
    dev_t dev = 0;
    ino_t ino = 0;
    bool linked = false;        // it has more names than one (hard links)
    std::uint64_t mountId = 0;  // for linked files, the mount as fdinfo numbers it; 0 unknown
    Lease lease = Lease::Untested;
};

using Targets = std::vector<const Target*>;

// How much a look through /proc could see.
struct Sight {
    bool partial = false;  // some process's open files, or the lock list, were hidden
};

std::optional<Target> RegularFile(const QString& name)
{
    const QByteArray encoded = EncodeName(name);
    struct stat st {};
    // Only regular files can be in use this way; a FIFO must not be opened.
    if (::stat(encoded.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    Target target;
    target.name = name;
    target.dev = st.st_dev;
    target.ino = st.st_ino;
    target.linked = st.st_nlink > 1;
    struct statx extra {};
    if (target.linked && ::statx(AT_FDCWD, encoded.constData(), 0, STATX_MNT_ID, &extra) == 0
        && (extra.stx_mask & STATX_MNT_ID))
        target.mountId = extra.stx_mnt_id;
    return target;
}

QByteArray CanonicalPath(const QString& name)
{
    const QByteArray encoded = EncodeName(name);
    char* real = ::realpath(encoded.constData(), nullptr);
    if (!real)
        return encoded;
    const QByteArray path(real);
    std::free(real);
    return path;
}

// Reads a whole file of /proc, relative to dir; they report size 0 and
// deliver their text in pieces. Nothing when it cannot be opened.
std::optional<QByteArray> ReadAt(int dir, const char* path)
{
    UniqueFd fd(::openat(dir, path, O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.Valid())
        return std::nullopt;
    QByteArray text;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, got);
    }
    return text;
}

// The name a user knows a process by. The kernel keeps the first 15 bytes of its program's
// name ("katalogkonverte"); where that may be cut, the whole one is looked for in the
// executable's path, then in the command line's first words (a script run by its
// interpreter): the first whose file name begins with the short one.
QByteArray ProcessName(long pid)
{
    const QByteArray dir = "/proc/" + QByteArray::number(qlonglong(pid));
    QByteArray comm = ReadAt(AT_FDCWD, (dir + "/comm").constData()).value_or(QByteArray());
    if (comm.endsWith('\n'))
        comm.chop(1);
    constexpr qsizetype kCommLength = 15;
    if (comm.size() < kCommLength)
        return comm;
    const auto fileName = [](QByteArray path) { return path.mid(path.lastIndexOf('/') + 1); };
    QByteArrayList candidates;
    char exe[4096];
    if (const ssize_t length = ::readlink((dir + "/exe").constData(), exe, sizeof exe); length > 0) {
        QByteArray path(exe, length);
        if (path.endsWith(" (deleted)"))
            path.chop(10);
        candidates << fileName(path);
    }
    const QByteArrayList words = ReadAt(AT_FDCWD, (dir + "/cmdline").constData()).value_or(QByteArray()).split('\0');
    for (qsizetype i = 0; i < std::min<qsizetype>(words.size(), 2); ++i)
        candidates << fileName(words[i]);
    for (const QByteArray& candidate : candidates) {
        if (candidate.size() > comm.size() && candidate.startsWith(comm))
            return candidate;
    }
    return comm;
}

// "sqlite3 (Prozess 4711)", or "Prozess 4711" when the name cannot be read.
QString DescribeProcess(long pid)
{
    const QString name = QString::fromUtf8(ProcessName(pid)).trimmed();
    if (name.isEmpty())
        return QStringLiteral("Prozess %1").arg(pid);
    return QStringLiteral("%1 (Prozess %2)").arg(name).arg(pid);
}

// This process's number as /proc shows it: a /proc of another pid namespace
// numbers it otherwise than getpid.
long ProcSelf()
{
    char link[32];
    const ssize_t length = ::readlink("/proc/self", link, sizeof link - 1);
    if (length <= 0)
        return long(::getpid());
    link[length] = '\0';
    return std::strtol(link, nullptr, 10);
}

// ---------------------------------------------------------------------------
// The lease test
// ---------------------------------------------------------------------------

// While this process holds a lease, another process's open of the file sends
// it SIGIO, and SIGIO's default action ends the process. The lease lasts only
// from one fcntl to the next, but an open may fall in between: so SIGIO is
// ignored unless somebody handles it.
void IgnoreLeaseBreaks()
{
    struct sigaction current {};
    if (::sigaction(SIGIO, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO)
        || current.sa_handler != SIG_DFL)
        return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGIO, &ignore, nullptr);
}

// Takes a write lease on fd and gives it back at once.
Lease LeaseOn(int fd)
{
    IgnoreLeaseBreaks();
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return Lease::Granted;
    }
    // EACCES: another user's file; EINVAL: no leases on this file system.
    return errno == EAGAIN || errno == EBUSY ? Lease::Refused : Lease::Untested;
}

Lease TestLease(const Target& target)
{
    // O_NONBLOCK: an open that would have to break another process's lease
    // fails at once instead of waiting for the lease to go.
    const UniqueFd fd(::open(EncodeName(target.name).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid())
        return errno == EWOULDBLOCK ? Lease::Refused : Lease::Untested;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || st.st_dev != target.dev || st.st_ino != target.ino)
        return Lease::Untested;  // replaced since it was looked at
    return LeaseOn(fd.Get());
}

// ---------------------------------------------------------------------------
// The look through /proc
// ---------------------------------------------------------------------------

// The inode behind one of a process's descriptors, from /proc/<pid>/fdinfo/<fd>
// (mnt_id since Linux 3.15, ino since 5.14).
struct FdInode {
    bool known = false;
    std::uint64_t mountId = 0;
    std::uint64_t ino = 0;
};

FdInode ReadFdInode(int pidDir, const char* fd)
{
    FdInode inode;
    char path[64];
    std::snprintf(path, sizeof path, "fdinfo/%s", fd);
    bool hasMount = false;
    bool hasIno = false;
    for (const QByteArray& line : ReadAt(pidDir, path).value_or(QByteArray()).split('\n')) {
        if (line.startsWith("mnt_id:"))
            inode.mountId = line.mid(7).trimmed().toULongLong(&hasMount);
        else if (line.startsWith("ino:"))
            inode.ino = line.mid(4).trimmed().toULongLong(&hasIno);
    }
    inode.known = hasMount && hasIno;
    return inode;
}

// Calls found(fd, target) for each descriptor of the process in pidDir that
// leads to one of the targets, until found returns true. Returns 0, or the
// errno that kept the descriptors from being listed.
template <class Found>
int ForEachDescriptor(int pidDir, const Targets& targets, Found found)
{
    const int fdDir = ::openat(pidDir, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdDir < 0)
        return errno;
    DIR* fds = ::fdopendir(fdDir);
    if (!fds) {
        const int error = errno;
        ::close(fdDir);
        return error;
    }
    char link[PATH_MAX];
    bool done = false;
    while (!done) {
        const dirent* entry = ::readdir(fds);
        if (!entry)
            break;
        if (entry->d_name[0] == '.')
            continue;
        const ssize_t length = ::readlinkat(fdDir, entry->d_name, link, sizeof link);
        // Sockets, pipes and anonymous files ("socket:[4711]") have no path;
        // a full buffer may hold a name cut short.
        if (length <= 0 || length == ssize_t(sizeof link) || link[0] != '/')
            continue;
        const std::string_view name(link, std::size_t(length));
        std::optional<FdInode> inode;
        for (const Target* target : targets) {
            const bool sameName = name == std::string_view(target->path.constData(), std::size_t(target->path.size()));
            if (!sameName && !target->linked)
                continue;
            if (!inode)
                inode = ReadFdInode(pidDir, entry->d_name);
            // A name alone may be another mount namespace's file; the inode
            // decides wherever fdinfo tells it.
            const bool sameInode = inode->known && inode->ino == target->ino;
            if (sameName ? (sameInode || !inode->known) : (sameInode && inode->mountId == target->mountId)) {
                done = found(entry->d_name, target);
                break;
            }
        }
    }
    ::closedir(fds);
    return 0;
}

// A mapping of one of the targets in the process of pidDir. Lines of
// /proc/<pid>/maps read "7f0a1000-7f0a2000 rw-s 00000000 08:01 1234567  /path".
const Target* FindMapping(int pidDir, const Targets& targets)
{
    const std::optional<QByteArray> maps = ReadAt(pidDir, "maps");
    if (!maps)
        return nullptr;
    const char* line = maps->constData();
    const char* const end = line + maps->size();
    while (line < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(line, '\n', std::size_t(end - line)));
        if (!lineEnd)
            lineEnd = end;
        // Past the address range, the permissions and the offset.
        const char* field = line;
        for (int skipped = 0; skipped < 3 && field; ++skipped) {
            field = static_cast<const char*>(std::memchr(field, ' ', std::size_t(lineEnd - field)));
            if (field)
                ++field;
        }
        char* next = nullptr;
        if (field && field < lineEnd) {
            const unsigned long major = std::strtoul(field, &next, 16);
            if (next < lineEnd && *next == ':') {
                const unsigned long minor = std::strtoul(next + 1, &next, 16);
                const unsigned long long ino = std::strtoull(next, &next, 10);
                for (const Target* target : targets) {
                    if (ino != 0 && next <= lineEnd && target->ino == ino
                        && target->dev == makedev(unsigned(major), unsigned(minor)))
                        return target;
                }
            }
        }
        line = lineEnd < end ? lineEnd + 1 : end;
    }
    return nullptr;
}

// Calls visit(pid, dir) with a descriptor of /proc/<pid> for every process
// but this one until visit returns true; returns whether it did.
template <class Visit>
bool ForEachOtherProcess(long self, Sight& sight, Visit visit)
{
    DIR* proc = ::opendir("/proc");
    struct statfs fs {};
    if (!proc || ::fstatfs(::dirfd(proc), &fs) != 0 || fs.f_type != PROC_SUPER_MAGIC) {
        if (proc)
            ::closedir(proc);
        sight.partial = true;
        return false;
    }
    bool sawInit = false;
    bool found = false;
    while (!found) {
        const dirent* entry = ::readdir(proc);
        if (!entry)
            break;
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        sawInit = sawInit || pid == 1;
        if (pid == self)
            continue;
        const UniqueFd dir(::openat(::dirfd(proc), entry->d_name, O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (dir.Valid())
            found = visit(pid, dir.Get());
    }
    ::closedir(proc);
    // hidepid= hides other users' processes without a trace, but pid 1 always runs.
    if (!found && !sawInit)
        sight.partial = true;
    return found;
}

// An open descriptor of another process on one of the targets.
const Target* FindDescriptor(const Targets& targets, long self, Sight& sight, long& holder)
{
    const Target* held = nullptr;
    ForEachOtherProcess(self, sight, [&](long pid, int dir) {
        const int error = ForEachDescriptor(dir, targets, [&](const char*, const Target* target) {
            held = target;
            return true;
        });
        // Gone meanwhile (ENOENT) is no loss; not ours to look at is.
        if (error == EACCES || error == EPERM)
            sight.partial = true;
        if (held)
            holder = pid;
        return held != nullptr;
    });
    return held;
}

const Target* FindMapping(const Targets& targets, long self, Sight& sight, long& holder)
{
    const Target* held = nullptr;
    ForEachOtherProcess(self, sight, [&](long pid, int dir) {
        held = FindMapping(dir, targets);
        if (held)
            holder = pid;
        return held != nullptr;
    });
    return held;
}

// A lock listed in /proc/locks. Lines read
//   "1: POSIX  ADVISORY  WRITE 4711 08:01:1234567 0 EOF"
// with "->" after the number for a waiting request, the device in hex, and
// -1 for the process of an OFD lock.
const Target* FindListedLock(const Targets& targets, long self, Sight& sight, long& holder)
{
    const std::optional<QByteArray> locks = ReadAt(AT_FDCWD, "/proc/locks");
    if (!locks) {
        sight.partial = true;
        return nullptr;
    }
    for (const QByteArray& line : locks->split('\n')) {
        QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 1 && fields[1] == "->")
            fields.removeAt(1);
        if (fields.size() < 6)
            continue;
        const QList<QByteArray> device = fields[5].split(':');
        if (device.size() != 3)
            continue;
        bool okMajor = false;
        bool okMinor = false;
        bool okInode = false;
        const unsigned major = device[0].toUInt(&okMajor, 16);
        const unsigned minor = device[1].toUInt(&okMinor, 16);
        const qulonglong inode = device[2].toULongLong(&okInode, 10);
        if (!okMajor || !okMinor || !okInode)
            continue;
        // Locks of this process (the stream's own flock, say) do not count.
        const long pid = fields[4].toLong();
        if (pid == self)
            continue;
        for (const Target* target : targets) {
            if (target->dev == makedev(major, minor) && target->ino == ino_t(inode)) {
                holder = pid;
                return target;
            }
        }
    }
    return nullptr;
}

// Asks the kernel whether a write lock on the whole file would conflict with
// a lock somebody holds: for locks that /proc/locks lists under another
// device than stat tells (btrfs subvolumes), or does not list at all.
bool ProbeLock(const Target& target, long& holder)
{
    const UniqueFd fd(::open(EncodeName(target.name).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid())
        return false;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || st.st_dev != target.dev || st.st_ino != target.ino)
        return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    if (::fcntl(fd.Get(), F_OFD_GETLK, &lock) != 0 || lock.l_type == F_UNLCK || lock.l_pid == ::getpid())
        return false;
    holder = long(lock.l_pid);
    return true;
}

// ---------------------------------------------------------------------------
// This process's own use
// ---------------------------------------------------------------------------

// Where this process itself has a file open or mapped.
struct OwnUse {
    int descriptors = 0;
    int fd = -1;  // one of them
    bool mapped = false;
};

OwnUse FindOwnUse(const Target& target)
{
    OwnUse own;
    const UniqueFd self(::open("/proc/self", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (self.Valid()) {
        const int error = ForEachDescriptor(self.Get(), {&target}, [&](const char* fd, const Target*) {
            ++own.descriptors;
            own.fd = std::atoi(fd);
            return false;
        });
        if (error == 0) {
            own.mapped = FindMapping(self.Get(), {&target}) != nullptr;
            return own;
        }
    }
    // Without /proc every descriptor number is tried. The inode is taken from
    // what the kernel has at hand (AT_STATX_DONT_SYNC), so that a descriptor
    // on a dead network mount does not hang the check.
    struct rlimit limit {};
    const rlim_t count = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min<rlim_t>(limit.rlim_cur, 1 << 20) : 1024;
    for (int fd = 0; rlim_t(fd) < count; ++fd) {
        struct statx st {};
        if (::fcntl(fd, F_GETFD) < 0
            || ::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &st) != 0)
            continue;
        if (makedev(st.stx_dev_major, st.stx_dev_minor) == target.dev && st.stx_ino == target.ino) {
            ++own.descriptors;
            own.fd = fd;
        }
    }
    return own;
}

// A refused lease may be this process's own doing: its own descriptors and
// mappings refuse it as much as another process's. With one descriptor of
// its own and no mapping, the lease is tried on that descriptor; with more,
// only the look through /proc can tell.
Lease RetestOwnUse(const Target& target)
{
    const OwnUse own = FindOwnUse(target);
    if (own.descriptors == 0 && !own.mapped)
        return Lease::Refused;
    if (own.descriptors > 1 || own.mapped)
        return Lease::Untested;
    struct statx st {};
    if (::statx(own.fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_INO, &st) != 0
        || makedev(st.stx_dev_major, st.stx_dev_minor) != target.dev || st.stx_ino != target.ino)
        return Lease::Untested;  // closed meanwhile
    return LeaseOn(own.fd);
}

}  // namespace

FileUse CheckFilesNotInUse(const QStringList& names)
{
    std::vector<Target> targets;
    for (const QString& name : names) {
        if (std::optional<Target> target = RegularFile(name))
            targets.push_back(std::move(*target));
    }
    Targets open;
    for (Target& target : targets) {
        target.lease = TestLease(target);
        if (target.lease == Lease::Granted)
            continue;
        target.path = CanonicalPath(target.name);
        if (target.lease == Lease::Refused)
            target.lease = RetestOwnUse(target);
        if (target.lease != Lease::Granted)
            open.push_back(&target);
    }
    FileUse use;
    if (open.empty())
        return use;

    const long self = ProcSelf();
    Sight sight;
    long holder = 0;
    const Target* held = FindDescriptor(open, self, sight, holder);
    if (!held)
        held = FindListedLock(open, self, sight, holder);
    for (const Target* target : open) {
        if (held)
            break;
        if (target->lease == Lease::Untested && ProbeLock(*target, holder))
            held = target;
    }
    if (!held)
        held = FindMapping(open, self, sight, holder);
    if (!held) {
        // Refused by another process that cannot be found (hidden, or the
        // kernel itself holds the file): in use all the same.
        const auto refused = std::find_if(open.begin(), open.end(),
                                          [](const Target* target) { return target->lease == Lease::Refused; });
        if (refused != open.end()) {
            held = *refused;
            holder = 0;
        }
    }
    if (held) {
        use.ErrorCode = 32;
        use.FileName = held->name;
        if (holder > 0)
            use.Holder = DescribeProcess(holder);
    } else if (sight.partial) {
        use.Unverified = true;
        use.FileName = open.front()->name;
    }
    return use;
}

}  // namespace FileUtils
