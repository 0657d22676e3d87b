// Names and folders on Windows: names are UTF-16 already, and Qt reads every one.

#include "FileNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace pdx {

namespace {

FileKind KindOfInfo(const QFileInfo& info)
{
    if (!info.exists())
        return FileKind::Missing;
    return info.isDir() ? FileKind::Directory : info.isFile() ? FileKind::Regular : FileKind::Other;
}

} // namespace

FileKind KindOf(const QString& path)
{
    return KindOfInfo(QFileInfo(path));
}

bool IsSymbolicLink(const QString& path)
{
    return QFileInfo(path).isSymLink();
}

QByteArray FileIdentity(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QByteArray() : canonical.toLower().toUtf8();
}

bool ListDirectory(const QString& directory, std::vector<DirEntry>& entries)
{
    const QDir dir(directory.isEmpty() ? QStringLiteral(".") : directory);
    if (!dir.exists())
        return false;
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort))
        entries.push_back({info.fileName(), KindOfInfo(info), info.isSymLink()});
    return true;
}

QString PathCharacters()
{
    return QStringLiteral("/\\:");
}

QStringList CommandLineArguments(int /*argc*/, char** /*argv*/)
{
    return QCoreApplication::arguments().mid(1);
}

QString ExecutableFileName()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
}

} // namespace pdx
