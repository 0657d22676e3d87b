// File helpers shared by the whole program: path and name operations, a
// file stream that reports Windows error codes, the copy with time stamp and
// attributes, and the deletion of a directory tree.
//
// Every helper reports failure as a Windows error code (0 = success, 2 file
// not found, 3 path not found, 5 access denied, 32 sharing violation,
// 80 file exists, 112 disk full, 206 name too long; any other system error
// as kSystemErrnoFlag with the errno value), so callers word their messages
// the same way on every platform. Only the
// stream constructors and CopyFileTimeAttr throw.
//
// On POSIX the Windows notions are mapped as follows:
//   read-only (0x01)  the owner's write permission is clear; the helpers
//                     enforce it even for root
//   hidden (0x02)     the last name component begins with "."; setting or
//                     clearing it is accepted and changes nothing
//   system (0x04)     never reported; setting it changes nothing
//   directory (0x10)  a directory; archive (0x20) every regular file
//   sharing           advisory whole-file locks (flock), never waited for;
//                     a refused lock is error 32
// On Windows they are the system's own: GetLastError codes, attributes, FILETIME
// times, CreateFileW share modes; a read-only file is refused writing even where
// the system would not (Wine run as root).
#pragma once

#include "FileHandle.h"  // the platform's handle type: util/posix/ or util/win/

#include <QList>
#include <QString>

#include <cstdint>
#include <stdexcept>
#include <variant>

namespace FileUtils {

// ---------------------------------------------------------------------------
// Path and name helpers. Pure text operations: none touches the disk,
// resolves "." or "..", or collapses doubled delimiters.
//
// Windows style: "\" is the only delimiter, a colon anywhere marks an
// absolute name. Native style: the platform's delimiter ("/" on POSIX, where a
// name is absolute when it begins with "/" and a colon is ordinary).
// ---------------------------------------------------------------------------

enum class PathStyle { Windows, Native };

// Appends one delimiter unless the path already ends with one; "" stays "".
QString EnsureTrailingDelimiter(const QString& path, PathStyle style = PathStyle::Native);

// Removes the last extension of the last component ("x.tar.gz" -> "x.tar",
// ".ini" -> ""); a dot in a directory part never counts.
QString StripExtension(const QString& fileName, PathStyle style = PathStyle::Native);

// dir + delimiter + name; when either part is empty the other is returned.
// The name is appended unchanged (a leading delimiter gives a doubled one).
QString JoinPath(const QString& dir, const QString& name, PathStyle style = PathStyle::Native);

// Builds a file name from a directory, a name and a default extension
// ("ini" and ".ini" act alike). The extension is added only when the name
// holds no dot at all; an absolute name is returned without the directory.
QString ComposeFileName(const QString& dir, const QString& name, const QString& defaultExt,
                        PathStyle style = PathStyle::Native);

// 1-based position of the first case-insensitive occurrence of needle in
// haystack, 0 when absent or when either text is empty. Upper-cases per UTF-16
// code unit, so positions are positions in the given text. The style is
// accepted for a uniform signature and has no effect.
int PosText(const QString& needle, const QString& haystack, PathStyle style = PathStyle::Native);

// False exactly for "." and "..". The style has no effect.
bool IsNotDotEntry(const QString& name, PathStyle style = PathStyle::Native);

// ---------------------------------------------------------------------------
// Existence tests. Both follow symbolic links; a directory never counts as an
// existing file (anything else that exists does, devices included).
// ---------------------------------------------------------------------------

bool FileExists(const QString& fileName);
bool DirectoryExists(const QString& dirName);

// What a name stands for, links followed: nothing (also a link that leads nowhere), a regular
// file, or something that is no file to read.
enum class PathKind { Missing, File, Directory, Fifo, Socket, Device };
PathKind KindOfPath(const QString& name);
// The German words for a kind that is no file, to follow "ist keine Datei, sondern ...":
// "ein Verzeichnis", "eine FIFO", "ein Socket", "ein Gerät"; empty for Missing and File.
QString PathKindText(PathKind kind);

// Whether two names are spelt as the same file name under the platform's rule: exact here,
// ignoring case on Windows. Every test of "same file or directory" goes through it.
bool SamePathSpelling(const QString& first, const QString& second);

// ---------------------------------------------------------------------------
// Message formatting and error texts
// ---------------------------------------------------------------------------

// One argument of SafeFormat: a text, an unsigned or a signed 32-bit integer.
struct FormatArg {
    FormatArg(const QString& text) : value(text) {}
    FormatArg(const char* utf8Text) : value(QString::fromUtf8(utf8Text)) {}
    FormatArg(std::uint32_t number) : value(number) {}
    FormatArg(std::int32_t number) : value(number) {}

