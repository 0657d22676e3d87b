// A small file read whole and stored whole: after any store, failed or not, the file holds its
// old content or its new content, never a part (a full disk, a crash during the write).
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace FileUtils {

struct WholeFile {
    enum State { Missing, Read, Unreadable };
    State state = Missing;
    QByteArray bytes;
    std::uint32_t error = 0;  // why it is Unreadable (a Windows error code)
};

// The file's content; Unreadable when it cannot be read in full or is no regular file.
WholeFile ReadWholeFile(const QString& fileName);

// Stores BYTES as FILENAME, which held OLD (as ReadWholeFile gave it). A new file beside it
// replaces it with one rename, taking its owner, group, permission bits, ACL and user.*
// attributes; where that cannot be (other hard links, an owner or group the new file cannot
// get, attributes it cannot be given, a folder that takes no new file), it is written in
// place, the room a longer file needs taken first. Returns 0, or the error code when it could
// not be stored; the file then holds OLD.
//
// POSIX: a file written in place gets its new content beside it first, as a hidden file that
// ReadWholeFile takes instead of the file itself while it is there; it goes once the file holds
// the content. So a kill or crash at any point leaves the old content or the new one to read,
// never a mix (only where the folder takes no new file is the file written in place alone).
std::uint32_t StoreWholeFile(const QString& fileName, const QByteArray& bytes, const WholeFile& old);

}  // namespace FileUtils
