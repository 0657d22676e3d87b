#pragma once
// paradox2sqlite's work: Paradox tables, each into one table of a new SQLite database.
//
// Values follow pdx::FormOf and pdx::TextOf (source/ValueText.h), the rules paradox-dump
// prints by: blank as NULL, integers as INTEGER, number and currency as REAL, logical as 1/0,
// text, BCD, dates and times as TEXT, bytes and BLOBs as BLOB.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace SqliteExport {

// A table to export: its file, and the name of the SQLite table it becomes.
struct TableFile {
    QString path;  // the table file as given, or a directory's path joined with its entry
    QString name;  // the file's stem as written ("Kunden" for "Kunden.DB")
};

// What the arguments name: each PATH is a table file or a directory, whose ".db" files (any
// case) are taken in name order. A file listed twice is taken once, and OUTFILE is never taken:
// a directory's entry that is OUTFILE is left out, a PATH that is OUTFILE is a PROBLEMS entry.
// A name that equals an earlier one ignoring case, or is no usable SQLite table name, makes an
// entry of PROBLEMS (German, naming the file) instead of a table, as does a PATH that does
// not exist. A directory without tables adds a line to NOTES.
std::vector<TableFile> CollectTables(const QStringList& paths, const QString& outFile, QStringList& problems,
                                     QStringList& notes);

// The declared SQLite type of a Paradox field type (its letter: A, D, S, ...).
QString DeclaredType(char typeLetter);

struct Options {
    QString codePage;      // forces the tables' code page; empty: as each table says
    bool replace = false;  // an existing output file may be replaced
};

// Told about each table as the export goes on.
class Listener {
public:
    virtual ~Listener() = default;
    virtual void TableDone(const TableFile& table, std::uint64_t rows) = 0;
    // MESSAGE is the engine's German message naming the table file, or why SQLite refused it.
    virtual void TableFailed(const TableFile& table, const QString& message) = 0;
    virtual void Warning(const QString& message) = 0;
    // Rows done so far of a table the header says has TOTAL rows; every few thousand rows.
    virtual void Progress(const TableFile& /*table*/, std::uint64_t /*done*/, std::uint64_t /*total*/) {}
};

struct Result {
    int exported = 0;
    int failed = 0;
    QString fatal;  // set when the output file could not be made: nothing was written
};

// Builds OUTFILE from TABLES: the database is made under a temporary name beside OUTFILE and
// renamed over it once the last table is in, each table in one transaction. A table that cannot
// be read is reported and left out; the others go on. When no table went in, OUTFILE is left
// as it was. An existing OUTFILE is replaced only with OPTIONS.replace, and never while another
// program has it open or locked.
Result ExportTables(const QString& outFile, const std::vector<TableFile>& tables, const Options& options,
                    Listener& listener);

}  // namespace SqliteExport
