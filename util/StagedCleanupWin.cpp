// Staged files still to be removed should the console be closed or Ctrl+C
// pressed. The console's control handler runs on a thread of its own while the
// rest of the program goes on, so the list is a fixed array written with atomics.
#include "StagedCleanup.h"
#include "FileReplace.h"
#include "StagedSlots.h"

#include <QString>

#include <atomic>
#include <csignal>

#include <io.h>
#include <windows.h>

namespace FileUtils {

namespace {

constexpr std::size_t kPathUnits = 32768;

// The side files SQLite keeps beside a database, named after it.
const wchar_t* const kSideSuffixes[] = {L"-journal", L"-wal", L"-shm"};

StagedCleanup::SlotList<wchar_t, kPathUnits> g_slots;
// Where a program that ends in good order wants to hear of a console event; -1: nowhere.
std::atomic<int> g_notifyFd{-1};

// The number of the POSIX signal each console event stands for.
int SignalOf(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
        return SIGINT;
    case CTRL_BREAK_EVENT:
        return SIGBREAK;
    default:
        return SIGTERM;  // the console closed, the user logged off, the system shuts down
    }
}

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    const int signal = SignalOf(event);
    const int notifyFd = g_notifyFd.load();
    if (notifyFd >= 0 && !StagedFilesLive()) {
        const char number = char(signal);
        if (::_write(notifyFd, &number, 1) == 1)
            return TRUE;
    }
    RemoveStagedFilesNow();
    ::ExitProcess(UINT(128 + signal));
}

}  // namespace

namespace StagedCleanup {

int Claim(const QByteArray& path)
{
    const std::wstring wide = QString::fromUtf8(path).toStdWString();
    return g_slots.Claim(wide.c_str(), wide.size());
}

void Release(int& slot)
{
    g_slots.Release(slot);
}

}  // namespace StagedCleanup

void RemoveStagedFilesNow() noexcept
{
    g_slots.ForEachLive(kSideSuffixes, [](const wchar_t* name) { ::DeleteFileW(name); });
}

bool StagedFilesLive() noexcept
{
    return g_slots.AnyTaken();
}

void RemoveStagedFilesOnSignals(int notifyFd)
{
    g_notifyFd.store(notifyFd);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace FileUtils
