// Internal to util/: the few platform answers that portable code of this
// folder needs. Each platform's source files implement them.
#pragma once

#include <QString>

namespace FileUtils::Platform {

// Whether two existing names lead to the same file (links followed; same
// device and inode). False when either cannot be read.
bool SameFileObject(const QString& first, const QString& second);

}  // namespace FileUtils::Platform
