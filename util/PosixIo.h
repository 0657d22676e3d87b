// Internal to util/: small POSIX building blocks shared by the file helpers.
#pragma once

#include "FileUtils.h"

#include <QByteArray>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace FileUtils::Posix {

// The bytes the kernel expects for a name (UTF-8 here).
inline QByteArray EncodeName(const QString& name)
{
    return QFile::encodeName(name);
}

// Owns one file descriptor and closes it when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : FFd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            FFd = std::exchange(other.FFd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    int Release() { return std::exchange(FFd, -1); }
    void Reset()
    {
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
    }

private:
    int FFd = -1;
};

// The attribute bits for a stat record; the last component of fileName
// decides "hidden".
std::uint32_t AttributesFromStat(const struct stat& st, const QString& fileName);

// A read-only file here: the owner's write permission is clear.
inline bool IsReadOnlyMode(mode_t mode)
{
    return (mode & S_IWUSR) == 0;
}

FileTime FileTimeFromTimespec(const struct timespec& ts);
struct timespec TimespecFromFileTime(FileTime time);

}  // namespace FileUtils::Posix
