// The path syntax of POSIX systems: no drives.
#include "Platform.h"

namespace FileUtils::Platform {

bool NativeDriveColon()
{
    return false;
}

}  // namespace FileUtils::Platform
