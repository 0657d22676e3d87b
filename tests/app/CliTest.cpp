// The command-line converter as a script would run it: arguments, exit codes and its output.

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <map>

namespace {

struct CliRun {
    int exitCode;
    QString out;
    QString err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        catalog.WriteAlbums({AlbumRow(1, "Ella"), AlbumRow(2, "Louis")});
        catalog.WriteTitles({TitleRow(1, "Summertime")});
    }

    CliRun Cli(const QStringList& args, const QString& program = QStringLiteral(KK_CLI_PATH))
    {
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(program, args);
        // A generous upper bound for the exit: a run takes well under a second unloaded.
        if (!process.waitForFinished(300000)) {
            ADD_FAILURE() << "no exit within 5 minutes: " << args.join(' ').toStdString();
            process.kill();
            process.waitForFinished();
        }
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    CatalogFixture catalog;
};

TEST_F(CliTest, ConvertsWithTheTemplateBesideItself)
{
    const CliRun run = Cli({catalog.Root(), "Jazz"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString("2 Alben und 1 Titel nach\n\"%1\" konvertiert!\n").arg(catalog.Target()));
}

// A copy installed the Linux way: the executable in PREFIX/bin/, the template in
// PREFIX/share/katalogkonverter/.
TEST_F(CliTest, InstalledCopyFindsTheTemplateInShare)
{
    const QString prefix = QFileInfo(catalog.ProgramDir()).canonicalFilePath() + '/';
    const QString cli = prefix + "bin/katalogkonverter-cli";
    ASSERT_TRUE(QDir().mkpath(prefix + "bin"));
    ASSERT_TRUE(QFile::copy(KK_CLI_PATH, cli));

    // Without a template anywhere, the message names the place looked at first.
    const CliRun missing = Cli({catalog.Root(), "Jazz"}, cli);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("\"" + prefix + "bin/def-Music.sqlite\" wurde nicht gefunden"))
        << missing.err.toStdString();

    catalog.MakeTemplate();
    ASSERT_TRUE(QDir().mkpath(prefix + "share/katalogkonverter"));
    ASSERT_TRUE(QFile::rename(prefix + "def-Music.sqlite", prefix + "share/katalogkonverter/def-Music.sqlite"));
    const CliRun run = Cli({"--yes", catalog.Root(), "Jazz"}, cli);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Query(catalog.Target(), "SELECT COUNT(*) FROM Alben")[0][0].toInt(), 2);
}

TEST_F(CliTest, ExistingTargetIsKeptWithoutYesAndReplacedWithIt)
{
    ASSERT_EQ(Cli({catalog.Root(), "Jazz"}).exitCode, 0);
    const QByteArray first = FileDigest(catalog.Target());

    const CliRun declined = Cli({catalog.Root(), "Jazz"});
    EXPECT_EQ(declined.exitCode, 3);
    EXPECT_TRUE(declined.err.contains("gibt es bereits")) << declined.err.toStdString();
    EXPECT_EQ(FileDigest(catalog.Target()), first);

    EXPECT_EQ(Cli({"--yes", catalog.Root(), "Jazz"}).exitCode, 0);
}

TEST_F(CliTest, MessagesAndFailuresGoToStandardError)
{
    const CliRun missing = Cli({catalog.Root() + "fehlt", "Jazz"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, QString("Verzeichnis \"%1fehlt\" nicht gefunden!\n").arg(catalog.Root()));
    EXPECT_TRUE(missing.out.isEmpty());

    const CliRun badCodePage = Cli({catalog.Root(), "Jazz", "--codepage", "keine-codepage"});
    EXPECT_EQ(badCodePage.exitCode, 1);
    EXPECT_TRUE(badCodePage.err.contains("keine-codepage")) << badCodePage.err.toStdString();
}

TEST_F(CliTest, BadUsageExitsWithTwo)
{
    for (const QStringList& args : {QStringList{}, QStringList{"nur-eins"}, QStringList{"a", "b", "c"},
                                    QStringList{"--unbekannt", "a", "b"}, QStringList{"a", "b", "--codepage"},
                                    QStringList{"--all"}, QStringList{"--all", "a", "b"}}) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("Aufruf: katalogkonverter-cli")) << run.err.toStdString();
    }
}

