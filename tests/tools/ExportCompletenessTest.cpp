// paradox2sqlite and paradox-dump leave nothing out without a word: names that are not UTF-8,
// a missing memo file, values that cannot be taken as stored, a link beside its table, field
// names SQLite cannot take twice; folders read with their subfolders and chosen tables; the
// look-and-copy modes (--list, --schema, secondary indexes, CSV); usage and exit codes.

#include "EngineFixtures.h"
#include "ExportTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace exporttest;
using enginetest::Int;

namespace {

const QString kFixtures = QStringLiteral(KK_PARADOX_FIXTURES);

pxw::Value Str(const char* utf8) { return std::string(utf8); }
const pxw::Value kBlank = pxw::Blank{};

class ExportCompletenessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid() && outDir.isValid()); }

    // A two-row table at PATH (raw bytes of the file system's name).
    static void WriteGood(const QByteArray& path)
    {
        pxw::TableWriter writer(path.toStdString(), {{"Nr", 0x04, 4}, {"Name", 0x01, 10}});
        writer.Add({Int(1), Str("eins")});
        writer.Add({Int(2), Str("zwei")});
    }
    void WriteGood(const QString& relative) { WriteGood(QFile::encodeName(dir.filePath(relative))); }

    QString Out() const { return outDir.filePath("alle.sqlite"); }

    QTemporaryDir dir;
    QTemporaryDir outDir;
};

