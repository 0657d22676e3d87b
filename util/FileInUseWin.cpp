// Whether another program has a file open: Windows answers through the share
// modes themselves. An open that shares nothing fails with a sharing violation
// while any other handle is open on the file; the Restart Manager then names
// the holder where it can.
#include "FileInUse.h"
#include "FileUtils.h"
#include "WinIo.h"

#include <restartmanager.h>

#include <vector>

namespace FileUtils {

namespace {

// "sqlite3.exe (Prozess 4711)" for every process that the Restart Manager
// knows to hold the file, or empty.
QString HolderOf(const std::wstring& name)
{
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (::RmStartSession(&session, 0, key) != ERROR_SUCCESS)
        return QString();
    QStringList holders;
    LPCWSTR files[] = {name.c_str()};
    if (::RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
        UINT needed = 0;
        UINT count = 0;
        DWORD reasons = 0;
        std::vector<RM_PROCESS_INFO> processes;
        DWORD result = ::RmGetList(session, &needed, &count, nullptr, &reasons);
        if (result == ERROR_MORE_DATA && needed > 0) {
            processes.resize(needed);
            count = needed;
            result = ::RmGetList(session, &needed, &count, processes.data(), &reasons);
        }
        if (result == ERROR_SUCCESS) {
            for (UINT i = 0; i < count && i < processes.size(); ++i)
                holders << SafeFormat(QStringLiteral("%s (Prozess %u)"),
                                      {QString::fromWCharArray(processes[i].strAppName),
                                       std::uint32_t(processes[i].Process.dwProcessId)});
        }
    }
    ::RmEndSession(session);
    return holders.join(QStringLiteral(", "));
}

}  // namespace

FileUse CheckFilesNotInUse(const QStringList& names)
{
    FileUse free;
    for (const QString& name : names) {
        const std::wstring wide = Win::WidePath(name);
        const DWORD attributes = ::GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;  // missing, or no file
        const Win::UniqueHandle handle(::CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (handle.Valid())
            continue;
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
            FileUse use;
            use.ErrorCode = ERROR_SHARING_VIOLATION;
            use.FileName = name;
            use.Holder = HolderOf(wide);
            return use;
        }
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && !free.Unverified) {
            // Not ours to read: whether others hold it cannot be seen.
            free.Unverified = true;
            free.FileName = name;
        }
    }
    return free;
}

}  // namespace FileUtils
