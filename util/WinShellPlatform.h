// Internal to util/: what each platform's shell layer does for the shared calls of WinShell.h.
#pragma once

#include "WinShell.h"

namespace WinShell::Platform {

// The path without trailing delimiters; a root keeps its own.
QString WithoutTrailingDelimiter(QString path);
// Deletes a file, folder or link (a link as a link), into the trash when toTrash. Returns 0
// or a Windows error code.
std::uint32_t DeleteEntry(const QString& path, bool toTrash);
// Moves or copies source to the full new path target, replacing an existing one only when
// replace is set. Returns 0 or a Windows error code.
std::uint32_t TransferEntry(const QString& source, const QString& target, bool copy, bool replace);
// Reads the link file fileName, which exists, into the texts (empty at the call).
HRESULT ReadShellLink(const QString& fileName, QString& target, QString& arguments, QString& workDir,
                      QString& description, bool& runAsAdmin);

} // namespace WinShell::Platform
