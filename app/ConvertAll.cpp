#include "ConvertAll.h"

#include "FailureDisplay.h"
#include "source/FileNames.h"
#include "source/SourceTable.h"

#include <QDir>

#include <exception>

namespace ConvertAll {

namespace {

const QString kAlbumSuffix = QStringLiteral("-Album.db");
const QString kTitleSuffix = QStringLiteral("-Titel.db");

}  // namespace

QStringList FindCatalogs(const QString& root, QStringList* albumsWithoutTitles)
{
    QStringList catalogs;
    // Every name the folder holds, those that are not UTF-8 too (source/FileNames.h).
    std::vector<pdx::DirEntry> entries;
    pdx::ListDirectory(root, entries);
    QStringList names;
    for (const pdx::DirEntry& entry : entries)
        if (entry.kind != pdx::FileKind::Directory)
            names << entry.name;
    names.sort();
    for (const QString& name : names) {
        if (name.size() <= kAlbumSuffix.size() || !name.endsWith(kAlbumSuffix, Qt::CaseInsensitive))
            continue;
        // Only what the conversion would open: a regular file, links followed.
        if (pdx::FindIgnoringCase(root, name).isEmpty())
            continue;
        const QString catalog = name.left(name.size() - kAlbumSuffix.size());
        if (!pdx::FindIgnoringCase(root, catalog + kTitleSuffix).isEmpty())
            catalogs << catalog;
        else if (albumsWithoutTitles)
            *albumsWithoutTitles << name;
    }
    return catalogs;
}

std::vector<CatalogOutcome> ConvertCatalogs(const ConvertRequest& base, const QStringList& catalogs,
                                            ConvertPrompts& prompts,
                                            const std::function<void(const CatalogOutcome&)>& done)
{
    std::vector<CatalogOutcome> outcomes;
    for (const QString& catalog : catalogs) {
        ConvertRequest request = base;
        request.catalog = catalog;
        CatalogOutcome outcome{catalog, Outcome::Failed, {}, {}};
        try {
            const ConvertResult result = ConvertCatalog(request, prompts);
            if (result.outcome == ConvertOutcome::Converted) {
                outcome.outcome = Outcome::Converted;
                outcome.status = result.status;
                outcome.warnings = result.warnings;
            } else if (result.outcome == ConvertOutcome::Declined) {
                outcome.outcome = Outcome::Declined;
            } else if (result.outcome == ConvertOutcome::Damaged) {
                outcome.outcome = Outcome::Damaged;
            }
        } catch (const std::exception& failure) {
            prompts.ShowError(FailureDisplayText(QString::fromUtf8(failure.what())));
        }
        outcomes.push_back(outcome);
        if (done)
            done(outcome);
    }
    return outcomes;
}

QString StatusLine(const CatalogOutcome& outcome)
{
    switch (outcome.outcome) {
    case Outcome::Converted: {
        QString status = outcome.status;
        status.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        return outcome.catalog + QStringLiteral(": ") + status;
    }
    case Outcome::Declined:
        return outcome.catalog + QStringLiteral(": nicht konvertiert, die vorhandene Datei bleibt");
    case Outcome::Damaged:
        return outcome.catalog + QStringLiteral(": nicht konvertiert (Tabelle beschädigt)");
    case Outcome::Failed:
        break;
    }
    return outcome.catalog + QStringLiteral(": nicht konvertiert (Fehler)");
}

QString SummaryLine(const std::vector<CatalogOutcome>& outcomes)
{
    int converted = 0, declined = 0, failed = 0;
    for (const CatalogOutcome& outcome : outcomes) {
        switch (outcome.outcome) {
        case Outcome::Converted: ++converted; break;
        case Outcome::Declined: ++declined; break;
        case Outcome::Failed: case Outcome::Damaged: ++failed; break;
        }
    }
    const int total = int(outcomes.size());
    QString line = total == 1 ? QStringLiteral("%1 von 1 Katalog konvertiert").arg(converted)
                              : QStringLiteral("%1 von %2 Katalogen konvertiert").arg(converted).arg(total);
    if (failed)
        line += QStringLiteral(", %1 fehlgeschlagen").arg(failed);
    if (declined)
        line += QStringLiteral(", %1 nicht ersetzt").arg(declined);
    return line + u'.';
}

}  // namespace ConvertAll
