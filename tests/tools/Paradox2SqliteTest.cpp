// paradox2sqlite on tables that pxlib writes: values and NULLs with their SQLite types, a keyed
// table's key and a key its rows break, name clashes, the output file and --replace, unreadable
// tables among good ones, Ctrl+C, and the command line.

#include "EngineFixtures.h"
#include "ExportTestSupport.h"
#include "ProcessStop.h"
#include "Version.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <iterator>
#include <limits>
#include <map>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace exporttest;
using enginetest::Int;
using enginetest::WriteTable;
using pxw::Field;

namespace {

pxw::Value Str(const char* utf8) { return std::string(utf8); }
pxw::Value Num(double v) { return v; }
const pxw::Value kBlank = pxw::Blank{};

QByteArray Digest(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

class Paradox2SqliteTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid() && outDir.isValid()); }

    // A second folder for tables beside those in dir.
    QString Folder(const QString& name)
    {
        QDir(dir.path()).mkpath(name);
        return dir.filePath(name);
    }

    // A small good table: two rows.
    QString WriteGood(const QString& folder, const QString& name)
    {
        const QString path = folder + '/' + name;
        pxw::TableWriter writer(path.toStdString(), {{"Nr", 0x04, 4}, {"Name", 0x01, 10}});
        writer.Add({Int(1), Str("eins")});
        writer.Add({Int(2), Str("zwei")});
        return path;
    }

    QString Out() const { return outDir.filePath("alle.sqlite"); }

    QTemporaryDir dir;
    QTemporaryDir outDir;
};

