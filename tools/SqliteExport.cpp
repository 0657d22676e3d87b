#include "SqliteExport.h"

#include "LossReport.h"
#include "TableInfo.h"
#include "SqliteDb.h"
#include "source/SourceTable.h"
#include "source/ValueText.h"
#include "util/FileReplace.h"
#include "util/FileUtils.h"
#include "util/ReadAhead.h"

#include <sqlite3.h>

#include <QDir>
#include <QSet>
#include <QFileInfo>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>

namespace SqliteExport {

namespace {

using FileUtils::SafeFormat;

constexpr int kBusyTimeoutMs = 10000;
constexpr std::uint64_t kProgressEvery = 4096;

// The output is a new file that no other program sees before the rename, and a table that
// fails is rolled back: the rollback journal stays in memory, and the file goes to the disk
// once, when TStagedFile commits it.
const char* const kPragmas[] = {
    "PRAGMA journal_mode = MEMORY",
    "PRAGMA synchronous = OFF",
    "PRAGMA locking_mode = EXCLUSIVE",
    "PRAGMA cache_size = -8192",
};

// A prepared statement for the row loop, bound through SQLite's own calls.
// Rows read and made ready for SQLite in a thread of their own, a batch at a time, while the
// calling thread inserts the batch before: decoding and inserting overlap.
//
// A value is kept as SQLite takes it: its form, a number, or for text (UTF-8) and bytes a
// place in the batch's byte buffer.
struct Cell {
    pdx::ValueForm form = pdx::ValueForm::Null;
    std::int64_t integer = 0;
    double real = 0.0;
    std::size_t offset = 0;
    std::size_t size = 0;
};

struct Batch {
    std::vector<Cell> cells;  // row after row, one cell per field
    TBatchBytes bytes;
    std::size_t rows = 0;
};

// Fills batches with the rows of a table, on the reading thread of a TReadAhead.
class RowFiller {
public:
    // A batch ends after this many rows, or once its bytes pass kBatchBytes (BLOBs).
    static constexpr std::size_t kBatchRows = 1024;
    static constexpr std::size_t kBatchBytes = std::size_t(1) << 20;

    explicit RowFiller(pdx::SourceTable& source)
        : source_(source), values_(source.Fields().size(), pdx::Value{})
    {
    }

    bool Fill(Batch& batch)
    {
        batch.cells.clear();
        batch.bytes.Clear();
        batch.rows = 0;
        if (!started_) {
            source_.First();
            started_ = true;
        }
        for (; !source_.Eof(); source_.Next()) {
            if (batch.rows == kBatchRows || batch.bytes.Size() >= kBatchBytes)
                return true;
            for (std::size_t i = 0; i < values_.size(); ++i) {
                pdx::Value& v = values_[i];
                source_.Read(int(i), v);
                Cell cell;
                cell.form = pdx::FormOf(v);
                switch (cell.form) {
                case pdx::ValueForm::Null:
                    break;
                case pdx::ValueForm::Integer:
                case pdx::ValueForm::Logical:
                    cell.integer = v.integer;
                    break;
                case pdx::ValueForm::Real:
                    cell.real = v.floating;
                    break;
                case pdx::ValueForm::Text: {
                    // Alpha, memo and BCD values hold their text already.
                    const bool holdsText = v.kind == pdx::Value::Kind::Text || v.kind == pdx::Value::Kind::Decimal;
                    const QString formatted = holdsText ? QString() : pdx::TextOf(v);
                    const QString& text = holdsText ? v.text : formatted;
                    char* start = batch.bytes.Reserve(std::size_t(utf8_.requiredSpace(text.size())));
                    cell.offset = batch.bytes.Size();
                    cell.size = std::size_t(utf8_.appendToBuffer(start, text) - start);
                    batch.bytes.Grow(cell.size);
                    break;
                }
                case pdx::ValueForm::Blob:
                    cell.offset = batch.bytes.Size();
                    cell.size = std::size_t(v.bytes.size());
                    if (cell.size)
                        std::memcpy(batch.bytes.Reserve(cell.size), v.bytes.constData(), cell.size);
                    batch.bytes.Grow(cell.size);
                    break;
                }
                batch.cells.push_back(cell);
            }
            ++batch.rows;
        }
        return false;
    }

private:
    pdx::SourceTable& source_;
    std::vector<pdx::Value> values_;
    QStringEncoder utf8_{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    bool started_ = false;
};

// A table's rows broke its key at ROW (counted from 1): a repeated key, or a blank one where
// SQLite takes the key as the row's number.
struct KeyBroken {
    std::uint64_t row;
};

class TableWriter {
public:
    // SQLite refused the CREATE TABLE (two fields of one name, say).
    struct CreateFailed {
        QString reason;
    };

