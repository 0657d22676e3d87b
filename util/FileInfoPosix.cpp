// Existence tests, attributes and time stamps over POSIX stat/chmod/futimens.
#include "FileUtils.h"
#include "Platform.h"
#include "PosixIo.h"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace FileUtils {

using Posix::EncodeName;
using Posix::UniqueFd;

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr qint64 kUnixEpochInFileTimeSeconds = 11'644'473'600;

bool StatFollow(const QString& name, struct stat& st)
{
    return ::stat(EncodeName(name).constData(), &st) == 0;
}

// The name's last component, with trailing delimiters ignored.
QString LastComponent(const QString& fileName)
{
    qsizetype end = fileName.size();
    while (end > 1 && fileName.at(end - 1) == u'/')
        --end;
    const qsizetype start = fileName.lastIndexOf(u'/', end - 1) + 1;
    return fileName.mid(start, end - start);
}

FileTime CreationTimeOf(const QString& fileName, bool followLinks)
{
#if defined(__linux__) && defined(STATX_BTIME)
    struct statx stx {};
    const int flags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::statx(AT_FDCWD, EncodeName(fileName).constData(), flags, STATX_BTIME, &stx) == 0
        && (stx.stx_mask & STATX_BTIME)) {
        struct timespec ts {};
        ts.tv_sec = stx.stx_btime.tv_sec;
        ts.tv_nsec = stx.stx_btime.tv_nsec;
        return Posix::FileTimeFromTimespec(ts);
    }
#else
    Q_UNUSED(fileName);
    Q_UNUSED(followLinks);
#endif
    return 0;
}

FileAttributeData RecordFromStat(const struct stat& st, const QString& fileName, bool followLinks)
{
    FileAttributeData data;
    data.Attributes = Posix::AttributesFromStat(st, fileName);
    data.CreationTime = CreationTimeOf(fileName, followLinks);
    data.LastAccessTime = Posix::FileTimeFromTimespec(st.st_atim);
    data.LastWriteTime = Posix::FileTimeFromTimespec(st.st_mtim);
    data.FileSize = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    return data;
}

}  // namespace

namespace Posix {

std::uint32_t AttributesFromStat(const struct stat& st, const QString& fileName)
{
    std::uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= FileAttr::Directory;
    else if (S_ISREG(st.st_mode))
        attributes |= FileAttr::Archive;
    else if (S_ISLNK(st.st_mode))
        attributes |= FileAttr::Archive | FileAttr::ReparsePoint;
    if (!S_ISLNK(st.st_mode) && IsReadOnlyMode(st.st_mode))
        attributes |= FileAttr::ReadOnly;
    const QString last = LastComponent(fileName);
    if (last.startsWith(u'.') && IsNotDotEntry(last))
        attributes |= FileAttr::Hidden;
    return attributes == 0 ? FileAttr::Normal : attributes;
}

FileTime FileTimeFromTimespec(const struct timespec& ts)
{
    const qint64 seconds = static_cast<qint64>(ts.tv_sec) + kUnixEpochInFileTimeSeconds;
    if (seconds < 0)
        return 0;
    return static_cast<FileTime>(seconds) * FileTimePerSecond
           + static_cast<FileTime>(ts.tv_nsec) / 100;
}

struct timespec TimespecFromFileTime(FileTime time)
{
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(static_cast<qint64>(time / FileTimePerSecond)
                                    - kUnixEpochInFileTimeSeconds);
    ts.tv_nsec = static_cast<long>(time % FileTimePerSecond) * 100;
    return ts;
}

}  // namespace Posix

bool SamePathSpelling(const QString& first, const QString& second)
{
    // POSIX file systems tell letter case apart: only the exact spelling is the same name.
    return first == second;
}

namespace Platform {

bool SameFileObject(const QString& first, const QString& second)
{
    struct stat a {};
    struct stat b {};
    return StatFollow(first, a) && StatFollow(second, b) && a.st_dev == b.st_dev
           && a.st_ino == b.st_ino;
}

// The inode number alone would not do: a file system hands the number of a removed file to
// the next one made (ext4 at once), so the birth time goes with it where the system keeps one.
QString FileIdentity(const QString& fileName)
{
    struct statx st {};
    if (::statx(AT_FDCWD, Posix::EncodeName(fileName).constData(), 0, STATX_INO | STATX_BTIME, &st) != 0)
        return QStringLiteral("0");
    QString identity = QString::number(qulonglong(st.stx_ino), 16);
    if (st.stx_mask & STATX_BTIME)
        identity += u'.' + QString::number(qulonglong(st.stx_btime.tv_sec) * 1000000000ull + st.stx_btime.tv_nsec, 16);
    return identity;
}

// Only a regular file (after links) is copied: a FIFO, device or socket could
// block the copy or never end it, and a directory has no bytes to copy.
bool IsRegularFile(const QString& fileName)
{
    struct stat st {};
    return StatFollow(fileName, st) && S_ISREG(st.st_mode);
}

bool IsRegularFile(const TExtFileStream& stream)
{
    struct stat st {};
    return ::fstat(stream.Handle(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace Platform

bool FileExists(const QString& fileName)
{
    struct stat st {};
    return StatFollow(fileName, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const QString& dirName)
{
    struct stat st {};
    return StatFollow(dirName, st) && S_ISDIR(st.st_mode);
}

PathKind KindOfPath(const QString& name)
{
    struct stat st {};
    if (!StatFollow(name, st))
        return PathKind::Missing;
    if (S_ISREG(st.st_mode))
        return PathKind::File;
    if (S_ISDIR(st.st_mode))
        return PathKind::Directory;
    if (S_ISFIFO(st.st_mode))
        return PathKind::Fifo;
    return S_ISSOCK(st.st_mode) ? PathKind::Socket : PathKind::Device;
}

FileTime CurrentFileTime()
{
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    now.tv_nsec -= now.tv_nsec % 1'000'000;  // whole milliseconds, as the calendar fields hold
    return Posix::FileTimeFromTimespec(now);
}

std::uint32_t GetFileAttributeData(const QString& fileName, FileAttributeData& data)
{
    struct stat st {};
    if (!StatFollow(fileName, st))
        return ErrnoToWinError(errno, fileName);
    data = RecordFromStat(st, fileName, true);
    return 0;
}

std::uint32_t ChangeFileAttributes(const QString& fileName, std::uint32_t attributes)
{
    const QByteArray name = EncodeName(fileName);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return ErrnoToWinError(errno, fileName);
    mode_t mode = st.st_mode & 07777;
    if (attributes & FileAttr::ReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && ::chmod(name.constData(), mode) != 0)
        return ErrnoToWinError(errno, fileName);
    return 0;
}

std::uint32_t SetFileWriteTime(const QString& fileName, FileTime time)
{
    time = Platform::WithoutFutureTime(time);

    UniqueFd fd(::open(EncodeName(fileName).constData(),
                       O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid())
        return ErrnoToWinError(errno, fileName);
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return ErrnoToWinError(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return ErrnoToWinError(errno);
    if (Posix::IsReadOnlyMode(st.st_mode))
        return 5;
    if (time == 0)
        return 0;

    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = Posix::TimespecFromFileTime(time);
    if (::futimens(fd.Get(), times) != 0)
        return ErrnoToWinError(errno);
    return 0;
}

bool FindFileEntry(const QString& fileName, FileAttributeData& entry)
{
    const QByteArray name = EncodeName(fileName);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        if (::stat(name.constData(), &target) == 0 && S_ISDIR(target.st_mode))
            return false;
    }
    entry = RecordFromStat(st, fileName, false);
    return true;
}

}  // namespace FileUtils
