// The conversion command: each ending, the messages it shows and the files it leaves.

#include "CatalogFixture.h"
#include "ConvertCommand.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class RecordingPrompts : public ConvertPrompts {
public:
    bool answer = false;
    bool salvageAnswer = false;
    QStringList questions;
    QStringList errors;
    QStringList causes;
    std::vector<SalvageQuestion> salvages;

    bool ConfirmSalvage(const SalvageQuestion& salvage) override
    {
        salvages.push_back(salvage);
        return salvageAnswer;
    }

    bool ConfirmOverwrite(const QString& question) override
    {
        questions << question;
        return answer;
    }
    void ShowError(const QString& message, const QString& cause) override
    {
        errors << message;
        causes << cause;
    }
};

class ConversionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        catalog.MakeTemplate();
        catalog.WriteAlbums({AlbumRow(1, "Ella Fitzgerald"), AlbumRow(2, "Louis Armstrong")});
        catalog.WriteTitles({TitleRow(1, "Summertime"), TitleRow(2, "What a Wonderful World"), TitleRow(2, "Hello, Dolly!")});
    }

    ConvertResult Convert(const QString& root, const QString& name = QStringLiteral("Jazz"))
    {
        return ConvertCatalog({root, name, catalog.ProgramDir(), QString()}, prompts);
    }

    void WriteFile(const QString& name, const QByteArray& content)
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    // An earlier catalog file "alter Katalog" at the target, or none.
    void SetEarlierCatalog(bool earlier)
    {
        QFile::remove(catalog.Target());
        if (earlier)
            WriteFile(catalog.Target(), "alter Katalog");
    }
    static QByteArray ReadFile(const QString& name)
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    CatalogFixture catalog;
    RecordingPrompts prompts;
};

TEST_F(ConversionTest, SuccessReportsBothCountsAndTheTarget)
{
    const ConvertResult result = Convert(catalog.Root());
    EXPECT_EQ(result.outcome, ConvertOutcome::Converted);
    EXPECT_EQ(result.status, QString("2 Alben und 3 Titel nach\r\n\"%1\" konvertiert!").arg(catalog.Target()));
    EXPECT_TRUE(prompts.errors.isEmpty() && prompts.questions.isEmpty());
    EXPECT_EQ(Query(catalog.Target(), "SELECT count(*) FROM Titel")[0][0].toInt(), 3);
}

TEST_F(ConversionTest, RootWithOrWithoutDelimiterGivesTheSameTarget)
{
    QString root = catalog.Root();
    root.chop(1);
    EXPECT_EQ(Convert(root).target, catalog.Target());
}

TEST_F(ConversionTest, SourcesStayByteForByteUnchanged)
{
    const QStringList sources = QDir(catalog.Root()).entryList(QDir::Files);
    ASSERT_GE(sources.size(), 3);  // both tables and a memo file
    std::vector<QByteArray> before;
    for (const QString& name : sources)
        before.push_back(FileDigest(catalog.Path(name)));

    ASSERT_EQ(Convert(catalog.Root()).outcome, ConvertOutcome::Converted);
    for (int i = 0; i < sources.size(); ++i)
        EXPECT_EQ(FileDigest(catalog.Path(sources[i])), before[i]) << sources[i].toStdString();
    // Nothing else appeared beside the tables but the catalog file.
    EXPECT_EQ(QDir(catalog.Root()).entryList(QDir::Files).size(), sources.size() + 1);
}

TEST_F(ConversionTest, MissingRootDirectoryIsNamed)
{
    const QString file = catalog.Path("Jazz-Album.db");
    for (const QString& root : {catalog.Root() + "gibt-es-nicht", file, QString()}) {
        prompts.errors.clear();
        EXPECT_EQ(Convert(root).outcome, ConvertOutcome::Stopped);
        EXPECT_EQ(prompts.errors, QStringList{QString("Verzeichnis \"%1\" nicht gefunden!").arg(root)});
    }
    EXPECT_FALSE(QFile::exists(catalog.Target()));
}

TEST_F(ConversionTest, DecliningTheOverwriteChangesNothing)
{
    WriteFile(catalog.Target(), "alter Katalog");
    const QDateTime written = QFileInfo(catalog.Target()).lastModified();

    prompts.answer = false;
    EXPECT_EQ(Convert(catalog.Root()).outcome, ConvertOutcome::Declined);
    EXPECT_EQ(prompts.questions,
              QStringList{QString("Die Datei \"%1\" gibt es bereits!\r\nSoll sie überschrieben werden?").arg(catalog.Target())});
    QFile file(catalog.Target());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("alter Katalog"));
    EXPECT_EQ(QFileInfo(catalog.Target()).lastModified(), written);
}

