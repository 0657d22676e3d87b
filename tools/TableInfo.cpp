#include "TableInfo.h"

#include "SqliteDb.h"
#include "source/ByteSource.h"
#include "source/FileNames.h"
#include "source/TableReader.h"
#include "util/FileUtils.h"

#include <QSet>

#include <algorithm>
#include <memory>

namespace SqliteExport {

using FileUtils::SafeFormat;

const FolderNames::Folder& FolderNames::Read(const QString& path)
{
    QString folder = path;
    if (folder == QLatin1String(".") || folder == QLatin1String("./"))
        folder.clear();
    else if (!folder.isEmpty() && !folder.endsWith(u'/') && !folder.endsWith(u'\\'))
        folder += u'/';
    auto it = folders_.find(folder);
    if (it == folders_.end()) {
        std::vector<pdx::DirEntry> entries;
        pdx::ListDirectory(folder, entries);
        Folder read;
        for (const pdx::DirEntry& entry : entries)
            if (entry.kind == pdx::FileKind::Regular)
                read.names << entry.name;
        read.names.sort();
        // Backwards, so that the first spelling in name order is the one kept.
        for (auto name = read.names.crbegin(); name != read.names.crend(); ++name)
            read.folded.insert(pdx::FoldedFileName(*name), *name);
        it = folders_.insert(folder, read);
    }
    return *it;
}

const QStringList& FolderNames::Beside(const QString& path)
{
    return Read(FolderOf(path)).names;
}

QString FolderNames::Find(const QString& directory, const QString& fileName)
{
    const Folder& folder = Read(directory);
    const auto found = folder.folded.constFind(pdx::FoldedFileName(fileName));
    if (found == folder.folded.constEnd())
        return {};
    // The exact spelling first, as FindIgnoringCase does.
    const bool exact = std::binary_search(folder.names.begin(), folder.names.end(), fileName);
    return pdx::JoinFileName(directory, exact ? fileName : *found);
}

pdx::SourceTable::FileFinder FolderNames::Finder()
{
    return [this](const QString& directory, const QString& fileName) { return Find(directory, fileName); };
}

QString FolderOf(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString FileNameOf(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(slash + 1);
}

namespace {

QString StemOf(const QString& path)
{
    const QString name = FileNameOf(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

bool IsHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c.toLower() >= u'a' && c.toLower() <= u'f');
}

// The field a .Xnn file indexes (nn in hex), or 0 for a .XGn file, -1 for other names.
int IndexKind(const QString& name, const QString& stem)
{
    if (name.size() < stem.size() + 4 || !name.startsWith(stem, Qt::CaseInsensitive) || name[stem.size()] != u'.')
        return -1;
    const QString ext = name.mid(stem.size() + 1).toUpper();
    if (ext.size() == 3 && ext[0] == u'X' && ext[1] == u'G' && IsHex(ext[2]))
        return 0;
    if (ext.size() == 3 && ext[0] == u'X' && IsHex(ext[1]) && IsHex(ext[2]))
        return ext.mid(1).toInt(nullptr, 16);
    return -1;
}

}  // namespace

QString MemoFileOf(const TableFile& table, FolderNames& names)
{
    const QString wanted = StemOf(table.path) + QStringLiteral(".mb");
    for (const QString& name : names.Beside(table.path))
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return name;
    return {};
}

std::vector<IndexDef> FindIndexes(const TableFile& table, const QString& tableName, const pdx::SourceTable& source,
                                  const QStringList& columns, FolderNames& names, QStringList& warnings)
{
    std::vector<IndexDef> indexes;
    const QString stem = StemOf(table.path);
    const auto& fields = source.Fields();
    const int keyFields = source.KeyFieldCount();
    QSet<QString> taken;
    for (const QString& file : names.Beside(table.path)) {
        const int kind = IndexKind(file, stem);
        if (kind < 0)
            continue;
        const QString shown = pdx::DisplayFileName(FolderOf(table.path) + file);
        auto skip = [&](const QString& why) {
            warnings << SafeFormat(QStringLiteral("Warnung: Der Index \"%s\" passt nicht zur Tabelle \"%s\" (%s); "
                                                  "er wird nicht übernommen."),
                                   {shown, table.Shown(), why});
        };
        std::vector<int> numbers;
        std::vector<bool> descending;
        QString indexName;
        try {
            auto file_ = std::make_unique<pdx::FileSource>();
            if (!file_->Open(FolderOf(table.path) + file)) {
                skip(QStringLiteral("nicht lesbar"));
                continue;
            }
            const pdx::TableReader index(std::move(file_), shown);
            const pdx::TableHeader& h = index.Header();
            const int count = int(index.Fields().size());
            // The indexed fields come first; then the table's key (or the record's place) and the block.
            const int m = kind > 0 ? 1 : keyFields > 0 ? count - keyFields - 1 : count - 3;
            if (m < 1 || int(h.fieldNumbers.size()) < m) {
                skip(QStringLiteral("keine Feldnummern"));
                continue;
            }
            // The top bit marks a field sorted descending (the real samples' descending indexes,
            // flagged 0x11 at 0x55, have it; their records run from high to low); it is no part
            // of the number.
            for (int i = 0; i < m; ++i) {
                numbers.push_back(h.fieldNumbers[std::size_t(i)] & 0x7FFF);
                descending.push_back((h.fieldNumbers[std::size_t(i)] & 0x8000) != 0);
            }
            if (kind > 0 && numbers[0] != kind) {
                skip(SafeFormat(QStringLiteral("er nennt das Feld %u statt %u"), {std::uint32_t(numbers[0]), std::uint32_t(kind)}));
                continue;
            }
            bool fits = true;
            for (int i = 0; i < m && fits; ++i) {
                const int n = numbers[std::size_t(i)];
                fits = n >= 1 && n <= int(fields.size()) &&
                       index.Fields()[std::size_t(i)].type == fields[std::size_t(n - 1)].type;
            }
            if (!fits) {
                skip(QStringLiteral("seine Felder gibt es in der Tabelle nicht"));
                continue;
            }
            indexName = QString::fromLatin1(h.indexName);
        } catch (const pdx::SourceError& failure) {
            skip(failure.Message());
            continue;
        }
        IndexDef def;
        def.file = file;
        for (const int n : numbers)
            def.columns << columns[n - 1];
        def.descending = descending;
        const QString base = tableName + u'_' + (indexName.isEmpty() ? def.columns.join(u'_') : indexName);
        def.name = base;
        for (int n = 2; taken.contains(def.name.toCaseFolded()); ++n)
            def.name = base + u'_' + QString::number(n);
        taken.insert(def.name.toCaseFolded());
        indexes.push_back(def);
    }
    return indexes;
}

// The SQLite column names of FIELDS: a name used before (ignoring case, as SQLite compares
// them) gets "_2", "_3", ..., an empty one "Feld_N" (N its position); each rename is a warning.
QStringList ColumnNames(const std::vector<pdx::FieldInfo>& fields, const TableFile& table, QStringList& warnings)
{
    QStringList names;
    QSet<QString> taken;
    for (const pdx::FieldInfo& field : fields)
        taken.insert(field.name.toCaseFolded());
    QSet<QString> used;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const QString& name = fields[i].name;
        QString column = name;
        const bool empty = name.trimmed().isEmpty();
        if (empty || used.contains(name.toCaseFolded())) {
            const QString base = empty ? QStringLiteral("Feld_%1").arg(i + 1) : name;
            for (int n = empty ? 1 : 2;; ++n) {
                column = n == 1 ? base : base + u'_' + QString::number(n);
                if (!used.contains(column.toCaseFolded()) && !taken.contains(column.toCaseFolded()))
                    break;
            }
            warnings << (empty
                                 ? SafeFormat(QStringLiteral("Warnung: Das %u. Feld der Tabelle \"%s\" hat keinen Namen; "
                                                             "die Spalte heißt \"%s\"."),
                                              {std::uint32_t(i + 1), table.Shown(), column})
                                 : SafeFormat(QStringLiteral("Warnung: Die Tabelle \"%s\" hat das Feld \"%s\" mehrmals; "
                                                             "das %u. Feld wird zur Spalte \"%s\"."),
                                              {table.Shown(), name, std::uint32_t(i + 1), column}));
        }
        used.insert(column.toCaseFolded());
        names << column;
    }
    return names;
}

QString CreateTableSql(const QString& tableName, const QStringList& columns,
                       const std::vector<pdx::FieldInfo>& fields, int keyFields)
{
    QStringList parts;
    for (std::size_t i = 0; i < fields.size(); ++i)
        parts << QuoteSqlIdentifier(columns[qsizetype(i)]) + u' ' + DeclaredType(pdx::TypeLetter(fields[i].type));
    QStringList keys;
    for (int k = 0; k < keyFields; ++k)
        keys << QuoteSqlIdentifier(columns[k]);
    if (!keys.isEmpty())
        parts << QStringLiteral("PRIMARY KEY (%1)").arg(keys.join(QStringLiteral(", ")));
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(QuoteSqlIdentifier(tableName), parts.join(QStringLiteral(", ")));
}

QString CreateIndexSql(const QString& tableName, const IndexDef& index)
{
    QStringList columns;
    for (qsizetype i = 0; i < index.columns.size(); ++i)
        columns << QuoteSqlIdentifier(index.columns[i]) +
                       (std::size_t(i) < index.descending.size() && index.descending[std::size_t(i)] ? QStringLiteral(" DESC")
                                                                                                   : QString());
    return QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
        .arg(QuoteSqlIdentifier(index.name), QuoteSqlIdentifier(tableName), columns.join(QStringLiteral(", ")));
}

QString VersionText(int v)
{
    if (v == 3)
        return QStringLiteral("3.0");
    if (v == 4)
        return QStringLiteral("3.5");
    if (v <= 9)
        return QStringLiteral("4.x");
    if (v <= 11)
        return QStringLiteral("5.x");
    return QStringLiteral("7.x");
}

}  // namespace SqliteExport
