// The transfer of both tables into the catalog file: value rules, order, counts and failures.

#include "CatalogFixture.h"
#include "CatalogTransfer.h"

#include <gtest/gtest.h>

#include <QFile>

using pxw::Blank;
using std::int64_t;
using std::string;

namespace {

QVariant V(const char* text) { return QVariant(QString::fromUtf8(text)); }
QVariant V(qlonglong n) { return QVariant(n); }
QVariant V(double d) { return QVariant(d); }

class TransferTest : public ::testing::Test {
protected:
    TransferCounts Transfer(const QString& codePage = QString())
    {
        QFile::copy(catalog.ProgramDir() + "def-Music.sqlite", catalog.Target());
        return TransferCatalog(catalog.Root(), QStringLiteral("Jazz"), catalog.Target(), codePage);
    }
    std::vector<QVariantList> Rows(const char* sql) { return Query(catalog.Target(), QString::fromUtf8(sql)); }

    CatalogFixture catalog;
};

TEST_F(TransferTest, AlbumValuesFollowTheValueRules)
{
    catalog.MakeTemplate();
    pxw::Row full{int64_t(7),  string("  Miles Davis  "), string("Gil Evans"), string("Sketches of Spain"),
                  string("41:20"), string("J"), string("LP"), int64_t(2), int64_t(1960), 24.5, 12.53,
                  string("C:\\Musik\\Davis, Miles\\Sketches of Spain — Überspielung von der Originalplatte")};
    pxw::Row blanks(pxw::AlbumFields().size(), Blank{});
    blanks[0] = int64_t(8);
    pxw::Row spaces = AlbumRow(9, "   ");
    catalog.WriteAlbums({full, blanks, spaces});
    catalog.WriteTitles({});

    const TransferCounts counts = Transfer();
    EXPECT_EQ(counts.albums, 3u);
    EXPECT_EQ(counts.titles, 0u);

    const auto rows = Rows(R"sql(SELECT PNr, Interpret, Titel, Komponist, Anz, Platte, Gruppe, Jahr, Dauer,
                              "Preis (DM)", "Preis (EUR)", Mp3Dir FROM Alben ORDER BY rowid)sql");
    ASSERT_EQ(rows.size(), 3u);
    // Texts keep leading and trailing blanks; "MP3Dir" is read as Mp3Dir; Preis lands in "Preis (DM)".
    EXPECT_EQ(rows[0], (QVariantList{V(7LL), V("  Miles Davis  "), V("Sketches of Spain"), V("Gil Evans"), V(2LL),
                                     V("LP"), V("J"), V(1960LL), V("41:20"), V(24.5), V(12.53),
                                     V("C:\\Musik\\Davis, Miles\\Sketches of Spain — Überspielung von der Originalplatte")}));
    // Blank integers give 0, blank texts the empty text, blank money 0.0: never null.
    EXPECT_EQ(rows[1], (QVariantList{V(8LL), V(""), V(""), V(""), V(0LL), V(""), V(""), V(0LL), V(""), V(0.0), V(0.0), V("")}));
    EXPECT_EQ(rows[2][1], V("   "));
}

TEST_F(TransferTest, TitlesArriveOrderedByPNrWithTiesInTableOrder)
{
    catalog.MakeTemplate();
    catalog.WriteAlbums({AlbumRow(1, "A"), AlbumRow(2, "B")});
    catalog.WriteTitles({TitleRow(2, "b1"), TitleRow(1, "a1"), TitleRow(99, "ohne Album"), TitleRow(2, "b2"),
                         TitleRow(1, "a2"), TitleRow(2, "b3")});

    const TransferCounts counts = Transfer();
    EXPECT_EQ(counts.albums, 2u);
    EXPECT_EQ(counts.titles, 6u);
    const auto rows = Rows("SELECT PNr, Titel, Seite, Text FROM Titel ORDER BY rowid");
    std::vector<QString> titles;
    for (const auto& row : rows)
        titles.push_back(row[1].toString());
    EXPECT_EQ(titles, (std::vector<QString>{"a1", "a2", "b1", "b2", "b3", "ohne Album"}));
    EXPECT_EQ(rows[0][2], V(0LL));
    EXPECT_EQ(rows[0][3], V(""));
}

TEST_F(TransferTest, TextIsFittedToTheDeclaredColumn)
{
    // Interpret cut to 10 characters; Titel fixed-length, so trailing blanks go; Mp3Dir unlimited
    // in the template keeps 32767 characters at most.
    catalog.MakeTemplateFromSql(R"sql(
        CREATE TABLE Alben (PNr INTEGER PRIMARY KEY, Interpret VARCHAR(10), Titel CHAR(20), Komponist TEXT,
                            Anz INTEGER, Platte TEXT, Gruppe TEXT, Jahr INTEGER, Dauer TEXT,
                            "Preis (DM)" REAL, "Preis (EUR)" REAL, Mp3Dir TEXT);
        CREATE TABLE Titel (PNr INTEGER, Seite INTEGER, LNr INTEGER, Titel TEXT, Werk TEXT, Komponist TEXT,
                            Text TEXT, Interpret TEXT, Aufnahme INTEGER, Dauer TEXT, Mp3Name TEXT);)sql");
    // The memo lives in a block of its own in the .mb; counting numbers make a read that starts
    // a byte off show in the stored text, where a text of one repeated letter would not.
    string memo;
    for (int n = 0; memo.size() < 40000; ++n)
        memo += std::to_string(n) + ' ';
    memo.resize(40000);
    pxw::Row row = AlbumRow(1, "Wolfgang Amadeus Mozart");
    row[3] = string("  Requiem   ");
    row[11] = memo;
    catalog.WriteAlbums({row});
    catalog.WriteTitles({});

    Transfer();
    const auto rows = Rows("SELECT Interpret, Titel, Mp3Dir FROM Alben");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (QVariantList{V("Wolfgang A"), V("  Requiem"), V(memo.substr(0, 32767).c_str())}));
}

