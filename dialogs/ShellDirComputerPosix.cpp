#include "ShellDirComputer.h"

#include <QDir>

namespace ShellDirDlg {

QString ComputerFolder()
{
    return QDir::rootPath();
}

}  // namespace ShellDirDlg
