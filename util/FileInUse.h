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
    QString FileName;             // the file that is held (a side file, perhaps)
    QString Holder;               // "sqlite3 (Prozess 4711)", or empty when only a lock shows
};

// Whether another process has fileName open, or anybody holds a lock on it.
// A missing file is free.
FileUse CheckFileNotInUse(const QString& fileName);
// The same for several files at once: the first one found in use.
FileUse CheckFilesNotInUse(const QStringList& fileNames);

// The same for a SQLite database and its side files "-journal", "-wal" and
// "-shm": SQLite keeps its locks on those, and applies them to whatever file
// bears the database's name.
FileUse CheckDatabaseNotInUse(const QString& fileName);

// The German sentence for a file in use, naming the file and the holder.
QString FileUseText(const FileUse& use);

}  // namespace FileUtils
