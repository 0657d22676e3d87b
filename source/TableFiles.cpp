#include "TableFiles.h"

#include "FileNames.h"

#include <QDir>

#include <algorithm>
#include <vector>

namespace pdx {

namespace {

qsizetype LastSlash(const QString& path)
{
    return std::max(path.lastIndexOf(u'/'), path.lastIndexOf(QDir::separator()));
}

bool IsHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

// The stem of the name part of PATH: what stands before its last dot.
QString StemOf(const QString& path)
{
    const QString name = path.mid(LastSlash(path) + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

} // namespace

bool IsParadoxFileName(const QString& fileName)
{
    const QString name = fileName.mid(LastSlash(fileName) + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return false;
    const QString ext = name.mid(dot + 1).toUpper();
    if (ext == QLatin1String("DB") || ext == QLatin1String("MB") || ext == QLatin1String("PX"))
        return true;
    return ext.size() == 3 && (ext[0] == u'X' || ext[0] == u'Y') && (ext[1] == u'G' || IsHexDigit(ext[1])) &&
           IsHexDigit(ext[2]);
}

QStringList TableFiles(const QString& tablePath)
{
    QStringList files{tablePath};
    const qsizetype slash = LastSlash(tablePath);
    const QString folder = slash < 0 ? QString() : tablePath.left(slash + 1);
    const QString own = tablePath.mid(slash + 1);
    const QString stem = FoldedFileName(StemOf(tablePath));
    std::vector<DirEntry> entries;
    ListDirectory(folder, entries);
    for (const DirEntry& entry : entries) {
        if (entry.kind == FileKind::Regular && entry.name != own && IsParadoxFileName(entry.name) &&
            FoldedFileName(StemOf(entry.name)) == stem)
            files << folder + entry.name;
    }
    return files;
}

} // namespace pdx
