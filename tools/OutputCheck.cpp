#include "OutputCheck.h"

#include "source/ByteSource.h"
#include "source/FileNames.h"
#include "source/TableFiles.h"
#include "util/FileReplace.h"
#include "util/FileUtils.h"

#include <QDir>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <vector>

namespace SqliteExport {

namespace {

using FileUtils::SafeFormat;

// A file that cannot hold a Paradox table: empty, or a SQLite database by its first bytes.
bool IsNoParadoxFile(const QString& file)
{
    pdx::FileSource source;
    if (!source.Open(file))
        return false;
    if (source.Size() == 0)
        return true;
    static const char kSqliteHeader[] = "SQLite format 3";  // with its NUL: 16 bytes
    char head[sizeof kSqliteHeader] = {};
    return source.ReadAt(0, head, sizeof head) && std::memcmp(head, kSqliteHeader, sizeof head) == 0;
}

class Finder {
public:
    explicit Finder(const QString& outFile) : out_(outFile) {}

    // The first file of FOLDER (and with RECURSIVE its subfolders, links to folders not
    // followed) with a Paradox extension that is the output; empty when none is.
    QString InFolder(const QString& folder, bool recursive)
    {
        if (seen_.contains(folder))
            return {};
        seen_.insert(folder);
        std::vector<pdx::DirEntry> entries;
        if (!pdx::ListDirectory(folder, entries))
            return {};
        std::sort(entries.begin(), entries.end(),
                  [](const pdx::DirEntry& a, const pdx::DirEntry& b) { return a.name < b.name; });
        for (const pdx::DirEntry& entry : entries) {
            const QString path = pdx::JoinFileName(folder, entry.name);
            if (entry.kind == pdx::FileKind::Regular && pdx::IsParadoxFileName(entry.name) && Is(path))
                return path;
        }
        if (!recursive)
            return {};
        for (const pdx::DirEntry& entry : entries) {
            if (entry.kind != pdx::FileKind::Directory || entry.link)
                continue;
            if (const QString found = InFolder(pdx::JoinFileName(folder, entry.name), true); !found.isEmpty())
                return found;
        }
        return {};
    }

    bool Is(const QString& path) const { return FileUtils::SameFile(out_, path); }

private:
    QSet<QString> seen_;  // folders read already
    const QString out_;
};

QString FolderOf(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(QDir::separator()));
    return slash < 0 ? QString() : path.left(slash + 1);
}

}  // namespace

QString OutputIsInput(const QString& outFile, const QStringList& paths, bool recursive)
{
    if (pdx::KindOf(outFile) != pdx::FileKind::Regular || IsNoParadoxFile(outFile))
        return {};
    const QString shownOut = pdx::DisplayFileName(outFile);
    Finder finder(outFile);
    QString input;
    for (const QString& path : paths) {
        const pdx::FileKind kind = pdx::KindOf(path);
        if (kind == pdx::FileKind::Directory)
            input = finder.InFolder(path, recursive);
        else if (kind != pdx::FileKind::Missing)
            input = finder.Is(path) ? path : finder.InFolder(FolderOf(path), false);
        if (input.isEmpty())
            continue;
        if (FileUtils::SamePathSpelling(input, outFile))
            return SafeFormat(QStringLiteral("Die Ausgabe \"%s\" gehört zu den gelesenen Tabellen; eine Eingabe wird "
                                             "nie ersetzt (im Aufruf steht die Ausgabe vor den Tabellen). Nichts wurde "
                                             "geschrieben."),
                              {shownOut});
        return SafeFormat(QStringLiteral("Die Ausgabe \"%s\" ist dieselbe Datei wie \"%s\", die zu den gelesenen "
                                             "Tabellen gehört; eine Eingabe wird nie ersetzt. Nichts wurde geschrieben."),
                              {shownOut, pdx::DisplayFileName(input)});
    }
    const QString final = FileUtils::FinalFileName(outFile);
    if (pdx::IsParadoxFileName(outFile) || pdx::IsParadoxFileName(final))
        return SafeFormat(QStringLiteral("Die Ausgabe \"%s\" trägt den Namen einer Paradox-Datei und ist keine "
                                         "SQLite-Datenbank; sie wird nie ersetzt (im Aufruf steht die "
                                         "Ausgabe vor den Tabellen). Nichts wurde geschrieben."),
                          {pdx::IsParadoxFileName(outFile) ? shownOut : pdx::DisplayFileName(final)});
    return {};
}

}  // namespace SqliteExport
