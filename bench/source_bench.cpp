// Engine benchmark: reads generated catalog tables (100 k and 1 M rows) field
// by field through pdx::SourceTable and, on the same files, through pxlib's
// PX_get_record, and prints rows per second, the ratio and peak memory. Each
// measurement runs in a child process so that its peak memory is its own.
// Password-protected copies of the album and the title table are read against
// the plain ones, by time.
//
//   bench_source [DATA_DIR] [--small]
//
// The generated tables are cached in DATA_DIR (default: bench-data beside the
// build's bin/); --small stops after 100 k rows.

#include "ToolOptions.h"
#include "ChildProcess.h"
#include "PxWriter.h"
#include "SourceTable.h"
#include "TableReader.h"

extern "C" {
#include <paradox.h>
}

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>


namespace {

using std::int64_t;
using std::string;

// Album rows: every fourth has a directory memo too long for its leader.
pxw::Row AlbumRow(int64_t n)
{
    const string num = std::to_string(n);
    return {n + 1,
            "Solist " + std::to_string(n % 1543),
            n % 5 ? pxw::Value("Komponist " + std::to_string(n % 211)) : pxw::Blank{},
            "Aufnahme " + num + " (Gesamtausgabe, Teil " + std::to_string(n % 9) + ")",
            string("52:07"),
            string("KL"),
            n % 2 ? string("CD") : string("LP"),
            int64_t(1 + n % 4),
            n % 7 ? pxw::Value(int64_t(1940 + n % 80)) : pxw::Blank{},
            double(n % 40) + 0.5,
            double(n % 40) * 0.51,
            n % 4 == 0 ? pxw::Value("/srv/musik/sammlung/" + num + "/alle Stücke dieser Platte/") : pxw::Blank{}};
}

// Title rows; every sixth has a lyrics memo in the .mb. PNr is either
// scattered over the albums (the worst case for ordering by it), or as a
// catalog is entered: album after album, one title in twenty added later to
// an older album.
pxw::Row TitleRow(int64_t n, int64_t albums, bool scattered)
{
    const string num = std::to_string(n);
    const int64_t late = 1 + (n * 104729) % albums;
    return {scattered ? late : n % 20 == 19 ? std::min(late, 1 + n / 10) : 1 + n / 10,
            int64_t(1 + n % 2),
            int64_t(1 + n % 14),
            "Satz " + num + ": Allegro ma non troppo",
            n % 3 ? pxw::Value("Opus " + std::to_string(n % 400)) : pxw::Blank{},
            string("Beethoven"),
            n % 6 == 0 ? pxw::Value("Freude, schöner Götterfunken, Tochter aus Elysium " + num) : pxw::Blank{},
            "Orchester " + std::to_string(n % 61),
            int64_t(1950 + n % 70),
            string("7:31"),
            "track-" + num + ".mp3"};
}

struct Tables {
    QString dir;
    QString album; // file names
    QString title;   // PNr scattered
    QString entered; // PNr album after album
    QString albumLocked; // the album and the scattered title table again, password-protected
    QString titleLocked;
};

Tables EnsureTables(const QString& dataDir, int64_t rows)
{
    const QString tag = QStringLiteral("engine%1k").arg(rows / 1000);
    Tables t{dataDir,
             tag + QStringLiteral("-Album.db"),
             tag + QStringLiteral("-Titel.db"),
             tag + QStringLiteral("e-Titel.db"),
             tag + QStringLiteral("p-Album.db"),
             tag + QStringLiteral("p-Titel.db")};
    QDir().mkpath(dataDir);
    auto make = [&](const QString& name, const std::vector<pxw::Field>& fields, auto rowFor, int keyFields,
                    const string& password = string()) {
        const QString path = QDir(dataDir).filePath(name);
        if (QFileInfo::exists(path))
            return;
        std::fprintf(stderr, "generating %s ...\n", qPrintable(path));
        const QString partial = path + QStringLiteral(".part.db");
        {
            pxw::TableWriter writer(partial.toStdString(), fields, {.keyFields = keyFields, .password = password});
            for (int64_t i = 0; i < rows; ++i)
                writer.Add(rowFor(i));
        }
        // The table appears only when it is whole, with its memo file beside it.
        QFile::remove(QDir(dataDir).filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".mb")));
        QFile::rename(partial.left(partial.size() - 3) + QStringLiteral(".mb"),
                      QDir(dataDir).filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".mb")));
        QFile::rename(partial, path);
    };
    make(t.album, pxw::AlbumFields(), AlbumRow, 1);
    make(t.title, pxw::TitleFields(), [&](int64_t i) { return TitleRow(i, rows / 10, true); }, 0);
    make(t.entered, pxw::TitleFields(), [&](int64_t i) { return TitleRow(i, rows / 10, false); }, 0);
    make(t.albumLocked, pxw::AlbumFields(), AlbumRow, 1, "Plattenschrank");
    make(t.titleLocked, pxw::TitleFields(), [&](int64_t i) { return TitleRow(i, rows / 10, true); }, 0, "Plattenschrank");
    return t;
}

