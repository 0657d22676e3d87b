#pragma once
// Where the program's data files lie: the template catalog and the information page. A file
// beside the executable comes first (the build tree, a portable copy, the Windows layout); an
// installation that keeps data out of bin/ has them in ../share/SUBFOLDER/ relative to the
// executable's real directory (/usr/bin -> /usr/share/katalogkonverter).

#include <QString>
#include <QStringList>

namespace DataFiles {

// Subfolders of share/ that hold the template, and the information page, in the order tried.
QStringList TemplateShareDirs();
QStringList InfoPageShareDirs();

// The places FILENAME is looked for, in this order: PROGRAMDIR (the executable's directory with
// its trailing delimiter, taken as given) followed by FILENAME, then for each of SHAREDIRS
// DIR/../share/SHAREDIR/FILENAME, where DIR is PROGRAMDIR with every link resolved. The share
// places are left out when PROGRAMDIR is empty or does not exist.
QStringList Candidates(const QString& programDir, const QString& fileName, const QStringList& shareDirs);

// The first of the candidates that is an existing file; when none is, the first candidate, so
// that a message about the missing file names the place looked at first.
QString Locate(const QString& programDir, const QString& fileName, const QStringList& shareDirs);

} // namespace DataFiles
