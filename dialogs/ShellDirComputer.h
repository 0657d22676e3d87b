#pragma once
// What the folder chooser's "Computer" root shows, by platform.
//   POSIX    the file-system root "/" as the one top node (ShellDirComputerPosix.cpp)
//   Windows  every drive as a top node (ShellDirComputerWin.cpp)

#include <QString>

namespace ShellDirDlg {

// The folder the tree shows for the computer, as the file-system model names it: "/" on POSIX;
// on Windows the empty text, the model's own root, whose rows are the drives.
QString ComputerFolder();

}  // namespace ShellDirDlg
