#pragma once
// The program's thin layer over the desktop shell: well-known per-user folders, shell link
// files and deletions into the trash. Every function reports by its result; none shows a
// message or raises.

#include <QString>

#include <cstdint>

namespace WinShell {

// Special folder numbers the program uses (the Windows shell's CSIDL values).
constexpr std::int32_t CSIDL_DESKTOP = 0;
constexpr std::int32_t CSIDL_PERSONAL = 5;
constexpr std::int32_t CSIDL_DRIVES = 17;
constexpr std::int32_t CSIDL_NETWORK = 18;
constexpr std::int32_t CSIDL_APPDATA = 26;

// The file-system path of the special folder, without a trailing delimiter; empty when the
// folder is unknown or has no file-system path (17 computer, 18 network).
QString GetSpecialFolderPath(std::int32_t csidl);
// The documents folder (5).
QString GetPersonalFolderPath();
// The per-user application data folder (26): here the user's configuration folder.
QString GetAppDataFolderPath();

} // namespace WinShell