TEST_F(ConversionTest, ReadOnlyTargetIsReplacedOnYes)
{
    WriteFile(catalog.Target(), "alter Katalog");
    ASSERT_EQ(chmod(catalog.Target().toUtf8().constData(), 0444), 0);

    prompts.answer = true;
    EXPECT_EQ(Convert(catalog.Root()).outcome, ConvertOutcome::Converted);
    EXPECT_TRUE(QFileInfo(catalog.Target()).isWritable() || geteuid() == 0);
    EXPECT_TRUE(QFileInfo(catalog.Target()).permissions() & QFileDevice::WriteOwner);
    EXPECT_EQ(Query(catalog.Target(), "SELECT count(*) FROM Alben")[0][0].toInt(), 2);
}

TEST_F(ConversionTest, MissingTemplateLeavesTheTargetAlone)
{
    QFile::remove(catalog.ProgramDir() + "def-Music.sqlite");
    WriteFile(catalog.Target(), "alter Katalog");
    prompts.answer = true;

    EXPECT_EQ(Convert(catalog.Root()).outcome, ConvertOutcome::Stopped);
    EXPECT_EQ(prompts.errors, QStringList{"Es konnte keine neue SQLite-Datenbank angelegt werden!"});
    QFile file(catalog.Target());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("alter Katalog"));
}

// A source table that is not there (a mistyped name, the empty name, a table gone) is named
// before anything is asked or made: no catalog file appears, and an earlier one stays as it was.
TEST_F(ConversionTest, MissingSourceIsNamedBeforeAnythingIsMade)
{
    struct Case {
        const char* name;
        QString catalog;
        const char* remove;  // a table of the catalog to remove first
        QString named;
    } cases[] = {
        {"mistyped name", "Jaz", nullptr, "Jaz-Album.db"},
        {"empty name", "", nullptr, "-Album.db"},
        {"title table gone", "Jazz", "Jazz-Titel.db", "Jazz-Titel.db"},
        {"both tables gone", "Jazz", "Jazz-Album.db", "Jazz-Album.db"},
    };
    prompts.answer = true;
    for (const Case& c : cases) {
        if (c.remove) {
            ASSERT_TRUE(QFile::remove(catalog.Path(c.remove)));
        }
        for (const bool earlier : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (earlier ? ", earlier catalog" : ""));
            if (earlier)
                WriteFile(catalog.Target(c.catalog), "alter Katalog");
            const QStringList before = QDir(catalog.Root()).entryList(QDir::AllEntries | QDir::Hidden);
            prompts.errors.clear();
            prompts.questions.clear();
            EXPECT_EQ(Convert(catalog.Root(), c.catalog).outcome, ConvertOutcome::Stopped);
            EXPECT_EQ(prompts.errors, QStringList{QString("Datei \"%1\" nicht gefunden!").arg(catalog.Path(c.named))});
            EXPECT_TRUE(prompts.questions.isEmpty());
            EXPECT_EQ(QDir(catalog.Root()).entryList(QDir::AllEntries | QDir::Hidden), before);
            if (earlier) {
                EXPECT_EQ(ReadFile(catalog.Target(c.catalog)), "alter Katalog");
                QFile::remove(catalog.Target(c.catalog));
            }
        }
    }
}