TEST_F(TransferTest, ForcedCodePageReadsBothTables)
{
    // DOS tables in code page 850 whose language driver says ANSIINTL (1252), as pxlib writes
    // them: only the forced code page reads "ü" and "ß" right, and it must reach both tables.
    catalog.MakeTemplate();
    const string text = "Grüße";
    const pxw::Options dos{.codePage = "CP850", .codePageNumber = 850};
    pxw::Row album = AlbumRow(1, text);
    album[11] = text;  // MP3Dir
    pxw::Row title = TitleRow(1, text);
    title[6] = text;   // Text
    {
        pxw::Options keyed = dos;
        keyed.keyFields = 1;
        pxw::TableWriter albums(catalog.Path("Jazz-Album.db").toStdString(), pxw::AlbumFields(), keyed);
        albums.Add(album);
        pxw::TableWriter titles(catalog.Path("Jazz-Titel.db").toStdString(), pxw::TitleFields(), dos);
        titles.Add(title);
    }

    Transfer(QStringLiteral("850"));
    EXPECT_EQ(Rows("SELECT Interpret, Mp3Dir FROM Alben"), (std::vector<QVariantList>{{V("Grüße"), V("Grüße")}}));
    EXPECT_EQ(Rows("SELECT Titel, Text FROM Titel"), (std::vector<QVariantList>{{V("Grüße"), V("Grüße")}}));
}

TEST(TextColumnRuleTest, DeclaredTypes)
{
    struct Case {
        const char* declared;
        int maxLength;
        bool trim;
    } cases[] = {
        {"VARCHAR(40)", 40, false}, {"varchar ( 6 )", 6, false}, {"NVARCHAR(12)", 12, false},
        {"CHAR(3)", 3, true},       {"character(5)", 5, true},  {"NCHAR(2)", 2, true},
        {"TEXT", 32767, false},     {"", 32767, false},         {"CHAR", 32767, false},
        {"NUMERIC(10,2)", 32767, false}, {"VARCHAR(100000)", 32767, false},
    };
    for (const Case& c : cases) {
        const TextColumnRule rule = TextRuleForDeclaredType(QString::fromUtf8(c.declared));
        EXPECT_EQ(rule.maxLength, c.maxLength) << c.declared;
        EXPECT_EQ(rule.trimTrailing, c.trim) << c.declared;
    }
    struct Fit {
        const char* text;
        TextColumnRule rule;
        const char* stored;
    } fits[] = {
        {"ab\U0001D11E", {3, false}, "ab"},  // a cut never leaves half a surrogate pair behind
        {"ab  ", {3, true}, "ab"},
        // The cut lands inside the blanks: cut first, then drop the blanks it leaves at the end.
        {"ab  cd", {3, true}, "ab"},
        {"ab  cd", {3, false}, "ab "},
    };
    for (const Fit& f : fits)
        EXPECT_EQ(FitText(QString::fromUtf8(f.text), f.rule).toString(), QString::fromUtf8(f.stored))
            << f.text << " into " << f.rule.maxLength << (f.rule.trimTrailing ? " fixed" : "");
}

TEST_F(TransferTest, MissingTitleFieldKeepsTheAlbumsAndWritesNoTitle)
{
    catalog.MakeTemplate();
    catalog.WriteAlbums({AlbumRow(1, "A"), AlbumRow(2, "B")});
    auto fields = pxw::TitleFields();
    fields.pop_back();  // no Mp3Name
    pxw::Row title = TitleRow(1, "t");
    title.pop_back();
    catalog.WriteTitles({title}, QStringLiteral("Jazz"), fields);

    try {
        Transfer();
        FAIL() << "the transfer should fail";
    } catch (const std::exception& failure) {
        EXPECT_NE(QString::fromUtf8(failure.what()).indexOf("Mp3Name"), -1) << failure.what();
    }
    EXPECT_EQ(Rows("SELECT count(*) FROM Alben")[0][0], V(2LL));
    EXPECT_EQ(Rows("SELECT count(*) FROM Titel")[0][0], V(0LL));
}

