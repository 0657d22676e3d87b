#pragma once
// What paradox2sqlite says when Ctrl+C or a kill ends it.

#include <QByteArray>

namespace tooltext {

// From now on, SIGINT, SIGTERM, SIGHUP and SIGQUIT (a console's Ctrl+C on Windows) write
// MESSAGE (UTF-8, a whole line) to standard error, remove the staged files (util/FileReplace.h)
// and end the process with 128 + the signal's number. Call after
// FileUtils::RemoveStagedFilesOnSignals. InterruptedPosix.cpp and InterruptedWin.cpp.
void SayOnInterrupt(const QByteArray& message);

}  // namespace tooltext
