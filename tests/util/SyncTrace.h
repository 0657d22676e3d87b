// Records, while a SyncTrace lives, the calls of this process that bring data to the disk
// (fsync, fdatasync), that rename files (rename, renameat, renameat2), remove them (unlink,
// unlinkat), write at a place (pwrite) and cut them (ftruncate), in their order: the test
// executable defines these functions itself, records each call that succeeded and hands it
// on to the C library's own. A test can also act after each such call (end the process
// there, say).
#pragma once

#include <QString>

#include <functional>
#include <vector>

struct SyncCall {
    enum class Kind { Sync, Rename, Remove, Write, Truncate };
    Kind kind;
    QString path;  // the file or folder, or the renamed file's old name (canonical, absolute)
    QString to;    // the new name of a rename
};

class SyncTrace {
public:
    // AFTER, when given, runs after each recorded call, in the calling thread.
    explicit SyncTrace(std::function<void(const SyncCall&)> after = {});
    ~SyncTrace();
    SyncTrace(const SyncTrace&) = delete;
    SyncTrace& operator=(const SyncTrace&) = delete;

    // The calls recorded so far, in their order.
    std::vector<SyncCall> Calls() const;
};

// The calls as text, one per line ("rename a b"), for failure messages.
std::string CallsText(const std::vector<SyncCall>& calls);
