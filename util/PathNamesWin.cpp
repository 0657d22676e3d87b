// The path syntax of Windows: a drive colon ("C:") is part of it.
#include "Platform.h"

namespace FileUtils::Platform {

bool NativeDriveColon()
{
    return true;
}

}  // namespace FileUtils::Platform
