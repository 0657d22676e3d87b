#include "ShellDirComputer.h"

namespace ShellDirDlg {

QString ComputerFolder()
{
    // The file-system model lists the drives (QDir::drives) below its root.
    return QString();
}

}  // namespace ShellDirDlg
