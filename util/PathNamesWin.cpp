// The path syntax of Windows: '\' between names, a drive colon ("C:").
#include "Platform.h"

namespace FileUtils::Platform {

QChar NativeDelimiter()
{
    return u'\\';
}

bool NativeDriveColon()
{
    return true;
}

}  // namespace FileUtils::Platform
