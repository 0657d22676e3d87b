// The conversion command: each ending, the messages it shows and the files it leaves.

#include "CatalogFixture.h"
#include "ConvertCommand.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

class RecordingPrompts : public ConvertPrompts {
public:
    bool answer = false;
    QStringList questions;
    QStringList errors;
    QStringList causes;

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

TEST_F(ConversionTest, MissingSourceIsNamedAfterTheTemplateWasCopied)
{
    struct Case {
        const char* remove;
        const char* named;
    } cases[] = {{"Jazz-Titel.db", "Jazz-Titel.db"}, {"Jazz-Album.db", "Jazz-Album.db"}};
    for (const Case& c : cases) {
        QFile::remove(catalog.Path(c.remove));
        prompts.errors.clear();
        prompts.answer = true;
        EXPECT_EQ(Convert(catalog.Root()).outcome, ConvertOutcome::Stopped);
        EXPECT_EQ(prompts.errors, QStringList{QString("Datei \"%1\" nicht gefunden!").arg(catalog.Path(c.named))});
        // The target already is a fresh, empty copy of the template.
        EXPECT_EQ(Query(catalog.Target(), "SELECT count(*) FROM Alben")[0][0].toInt(), 0);
    }
}

TEST_F(ConversionTest, EmptyCatalogNameTargetsTheBareSuffix)
{
    const ConvertResult result = Convert(catalog.Root(), QString());
    EXPECT_EQ(result.outcome, ConvertOutcome::Stopped);
    EXPECT_EQ(result.target, catalog.Path("-Music.sqlite"));
    EXPECT_TRUE(QFile::exists(catalog.Path("-Music.sqlite")));
    EXPECT_EQ(prompts.errors, QStringList{QString("Datei \"%1\" nicht gefunden!").arg(catalog.Path("-Album.db"))});
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
        QFile::remove(catalog.Target());
        if (earlier)
            WriteFile(catalog.Target(), "alter Katalog");
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