TEST_F(Paradox2SqliteTest, ValuesArriveWithTheirTypesAndBlanksAsNull)
{
    // 2018-01-01 is day 736695; the timestamp counts milliseconds from day 0.
    const std::vector<Field> fields{
        {"Name", 0x01, 20},   {"Kurz", 0x03, 2},   {"Lang", 0x04, 4},     {"Betrag", 0x05, 8},
        {"Zahl", 0x06, 8},    {"Ja", 0x09, 1},     {"Datum", 0x02, 4},    {"Zeit", 0x14, 4},
        {"Stempel", 0x15, 8}, {"Notiz", 0x0C, 11}, {"Daten", 0x18, 6},    {"Format", 0x0E, 10},
        {"Nummer", 0x16, 4},
    };
    const std::string longMemo = "Über sieben Brücken musst du gehn, sieben dunkle Jahre überstehn";
    WriteTable(dir, "Werte.db", fields,
               {
                   {Str("Grüße"), Int(-7), Int(100000), Num(12.5), Num(-0.125), Int(1), Int(736695), Int(36000000),
                    Num(736695.0 * 86400000 + 3723004), longMemo, Str("\x01\x02\xc3\xa9"), std::string(300, 'x'), Int(1)},
                   {kBlank, Int(0), Int(0), Num(0.0), Num(0.0), Int(0), kBlank, Int(0), kBlank, kBlank, kBlank, kBlank,
                    Int(2)},
                   {kBlank, kBlank, kBlank, kBlank, kBlank, kBlank, kBlank, kBlank, kBlank, kBlank, kBlank, kBlank,
                    Int(3)},
               });

    const ProgramRun run = Export({Out(), dir.filePath("Werte.db")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "Werte: 3 Zeilen\n");

    const std::vector<Column> expectedColumns{
        {"Name", "TEXT", 0},     {"Kurz", "INTEGER", 0},   {"Lang", "INTEGER", 0},  {"Betrag", "REAL", 0},
        {"Zahl", "REAL", 0},     {"Ja", "BOOLEAN", 0},     {"Datum", "DATE", 0},    {"Zeit", "TIME", 0},
        {"Stempel", "TIMESTAMP", 0}, {"Notiz", "TEXT", 0}, {"Daten", "BLOB", 0},    {"Format", "BLOB", 0},
        {"Nummer", "INTEGER", 0},
    };
    EXPECT_EQ(Columns(Out(), "Werte"), expectedColumns);

    const Rows rows = Query(Out(), "SELECT * FROM Werte ORDER BY rowid");
    ASSERT_EQ(rows.size(), 3u);
    const std::vector<Cell> full{Text("Grüße"),
                                 Integer(-7),
                                 Integer(100000),
                                 Real(12.5),
                                 Real(-0.125),
                                 Integer(1),
                                 Text("2018-01-01"),
                                 Text("10:00:00.000"),
                                 Text("2018-01-01T01:02:03.004"),
                                 Text(longMemo.c_str()),
                                 Blob(QByteArray("\x01\x02\xc3\xa9\0\0", 6)),  // the field's whole width
                                 Blob(QByteArray(300, 'x')),                     // from the .mb
                                 Integer(1)};
    EXPECT_EQ(rows[0], full);
    // Zero is a value, blank is NULL: midnight and false too.
    const std::vector<Cell> zeros{Null(),   Integer(0), Integer(0), Real(0.0),  Real(0.0), Integer(0),
                                  Null(),   Text("00:00:00.000"), Null(), Null(), Null(), Null(), Integer(2)};
    EXPECT_EQ(rows[1], zeros);
    for (std::size_t c = 0; c + 1 < rows[2].size(); ++c)
        EXPECT_EQ(rows[2][c], Null()) << c;

    // SQLite's date functions read the texts.
    EXPECT_EQ(Query(Out(), "SELECT date(Datum, '+1 month'), time(Zeit), datetime(Stempel) FROM Werte WHERE rowid = 1")[0],
              (std::vector<Cell>{Text("2018-02-01"), Text("10:00:00"), Text("2018-01-01 01:02:03")}));
}

// Day and month told apart, leap days, the first and the last day Paradox can hold; a day
// before year 1 (real tables hold such values) or a timestamp before it is NULL with a warning.
// paradox-dump prints the same texts.
TEST_F(Paradox2SqliteTest, DatesKeepTheirDayMonthAndYear)
{
    const qint64 msPerDay = 86400000;
    struct Case {
        pxw::Value day;
        pxw::Value stamp;  // milliseconds since day 0
        Cell date;
        Cell timestamp;
    } const cases[] = {
        {Int(737135), Num(737135.0 * msPerDay + 45296789), Text("2019-03-17"), Text("2019-03-17T12:34:56.789")},
        {Int(737484), Num(737484.0 * msPerDay + msPerDay - 1), Text("2020-02-29"), Text("2020-02-29T23:59:59.999")},
        {Int(730179), Num(730179.0 * msPerDay), Text("2000-02-29"), Text("2000-02-29T00:00:00.000")},
        {Int(693655), Num(693655.0 * msPerDay + 1000), Text("1900-03-01"), Text("1900-03-01T00:00:01.000")},
        {Int(60), Num(60.0 * msPerDay), Text("0001-03-01"), Text("0001-03-01T00:00:00.000")},
        {Int(1), Num(1.0 * msPerDay), Text("0001-01-01"), Text("0001-01-01T00:00:00.000")},
        {Int(3652059), Num(3652059.0 * msPerDay + msPerDay - 1), Text("9999-12-31"), Text("9999-12-31T23:59:59.999")},
        {Int(-366), Num(-366.0 * msPerDay), Null(), Null()},  // the year -1
    };
    std::vector<pxw::Row> rows;
    for (const Case& c : cases)
        rows.push_back({Int(qint64(rows.size() + 1)), c.day, c.stamp});
    WriteTable(dir, "Termine.db", {{"Nr", 0x04, 4}, {"Datum", 0x02, 4}, {"Stempel", 0x15, 8}}, rows);

    const ProgramRun run = Export({Out(), dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Termine: 1 Datum außerhalb des Bereichs als NULL (Zeile 8)")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Termine: 1 Zeitstempel außerhalb des Bereichs als NULL (Zeile 8)"))
        << run.err.toStdString();
    const Rows stored = Query(Out(), "SELECT Datum, Stempel FROM Termine ORDER BY Nr");
    ASSERT_EQ(stored.size(), std::size(cases));
    const ProgramRun dump = Dump({dir.filePath("Termine.db")});
    ASSERT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    const QStringList lines = dump.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), qsizetype(std::size(cases)) + 1) << dump.out.toStdString();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(stored[i], (std::vector<Cell>{c.date, c.timestamp}));
        const auto json = [](const Cell& cell) {
            return cell.type == SQLITE_NULL ? QString("null") : '"' + cell.value.toString() + '"';
        };
        EXPECT_EQ(lines[qsizetype(i) + 1], QString("[%1,%2,%3]").arg(i + 1).arg(json(c.date), json(c.timestamp)));
    }
}

