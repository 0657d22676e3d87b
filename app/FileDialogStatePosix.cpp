// Where QtProject's settings are kept on POSIX systems: a file in the configuration folder.
#include "FileDialogState.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace FileDialogState {

void RemoveEmptyStore(const QSettings& settings)
{
    const QString file = settings.fileName();
    if (QFileInfo(file).isFile())
        QFile::remove(file);
}

} // namespace FileDialogState
