#include "CatalogSelection.h"

#include "util/FileUtils.h"

#include <QDir>

namespace CatalogSelection {

QString CaseInsensitivePattern(const QString& pattern)
{
    QString spelled;
    for (QChar c : pattern) {
        const QChar upper = c.toUpper();
        const QChar lower = c.toLower();
        if (upper == lower)
            spelled += c;
        else
            spelled += QLatin1Char('[') + upper + lower + QLatin1Char(']');
    }
    return spelled;
}

QString FileDialogFilter()
{
    return FilterName + QStringLiteral(" (") + CaseInsensitivePattern(AlbumPattern) + QLatin1Char(')');
}

ChosenCatalog ResolveChosenFile(const QString& rootFieldText, const QString& fileName)
{
    ChosenCatalog chosen;
    const qsizetype split = fileName.lastIndexOf(QDir::separator()) + 1;
    chosen.directory = fileName.left(split);
    const QString name = fileName.mid(split);
    // Whether two names mean one directory is the file system's question: exact here.
    chosen.sameRoot = FileUtils::SamePathSpelling(FileUtils::EnsureTrailingDelimiter(rootFieldText), chosen.directory);
    const int p = FileUtils::PosText(QStringLiteral("-Album.db"), name);
    chosen.catalog = name.left(p > 0 ? p - 1 : 0);
    return chosen;
}

QString RootDirStart(const QString& rootFieldText, const QString& personalFolder)
{
    if (rootFieldText.isEmpty() || !FileUtils::DirectoryExists(rootFieldText))
        return personalFolder;
    return rootFieldText;
}

} // namespace CatalogSelection
