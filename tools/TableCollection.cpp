// Which tables the arguments of paradox2sqlite name (SqliteExport::CollectTables).

#include "SqliteExport.h"

#include "source/FileNames.h"
#include "source/SourceError.h"
#include "util/FileUtils.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace SqliteExport {

namespace {

using FileUtils::SafeFormat;

// Why NAME cannot name a table in SQLite; empty when it can.
QString UnusableNameReason(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("der Dateiname ergibt keinen Tabellennamen");
    if (name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive))
        return SafeFormat(QStringLiteral("SQLite behält Namen, die mit \"sqlite_\" beginnen, sich selbst vor (\"%s\")"),
                          {name});
    return {};
}

QString Stem(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot > 0 ? fileName.left(dot) : fileName;
}

bool IsTableName(const QString& fileName)
{
    return fileName.size() > 3 && fileName.endsWith(QLatin1String(".db"), Qt::CaseInsensitive);
}

class Collector {
public:
    Collector(const QString& outFile, const Selection& selection)
        : selection_(selection), outId_(pdx::FileIdentity(outFile)), outFile_(outFile)
    {
        for (const QStringList* list : {&selection.only, &selection.exclude})
            for (const QString& name : *list)
                (list == &selection.only ? only_ : exclude_).insert(name.toCaseFolded());
    }

    void Path(const QString& path)
    {
        switch (pdx::KindOf(path)) {
        case pdx::FileKind::Directory:
            if (Folder(path, QString()) == 0)
                result_.notes << SafeFormat(QStringLiteral("Im Verzeichnis \"%s\" liegt keine Tabelle (*.db)."),
                                            {pdx::DisplayFileName(path)});
            break;
        case pdx::FileKind::Missing:
            result_.problems << pdx::ErrorText(pdx::ErrorCode::FileNotFound, {pdx::DisplayFileName(path)});
            break;
        default:
            Add(path, Stem(FileName(path)), QString(), pdx::IsSymbolicLink(path), true);
        }
    }

    Collection Finish()
    {
        Collection result;
        result.problems = std::move(result_.problems);
        result.notes = std::move(result_.notes);
        for (const QString& name : selection_.only)
            if (!matched_.contains(name.toCaseFolded()))
                result.problems << SafeFormat(QStringLiteral("Eine Tabelle \"%s\" (--only) gibt es nicht."), {name});
        for (Entry& entry : result_.tables)
            result.tables.push_back(std::move(entry.file));
        return result;
    }

private:
    static QString FileName(const QString& path)
    {
        const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
        return path.mid(slash + 1);
    }

