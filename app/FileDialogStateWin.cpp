// Where QtProject's settings are kept on Windows: a key of the user's registry,
// HKEY_CURRENT_USER\Software\QtProject\OrganizationDefaults.
#include "FileDialogState.h"

#include <QSettings>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace FileDialogState {

namespace {

// Deletes the key NAME below HKEY_CURRENT_USER when it has neither values nor subkeys.
void DeleteIfEmpty(const wchar_t* name)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, name, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD subkeys = 0;
    DWORD values = 0;
    const bool empty = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                          nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS
                       && subkeys == 0 && values == 0;
    ::RegCloseKey(key);
    if (empty)
        ::RegDeleteKeyW(HKEY_CURRENT_USER, name);
}

} // namespace

void RemoveEmptyStore(const QSettings& /*settings*/)
{
    // The organisation's defaults first, then the organisation's key, each only when empty.
    DeleteIfEmpty(L"Software\\QtProject\\OrganizationDefaults");
    DeleteIfEmpty(L"Software\\QtProject");
}

} // namespace FileDialogState
