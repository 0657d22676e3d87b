// Optional features of this platform: network browsing only.
#include "WmiUtils.h"

#include "FileUtils.h"
#include "WinShell.h"

namespace WmiUtils {

bool IsOptionalFeatureInstalled(const QString& name)
{
    // The client for network shares: here the desktop's network mounts, which exist only
    // while the desktop's virtual file system service runs.
    if (name.compare(QLatin1String("SMB1Protocol-Client"), Qt::CaseInsensitive) == 0) {
        const QString network = WinShell::NetworkFolderPath();
        return !network.isEmpty() && FileUtils::DirectoryExists(network);
    }
    return false;
}

} // namespace WmiUtils
