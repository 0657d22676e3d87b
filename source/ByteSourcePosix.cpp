// FileSource on POSIX systems: a descriptor read with pread.

#include "ByteSource.h"
#include "FileNames.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pdx {

bool IsRegularFile(const QString& path)
{
    struct stat st {};
    return ::stat(EncodeFileName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

FileSource::~FileSource()
{
    Close();
}

void FileSource::Close()
{
    if (file_ >= 0)
        ::close(static_cast<int>(file_));
    file_ = -1;
    size_ = 0;
}

bool FileSource::Open(const QString& path)
{
    Close();
    // Non-blocking, so that a FIFO put in the table's place cannot stall the
    // open; for a regular file the flag changes nothing.
    const int fd = ::open(EncodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    file_ = fd;
    size_ = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool FileSource::ReadAt(std::uint64_t offset, void* dst, std::size_t n)
{
    if (offset > size_ || n > size_ - offset)
        return false;
    if (n == 0)
        return true;
    // One pread per request: records read in a field's order arrive one by
    // one from all over the file, and a seek plus a read would double the calls.
    auto* out = static_cast<char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(static_cast<int>(file_), out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace pdx