// A catalog file that is one of the catalog's own source files, through a link or as a second
// hard link, is refused before the question, naming both; every source stays byte for byte.
TEST_F(ConversionTest, CatalogFileThatIsASourceFileIsRefused)
{
    WriteFile(catalog.Path("Jazz-Titel.PX"), "Primärindex");  // its bytes stand in for an index
    ASSERT_TRUE(QFile::exists(catalog.Path("Jazz-Album.mb")));
    struct Case {
        const char* name;
        const char* source;
        bool hard;
    } cases[] = {
        {"link to the album table", "Jazz-Album.db", false},
        {"link to its memo file", "Jazz-Album.mb", false},
        {"link to the title table's primary index", "Jazz-Titel.PX", false},
        {"hard link to the title table", "Jazz-Titel.db", true},
    };
    const QStringList sources = QDir(catalog.Root()).entryList(QDir::Files);
    std::vector<QByteArray> digests;
    for (const QString& name : sources)
        digests.push_back(FileDigest(catalog.Path(name)));
    prompts.answer = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(catalog.Target());
        const QString source = catalog.Path(c.source);
        ASSERT_EQ(c.hard ? ::link(QFile::encodeName(source).constData(), QFile::encodeName(catalog.Target()).constData())
                         : ::symlink(QFile::encodeName(source).constData(), QFile::encodeName(catalog.Target()).constData()),
                  0);
        prompts.errors.clear();
        prompts.questions.clear();
        EXPECT_EQ(Convert(catalog.Root()).outcome, ConvertOutcome::Stopped);
        EXPECT_EQ(prompts.errors, QStringList{QString("Die Datei \"%1\" ist dieselbe Datei wie die Quelldatei \"%2\"; "
                                                      "eine Quelldatei wird nie überschrieben.")
                                                  .arg(catalog.Target(), source)});
        EXPECT_TRUE(prompts.questions.isEmpty());
        for (int i = 0; i < sources.size(); ++i)
            EXPECT_EQ(FileDigest(catalog.Path(sources[i])), digests[i]) << sources[i].toStdString();
        EXPECT_EQ(QDir(catalog.Root()).entryList(QDir::Files | QDir::Hidden).size(), sources.size() + 1);
    }
}

// A catalog copied from a Mac holds its umlauts decomposed: the name typed with composed ones
// finds its tables, and the catalog file takes their spelling, so that the next run replaces
// it instead of making a second catalog that looks the same.
TEST_F(ConversionTest, DecomposedNamesOnTheDiskAreFoundAndKept)
{
    const QString typed = QString::fromUtf8("Größte Hits");
    const QString stored = typed.normalized(QString::NormalizationForm_D);
    for (const QString& name : QDir(catalog.Root()).entryList({"Jazz-*"}, QDir::Files))
        ASSERT_TRUE(QFile::rename(catalog.Path(name), catalog.Path(stored + name.mid(4))));
    prompts.answer = true;
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        const ConvertResult result = Convert(catalog.Root(), typed);
        EXPECT_EQ(result.outcome, ConvertOutcome::Converted) << prompts.errors.join('\n').toStdString();
        EXPECT_EQ(result.target, catalog.Target(stored));
        EXPECT_EQ(prompts.questions.size(), run - 1);
    }
    EXPECT_EQ(QDir(catalog.Root()).entryList({"*-Music.sqlite"}, QDir::Files), QStringList{stored + "-Music.sqlite"});
    EXPECT_EQ(Query(catalog.Target(stored), "SELECT count(*) FROM Titel")[0][0].toInt(), 3);
}

TEST_F(ConversionTest, SourceTablesAreFoundIgnoringCase)
{
    // Catalogs copied from Windows often carry other cases.
    ASSERT_TRUE(QFile::rename(catalog.Path("Jazz-Album.db"), catalog.Path("JAZZ-ALBUM.DB")));
    ASSERT_TRUE(QFile::rename(catalog.Path("Jazz-Titel.db"), catalog.Path("jazz-titel.DB")));
    EXPECT_EQ(Convert(catalog.Root()).outcome, ConvertOutcome::Converted) << prompts.errors.join("\n").toStdString();
}

TEST_F(ConversionTest, CatalogNamedDefInTheProgramDirectoryFillsTheTemplateItself)
{
    // The target is the template: the copy onto itself copies nothing, and the rows go into
    // the template file (it is never truncated).
    const QString programDir = catalog.ProgramDir();
    for (const char* name : {"Jazz-Album.db", "Jazz-Album.mb", "Jazz-Titel.db", "Jazz-Titel.mb"}) {
        const QString renamed = QString::fromLatin1(name).replace("Jazz", "def");
        if (QFile::exists(catalog.Path(name))) {
            ASSERT_TRUE(QFile::copy(catalog.Path(name), programDir + renamed));
        }
    }
    prompts.answer = true;
    const ConvertResult result = ConvertCatalog({programDir, "def", programDir, QString()}, prompts);
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(result.outcome, ConvertOutcome::Converted);
    EXPECT_EQ(result.target, programDir + "def-Music.sqlite");
    EXPECT_EQ(Query(result.target, "SELECT count(*) FROM Alben")[0][0].toInt(), 2);
}

TEST_F(ConversionTest, ConvertingTwiceReplacesTheFirstResult)
{
    prompts.answer = true;
    ASSERT_EQ(Convert(catalog.Root()).outcome, ConvertOutcome::Converted);
    catalog.WriteTitles({TitleRow(1, "nur einer")});
    const ConvertResult second = Convert(catalog.Root());
    EXPECT_TRUE(second.status.startsWith("2 Alben und 1 Titel nach"));
    EXPECT_EQ(Query(catalog.Target(), "SELECT count(*) FROM Titel")[0][0].toInt(), 1);
}

