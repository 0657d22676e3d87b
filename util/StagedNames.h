// Internal to util/: how temporary files of a staged replacement are named,
// the same on every platform.
#pragma once

#include <QString>

namespace FileUtils::Staged {

// The side files SQLite keeps beside a database, named after it.
inline constexpr const char* kSideSuffixes[] = {"-journal", "-wal", "-shm"};

// The length of the longest side file suffix, "-journal".
constexpr qsizetype kJournalSuffixLength = 8;

// Random letters that end every temporary name.
constexpr qsizetype kRandomLetters = 6;

// A short mark of a file name, for temporary names that cannot hold it whole.
QString NameMark(const QString& name);
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

}  // namespace FileUtils::Staged
