// The C runtime's own texts for errno values (the few that reach the helpers here).
#include "Platform.h"

#include <cstring>

namespace FileUtils::Platform {

QString ErrnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

}  // namespace FileUtils::Platform
