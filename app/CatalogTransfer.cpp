#include "CatalogTransfer.h"

#include "SqliteDb.h"
#include "source/SourceTable.h"
#include "source/TextDecoder.h"
#include "util/ReadAhead.h"

#include <sqlite3.h>

#include <QHash>
#include <QRegularExpression>
#include <QStringEncoder>

#include <array>
#include <span>
#include <vector>

namespace {

enum class ValueKind { Integer, Text, Float };

struct ColumnMapping {
    const char* sourceField;
    ValueKind kind;
    const char* targetColumn;
};

// Assignment order of one album row. The source's "Preis" arrives as "Preis (DM)".
constexpr std::array<ColumnMapping, 12> kAlbumMapping{{
    {"PNr", ValueKind::Integer, "PNr"},
    {"Interpret", ValueKind::Text, "Interpret"},
    {"Titel", ValueKind::Text, "Titel"},
    {"Komponist", ValueKind::Text, "Komponist"},
    {"Anz", ValueKind::Integer, "Anz"},
    {"Platte", ValueKind::Text, "Platte"},
    {"Gruppe", ValueKind::Text, "Gruppe"},
    {"Jahr", ValueKind::Integer, "Jahr"},
    {"Dauer", ValueKind::Text, "Dauer"},
    {"Preis", ValueKind::Float, "Preis (DM)"},
    {"Preis (EUR)", ValueKind::Float, "Preis (EUR)"},
    {"Mp3Dir", ValueKind::Text, "Mp3Dir"},
}};

constexpr std::array<ColumnMapping, 11> kTitleMapping{{
    {"PNr", ValueKind::Integer, "PNr"},
    {"Seite", ValueKind::Integer, "Seite"},
    {"LNr", ValueKind::Integer, "LNr"},
    {"Titel", ValueKind::Text, "Titel"},
    {"Werk", ValueKind::Text, "Werk"},
    {"Komponist", ValueKind::Text, "Komponist"},
    {"Text", ValueKind::Text, "Text"},
    {"Interpret", ValueKind::Text, "Interpret"},
    {"Aufnahme", ValueKind::Integer, "Aufnahme"},
    {"Dauer", ValueKind::Text, "Dauer"},
    {"Mp3Name", ValueKind::Text, "Mp3Name"},
}};

const char* const kPragmas[][2] = {
    {"cache_size", "10000"},
    {"locking_mode", "Exclusive"},
    {"synchronous", "Off"},
    {"journal_mode", "Delete"},
    {"foreign_keys", "On"},
};

constexpr int kBusyTimeoutMs = 10000;

// The rows of the open transaction go to the file every so many rows, before they fill the
// page cache: a commit at a cancel then writes only the pages of the last few thousand rows
// (a full cache, 40 MB, took up to a third of a second on a busy machine), and the final one
// as little.
constexpr std::uint32_t kRowsBetweenFlushes = 16 * TransferControl::kRowsBetweenChecks;

// Declared types of TABLE's columns, keyed by the column name in lower case.
QHash<QString, QString> DeclaredColumnTypes(SqliteConnection& db, const QString& table)
{
    SqliteStatement info(db, QStringLiteral("PRAGMA table_info(%1)").arg(QuoteSqlIdentifier(table)));
    QHash<QString, QString> types;
    while (info.Step())
        types.insert(info.ColumnText(1).toLower(), info.ColumnText(2));
    return types;
}

QString InsertStatement(const QString& table, std::span<const ColumnMapping> mapping)
{
    QStringList columns;
    QStringList parameters;
    for (const ColumnMapping& column : mapping) {
        columns << QuoteSqlIdentifier(QString::fromUtf8(column.targetColumn));
        parameters << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(QuoteSqlIdentifier(table), columns.join(QStringLiteral(", ")), parameters.join(QStringLiteral(", ")));
}

// Reports progress and stops a cancelled transfer; the row loops call it every few hundred rows.
class Checkpoint {
public:
    Checkpoint(const TransferControl& control, std::uint64_t albums, std::uint64_t titles) : FControl(control)
    {
        FProgress.albumsTotal = albums;
        FProgress.titlesTotal = titles;
    }
    // Rows done so far: DONE of the table that is being copied.
    void Reached(std::uint64_t TransferProgress::*table, std::uint64_t done)
    {
        if (FControl.cancel != nullptr && FControl.cancel->load(std::memory_order_relaxed))
            throw TransferCancelled();
        if (FControl.progress) {
            FProgress.*table = done;
            FControl.progress(FProgress);
        }
    }

    // Both tables are copied again from their first row.
    void Restart()
    {
        FProgress.albumsDone = 0;
        FProgress.titlesDone = 0;
    }

private:
    const TransferControl& FControl;
    TransferProgress FProgress;
};

// Runs SQL, a COMMIT with or without a BEGIN after it; a failure says WHAT was not saved.
void Commit(SqliteConnection& db, const char* sql, const QString& what)
{
    if (sqlite3_exec(db.Handle(), sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        db.Fail(what + QStringLiteral(" konnten nicht gespeichert werden"));
}

// One value of a row as the insert binds it, by the kind of its column: a number, or a text as
// a place in its batch's bytes (UTF-8).
union RowValue {
    std::int64_t integer;
    double real;
    struct {
        std::uint32_t offset;
        std::uint32_t size;
    } text;
};

// Rows read from a source table and made ready for the insert.
struct RowBatch {
    // A batch ends after kRows rows, or once its texts pass kBytes (long memos).
    static constexpr std::size_t kRows = 1024;
    static constexpr std::size_t kBytes = std::size_t(256) << 10;
    std::vector<RowValue> values;  // row after row, one per column of the mapping
    TBatchBytes texts;
    std::size_t rows = 0;          // complete rows; values after them belong to a row that failed
};

// Reads the rows of SOURCE for MAPPING, a batch at a time, with the values as the value rules
// make them: texts fitted to their column (RULES) and in UTF-8. Runs on the reading thread.
class RowFiller {
public:
    RowFiller(pdx::SourceTable& source, std::span<const ColumnMapping> mapping, std::vector<TextColumnRule> rules)
        : FSource(source), FMapping(mapping), FRules(std::move(rules)), FTexts(mapping.size())
    {
    }

    bool Fill(RowBatch& batch)
    {
        batch.values.clear();
        batch.texts.Clear();
        batch.rows = 0;
        if (!FStarted) {
            FSource.First();
            FStarted = true;
        }
        for (; !FSource.Eof(); FSource.Next()) {
            if (batch.rows == RowBatch::kRows || batch.texts.Size() >= RowBatch::kBytes)
                return true;
            if (FColumns.empty())
                LookUpFields();
            for (std::size_t i = 0; i < FMapping.size(); ++i) {
                RowValue value{};
                switch (FMapping[i].kind) {
                case ValueKind::Integer:
                    value.integer = FSource.AsInteger(FColumns[i].field);
                    break;
                case ValueKind::Float:
                    value.real = FSource.AsFloat(FColumns[i].field);
                    break;
                case ValueKind::Text:
                    value = AppendText(i, batch.texts);
                    break;
                }
                batch.values.push_back(value);
            }
            ++batch.rows;
        }
        return false;
    }

private:
    // Fields are looked up at the first row, so an empty table converts even when it lacks
    // one, while a table with rows fails at its first row, naming the field.
    void LookUpFields()
    {
        for (const ColumnMapping& column : FMapping) {
            const int field = FSource.FieldIndex(QString::fromUtf8(column.sourceField));
            const pdx::FieldType type = FSource.Fields()[std::size_t(field)].type;
            const bool holdsText = type == pdx::FieldType::Alpha || type == pdx::FieldType::Memo;
            FColumns.push_back({field, holdsText, holdsText && FSource.Decoder().ByteWise()});
        }
    }

    // The text of column I, fitted to its column, appended to TEXTS in UTF-8. The bytes of alpha
    // and memo fields in a single-byte code page go to UTF-8 directly: a byte is a character then.
    RowValue AppendText(std::size_t i, TBatchBytes& texts)
    {
        RowValue value{};
        value.text.offset = std::uint32_t(texts.Size());
        if (FColumns[i].byteWise) {
            const pdx::TextDecoder& decoder = FSource.Decoder();
            const QByteArrayView bytes = FSource.TextBytes(FColumns[i].field);
            qsizetype length = std::min<qsizetype>(bytes.size(), FRules[i].maxLength);
            if (FRules[i].trimTrailing)
                while (length > 0 && decoder.Unit(static_cast<unsigned char>(bytes[length - 1])) == u' ')
                    --length;
            char* start = texts.Reserve(3 * std::size_t(length) + 3);
            value.text.size = std::uint32_t(decoder.ToUtf8(bytes.data(), length, start) - start);
        } else {
            const QStringView text = FitText(ReadText(i), FRules[i]);
            char* start = texts.Reserve(std::size_t(FUtf8.requiredSpace(text.size())));
            value.text.size = std::uint32_t(FUtf8.appendToBuffer(start, text) - start);
        }
        texts.Grow(value.text.size);
        return value;
    }

    // The text of column I as AsString reads it. Alpha and memo fields, which hold their text,
    // are read into a buffer kept for the column, so that a row allocates nothing for them.
    const QString& ReadText(std::size_t i)
    {
        pdx::Value& value = FTexts[i];
        if (FColumns[i].holdsText)
            FSource.Read(FColumns[i].field, value);  // a blank field leaves the text empty
        else
            value.text = FSource.AsString(FColumns[i].field);
        return value.text;
    }

    pdx::SourceTable& FSource;
    std::span<const ColumnMapping> FMapping;
    std::vector<TextColumnRule> FRules;
    std::vector<pdx::Value> FTexts;
    // The source field of each column, whether it holds its text (alpha, memo), and whether that
    // text goes from its bytes to UTF-8 directly.
    struct Column {
        int field;
        bool holdsText;
        bool byteWise;
    };
    std::vector<Column> FColumns;
    QStringEncoder FUtf8{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    bool FStarted = false;
};

// Copies every row of SOURCE into TABLE, one INSERT per row with one prepared statement;
// returns the count. The rows are read on a thread of their own while the rows before them
// are inserted. Every kRowsBetweenChecks rows, and after the last, CHECKPOINT hears the count
// as DONE; with COMMITATCHECKS the transaction is committed and begun anew before, otherwise
// the changed pages are written every kRowsBetweenFlushes rows.
std::uint32_t CopyRows(pdx::SourceTable& source, SqliteConnection& db, const QString& table,
                       std::span<const ColumnMapping> mapping, Checkpoint& checkpoint,
                       std::uint64_t TransferProgress::*done, bool commitAtChecks)
{
    const SqliteStatement insert(db, InsertStatement(table, mapping));
    sqlite3_stmt* const stmt = insert.Handle();

    const QHash<QString, QString> declaredTypes = DeclaredColumnTypes(db, table);
    std::vector<TextColumnRule> rules;
    for (const ColumnMapping& column : mapping)
        rules.push_back(TextRuleForDeclaredType(declaredTypes.value(QString::fromUtf8(column.targetColumn).toLower())));

    RowFiller filler(source, mapping, std::move(rules));
    TReadAhead<RowBatch> reader([&filler](RowBatch& batch) { return filler.Fill(batch); });

    std::uint32_t count = 0;
    std::uint32_t untilCheck = TransferControl::kRowsBetweenChecks;
    while (RowBatch* batch = reader.Next()) {
        const RowValue* value = batch->values.data();
        for (std::size_t row = 0; row < batch->rows; ++row) {
            for (std::size_t i = 0; i < mapping.size(); ++i, ++value) {
                const int parameter = int(i) + 1;
                int rc = SQLITE_OK;
                switch (mapping[i].kind) {
                case ValueKind::Integer:
                    rc = sqlite3_bind_int64(stmt, parameter, value->integer);
                    break;
                case ValueKind::Float:
                    rc = sqlite3_bind_double(stmt, parameter, value->real);
                    break;
                case ValueKind::Text:
                    // Never a null pointer, which SQLite would store as NULL.
                    rc = sqlite3_bind_text(stmt, parameter,
                                           value->text.size ? batch->texts.At(value->text.offset) : "",
                                           int(value->text.size), SQLITE_STATIC);
                    break;
                }
                if (rc != SQLITE_OK)
                    db.Fail(QStringLiteral("Wert für Zeile %1 der Tabelle \"%2\" nicht übergeben").arg(count + 1).arg(table));
            }
            const int rc = sqlite3_step(stmt);
            if (rc != SQLITE_DONE && rc != SQLITE_ROW)
                db.Fail(QStringLiteral("Zeile %1 der Tabelle \"%2\" wurde abgelehnt").arg(count + 1).arg(table));
            sqlite3_reset(stmt);
            ++count;
            if (--untilCheck == 0) {
                untilCheck = TransferControl::kRowsBetweenChecks;
                if (commitAtChecks)
                    Commit(db, "COMMIT; BEGIN",
                           QStringLiteral("Die Zeilen %1 bis %2 der Tabelle \"%3\"")
                               .arg(count - TransferControl::kRowsBetweenChecks + 1)
                               .arg(count)
                               .arg(table));
                else if (count % kRowsBetweenFlushes == 0 && sqlite3_db_cacheflush(db.Handle()) != SQLITE_OK)
                    db.Fail(QStringLiteral("Die Zeilen bis Zeile %1 der Tabelle \"%2\" konnten nicht geschrieben werden")
                                .arg(count)
                                .arg(table));
                checkpoint.Reached(done, count);
            }
        }
        reader.Recycle(batch);
    }
    checkpoint.Reached(done, count);
    return count;
}

// A transfer that ends early keeps the rows it wrote: the open transaction is committed (a
// rejected row took back only its own statement). False when there were no rows to keep: the
// database had taken the transaction back itself (a full disk, an I/O error), or the commit
// failed, in which case the transaction is rolled back here.
bool KeepRowsWritten(SqliteConnection& db)
{
    sqlite3* handle = db.Handle();
    if (sqlite3_get_autocommit(handle) != 0)
        return false;
    if (sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

// Closes the sources and the connection in this order, whichever way the transfer ends.
struct TransferResources {
    pdx::SourceTable albums;
    pdx::SourceTable titles;
    SqliteConnection target;
    ~TransferResources()
    {
        albums.Close();
        titles.Close();
        target.Close();
    }
};

// Copies both tables in one transaction, committed at the end and, whenever the copy fails or
// is cancelled, before the failure passes on, so that the rows before it stay. Each commit
// writes the journal and the pages it touched, so one commit for all rows is many times faster
// than one per row; a program killed halfway leaves the file as it was before. Should the
// database take back the whole transaction on a failure (a full disk), the tables are copied
// once more with a commit at every check (COMMITATCHECKS), keeping whatever fits.
TransferCounts CopyCatalog(TransferResources& r, Checkpoint& checkpoint, bool commitAtChecks = false)
{
    TransferCounts counts;
    r.target.Execute(QStringLiteral("BEGIN"));
    try {
        counts.albums = CopyRows(r.albums, r.target, QStringLiteral("Alben"), kAlbumMapping, checkpoint,
                                 &TransferProgress::albumsDone, commitAtChecks);
        counts.titles = CopyRows(r.titles, r.target, QStringLiteral("Titel"), kTitleMapping, checkpoint,
                                 &TransferProgress::titlesDone, commitAtChecks);
        Commit(r.target, "COMMIT", QStringLiteral("Die übertragenen Zeilen"));
    } catch (const SqliteError&) {
        if (KeepRowsWritten(r.target) || commitAtChecks)
            throw;
        // Read again from the start: progress and the values read with a loss count afresh.
        checkpoint.Restart();
        r.albums.ResetLosses();
        r.titles.ResetLosses();
        return CopyCatalog(r, checkpoint, true);
    } catch (...) {
        KeepRowsWritten(r.target);
        throw;
    }
    return counts;
}

} // namespace

TextColumnRule TextRuleForDeclaredType(const QString& declaredType)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^\s*([A-Za-z][A-Za-z ]*?)\s*\(\s*(\d+)\s*(?:,\s*\d+\s*)?\))"));
    TextColumnRule rule;
    const QRegularExpressionMatch match = pattern.match(declaredType);
    if (!match.hasMatch())
        return rule;
    const QString base = match.captured(1).simplified().toUpper();
    if (!base.contains(QLatin1String("CHAR")) && !base.contains(QLatin1String("TEXT")) && !base.contains(QLatin1String("CLOB")))
        return rule;  // NUMERIC(10,2) and the like carry no text length
    bool ok = false;
    const qint64 length = match.captured(2).toLongLong(&ok);
    if (ok && length > 0 && length < rule.maxLength)
        rule.maxLength = int(length);
    rule.trimTrailing = base == QLatin1String("CHAR") || base == QLatin1String("NCHAR") ||
                        base == QLatin1String("CHARACTER") || base == QLatin1String("NATIONAL CHAR") ||
                        base == QLatin1String("NATIONAL CHARACTER");
    return rule;
}

QStringView FitText(QStringView text, const TextColumnRule& rule)
{
    qsizetype length = text.size();
    if (length > rule.maxLength) {
        length = rule.maxLength;
        // Never keep half of a surrogate pair.
        if (length > 0 && text.at(length - 1).isHighSurrogate())
            --length;
    }
    if (rule.trimTrailing) {
        while (length > 0 && text.at(length - 1) == QLatin1Char(' '))
            --length;
    }
    return text.first(length);
}

TransferCounts TransferCatalog(const QString& root, const QString& catalog, const QString& target,
                               const QString& codePage, const QString& shownTarget, const TransferControl& control)
{
    TransferResources r;

    r.albums.SetCodePage(codePage);
    r.albums.Open(root, catalog + QStringLiteral("-Album.db"));
    r.titles.SetCodePage(codePage);
    r.titles.Open(root, catalog + QStringLiteral("-Titel.db"), QStringLiteral("PNr"));

    r.target.Open(target, kBusyTimeoutMs, shownTarget);
    for (const auto& pragma : kPragmas)
        r.target.Execute(QStringLiteral("PRAGMA %1 = %2").arg(QLatin1String(pragma[0]), QLatin1String(pragma[1])));

    Checkpoint checkpoint(control, r.albums.RecordCount(), r.titles.RecordCount());
    checkpoint.Reached(&TransferProgress::albumsDone, 0);
    TransferCounts counts = CopyCatalog(r, checkpoint);
    for (const pdx::SourceTable* source : {&r.albums, &r.titles}) {
        const pdx::TableDamage& damage = source->Damage();
        const std::uint64_t values = source->Losses(pdx::LossKind::UnreadableMemo).count;
        if (damage.RowsLost() || values > 0)
            counts.losses.push_back({pdx::DamageText(source->FilePath(), damage, values),
                                     pdx::LossSummary(source->FilePath(), damage, values)});
        else if (const QString note = pdx::DamageNote(source->FilePath(), damage); !note.isEmpty())
            counts.notes << note;
    }
    return counts;
}
