#pragma once
// What paradox2sqlite says about a table besides its rows: the SQL that creates it and its
// secondary indexes, and the facts --list shows.

#include "SqliteExport.h"

#include "source/SourceTable.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace SqliteExport {

// The names in folders, each folder read once (a folder of thousands of tables is not read
// again for each of them).
class FolderNames {
public:
    // The names of the regular files (links followed) in the folder of PATH (a file), sorted.
    const QStringList& Beside(const QString& path);
    // FILENAME in DIRECTORY as pdx::FindIgnoringCase finds it: for SourceTable::SetFileFinder.
    QString Find(const QString& directory, const QString& fileName);
    // SourceTable's finder, through this object (which must outlive the table).
    pdx::SourceTable::FileFinder Finder();

private:
    struct Folder {
        QStringList names;
        QHash<QString, QString> folded;  // pdx::FoldedFileName -> the first name of that spelling
    };
    const Folder& Read(const QString& folder);

    QHash<QString, Folder> folders_;
};

// The folder part of PATH with its trailing '/', or empty.
QString FolderOf(const QString& path);
// The file name part of PATH.
QString FileNameOf(const QString& path);

// The memo file beside TABLE (same stem, .mb in any case); empty when there is none.
QString MemoFileOf(const TableFile& table, FolderNames& names);

// A secondary index of a table, from its .Xnn or .XGn file.
struct IndexDef {
    QString file;     // the index file's name
    QString name;     // the SQLite index name: the table's name, '_', the Paradox index's name
    QStringList columns;
    std::vector<bool> descending;  // per column: its field number has the top bit set
};

// The indexes of the table SOURCE (opened from TABLE) whose files lie beside it, COLUMNS being
// its SQLite column names. An index file that cannot be read or does not fit the table (a field
// number it does not have, other field names) is left out with a line in WARNINGS.
std::vector<IndexDef> FindIndexes(const TableFile& table, const QString& tableName, const pdx::SourceTable& source,
                                  const QStringList& columns, FolderNames& names, QStringList& warnings);

// The SQLite column names of FIELDS: a name used before (ignoring case, as SQLite compares
// them) gets "_2", "_3", ..., an empty one "Feld_N" (N its position); each rename is a line
// in WARNINGS.
QStringList ColumnNames(const std::vector<pdx::FieldInfo>& fields, const TableFile& table, QStringList& warnings);

QString CreateTableSql(const QString& tableName, const QStringList& columns,
                       const std::vector<pdx::FieldInfo>& fields, int keyFields);
QString CreateIndexSql(const QString& tableName, const IndexDef& index);

// "3.0", "3.5", "4.x", "5.x", "7.x" for the header's version byte.
QString VersionText(int versionByte);

}  // namespace SqliteExport
