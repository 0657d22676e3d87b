#pragma once
// paradox2sqlite --list and --schema: what the tables are, and the SQL the export would run.

#include "SqliteExport.h"

#include <QString>

#include <cstdio>
#include <vector>

namespace SqliteExport {

// A table's rows as its line says them: "55 Zeilen", "1 Zeile", and for a damaged table
// "19.914 von 20.000 Zeilen, beschädigt".
QString RowsText(const TableRows& rows);

// Writes a line to a stream; throws when standard output cannot be written.
using LinePrinter = void (*)(std::FILE* stream, const QString& line);

// One line per table on stdout: name, rows, fields, key fields, version, code page, block
// size, whether encrypted, memo file, indexes; with JSON one object per line. A damaged table
// is listed with the rows that can be read, and a message on stderr says what is lost. Messages
// go to stderr. Returns how many tables could not be read whole.
int ListTables(const std::vector<TableFile>& tables, const Options& options, bool json, LinePrinter print);

// The CREATE TABLE and CREATE INDEX statements of each table on stdout, each ending in ';'.
// Returns how many tables could not be read.
int PrintSchema(const std::vector<TableFile>& tables, const Options& options, LinePrinter print);

}  // namespace SqliteExport
