#pragma once
// paradox2sqlite --list and --schema: what the tables are, and the SQL the export would run.

#include "SqliteExport.h"

#include <QString>

#include <cstdio>
#include <vector>

namespace SqliteExport {

// Writes a line to a stream; throws when standard output cannot be written.
using LinePrinter = void (*)(std::FILE* stream, const QString& line);

// One line per table on stdout: name, rows, fields, key fields, version, code page, block
// size, whether encrypted, memo file, indexes; with JSON one object per line. Messages go to
// stderr. Returns how many tables could not be read.
int ListTables(const std::vector<TableFile>& tables, const Options& options, bool json, LinePrinter print);

// The CREATE TABLE and CREATE INDEX statements of each table on stdout, each ending in ';'.
// Returns how many tables could not be read.
int PrintSchema(const std::vector<TableFile>& tables, const Options& options, LinePrinter print);

}  // namespace SqliteExport
