#include "TableListing.h"

#include "TableInfo.h"
#include "source/FileNames.h"
#include "source/SourceTable.h"
#include "source/ValueText.h"

#include <string>

namespace SqliteExport {

namespace {

struct Facts {
    QString name;
    std::uint64_t rows = 0;
    std::uint64_t headerRows = 0;
    bool damaged = false;
    std::vector<int> unreadableBlocks;
    int fields = 0;
    int keyFields = 0;
    int version = 0;
    QString codePage;
    int blockSize = 0;
    bool encrypted = false;
    QString memoFile;      // beside the table; empty when there is none
    bool memoNeeded = false;
    QStringList indexes;   // index files that fit the table
};

QString TableName(const TableFile& table, const pdx::SourceTable& source)
{
    return table.stemBytes.isEmpty() ? table.name : table.name + source.DecodeBytes(table.stemBytes);
}

void OpenTable(pdx::SourceTable& source, const TableFile& table, const Options& options, FolderNames& names)
{
    source.SetCodePage(options.codePage);
    source.SetMissingMemoAsBlank(true);
    source.SetFileFinder(names.Finder());
    source.Open(FolderOf(table.path), FileNameOf(table.path));
}

QString Line(const Facts& f)
{
    QStringList parts;
    parts << RowsText({f.rows, f.headerRows, f.damaged});
    parts << (f.fields == 1 ? QStringLiteral("1 Feld") : QStringLiteral("%1 Felder").arg(f.fields));
    parts << (f.keyFields == 0   ? QStringLiteral("ohne Schlüssel")
              : f.keyFields == 1 ? QStringLiteral("1 Schlüsselfeld")
                                 : QStringLiteral("%1 Schlüsselfelder").arg(f.keyFields));
    parts << QStringLiteral("Paradox %1").arg(VersionText(f.version));
    parts << (f.codePage.isEmpty() ? QStringLiteral("Codepage unbekannt") : f.codePage);
    parts << QStringLiteral("Blöcke %1 KiB").arg(f.blockSize / 1024);
    parts << (f.encrypted ? QStringLiteral("verschlüsselt (ohne Kennwort gelesen)") : QStringLiteral("nicht verschlüsselt"));
    if (!f.memoFile.isEmpty())
        parts << QStringLiteral("Memodatei %1").arg(pdx::DisplayFileName(f.memoFile));
    else
        parts << (f.memoNeeded ? QStringLiteral("Memodatei fehlt") : QStringLiteral("ohne Memodatei"));
    QStringList indexes;
    for (const QString& index : f.indexes)
        indexes << pdx::DisplayFileName(index);
    parts << (indexes.isEmpty() ? QStringLiteral("ohne Indizes") : QStringLiteral("Indizes %1").arg(indexes.join(u' ')));
    return f.name + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

QString JsonLine(const Facts& f, const TableFile& table)
{
    std::string out = "{\"name\":";
    pdx::AppendJsonString(out, f.name);
    out += ",\"file\":";
    pdx::AppendJsonString(out, table.Shown());
    out += ",\"rows\":" + std::to_string(f.rows);
    out += ",\"headerRows\":" + std::to_string(f.headerRows);
    out += f.damaged ? ",\"damaged\":true" : ",\"damaged\":false";
    out += ",\"unreadableBlocks\":[";
    for (std::size_t i = 0; i < f.unreadableBlocks.size(); ++i)
        out += (i ? "," : "") + std::to_string(f.unreadableBlocks[i]);
    out += ']';
    out += ",\"fields\":" + std::to_string(f.fields);
    out += ",\"keyFields\":" + std::to_string(f.keyFields);
    out += ",\"version\":";
    pdx::AppendJsonString(out, VersionText(f.version));
    out += ",\"versionByte\":" + std::to_string(f.version);
    out += ",\"codePage\":";
    if (f.codePage.isEmpty())
        out += "null";
    else
        pdx::AppendJsonString(out, f.codePage);
    out += ",\"blockSize\":" + std::to_string(f.blockSize);
    out += f.encrypted ? ",\"encrypted\":true" : ",\"encrypted\":false";
    out += ",\"memoFile\":";
    if (f.memoFile.isEmpty())
        out += "null";
    else
        pdx::AppendJsonString(out, pdx::DisplayFileName(f.memoFile));
    out += f.memoNeeded && f.memoFile.isEmpty() ? ",\"memoMissing\":true" : ",\"memoMissing\":false";
    out += ",\"indexes\":[";
    for (qsizetype i = 0; i < f.indexes.size(); ++i) {
        if (i)
            out += ',';
        pdx::AppendJsonString(out, pdx::DisplayFileName(f.indexes[i]));
    }
    out += "]}";
    return QString::fromStdString(out);
}

}  // namespace

QString RowsText(const TableRows& rows)
{
    if (rows.damaged && rows.headerRows > rows.rows)
        return QStringLiteral("%1 von %2 Zeilen, beschädigt").arg(pdx::GermanCount(rows.rows), pdx::GermanCount(rows.headerRows));
    const QString count = rows.rows == 1 ? QStringLiteral("1 Zeile")
                          : rows.damaged ? pdx::GermanCount(rows.rows) + QStringLiteral(" Zeilen")
                                         : QStringLiteral("%1 Zeilen").arg(rows.rows);
    return rows.damaged ? count + QStringLiteral(", beschädigt") : count;
}

int ListTables(const std::vector<TableFile>& tables, const Options& options, bool json, LinePrinter print)
{
    FolderNames names;
    int failed = 0;
    for (const TableFile& table : tables) {
        Facts facts;
        try {
            pdx::SourceTable source;
            OpenTable(source, table, options, names);
            const pdx::TableHeader& h = source.Header();
            facts.name = TableName(table, source);
            facts.rows = source.RecordCount();
            facts.headerRows = h.numRecords;
            facts.damaged = source.Damage().RowsLost();
            facts.unreadableBlocks = source.Damage().unreadableBlocks;
            facts.fields = int(source.Fields().size());
            facts.keyFields = source.KeyFieldCount();
            facts.version = h.version;
            facts.codePage = source.CodePageName();
            facts.blockSize = h.blockSize;
            facts.encrypted = h.encryptionKey != 0;
            for (const pdx::FieldInfo& field : source.Fields())
                facts.memoNeeded = facts.memoNeeded || pdx::IsBlobType(field.type);
            facts.memoFile = MemoFileOf(table, names);
            QStringList warnings;
            QStringList columns = ColumnNames(source.Fields(), table, warnings);
            warnings.clear();  // the export says so; the list is about the files
            for (const IndexDef& index : FindIndexes(table, facts.name, source, columns, names, warnings))
                facts.indexes << index.file;
            for (const QString& warning : warnings)
                print(stderr, warning);
            if (facts.damaged) {
                print(stderr, pdx::DamageText(source.FilePath(), source.Damage()));
                ++failed;
            } else if (const QString note = pdx::DamageNote(source.FilePath(), source.Damage()); !note.isEmpty()) {
                print(stderr, note);
            }
        } catch (const pdx::SourceError& failure) {
            print(stderr, failure.Message());
            ++failed;
            continue;
        }
        print(stdout, json ? JsonLine(facts, table) : Line(facts));
    }
    return failed;
}

int PrintSchema(const std::vector<TableFile>& tables, const Options& options, LinePrinter print)
{
    FolderNames names;
    int failed = 0;
    for (const TableFile& table : tables) {
        try {
            pdx::SourceTable source;
            OpenTable(source, table, options, names);
            const QString name = TableName(table, source);
            QStringList warnings;
            const QStringList columns = ColumnNames(source.Fields(), table, warnings);
            QStringList lines{CreateTableSql(name, columns, source.Fields(), source.KeyFieldCount()) + u';'};
            if (options.indexes)
                for (const IndexDef& index : FindIndexes(table, name, source, columns, names, warnings))
                    lines << CreateIndexSql(name, index) + u';';
            for (const QString& warning : warnings)
                print(stderr, warning);
            for (const QString& line : lines)
                print(stdout, line);
        } catch (const pdx::SourceError& failure) {
            print(stderr, failure.Message());
            ++failed;
        }
    }
    return failed;
}

}  // namespace SqliteExport