// A catalog whose tables are password-protected converts without the password, to the rows
// of the same catalog unprotected.
TEST_F(ConversionTest, ProtectedCatalogConvertsAsThePlainOne)
{
    std::vector<pxw::Row> titles{TitleRow(1, "Summertime"), TitleRow(2, "What a Wonderful World")};
    titles[1][6] = std::string("I see trees of green, red roses too, I see them bloom for me and you");  // past its leader
    for (const QString name : {"Offen", "Geheim"}) {
        const std::string password = name == "Geheim" ? "Satchmo" : "";
        pxw::TableWriter albums(catalog.Path(name + "-Album.db").toStdString(), pxw::AlbumFields(),
                                {.keyFields = 1, .password = password});
        albums.Add(AlbumRow(1, "Ella Fitzgerald"));
        albums.Add(AlbumRow(2, "Louis Armstrong"));
        pxw::TableWriter writer(catalog.Path(name + "-Titel.db").toStdString(), pxw::TitleFields(), {.password = password});
        for (const pxw::Row& row : titles)
            writer.Add(row);
    }
    ASSERT_EQ(Convert(catalog.Root(), "Offen").outcome, ConvertOutcome::Converted);
    ASSERT_EQ(Convert(catalog.Root(), "Geheim").outcome, ConvertOutcome::Converted) << prompts.causes.join(' ').toStdString();
    for (const char* sql : {"SELECT * FROM Alben ORDER BY 1", "SELECT * FROM Titel ORDER BY 1, 2, 3"}) {
        const auto expected = Query(catalog.Target("Offen"), sql);
        EXPECT_EQ(expected.size(), 2u);
        EXPECT_EQ(Query(catalog.Target("Geheim"), sql), expected) << sql;
    }
}

}  // namespace

// A failed transfer names the catalog, not the temporary file it was built in. An earlier
// catalog stays as it was, and the message says so; without one, the partial catalog is put in
// place.
TEST_F(ConversionTest, FailedTransferKeepsAnEarlierCatalogOrPutsThePartialOneInPlace)
{
    catalog.WriteAlbums({AlbumRow(1, "A"), AlbumRow(1, "doppelt")});
    prompts.answer = true;
    for (const bool earlier : {true, false}) {
        SCOPED_TRACE(earlier ? "earlier catalog" : "no earlier catalog");
        SetEarlierCatalog(earlier);
        try {
            Convert(catalog.Root());
            FAIL() << "the transfer should fail";
        } catch (const std::exception& failure) {
            const QString text = QString::fromUtf8(failure.what());
            EXPECT_TRUE(text.contains("\"" + catalog.Target() + "\"")) << failure.what();
            EXPECT_EQ(text.endsWith(QString("\r\nDie bisherige Datei \"%1\" bleibt unverändert.").arg(catalog.Target())),
                      earlier)
                << failure.what();
        }
        if (earlier) {
            EXPECT_EQ(ReadFile(catalog.Target()), "alter Katalog");
        } else {
            EXPECT_EQ(Query(catalog.Target(), "SELECT count(*) FROM Alben")[0][0].toInt(), 1);
            EXPECT_EQ(Query(catalog.Target(), "PRAGMA integrity_check")[0][0].toString(), "ok");
        }
        EXPECT_EQ(QDir(catalog.Root()).entryList({".*.kk-*"}, QDir::Files | QDir::Hidden), QStringList());
    }
}

TEST_F(ConversionTest, LinkedTargetStaysALink)
{
    // The catalog file lies elsewhere and the root holds a link to it.
    QTemporaryDir elsewhere;
    const QString real = elsewhere.filePath("Jazz-echt.sqlite");
    WriteFile(real, "alter Katalog");
    ASSERT_TRUE(QFile::link(real, catalog.Target()));
    prompts.answer = true;

    EXPECT_EQ(Convert(catalog.Root()).outcome, ConvertOutcome::Converted);
    EXPECT_EQ(QFileInfo(catalog.Target()).symLinkTarget(), real);
    EXPECT_EQ(Query(real, "SELECT count(*) FROM Alben")[0][0].toInt(), 2);
}

