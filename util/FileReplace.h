// Replacing a file that other programs may use: a new version of a file built
// beside it and put in its place with one rename.
#pragma once

#include "FileInUse.h"

#include <QString>

namespace FileUtils {

// Whether two names lead to the same file: the same spelling, or, when both
// exist, the same device and inode (links followed).
bool SameFile(const QString& first, const QString& second);

// The file a name finally stands for: symbolic links are followed, also to a
// target that does not exist yet; any other name is returned as given.
QString FinalFileName(const QString& fileName);

// ---------------------------------------------------------------------------
// TStagedFile: a new version of a file, written under a temporary name in the
// directory of the file it replaces and moved over it with one rename. Until
// Commit the old file stays as it was; a crash or kill leaves it untouched
// and a temporary file behind, which the next staging of the same file
// removes. A link stays a link: the file it leads to is replaced.
//
// The temporary file is held open from its creation to the end, so that the
// staging of the same file by another process sees it as live and leaves it
// alone.
// ---------------------------------------------------------------------------

class TStagedFile {
public:
    // Binds to target; nothing on disk changes before Create.
    explicit TStagedFile(const QString& target);
    // Removes the temporary file unless it was committed.
    ~TStagedFile();
    TStagedFile(const TStagedFile&) = delete;
    TStagedFile& operator=(const TStagedFile&) = delete;

    // The file that Commit replaces (target with its links followed).
    const QString& FinalName() const { return FFinalName; }
    // The temporary file; empty before Create.
    const QString& TempName() const { return FTempName; }

    // Checks that the final file is free (CheckDatabaseNotInUse), removes the
    // temporary files of interrupted stagings of it, and creates an empty
    // temporary file. Fails with 32 when the file is in use or another
    // process stages it right now; use() tells who holds what.
    std::uint32_t Create();

    // Moves the temporary file over the final one: flushes it to the disk,
    // checks again that the final file is free, removes its side files (they
    // belong to the old content), renames, and flushes the directory. The
    // new file keeps the old one's permission bits, with the owner's write
    // permission set. Returns 0 or the error code; on failure the old file
    // is unchanged and the temporary file is removed.
    std::uint32_t Commit();

    // Removes the temporary file (and side files SQLite left beside it).
    void Discard();

    // Who held the file when Create or Commit failed with 32.
    const FileUse& Use() const { return FUse; }
    // Whether Create failed because another process stages the same file.
    bool StagedElsewhere() const { return FStagedElsewhere; }

private:
    QString FTarget;
    QString FFinalName;
    QString FTempName;
    int FHeld = -1;  // the temporary file's descriptor
    int FSlot = -1;  // the slot in the list for signal clean-up
    FileUse FUse;
    bool FStagedElsewhere = false;
};

// Why Create or Commit failed with code, in German, naming the file and, when known, the
// program that holds it. busyPattern words "another process stages this file right now"; its
// one "%s" takes the final file's name.
QString StagingFailureText(const TStagedFile& staged, std::uint32_t code, const QString& busyPattern);

// Removes the temporary files of every TStagedFile not yet committed or
// discarded. Async-signal-safe: a SIGINT or SIGTERM handler calls it before
// the process ends.
void RemoveStagedFilesNow() noexcept;

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the staged
// files and end the process with 128 + the signal's number.
void RemoveStagedFilesOnSignals();

}  // namespace FileUtils
