// SourceTable over tables that pxlib writes: the catalog's two tables, field
// lookup, orders, code pages, memo files and conversions between kinds.

#include "ByteSource.h"
#include "EngineFixtures.h"
#include "SourceTable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <random>
#include <string>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace enginetest;

namespace {

constexpr char kLongMemo[] = "/musik/Jazz/Ellington, Duke - Money Jungle (Remastered Edition 1987)/";

std::vector<pxw::Row> AlbumRows()
{
    // PNr, Interpret, Komponist, Titel, Dauer, Gruppe, Platte, Anz, Jahr, Preis, Preis (EUR), MP3Dir
    return {
        {Int(1), Text("Duke Ellington"), Text("Ellington"), Text("Money Jungle"), Text("42:10"), Text("JZ"),
         Text("LP"), Int(1), Int(1962), Real(24.5), Real(12.53), Text(kLongMemo)},
        {Int(2), Null(), Null(), Text("Grüße aus Köln  "), Null(), Null(), Null(), Null(), Null(), Null(), Null(),
         Text("/kurz/")},
        {Int(3), Text("  Ärzte"), Text("Bach"), Text("Präludien"), Text("1:02"), Text("KL"), Text("CD"), Int(2),
         Int(-5), Real(-3.25), Real(0.0), Null()},
    };
}

class SourceTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        WriteTable(dir, "Jazz-Album.db", pxw::AlbumFields(), AlbumRows(), {.keyFields = 1});
    }

    QTemporaryDir dir;
    pdx::SourceTable table;
};

TEST_F(SourceTableTest, ReadsAlbumRowsByNameIgnoringCaseWithBlanksAsZeroOrEmpty)
{
    table.Open(dir.path(), "Jazz-Album.db");
    ASSERT_TRUE(table.IsOpen());
    table.First();
    ASSERT_FALSE(table.Eof());
    EXPECT_EQ(table.AsInteger("PNr"), 1);
    EXPECT_EQ(table.AsString("Interpret"), "Duke Ellington");
    EXPECT_EQ(table.AsInteger("Jahr"), 1962);
    EXPECT_DOUBLE_EQ(table.AsFloat("Preis"), 24.5);
    EXPECT_DOUBLE_EQ(table.AsFloat("Preis (EUR)"), 12.53);
    EXPECT_EQ(table.AsString("Mp3Dir"), QString::fromUtf8(kLongMemo)); // declared "MP3Dir", in the .mb

    table.Next();
    EXPECT_EQ(table.AsInteger("pnr"), 2);
    EXPECT_EQ(table.AsString("INTERPRET"), QString());
    EXPECT_EQ(table.AsString("Titel"), QString::fromUtf8("Grüße aus Köln  ")); // trailing blanks kept
    EXPECT_EQ(table.AsInteger("Anz"), 0);
    EXPECT_EQ(table.AsInteger("Jahr"), 0);
    EXPECT_EQ(table.AsFloat("Preis"), 0.0);
    EXPECT_EQ(table.AsString("MP3Dir"), "/kurz/"); // fits the leader

    table.Next();
    EXPECT_EQ(table.AsString("Interpret"), QString::fromUtf8("  Ärzte"));
    EXPECT_EQ(table.AsInteger("Jahr"), -5);
    EXPECT_DOUBLE_EQ(table.AsFloat("Preis"), -3.25);
    EXPECT_EQ(table.AsFloat("Preis (EUR)"), 0.0);
    EXPECT_EQ(table.AsString("MP3Dir"), QString());

    table.Next();
    EXPECT_TRUE(table.Eof());
    table.First();
    EXPECT_EQ(table.AsInteger("PNr"), 1);

    table.Close();
    EXPECT_FALSE(table.IsOpen());
    table.Close(); // closing a closed table does nothing
}

TEST_F(SourceTableTest, ReadsByIndexAsByName)
{
    table.Open(dir.path(), "Jazz-Album.db");
    const int title = table.FieldIndex("titel");
    const int price = table.FieldIndex("PREIS");
    for (table.First(); !table.Eof(); table.Next()) {
        EXPECT_EQ(table.AsString(title), table.AsString("Titel"));
        EXPECT_EQ(table.AsFloat(price), table.AsFloat("Preis"));
    }
}

