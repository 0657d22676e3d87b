// Real files in a temporary directory for the file helper tests.
#pragma once

#include "FileUtils.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

class TempTree {
public:
    TempTree() { EXPECT_TRUE(FDir.isValid()); }

    QString Root() const { return FDir.path(); }
    QString Path(const QString& relative) const { return FDir.filePath(relative); }

    QString WriteFile(const QString& relative, const QByteArray& content = "data") const
    {
        const QString path = Path(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        file.write(content);
        return path;
    }

    QString MakeDir(const QString& relative) const
    {
        const QString path = Path(relative);
        EXPECT_TRUE(QDir().mkpath(path)) << path.toStdString();
        return path;
    }

    QString Link(const QString& relative, const QString& target) const
    {
        const QString path = Path(relative);
        EXPECT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(path).constData()),
                  0)
            << path.toStdString();
        return path;
    }

private:
    QTemporaryDir FDir;
};

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

inline mode_t ModeOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

inline void SetMode(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << path.toStdString();
}

inline bool EntryExists(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Sets a file's last-write time directly (not through the code under test).
inline void SetWriteTime(const QString& path, FileUtils::FileTime time)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    const qint64 unixSeconds = static_cast<qint64>(time / FileUtils::FileTimePerSecond) - 11'644'473'600;
    times[1].tv_sec = static_cast<time_t>(unixSeconds);
    times[1].tv_nsec = static_cast<long>(time % FileUtils::FileTimePerSecond) * 100;
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// Raw last-write time, read directly, in file time units.
inline FileUtils::FileTime RawWriteTime(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return static_cast<FileUtils::FileTime>(st.st_mtim.tv_sec + 11'644'473'600)
               * FileUtils::FileTimePerSecond
           + static_cast<FileUtils::FileTime>(st.st_mtim.tv_nsec) / 100;
}

// Runs a lambda with the working directory set to dir, restoring it afterwards.
template <typename F>
void InDirectory(const QString& dir, F&& body)
{
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir));
    body();
    QDir::setCurrent(previous);
}

// Lowers this process's file size limit while it lives: a write beyond it is
// cut short, the next one fails with EFBIG (SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &FSaved), 0);
        FPreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = FSaved;
        limited.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &FSaved);
        std::signal(SIGXFSZ, FPreviousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct rlimit FSaved {};
    void (*FPreviousHandler)(int) = nullptr;
};
