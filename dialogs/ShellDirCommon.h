#pragma once
// The names the folder chooser's parts share: the window (ShellDirDlg), the models behind its
// tree and file list (ShellDirTree) and its own controls (ShellDirWidgets). It knows none of
// them; ShellDirDlg.h passes the root names on to the chooser's callers.

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

// Tree roots besides directory paths.
inline const QString rfDesktop = QStringLiteral("rfDesktop");
inline const QString rfPersonal = QStringLiteral("rfPersonal");
inline const QString rfMyComputer = QStringLiteral("rfMyComputer");  // the file-system root as top node
inline const QString rfNetwork = QStringLiteral("rfNetwork");

// The directory a root stands for: the desktop (see DesktopFolder), the documents folder, the
// computer (ComputerFolder), the network mounts folder, or the path itself. A special folder
// that does not exist gives the computer's. (ShellDirTree.cpp)
QString RootFolder(const QString& root);

// The desktop folder, and the folder the root rfDesktop shows: the desktop folder, or the
// home folder where there is none (fallback then true).
struct DesktopFolderInfo {
    QString desktop;
    QString shown;
    bool fallback = false;
};
DesktopFolderInfo DesktopFolder();

}  // namespace ShellDirDlg