struct Result {
    double seconds = 0;
    int64_t rows = 0;
    long peakKiB = 0;
    bool ok = false;
};

// Runs job in a child process; its peak resident memory is the child's own.
Result Measure(const std::function<int64_t()>& job)
{
    struct Timed {
        int64_t rows;
        double seconds;
    };
    const ChildRun<Timed> run = RunInChild<Timed>([&] {
        const auto start = std::chrono::steady_clock::now();
        const int64_t rows = job();
        return Timed{rows, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
    });
    return {run.value.seconds, run.value.rows, run.peakKiB, run.ok};
}

// Reads every field of every row the way a converter does: by index, with
// the read that fits the field's type. Memo fields are skipped unless asked.
int64_t ReadWithEngine(const Tables& t, const QString& file, const QString& order, bool memos)
{
    pdx::SourceTable table;
    table.Open(t.dir, file, order);
    std::vector<std::pair<int, pdx::FieldType>> fields;
    for (int i = 0; i < int(table.Fields().size()); ++i) {
        const auto type = table.Fields()[std::size_t(i)].type;
        if (memos || type != pdx::FieldType::Memo)
            fields.emplace_back(i, type);
    }
    int64_t rows = 0;
    qint64 sink = 0;
    for (table.First(); !table.Eof(); table.Next(), ++rows) {
        for (const auto& [index, type] : fields) {
            switch (type) {
            case pdx::FieldType::Short: case pdx::FieldType::Long: case pdx::FieldType::AutoIncrement:
                sink += table.AsInteger(index);
                break;
            case pdx::FieldType::Currency: case pdx::FieldType::Number:
                sink += qint64(table.AsFloat(index));
                break;
            default:
                sink += table.AsString(index).size();
            }
        }
    }
    if (sink == 42)
        std::puts("");
    return rows;
}

// The same through pxlib: PX_get_record and its typed getters, without memos
// (pxlib aborts when it opens a memo file) and without text conversion.
int64_t ReadWithPxlib(const Tables& t, const QString& file)
{
    PX_boot();
    pxdoc_t* doc = PX_new();
    if (PX_open_file(doc, QDir(t.dir).filePath(file).toLocal8Bit().constData()) < 0)
        return 0;
    const int numFields = PX_get_num_fields(doc);
    pxfield_t* fields = PX_get_fields(doc);
    const int records = PX_get_num_records(doc);
    std::vector<char> record(std::size_t(PX_get_recordsize(doc)));
    int64_t sink = 0;
    int64_t rows = 0;
    for (int r = 0; r < records; ++r) {
        if (!PX_get_record(doc, r, record.data()))
            break;
        int offset = 0;
        for (int f = 0; f < numFields; ++f) {
            char* data = record.data() + offset;
            offset += fields[f].px_flen;
            switch (fields[f].px_ftype) {
            case pxfAlpha: {
                char* text = nullptr;
                if (PX_get_data_alpha(doc, data, fields[f].px_flen, &text) > 0 && text) {
                    sink += int64_t(std::strlen(text));
                    doc->free(doc, text);
                }
                break;
            }
            case pxfShort: {
                short value = 0;
                PX_get_data_short(doc, data, fields[f].px_flen, &value);
                sink += value;
                break;
            }
            case pxfLong: {
                long value = 0;
                PX_get_data_long(doc, data, fields[f].px_flen, &value);
                sink += value;
                break;
            }
            case pxfCurrency: case pxfNumber: {
                double value = 0;
                PX_get_data_double(doc, data, fields[f].px_flen, &value);
                sink += int64_t(value);
                break;
            }
            default:
                break; // memos
            }
        }
        ++rows;
    }
    PX_close(doc);
    PX_delete(doc);
    PX_shutdown();
    if (sink == 42)
        std::puts("");
    return rows;
}

// Reads a table and its memo file once, so that every reader below finds
// them in the page cache and the figures compare reading, not the disk.
void WarmUp(const Tables& t, const QString& file)
{
    std::vector<char> buffer(1 << 20);
    for (const QString& name : {file, QFileInfo(file).completeBaseName() + QStringLiteral(".mb")}) {
        QFile f(QDir(t.dir).filePath(name));
        if (f.open(QIODevice::ReadOnly))
            while (f.read(buffer.data(), qint64(buffer.size())) > 0) {
            }
    }
}

// The best of three runs: the protected and the plain table are compared by time.
Result BestOfThree(const std::function<int64_t()>& job)
{
    Result best;
    for (int i = 0; i < 3; ++i) {
        const Result r = Measure(job);
        if (!r.ok)
            return r;
        if (!best.ok || r.seconds < best.seconds)
            best = r;
    }
    return best;
}

void Report(const char* what, const Result& r)
{
    if (!r.ok) {
        std::printf("  %-44s failed\n", what);
        return;
    }
    std::printf("  %-44s %9lld rows %8.3f s %12.0f rows/s  peak %7.1f MiB\n", what, static_cast<long long>(r.rows),
                r.seconds, double(r.rows) / r.seconds, double(r.peakKiB) / 1024.0);
}

} // namespace

