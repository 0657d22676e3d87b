#include "ByteSource.h"

#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pdx {

bool MemorySource::ReadAt(std::uint64_t offset, void* dst, std::size_t n)
{
    const auto size = Size();
    if (offset > size || n > size - offset)
        return false;
    if (n != 0)
        std::memcpy(dst, bytes_.constData() + offset, n);
    return true;
}

FileSource::~FileSource()
{
    Close();
}

void FileSource::Close()
{
#ifdef Q_OS_UNIX
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
#else
    file_.close();
#endif
    size_ = 0;
}

bool FileSource::Open(const QString& path)
{
    Close();
#ifdef Q_OS_UNIX
    // Non-blocking, so that a FIFO put in the table's place cannot stall the
    // open; for a regular file the flag changes nothing.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(st.st_size);
    return true;
#else
    file_.setFileName(path);
    // Unbuffered: the reader asks for whole blocks, a second buffer only copies.
    if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    size_ = static_cast<std::uint64_t>(file_.size());
    return true;
#endif
}

bool FileSource::ReadAt(std::uint64_t offset, void* dst, std::size_t n)
{
    if (offset > size_ || n > size_ - offset)
        return false;
    if (n == 0)
        return true;
#ifdef Q_OS_UNIX
    // One pread per request: records read in a field's order arrive one by
    // one from all over the file, and a seek plus a read would double the calls.
    auto* out = static_cast<char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
#else
    if (file_.pos() != static_cast<qint64>(offset) && !file_.seek(static_cast<qint64>(offset)))
        return false;
    auto* out = static_cast<char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        const qint64 got = file_.read(out + done, static_cast<qint64>(n - done));
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
#endif
}

} // namespace pdx
