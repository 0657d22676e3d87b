// Records, while a SyncTrace lives, the calls of this process that bring data to the disk
// (fsync, fdatasync) and that rename files (rename, renameat, renameat2), in their order: the
// test executable defines these functions itself, records each call and hands it on to the C
// library's own.
#pragma once

#include <QString>

#include <vector>

struct SyncCall {
    enum class Kind { Sync, Rename };
    Kind kind;
    QString path;  // the synced file or folder, or the renamed file's old name (canonical, absolute)
    QString to;    // the new name of a rename
};

class SyncTrace {
public:
    SyncTrace();
    ~SyncTrace();
    SyncTrace(const SyncTrace&) = delete;
    SyncTrace& operator=(const SyncTrace&) = delete;

    // The calls recorded so far, in their order.
    std::vector<SyncCall> Calls() const;
};
