// Small files stored whole, with POSIX calls.
#include "WholeFile.h"

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

}  // namespace

// Unreadable also when it is no regular file; it is opened without waiting, so that a FIFO in
// its place cannot stall the program.
WholeFile ReadWholeFile(const QString& fileName)
{
    WholeFile file;
    Descriptor fd(::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid()) {
        file.state = errno == ENOENT || errno == ENOTDIR ? WholeFile::Missing : WholeFile::Unreadable;
        return file;
    }
    file.state = WholeFile::Unreadable;
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return file;
    constexpr qsizetype kChunk = 65536;
    for (;;) {
        const qsizetype size = file.bytes.size();
        file.bytes.resize(size + kChunk);
        const ssize_t got = ::read(fd.Get(), file.bytes.data() + size, kChunk);
        file.bytes.resize(size + std::max<ssize_t>(got, 0));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return file;
        if (got == 0)
            break;
    }
    file.state = WholeFile::Read;
    return file;
}

namespace {

bool WriteAt(int fd, const char* data, qsizetype size, off_t offset)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size_t(size), offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
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

// Gives the file FD the owner, group and permission bits of OLD. False when the system
// refuses the owner or the group, as it does a normal user who would give a file away.
bool TakeOverOwnership(int fd, const struct stat& old)
{
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return false;
    const uid_t owner = now.st_uid == old.st_uid ? uid_t(-1) : old.st_uid;
    const gid_t group = now.st_gid == old.st_gid ? gid_t(-1) : old.st_gid;
    if ((owner != uid_t(-1) || group != gid_t(-1)) && ::fchown(fd, owner, group) != 0)
        return false;
    // After fchown, which clears the set-user and set-group bits.
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

enum class Stored { Yes, No, NotThisWay };

// Writes BYTES to a hidden file beside NAME and renames it over NAME, so that NAME holds its
// old or its new content whole whatever happens. For an existing file (OLD), the new one takes
// its owner, group and permission bits; NotThisWay, with nothing changed, when it cannot or
// when the folder takes no new file.
Stored ReplaceByRename(const QByteArray& name, const QByteArray& bytes, const struct stat* old)
{
    const qsizetype slash = name.lastIndexOf('/');
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = name.left(slash + 1) + '.' + name.mid(slash + 1) + '.'
               + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        // A new file gets the permissions the umask leaves; the copy of an existing one none
        // beyond the owner's until it has the old file's.
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, old ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    Descriptor file(fd);
    if (!file.Valid())
        return old ? Stored::NotThisWay : Stored::No;
    const auto discard = [&](Stored result) {
        file.Close();
        ::unlink(temp.constData());
        return result;
    };
    if (old && !TakeOverOwnership(file.Get(), *old))
        return discard(Stored::NotThisWay);
    if (!WriteAt(file.Get(), bytes) || ::fsync(file.Get()) != 0 || !file.Close())
        return discard(Stored::No);
    if (::rename(temp.constData(), name.constData()) != 0)
        return discard(Stored::No);
    // The rename lasts once the folder is on the disk; the content is already there.
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : name.left(slash);
    const Descriptor directory(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Valid())
        ::fsync(directory.Get());
    return Stored::Yes;
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
    (void)!::ftruncate(fd, off_t(oldSize));
    return false;
}

// Overwrites NAME, which holds OLD, with BYTES. A full disk leaves the old content whole, as
// the room a longer file needs is taken first; should writing fail later all the same, the old
// content is put back as far as the system lets.
bool WriteInPlace(const QByteArray& name, const QByteArray& bytes, const QByteArray& old)
{
    Descriptor file(::open(name.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (!file.Valid() || (bytes.size() > old.size() && !Reserve(file.Get(), bytes, old.size())))
        return false;
    if (WriteAt(file.Get(), bytes) && ::ftruncate(file.Get(), off_t(bytes.size())) == 0 && ::fsync(file.Get()) == 0)
        return file.Close();
    if (WriteAt(file.Get(), old))
        (void)!::ftruncate(file.Get(), off_t(old.size()));
    ::fsync(file.Get());
    return false;
}

}  // namespace

bool StoreWholeFile(const QString& fileName, const QByteArray& bytes, const WholeFile& old)
{
    const QByteArray name = QFile::encodeName(fileName);
    struct stat status {};
    if (old.state != WholeFile::Read || ::stat(name.constData(), &status) != 0)
        return ReplaceByRename(name, bytes, nullptr) == Stored::Yes;
    // A new file would part a file from its other names (hard links); it is also written in
    // place when the new file cannot get its owner or group, or the folder takes no new file.
    if (status.st_nlink == 1) {
        const Stored stored = ReplaceByRename(name, bytes, &status);
        if (stored != Stored::NotThisWay)
            return stored == Stored::Yes;
    }
    return WriteInPlace(name, bytes, old.bytes);
}

}  // namespace FileUtils
