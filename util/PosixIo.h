// Internal to util/: small POSIX building blocks shared by the file helpers.
#pragma once

#include "FileUtils.h"

#include <QByteArray>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace FileUtils::Posix {

// The bytes the kernel expects for a name (UTF-8 here). A name read from the file system with
// bytes that are not UTF-8 holds each such byte as the lone surrogate U+DC80 + byte (see
// source/FileNames.h): it goes back as that byte, so that the file is found by its name.
inline QByteArray EncodeName(const QString& name)
{
    bool held = false;
    for (qsizetype i = 0; i < name.size() && !held; ++i)
        held = name[i].unicode() >= 0xDC80 && name[i].unicode() <= 0xDCFF && (i == 0 || !name[i - 1].isHighSurrogate());
    if (!held)
        return QFile::encodeName(name);
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        const bool lone = i < name.size() && name[i].unicode() >= 0xDC80 && name[i].unicode() <= 0xDCFF &&
                          (i == 0 || !name[i - 1].isHighSurrogate());
        if (i < name.size() && !lone)
            continue;
        bytes += name.mid(start, i - start).toUtf8();
        if (lone)
            bytes += char(name[i].unicode() - 0xDC00);
        start = i + 1;
    }
    return bytes;
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