int main(int argc, char* argv[])
{
    const char usage[] = "Aufruf: bench_source [DATENVERZEICHNIS] [--small]\n"
                         "Misst das Lesen erzeugter Paradox-Tabellen (100k, ohne --small auch 1M Zeilen).\n";
    if (const int exitCode = tooloptions::AnswerHelp(argc, argv, usage, {"--small"}); exitCode >= 0)
        return exitCode;
    QCoreApplication app(argc, argv);
    QString dataDir = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../bench-data"));
    bool small = false;
    for (const QString& arg : QCoreApplication::arguments().mid(1)) {
        if (arg == QLatin1String("--small"))
            small = true;
        else
            dataDir = arg;
    }
    dataDir = QDir::cleanPath(dataDir);

    for (const int64_t rows : {int64_t(100'000), int64_t(1'000'000)}) {
        if (small && rows > 100'000)
            break;
        const Tables t = EnsureTables(dataDir, rows);
        std::printf("%lld rows per table (%s)\n", static_cast<long long>(rows), qPrintable(dataDir));
        for (const auto& [label, file, order] :
             {std::tuple{"album", t.album, QString()},
              std::tuple{"album by PNr (its key order)", t.album, QStringLiteral("PNr")},
              std::tuple{"title", t.title, QString()},
              std::tuple{"title by PNr (scattered over the file)", t.title, QStringLiteral("PNr")},
              std::tuple{"title by PNr (entered album by album)", t.entered, QStringLiteral("PNr")}}) {
            std::printf(" %s table\n", label);
            WarmUp(t, file);
            const Result all = Measure([&, f = file, o = order] { return ReadWithEngine(t, f, o, true); });
            const Result ours = Measure([&, f = file, o = order] { return ReadWithEngine(t, f, o, false); });
            Report("SourceTable, every field incl. memos", all);
            Report("SourceTable, every field but memos", ours);
            if (!order.isEmpty())
                continue; // pxlib has no order by a field
            const Result px = Measure([&, f = file] { return ReadWithPxlib(t, f); });
            Report("pxlib PX_get_record, every field but memos", px);
            if (ours.ok && px.ok)
                std::printf("  ratio SourceTable / pxlib (no memos): %.1fx\n",
                            (double(ours.rows) / ours.seconds) / (double(px.rows) / px.seconds));
        }
        // Password-protected copies of the same rows, read without the password.
        for (const auto& [label, plain, locked, order] :
             {std::tuple{"album", t.album, t.albumLocked, QString()},
              std::tuple{"title", t.title, t.titleLocked, QString()},
              std::tuple{"title by PNr (scattered over the file)", t.title, t.titleLocked, QStringLiteral("PNr")}}) {
            std::printf(" %s table, password-protected\n", label);
            WarmUp(t, plain);
            WarmUp(t, locked);
            const Result open = BestOfThree([&, f = plain, o = order] { return ReadWithEngine(t, f, o, true); });
            const Result shut = BestOfThree([&, f = locked, o = order] { return ReadWithEngine(t, f, o, true); });
            Report("SourceTable, plain, every field incl. memos", open);
            Report("SourceTable, protected, the same", shut);
            if (open.ok && shut.ok)
                std::printf("  time protected / plain: %.2fx\n", shut.seconds / open.seconds);
        }
    }
    return 0;
}
