// Staged files still to be removed should the process be told to end. The
// signal handler reads this list, so it is a fixed array written with atomics,
// and everything the handler calls is async-signal-safe.
#include "StagedCleanup.h"
#include "FileReplace.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace FileUtils {

namespace {

constexpr int kSlots = 8;
constexpr std::size_t kPathBytes = 4096;

// The side files SQLite keeps beside a database, named after it.
const char* const kSideSuffixes[] = {"-journal", "-wal", "-shm"};

enum SlotState : int { kFree = 0, kWriting = 1, kLive = 2 };

struct Slot {
    std::atomic<int> state{kFree};
    char path[kPathBytes];
};

Slot g_slots[kSlots];
// Where a program that ends in good order wants to hear of a signal; -1: nowhere.
std::atomic<int> g_notifyFd{-1};

// Appends suffix to base in out; no allocation, for the signal handler.
void JoinInto(char* out, const char* base, const char* suffix)
{
    std::size_t n = 0;
    for (; base[n] != '\0'; ++n)
        out[n] = base[n];
    for (std::size_t i = 0; suffix[i] != '\0'; ++i)
        out[n++] = suffix[i];
    out[n] = '\0';
}

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
    if (std::size_t(path.size()) + 16 > kPathBytes)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kWriting)) {
            std::memcpy(g_slots[i].path, path.constData(), std::size_t(path.size()) + 1);
            g_slots[i].state.store(kLive, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void Release(int& slot)
{
    if (slot >= 0)
        g_slots[slot].state.store(kFree, std::memory_order_release);
    slot = -1;
}

}  // namespace StagedCleanup

void RemoveStagedFilesNow() noexcept
{
    char name[kPathBytes];
    for (Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) != kLive)
            continue;
        ::unlink(slot.path);
        for (const char* suffix : kSideSuffixes) {
            JoinInto(name, slot.path, suffix);
            ::unlink(name);
        }
    }
}

bool StagedFilesLive() noexcept
{
    for (const Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) != kFree)
            return true;
    }
    return false;
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
