// Internal to util/: how temporary files of a staged replacement are named,
// the same on every platform.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace FileUtils::Staged {

// The side files SQLite keeps beside a database, named after it.
inline constexpr const char* kSideSuffixes[] = {"-journal", "-wal", "-shm"};

// The length of the longest side file suffix, "-journal".
constexpr qsizetype kJournalSuffixLength = 8;

// Random letters that end every temporary name.
constexpr qsizetype kRandomLetters = 6;

// A short mark of a file name, for temporary names that cannot hold it whole.
QString NameMark(const QString& name);
// A long one (16 hex digits), for names that must not be taken for another file's.
QString LongNameMark(const QString& name);

// A side file of a file being replaced, moved aside under a hidden name that
// tells whose it is: the final file's name (or its long mark) and its
// identity (Platform::FileIdentity) when it was moved, and the suffix.
QString AsideName(const QString& finalName, const QString& identity, const char* suffix);

struct AsideFile {
    QString path;      // the hidden name
    QString identity;  // the identity of the file it belongs to
    const char* suffix;
};
// The side files of finalName lying aside in its folder.
std::vector<AsideFile> FilesAside(const QString& finalName);
// Whether a directory entry is a temporary file made with prefix.
bool IsTempNameOf(const QString& entry, const QString& prefix);
// kRandomLetters letters and digits.
QString RandomSuffix();

// Each platform's part:
// The folder holding a file.
QString DirectoryOf(const QString& fileName);
// The start of every temporary name for finalName: the name itself when it
// fits with the random letters and SQLite's "-journal", else a short form; empty
// when not even that fits.
QString TempNamePrefix(const QString& finalName);
// Removes a file and the side files SQLite may have left beside it.
void RemoveWithSideFiles(const QString& fileName);
// Whether a file of this name fits in the folder (the file system's limit for one name).
bool NameFits(const QString& directory, const QString& name);
// Renames from to to, unless to exists; 0 or the error code (80 when it exists).
std::uint32_t MoveWithoutReplacing(const QString& from, const QString& to);
// Removes one file (no folder); a link goes as a link.
void RemoveFile(const QString& fileName);
// Brings the folder's entries (renames) to the disk.
void SyncFolder(const QString& directory);

}  // namespace FileUtils::Staged
