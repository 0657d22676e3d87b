#include "WinShell.h"

#include <QStandardPaths>

namespace WinShell {

namespace {

QString WritableLocation(QStandardPaths::StandardLocation location)
{
    QString path = QStandardPaths::writableLocation(location);
    // The shell gives these folders without a trailing delimiter; the root stays "/".
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

QString GetSpecialFolderPath(std::int32_t csidl)
{
    switch (csidl) {
    case CSIDL_DESKTOP:
        return WritableLocation(QStandardPaths::DesktopLocation);
    case CSIDL_PERSONAL:
        return WritableLocation(QStandardPaths::DocumentsLocation);
    case CSIDL_APPDATA:
        return WritableLocation(QStandardPaths::GenericConfigLocation);
    default:
        return QString();  // computer, network and the rest have no file-system path here
    }
}

QString GetPersonalFolderPath() { return GetSpecialFolderPath(CSIDL_PERSONAL); }

QString GetAppDataFolderPath() { return GetSpecialFolderPath(CSIDL_APPDATA); }

} // namespace WinShell
