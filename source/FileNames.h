#pragma once
// File names as the file system holds them, and folders read with every name in them.
//
// On POSIX systems a name is a string of bytes, and not every one is UTF-8 (DOS names unpacked
// from an archive keep their code page's bytes, "GR\x99SSE.DB"). Such names travel in a QString
// with each byte that is no part of valid UTF-8 held as the lone surrogate U+DC80 + byte, so that
// every name leads back to exactly the bytes it came from. Windows names are UTF-16 already.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <vector>

namespace pdx {

// The bytes of NAME for the file system: UTF-8, with held bytes given back as they were.
QByteArray EncodeFileName(const QString& name);
// BYTES as a name: UTF-8 where it is valid, every other byte held as U+DC80 + byte.
QString DecodeFileName(QByteArrayView bytes);
// Whether NAME holds bytes that are not UTF-8.
bool HasHeldBytes(const QString& name);
// NAME for messages: each held byte written as \xNN ("GR\x99SSE.DB").
QString DisplayFileName(const QString& name);
// NAME as two spellings of one name compare equal: in Unicode normal form C and case folded.
// Neither Linux nor Windows file systems normalise names, so a folder copied from a Mac holds
// "Größte Hits" decomposed (o and a combining diaeresis) where a typed name has it composed.
QString FoldedFileName(const QString& name);

enum class FileKind { Missing, Regular, Directory, Other };

// What PATH is once links are followed (Other: a FIFO, device, socket).
FileKind KindOf(const QString& path);
// Whether PATH itself is a symbolic link.
bool IsSymbolicLink(const QString& path);
// Bytes that are equal for two paths of one file (device and inode on POSIX systems); empty
// when PATH leads to nothing.
QByteArray FileIdentity(const QString& path);

struct DirEntry {
    QString name;
    FileKind kind = FileKind::Missing;  // links followed
    bool link = false;                  // the entry is a symbolic link
};

// Every entry of DIRECTORY but "." and "..", in no particular order; false when it cannot be
// read. One look at each entry: a folder of any size is read in time linear in its entries.
bool ListDirectory(const QString& directory, std::vector<DirEntry>& entries);

// The program's arguments without argv[0], names of any bytes kept (see above).
QStringList CommandLineArguments(int argc, char** argv);
// The running program's file, links resolved, its name's bytes kept; empty when unknown.
QString ExecutableFileName();

// The characters that separate or qualify the parts of a path and so never stand in a bare
// name: "/" on POSIX systems; "/", "\\" and ":" (drive, alternate stream) on Windows.
QString PathCharacters();

// DIRECTORY and NAME joined with one separator of the system's: '/', on Windows '\'.
QString JoinFileName(const QString& directory, const QString& name);

} // namespace pdx