TEST_F(SourceTableTest, MissingFieldFailsNamingFieldAndTable)
{
    table.Open(dir.path() + "/", "Jazz-Album.db");
    table.First();
    try {
        table.AsString("Mp3Name");
        FAIL() << "no error";
    } catch (const pdx::SourceError& e) {
        EXPECT_EQ(e.Code(), pdx::ErrorCode::FieldMissing);
        EXPECT_TRUE(e.Message().contains("\"Mp3Name\""));
        EXPECT_TRUE(e.Message().contains(dir.path() + "/Jazz-Album.db"));
    }
    EXPECT_THROW(table.FieldIndex("Preis (DM)"), pdx::SourceError);
}

TEST_F(SourceTableTest, MissingTableFailsWithNotFoundMessage)
{
    try {
        table.Open(dir.path(), "Jazz-Titel.db");
        FAIL() << "no error";
    } catch (const pdx::SourceError& e) {
        EXPECT_EQ(e.Message(), QString("Datei \"%1/Jazz-Titel.db\" nicht gefunden!").arg(dir.path()));
    }
    EXPECT_FALSE(table.IsOpen());
}

// The table and its memo file are found ignoring case and Unicode normal form (a folder copied
// from a Mac holds decomposed umlauts), and the memo file is always the one beside the table.
TEST_F(SourceTableTest, FindsTableAndMemoFileIgnoringCaseAndNormalForm)
{
    // Another table of that name in a folder below, with a memo text of its own.
    ASSERT_TRUE(QDir(dir.path()).mkdir("Sicherung"));
    std::vector<pxw::Row> older = AlbumRows();
    const char olderMemo[] = "/Sicherung/Ellington, Duke - Money Jungle (erste Pressung, 1962)/";
    older[0].back() = Text(olderMemo);
    WriteTable(dir, "Sicherung/Jazz-Album.db", pxw::AlbumFields(), older, {.keyFields = 1});
    const QString composed = QString::fromUtf8("Größte Hits");
    const QString decomposed = composed.normalized(QString::NormalizationForm_D);
    ASSERT_NE(composed, decomposed);
    struct Case {
        const char* name;
        QString table;   // the files as they lie in the folder
        QString memo;
        QString opened;  // the name asked for
        const char* memoText;
    } cases[] = {
        {"other case", "JAZZ-ALBUM.DB", "jazz-album.MB", "Jazz-Album.db", kLongMemo},
        {"decomposed umlauts", decomposed + "-Album.db", decomposed + "-album.mb", composed + "-ALBUM.db", kLongMemo},
        {"table in a folder below", "Jazz-Album.db", "Jazz-Album.mb", "Sicherung/Jazz-Album.db", olderMemo},
    };
    QString tableFile = "Jazz-Album.db";
    QString memoFile = "Jazz-Album.mb";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QFile::rename(dir.filePath(tableFile), dir.filePath(c.table)));
        ASSERT_TRUE(QFile::rename(dir.filePath(memoFile), dir.filePath(c.memo)));
        tableFile = c.table;
        memoFile = c.memo;
        table.Open(dir.path(), c.opened);
        table.First();
        EXPECT_EQ(table.AsString("MP3Dir"), QString::fromUtf8(c.memoText));
    }
}

TEST_F(SourceTableTest, MissingMemoFileFailsOnlyForMemosOutsideTheRecord)
{
    ASSERT_TRUE(QFile::remove(dir.filePath("Jazz-Album.mb")));
    table.Open(dir.path(), "Jazz-Album.db");
    table.First();
    try {
        table.AsString("MP3Dir");
        FAIL() << "no error";
    } catch (const pdx::SourceError& e) {
        EXPECT_EQ(e.Code(), pdx::ErrorCode::MemoFileMissing);
        EXPECT_TRUE(e.Message().contains(dir.path() + "/Jazz-Album.mb"));
        EXPECT_TRUE(e.Message().contains("\"MP3Dir\""));
    }
    table.Next();
    EXPECT_EQ(table.AsString("MP3Dir"), "/kurz/");
}

