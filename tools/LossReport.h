#pragma once
// What paradox2sqlite and paradox-dump say after a table about values they could not take as
// stored: one line per kind, with the count and the first row.

#include "source/SourceTable.h"

#include <QString>
#include <QStringList>

namespace tooltext {

// "TypSammlung: 1 Datum außerhalb des Bereichs als NULL (Zeile 3)", one line for each kind of
// loss SOURCE counted, in a fixed order; empty when nothing was lost. Rows count from 1 in the
// order the rows were read. A missing memo file is named in its line (or, when no value
// needed it, in a line of its own).
QStringList LossLines(const QString& tableName, const pdx::SourceTable& source);

}  // namespace tooltext
