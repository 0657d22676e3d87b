// Replacing a file that other programs may use: a new version of a file built
// beside it and put in its place with one rename.
#pragma once

#include "FileInUse.h"

#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

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
// file it leads to is replaced, and so are its other names not (a second hard
// link keeps the old content). In a sticky folder that everybody may write
// (/tmp) a link is followed only where the kernel's protected_symlinks rule
// would follow it, whatever the system's setting: when it belongs to the user
// who runs the program or to the folder's owner.
// On Windows the move is ReplaceFileW, which keeps the old file's ACL and
// attributes, or MoveFileExW (write-through) where there is no old file.
//
// The old file is never written to. Its SQLite side files (-journal, -wal,
// -shm) belong to it, whatever they hold: right before the rename they are
// moved aside under hidden names, and removed once the new file is in place;
// should the rename fail, they are moved back, so that the old file and its
// side files are exactly as they were. A hot journal is thus never rolled
// back here (nor a WAL checkpointed): a journal beside a database cannot be
// told to be its own or one left from another file of that name, and rolling
// back a foreign one destroys the database. The next reader of a kept old
// file does what SQLite does with its side files. A kill between the moves
// leaves the side files under their hidden names, tagged with the old file's
// inode: the next staging of the same file puts them back while that file is
// still in place, and removes them once it has been replaced.
//
// The temporary file is meant to be opened by SQLite: its name leaves room
// for "-journal" within the file system's name limit and its path stays
// within SQLite's, so every target that SQLite could open can be staged.
// It is held open from its creation to the end, so that the staging of the
// same file by another process sees it as live and leaves it alone. It is
// created with no more permissions than the old file has (group and owner
// kept where the system allows), so nobody can read it who could not read
// the old one; it gets the old file's access ACL and user.* attributes too,
// and when they cannot be given to it, the file is not replaced.
// ---------------------------------------------------------------------------

class TStagedFile {
public:
    // How the new file's permission bits follow the old file's.
    enum class ModeRule {
        KeepWritable,  // the old bits, with the owner's write permission set
        Keep,          // the old bits exactly, read-only ones included
    };

    // Binds to target; nothing on disk changes before Create.
    explicit TStagedFile(const QString& target, ModeRule rule = ModeRule::KeepWritable);
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
    // when a link on the way lies in a sticky folder and may not be followed
    // (5), when a name would be too long (206), and when side files that a
    // killed staging moved aside cannot be put back. Those are put back (or
    // removed, see above) here, before any work is done.
    std::uint32_t Create();

    // Moves the temporary file over the final one: flushes it to the disk,
    // checks again that the final file is free, gives the new file the old
    // one's permission bits (see ModeRule), group and, where permitted,
    // owner, its ACL and user.* attributes, moves the old side files aside,
    // renames, flushes the directory and removes the side files moved aside.
    // Returns 0 or the error code; on failure the old file and its side files
    // are unchanged and the temporary file is removed.
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
    std::uint32_t PutBackLeftAside();
    std::uint32_t SetSideFilesAside();
    void PutSideFilesBack();
    void RemoveSideFilesAside();
    std::uint32_t CreateTempFile();
    // The old file's owner, group, permission bits, ACL and attributes for the
    // temporary file (final: as it is to stay); 0 or the error code, with the
    // cause.
    std::uint32_t GiveOldOwnership(bool final);
    std::uint32_t CheckNotInUse();
    // Each platform's part of Commit: the temporary file's data to the disk,
    // the old file's rights for it, then the temporary file in the final
    // file's place and the folder to the disk (0 or the error code).
    std::uint32_t FlushTemp();
    std::uint32_t PutInPlace();

    QString FTarget;
    QString FFinalName;
    QString FTempName;
    ModeRule FRule;
    bool FReplaces = false;
    // The old file's side files moved aside by Commit: (side file, hidden name).
    std::vector<std::pair<QString, QString>> FAside;
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