// --all: every catalog of the root in name order, found ignoring case, each through the same
// command; a broken one is reported and the others still convert.
TEST_F(CliTest, AllConvertsEveryCatalogAndGoesOnAfterABrokenOne)
{
    catalog.WriteAlbums({AlbumRow(7, "Queen")}, "Rock");
    catalog.WriteTitles({TitleRow(7, "Bohemian Rhapsody"), TitleRow(7, "Love of My Life")}, "Rock");
    ASSERT_TRUE(QFile::rename(catalog.Path("Rock-Album.db"), catalog.Path("Rock-ALBUM.DB")));
    ASSERT_TRUE(QFile::rename(catalog.Path("Rock-Titel.db"), catalog.Path("rock-titel.db")));
    catalog.WriteTitles({TitleRow(1, "Unvollständig")}, "Kaputt");
    QFile broken(catalog.Path("Kaputt-Album.db"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("keine Paradox-Tabelle");
    broken.close();
    catalog.WriteAlbums({AlbumRow(1, "Solo")}, "Einzeln");  // no titles: not a catalog

    const CliRun run = Cli({"--all", catalog.Root()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, QString("Jazz: 2 Alben und 1 Titel nach \"%1\" konvertiert!\n"
                               "Kaputt: nicht konvertiert (Fehler)\n"
                               "Rock: 1 Alben und 2 Titel nach \"%2\" konvertiert!\n"
                               "2 von 3 Katalogen konvertiert, 1 fehlgeschlagen.\n")
                           .arg(catalog.Target("Jazz"), catalog.Target("Rock")));
    EXPECT_TRUE(run.err.contains(QString("Die Datei \"%1\" ist keine Paradox-Tabelle.\n").arg(catalog.Path("Kaputt-Album.db"))))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Hinweis: Zu \"Einzeln-Album.db\" gibt es keine Titeltabelle")) << run.err.toStdString();
    EXPECT_EQ(Query(catalog.Target("Rock"), "SELECT Titel FROM Titel ORDER BY rowid"),
              (std::vector<QVariantList>{{"Bohemian Rhapsody"}, {"Love of My Life"}}));
    EXPECT_FALSE(QFile::exists(catalog.Target("Einzeln")));

    // Run again: each existing catalog file is a question of its own, answered No without a
    // terminal, so nothing changes.
    const QByteArray jazz = FileDigest(catalog.Target("Jazz"));
    const CliRun again = Cli({"--all", catalog.Root()});
    EXPECT_EQ(again.exitCode, 3);
    EXPECT_EQ(again.err.count("gibt es bereits"), 3) << again.err.toStdString();
    EXPECT_TRUE(again.out.endsWith("0 von 3 Katalogen konvertiert, 3 nicht ersetzt.\n")) << again.out.toStdString();
    EXPECT_EQ(FileDigest(catalog.Target("Jazz")), jazz);

    // Without its catalog file the broken one is tried again and fails, between two declined
    // ones: a failure outweighs a declined catalog before it and after it.
    ASSERT_TRUE(QFile::remove(catalog.Target("Kaputt")));
    const CliRun mixed = Cli({"--all", catalog.Root()});
    EXPECT_EQ(mixed.exitCode, 1) << mixed.err.toStdString();
    EXPECT_EQ(mixed.out, "Jazz: nicht konvertiert, die vorhandene Datei bleibt\n"
                         "Kaputt: nicht konvertiert (Fehler)\n"
                         "Rock: nicht konvertiert, die vorhandene Datei bleibt\n"
                         "0 von 3 Katalogen konvertiert, 1 fehlgeschlagen, 2 nicht ersetzt.\n");

    QTemporaryDir empty;
    const CliRun none = Cli({"--all", empty.path()});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("gibt es keinen Katalog")) << none.err.toStdString();
}

// Every file below the root with its digest: "nothing read elsewhere was written, nothing made".
std::map<QString, QByteArray> Snapshot(const QString& root)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        files[file] = FileDigest(file);
    }
    return files;
}

