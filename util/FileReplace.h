// Replacing a file that other programs may use: a new version of a file built
// beside it and put in its place with one rename.
#pragma once

#include "FileInUse.h"

#include <QString>

#include <cstdint>
#include <functional>

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
// the rename the old file and its side files stay as they were; a failure,
// crash or kill leaves them untouched and at most a temporary file behind,
// which the next staging of the same file removes. A link stays a link: the
// file it leads to is replaced.
// On Windows the move is ReplaceFileW, which keeps the old file's ACL and
// attributes, or MoveFileExW (write-through) where there is no old file.
//
// The temporary file is meant to be opened by SQLite: its name leaves room
// for "-journal" within the file system's name limit and its path stays
// within SQLite's, so every target that SQLite could open can be staged.
// It is held open from its creation to the end, so that the staging of the
// same file by another process sees it as live and leaves it alone. It is
// created with no more permissions than the old file has (group and owner
// kept where the system allows), so nobody can read it who could not read
// the old one.
// ---------------------------------------------------------------------------

class TStagedFile {
public:
    // How the new file's permission bits follow the old file's.
    enum class ModeRule {
        KeepWritable,  // the old bits, with the owner's write permission set
        Keep,          // the old bits exactly, read-only ones included
    };

    // Brings the side files of a SQLite database to rest (rolls back a hot
    // journal, checkpoints a WAL) so that the database file alone holds its
    // content. Returns 0, or an error code with the reason in cause.
    using SideFileSettler = std::function<std::uint32_t(const QString& fileName, QString& cause)>;

    // Binds to target; nothing on disk changes before Create.
    explicit TStagedFile(const QString& target, ModeRule rule = ModeRule::KeepWritable,
                         SideFileSettler settle = {});
    // Removes the temporary file unless it was committed.
    ~TStagedFile();
    TStagedFile(const TStagedFile&) = delete;
    TStagedFile& operator=(const TStagedFile&) = delete;

    // The file that Commit replaces (target with its links followed).
    const QString& FinalName() const { return FFinalName; }
    // The temporary file; empty before Create.
    const QString& TempName() const { return FTempName; }
    // Whether the final file existed when Create ran.
    bool Replaces() const { return FReplaces; }

    // Finds out before any work whether the final file can be replaced, and
    // creates an empty temporary file. Refuses, with nothing changed, when
    // the final file is no regular file (a folder, device or FIFO), when it
    // or its side files are in use (32; Use() tells who holds what) or
    // another process stages it right now, when the rename could not succeed
    // (folder not writable, sticky folder, immutable or append-only flags: 5),
    // when a name would be too long (206), and when the old file's side files
    // hold changes that cannot be brought to rest. An old journal or WAL is
    // brought to rest here through the settler, before any work is done.
    std::uint32_t Create();

    // Moves the temporary file over the final one: flushes it to the disk,
    // checks again that the final file is free and its side files at rest,
    // gives the new file the old one's permission bits (see ModeRule), group
    // and, where permitted, owner, removes the old side files (nothing in
    // them is needed any more, and SQLite would apply a journal or WAL to
    // whatever file bears their name), renames, and flushes the directory.
    // Returns 0 or the error code; on failure the old file is unchanged and
    // the temporary file is removed.
    std::uint32_t Commit();

    // Removes the temporary file (and side files SQLite left beside it).
    void Discard();

    // Who held the file when Create or Commit failed with 32.
    const FileUse& Use() const { return FUse; }
    // Whether Create failed because another process stages the same file.
    bool StagedElsewhere() const { return FStagedElsewhere; }
    // The German reason for the last failure, when one more precise than
    // the error code is known (the folder, the flag, the side file).
    const QString& FailureCause() const { return FCause; }
    // A German warning when the final file could not be verified to be free
    // (UnverifiedText), to be shown with the result; empty otherwise.
    const QString& Warning() const { return FWarning; }

private:
    std::uint32_t Refuse(std::uint32_t code, const QString& cause);
    std::uint32_t CheckReplaceable();
    std::uint32_t SettleSideFiles();
    std::uint32_t CreateTempFile();
    void GiveOldOwnership(bool final);
    std::uint32_t CheckNotInUse();
    // Each platform's part of Commit: the temporary file's data to the disk,
    // then the temporary file in the final file's place (0 or the error code).
    std::uint32_t FlushTemp();
    std::uint32_t PutInPlace();

    QString FTarget;
    QString FFinalName;
    QString FTempName;
    ModeRule FRule;
    SideFileSettler FSettle;
    bool FReplaces = false;
    std::intptr_t FHeld = -1;  // the temporary file's descriptor or handle
    int FSlot = -1;  // the slot in the list for signal clean-up
    FileUse FUse;
    bool FStagedElsewhere = false;
    QString FCause;
    QString FWarning;
};

// Why Create or Commit failed with code, in German, naming the file and, when known, the
// program that holds it. busyPattern words "another process stages this file right now"; its
// one "%s" takes the final file's name.
QString StagingFailureText(const TStagedFile& staged, std::uint32_t code, const QString& busyPattern);

// Removes the temporary files of every TStagedFile not yet committed or
// discarded. Async-signal-safe: a signal handler calls it before the process
// ends.
void RemoveStagedFilesNow() noexcept;

// Whether a TStagedFile of this process holds a temporary file right now.
// Async-signal-safe.
bool StagedFilesLive() noexcept;

// Installs handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT that remove the
// staged files and end the process with 128 + the signal's number, and
// ignores SIGPIPE, so that a write to a closed pipe fails as an error the
// program handles (and cleans up after) instead of ending it.
//
// With notifyFd, a program that can end in good order (a window that writes
// its settings) is told instead: while no staged file is live, the handler
// writes the signal's number as one byte to notifyFd and returns.
void RemoveStagedFilesOnSignals(int notifyFd = -1);

}  // namespace FileUtils
