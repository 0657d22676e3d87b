#include "CatalogSources.h"

#include "source/FileNames.h"
#include "source/SourceTable.h"
#include "source/TableFiles.h"
#include "util/FileReplace.h"
#include "util/FileUtils.h"

#include <QDir>

#include <algorithm>

namespace CatalogSources {

namespace {

using FileUtils::SafeFormat;

const QString kAlbumSuffix = QStringLiteral("-Album.db");
const QString kTitleSuffix = QStringLiteral("-Titel.db");

// NAME for a message: control characters written as \xNN, as bytes that are not UTF-8 are.
QString Shown(const QString& name)
{
    QString shown;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("\\x") + QStringLiteral("%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    return shown;
}

} // namespace

QString NameProblem(const QString& name)
{
    QString reason;
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        reason = QStringLiteral("\".\" und \"..\" stehen für Verzeichnisse");
    for (const QChar c : pdx::PathCharacters())
        if (reason.isEmpty() && name.contains(c))
            reason = SafeFormat(QStringLiteral("er enthält \"%s\"; ein Verzeichnis gehört ins Stammverzeichnis"),
                                {QString(c)});
    for (const QChar c : name)
        if (reason.isEmpty() && (c.unicode() < 0x20 || c.unicode() == 0x7F))
            reason = QStringLiteral("er enthält ein Steuerzeichen");
    if (reason.isEmpty() && !name.isEmpty() && name.front().isSpace())
        reason = QStringLiteral("er beginnt mit einem Leerzeichen");
    if (reason.isEmpty() && !name.isEmpty() && name.back().isSpace())
        reason = QStringLiteral("er endet mit einem Leerzeichen");
    if (reason.isEmpty())
        return {};
    return SafeFormat(QStringLiteral("Der Katalogname \"%s\" ist nicht zulässig: %s."),
                      {pdx::DisplayFileName(Shown(name)), reason});
}

QString NameAsStored(const QString& root, const QString& name)
{
    const QString album = pdx::FindIgnoringCase(root, name + kAlbumSuffix);
    if (album.size() < kAlbumSuffix.size())
        return name;
    // The suffix is ASCII: what stands before it in the found name is the catalog's part.
    const QString fileName = album.mid(std::max(album.lastIndexOf(u'/'), album.lastIndexOf(QDir::separator())) + 1);
    const QString stored = fileName.left(fileName.size() - kAlbumSuffix.size());
    if (stored != name && stored.normalized(QString::NormalizationForm_C) == name.normalized(QString::NormalizationForm_C))
        return stored;
    return name;
}

QString SourceFileAt(const QString& target, const QString& root, const QString& name)
{
    if (pdx::KindOf(target) != pdx::FileKind::Regular)
        return {};
    for (const QString& suffix : {kAlbumSuffix, kTitleSuffix}) {
        const QString table = pdx::FindIgnoringCase(root, name + suffix);
        if (table.isEmpty())
            continue;
        for (const QString& file : pdx::TableFiles(table))
            if (FileUtils::SameFile(file, target))
                return file;
    }
    return {};
}

}  // namespace CatalogSources