// A value that cannot be read in the middle of a table ends the transfer there: every row
// before it stays, those read in the same go included.
TEST_F(TransferTest, UnreadableValueMidwayKeepsTheRowsBeforeIt)
{
    catalog.MakeTemplate();
    catalog.WriteAlbums({AlbumRow(1, "A"), AlbumRow(2, "B")});
    auto fields = pxw::TitleFields();
    fields[8] = {"Aufnahme", 0x01, 10};  // numbers kept as text
    std::vector<pxw::Row> titles;
    for (int i = 1; i <= 700; ++i) {
        pxw::Row title = TitleRow(1, "t" + std::to_string(i));
        title[8] = i == 300 ? string("keine Zahl") : std::to_string(i);
        titles.push_back(title);
    }
    catalog.WriteTitles(titles, QStringLiteral("Jazz"), fields);

    try {
        Transfer();
        FAIL() << "the transfer should fail";
    } catch (const std::exception& failure) {
        EXPECT_NE(QString::fromUtf8(failure.what()).indexOf("Aufnahme"), -1) << failure.what();
    }
    EXPECT_EQ(Rows("SELECT count(*) FROM Alben")[0][0], V(2LL));
    EXPECT_EQ(Rows("SELECT count(*), max(Aufnahme) FROM Titel")[0], (QVariantList{V(299LL), V(299LL)}));
}

TEST_F(TransferTest, ForeignKeyOfTheTemplateStopsAtTheFirstOrphan)
{
    catalog.MakeTemplateFromSql(R"sql(
        CREATE TABLE Alben (PNr INTEGER PRIMARY KEY, Interpret TEXT, Titel TEXT, Komponist TEXT, Anz INTEGER,
                            Platte TEXT, Gruppe TEXT, Jahr INTEGER, Dauer TEXT, "Preis (DM)" REAL,
                            "Preis (EUR)" REAL, Mp3Dir TEXT);
        CREATE TABLE Titel (PNr INTEGER REFERENCES Alben (PNr), Seite INTEGER, LNr INTEGER, Titel TEXT, Werk TEXT,
                            Komponist TEXT, Text TEXT, Interpret TEXT, Aufnahme INTEGER, Dauer TEXT, Mp3Name TEXT);)sql");
    catalog.WriteAlbums({AlbumRow(1, "A"), AlbumRow(3, "C")});
    catalog.WriteTitles({TitleRow(1, "a1"), TitleRow(1, "a2"), TitleRow(2, "verwaist"), TitleRow(3, "c1")});

    try {
        Transfer();
        FAIL() << "the transfer should fail";
    } catch (const std::exception& failure) {
        const QString text = QString::fromUtf8(failure.what());
        EXPECT_TRUE(text.contains("FOREIGN KEY") && text.contains(catalog.Target()) && text.contains("Titel"))
            << failure.what();
    }
    EXPECT_EQ(Rows("SELECT count(*) FROM Alben")[0][0], V(2LL));
    EXPECT_EQ(Rows("SELECT Titel FROM Titel ORDER BY rowid"), (std::vector<QVariantList>{{V("a1")}, {V("a2")}}));
}

TEST_F(TransferTest, RowsAreAddedAfterThoseTheTemplateHolds)
{
    catalog.MakeTemplate(QStringLiteral("INSERT INTO Alben (PNr, Interpret) VALUES (100, 'Vorlage');"));
    catalog.WriteAlbums({AlbumRow(1, "A")});
    catalog.WriteTitles({TitleRow(1, "t")});

    EXPECT_EQ(Transfer().albums, 1u);
    EXPECT_EQ(Rows("SELECT PNr, Interpret FROM Alben ORDER BY PNr"),
              (std::vector<QVariantList>{{V(1LL), V("A")}, {V(100LL), V("Vorlage")}}));
}

TEST_F(TransferTest, DuplicateAlbumKeyNamesTheRowAndTheDatabase)
{
    catalog.MakeTemplate(QStringLiteral("INSERT INTO Alben (PNr, Interpret) VALUES (2, 'schon da');"));
    catalog.WriteAlbums({AlbumRow(1, "A"), AlbumRow(2, "B"), AlbumRow(3, "C")});
    catalog.WriteTitles({TitleRow(1, "t")});

    try {
        Transfer();
        FAIL() << "the transfer should fail";
    } catch (const std::exception& failure) {
        const QString text = QString::fromUtf8(failure.what());
        EXPECT_TRUE(text.contains("Zeile 2 der Tabelle \"Alben\"") && text.contains("UNIQUE")) << failure.what();
    }
    EXPECT_EQ(Rows("SELECT count(*) FROM Alben")[0][0], V(2LL));
    EXPECT_EQ(Rows("SELECT count(*) FROM Titel")[0][0], V(0LL));
}

}  // namespace
