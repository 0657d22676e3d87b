// Small files stored whole, with POSIX calls.
#include "WholeFile.h"

#include "AclCopy.h"
#include "FileReplace.h"
#include "FileUtils.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileUtils {

namespace {

// Closes a descriptor when it goes. Close() reports the result of closing, where a file
// system may report a write that failed late.
class Descriptor {
public:
    explicit Descriptor(int fd) : FFd(fd) {}
    ~Descriptor()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    bool Close() { return FFd >= 0 && ::close(std::exchange(FFd, -1)) == 0; }

private:
    int FFd;
};

// The hidden file that holds the new content of NAME while NAME is written in place.
QByteArray JournalOf(const QByteArray& name)
{
    const qsizetype slash = name.lastIndexOf('/');
    return name.left(slash + 1) + '.' + name.mid(slash + 1) + ".kk-new";
}

// Unreadable also when it is no regular file; it is opened without waiting, so that a FIFO in
// its place cannot stall the program.
WholeFile ReadExactly(const QByteArray& name)
{
    WholeFile file;
    Descriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid()) {
        file.state = errno == ENOENT || errno == ENOTDIR ? WholeFile::Missing : WholeFile::Unreadable;
        file.error = file.state == WholeFile::Unreadable ? ErrnoToWinError(errno) : 0;
        return file;
    }
    file.state = WholeFile::Unreadable;
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        file.error = S_ISDIR(status.st_mode) ? ErrnoToWinError(EISDIR) : ErrnoToWinError(EINVAL);
        return file;
    }
    constexpr qsizetype kChunk = 65536;
    for (;;) {
        const qsizetype size = file.bytes.size();
        file.bytes.resize(size + kChunk);
        const ssize_t got = ::read(fd.Get(), file.bytes.data() + size, kChunk);
        file.bytes.resize(size + std::max<ssize_t>(got, 0));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            file.error = ErrnoToWinError(errno);
            return file;
        }
        if (got == 0)
            break;
    }
    file.state = WholeFile::Read;
    return file;
}

}  // namespace

// A store that was ended while it wrote the file in place left the new content beside it: that
// is what the file holds, as far as any reader of it here is concerned.
WholeFile ReadWholeFile(const QString& fileName)
{
    const QByteArray name = QFile::encodeName(fileName);
    const WholeFile journal = ReadExactly(JournalOf(QFile::encodeName(FinalFileName(fileName))));
    if (journal.state == WholeFile::Read) {
        struct stat status {};
        if (::stat(name.constData(), &status) == 0 && S_ISREG(status.st_mode))
            return journal;
    }
    return ReadExactly(name);
}

namespace {

bool WriteAt(int fd, const char* data, qsizetype size, off_t offset)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size_t(size), offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data += written;
        size -= written;
        offset += written;
    }
    return true;
}

bool WriteAt(int fd, const QByteArray& bytes)
{
    return WriteAt(fd, bytes.constData(), bytes.size(), 0);
}

// Gives the file FD the owner, group, permission bits, ACL and user.* attributes of OLD (the
// file NAME). False when the system refuses any of them, as it refuses a normal user who would
// give a file away.
bool TakeOverOwnership(int fd, const QByteArray& name, const struct stat& old)
{
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return false;
    const uid_t owner = now.st_uid == old.st_uid ? uid_t(-1) : old.st_uid;
    const gid_t group = now.st_gid == old.st_gid ? gid_t(-1) : old.st_gid;
    if ((owner != uid_t(-1) || group != gid_t(-1)) && ::fchown(fd, owner, group) != 0)
        return false;
    // After fchown, which clears the set-user and set-group bits.
    return ::fchmod(fd, old.st_mode & 07777) == 0 && Posix::CopyAclAndAttributes(name, fd, 0, true).error == 0;
}

// 0, an error code, or this: the way chosen cannot be taken, and nothing has changed.
constexpr std::uint32_t kNotThisWay = 0xFFFFFFFF;