// A catalog is given by its name alone: a path, "." and "..", a control character or a blank
// at either end is refused with the name and the reason before anything is read or made, in a
// single conversion and with --all.
TEST_F(CliTest, CatalogNameThatIsNoNameIsRefused)
{
    // The catalog once more in a folder below, with other rows and memo texts.
    ASSERT_TRUE(QDir(catalog.Root()).mkdir("Sicherung"));
    for (const char* name : {"Jazz-Album.db", "Jazz-Album.mb", "Jazz-Titel.db"})
        ASSERT_TRUE(QFile::copy(catalog.Path(name), catalog.Path(QString("Sicherung/") + name)));
    struct Case {
        QString name;
        QString shown;
        const char* reason;
    } cases[] = {
        {"Sicherung/Jazz", "Sicherung/Jazz", "er enthält \"/\"; ein Verzeichnis gehört ins Stammverzeichnis"},
        {"../Jazz", "../Jazz", "er enthält \"/\"; ein Verzeichnis gehört ins Stammverzeichnis"},
        {".", ".", "\".\" und \"..\" stehen für Verzeichnisse"},
        {"..", "..", "\".\" und \"..\" stehen für Verzeichnisse"},
        {" Jazz", " Jazz", "er beginnt mit einem Leerzeichen"},
        {"Jazz ", "Jazz ", "er endet mit einem Leerzeichen"},
        {"Ja\tzz", "Ja\\x09zz", "er enthält ein Steuerzeichen"},
    };
    const auto before = Snapshot(catalog.Root());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        const CliRun run = Cli({"--yes", catalog.Root(), c.name});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, QString("Der Katalogname \"%1\" ist nicht zulässig: %2.\n").arg(c.shown, c.reason));
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(Snapshot(catalog.Root()), before);
    }
    EXPECT_FALSE(QFileInfo::exists(catalog.Root() + "../Jazz-Music.sqlite"));

    // --all meets such a name on the disk: it is refused there, and the others convert.
    for (const char* name : {"Jazz-Album.db", "Jazz-Album.mb", "Jazz-Titel.db"})
        ASSERT_TRUE(QFile::copy(catalog.Path(name), catalog.Path(QString(" ") + name)));
    const CliRun all = Cli({"--all", catalog.Root()});
    EXPECT_EQ(all.exitCode, 1);
    EXPECT_EQ(all.out, QString(" Jazz: nicht konvertiert (Fehler)\n"
                               "Jazz: 2 Alben und 1 Titel nach \"%1\" konvertiert!\n"
                               "1 von 2 Katalogen konvertiert, 1 fehlgeschlagen.\n")
                           .arg(catalog.Target()));
    EXPECT_EQ(all.err, "Der Katalogname \" Jazz\" ist nicht zulässig: er beginnt mit einem Leerzeichen.\n");
    EXPECT_FALSE(QFileInfo::exists(catalog.Target(" Jazz")));
}

// A damaged album table: without --salvage nothing changes and the exit code is 1; with it the
// readable rows are converted, the status line says what is missing, the message goes to
// standard error, and the exit code is 0. --all does the same per catalog.
TEST_F(CliTest, DamagedTableChangesNothingWithoutSalvage)
{
    std::vector<pxw::Row> albums;
    for (int i = 1; i <= 100; ++i)
        albums.push_back(AlbumRow(i, "Interpret"));
    catalog.WriteAlbums(albums);
    ASSERT_EQ(Cli({catalog.Root(), "Jazz"}).exitCode, 0);
    const QByteArray earlier = FileDigest(catalog.Target());
    const QString albumFile = catalog.Path("Jazz-Album.db");
    const int lost = ZeroTableBlock(albumFile, 2);
    const QString message = QString("Die Tabelle \"%1\" ist beschädigt: %2 von 100 Zeilen gelesen; Block 2 ist unlesbar.\n")
                                .arg(albumFile)
                                .arg(100 - lost);

    const CliRun refused = Cli({"--yes", catalog.Root(), "Jazz"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.isEmpty()) << refused.out.toStdString();
    EXPECT_EQ(refused.err, message + QString("Mit --salvage werden die lesbaren Zeilen konvertiert.\n"
                                             "Die bisherige Datei \"%1\" bleibt unverändert.\n")
                                         .arg(catalog.Target()));
    EXPECT_EQ(FileDigest(catalog.Target()), earlier);

    const QString status = QString("%1 Alben und 1 Titel nach\n\"%2\" konvertiert!\nAus \"%3\" fehlen %4 von 100 Zeilen.\n")
                               .arg(100 - lost)
                               .arg(catalog.Target(), albumFile)
                               .arg(lost);
    const CliRun salvaged = Cli({"--yes", "--salvage", catalog.Root(), "Jazz"});
    EXPECT_EQ(salvaged.exitCode, 0) << salvaged.err.toStdString();
    EXPECT_EQ(salvaged.out, status);
    EXPECT_EQ(salvaged.err, message);
    EXPECT_EQ(Query(catalog.Target(), "SELECT count(*) FROM Alben")[0][0].toInt(), 100 - lost);

    const CliRun all = Cli({"--all", "--yes", catalog.Root()});
    EXPECT_EQ(all.exitCode, 1);
    EXPECT_EQ(all.out, "Jazz: nicht konvertiert (Tabelle beschädigt)\n0 von 1 Katalog konvertiert, 1 fehlgeschlagen.\n");
    const CliRun allSalvaged = Cli({"--all", "--yes", "--salvage", catalog.Root()});
    EXPECT_EQ(allSalvaged.exitCode, 0) << allSalvaged.err.toStdString();
    EXPECT_EQ(allSalvaged.out, "Jazz: " + QString(status).replace('\n', ' ').trimmed() + "\n1 von 1 Katalog konvertiert.\n");
}

}  // namespace