    // The tables of FOLDER (and with recursive its subfolders'), named with PREFIX before
    // their stems; returns how many were found.
    int Folder(const QString& folder, const QString& prefix)
    {
        std::vector<pdx::DirEntry> entries;
        if (!pdx::ListDirectory(folder, entries)) {
            result_.problems << pdx::ErrorText(pdx::ErrorCode::FileOpenFailed, {pdx::DisplayFileName(folder)});
            return 0;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const pdx::DirEntry& a, const pdx::DirEntry& b) { return a.name < b.name; });
        int found = 0;
        for (const pdx::DirEntry& entry : entries) {
            if (entry.kind == pdx::FileKind::Regular && IsTableName(entry.name)) {
                ++found;
                Add(pdx::JoinFileName(folder, entry.name), Stem(entry.name), prefix, entry.link, false);
            }
        }
        if (!selection_.recursive)
            return found;
        for (const pdx::DirEntry& entry : entries) {
            if (entry.kind == pdx::FileKind::Directory && !entry.link)
                found += Folder(pdx::JoinFileName(folder, entry.name), prefix + entry.name + u'_');
        }
        return found;
    }

    bool Chosen(const QString& stem, const QString& name)
    {
        const QString folded = stem.toCaseFolded();
        const QString nameFolded = name.toCaseFolded();
        if (exclude_.contains(folded) || exclude_.contains(nameFolded))
            return false;
        if (only_.isEmpty())
            return true;
        for (const QString& key : {folded, nameFolded}) {
            if (only_.contains(key)) {
                matched_.insert(key);
                return true;
            }
        }
        return false;
    }

    void Add(const QString& path, const QString& stem, const QString& prefix, bool link, bool named)
    {
        const bool held = pdx::HasHeldBytes(stem) || pdx::HasHeldBytes(prefix);
        const QString shownStem = pdx::DisplayFileName(stem);
        const QString shownName = pdx::DisplayFileName(prefix) + shownStem;
        if (!Chosen(shownStem, shownName))
            return;
        TableFile table{path, prefix + stem, {}, held ? pdx::DisplayFileName(path) : QString()};
        if (held) {
            // Named once the table's code page is known; the subfolders' part is taken as shown.
            table.name = pdx::DisplayFileName(prefix);
            table.stemBytes = pdx::EncodeFileName(stem);
        }
        const QByteArray id = pdx::FileIdentity(path);
        if (!id.isEmpty() && id == outId_) {
            if (named)
                result_.problems << SafeFormat(QStringLiteral("Die Tabelle \"%s\" ist zugleich die Ausgabedatei \"%s\"; "
                                                              "eine Eingabe wird nie ersetzt."),
                                               {table.Shown(), outFile_});
            return;
        }
        if (const auto earlier = byId_.constFind(id); !id.isEmpty() && earlier != byId_.constEnd()) {
            Same(*earlier, table, shownName, link);
            return;
        }
        if (const QString reason = UnusableNameReason(shownName); !reason.isEmpty()) {
            result_.problems << SafeFormat(QStringLiteral("Die Tabelle \"%s\" kann nicht übernommen werden: %s."),
                                           {table.Shown(), reason});
            return;
        }
        QString key = shownName.toCaseFolded();
        if (const auto clash = byName_.constFind(key); clash != byName_.constEnd()) {
            const TableFile& other = result_.tables[*clash].file;
            if (prefix.isEmpty()) {
                result_.problems << SafeFormat(
                    QStringLiteral("Die Tabelle \"%s\" kann nicht übernommen werden: ihr Name \"%s\" gleicht "
                                   "ohne Rücksicht auf Groß- und Kleinschreibung dem der Tabelle \"%s\"."),
                    {table.Shown(), shownName, other.Shown()});
                return;
            }
            // A name made from subfolders ("a_b" + "c" and "a" + "b_c") is made unique.
            QString unique;
            for (int n = 2;; ++n) {
                unique = shownName + u'_' + QString::number(n);
                if (!byName_.contains(unique.toCaseFolded()))
                    break;
            }
            result_.notes << SafeFormat(QStringLiteral("Hinweis: Der Name \"%s\" ist schon vergeben (\"%s\"); "
                                                       "die Tabelle \"%s\" heißt \"%s\"."),
                                        {shownName, other.Shown(), table.Shown(), unique});
            if (held)
                table.stemBytes += pdx::EncodeFileName(u'_' + unique.mid(shownName.size() + 1));
            else
                table.name = unique;
            key = unique.toCaseFolded();
        }
        byName_.insert(key, result_.tables.size());
        if (!id.isEmpty())
            byId_.insert(id, result_.tables.size());
        result_.tables.push_back({table, link, key, shownName});
    }

    // TABLE is the file an earlier entry is: one table, under the name of the file that is no link.
    void Same(std::size_t index, const TableFile& table, const QString& shownName, bool link)
    {
        Entry& earlier = result_.tables[index];
        if (earlier.file.path == table.path)
            return;  // named twice
        const bool replace = earlier.link && !link;
        result_.notes << SafeFormat(QStringLiteral("Hinweis: \"%s\" und \"%s\" sind dieselbe Datei; sie wird einmal "
                                                   "übernommen, als Tabelle \"%s\"."),
                                    {replace ? earlier.file.Shown() : table.Shown(),
                                     replace ? table.Shown() : earlier.file.Shown(),
                                     replace ? shownName : earlier.shownName});
        if (replace) {
            byName_.remove(earlier.key);
            const QString key = shownName.toCaseFolded();
            earlier = {table, link, key, shownName};
            byName_.insert(key, index);
        }
    }

    struct Entry {
        TableFile file;
        bool link = false;
        QString key;        // the name as compared
        QString shownName;  // the name for messages
    };
    struct Found {
        std::vector<Entry> tables;
        QStringList problems;
        QStringList notes;
    };

    const Selection& selection_;
    const QByteArray outId_;
    const QString outFile_;
    QSet<QString> only_;
    QSet<QString> exclude_;
    QSet<QString> matched_;
    QHash<QByteArray, std::size_t> byId_;
    QHash<QString, std::size_t> byName_;
    Found result_;

};

}  // namespace

Collection CollectTables(const QStringList& paths, const QString& outFile, const Selection& selection)
{
    Collector collector(outFile, selection);
    for (const QString& path : paths)
        collector.Path(path);
    return collector.Finish();
}

}  // namespace SqliteExport
