// Who holds a file: open descriptors of other processes and locks of anybody.
//
// Two sources, because neither alone sees everything:
//   /proc/<pid>/fd   every open file of every process whose entries this user
//                    may read (the owner's and, for root, all);
//   /proc/locks      every flock, POSIX, OFD lock and lease on the machine,
//                    by device and inode;
// and a probe with F_OFD_GETLK for locks where /proc/locks names a device
// differently from stat (btrfs subvolumes) or is missing.
//
// The probe opens the file and closes it again. Closing a descriptor drops
// the POSIX locks this process holds on the file, so nobody in this process
// may have the file open as a SQLite database while it is checked.
#include "FileInUse.h"
#include "FileUtils.h"
#include "PosixIo.h"

#include <QByteArray>
#include <QList>

#include <cerrno>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace FileUtils {

using Posix::EncodeName;
using Posix::UniqueFd;

namespace {

struct FileId {
    dev_t dev;
    ino_t ino;
    QString name;
};

// Reads a whole /proc file; they report size 0 and deliver their text in pieces.
QByteArray ReadProcFile(const char* path)
{
    QByteArray text;
    UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.Valid())
        return text;
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

// "sqlite3 (Prozess 4711)", or "Prozess 4711" when the name cannot be read.
QString DescribeProcess(long pid)
{
    const QByteArray path = "/proc/" + QByteArray::number(qlonglong(pid)) + "/comm";
    const QString name = QString::fromUtf8(ReadProcFile(path.constData())).trimmed();
    if (name.isEmpty())
        return QStringLiteral("Prozess %1").arg(pid);
    return QStringLiteral("%1 (Prozess %2)").arg(name).arg(pid);
}

const FileId* Find(const QList<FileId>& ids, dev_t dev, ino_t ino)
{
    for (const FileId& id : ids) {
        if (id.dev == dev && id.ino == ino)
            return &id;
    }
    return nullptr;
}

// An open descriptor of another process on one of the files.
bool FindOpenDescriptor(const QList<FileId>& ids, FileUse& use)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    const long self = long(::getpid());
    bool found = false;
    while (!found) {
        const dirent* entry = ::readdir(proc);
        if (!entry)
            break;
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        const QByteArray fdDir = "/proc/" + QByteArray(entry->d_name) + "/fd";
        DIR* fds = ::opendir(fdDir.constData());
        if (!fds)
            continue;  // gone, or not ours to look at
        while (const dirent* fdEntry = ::readdir(fds)) {
            struct stat st {};
            // fstatat follows the descriptor's link to the open file itself,
            // whatever name it was opened by.
            if (fdEntry->d_name[0] == '.' || ::fstatat(::dirfd(fds), fdEntry->d_name, &st, 0) != 0)
                continue;
            if (const FileId* id = Find(ids, st.st_dev, st.st_ino)) {
                use.FileName = id->name;
                use.Holder = DescribeProcess(pid);
                found = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

// A lock listed in /proc/locks. Lines read
//   "1: POSIX  ADVISORY  WRITE 4711 08:01:1234567 0 EOF"
// with "->" after the number for a waiting request, the device in hex.
bool FindListedLock(const QList<FileId>& ids, FileUse& use)
{
    const QList<QByteArray> lines = ReadProcFile("/proc/locks").split('\n');
    for (const QByteArray& line : lines) {
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
        if (pid == long(::getpid()))
            continue;
        if (const FileId* id = Find(ids, makedev(major, minor), ino_t(inode))) {
            use.FileName = id->name;
            if (pid > 0)
                use.Holder = DescribeProcess(pid);
            return true;
        }
    }
    return false;
}

// Asks the kernel whether a write lock on the whole file would conflict with
// a lock somebody holds.
bool ProbeLock(const FileId& id, FileUse& use)
{
#ifdef F_OFD_GETLK
    UniqueFd fd(::open(EncodeName(id.name).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid())
        return false;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || st.st_dev != id.dev || st.st_ino != id.ino)
        return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    if (::fcntl(fd.Get(), F_OFD_GETLK, &lock) != 0 || lock.l_type == F_UNLCK || lock.l_pid == ::getpid())
        return false;
    use.FileName = id.name;
    if (lock.l_pid > 0)
        use.Holder = DescribeProcess(long(lock.l_pid));
    return true;
#else
    Q_UNUSED(id);
    Q_UNUSED(use);
    return false;
#endif
}

}  // namespace

FileUse CheckFilesNotInUse(const QStringList& names)
{
    QList<FileId> ids;
    for (const QString& name : names) {
        struct stat st {};
        // Only regular files can be in use this way; a FIFO must not be opened.
        if (::stat(EncodeName(name).constData(), &st) == 0 && S_ISREG(st.st_mode))
            ids.append({st.st_dev, st.st_ino, name});
    }
    FileUse use;
    if (ids.isEmpty())
        return use;
    bool inUse = FindOpenDescriptor(ids, use) || FindListedLock(ids, use);
    for (const FileId& id : ids) {
        if (inUse)
            break;
        inUse = ProbeLock(id, use);
    }
    if (inUse)
        use.ErrorCode = 32;
    return use;
}

FileUse CheckFileNotInUse(const QString& fileName)
{
    return CheckFilesNotInUse({fileName});
}

FileUse CheckDatabaseNotInUse(const QString& fileName)
{
    return CheckFilesNotInUse({fileName, fileName + QStringLiteral("-journal"), fileName + QStringLiteral("-wal"),
                          fileName + QStringLiteral("-shm")});
}

QString FileUseText(const FileUse& use)
{
    if (use.ErrorCode == 0)
        return QString();
    if (use.Holder.isEmpty())
        return SafeFormat(QStringLiteral("Die Datei \"%s\" ist von einem anderen Programm gesperrt."), {use.FileName});
    return SafeFormat(QStringLiteral("Die Datei \"%s\" ist von einem anderen Programm geöffnet: %s."),
                      {use.FileName, use.Holder});
}

}  // namespace FileUtils
