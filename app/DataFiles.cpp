#include "DataFiles.h"

#include "util/FileUtils.h"

#include <QDir>
#include <QFileInfo>

namespace DataFiles {

QStringList TemplateShareDirs()
{
    return {QStringLiteral("katalogkonverter")};
}

QStringList InfoPageShareDirs()
{
    return {QStringLiteral("katalogkonverter"), QStringLiteral("doc/katalogkonverter")};
}

QStringList Candidates(const QString& programDir, const QString& fileName, const QStringList& shareDirs)
{
    QStringList candidates{QDir::toNativeSeparators(programDir + fileName)};
    // Through a link to the executable or to its directory, share/ is the one of the real tree.
    const QString realDir = QFileInfo(programDir).canonicalFilePath();
    if (realDir.isEmpty())
        return candidates;
    for (const QString& shareDir : shareDirs) {
        const QString path = realDir + QStringLiteral("/../share/") + shareDir + u'/' + fileName;
        candidates << QDir::toNativeSeparators(QDir::cleanPath(path));
    }
    return candidates;
}

QString Locate(const QString& programDir, const QString& fileName, const QStringList& shareDirs)
{
    const QStringList candidates = Candidates(programDir, fileName, shareDirs);
    for (const QString& candidate : candidates) {
        if (FileUtils::FileExists(candidate))
            return candidate;
    }
    return candidates.front();
}

} // namespace DataFiles
