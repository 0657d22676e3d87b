#include "InitProg.h"

#include "util/FileUtils.h"
#include "util/WinShell.h"

#include <QCoreApplication>
#include <QDir>

namespace InitProg {

namespace {

QString gExecutable;
QString gProgPath;
QString gAppSubDir;

QString DirectoryOf(const QString& fileName)
{
    return fileName.left(fileName.lastIndexOf(QDir::separator()) + 1);
}

} // namespace

void Initialize(const QString& executablePath)
{
    gExecutable = executablePath;
    gProgPath = DirectoryOf(executablePath);
    gAppSubDir.clear();
}

QString ExecutablePath()
{
    if (gExecutable.isEmpty() && QCoreApplication::instance() != nullptr)
        return QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    return gExecutable;
}

QString ProgPath()
{
    return gExecutable.isEmpty() ? DirectoryOf(ExecutablePath()) : gProgPath;
}

QString AppSubDir() { return gAppSubDir; }

QString BuildAppDataPath(const QString& subDir, bool create)
{
    const QString folder = WinShell::GetAppDataFolderPath();
    if (folder.isEmpty())
        return ProgPath();
    const QString path = FileUtils::EnsureTrailingDelimiter(folder) + subDir;
    // mkpath counts an existing directory as made.
    if (create && !QDir().mkpath(path))
        return ProgPath();
    return path;
}

UserPaths GetUserPaths()
{
    UserPaths paths;
    paths.appDataPath = BuildAppDataPath(AppSubDir(), true);
    const QString personal = WinShell::GetPersonalFolderPath();
    paths.userPath = personal.isEmpty() ? QString(QDir::separator()) : FileUtils::EnsureTrailingDelimiter(personal);
    return paths;
}

} // namespace InitProg
