// Who holds a file: whether another program has it open or locked, and which.
//
// A database another program has open must not be truncated or swapped under
// it: SQLite and most programs take no flock locks, so "in use" means here
// that another process has the file open or that anybody holds a lock of any
// kind on it (flock, POSIX, OFD, lease).
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace FileUtils {

// Who holds a file, when somebody does.
struct FileUse {
    std::uint32_t ErrorCode = 0;  // 0 free (or missing), 32 in use
    QString FileName;             // the file that is held (a side file, perhaps), or the unverified one
    QString Holder;               // "sqlite3 (Prozess 4711)", or empty when the holder is unknown
    // Free as far as could be seen, but FileName could not be verified: the
    // kernel's test could not be made for it (another user's file, a network
    // file system) and not every process's open files were visible (/proc
    // missing or mounted with hidepid= or subset=pid, processes of other
    // users). A program holding it open without a lock would go unnoticed.
    bool Unverified = false;
};

// Whether another process has fileName open, or anybody holds a lock on it.
// A missing file is free, and so is anything but a regular file (a FIFO or
// device is never opened). Descriptors and locks of this process do not
// count where they can be told apart from other processes' ones.
FileUse CheckFileNotInUse(const QString& fileName);
// The same for several files at once: the first one found in use.
FileUse CheckFilesNotInUse(const QStringList& fileNames);

// The same for a SQLite database and its side files "-journal", "-wal" and
// "-shm": SQLite keeps its locks on those, and applies them to whatever file
// bears the database's name.
FileUse CheckDatabaseNotInUse(const QString& fileName);

// The German sentence for a file in use, naming the file and the holder;
// empty for a free file.
QString FileUseText(const FileUse& use);
// The German warning for a free file that could not be verified (Unverified),
// naming the file; empty otherwise.
QString UnverifiedText(const FileUse& use);

}  // namespace FileUtils