    std::variant<QString, std::uint32_t, std::int32_t> value;
};

// Fills a printf-like pattern: "%s" takes a text, "%d" and "%u" an integer,
// "%%" is a percent sign. Also understood: an argument index ("%1:s"), left
// justification ("-"), width and precision (digits or "*", which take an
// integer argument). "%u" shows a negative argument as its unsigned 32-bit
// value. Any failure (unknown conversion, wrong argument kind, too few
// arguments) gives "Format-Fehler: " followed by the raw pattern. Never throws.
QString SafeFormat(const QString& pattern, const QList<FormatArg>& args);

// The German description of a Windows error code, without a trailing dot,
// blank or control character. A code with kSystemErrnoFlag gets the system's
// text for its errno value (strerror; German where the C library has it).
// Unknown codes get a generic text with the number.
QString SystemErrorText(std::uint32_t code);

// Marks an error code that carries an errno value the mapping has no Windows
// code for (EBUSY, EXDEV, EIO, ...): bit 29, which Windows leaves to
// applications, so it never meets a code of the system's own.
// SystemErrorText gives the system's own text for it.
constexpr std::uint32_t kSystemErrnoFlag = 0x20000000;

// Maps an errno value to a Windows error code (ENOENT gives 2); one without a
// Windows code gives kSystemErrnoFlag | err.
std::uint32_t ErrnoToWinError(int err);
// The same, telling 2 from 3 for ENOENT: 3 when a directory above the given
// name is missing.
std::uint32_t ErrnoToWinError(int err, const QString& fileName);

// The absolute form of a name against the current directory, with "." and
// ".." folded; never touches the disk and resolves no links. "" gives the
// current directory.
QString FullPathName(const QString& fileName);

// ---------------------------------------------------------------------------
// Exceptions. what() holds the German message in UTF-8.
// ---------------------------------------------------------------------------

class EInOutError : public std::runtime_error {
public:
    EInOutError(const QString& message, std::uint32_t errorCode);
    QString Message() const { return QString::fromUtf8(what()); }

    std::uint32_t ErrorCode;
};

class EExtFileStreamError : public EInOutError {
public:
    EExtFileStreamError(const QString& message, std::uint32_t errorCode)
        : EInOutError(message, errorCode) {}
    // Message = pattern filled with args. The patterns passed are the unit's
    // own constants; should one ever fail to format, the message falls back to
    // SafeFormat's "Format-Fehler: " text rather than throwing something else.
    static EExtFileStreamError CreateResFmt(const QString& pattern, const QList<FormatArg>& args,
                                            std::uint32_t errorCode);
};

// Every failure of CopyFileTimeAttr.
class ECopyError : public EExtFileStreamError {
public:
    using EExtFileStreamError::EExtFileStreamError;
};

// ---------------------------------------------------------------------------
// TExtFileStream: one open file handle.
//
// Mode with 0xFF00 set in full creates the file (read and write access; an
// existing file is truncated, or creation fails with 80 when bit 0x04 is set);
// its low byte is the sharing, 0xFF meaning 0x10. Any other Mode opens an
// existing file; bits 0x03 select the access (0 read, 1 write, 2 both).
// Sharing, bits 0xF0: 0x00 and 0x10 share nothing (exclusive lock), 0x20,
// 0x30 and 0x40 share (shared lock). The lock is taken before an existing file
// is truncated, so a refused create leaves the file as it was.
// Creating over, or opening for writing, a read-only file fails with 5; so
// does opening a directory.
// ---------------------------------------------------------------------------

class TExtFileStream {
public:
    static constexpr std::uint16_t fmCreate = 0xFF00;
    static constexpr std::uint16_t fmOpenRead = 0x0000;
    static constexpr std::uint16_t fmOpenWrite = 0x0001;
    static constexpr std::uint16_t fmOpenReadWrite = 0x0002;
    static constexpr std::uint16_t fmExclusive = 0x0004;  // with fmCreate: fail if it exists
    static constexpr std::uint16_t fmShareExclusive = 0x0010;
    static constexpr std::uint16_t fmShareDenyWrite = 0x0020;
    static constexpr std::uint16_t fmShareDenyRead = 0x0030;
    static constexpr std::uint16_t fmShareDenyNone = 0x0040;

    // Throws EExtFileStreamError with the error code and a German message that
    // names the full path ("Datei \"%s\" kann nicht erstellt werden. %s" or
    // "Datei %s kann nicht geöffnet werden. %s"). Rights is not used here.
    TExtFileStream(const QString& fileName, std::uint16_t mode, std::uint32_t rights = 0);
    ~TExtFileStream();
    TExtFileStream(const TExtFileStream&) = delete;
    TExtFileStream& operator=(const TExtFileStream&) = delete;

    // One read of up to count bytes at the current position. readCount gets
    // the bytes read (0 at end of file) or -1. Returns 0 or the error code.
    std::uint32_t Read(void* buffer, std::int32_t count, std::int32_t& readCount);
    // One write of count bytes. writeCount gets the bytes written or -1.
    // Returns 0 or the error code.
    std::uint32_t Write(const void* buffer, std::int32_t count, std::int32_t& writeCount);
    // Closes the handle now; returns 0 or the error code of the close (data
    // that the file system could not store shows here). Safe to call twice.
    std::uint32_t Close();

