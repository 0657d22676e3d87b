// Staged files still to be removed should the process be told to end. The
// signal handler reads this list, so it is a fixed array written with atomics,
// and everything the handler calls is async-signal-safe.
#include "StagedCleanup.h"
#include "FileReplace.h"
#include "StagedSlots.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <unistd.h>

namespace FileUtils {

namespace {

constexpr std::size_t kPathBytes = 4096;

// The side files SQLite keeps beside a database, named after it.
const char* const kSideSuffixes[] = {"-journal", "-wal", "-shm"};

StagedCleanup::SlotList<char, kPathBytes> g_slots;
// Where a program that ends in good order wants to hear of a signal; -1: nowhere.
std::atomic<int> g_notifyFd{-1};

void OnTerminatingSignal(int signal)
{
    const int savedErrno = errno;
    const int notifyFd = g_notifyFd.load();
    if (notifyFd >= 0 && !StagedFilesLive()) {
        const char number = char(signal);
        if (::write(notifyFd, &number, 1) == 1) {
            errno = savedErrno;
            return;
        }
    }
    RemoveStagedFilesNow();
    ::_exit(128 + signal);
}

}  // namespace

namespace StagedCleanup {

int Claim(const QByteArray& path)
{
    return g_slots.Claim(path.constData(), std::size_t(path.size()));
}

void Release(int& slot)
{
    g_slots.Release(slot);
}

}  // namespace StagedCleanup

void RemoveStagedFilesNow() noexcept
{
    g_slots.ForEachLive(kSideSuffixes, [](const char* name) { ::unlink(name); });
}

bool StagedFilesLive() noexcept
{
    return g_slots.AnyTaken();
}

void RemoveStagedFilesOnSignals(int notifyFd)
{
    g_notifyFd.store(notifyFd);
    const int terminating[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    struct sigaction action {};
    action.sa_handler = OnTerminatingSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : terminating)
        sigaddset(&action.sa_mask, signal);
    for (const int signal : terminating)
        ::sigaction(signal, &action, nullptr);
    // A reader that went away (| head) makes writes fail with EPIPE, which
    // the programs handle like any failed write: clean up, exit 1.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace FileUtils