TEST_F(SourceTableTest, ReadingLeavesTheDirectoryUnchanged)
{
    auto snapshot = [&] {
        std::map<QString, QByteArray> files;
        QDirIterator it(dir.path(), QDir::Files | QDir::Hidden);
        while (it.hasNext()) {
            const QString path = it.next();
            files[path] = QCryptographicHash::hash(ReadAll(path), QCryptographicHash::Sha1) +
                          QFileInfo(path).lastModified().toString(Qt::ISODateWithMs).toUtf8();
        }
        return files;
    };
    const auto before = snapshot();
    table.Open(dir.path(), "Jazz-Album.db", "Titel");
    for (table.First(); !table.Eof(); table.Next())
        table.AsString("MP3Dir");
    table.Close();
    EXPECT_EQ(snapshot(), before);
}

// Runs body in a forked child that SIGALRM ends after five seconds, so that a
// read waiting on a FIFO fails the test instead of stopping the run. Returns
// what body returned, or "<hung>" / "<crashed>".
std::string InWatchedChild(const std::function<std::string()>& body)
{
    int out[2];
    if (::pipe(out) != 0)
        return "<no pipe>";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        ::alarm(5);
        const std::string result = body();
        const bool written = ::write(out[1], result.data(), result.size()) == ssize_t(result.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(out[1]);
    std::string result;
    char chunk[512];
    for (ssize_t got; (got = ::read(out[0], chunk, sizeof chunk)) > 0;)
        result.append(chunk, std::size_t(got));
    ::close(out[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return "<no child>";
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        return "<hung>";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "<crashed>";
    return result;
}

std::string ErrorOutcome(pdx::ErrorCode code, const QStringList& args)
{
    return pdx::ErrorText(code, args).toStdString();
}

bool MakeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

bool MakeLink(const QString& path, const QString& target)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
}

// Something that is no regular file under the table's or the memo file's
// name: the table is not found, a memo file counts as missing, and neither
// open waits on a FIFO. Each case opens the album table and reads the first
// record's memo, which lives in the .mb.
TEST(SourceTableFiles, NonRegularFileNamedLikeTableOrMemoIsNotFound)
{
    enum class Put { Fifo, DanglingLink, DeviceLink, Directory };
    enum class Outcome { TableNotFound, MemoMissing, Read };
    struct Case {
        const char* file;   // the table or memo file written by pxlib
        const char* keptAs; // its new name, or nullptr: it goes
        Put put;            // what then takes a name like it
        const char* as;
        Outcome outcome;
    };
    const Case cases[] = {
        {"Jazz-Album.db", nullptr, Put::Fifo, "Jazz-Album.db", Outcome::TableNotFound},
        {"Jazz-Album.db", nullptr, Put::Fifo, "JAZZ-ALBUM.DB", Outcome::TableNotFound},
        {"Jazz-Album.db", nullptr, Put::DanglingLink, "jazz-album.db", Outcome::TableNotFound},
        {"Jazz-Album.db", nullptr, Put::DeviceLink, "Jazz-Album.db", Outcome::TableNotFound},
        {"Jazz-Album.db", nullptr, Put::Directory, "jazz-album.DB", Outcome::TableNotFound},
        // The FIFO sorts first among the names that match; the table after it is found.
        {"Jazz-Album.db", "jazz-album.db", Put::Fifo, "JAZZ-ALBUM.DB", Outcome::Read},
        {"Jazz-Album.mb", nullptr, Put::Fifo, "Jazz-Album.mb", Outcome::MemoMissing},
        {"Jazz-Album.mb", nullptr, Put::Fifo, "JAZZ-ALBUM.MB", Outcome::MemoMissing},
        {"Jazz-Album.mb", nullptr, Put::DanglingLink, "Jazz-Album.mb", Outcome::MemoMissing},
        {"Jazz-Album.mb", nullptr, Put::Directory, "Jazz-Album.mb", Outcome::MemoMissing},
    };
    for (const Case& c : cases) {
        static const char* const kPutNames[] = {"FIFO", "dangling link", "link to a device", "directory"};
        const std::string name = std::string(kPutNames[int(c.put)]) + " named " + c.as;
        QTemporaryDir dir;
        WriteTable(dir, "Jazz-Album.db", pxw::AlbumFields(), AlbumRows(), {.keyFields = 1});
        const QString file = dir.filePath(c.file);
        ASSERT_TRUE(c.keptAs ? QFile::rename(file, dir.filePath(c.keptAs)) : QFile::remove(file)) << name;
        const QString put = dir.filePath(c.as);
        bool made = false;
        switch (c.put) {
        case Put::Fifo:
            made = MakeFifo(put);
            break;
        case Put::DanglingLink:
            made = MakeLink(put, dir.filePath("weg"));
            break;
        case Put::DeviceLink:
            made = MakeLink(put, "/dev/null");
            break;
        case Put::Directory:
            made = QDir().mkdir(put);
            break;
        }
        ASSERT_TRUE(made) << name;

        const QString table = dir.filePath("Jazz-Album.db");
        std::string expected = kLongMemo;
        if (c.outcome == Outcome::TableNotFound)
            expected = ErrorOutcome(pdx::ErrorCode::FileNotFound, {table});
        else if (c.outcome == Outcome::MemoMissing)
            expected = ErrorOutcome(pdx::ErrorCode::MemoFileMissing, {dir.filePath("Jazz-Album.mb"), "MP3Dir", table});

        const std::string outcome = InWatchedChild([&]() -> std::string {
            try {
                pdx::SourceTable source;
                source.Open(dir.path(), "Jazz-Album.db");
                source.First();
                return source.AsString("MP3Dir").toStdString();
            } catch (const pdx::SourceError& e) {
                return e.what();
            }
        });
        EXPECT_EQ(outcome, expected) << name;
    }
}

// The file source itself refuses what is no regular file, at once: between
// the search by name and the open, the name may have changed hands.
TEST(SourceTableFiles, FileSourceOpensOnlyRegularFiles)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.db");
    ASSERT_TRUE(MakeFifo(fifo));
    const QString regular = dir.filePath("real.db");
    WriteAll(regular, "12345");
    const auto open = [](const QString& path) {
        return InWatchedChild([&]() -> std::string {
            pdx::FileSource source;
            if (!source.Open(path))
                return "refused";
            char bytes[5] = {};
            return source.ReadAt(0, bytes, 5) ? std::string(bytes, 5) : "unreadable";
        });
    };
    EXPECT_EQ(open(fifo), "refused");
    EXPECT_EQ(open("/dev/null"), "refused");
    EXPECT_EQ(open(dir.path()), "refused");
    EXPECT_EQ(open(dir.filePath("missing.db")), "refused");
    EXPECT_EQ(open(regular), "12345");
}

// Titles inserted out of PNr order, with ties: the PNr order is ascending
// and keeps the chain order among equal PNr.
TEST(SourceTableOrder, OrdersByFieldAscendingWithTiesInChainOrder)
{
    QTemporaryDir dir;
    std::vector<pxw::Row> rows;
    const int pnrs[] = {30, 10, 20, 10, 30, 5, 20, 10};
    for (int i = 0; i < 8; ++i)
        rows.push_back({Int(pnrs[i]), Int(1), Int(i), Text("T"), Null(), Null(), Null(), Null(), Null(), Null(),
                        Null()});
    // A second block's worth of rows, so that the order crosses blocks.
    for (int i = 8; i < 400; ++i)
        rows.push_back({Int(400 - i), Int(2), Int(i), Text("U"), Null(), Null(), Null(), Null(), Null(), Null(),
                        Null()});
    WriteTable(dir, "Jazz-Titel.db", pxw::TitleFields(), rows);

    pdx::SourceTable table;
    table.Open(dir.path(), "Jazz-Titel.db");
    std::vector<int> natural;
    for (table.First(); !table.Eof(); table.Next())
        natural.push_back(table.AsInteger("LNr"));
    ASSERT_EQ(natural.size(), rows.size());
    for (std::size_t i = 0; i < natural.size(); ++i)
        EXPECT_EQ(natural[i], int(i));

    table.Open(dir.path(), "Jazz-Titel.db", "pnr");
    std::vector<std::pair<int, int>> ordered;
    for (table.First(); !table.Eof(); table.Next())
        ordered.emplace_back(table.AsInteger("PNr"), table.AsInteger("LNr"));
    ASSERT_EQ(ordered.size(), rows.size());
    EXPECT_TRUE(std::is_sorted(ordered.begin(), ordered.end(),
                               [](auto a, auto b) { return a.first < b.first; }));
    // the three titles of PNr 10 and the one of PNr 5, in chain order
    std::vector<int> tens;
    for (auto [pnr, lnr] : ordered)
        if (pnr == 10)
            tens.push_back(lnr);
    EXPECT_EQ(tens, (std::vector<int>{1, 3, 7, 390}));

    EXPECT_THROW(table.Open(dir.path(), "Jazz-Titel.db", "Nummer"), pdx::SourceError);
    EXPECT_FALSE(table.IsOpen());
}

// The order by a number field is the stable sort of the stored values (blank
// first, then negative, then positive), whether the table nearly keeps that
// order already or not at all, across many blocks.
TEST(SourceTableOrder, NumberOrderIsTheStableSortHoweverNearTheTableIsToIt)
{
    constexpr int kRows = 3000;
    std::minstd_rand random(29);
    const std::pair<const char*, std::function<std::optional<int>(int)>> patterns[] = {
        // entered album by album, every twentieth title added later to any album, some blank
        {"entered", [&](int i) -> std::optional<int> {
             if (i % 97 == 0)
                 return std::nullopt;
             return i % 20 == 0 ? int(random() % 400) - 20 : i / 10;
         }},
        {"ascending, the first far too late", [](int i) { return i == 0 ? 1'000'000 : i; }},
        {"ascending, every other out of place", [](int i) { return i % 2 ? i : kRows - i; }},
        {"descending", [](int i) { return kRows - i; }},
        {"scattered", [&](int) { return int(random() % 500) - 250; }},
        {"all the same", [](int) { return 7; }},
    };
    for (const auto& [name, pnrFor] : patterns) {
        QTemporaryDir dir;
        std::vector<pxw::Row> rows;
        std::vector<std::pair<std::int64_t, int>> expected; // blank as the lowest, and the LNr
        for (int i = 0; i < kRows; ++i) {
            const std::optional<int> pnr = pnrFor(i);
            rows.push_back({pnr ? Int(*pnr) : Null(), Int(1), Int(i), Text("T"), Null(), Null(), Null(), Null(),
                            Null(), Null(), Null()});
            expected.emplace_back(pnr ? *pnr : INT64_MIN, i);
        }
        std::stable_sort(expected.begin(), expected.end(), [](auto a, auto b) { return a.first < b.first; });
        WriteTable(dir, "Jazz-Titel.db", pxw::TitleFields(), rows);

        pdx::SourceTable table;
        table.Open(dir.path(), "Jazz-Titel.db", "PNr");
        std::vector<int> order;
        for (table.First(); !table.Eof(); table.Next())
            order.push_back(table.AsInteger("LNr"));
        std::vector<int> wanted;
        for (const auto& [pnr, lnr] : expected)
            wanted.push_back(lnr);
        EXPECT_EQ(order, wanted) << name;
    }
}

TEST(SourceTableOrder, EmptyTableIsAtEndAtOnce)
{
    QTemporaryDir dir;
    WriteTable(dir, "Leer-Titel.db", pxw::TitleFields(), {});
    pdx::SourceTable table;
    table.Open(dir.path(), "Leer-Titel.db", "PNr");
    table.First();
    EXPECT_TRUE(table.Eof());
    EXPECT_THROW(table.AsInteger("PNr"), pdx::SourceError);
}

// One table in code page 850, written as the engine would (driver intl850).
class CodePageTest : public ::testing::Test {
protected:
    void SetUp() override { WriteDosTable(); }
    void WriteDosTable()
    {
        path = WriteTable(dir, "dos.db", {{"Name", 0x01, 20}, {"Bemerkung", 0x0C, 11}},
                          {{Text("Grüße"), Text("Größere Bemerkung mit ß und ø")}},
                          {.codePage = "CP850", .codePageNumber = 850});
    }
    QString ReadName(const QString& forced = {})
    {
        pdx::SourceTable table;
        table.SetCodePage(forced);
        table.Open(dir.path(), "dos.db");
        table.First();
        return table.AsString("Name");
    }
    QTemporaryDir dir;
    QString path;
};

TEST_F(CodePageTest, FollowsTheLanguageDriverBeforeTheCodePageWord)
{
    // pxlib's driver says ANSIINTL (1252) whatever the word says; the engine follows the driver.
    EXPECT_EQ(ReadName(), QString::fromUtf8("Gr\u0081\u00e1e"));
    SetLanguageDriver(path, "intl850", 0x54);
    EXPECT_EQ(ReadName(), QString::fromUtf8("Grüße"));
    pdx::SourceTable table;
    table.Open(dir.path(), "dos.db");
    table.First();
    EXPECT_EQ(table.AsString("Bemerkung"), QString::fromUtf8("Größere Bemerkung mit ß und ø"));
    EXPECT_EQ(table.CodePageName(), "IBM850");
}

TEST_F(CodePageTest, WithoutAKnownDriverTheCodePageWordDecides)
{
    // No driver name, or one the engine does not know: the header's word (850) is used, not
    // 1252 as the driver pxlib wrote would say, nor the fallback 437 (where "ø" is "¢").
    for (const char* driver : {"", "nonesuch"}) {
        WriteDosTable();
        SetLanguageDriver(path, driver, 0x00);
        pdx::SourceTable table;
        table.Open(dir.path(), "dos.db");
        table.First();
        EXPECT_EQ(table.CodePageName(), "IBM850") << '"' << driver << '"';
        EXPECT_EQ(table.AsString("Name"), QString::fromUtf8("Grüße")) << '"' << driver << '"';
        EXPECT_EQ(table.AsString("Bemerkung"), QString::fromUtf8("Größere Bemerkung mit ß und ø"))
            << '"' << driver << '"';
    }
}

TEST_F(CodePageTest, ForcedCodePageWinsInAnySpelling)
{
    for (const char* name : {"850", "cp850", "CP850", "IBM850", " ibm850 "})
        EXPECT_EQ(ReadName(name), QString::fromUtf8("Grüße")) << name;
    EXPECT_EQ(ReadName("windows-1252"), QString::fromUtf8("Gr\u0081\u00e1e"));
}

TEST_F(CodePageTest, UnknownCodePageFailsAtOpen)
{
    pdx::SourceTable table;
    table.SetCodePage("klingonisch");
    try {
        table.Open(dir.path(), "dos.db");
        FAIL() << "no error";
    } catch (const pdx::SourceError& e) {
        EXPECT_EQ(e.Code(), pdx::ErrorCode::InvalidCodePage);
        EXPECT_TRUE(e.Message().contains("klingonisch"));
    }
    EXPECT_FALSE(table.IsOpen());
}

// Reads across kinds: what converts, what fails, and blanks.
TEST(SourceTableConversion, ConvertsBetweenKindsOrFailsNamingTheField)
{
    QTemporaryDir dir;
    const std::vector<pxw::Field> fields{{"Zahl", 0x01, 10}, {"Wort", 0x01, 10}, {"Kurz", 0x03, 2},
                                         {"Betrag", 0x05, 8}, {"Gross", 0x06, 8}, {"Notiz", 0x0C, 11}};
    WriteTable(dir, "mix.db", fields,
               {{Text(" 12 "), Text("abc"), Int(-7), Real(2.5), Real(3e12), Text("4,75")},
                {Null(), Null(), Null(), Null(), Real(-0.5), Null()}});
    pdx::SourceTable t;
    t.Open(dir.path(), "mix.db");
    t.First();
    EXPECT_EQ(t.AsInteger("Zahl"), 12);
    EXPECT_DOUBLE_EQ(t.AsFloat("Zahl"), 12.0);
    EXPECT_EQ(t.AsString("Kurz"), "-7");
    EXPECT_DOUBLE_EQ(t.AsFloat("Kurz"), -7.0);
    EXPECT_EQ(t.AsInteger("Betrag"), 2); // ties to even
    EXPECT_EQ(t.AsString("Betrag"), "2.5");
    EXPECT_DOUBLE_EQ(t.AsFloat("Notiz"), 4.75);

    struct Failing {
        const char* field;
        int read; // 0 integer, 1 float
        pdx::ErrorCode code;
    };
    for (const Failing& f : {Failing{"Wort", 0, pdx::ErrorCode::NotAnInteger},
                             Failing{"Wort", 1, pdx::ErrorCode::NotANumber},
                             Failing{"Gross", 0, pdx::ErrorCode::IntegerOutOfRange},
                             Failing{"Notiz", 0, pdx::ErrorCode::NotAnInteger}}) {
        try {
            if (f.read == 0)
                t.AsInteger(f.field);
            else
                t.AsFloat(f.field);
            ADD_FAILURE() << f.field << " did not fail";
        } catch (const pdx::SourceError& e) {
            EXPECT_EQ(e.Code(), f.code) << f.field;
            EXPECT_TRUE(e.Message().contains(QString::fromUtf8(f.field))) << e.what();
        }
    }

    t.Next();
    for (const char* name : {"Zahl", "Wort", "Kurz", "Betrag", "Notiz"}) {
        EXPECT_EQ(t.AsInteger(name), 0) << name;
        EXPECT_EQ(t.AsFloat(name), 0.0) << name;
        EXPECT_EQ(t.AsString(name), QString()) << name;
    }
    EXPECT_EQ(t.AsInteger("Gross"), 0); // -0.5 rounds to -0
}

// BCD as the engine stores it: byte 0 holds the sign (0x80 when positive), 0x40 and the
// decimals; 32 digits follow, high nibble first, each inverted when the value is negative.
QByteArray Bcd(qint64 scaled, int decimals)
{
    QByteArray bytes(17, '\0');
    const bool negative = scaled < 0;
    quint64 magnitude = negative ? quint64(-scaled) : quint64(scaled);
    bytes[0] = char((negative ? 0x00 : 0x80) | 0x40 | decimals);
    for (int digit = 31; digit >= 0; --digit, magnitude /= 10) {
        const int nibble = int(magnitude % 10) ^ (negative ? 0x0F : 0);
        bytes[1 + digit / 2] = char(bytes[1 + digit / 2] | (digit % 2 == 0 ? nibble << 4 : nibble));
    }
    return bytes;
}

TEST(SourceTableConversion, NumbersReadAsIntegersRoundToNearestTiesToEven)
{
    const struct Case {
        qint64 tenths;
        qint32 integer;
    } cases[] = {{27, 3}, {-27, -3}, {35, 4}, {25, 2}};
    QTemporaryDir dir;
    std::vector<pxw::Row> rows;
    for (const Case& c : cases)
        rows.push_back({Real(c.tenths / 10.0), Real(c.tenths / 10.0), Null()});
    const QString path =
        WriteTable(dir, "runden.db", {{"Zahl", 0x06, 8}, {"Geld", 0x05, 8}, {"Dezimal", 0x17, 17}}, rows);
    // pxlib cannot write BCD as the engine does: set one decimal in the field's size byte and
    // put each value into its record, after the two 8-byte fields.
    QByteArray bytes = ReadAll(path);
    bytes[0x78 + 2 * 2 + 1] = 1;
    const int recordSize = Le16(bytes, 0x00);
    const int firstRecord = Le16(bytes, 0x02) + 6;
    for (std::size_t r = 0; r < std::size(cases); ++r)
        bytes.replace(firstRecord + qsizetype(r) * recordSize + 16, 17, Bcd(cases[r].tenths, 1));
    WriteAll(path, bytes);

    pdx::SourceTable t;
    t.Open(dir.path(), "runden.db");
    t.First();
    for (const Case& c : cases) {
        ASSERT_FALSE(t.Eof());
        ASSERT_DOUBLE_EQ(t.AsFloat("Dezimal"), c.tenths / 10.0);
        for (const char* field : {"Zahl", "Geld", "Dezimal"})
            EXPECT_EQ(t.AsInteger(field), c.integer) << field << " " << c.tenths / 10.0;
        t.Next();
    }
    EXPECT_TRUE(t.Eof());
}

} // namespace
