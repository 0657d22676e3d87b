#include "WmiUtils.h"

namespace WmiUtils {

bool IsSmb1ClientInstalled()
{
    return IsOptionalFeatureInstalled(QStringLiteral("SMB1Protocol-Client"));
}

} // namespace WmiUtils
