#pragma once
// Helpers shared by the folder chooser's sources (ShellDirDlg.cpp: the window; ShellDirTree.cpp:
// the folder tree and the file list; ShellDirCommands.cpp: the commands). Not for other callers.

#include "ShellDirDlg.h"

#include <QString>

namespace ShellDirDlg {

// The translation domain of every text the folder chooser shows.
inline const QString kDomain = QStringLiteral("dialogs");

// The text in the chooser's translation domain.
QString Tr(const QString& text);

// Not empty and an existing directory (a link to one counts).
bool Exists(const QString& dir);

// Whether path is top or lies below it.
bool IsInside(const QString& path, const QString& top);

// The hook that answers the new-folder input box, if one is installed.
InputHook& InputHookRef();

}  // namespace ShellDirDlg