// A Number field can hold infinity and NaN (pxlib writes them; a NaN arrives when its sign bit
// is set): no JSON number, no SQLite value says them, so paradox-dump prints null and
// paradox2sqlite stores NULL.
TEST_F(Paradox2SqliteTest, InfinityAndNanInANumberFieldAreNull)
{
    const double inf = std::numeric_limits<double>::infinity();
    WriteTable(dir, "Zahlen.db", {{"Nr", 0x04, 4}, {"Zahl", 0x06, 8}},
               {{Int(1), Num(inf)}, {Int(2), Num(-inf)}, {Int(3), Num(-std::numeric_limits<double>::quiet_NaN())},
                {Int(4), Num(-2.5)}});
    const ProgramRun run = Export({Out(), dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Query(Out(), "SELECT Zahl FROM Zahlen ORDER BY Nr"), (Rows{{Null()}, {Null()}, {Null()}, {Real(-2.5)}}));
    const ProgramRun dump = Dump({dir.filePath("Zahlen.db")});
    ASSERT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    EXPECT_TRUE(dump.out.endsWith("\n[1,null]\n[2,null]\n[3,null]\n[4,-2.5]\n")) << dump.out.toStdString();
}

// Column and table names go into the SQL quoted: a space, a double quote, SQL keywords, also in
// the key.
TEST_F(Paradox2SqliteTest, NamesWithSpacesQuotesAndKeywordsAreQuoted)
{
    WriteTable(dir, "Meine Liste.db",
               {{"Order", 0x04, 4}, {"Erste Spalte", 0x01, 10}, {"Breite \"Zoll\"", 0x04, 4}, {"select", 0x01, 5}},
               {{Int(1), Str("eins"), Int(12), Str("from")}, {Int(2), Str("zwei"), Int(24), kBlank}}, {.keyFields = 1});
    const ProgramRun run = Export({Out(), dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "Meine Liste: 2 Zeilen\n");
    EXPECT_EQ(Columns(Out(), "Meine Liste"), (std::vector<Column>{{"Order", "INTEGER", 1},
                                                                   {"Erste Spalte", "TEXT", 0},
                                                                   {"Breite \"Zoll\"", "INTEGER", 0},
                                                                   {"select", "TEXT", 0}}));
    EXPECT_EQ(Query(Out(), "SELECT \"Order\", \"Erste Spalte\", \"Breite \"\"Zoll\"\"\", \"select\" FROM \"Meine Liste\" "
                           "ORDER BY \"Order\""),
              (Rows{{Integer(1), Text("eins"), Integer(12), Text("from")}, {Integer(2), Text("zwei"), Integer(24), Null()}}));
}

TEST_F(Paradox2SqliteTest, KeyedTableKeepsItsKeyUnlessItsRowsBreakIt)
{
    const std::vector<Field> twoKeys{{"Gruppe", 0x01, 5}, {"Nr", 0x03, 2}, {"Name", 0x01, 10}};
    WriteTable(dir, "Paare.db", twoKeys, {{Str("A"), Int(1), Str("x")}, {Str("A"), Int(2), Str("y")}, {Str("B"), Int(1), Str("z")}},
               {.keyFields = 2});
    const std::vector<Field> oneKey{{"Nr", 0x04, 4}, {"Name", 0x01, 10}};
    WriteTable(dir, "Einfach.db", oneKey, {{Int(5), Str("x")}, {Int(9), Str("y")}}, {.keyFields = 1});

    const ProgramRun run = Export({Out(), dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    EXPECT_EQ(Columns(Out(), "Paare"),
              (std::vector<Column>{{"Gruppe", "TEXT", 1}, {"Nr", "INTEGER", 2}, {"Name", "TEXT", 0}}));
    EXPECT_EQ(Columns(Out(), "Einfach"), (std::vector<Column>{{"Nr", "INTEGER", 1}, {"Name", "TEXT", 0}}));
    EXPECT_EQ(Query(Out(), "SELECT Nr, Name FROM Einfach")[1], (std::vector<Cell>{Integer(9), Text("y")}));

    // Damaged keyed tables: a key twice, and a blank key where SQLite takes the key as the row's
    // number. Each arrives whole, in its order, without the key, and a warning says so.
    struct Broken {
        const char* name;
        std::vector<Field> fields;
        int keys;
        std::vector<pxw::Row> rows;
        int badRow;
    };
    const Broken cases[] = {
        {"Doppelt", oneKey, 1, {{Int(1), Str("a")}, {Int(2), Str("b")}, {Int(2), Str("c")}}, 3},
        {"Leer", oneKey, 1, {{kBlank, Str("a")}, {Int(2), Str("b")}}, 1},
        {"PaarDoppelt", twoKeys, 2, {{Str("A"), Int(1), Str("x")}, {Str("A"), Int(1), Str("y")}}, 2},
    };
    for (const Broken& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        const QString table = WriteTable(folder, QString(c.name) + ".db", c.fields, c.rows, {.keyFields = c.keys});
        const QString out = outDir.filePath(QString(c.name) + ".sqlite");
        const ProgramRun broken = Export({out, table});
        EXPECT_EQ(broken.exitCode, 0) << broken.err.toStdString();
        EXPECT_EQ(broken.out, QString("%1: %2 Zeilen\n").arg(c.name).arg(c.rows.size()));
        EXPECT_TRUE(broken.err.startsWith("Warnung: ")) << broken.err.toStdString();
        EXPECT_TRUE(broken.err.contains(table)) << broken.err.toStdString();
        EXPECT_TRUE(broken.err.contains(QString("in Zeile %1 doppelt oder leer").arg(c.badRow)))
            << broken.err.toStdString();
        for (const Column& column : Columns(out, c.name))
            EXPECT_EQ(column.key, 0) << column.name.toStdString();
        const Rows rows = Query(out, QString("SELECT \"%1\" FROM \"%2\" ORDER BY rowid").arg(c.fields.back().name.c_str(), c.name));
        ASSERT_EQ(rows.size(), c.rows.size());
        for (std::size_t r = 0; r < rows.size(); ++r)
            EXPECT_EQ(rows[r][0], Text(std::get<std::string>(c.rows[r].back()).c_str()));
    }
}

TEST_F(Paradox2SqliteTest, NameClashesAndUnusableNamesAreReportedNotMerged)
{
    WriteGood(Folder("a"), "Kunden.db");
    WriteGood(Folder("b"), "KUNDEN.DB");
    WriteGood(Folder("b"), "sqlite_intern.db");
    WriteGood(Folder("b"), "Lager.Db");
    WriteGood(Folder("b"), "kein-paradox.txt");  // not a .db: a folder's other files are left alone

    const ProgramRun run = Export({Out(), dir.filePath("a"), dir.filePath("b")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(TableNames(Out()), (QStringList{"Kunden", "Lager"}));
    EXPECT_EQ(run.out, "Kunden: 2 Zeilen\nLager: 2 Zeilen\n");
    EXPECT_TRUE(run.err.contains(QString("Die Tabelle \"%1\" kann nicht übernommen werden: ihr Name \"KUNDEN\" gleicht "
                                         "ohne Rücksicht auf Groß- und Kleinschreibung dem der Tabelle \"%2\".")
                                     .arg(dir.filePath("b/KUNDEN.DB"), dir.filePath("a/Kunden.db"))))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(dir.filePath("b/sqlite_intern.db"))) << run.err.toStdString();

    // The same file named twice is one table, not a clash.
    const ProgramRun twice = Export({"--replace", Out(), dir.filePath("a"), dir.filePath("a/Kunden.db")});
    EXPECT_EQ(twice.exitCode, 0) << twice.err.toStdString();
    EXPECT_EQ(twice.out, "Kunden: 2 Zeilen\n");
}

TEST_F(Paradox2SqliteTest, ExistingOutputIsReplacedOnlyWithReplace)
{
    WriteGood(dir.path(), "Erste.db");
    ASSERT_EQ(Export({Out(), dir.path()}).exitCode, 0);
    const QByteArray first = Digest(Out());

    WriteGood(dir.path(), "Zweite.db");
    const ProgramRun refused = Export({Out(), dir.path()});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_EQ(refused.err, QString("paradox2sqlite: Die Datei \"%1\" gibt es bereits; mit --replace wird sie ersetzt.\n").arg(Out()));
    EXPECT_EQ(Digest(Out()), first);

    const ProgramRun replaced = Export({"--replace", Out(), dir.path()});
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err.toStdString();
    EXPECT_EQ(TableNames(Out()), (QStringList{"Erste", "Zweite"}));
    // Built beside the output and renamed: nothing else is left in its folder.
    EXPECT_EQ(QDir(outDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"alle.sqlite"});
}

// An output in the folder read, named like a table: the run that replaces it does not take the
// output of the run before for one of its tables.
TEST_F(Paradox2SqliteTest, OutputInTheFolderReadIsNoInput)
{
    WriteGood(dir.path(), "Erste.db");
    WriteGood(dir.path(), "Zweite.db");
    const QString out = dir.filePath("alle.db");
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        const ProgramRun exported = Export({"--replace", out, dir.path()});
        EXPECT_EQ(exported.exitCode, 0) << exported.err.toStdString();
        EXPECT_EQ(exported.out, "Erste: 2 Zeilen\nZweite: 2 Zeilen\n");
        EXPECT_EQ(TableNames(out), (QStringList{"Erste", "Zweite"}));
    }
}

// The output is only ever a regular file: a device, a FIFO or a folder it names or leads to is
// refused before anything is made; a replaced output keeps its permission bits, read-only
// ones too.
TEST_F(Paradox2SqliteTest, OutputIsARegularFileAndKeepsItsMode)
{
    WriteGood(dir.path(), "Erste.db");
    const QString fifo = outDir.filePath("fifo.sqlite");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link("/dev/null", outDir.filePath("null.sqlite")));
    for (const QString& out : {fifo, outDir.filePath("null.sqlite"), QString("/dev/null")}) {
        SCOPED_TRACE(out.toStdString());
        const ProgramRun run = Export({"--replace", out, dir.path()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains("ist keine gewöhnliche Datei")) << run.err.toStdString();
    }
    EXPECT_EQ(QDir(outDir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
              (QStringList{"fifo.sqlite", "null.sqlite"}));
    EXPECT_TRUE(QDir("/dev").entryList(QDir::Files | QDir::Hidden | QDir::System).filter(".kk").isEmpty());
    EXPECT_FALSE(QFileInfo("/dev/null").isFile());

    ASSERT_EQ(Export({Out(), dir.path()}).exitCode, 0);
    ASSERT_TRUE(QFile::setPermissions(Out(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    ASSERT_EQ(Export({"--replace", Out(), dir.path()}).exitCode, 0);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Out()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0444));
}

// Every file below FOLDER (links not followed) with its digest: "nothing changed, nothing added".
std::map<QString, QByteArray> Snapshot(const QString& folder)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        files[file] = QFileInfo(file).isSymLink() ? QFile::symLinkTarget(file).toUtf8() : Digest(file);
    }
    return files;
}

// The output is never a file the run reads or passes over, by any name or link: refused with
// exit code 2 before anything is written, naming both. A name with a Paradox extension is
// refused while it is a Paradox file, taken for a new file or an earlier export.
TEST_F(Paradox2SqliteTest, OutputThatIsAnInputIsRefusedBeforeAnythingIsWritten)
{
    // A table with its memo file and primary index, a table with a secondary index below, and a
    // table in a folder not read. (The index files' bytes stand in: only the file counts.)
    WriteTable(dir, "Demo-Album.db", {{"Nr", 0x04, 4}, {"Notiz", 0x0C, 11}}, {{Int(1), std::string(300, 'm')}});
    ASSERT_TRUE(QFileInfo::exists(dir.filePath("Demo-Album.mb")));
    auto standIn = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::WriteOnly) && f.write("Indexdatei") == 10;
    };
    ASSERT_TRUE(standIn(dir.filePath("Demo-Album.PX")));
    WriteGood(Folder("Archiv"), "Alt.db");
    ASSERT_TRUE(standIn(dir.filePath("Archiv/Alt.X02")));
    QTemporaryDir other;
    WriteGood(other.path(), "Fremd.db");
    ASSERT_TRUE(QFile::link(dir.filePath("Demo-Album.db"), outDir.filePath("link.sqlite")));
    ASSERT_TRUE(QFile::link(other.filePath("Fremd.db"), outDir.filePath("fremd.sqlite")));
    ASSERT_EQ(::link(QFile::encodeName(dir.filePath("Demo-Album.mb")).constData(),
                     QFile::encodeName(outDir.filePath("hart.sqlite")).constData()),
              0);

    const QString table = dir.filePath("Demo-Album.db");
    const QString self = "Die Ausgabe \"%1\" gehört zu den gelesenen Tabellen; eine Eingabe wird nie ersetzt";
    const QString same = "Die Ausgabe \"%1\" ist dieselbe Datei wie \"%2\", die zu den gelesenen Tabellen gehört";
    const QString named = "Die Ausgabe \"%1\" trägt den Namen einer Paradox-Datei und ist keine SQLite-Datenbank";
    struct Case {
        const char* name;
        QStringList args;
        QString message;
    } cases[] = {
        {"the table, found in the folder read", {"--replace", table, dir.path()}, self.arg(table)},
        {"its memo file, the table named", {"--replace", dir.filePath("Demo-Album.mb"), table},
         self.arg(dir.filePath("Demo-Album.mb"))},
        {"its primary index", {"--replace", dir.filePath("Demo-Album.PX"), dir.path()},
         self.arg(dir.filePath("Demo-Album.PX"))},
        {"a secondary index in a subfolder", {"-r", "--replace", dir.filePath("Archiv/Alt.X02"), dir.path()},
         self.arg(dir.filePath("Archiv/Alt.X02"))},
        {"a link to the table", {"--replace", outDir.filePath("link.sqlite"), dir.path()},
         same.arg(outDir.filePath("link.sqlite"), table)},
        {"a hard link to the memo file", {"--replace", outDir.filePath("hart.sqlite"), table},
         same.arg(outDir.filePath("hart.sqlite"), dir.filePath("Demo-Album.mb"))},
        {"swapped arguments", {table, outDir.filePath("neu.sqlite")}, named.arg(table)},
        {"a link to a table not read", {"--replace", outDir.filePath("fremd.sqlite"), dir.path()},
         named.arg(other.filePath("Fremd.db"))},
    };
    const auto sources = Snapshot(dir.path());
    const auto outputs = Snapshot(outDir.path());
    const auto others = Snapshot(other.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = Export(c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.startsWith("paradox2sqlite: " + c.message)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(Snapshot(dir.path()), sources);
        EXPECT_EQ(Snapshot(outDir.path()), outputs);
        EXPECT_EQ(Snapshot(other.path()), others);
    }

    // A new file named like a table is no Paradox file, nor is the export written there.
    const QString db = outDir.filePath("neu.db");
    for (const QStringList& args : {QStringList{db, table}, QStringList{"--replace", db, table}}) {
        const ProgramRun run = Export(args);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(TableNames(db), QStringList{"Demo-Album"});
    }
}

// Another user's link in a sticky folder that everybody may write (/tmp) is not followed, even
// by root: it could have been planted there to have a file of root's replaced or made. Exit 1,
// nothing changed where it leads.
TEST_F(Paradox2SqliteTest, LinkPlantedInASharedFolderIsNotFollowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to plant another user's link";
    WriteGood(dir.path(), "Erste.db");
    const QString shared = outDir.filePath("geteilt");
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QString protectedFile = outDir.filePath("wichtig.conf");
    {
        QFile file(protectedFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("root=1\n");
    }
    for (const QString& target : {protectedFile, outDir.filePath("neu.conf")}) {
        SCOPED_TRACE(target.toStdString());
        const QString link = shared + "/r.sqlite";
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(target, link));
        ASSERT_EQ(::lchown(QFile::encodeName(link).constData(), 4001, 4001), 0);
        const ProgramRun run = Export({"--replace", link, dir.path()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(QString("Die Verknüpfung \"%1\" liegt im Verzeichnis \"%2\"").arg(link, shared)))
            << run.err.toStdString();
    }
    EXPECT_EQ(Digest(protectedFile), QCryptographicHash::hash("root=1\n", QCryptographicHash::Sha256));
    EXPECT_FALSE(QFile::exists(outDir.filePath("neu.conf")));
}

// A reader that stops early (| head -1) ends the export with exit code 1 and no temporary
// file; the earlier output stays.
TEST_F(Paradox2SqliteTest, ClosedOutputStopsTheExportAndCleansUp)
{
    for (const char* name : {"A.db", "B.db", "C.db"})
        WriteGood(dir.path(), name);
    ASSERT_EQ(Export({Out(), dir.path()}).exitCode, 0);
    const QByteArray earlier = Digest(Out());
    WriteGood(dir.path(), "D.db");

    // Standard output is a pipe whose reader has already gone: the first report line fails,
    // whatever the timing (a reader that quits after a line may quit too late).
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ::close(pipeEnds[0]);
    const int writeEnd = pipeEnds[1];
    QProcess exporter;
    exporter.setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDOUT_FILENO); });
    exporter.start(QStringLiteral(KK_PARADOX2SQLITE), {"--replace", Out(), dir.path()});
    const bool finished = exporter.waitForFinished(300000);
    ::close(writeEnd);
    ASSERT_TRUE(finished);
    EXPECT_EQ(exporter.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(exporter.exitCode(), 1);
    EXPECT_TRUE(exporter.readAllStandardError().contains("Die Standardausgabe ist geschlossen"));
    EXPECT_EQ(Digest(Out()), earlier);
    EXPECT_EQ(QDir(outDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"alle.sqlite"});
}

// Stops EXPORTER (SIGSTOP) while it writes its temporary database ".NAME.kk-*" beside the
// output: held open twice, by the staging that made it and by SQLite, which opens it only once
// it is made and listed for removal. Looked at only while stopped, so it cannot finish before
// the test's next step, however loaded the machine is. False when it ended first.
bool StopWhileWriting(QProcess& exporter, const QString& name)
{
    const QString prefix = '.' + name + ".kk-";
    return TestSupport::StopWhen(pid_t(exporter.processId()), [&prefix](const QStringList& open) {
        return std::count_if(open.begin(), open.end(), [&](const QString& n) { return n.startsWith(prefix); }) >= 2;
    });
}

// Ctrl+C halfway through a table: the message says what was left, the exit code is 130, an
// earlier output is byte for byte as it was (a new one is not made), no temporary file stays,
// and the table read is unchanged.
TEST_F(Paradox2SqliteTest, CtrlCLeavesTheOutputAsItWas)
{
    // Large enough to take a while to export.
    const QString big = dir.filePath("Gross.db");
    {
        pxw::TableWriter writer(big.toStdString(), {{"Nr", 0x04, 4}, {"Name", 0x01, 40}, {"Ort", 0x01, 30}});
        for (std::int64_t i = 1; i <= 100000; ++i)
            writer.Add({Int(i), "Name " + std::to_string(i), std::string("Ort")});
    }
    const QByteArray source = Digest(big);

    for (const bool earlier : {true, false}) {
        SCOPED_TRACE(earlier ? "earlier output" : "no output yet");
        QFile::remove(Out());
        QByteArray before;
        if (earlier) {
            const QString small = Folder("klein");
            WriteGood(small, "Klein.db");
            ASSERT_EQ(Export({Out(), small}).exitCode, 0);
            before = Digest(Out());
        }
        QProcess exporter;
        exporter.setStandardInputFile(QProcess::nullDevice());
        exporter.start(QStringLiteral(KK_PARADOX2SQLITE), {"--replace", Out(), big});
        ASSERT_TRUE(exporter.waitForStarted(60000));
        const bool stopped = StopWhileWriting(exporter, "alle.sqlite");
        ASSERT_TRUE(stopped) << "the table exports too fast to be interrupted";
        // Pending while stopped, taken when the export goes on.
        ::kill(pid_t(exporter.processId()), SIGINT);
        ::kill(pid_t(exporter.processId()), SIGCONT);
        ASSERT_TRUE(exporter.waitForFinished(120000));

        EXPECT_EQ(exporter.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(exporter.exitCode(), 128 + SIGINT);
        const QString err = QString::fromUtf8(exporter.readAllStandardError());
        const QString said = earlier ? QString("paradox2sqlite: abgebrochen; \"%1\" bleibt unverändert.\n").arg(Out())
                                     : QString("paradox2sqlite: abgebrochen; \"%1\" wurde nicht angelegt.\n").arg(Out());
        EXPECT_TRUE(err.endsWith(said)) << err.toStdString();
        EXPECT_TRUE(exporter.readAllStandardOutput().isEmpty());
        if (earlier) {
            EXPECT_EQ(Digest(Out()), before);
        }
        EXPECT_EQ(QDir(outDir.path()).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString(),
                  earlier ? "alle.sqlite" : "");
        EXPECT_EQ(Digest(big), source);
    }
}

TEST_F(Paradox2SqliteTest, UnreadableTablesAreReportedAndTheOthersStillExported)
{
    WriteGood(dir.path(), "Gut.db");
    // Not a Paradox table at all.
    enginetest::WriteAll(dir.filePath("Kaputt.db"), "nur ein Text");
    // Password-protected: read without its password.
    const QByteArray plain = enginetest::ReadAll(WriteGood(Folder("tmp"), "Geschuetzt.db"));
    enginetest::WriteAll(dir.filePath("Geschuetzt.db"), enginetest::Protected(plain, 0x0A25E09A));
    const ProgramRun run = Export({Out(), dir.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(TableNames(Out()), (QStringList{"Geschuetzt", "Gut"}));
    EXPECT_EQ(run.out, "Geschuetzt: 2 Zeilen\nGut: 2 Zeilen\nKaputt: nicht übernommen\n");
    EXPECT_EQ(Query(Out(), "SELECT * FROM Geschuetzt"), Query(Out(), "SELECT * FROM Gut"));
    const QString path = dir.path() + '/';
    for (const QString& message :
         {QString("Die Datei \"%1Kaputt.db\" ist keine Paradox-Tabelle").arg(path),
          QString("paradox2sqlite: 2 von 3 Tabellen übernommen.")})
        EXPECT_TRUE(run.err.contains(message + '\n')) << message.toStdString() << "\n" << run.err.toStdString();

    // When no table goes in, no output file is made.
    const ProgramRun none = Export({outDir.filePath("leer.sqlite"), dir.filePath("Kaputt.db"), dir.filePath("fehlt.db")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains(QString("Datei \"%1fehlt.db\" nicht gefunden!").arg(path))) << none.err.toStdString();
    EXPECT_FALSE(QFile::exists(outDir.filePath("leer.sqlite")));
    EXPECT_EQ(QDir(outDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"alle.sqlite"});
}

// A damaged table gives up what can be read: its line and the message say what was lost, and
// the exit code is 1, in the export, --list and paradox-dump alike. A chain that lost nothing is
// only a warning.
TEST_F(Paradox2SqliteTest, DamagedTableGoesInWithItsReadableRows)
{
    WriteGood(dir.path(), "Gut.db");
    const QString probe = dir.filePath("Probe.db");
    {
        pxw::TableWriter writer(probe.toStdString(), {{"Nr", 0x04, 4}, {"Name", 0x01, 10}}, {.keyFields = 1});
        for (int i = 1; i <= 1000; ++i)
            writer.Add({Int(i), Str("Name")});
    }
    const QByteArray sound = enginetest::ReadAll(probe);
    // 14-byte records, 2 KiB blocks: 145 records in a block. Block 4 zeroed: its rows are gone.
    ASSERT_EQ(std::uint8_t(sound[0x05]), 2);
    const int blockStart = enginetest::Le16(sound, 0x02) + 3 * 2048;
    QByteArray damaged = sound;
    damaged.replace(blockStart, 2048, QByteArray(2048, '\0'));
    enginetest::WriteAll(probe, damaged);
    const QString message =
        QString("Die Tabelle \"%1\" ist beschädigt: 855 von 1.000 Zeilen gelesen; Block 4 ist unlesbar.\n").arg(probe);

    const ProgramRun run = Export({Out(), dir.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Gut: 2 Zeilen\nProbe: 855 von 1.000 Zeilen, beschädigt\n");
    EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("paradox2sqlite: 1 Tabelle ist beschädigt; ihre lesbaren Zeilen sind übernommen.\n"))
        << run.err.toStdString();
    EXPECT_EQ(Query(Out(), "SELECT count(*), min(Nr), max(Nr), count(DISTINCT Nr) FROM Probe")[0],
              (std::vector<Cell>{Integer(855), Integer(1), Integer(1000), Integer(855)}));
    EXPECT_EQ(Query(Out(), "SELECT count(*) FROM Probe WHERE Nr BETWEEN 436 AND 580")[0][0], Integer(0));

    const ProgramRun list = Export({"--list", probe});
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_TRUE(list.out.startsWith("Probe: 855 von 1.000 Zeilen, beschädigt, 2 Felder, ")) << list.out.toStdString();
    EXPECT_EQ(list.err, message);
    const ProgramRun json = Export({"--list", "--json", probe});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_TRUE(json.out.contains("\"rows\":855,\"headerRows\":1000,\"damaged\":true,\"unreadableBlocks\":[4]"))
        << json.out.toStdString();

    const ProgramRun dump = Dump({probe});
    EXPECT_EQ(dump.exitCode, 1);
    EXPECT_EQ(dump.out.count('\n'), 1 + 855);
    EXPECT_EQ(dump.err, message);

    // The same block's next word 0 instead: every row is found, and a warning says so.
    QByteArray cut = sound;
    enginetest::PutLe16(cut, blockStart, 0);
    enginetest::WriteAll(probe, cut);
    const ProgramRun again = Export({"--replace", Out(), probe});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(again.out, "Probe: 1000 Zeilen\n");
    EXPECT_EQ(again.err, QString("Warnung: Die Blockkette der Tabelle \"%1\" ist unterbrochen; alle 1.000 Zeilen "
                                 "wurden dennoch gefunden.\n").arg(probe));
    const ProgramRun whole = Dump({probe});
    EXPECT_EQ(whole.exitCode, 0);
    EXPECT_EQ(whole.out.count('\n'), 1 + 1000);
}

TEST_F(Paradox2SqliteTest, CommandLine)
{
    WriteGood(dir.path(), "Gut.db");
    for (const QStringList& args : {QStringList{}, QStringList{Out()}, QStringList{"--unbekannt", Out(), dir.path()},
                                    QStringList{Out(), dir.path(), "--codepage"}}) {
        const ProgramRun run = Export(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("Aufruf: paradox2sqlite")) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(Out()));
    }
    const ProgramRun help = Export({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Aufruf: paradox2sqlite")) << help.out.toStdString();
    EXPECT_EQ(Export({"--version"}).out, "paradox2sqlite " KK_VERSION "\n");

    // A code page given by name is used for every table.
    EXPECT_EQ(Export({"--codepage", "IBM850", Out(), dir.path()}).exitCode, 0);
}

} // namespace
