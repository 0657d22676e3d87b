// The names the folder chooser's parts share.
#include "ShellDirCommon.h"

#include "FileUtils.h"
#include "GgtDummy.h"

#include <QDir>

namespace ShellDirDlg {

QString Tr(const QString& text)
{
    return GgtDummy::TranslateText(kDomain, text);
}

bool Exists(const QString& dir)
{
    return !dir.isEmpty() && FileUtils::DirectoryExists(dir);
}

bool IsInside(const QString& path, const QString& top)
{
    // The empty top is the computer with every drive (Windows).
    return top.isEmpty() || top == QDir::rootPath() || path == top || path.startsWith(top + QLatin1Char('/'));
}

}  // namespace ShellDirDlg