// Writes BYTES to a hidden file beside NAME and renames it over NAME, so that NAME holds its
// old or its new content whole whatever happens: the new file's data is on the disk before the
// rename, and the rename before this returns. For an existing file (OLD), the new one takes its
// owner, group, permission bits and attributes (kNotThisWay, with nothing changed, when it
// cannot, or when the folder takes no new file); a new one is made with MODE (less the umask).
std::uint32_t ReplaceByRename(const QByteArray& name, const QByteArray& bytes, const struct stat* old, mode_t mode)
{
    const qsizetype slash = name.lastIndexOf('/');
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = name.left(slash + 1) + '.' + name.mid(slash + 1) + '.'
               + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        // The copy of an existing file gets no permissions beyond the owner's until it has the
        // old file's.
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, old ? 0600 : mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    const int openError = errno;
    Descriptor file(fd);
    if (!file.Valid())
        return old ? kNotThisWay : ErrnoToWinError(openError);
    const auto discard = [&](std::uint32_t result) {
        file.Close();
        ::unlink(temp.constData());
        return result;
    };
    if (old && !TakeOverOwnership(file.Get(), name, *old))
        return discard(kNotThisWay);
    if (!WriteAt(file.Get(), bytes) || ::fsync(file.Get()) != 0 || !file.Close())
        return discard(ErrnoToWinError(errno));
    if (::rename(temp.constData(), name.constData()) != 0)
        return discard(ErrnoToWinError(errno));
    // The rename lasts once the folder is on the disk; the content is already there.
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : name.left(slash);
    const Descriptor directory(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Valid())
        ::fsync(directory.Get());
    return 0;
}

// Makes room for a file of BYTES that is OLDSIZE bytes long now, without changing what it
// holds: reserved where the file system can, otherwise by writing the part beyond the old end
// first, which is cut off again when it does not fit.
bool Reserve(int fd, const QByteArray& bytes, qsizetype oldSize)
{
    int result = 0;
    do {
        result = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size()));
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return false;
    if (WriteAt(fd, bytes.constData() + oldSize, bytes.size() - oldSize, off_t(oldSize)))
        return true;
    const int error = errno;
    (void)!::ftruncate(fd, off_t(oldSize));
    errno = error;
    return false;
}

// Overwrites NAME, which holds OLD, with BYTES. The new content goes beside it first (see
// ReadWholeFile), then into the file, and goes again once the file holds it on the disk. A full
// disk leaves the old content whole, as the room a longer file needs is taken first; should
// writing fail later all the same, the old content is put back as far as the system lets.
std::uint32_t WriteInPlace(const QByteArray& name, const QByteArray& bytes, const QByteArray& old)
{
    Descriptor file(::open(name.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (!file.Valid() || (bytes.size() > old.size() && !Reserve(file.Get(), bytes, old.size())))
        return ErrnoToWinError(errno);
    // Readable by its writer only: it may stand in a folder others may read. Where the folder
    // takes no new file, the file is written without it.
    const QByteArray journal = JournalOf(name);
    const bool journaled = ReplaceByRename(journal, bytes, nullptr, 0600) == 0;
    if (WriteAt(file.Get(), bytes) && ::ftruncate(file.Get(), off_t(bytes.size())) == 0 && ::fsync(file.Get()) == 0
        && file.Close()) {
        if (journaled)
            ::unlink(journal.constData());
        return 0;
    }
    const int error = errno;
    if (WriteAt(file.Get(), old))
        (void)!::ftruncate(file.Get(), off_t(old.size()));
    ::fsync(file.Get());
    if (journaled)
        ::unlink(journal.constData());
    return ErrnoToWinError(error);
}

}  // namespace

std::uint32_t StoreWholeFile(const QString& fileName, const QByteArray& bytes, const WholeFile& old)
{
    const QByteArray name = QFile::encodeName(fileName);
    struct stat status {};
    std::uint32_t result = kNotThisWay;
    if (old.state != WholeFile::Read || ::stat(name.constData(), &status) != 0)
        result = ReplaceByRename(name, bytes, nullptr, 0666);
    // A new file would part a file from its other names (hard links); it is also written in
    // place when the new file cannot get its owner, group or attributes, or the folder takes
    // no new file.
    else if (status.st_nlink == 1)
        result = ReplaceByRename(name, bytes, &status, 0666);
    if (result == kNotThisWay)
        return WriteInPlace(name, bytes, old.bytes);
    // The content an earlier store left beside the file is older than the file's now.
    if (result == 0)
        ::unlink(JournalOf(name).constData());
    return result;
}

}  // namespace FileUtils
