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
    QString path;  // the table file as given, or a folder's path joined with its entry
    QString name;  // the file's stem as written ("Kunden" for "Kunden.DB"), after the subfolders
                   // it lies in below a folder read with its subfolders ("Archiv_2019_Kunden")
    // A stem that is not UTF-8 (source/FileNames.h): its bytes, decoded with the table's code
    // page once the table is open and appended to NAME, which holds the subfolders' part only.
    QByteArray stemBytes;
    QString shown;  // PATH for messages: bytes that are not UTF-8 escaped; empty: PATH itself

    QString Shown() const { return shown.isEmpty() ? path : shown; }
};

// Which tables of the given folders are taken.
struct Selection {
    bool recursive = false;  // subfolders too, their tables named after the path below the folder
    QStringList only;        // stems or table names (any case) to take; empty: all
    QStringList exclude;     // stems or table names (any case) to leave out
};

struct Collection {
    std::vector<TableFile> tables;
    QStringList problems;  // a table that cannot be taken: German, naming the file
    QStringList notes;     // worth saying, nothing lost
};

// What the arguments name: each PATH is a table file or a folder, whose ".db" files (any case)
// are taken in name order (with SELECTION.recursive its subfolders' too, after its own, each
// in name order; links to folders are not followed). One file reached by two names (a link
// beside its table) is taken once, under the name of the file that is no link, and a note
// says so. OUTFILE is never taken: a folder's entry that is OUTFILE is left out, a PATH that
// is OUTFILE is a problem. A name that equals an earlier one ignoring case, or is no usable
// SQLite table name, is a problem instead of a table, as is a PATH that does not exist, a
// name of SELECTION.only that matches no table; a name made from subfolders that equals an
// earlier one gets "_2" (then "_3", ...) and a note. A folder without tables adds a note.
// Each name is looked at once: the time grows with the number of files, not its square.
Collection CollectTables(const QStringList& paths, const QString& outFile, const Selection& selection = {});

// The declared SQLite type of a Paradox field type (its letter: A, D, S, ...).
QString DeclaredType(char typeLetter);

struct Options {
    QString codePage;      // forces the tables' code page; empty: as each table says
    bool replace = false;  // an existing output file may be replaced
    bool indexes = true;   // secondary indexes (.Xnn/.XGn) become CREATE INDEX statements
};

// What went in of a table.
struct TableRows {
    std::uint64_t rows = 0;        // rows written
    std::uint64_t headerRows = 0;  // rows the table's header names
    bool damaged = false;          // rows of it were lost; a Warning said which
};

// Told about each table as the export goes on.
class Listener {
public:
    virtual ~Listener() = default;
    virtual void TableDone(const TableFile& table, const TableRows& rows) = 0;
    // MESSAGE is the engine's German message naming the table file, or why SQLite refused it.
    virtual void TableFailed(const TableFile& table, const QString& message) = 0;
    virtual void Warning(const QString& message) = 0;
    // Table NUMBER (from 1) of TOTAL is about to be read.
    virtual void TableStarting(const TableFile& /*table*/, int /*number*/, int /*total*/) {}
    // Rows done so far of a table the header says has TOTAL rows; every few thousand rows.
    virtual void Progress(const TableFile& /*table*/, std::uint64_t /*done*/, std::uint64_t /*total*/) {}
};

struct Result {
    int exported = 0;  // damaged ones too
    int damaged = 0;   // went in with the rows that could be read
    int failed = 0;
    QString fatal;  // set when the output file could not be made: nothing was written
    bool outputExists = false;  // FATAL says that the output exists and --replace was not given
};

// Builds OUTFILE from TABLES: the database is made under a temporary name beside OUTFILE and
// renamed over it once the last table is in, each table in one transaction. A table that cannot
// be read is reported and left out; the others go on. A damaged table goes in with the rows that
// could be read, and a warning says what was lost. When no table went in, OUTFILE is left
// as it was. An existing OUTFILE is replaced only with OPTIONS.replace, and never while another
// program has it open or locked.
Result ExportTables(const QString& outFile, const std::vector<TableFile>& tables, const Options& options,
                    Listener& listener);

}  // namespace SqliteExport
