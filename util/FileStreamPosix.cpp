// The error-raising file stream and the I/O exceptions, over POSIX descriptors.
#include "FileInUse.h"
#include "FileUtils.h"
#include "Platform.h"
#include "PosixIo.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace FileUtils {

using Posix::EncodeName;
using Posix::UniqueFd;

namespace {

constexpr std::uint16_t kCreateMask = 0xFF00;

// Sharing bits of a mode byte: anything but 0x00 and 0x10 lets others in.
bool SharesNothing(std::uint8_t modeByte)
{
    const std::uint8_t sharing = modeByte & 0xF0;
    return sharing == 0x00 || sharing == 0x10;
}

// Outcome of one attempt to obtain a descriptor: the descriptor, or the error.
struct OpenResult {
    UniqueFd fd;
    std::uint32_t error = 0;
};

OpenResult Failed(std::uint32_t error)
{
    OpenResult result;
    result.error = error;
    return result;
}

// Takes the advisory lock that stands in for the sharing mode, never waiting.
// A refused lock maps to 32, the sharing violation.
std::uint32_t LockForSharing(int fd, bool exclusive)
{
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0)
        return ErrnoToWinError(errno);
    return 0;
}

// Descriptors are opened non-blocking so that a FIFO cannot stall the open;
// reads and writes then block as usual.
void ClearNonBlocking(int fd)
{
    const int statusFlags = ::fcntl(fd, F_GETFL);
    if (statusFlags >= 0 && (statusFlags & O_NONBLOCK))
        ::fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK);
}

// Creates the file, or opens the existing one to truncate it. The lock is
// taken before the truncation, so a file in use by another stream keeps its
// content.
OpenResult CreateOrTruncate(const QString& fileName, std::uint8_t sharing)
{
    const QByteArray name = EncodeName(fileName);
    const bool failIfExists = (sharing & TExtFileStream::fmExclusive) != 0;
    const int flags = O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK;

    // Programs that take no flock locks (SQLite among them) still must not
    // have the file cut under them: an open descriptor elsewhere or a lock of
    // theirs on the file or its side files refuses the creation, as Windows
    // refuses to create over a file that is open. Asked before this stream
    // opens the file, so that the only description of it this process may
    // hold is a staged file's own, which the kernel's test tells apart from
    // other programs' ones at no cost.
    if (!failIfExists && SharesNothing(sharing) && CheckDatabaseNotInUse(fileName).ErrorCode != 0)
        return Failed(32);

    bool created = true;
    UniqueFd fd(::open(name.constData(), flags | O_CREAT | O_EXCL, 0666));
    if (!fd.Valid() && errno == EEXIST && !failIfExists) {
        created = false;
        fd = UniqueFd(::open(name.constData(), flags));
        if (!fd.Valid() && errno == ENOENT) {
            // A link whose target is missing: create the target through it.
            created = true;
            fd = UniqueFd(::open(name.constData(), flags | O_CREAT, 0666));
        }
    }
    if (!fd.Valid())
        return Failed(ErrnoToWinError(errno, fileName));

    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return Failed(ErrnoToWinError(errno));
    // Root may write anyway; a read-only file must still refuse.
    if (!created && Posix::IsReadOnlyMode(st.st_mode))
        return Failed(5);
    if (const std::uint32_t error = LockForSharing(fd.Get(), SharesNothing(sharing)))
        return Failed(error);
    if (!created && S_ISREG(st.st_mode) && ::ftruncate(fd.Get(), 0) != 0)
        return Failed(ErrnoToWinError(errno));
    ClearNonBlocking(fd.Get());

    OpenResult result;
    result.fd = std::move(fd);
    return result;
}

OpenResult OpenExisting(const QString& fileName, std::uint16_t mode)
{
    int access = O_RDONLY;
    switch (mode & 0x03) {
    case 1:
        access = O_WRONLY;
        break;
    case 2:
        access = O_RDWR;
        break;
    default:
        break;
    }
    UniqueFd fd(::open(EncodeName(fileName).constData(),
                       access | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid())
        return Failed(ErrnoToWinError(errno, fileName));

    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return Failed(ErrnoToWinError(errno));
    if (S_ISDIR(st.st_mode))
        return Failed(5);
    if (access != O_RDONLY && Posix::IsReadOnlyMode(st.st_mode))
        return Failed(5);
    if (const std::uint32_t error = LockForSharing(fd.Get(), SharesNothing(mode & 0xFF)))
        return Failed(error);
    ClearNonBlocking(fd.Get());

    OpenResult result;
    result.fd = std::move(fd);
    return result;
}

}  // namespace

TExtFileStream::TExtFileStream(const QString& fileName, std::uint16_t mode, std::uint32_t)
    : FHandle(-1)
{
    const bool create = (mode & kCreateMask) == kCreateMask;
    std::uint8_t sharing = mode & 0xFF;
    if (create && sharing == 0xFF)
        sharing = 0x10;

    OpenResult result = create ? CreateOrTruncate(fileName, sharing) : OpenExisting(fileName, mode);
    if (!result.fd.Valid()) {
        throw StreamOpenError(fileName, create, result.error);
    }
    FHandle = result.fd.Release();
    FFileName = fileName;
}

TExtFileStream::~TExtFileStream()
{
    Close();
}

std::uint32_t TExtFileStream::Close()
{
    if (FHandle < 0)
        return 0;
    const int fd = std::exchange(FHandle, -1);
    // The descriptor is gone after close() even when it reports an error.
    if (::close(fd) != 0 && errno != EINTR)
        return ErrnoToWinError(errno);
    return 0;
}

namespace {

// One read or write of count bytes (retried only when a signal interrupted
// it). transferred gets the bytes moved, or -1 on failure.
template <typename Transfer>
std::uint32_t TransferOnce(Transfer transfer, std::int32_t count, std::int32_t& transferred)
{
    ssize_t done;
    do {
        done = transfer(count < 0 ? 0 : static_cast<size_t>(count));
    } while (done < 0 && errno == EINTR);
    if (done < 0) {
        transferred = -1;
        return ErrnoToWinError(errno);
    }
    transferred = static_cast<std::int32_t>(done);
    return 0;
}

}  // namespace

std::uint32_t TExtFileStream::Read(void* buffer, std::int32_t count, std::int32_t& readCount)
{
    return TransferOnce([&](size_t n) { return ::read(FHandle, buffer, n); }, count, readCount);
}

std::uint32_t TExtFileStream::Write(const void* buffer, std::int32_t count,
                                    std::int32_t& writeCount)
{
    return TransferOnce([&](size_t n) { return ::write(FHandle, buffer, n); }, count, writeCount);
}

}  // namespace FileUtils
