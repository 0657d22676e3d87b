#pragma once
// paradox2sqlite's guard against writing over what it reads: the output file is never one of
// the files of the tables the arguments name.

#include <QString>
#include <QStringList>

namespace SqliteExport {

// Why OUTFILE must not be written by a run that reads PATHS (tables and folders, with RECURSIVE
// their subfolders too, as CollectTables takes them), in German, naming both files; empty when
// it may. Refused is an existing OUTFILE that is no SQLite database and no empty file and
//  - is, by any name or link (the same device and inode, on Windows the same file index), a
//    file of a table the run reads or passes over: a named PATH, or any file with a Paradox
//    extension (pdx::IsParadoxFileName) in a folder read or in the folder of a named table;
//  - or bears such an extension itself or through its link.
// A missing OUTFILE, a SQLite database (an earlier run's output) and anything that is no regular
// file pass here; ExportTables says what is wrong with the latter. Nothing is written.
QString OutputIsInput(const QString& outFile, const QStringList& paths, bool recursive);

}  // namespace SqliteExport