// A name in the bytes of a DOS or Windows code page is read like any other: the table goes in
// under its name decoded with the table's code page, messages show the bytes escaped.
TEST_F(ExportCompletenessTest, NamesThatAreNotUtf8AreReadAndNamedInTheTablesCodePage)
{
    const QByteArray folder = QFile::encodeName(dir.path());
    WriteGood(folder + "/GR\xD6SSE.db");  // windows-1252: GRÖSSE
    WriteGood(folder + "/Klein.db");

    const ProgramRun run = Export({Out(), dir.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(TableNames(Out()), (QStringList{"GRÖSSE", "Klein"}));
    EXPECT_EQ(run.out, "GRÖSSE: 2 Zeilen\nKlein: 2 Zeilen\n");
    EXPECT_TRUE(run.err.contains("GR\\xD6SSE.db")) << run.err.toStdString();

    // Named directly, by paradox2sqlite and paradox-dump; a forced code page names it too.
    QProcess direct;
    direct.setProgram(QStringLiteral(KK_PARADOX_DUMP));
    // QProcess passes arguments through the locale's codec: hand the bytes over by a shell.
    const ProgramRun dump = RunProgram("sh", {"-c", QString("exec \"$0\" \"$1\"/$(printf 'GR\\326SSE.db')"),
                                              QStringLiteral(KK_PARADOX_DUMP), dir.path()});
    EXPECT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    EXPECT_TRUE(dump.out.contains("[2,\"zwei\"]")) << dump.out.toStdString();
    const ProgramRun forced =
        RunProgram("sh", {"-c", QString("exec \"$0\" --codepage IBM850 \"$1\" \"$2\"/$(printf 'GR\\326SSE.db')"),
                          QStringLiteral(KK_PARADOX2SQLITE), outDir.filePath("cp850.sqlite"), dir.path()});
    EXPECT_EQ(forced.exitCode, 0) << forced.err.toStdString();
    EXPECT_EQ(TableNames(outDir.filePath("cp850.sqlite")), QStringList{"GRÍSSE"});  // 0xD6 in code page 850

    // QDir cannot remove what it cannot name.
    ::unlink((folder + "/GR\xD6SSE.db").constData());
}

// The catalog conversion finds such a catalog too, and writes its catalog file by the same bytes.
TEST_F(ExportCompletenessTest, CatalogsWithNamesThatAreNotUtf8AreConverted)
{
    const QByteArray stem = QFile::encodeName(dir.path()) + "/GR\xD6SSE";
    {
        pxw::TableWriter albums((stem + "-Album.db").toStdString(), pxw::AlbumFields(), {.keyFields = 1});
        pxw::Row album(pxw::AlbumFields().size(), kBlank);
        album[0] = Int(1);
        album[1] = Str("Solist");
        albums.Add(album);
        pxw::TableWriter titles((stem + "-Titel.db").toStdString(), pxw::TitleFields());
        pxw::Row title(pxw::TitleFields().size(), kBlank);
        title[0] = Int(1);
        title[3] = Str("Satz");
        titles.Add(title);
    }
    const ProgramRun run = RunProgram(QStringLiteral(KK_KATALOGKONVERTER_CLI), {"--all", dir.path(), "-y"});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    struct stat st {};
    EXPECT_EQ(::stat((stem + "-Music.sqlite").constData(), &st), 0);
    for (const char* suffix : {"-Album.db", "-Album.mb", "-Titel.db", "-Titel.mb", "-Music.sqlite"})
        ::unlink((stem + suffix).constData());
}

// katalogkonverter-cli takes a folder whose name is not UTF-8, as root or as its own folder
// (where its template lies), and shows such names with their bytes escaped.
TEST_F(ExportCompletenessTest, CatalogConverterShowsNamesThatAreNotUtf8Escaped)
{
    const QByteArray root = QFile::encodeName(dir.path()) + "/Ord\x99ner";
    const QByteArray program = QFile::encodeName(dir.path()) + "/Prog\x99";
    ASSERT_EQ(::mkdir(root.constData(), 0755), 0);
    ASSERT_EQ(::mkdir(program.constData(), 0755), 0);
    {
        pxw::TableWriter albums((root + "/Jazz-Album.db").toStdString(), pxw::AlbumFields(), {.keyFields = 1});
        pxw::Row album(pxw::AlbumFields().size(), kBlank);
        album[0] = Int(1);
        albums.Add(album);
        pxw::TableWriter titles((root + "/Jazz-Titel.db").toStdString(), pxw::TitleFields());
        pxw::Row title(pxw::TitleFields().size(), kBlank);
        title[0] = Int(1);
        titles.Add(title);
    }
    const QString cli = QStringLiteral(KK_KATALOGKONVERTER_CLI);
    const QString template_ = QFileInfo(cli).dir().filePath("def-Music.sqlite");
    // The names' bytes pass through the shell: $R is the root, $P the program's folder.
    const auto run = [&](const QString& command) {
        return RunProgram("sh", {"-c", "R=\"$1\"/$(printf 'Ord\\231ner'); P=\"$1\"/$(printf 'Prog\\231'); " + command,
                                 cli, dir.path(), template_});
    };
    const QString shownRoot = dir.path() + "/Ord\\x99ner";

    const ProgramRun converted = run("exec \"$0\" \"$R\" Jazz -y");
    EXPECT_EQ(converted.exitCode, 0) << converted.err.toStdString();
    EXPECT_EQ(converted.out, "1 Alben und 1 Titel nach\n\"" + shownRoot + "/Jazz-Music.sqlite\" konvertiert!\n");
    struct stat st {};
    EXPECT_EQ(::stat((root + "/Jazz-Music.sqlite").constData(), &st), 0);

    const ProgramRun all = run("exec \"$0\" --all \"$R\" -y");
    EXPECT_EQ(all.exitCode, 0) << all.err.toStdString();
    EXPECT_TRUE(all.out.startsWith("Jazz: 1 Alben und 1 Titel nach \"" + shownRoot + "/Jazz-Music.sqlite\" konvertiert!\n"))
        << all.out.toStdString();

    const ProgramRun missing = run("exec \"$0\" \"$R\" Fehlt -y");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("Datei \"" + shownRoot + "/Fehlt-Album.db\" nicht gefunden!\n")) << missing.err.toStdString();

    // A copy of the program in a folder of such a name finds its template there, or names it.
    const ProgramRun alone = run("cp \"$0\" \"$P\"/ && exec \"$P\"/\"${0##*/}\" \"$R\" Jazz -y");
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_TRUE(alone.err.contains("Die Vorlage \"" + dir.path() + "/Prog\\x99/def-Music.sqlite\" wurde nicht gefunden."))
        << alone.err.toStdString();
    const ProgramRun beside = run("cp \"$2\" \"$P\"/ && exec \"$P\"/\"${0##*/}\" \"$R\" Jazz -y");
    EXPECT_EQ(beside.exitCode, 0) << beside.err.toStdString();

    // QDir cannot remove what it cannot name.
    RunProgram("rm", {"-rf", "--", dir.path()});
}

// Without its memo file a table still goes in: the memos kept there are NULL, those whole in
// the record stay, and one line names the file with the count and the first row.
TEST_F(ExportCompletenessTest, MissingMemoFileCostsOnlyTheValuesKeptInIt)
{
    std::vector<pxw::Row> rows;
    for (int i = 0; i < 5; ++i)
        rows.push_back({Int(i + 1), i == 2 || i == 4 ? Str("eine Notiz, die nicht in den Vorspann passt") : Str("kurz")});
    enginetest::WriteTable(dir, "Notizen.db", {{"Nr", 0x04, 4}, {"Notiz", 0x0C, 15}}, rows);
    ASSERT_TRUE(QFile::remove(dir.filePath("Notizen.mb")));

    const ProgramRun run = Export({Out(), dir.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "Notizen: 5 Zeilen\n");
    EXPECT_EQ(run.err, QString("Notizen: 2 Memo-/BLOB-Werte als NULL, weil die Memodatei \"%1\" fehlt (zuerst in Zeile 3)\n")
                           .arg(dir.filePath("Notizen.mb")));
    EXPECT_EQ(Query(Out(), "SELECT Notiz FROM Notizen ORDER BY Nr"),
              (Rows{{Text("kurz")}, {Text("kurz")}, {Null()}, {Text("kurz")}, {Null()}}));

    const ProgramRun dump = Dump({dir.filePath("Notizen.db")});
    EXPECT_EQ(dump.exitCode, 0);
    EXPECT_TRUE(dump.out.endsWith("[3,null]\n[4,\"kurz\"]\n[5,null]\n")) << dump.out.toStdString();
    EXPECT_TRUE(dump.err.contains("Notizen: 2 Memo-/BLOB-Werte als NULL")) << dump.err.toStdString();
}

// After each table one line per kind of value that could not be taken as stored.
TEST_F(ExportCompletenessTest, ValuesLostAreCountedPerKindWithTheirFirstRow)
{
    enginetest::WriteTable(dir, "Termine.db", {{"Nr", 0x04, 4}, {"Datum", 0x02, 4}},
                           {{Int(1), Int(730000)}, {Int(2), Int(4000000)}, {Int(3), Int(5000000)}, {Int(4), kBlank}});
    const ProgramRun run = Export({Out(), dir.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, "Termine: 2 Datumswerte außerhalb des Bereichs als NULL (zuerst in Zeile 2)\n");
    EXPECT_EQ(Query(Out(), "SELECT Datum FROM Termine ORDER BY Nr"),
              (Rows{{Text("1999-09-03")}, {Null()}, {Null()}, {Null()}}));
    const ProgramRun dump = Dump({dir.filePath("Termine.db")});
    EXPECT_EQ(dump.err, "Termine: 2 Datumswerte außerhalb des Bereichs als NULL (zuerst in Zeile 2)\n");

    // Real tables: text outside its code page, BCD digits above 9.
    struct Case {
        const char* table;
        const char* line;
    };
    for (const Case& c : {Case{"leonhad__paradoxdriver/src/test/resources/db/NOTE1251.DB",
                               "NOTE1251: 1 Text mit Bytes außerhalb der Codepage GBK, als U+FFFD übernommen (Zeile 1)\n"},
                          Case{"leonhad__paradoxdriver/src/test/resources/fields/bcd.db",
                               "bcd: 3 BCD-Zahlen mit ungültigen Ziffern, als 0 gelesen (zuerst in Zeile 1)\n"}}) {
        const QString table = kFixtures + '/' + c.table;
        const ProgramRun one = Export({"--replace", Out(), table});
        EXPECT_EQ(one.exitCode, 0) << one.err.toStdString();
        EXPECT_TRUE(one.err.endsWith(QString::fromUtf8(c.line))) << one.err.toStdString();
        EXPECT_TRUE(Dump({table}).err.endsWith(QString::fromUtf8(c.line)));
    }
}

// A link beside its table is one table, under the name of the real file, and a note says so;
// duplicate and empty field names become columns of their own with a warning each.
TEST_F(ExportCompletenessTest, LinksAndFieldNamesSqliteCannotTakeAsTheyAre)
{
    WriteGood(QString("zwei.db"));
    ASSERT_TRUE(QFile::link(dir.filePath("zwei.db"), dir.filePath("link.db")));
    {
        pxw::TableWriter writer(dir.filePath("Felder.db").toStdString(),
                                {{"Name", 0x01, 5}, {"NAME", 0x01, 5}, {"", 0x04, 4}, {"Name_2", 0x01, 5}});
        writer.Add({Str("a"), Str("b"), Int(3), Str("d")});
    }
    const ProgramRun run = Export({Out(), dir.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(TableNames(Out()), (QStringList{"Felder", "zwei"}));
    EXPECT_TRUE(run.err.contains(QString("Hinweis: \"%1\" und \"%2\" sind dieselbe Datei; sie wird einmal übernommen, "
                                         "als Tabelle \"zwei\".")
                                     .arg(dir.filePath("link.db"), dir.filePath("zwei.db"))))
        << run.err.toStdString();
    EXPECT_EQ(Columns(Out(), "Felder"), (std::vector<Column>{{"Name", "TEXT", 0},
                                                              {"NAME_3", "TEXT", 0},
                                                              {"Feld_3", "INTEGER", 0},
                                                              {"Name_2", "TEXT", 0}}));
    EXPECT_TRUE(run.err.contains("das 2. Feld wird zur Spalte \"NAME_3\"")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Das 3. Feld der Tabelle")) << run.err.toStdString();
}

// -r reads subfolders, naming their tables after the path below the folder given, unique;
// --only and --exclude choose by stem, in any case.
TEST_F(ExportCompletenessTest, TreesAndChosenTables)
{
    QDir(dir.path()).mkpath("Archiv/2019");
    QDir(dir.path()).mkpath("Archiv_2019");
    WriteGood(QString("Kunden.db"));
    WriteGood(QString("Lager.db"));
    WriteGood(QString("Archiv/2019/Kunden.db"));
    WriteGood(QString("Archiv_2019/Kunden.db"));

    const ProgramRun flat = Export({Out(), dir.path()});
    EXPECT_EQ(flat.exitCode, 0);
    EXPECT_EQ(TableNames(Out()), (QStringList{"Kunden", "Lager"}));

    const ProgramRun tree = Export({"--replace", "-r", Out(), dir.path()});
    EXPECT_EQ(tree.exitCode, 0) << tree.err.toStdString();
    EXPECT_EQ(TableNames(Out()), (QStringList{"Archiv_2019_Kunden", "Archiv_2019_Kunden_2", "Kunden", "Lager"}));
    EXPECT_TRUE(tree.err.contains("heißt \"Archiv_2019_Kunden_2\"")) << tree.err.toStdString();

    const ProgramRun only = Export({"--replace", "--recursive", "--only", "kunden", "--exclude=ARCHIV_2019_KUNDEN", Out(), dir.path()});
    EXPECT_EQ(only.exitCode, 0) << only.err.toStdString();
    EXPECT_EQ(TableNames(Out()), QStringList{"Kunden"});

    const ProgramRun unknown = Export({"--replace", "--only", "Kunden,Fehlt", Out(), dir.path()});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("Eine Tabelle \"Fehlt\" (--only) gibt es nicht.")) << unknown.err.toStdString();
    EXPECT_EQ(TableNames(Out()), QStringList{"Kunden"});
}

// --list and --schema write nothing; secondary indexes that fit become CREATE INDEX.
TEST_F(ExportCompletenessTest, ListSchemaAndIndexesOfRealTables)
{
    const QString folder = kFixtures + "/delphi-pascal-archive__database-samples/DataBase_Samples/_my_data";
    const QString table = folder + "/SearchIndex.db";
    const ProgramRun list = Export({"--list", table});
    EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_TRUE(list.out.startsWith("SearchIndex: ")) << list.out.toStdString();
    EXPECT_TRUE(list.out.contains("4 Felder, 1 Schlüsselfeld, Paradox ")) << list.out.toStdString();
    EXPECT_TRUE(list.out.contains("nicht verschlüsselt")) << list.out.toStdString();

    const ProgramRun json = Export({"--list", "--json", table, kFixtures + "/leonhad__paradoxdriver/src/test/resources/encrypt/encrypted.db"});
    EXPECT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QStringList lines = json.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    const QJsonObject first = QJsonDocument::fromJson(lines[0].toUtf8()).object();
    EXPECT_EQ(first["name"].toString(), "SearchIndex");
    EXPECT_EQ(first["fields"].toInt(), 4);
    EXPECT_EQ(first["keyFields"].toInt(), 1);
    EXPECT_FALSE(first["encrypted"].toBool());
    EXPECT_TRUE(first["indexes"].toArray().contains("SearchIndex.XG1")) << lines[0].toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(lines[1].toUtf8()).object()["encrypted"].toBool()) << lines[1].toStdString();

    const ProgramRun schema = Export({"--schema", table});
    EXPECT_EQ(schema.exitCode, 0) << schema.err.toStdString();
    EXPECT_TRUE(schema.out.startsWith("CREATE TABLE \"SearchIndex\" (\"Count\" INTEGER, ")) << schema.out.toStdString();
    // iC is descending: the top bit of its field number (0x8003), its records from high to low.
    EXPECT_TRUE(schema.out.contains("CREATE INDEX \"SearchIndex_iC\" ON \"SearchIndex\" (\"City\" DESC);\n"))
        << schema.out.toStdString();
    EXPECT_TRUE(schema.out.contains("CREATE INDEX \"SearchIndex_iCD\" ON \"SearchIndex\" (\"City\", \"Date\");\n"))
        << schema.out.toStdString();

    const ProgramRun run = Export({Out(), table});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const Rows indexes = Query(Out(), "SELECT sql FROM sqlite_schema WHERE type = 'index' AND sql IS NOT NULL ORDER BY name");
    QStringList made;
    for (const auto& row : indexes)
        made << row[0].value.toString() + ';';
    for (const QString& line : schema.out.split('\n', Qt::SkipEmptyParts).mid(1))
        EXPECT_TRUE(made.contains(line)) << line.toStdString();
    EXPECT_EQ(made.size(), schema.out.count("CREATE INDEX"));
    EXPECT_EQ(Export({"--replace", "--no-indexes", Out(), table}).exitCode, 0);
    EXPECT_TRUE(Query(Out(), "SELECT name FROM sqlite_schema WHERE type = 'index' AND sql IS NOT NULL").empty());
}

// A password-protected table with protected secondary indexes (a copy of the real sample's
// files, scrambled with pxlib's cipher): listed as protected, otherwise read as the plain one.
TEST_F(ExportCompletenessTest, ProtectedTableWithItsIndexesReadsAsThePlainOne)
{
    const QString folder = kFixtures + "/delphi-pascal-archive__database-samples/DataBase_Samples/_my_data";
    ASSERT_TRUE(QDir().mkpath(dir.filePath("geschuetzt")));
    const QStringList files = QDir(folder).entryList({"SearchIndex.*"}, QDir::Files);
    ASSERT_TRUE(files.contains("SearchIndex.XG1")) << files.join(' ').toStdString();
    for (const QString& name : files)
        enginetest::WriteAll(dir.filePath("geschuetzt/" + name),
                             enginetest::Protected(enginetest::ReadAll(folder + '/' + name), 0x0A25E09A));
    const QString plain = folder + "/SearchIndex.db";
    const QString locked = dir.filePath("geschuetzt/SearchIndex.db");

    const ProgramRun list = Export({"--list", locked});
    EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_EQ(list.out, Export({"--list", plain}).out.replace("nicht verschlüsselt", "verschlüsselt (ohne Kennwort gelesen)"));
    const ProgramRun schema = Export({"--schema", locked});
    EXPECT_EQ(schema.err, "");
    EXPECT_EQ(schema.out, Export({"--schema", plain}).out);
    EXPECT_TRUE(schema.out.contains("CREATE INDEX \"SearchIndex_iCD\"")) << schema.out.toStdString();

    EXPECT_EQ(Export({outDir.filePath("offen.sqlite"), plain}).exitCode, 0);
    EXPECT_EQ(Export({Out(), locked}).exitCode, 0);
    EXPECT_EQ(Query(Out(), "SELECT * FROM SearchIndex"), Query(outDir.filePath("offen.sqlite"), "SELECT * FROM SearchIndex"));

    // The real protected sample is listed as one.
    const ProgramRun sample = Export({"--list", kFixtures + "/leonhad__paradoxdriver/src/test/resources/encrypt/encrypted.db"});
    EXPECT_EQ(sample.exitCode, 0) << sample.err.toStdString();
    EXPECT_TRUE(sample.out.contains("4 Zeilen, 2 Felder, ") && sample.out.contains(", verschlüsselt (ohne Kennwort gelesen), "))
        << sample.out.toStdString();
}

// SQLite ignores case in index names: two Paradox indexes whose names differ only in case
// ("iD" and "ID") both go in, the second under a name of its own.
TEST_F(ExportCompletenessTest, IndexNamesThatDifferOnlyInCaseBothGoIn)
{
    const QString folder = kFixtures + "/delphi-pascal-archive__database-samples/DataBase_Samples/_my_data";
    for (const QString& name : QDir(folder).entryList({"SearchIndex.*"}, QDir::Files))
        ASSERT_TRUE(QFile::copy(folder + '/' + name, dir.filePath(name)));
    QFile index(dir.filePath("SearchIndex.XG1"));
    ASSERT_TRUE(index.open(QIODevice::ReadWrite));
    QByteArray bytes = index.readAll();
    ASSERT_EQ(bytes.mid(437, 3), QByteArray("iC\0", 3));  // the index's name in its header
    bytes.replace(437, 2, "ID");
    index.seek(0);
    index.write(bytes);
    index.close();

    const ProgramRun run = Export({Out(), dir.filePath("SearchIndex.db")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("nicht angelegt")) << run.err.toStdString();
    const Rows indexes =
        Query(Out(), "SELECT name FROM sqlite_schema WHERE type = 'index' AND sql IS NOT NULL ORDER BY name");
    QStringList names;
    for (const auto& row : indexes)
        names << row[0].value.toString();
    EXPECT_EQ(names.join(' ').toStdString(), "SearchIndex_ID_2 SearchIndex_iCD SearchIndex_iD SearchIndex_iN");
}

TEST_F(ExportCompletenessTest, DumpAsCsv)
{
    {
        pxw::TableWriter writer(dir.filePath("Liste.db").toStdString(),
                                {{"Nr", 0x04, 4}, {"Text", 0x01, 20}, {"Bild", 0x18, 3}, {"Preis", 0x06, 8}});
        writer.Add({Int(1), Str("a,\"b\""), Str("xyz"), enginetest::Real(1.5)});
        writer.Add({Int(2), kBlank, kBlank, kBlank});
    }
    const ProgramRun csv = Dump({"--csv", dir.filePath("Liste.db")});
    EXPECT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    EXPECT_EQ(csv.out, "Nr,Text,Bild,Preis\r\n1,\"a,\"\"b\"\"\",eHl6,1.5\r\n2,,,\r\n") << csv.out.toStdString();
    const ProgramRun noBlobs = Dump({"--csv", "--no-blobs", dir.filePath("Liste.db")});
    EXPECT_EQ(noBlobs.out, "Nr,Text,Preis\r\n1,\"a,\"\"b\"\"\",1.5\r\n2,,\r\n");
}

// Usage errors are exit 2, said once before anything is read; an output that exists without
// --replace is exit 3; standard output that cannot be written is exit 1.
TEST_F(ExportCompletenessTest, UsageAndExitCodes)
{
    for (int i = 0; i < 3; ++i)
        WriteGood(QString("T%1.db").arg(i));
    for (const QStringList& args : {QStringList{"--codepage", "keine", Out(), dir.path()},
                                    QStringList{"--codepage=", Out(), dir.path()},
                                    QStringList{"-", dir.path()}, QStringList{"--json", Out(), dir.path()}}) {
        const ProgramRun run = Export(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count("paradox2sqlite: "), 1) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(Out()));
        EXPECT_FALSE(QFile::exists("-"));
    }
    EXPECT_EQ(Dump({"--codepage=keine", dir.filePath("T0.db")}).exitCode, 2);

    ASSERT_EQ(Export({Out(), dir.path()}).exitCode, 0);
    EXPECT_EQ(Export({Out(), dir.path()}).exitCode, 3);
    EXPECT_TRUE(Export({"--help"}).out.contains("Unterverzeichnisse nur mit -r"));

    // Standard output full or closed: exit 1, and the earlier output stays.
    for (const char* redirect : {">/dev/full", ">&-"}) {
        const ProgramRun full = RunProgram("sh", {"-c", QString("exec \"$0\" --replace \"$1\" \"$2\" %1").arg(redirect),
                                                  QStringLiteral(KK_PARADOX2SQLITE), Out(), dir.path()});
        EXPECT_EQ(full.exitCode, 1) << redirect << full.err.toStdString();
        EXPECT_EQ(TableNames(Out()), (QStringList{"T0", "T1", "T2"}));
        const ProgramRun dump = RunProgram("sh", {"-c", QString("exec \"$0\" \"$1\" %1").arg(redirect),
                                                  QStringLiteral(KK_PARADOX_DUMP), dir.filePath("T0.db")});
        EXPECT_EQ(dump.exitCode, 1) << redirect;
    }
}

} // namespace
