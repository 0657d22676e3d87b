#pragma once
// Where the program lives and where it keeps its settings. The program directory is fixed once,
// first thing in main(), before any window exists; the folder look-ups run when asked.

#include <QString>

namespace InitProg {

// Fixes the program's own paths from the executable's full name: ProgPath becomes its directory
// with the trailing delimiter, AppSubDir the empty text.
void Initialize(const QString& executablePath);

// The running executable's full name (links resolved where the system tells it), else
// ARGV0 made absolute against the current directory.
QString RunningExecutable(const QString& argv0);

// The executable as given to Initialize; before that, the application's own file path.
QString ExecutablePath();
// The executable's directory with its trailing delimiter.
QString ProgPath();
// The subfolder of the application data folder that would hold the settings (empty here).
QString AppSubDir();

// The per-user application data folder with a trailing delimiter, followed by SUBDIR. Falls back
// to ProgPath when the folder is unknown, or when CREATE is set and the directory cannot be made.
QString BuildAppDataPath(const QString& subDir, bool create);

struct UserPaths {
    QString appDataPath;  // BuildAppDataPath(AppSubDir(), true)
    QString userPath;     // the documents folder with a trailing delimiter; a lone one when unknown
};
UserPaths GetUserPaths();

} // namespace InitProg
