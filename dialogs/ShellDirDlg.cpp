#include "ShellDirDlg.h"

// The window itself is not built yet: Execute answers as if the user cancelled.

TShellDirDialog::TShellDirDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Verzeichnis auswählen"));
}

bool TShellDirDialog::Execute(const QString& ATitle, bool Hidden, bool FileView, bool ZipAsFiles,
                              const QString& HomeDir, QString& Dir)
{
    Q_UNUSED(ATitle) Q_UNUSED(Hidden) Q_UNUSED(FileView) Q_UNUSED(ZipAsFiles) Q_UNUSED(HomeDir) Q_UNUSED(Dir)
    return false;
}