    FileHandle Handle() const { return FHandle; }
    // The name exactly as given to the constructor.
    const QString& FileName() const { return FFileName; }

private:
    FileHandle FHandle;
    QString FFileName;
};

// ---------------------------------------------------------------------------
// Attributes and time stamps
// ---------------------------------------------------------------------------

namespace FileAttr {
constexpr std::uint32_t ReadOnly = 0x01;
constexpr std::uint32_t Hidden = 0x02;
constexpr std::uint32_t System = 0x04;
constexpr std::uint32_t Directory = 0x10;
constexpr std::uint32_t Archive = 0x20;
constexpr std::uint32_t Normal = 0x80;
constexpr std::uint32_t ReparsePoint = 0x400;  // the name itself is a symbolic link
}  // namespace FileAttr

// 100-ns intervals since 1601-01-01 00:00 UTC; 0 means "no time".
using FileTime = std::uint64_t;
constexpr FileTime FileTimePerSecond = 10'000'000;
constexpr FileTime FileTimePerDay = 86'400 * FileTimePerSecond;

// The current time (UTC) as a file time, to the millisecond.
FileTime CurrentFileTime();

// Times and size of a name. Creation time is 0 where the file system keeps none.
struct FileAttributeData {
    std::uint32_t Attributes = 0;
    FileTime CreationTime = 0;
    FileTime LastAccessTime = 0;
    FileTime LastWriteTime = 0;
    std::uint64_t FileSize = 0;
};

// The attribute bits of a name, following links. Returns 0 or the error code.
std::uint32_t QueryFileAttributes(const QString& fileName, std::uint32_t& attributes);
// Replaces the settable attributes of a name, following links: read-only sets
// or clears write permission; hidden, system, archive and directory bits are
// accepted and change nothing. Returns 0 or the error code.
std::uint32_t ChangeFileAttributes(const QString& fileName, std::uint32_t attributes);

// The attribute record of a name, following links. Returns 0 or the error
// code (2 also for a link whose target is missing).
std::uint32_t GetFileAttributeData(const QString& fileName, FileAttributeData& data);

// The last-write time of a name, following links; 0 when it cannot be read.
FileTime GetFileWriteTime(const QString& fileName);

// Sets the last-write time only. A time more than one day after the current
// time (both UTC) is replaced by the current time; 0 changes nothing. Opens
// the file for writing without sharing: a locked file gives 32, a read-only
// one 5, a directory 5. Returns 0 or the error code.
std::uint32_t SetFileWriteTime(const QString& fileName, FileTime time);

// The directory entry of the name itself (a link is not followed; its record
// carries ReparsePoint). Returns false when there is no entry, or when it is
// a directory or a link to one.
bool FindFileEntry(const QString& fileName, FileAttributeData& entry);

// ---------------------------------------------------------------------------
// CopyFileTimeAttr
// ---------------------------------------------------------------------------

// Pass as attributes to give the target the source's attributes (any value
// with the top bit set does the same).
constexpr std::uint32_t SourceAttributes = 0xFFFFFFFF;

// Copies source to target through a buffer of bufferSize bytes (0 counts as
// 1), reading until a read returns no bytes, then gives the target the
// source's last-write time and the given attributes (low 16 bits). Nothing
// happens when both name the same file: same spelling, or same device and
// inode. A source that is not a regular file once links are followed (FIFO,
// device, socket, directory) fails with 2, "Datei nicht gefunden", before the
// target is touched and without waiting on it. Raises ECopyError on any
// failure, std::bad_alloc when the buffer cannot be allocated.
void CopyFileTimeAttr(const QString& source, const QString& target, std::uint32_t attributes,
                      std::uint32_t bufferSize);

// ---------------------------------------------------------------------------
// DeleteDirectoryTree
// ---------------------------------------------------------------------------

struct DeleteTreeCounts {
    std::uint32_t DirsRemoved = 0;   // the base included when it is removed
    std::uint32_t FilesDeleted = 0;  // every non-directory entry, links included
    std::uint32_t Failures = 0;      // files and tried directories that stayed
};

// Deletes base (or base/relativeSubDir) with everything below it, post-order:
// subdirectories first, then files, then the directory itself, which is
// removed only when all its own files went and (for the base) removeBase is
// set. A symbolic link inside the tree is removed as a link and never
// followed; the walk works relative to open directory handles, so nothing
// outside the tree is reached even when the tree changes meanwhile. When the
// directory named by the caller is itself a link to a directory, only the link
// goes (counted as a file), and only when it is to be removed; its target is
// left as it is. Nothing mounted inside the tree, bind mounts included, is
// entered; the removal of its mount point is tried and fails. Only adds to the
// counters; a missing directory changes nothing, and so does the file-system
// root. Never throws.
void DeleteDirectoryTree(const QString& baseDir, const QString& relativeSubDir, bool removeBase,
                         std::uint32_t& dirsRemoved, std::uint32_t& filesDeleted,
                         std::uint32_t& failures);
// The same from zero counters, for the whole of dir.
DeleteTreeCounts DeleteDirectoryTree(const QString& dir, bool removeBase);

}  // namespace FileUtils