    TableWriter(SqliteConnection& db, pdx::SourceTable& source, const TableFile& table, Listener& listener)
        : db_(db), source_(source), table_(table), listener_(listener),
          columns_(Columns(source, table, listener))
    {
    }

    const QStringList& Columns() const { return columns_; }

    static QStringList Columns(const pdx::SourceTable& source, const TableFile& table, Listener& listener)
    {
        QStringList warnings;
        const QStringList columns = ColumnNames(source.Fields(), table, warnings);
        for (const QString& warning : warnings)
            listener.Warning(warning);
        return columns;
    }

    // Creates and fills the table in one transaction; returns the rows. A broken key raises
    // KeyBroken, the engine's failures pdx::SourceError, SQLite's SqliteError; the
    // transaction is rolled back before any of them leaves.
    std::uint64_t Write(int keyFields)
    {
        // A second reading (without the key) counts its losses afresh.
        source_.ResetLosses();
        db_.Execute(QStringLiteral("BEGIN"));
        try {
            const std::uint64_t rows = Fill(keyFields);
            db_.Execute(QStringLiteral("COMMIT"));
            return rows;
        } catch (...) {
            sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

private:
    std::uint64_t Fill(int keyFields)
    {
        const auto& fields = source_.Fields();
        const QString create = CreateTableSql(table_.name, columns_, fields, keyFields);
        if (sqlite3_exec(db_.Handle(), create.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw CreateFailed{QString::fromUtf8(sqlite3_errmsg(db_.Handle()))};

        // A single INTEGER key is the row's number in SQLite, which cannot be NULL.
        const bool rowidKey = keyFields == 1 && DeclaredType(pdx::TypeLetter(fields[0].type)) == QLatin1String("INTEGER");

        QStringList parameters;
        for (std::size_t i = 0; i < fields.size(); ++i)
            parameters << QStringLiteral("?");
        const SqliteStatement insert(db_, QStringLiteral("INSERT INTO %1 VALUES (%2)")
                                        .arg(QuoteSqlIdentifier(table_.name), parameters.join(QStringLiteral(", "))));
        sqlite3_stmt* stmt = insert.Handle();

        const std::size_t count = fields.size();
        const std::uint64_t total = source_.RecordCount();
        std::uint64_t rows = 0;
        RowFiller filler(source_);
        TReadAhead<Batch> reader([&filler](Batch& batch) { return filler.Fill(batch); });
        while (Batch* batch = reader.Next()) {
            const Cell* cell = batch->cells.data();
            for (std::size_t r = 0; r < batch->rows; ++r) {
                for (std::size_t i = 0; i < count; ++i, ++cell) {
                    const int parameter = int(i) + 1;
                    int rc = SQLITE_OK;
                    switch (cell->form) {
                    case pdx::ValueForm::Null:
                        if (rowidKey && i == 0)
                            throw KeyBroken{rows + 1};
                        rc = sqlite3_bind_null(stmt, parameter);
                        break;
                    case pdx::ValueForm::Integer:
                    case pdx::ValueForm::Logical:
                        rc = sqlite3_bind_int64(stmt, parameter, cell->integer);
                        break;
                    case pdx::ValueForm::Real:
                        rc = sqlite3_bind_double(stmt, parameter, cell->real);
                        break;
                    case pdx::ValueForm::Text:
                        // Never a null pointer, which SQLite would store as NULL.
                        rc = sqlite3_bind_text64(stmt, parameter, cell->size ? batch->bytes.At(cell->offset) : "",
                                                 cell->size, SQLITE_STATIC, SQLITE_UTF8);
                        break;
                    case pdx::ValueForm::Blob:
                        rc = cell->size ? sqlite3_bind_blob64(stmt, parameter, batch->bytes.At(cell->offset),
                                                              cell->size, SQLITE_STATIC)
                                        : sqlite3_bind_zeroblob(stmt, parameter, 0);
                        break;
                    }
                    if (rc != SQLITE_OK)
                        db_.Fail(SafeFormat(QStringLiteral("Wert für Zeile %u der Tabelle \"%s\" nicht übergeben"),
                                            {std::uint32_t(rows + 1), table_.name}));
                }
                const int rc = sqlite3_step(stmt);
                if (rc != SQLITE_DONE) {
                    if (keyFields > 0 && sqlite3_extended_errcode(db_.Handle()) == SQLITE_CONSTRAINT_PRIMARYKEY)
                        throw KeyBroken{rows + 1};
                    db_.Fail(SafeFormat(QStringLiteral("Zeile %u der Tabelle \"%s\" wurde abgelehnt"),
                                        {std::uint32_t(rows + 1), table_.name}));
                }
                sqlite3_reset(stmt);
                if (++rows % kProgressEvery == 0)
                    listener_.Progress(table_, rows, total);
            }
            reader.Recycle(batch);
        }
        return rows;
    }

    SqliteConnection& db_;
    pdx::SourceTable& source_;
    const TableFile& table_;
    Listener& listener_;
    const QStringList columns_;
};

QString KeyText(const pdx::SourceTable& source)
{
    QStringList names;
    for (int k = 0; k < source.KeyFieldCount(); ++k)
        names << u'"' + source.Fields()[std::size_t(k)].name + u'"';
    return names.join(QStringLiteral(", "));
}

// The secondary indexes beside TABLE, made in SQLite; one that SQLite refuses is a warning.
void CreateIndexes(SqliteConnection& db, const TableFile& table, const pdx::SourceTable& source,
                   const QStringList& columns, FolderNames& names, Listener& listener)
{
    QStringList warnings;
    for (const IndexDef& index : FindIndexes(table, table.name, source, columns, names, warnings)) {
        const QString sql = CreateIndexSql(table.name, index);
        if (sqlite3_exec(db.Handle(), sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            warnings << SafeFormat(QStringLiteral("Warnung: Der Index \"%s\" der Tabelle \"%s\" wurde nicht angelegt (%s)."),
                                   {index.file, table.Shown(), QString::fromUtf8(sqlite3_errmsg(db.Handle()))});
    }
    for (const QString& warning : warnings)
        listener.Warning(warning);
}

enum class Exported { No, Whole, Damaged };

// Exports one table; No when it could not be read or created, Damaged when rows of it were lost
// (the listener was told why).
Exported ExportOne(SqliteConnection& db, const TableFile& given, const Options& options, FolderNames& names,
                   Listener& listener)
{
    pdx::SourceTable source;
    source.SetCodePage(options.codePage);
    // A missing memo file costs the values kept in it, not the table.
    source.SetMissingMemoAsBlank(true);
    source.SetFileFinder(names.Finder());
    TableFile table = given;
    try {
        const qsizetype slash = std::max(table.path.lastIndexOf(u'/'), table.path.lastIndexOf(u'\\'));
        source.Open(slash < 0 ? QString() : table.path.left(slash + 1), table.path.mid(slash + 1));
        if (!table.stemBytes.isEmpty()) {
            // A file name that is not UTF-8 is read in the table's code page.
            table.name += source.DecodeBytes(table.stemBytes);
            listener.Warning(SafeFormat(QStringLiteral("Hinweis: Der Dateiname \"%s\" ist kein UTF-8; mit der Codepage "
                                                       "%s gelesen heißt die Tabelle \"%s\"."),
                                        {table.Shown(), source.CodePageName(), table.name}));
        }
        TableWriter writer(db, source, table, listener);
        std::uint64_t rows = 0;
        try {
            rows = writer.Write(source.KeyFieldCount());
        } catch (const KeyBroken& broken) {
            listener.Warning(SafeFormat(
                QStringLiteral("Warnung: In der Tabelle \"%s\" ist der Schlüssel (%s) in Zeile %u doppelt oder leer; "
                               "die Tabelle wird ohne PRIMARY KEY übernommen."),
                {table.Shown(), KeyText(source), std::uint32_t(broken.row)}));
            rows = writer.Write(0);
        }
        for (const QString& line : tooltext::LossLines(table.name, source))
            listener.Warning(line);
        const pdx::TableDamage& damage = source.Damage();
        if (damage.RowsLost())
            listener.Warning(pdx::DamageText(source.FilePath(), damage));
        else if (const QString note = pdx::DamageNote(source.FilePath(), damage); !note.isEmpty())
            listener.Warning(note);
        if (options.indexes)
            CreateIndexes(db, table, source, writer.Columns(), names, listener);
        listener.TableDone(table, {rows, source.Header().numRecords, damage.RowsLost()});
        return damage.RowsLost() ? Exported::Damaged : Exported::Whole;
    } catch (const pdx::SourceError& failure) {
        listener.TableFailed(table, failure.Message());
    } catch (const TableWriter::CreateFailed& failure) {
        listener.TableFailed(table, SafeFormat(QStringLiteral("Die Tabelle \"%s\" kann nicht als \"%s\" angelegt werden (%s)"),
                                               {table.Shown(), table.name, failure.reason}));
    }
    return Exported::No;
}

QString StagingFailure(const FileUtils::TStagedFile& staged, std::uint32_t code)
{
    return FileUtils::StagingFailureText(
        staged, code, QStringLiteral("Die Datei \"%s\" wird gerade von einem anderen Programm erstellt"));
}

}  // namespace

QString DeclaredType(char typeLetter)
{
    switch (typeLetter) {
    case 'S': case 'I': case '+':
        return QStringLiteral("INTEGER");
    case 'N': case '$':
        return QStringLiteral("REAL");
    case 'L':
        return QStringLiteral("BOOLEAN");
    case 'D':
        return QStringLiteral("DATE");
    case 'T':
        return QStringLiteral("TIME");
    case '@':
        return QStringLiteral("TIMESTAMP");
    case 'A': case 'M': case '#':
        return QStringLiteral("TEXT");
    default:
        return QStringLiteral("BLOB");
    }
}

Result ExportTables(const QString& outFile, const std::vector<TableFile>& tables, const Options& options,
                    Listener& listener)
{
    Result result;
    const QFileInfo out(outFile);
    if (out.isDir()) {
        result.fatal = SafeFormat(QStringLiteral("\"%s\" ist ein Verzeichnis, keine Datei."), {outFile});
        return result;
    }
    if ((out.exists() || out.isSymLink()) && !options.replace) {
        result.outputExists = true;
        result.fatal = SafeFormat(
            QStringLiteral("Die Datei \"%s\" gibt es bereits; mit --replace wird sie ersetzt."), {outFile});
        return result;
    }

    // The output keeps the permission bits of the file it replaces, read-only ones included.
    FileUtils::TStagedFile staged(outFile, FileUtils::TStagedFile::ModeRule::Keep);
    if (const std::uint32_t code = staged.Create()) {
        result.fatal = StagingFailure(staged, code);
        return result;
    }
    try {
        SqliteConnection db;
        db.Open(staged.TempName(), kBusyTimeoutMs, outFile);
        for (const char* pragma : kPragmas)
            db.Execute(QString::fromLatin1(pragma));
        int number = 0;
        FolderNames names;
        for (const TableFile& table : tables) {
            listener.TableStarting(table, ++number, int(tables.size()));
            switch (ExportOne(db, table, options, names, listener)) {
            case Exported::Damaged:
                ++result.damaged;
                [[fallthrough]];
            case Exported::Whole:
                ++result.exported;
                break;
            case Exported::No:
                ++result.failed;
                break;
            }
        }
        db.Close();
    } catch (const SqliteError& failure) {
        staged.Discard();
        result.fatal = failure.Text();
        return result;
    } catch (const std::exception& failure) {
        // Out of memory, say: nothing is written.
        staged.Discard();
        result.fatal = QString::fromUtf8(failure.what());
        return result;
    }
    if (result.exported == 0) {
        staged.Discard();
        return result;
    }
    if (const std::uint32_t code = staged.Commit())
        result.fatal = StagingFailure(staged, code);
    else if (!staged.Warning().isEmpty())
        listener.Warning(staged.Warning());
    return result;
}

}  // namespace SqliteExport
