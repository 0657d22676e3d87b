// Internal to util/: the few platform answers that portable code of this
// folder needs. Each platform's source files implement them.
#pragma once

#include "FileUtils.h"

#include <QString>

namespace FileUtils::Platform {

// Whether a drive colon ("C:") is part of the system's path syntax
// (PathNamesPosix.cpp, PathNamesWin.cpp).
bool NativeDriveColon();

// Whether two existing names lead to the same file (links followed; same
// device and inode, or volume and file index). False when either cannot be read.
bool SameFileObject(const QString& first, const QString& second);

// Whether a name, links followed, is a regular file: no directory, device,
// FIFO or socket, whose reading could block or never end.
bool IsRegularFile(const QString& fileName);
// The same for the file an open stream holds.
bool IsRegularFile(const TExtFileStream& stream);

// A text that tells one file from every other on its volume (links followed):
// the inode or file index in hex, with the birth time where the system keeps
// one; "0" when there is no file. Hex digits and ".".
QString FileIdentity(const QString& fileName);

// What the system itself says about an errno value: strerror's text, in
// German where the C library has it.
QString ErrnoText(int err);

// The time to store as a last-write time: one more than a day after the current
// time (both UTC) is replaced by the current time, as from a clock that ran ahead.
FileTime WithoutFutureTime(FileTime time);

}  // namespace FileUtils::Platform

namespace FileUtils {

// The exception of a stream that could not be opened (create) or created,
// naming the full path and the system's text for code.
EExtFileStreamError StreamOpenError(const QString& fileName, bool create, std::uint32_t code);

}  // namespace FileUtils
