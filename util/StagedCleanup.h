// Internal to util/: the list of live temporary files that a terminating
// signal removes before the process ends (FileReplace.h has the public side).
#pragma once

#include <QByteArray>

namespace FileUtils::StagedCleanup {

// Enters a temporary file; returns its slot, or -1 when the list is full or
// the path too long (the next staging of the same file removes it then).
int Claim(const QByteArray& path);
// Takes the file out of the list; slot becomes -1.
void Release(int& slot);

}  // namespace FileUtils::StagedCleanup
