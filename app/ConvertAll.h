#pragma once
// Every catalog of a root directory, one after the other through the conversion command: the
// command-line converter's --all.

#include "ConvertCommand.h"

#include <QStringList>

#include <functional>
#include <vector>

namespace ConvertAll {

// The catalogs in ROOT: each "NAME-Album.db" (any case) whose "NAME-Titel.db" is there too (any
// case, as the conversion finds it), NAME as the album table's file name has it, in name order.
// Album tables without titles are named in ALBUMSWITHOUTTITLES when given.
QStringList FindCatalogs(const QString& root, QStringList* albumsWithoutTitles = nullptr);

enum class Outcome { Converted, Declined, Failed, Damaged };

struct CatalogOutcome {
    QString catalog;
    Outcome outcome = Outcome::Failed;
    QString status;  // the status text when converted
    QStringList warnings;  // warnings that go with it (ConvertResult::warnings)
};

// Converts each of CATALOGS with the root, program directory and code page of BASE, asking
// and reporting through PROMPTS as a single conversion does. A failure (also one the
// conversion raises, shown through PROMPTS.ShowError) does not stop the others. DONE is called
// after each catalog.
std::vector<CatalogOutcome> ConvertCatalogs(const ConvertRequest& base, const QStringList& catalogs,
                                            ConvertPrompts& prompts,
                                            const std::function<void(const CatalogOutcome&)>& done);

// "Jazz: 12 Alben und 140 Titel nach "…" konvertiert!", "Jazz: nicht konvertiert", ...: one line.
QString StatusLine(const CatalogOutcome& outcome);
// "2 von 3 Katalogen konvertiert, 1 fehlgeschlagen." A catalog left unconverted because a table
// of it is damaged counts as failed.
QString SummaryLine(const std::vector<CatalogOutcome>& outcomes);

}  // namespace ConvertAll
