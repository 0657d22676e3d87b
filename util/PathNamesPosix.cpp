// The path syntax of POSIX systems: '/' between names, no drives.
#include "Platform.h"

namespace FileUtils::Platform {

QChar NativeDelimiter()
{
    return u'/';
}

bool NativeDriveColon()
{
    return false;
}

}  // namespace FileUtils::Platform
