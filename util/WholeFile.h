// A small file read whole and stored whole: after any store, failed or not, the file holds its
// old content or its new content, never a part (a full disk, a crash during the write).
#pragma once

#include <QByteArray>
#include <QString>

namespace FileUtils {

struct WholeFile {
    enum State { Missing, Read, Unreadable };
    State state = Missing;
    QByteArray bytes;
};

// The file's content; Unreadable when it cannot be read in full or is no regular file.
WholeFile ReadWholeFile(const QString& fileName);

// Stores BYTES as FILENAME, which held OLD (as ReadWholeFile gave it). A new file beside it
// replaces it with one rename, taking its owner, group and permission bits; where that cannot
// be (other hard links, an owner or group the new file cannot get, a folder that takes no new
// file), it is written in place, the room a longer file needs taken first. False when it
// could not be stored; the file then holds OLD.
bool StoreWholeFile(const QString& fileName, const QByteArray& bytes, const WholeFile& old);

}  // namespace FileUtils