// A damaged source table is no success: before anything is replaced the command asks whether
// the rows that could be read are to be converted. No keeps an earlier catalog, or makes none;
// Yes converts them, and the status says what is missing. A memo value that cannot be read is
// damage too.
TEST_F(ConversionTest, DamagedSourceAsksBeforeAnythingIsReplaced)
{
    std::vector<pxw::Row> albums;
    for (int i = 1; i <= 100; ++i)
        albums.push_back(AlbumRow(i, "Interpret " + std::to_string(i)));
    catalog.WriteAlbums(albums);
    const QString albumFile = catalog.Path("Jazz-Album.db");
    const int lost = ZeroTableBlock(albumFile, 2);
    ASSERT_GT(lost, 0);
    const QString message = QString("Die Tabelle \"%1\" ist beschädigt: %2 von 100 Zeilen gelesen; Block 2 ist unlesbar.")
                                .arg(albumFile)
                                .arg(100 - lost);
    prompts.answer = true;
    for (const bool earlier : {true, false}) {
        SCOPED_TRACE(earlier ? "earlier catalog" : "no earlier catalog");
        SetEarlierCatalog(earlier);
        prompts.salvages.clear();
        EXPECT_EQ(Convert(catalog.Root()).outcome, ConvertOutcome::Damaged);
        ASSERT_EQ(prompts.salvages.size(), 1u);
        EXPECT_EQ(prompts.salvages[0].damage, message);
        const QString ifNot = earlier ? QString("Die bisherige Datei \"%1\" bleibt unverändert.").arg(catalog.Target())
                                      : QString("Die Datei \"%1\" wurde nicht angelegt.").arg(catalog.Target());
        EXPECT_EQ(prompts.salvages[0].ifNot, ifNot);
        EXPECT_EQ(prompts.salvages[0].question,
                  message + "\r\n\r\nSollen die lesbaren Zeilen trotzdem konvertiert werden?\r\nBei \"Nein\": " + ifNot);
        if (earlier)
            EXPECT_EQ(ReadFile(catalog.Target()), "alter Katalog");
        else
            EXPECT_FALSE(QFile::exists(catalog.Target()));
        EXPECT_EQ(QDir(catalog.Root()).entryList({".*.kk-*"}, QDir::Files | QDir::Hidden), QStringList());
    }

    prompts.salvageAnswer = true;
    const ConvertResult salvaged = Convert(catalog.Root());
    EXPECT_EQ(salvaged.outcome, ConvertOutcome::Converted);
    EXPECT_EQ(salvaged.status, QString("%1 Alben und 3 Titel nach\r\n\"%2\" konvertiert!\r\nAus \"%3\" fehlen %4 von 100 Zeilen.")
                                   .arg(100 - lost)
                                   .arg(catalog.Target(), albumFile)
                                   .arg(lost));
    EXPECT_EQ(Query(catalog.Target(), "SELECT count(*) FROM Alben")[0][0].toInt(), 100 - lost);

    // The title table's memo file cut to its header: the titles come, their lyrics do not.
    catalog.WriteAlbums({AlbumRow(1, "Ella Fitzgerald")});
    std::vector<pxw::Row> titles;
    for (int i = 1; i <= 2; ++i)
        titles.push_back({std::int64_t(1), pxw::Blank{}, std::int64_t(i), std::string("Titel"), pxw::Blank{}, pxw::Blank{},
                          std::string(300, 'x'), pxw::Blank{}, pxw::Blank{}, pxw::Blank{}, pxw::Blank{}});
    catalog.WriteTitles(titles);
    QFile memo(catalog.Path("Jazz-Titel.mb"));
    ASSERT_TRUE(memo.resize(4096));
    prompts.salvages.clear();
    const ConvertResult memoLost = Convert(catalog.Root());
    ASSERT_EQ(prompts.salvages.size(), 1u);
    EXPECT_EQ(prompts.salvages[0].damage, QString("Die Tabelle \"%1\" ist beschädigt: 2 Memo-/BLOB-Werte sind unlesbar.")
                                              .arg(catalog.Path("Jazz-Titel.db")));
    EXPECT_TRUE(memoLost.status.endsWith(
        QString("\r\nIn \"%1\" sind 2 Memo-/BLOB-Werte unlesbar und leer.").arg(catalog.Path("Jazz-Titel.db"))))
        << memoLost.status.toStdString();
    EXPECT_EQ(Query(catalog.Target(), "SELECT LNr, Text FROM Titel ORDER BY LNr"),
              (std::vector<QVariantList>{{1, ""}, {2, ""}}));
}
