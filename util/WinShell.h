#pragma once
// The program's thin layer over the desktop shell: well-known per-user folders, shell link
// files and deletions into the trash. Every function reports by its result; none shows a
// message or raises.
//
// On Windows these are the shell's own calls (known folders, IShellLinkW, SHFileOperationW).
// On Linux the shell's pieces are stood in for as follows:
//   special folders     the desktop's standard locations (QStandardPaths)
//   link files (.lnk)   read with liblnk; the target is the link's local path
//   recycle bin         the desktop trash (the freedesktop.org trash folders)
//   network folders     the desktop's network mounts folder, $XDG_RUNTIME_DIR/gvfs
//   shell windows       there are none: no progress or error window is ever shown, so the
//                       owner window and the flags that only steer windows change nothing

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
// The per-user application data folder (26): here the user's configuration folder by the XDG
// base directory rules (XDG_CONFIG_HOME when absolute, else ~/.config; without HOME the home
// of the user's passwd entry); empty when there is no home but "/".
QString GetAppDataFolderPath();

// The folder under which the desktop mounts network shares ($XDG_RUNTIME_DIR/gvfs); empty
// when XDG_RUNTIME_DIR is not set. It need not exist.
QString NetworkFolderPath();
// Whether path lies inside the network folder (the folder itself included). This is what a
// path beginning with two backslashes is on Windows.
bool IsNetworkPath(const QString& path);

// ---------------------------------------------------------------------------
// Result codes
// ---------------------------------------------------------------------------

// COM status codes: 0 or more is success, negative is failure.
using HRESULT = std::int32_t;
// (Named apart from the Windows macros S_OK, S_FALSE, E_FAIL and E_INVALIDARG.)
constexpr HRESULT HR_OK = 0;
constexpr HRESULT HR_FALSE = 1;  // success, but nothing to give (a link without a path)
constexpr HRESULT HR_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT HR_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// A Windows error code as a status code (the shell's HRESULT_FROM_WIN32); 0 stays 0.
HRESULT HResultFromWin32(std::uint32_t code);

// ---------------------------------------------------------------------------
// Shell link files
// ---------------------------------------------------------------------------

// Data flag of a link that runs its target as administrator (SLDF_RUNAS_USER).
constexpr std::uint32_t SLDF_RUNAS_USER = 0x2000;

// Reads the link file fileName. All out-values start empty (false) and are set as far as the
// link could be read. Returns 2 when fileName names no existing file (a link to one counts);
// HR_FAIL when it is no readable link file; HR_FALSE when the link holds no target path (the
// other texts are still read); HR_OK otherwise. Texts are not cut to any length.
HRESULT QueryShellLink(const QString& fileName, QString& target, QString& arguments, QString& workDir,
                       QString& description, bool& runAsAdmin);
// QueryShellLink without the run-as flag; true when its code is 0 or more (so also for a
// missing file, with every text empty).
bool GetShellLinkInfo(const QString& fileName, QString& target, QString& arguments, QString& workDir,
                      QString& description);

// ---------------------------------------------------------------------------
// File operations
// ---------------------------------------------------------------------------

// Owner of the shell's progress and error windows. Accepted for the callers' sake; this
// platform shows no such windows.
using WindowHandle = void*;

// Item operations of ShellItemOperation.
constexpr std::int32_t SIO_MOVE = 1;  // and every value other than 2 and 3
constexpr std::int32_t SIO_COPY = 2;
constexpr std::int32_t SIO_DELETE = 3;

// Functions of ShellFileOperation (the shell's FO_ values).
constexpr std::uint32_t FO_MOVE = 1;
constexpr std::uint32_t FO_COPY = 2;
constexpr std::uint32_t FO_DELETE = 3;
constexpr std::uint32_t FO_RENAME = 4;

// Operation flags (the shell's values).
constexpr std::uint32_t FOF_NOCONFIRMATION = 0x0010;       // replace existing targets without asking
constexpr std::uint32_t FOF_ALLOWUNDO = 0x0040;            // deletions go to the trash
constexpr std::uint32_t FOF_SIMPLEPROGRESS = 0x0100;       // no effect here
constexpr std::uint32_t FOF_NOERRORUI = 0x0400;            // no effect here
constexpr std::uint32_t FOF_NO_CONNECTED_ELEMENTS = 0x2000;  // no effect here: nothing is connected
constexpr std::uint32_t FOFX_EARLYFAILURE = 0x100000;      // no effect here: one item stops at its first failure

// Moves (op 1 and any value but 2 and 3), copies (2) or deletes (3) the file or folder source.
// For move and copy, dest is the full new path (its folder must exist). A folder is copied
// with everything in it, links as links. An existing target is replaced (folders are merged)
// only with FOF_NOCONFIRMATION; without it the operation fails with code 80 and changes
// nothing. A file or a link never replaces an existing folder: that fails with code 5 (80
// without FOF_NOCONFIRMATION). When source and dest name the same file (same spelling, same
// entry, or the same file once links are followed), nothing changes and the result is HR_OK.
// A deletion goes to the trash with FOF_ALLOWUNDO and is permanent otherwise; a
// symbolic link is removed as a link, never followed. The file-system root is never deleted.
// Returns HR_OK, or HResultFromWin32 of the Windows error code of the first failure.
HRESULT ShellItemOperation(WindowHandle owner, const QString& source, const QString& dest, std::int32_t op,
                           std::uint32_t flags);

// Deletes the folder (or file) path with ShellItemOperation and the flags
// FOF_NOCONFIRMATION + FOF_NO_CONNECTED_ELEMENTS, + FOF_ALLOWUNDO when allowUndo,
// + FOF_NOERRORUI + FOFX_EARLYFAILURE when noErrorUI. A trailing delimiter is added first.
HRESULT ShellDeleteItem(WindowHandle owner, const QString& path, bool allowUndo, bool noErrorUI);

// One file operation on a single source and an optional destination, as the shell's
// SHFileOperationW does it: FO_DELETE deletes from (to is not used); FO_MOVE and FO_COPY put
// from into the folder to when that is an existing folder, else make to its new name;
// FO_RENAME gives from the name to. Moves, copies and renames follow ShellItemOperation's
// rules for existing targets. Returns 0 or a Windows error code (2 when from is missing,
// 87 for an empty name or an unknown function, 80 for a target that exists without
// FOF_NOCONFIRMATION, 5 for a file or link that would replace a folder).
std::int32_t ShellFileOperation(WindowHandle owner, const QString& from, const QString& to,
                                const QString& progressTitle, std::uint32_t func, std::uint16_t flags);

// Deletes path (unchanged) with ShellFileOperation, FO_DELETE and the flags
// FOF_NOCONFIRMATION + FOF_NO_CONNECTED_ELEMENTS, + FOF_ALLOWUNDO when allowUndo,
// + FOF_NOERRORUI when noErrorUI.
std::int32_t ShellDeleteFolder(WindowHandle owner, const QString& path, const QString& progressTitle,
                               bool allowUndo, bool noErrorUI);

// The flags the two deletions pass (exposed for their tests).
std::uint32_t DeleteItemFlags(bool allowUndo, bool noErrorUI);
std::uint16_t DeleteFolderFlags(bool allowUndo, bool noErrorUI);

} // namespace WinShell
