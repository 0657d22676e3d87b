// The catalog file under real conditions: other programs holding it (the sqlite3 shell), a
// second converter at the same time, converters killed halfway, side files left by dead
// programs, and sources that are no files. After each the catalog passes SQLite's integrity
// check, a run that reported success holds every row, and the source tables are unchanged.

#include "CatalogFixture.h"
#include "SafetySupport.h"
#include "ProcessStop.h"
#include "SqliteDb.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <functional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kAlbums = 10000;
constexpr int kTitles = 100000;

class CatalogSafetyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // One big catalog for the suite, copied into each test's own root directory.
        big_ = new CatalogFixture;
        std::vector<pxw::Row> albums;
        for (int i = 1; i <= kAlbums; ++i)
            albums.push_back(AlbumRow(i, "Interpret " + std::to_string(i)));
        big_->WriteAlbums(albums, "Big");
        std::vector<pxw::Row> titles;
        for (int i = 1; i <= kTitles; ++i)
            titles.push_back(TitleRow(1 + (i - 1) % kAlbums, "Titel " + std::to_string(i)));
        big_->WriteTitles(titles, "Big");
    }
    static void TearDownTestSuite()
    {
        delete big_;
        big_ = nullptr;
    }

    void SetUp() override
    {
        catalog.WriteAlbums({AlbumRow(1, "Ella"), AlbumRow(2, "Louis")});
        catalog.WriteTitles({TitleRow(1, "Summertime"), TitleRow(2, "Hello, Dolly!")});
    }

    // The big catalog as "Jazz" in this test's root directory.
    void UseBigCatalog()
    {
        for (const char* suffix : {"-Album.db", "-Titel.db"}) {
            QFile::remove(catalog.Path(QString("Jazz") + suffix));
            ASSERT_TRUE(QFile::copy(big_->Path(QString("Big") + suffix), catalog.Path(QString("Jazz") + suffix)));
        }
    }

    QStringList SourceNames() const
    {
        QStringList names;
        for (const QString& name : QDir(catalog.Root()).entryList(QDir::Files | QDir::Hidden))
            if (name.endsWith(".db", Qt::CaseInsensitive) || name.endsWith(".mb", Qt::CaseInsensitive))
                names << name;
        return names;
    }
    std::vector<QByteArray> SourceDigests() const
    {
        std::vector<QByteArray> digests;
        for (const QString& name : SourceNames())
            digests.push_back(FileDigest(catalog.Path(name)));
        return digests;
    }

    // Temporary files of the converter left in the root directory.
    QStringList Leftovers() const
    {
        return QDir(catalog.Root()).entryList({".Jazz-Music.sqlite.kk-*"}, QDir::Files | QDir::Hidden);
    }

    QProcess* StartCli(const QStringList& args)
    {
        auto* process = new QProcess;
        process->setStandardInputFile(QProcess::nullDevice());
        process->start(QStringLiteral(KK_CLI_PATH), args);
        process->waitForStarted(300000);
        return process;
    }
    // Waits for the exit, a generous upper bound: a big conversion takes a few seconds unloaded.
    static CliRun Finish(QProcess* process)
    {
        if (!process->waitForFinished(300000))
            ADD_FAILURE() << "the converter did not end within 5 minutes";
        CliRun run{process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
                   QString::fromUtf8(process->readAllStandardOutput()),
                   QString::fromUtf8(process->readAllStandardError())};
        delete process;
        return run;
    }
    CliRun Cli(const QStringList& args) { return Finish(StartCli(args)); }
    CliRun Convert() { return Cli({"--yes", catalog.Root(), "Jazz"}); }

    // Stops CONVERTER (SIGSTOP) halfway: at a moment when SQLite is writing rows into its
    // temporary file (the converter holds the file's journal open). Looked at only while the
    // converter is stopped, so it cannot finish between this and what the test does next,
    // however loaded the machine is. False when it ended first.
    static bool StopHalfway(QProcess* converter)
    {
        return TestSupport::StopWhen(pid_t(converter->processId()), [](const QStringList& open) {
            for (const QString& name : open)
                if (name.startsWith(".Jazz-Music.sqlite.kk-") && name.endsWith("-journal"))
                    return true;
            return false;
        });
    }
    static void Continue(QProcess* converter) { ::kill(pid_t(converter->processId()), SIGCONT); }

    QString Integrity() const
    {
        return Query(catalog.Target(), "PRAGMA integrity_check")[0][0].toString();
    }
    int Count(const char* table) const
    {
        return Query(catalog.Target(), QString("SELECT count(*) FROM %1").arg(table))[0][0].toInt();
    }

    static CatalogFixture* big_;
    CatalogFixture catalog;
};

CatalogFixture* CatalogSafetyTest::big_ = nullptr;

// While another program has the catalog open - idle, reading or writing - the conversion is
// refused before anything changes, and says which program holds which file.
TEST_F(CatalogSafetyTest, CatalogHeldByAnotherProgramIsLeftAlone)
{
    if (SqliteShellPath().isEmpty())
        GTEST_SKIP() << "the sqlite3 shell is not installed";
    ASSERT_EQ(Convert().exitCode, 0);

    struct Case {
        const char* name;
        const char* sql;      // what the other program does, and keeps doing
        const char* release;  // how it ends its work afterwards
    } cases[] = {
        {"idle", "SELECT count(*) FROM Alben;", ""},
        {"read transaction", "BEGIN; SELECT count(*) FROM Alben;", "COMMIT;"},
        {"write transaction", "BEGIN IMMEDIATE; INSERT INTO Alben (PNr) VALUES (99);", "ROLLBACK;"},
        {"WAL, idle after a write", "PRAGMA journal_mode=WAL; INSERT INTO Alben (PNr) VALUES (98);", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SqliteShell viewer(catalog.Target());
        ASSERT_TRUE(viewer.Run(c.sql));
        const int albums = Count("Alben");
        const QByteArray before = FileDigest(catalog.Target());

        const CliRun run = Convert();
        EXPECT_EQ(run.exitCode, 1);
        const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << run.err.toStdString();
        EXPECT_EQ(lines[0], "Es konnte keine neue SQLite-Datenbank angelegt werden!");
        EXPECT_TRUE(lines[1].contains(catalog.Target()) && lines[1].contains(QString("Prozess %1").arg(viewer.Pid())))
            << lines[1].toStdString();
        EXPECT_EQ(FileDigest(catalog.Target()), before);
        EXPECT_TRUE(Leftovers().isEmpty());

        // The other program goes on working with its own catalog.
        ASSERT_TRUE(viewer.Run(c.release));
        EXPECT_EQ(Count("Alben"), albums);
        EXPECT_EQ(Integrity(), "ok");
    }
}

// Side files of programs that died (a hot rollback journal, a WAL with committed rows) belong
// to the old catalog: the new one never inherits them.
TEST_F(CatalogSafetyTest, SideFilesOfDeadProgramsAreNotApplied)
{
    if (SqliteShellPath().isEmpty())
        GTEST_SKIP() << "the sqlite3 shell is not installed";
    struct Case {
        const char* name;
        const char* sql;
        const char* sideFile;
    } cases[] = {
        {"hot journal", "PRAGMA journal_mode=DELETE; BEGIN; INSERT INTO Alben (PNr, Interpret) VALUES (77, 'alt');",
         "-journal"},
        {"WAL", "PRAGMA journal_mode=WAL; INSERT INTO Alben (PNr, Interpret) VALUES (77, 'alt');", "-wal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Convert().exitCode, 0);
        {
            SqliteShell viewer(catalog.Target());
            ASSERT_TRUE(viewer.Run(c.sql));
            viewer.Kill();
        }
        ASSERT_TRUE(QFile::exists(catalog.Target() + c.sideFile));

        const CliRun run = Convert();
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(catalog.Target() + c.sideFile));
        EXPECT_EQ(Integrity(), "ok");
        EXPECT_EQ(Query(catalog.Target(), "SELECT PNr FROM Alben ORDER BY PNr"),
                  (std::vector<QVariantList>{{1}, {2}}));
    }
}

// A journal left beside a big catalog from another file of that name (copied back from a
// backup, say) is never played back into it: a failed run leaves both exactly as they were,
// and the next run replaces the catalog with a complete one. (Played back, such a journal cuts
// the catalog and leaves it malformed, and every run after that fails.)
TEST_F(CatalogSafetyTest, ForeignJournalBesideABigCatalogIsNeverPlayedBack)
{
    if (SqliteShellPath().isEmpty())
        GTEST_SKIP() << "the sqlite3 shell is not installed";
    UseBigCatalog();
    ASSERT_EQ(Convert().exitCode, 0);
    // The other file: the small catalog, in the middle of a big change when its program died.
    const QString other = catalog.Path("andere.sqlite");
    {
        CatalogFixture small;
        small.WriteAlbums({AlbumRow(1, "Ella")});
        small.WriteTitles({TitleRow(1, "Summertime")});
        ASSERT_EQ(Cli({"--yes", small.Root(), "Jazz"}).exitCode, 0);
        ASSERT_TRUE(QFile::copy(small.Target(), other));
    }
    {
        SqliteShell shell(other);
        ASSERT_TRUE(shell.Run("PRAGMA journal_mode=DELETE; PRAGMA cache_size=1; BEGIN; "
                              "WITH RECURSIVE n(i) AS (SELECT 100 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                              "INSERT INTO Alben (PNr, Interpret) SELECT i, printf('%0500d', i) FROM n;"));
        shell.Kill();
    }
    ASSERT_TRUE(QFile::rename(other + "-journal", catalog.Target() + "-journal"));
    const QByteArray earlier = FileDigest(catalog.Target());
    const QByteArray journal = FileDigest(catalog.Target() + "-journal");

    const QString titles = catalog.Path("Jazz-Titel.db");
    ASSERT_TRUE(QFile::rename(titles, titles + ".weg"));
    EXPECT_EQ(Convert().exitCode, 1);
    EXPECT_EQ(FileDigest(catalog.Target()), earlier);
    EXPECT_EQ(FileDigest(catalog.Target() + "-journal"), journal);

    ASSERT_TRUE(QFile::rename(titles + ".weg", titles));
    const CliRun run = Convert();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(catalog.Target() + "-journal"));
    EXPECT_EQ(Integrity(), "ok");
    EXPECT_EQ(Count("Alben"), kAlbums);
    EXPECT_EQ(Count("Titel"), kTitles);
}

// A second conversion of the same catalog while the first runs is refused; the first one
// finishes with every row.
TEST_F(CatalogSafetyTest, SecondConverterIsRefusedWhileTheFirstRuns)
{
    UseBigCatalog();
    QProcess* first = StartCli({"--yes", catalog.Root(), "Jazz"});
    ASSERT_TRUE(StopHalfway(first));

    const CliRun second = Convert();
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.contains("wird gerade von einem anderen Programm konvertiert")) << second.err.toStdString();

    Continue(first);
    const CliRun run = Finish(first);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Integrity(), "ok");
    EXPECT_EQ(Count("Alben"), kAlbums);
    EXPECT_EQ(Count("Titel"), kTitles);
    EXPECT_TRUE(Leftovers().isEmpty());
}

// A converter ended halfway leaves the previous catalog as it was. Told to end, it removes its
// temporary file itself; killed, it leaves one, which the next conversion removes.
TEST_F(CatalogSafetyTest, ConverterEndedHalfwayLeavesThePreviousCatalog)
{
    struct Case {
        const char* name;
        int signal;
        int exitCode;  // -1: killed
        bool leftover;
    } cases[] = {
        {"SIGKILL", SIGKILL, -1, true},
        {"SIGTERM", SIGTERM, 143, false},
        {"SIGINT", SIGINT, 130, false},
        {"SIGHUP", SIGHUP, 129, false},
        {"SIGQUIT", SIGQUIT, 131, false},
    };
    ASSERT_EQ(Convert().exitCode, 0);
    const QByteArray previous = FileDigest(catalog.Target());
    UseBigCatalog();
    const std::vector<QByteArray> sources = SourceDigests();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess* converter = StartCli({"--yes", catalog.Root(), "Jazz"});
        ASSERT_TRUE(StopHalfway(converter)) << "the catalog converts too fast to be stopped halfway";
        // Pending while stopped, taken when the converter goes on.
        ::kill(pid_t(converter->processId()), c.signal);
        Continue(converter);
        const CliRun run = Finish(converter);

        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(FileDigest(catalog.Target()), previous);
        EXPECT_EQ(!Leftovers().isEmpty(), c.leftover) << Leftovers().join(' ').toStdString();
    }

    const CliRun run = Convert();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(' ').toStdString();
    EXPECT_EQ(Integrity(), "ok");
    EXPECT_EQ(Count("Titel"), kTitles);
    EXPECT_EQ(SourceDigests(), sources);
}

// The catalog "def" beside the program is the template itself, filled in place. A converter
// killed halfway leaves it as it was: the unfinished rows go back with the journal when the
// template is opened next, and converting again fills it once (rows left behind would make
// the second run fail on the album key).
TEST_F(CatalogSafetyTest, DefCatalogKilledHalfwayLeavesTheTemplateAsItWas)
{
    const QString programDir = catalog.ProgramDir();
    const QString cli = programDir + "katalogkonverter-cli";
    ASSERT_TRUE(QFile::copy(KK_CLI_PATH, cli));
    catalog.MakeTemplate();
    for (const char* suffix : {"-Album.db", "-Titel.db"})
        ASSERT_TRUE(QFile::copy(big_->Path(QString("Big") + suffix), programDir + "def" + suffix));
    const QString templateFile = programDir + "def-Music.sqlite";
    const QByteArray before = FileDigest(templateFile);

    QProcess converter;
    converter.setStandardInputFile(QProcess::nullDevice());
    converter.start(cli, {"--yes", programDir, "def"});
    ASSERT_TRUE(converter.waitForStarted(300000));
    ASSERT_TRUE(TestSupport::StopWhen(pid_t(converter.processId()), [](const QStringList& open) {
        return open.contains("def-Music.sqlite-journal");
    })) << "the catalog converts too fast to be stopped halfway";
    ::kill(pid_t(converter.processId()), SIGKILL);
    Continue(&converter);
    ASSERT_TRUE(converter.waitForFinished(300000));
    EXPECT_EQ(converter.exitStatus(), QProcess::CrashExit);
    ASSERT_TRUE(QFile::exists(templateFile + "-journal"));

    // The next program to open the template rolls the unfinished rows back.
    {
        SqliteConnection db;
        db.Open(templateFile, 2000);
        db.Execute("SELECT count(*) FROM sqlite_schema");
    }
    EXPECT_FALSE(QFile::exists(templateFile + "-journal"));
    EXPECT_EQ(FileDigest(templateFile), before);

    QProcess again;
    again.setStandardInputFile(QProcess::nullDevice());
    again.start(cli, {"--yes", programDir, "def"});
    ASSERT_TRUE(again.waitForFinished(300000));
    EXPECT_EQ(again.exitCode(), 0) << again.readAllStandardError().toStdString();
    EXPECT_EQ(Query(templateFile, "SELECT count(*) FROM Alben")[0][0].toInt(), kAlbums);
    EXPECT_EQ(Query(templateFile, "SELECT count(*) FROM Titel")[0][0].toInt(), kTitles);
}

// A disk that runs full halfway: the conversion fails with SQLite's message. Without an
// earlier catalog, the one left in place is sound, holding the rows written before; an earlier
// catalog stays byte for byte, and the message says so. Runs in a private mount namespace with
// a small tmpfs as the root directory; the source tables stay outside, linked.
TEST_F(CatalogSafetyTest, FullDiskLeavesASoundCatalog)
{
    if (::geteuid() != 0 || SqliteShellPath().isEmpty()
        || QProcess::execute("unshare", {"-m", "true"}) != 0)
        GTEST_SKIP() << "needs root, unshare and the sqlite3 shell";
    const std::vector<QByteArray> sources = [&] {
        std::vector<QByteArray> digests;
        for (const char* suffix : {"-Album.db", "-Titel.db"})
            digests.push_back(FileDigest(big_->Path(QString("Big") + suffix)));
        return digests;
    }();
    // The earlier catalog: this test's small one, kept outside the mount.
    ASSERT_EQ(Convert().exitCode, 0);
    QTemporaryDir outside;
    const QString earlier = outside.filePath("earlier.sqlite");
    ASSERT_TRUE(QFile::copy(catalog.Target(), earlier));
    const QString script = R"(
        set -e
        mount -t tmpfs -o size=1m tmpfs "$ROOT"
        for f in "$SRC"/Big-*; do ln -s "$f" "$ROOT/Jazz-${f##*/Big-}"; done
        set +e
        "$CLI" --yes "$ROOT" Jazz
        echo "exit=$?"
        sqlite3 "$ROOT/Jazz-Music.sqlite" "PRAGMA integrity_check; SELECT count(*) FROM Alben;"
        ls -A "$ROOT"
        cp "$EARLIER" "$ROOT/Jazz-Music.sqlite"
        "$CLI" --yes "$ROOT" Jazz
        echo "exit=$?"
        cmp -s "$EARLIER" "$ROOT/Jazz-Music.sqlite" && echo "earlier kept"
        ls -A "$ROOT"
        dd if=/dev/zero of="$ROOT/voll" bs=4k 2>/dev/null
        "$CLI" --yes "$ROOT" Jazz 2>&1 | sed 's/^/full from the start: /'
        cmp -s "$EARLIER" "$ROOT/Jazz-Music.sqlite" && echo "earlier kept")";
    QProcess shell;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ROOT", catalog.Root());
    environment.insert("SRC", big_->Root());
    environment.insert("CLI", KK_CLI_PATH);
    environment.insert("EARLIER", earlier);
    shell.setProcessEnvironment(environment);
    shell.start("unshare", {"-m", "--propagation", "private", "sh", "-c", script});
    ASSERT_TRUE(shell.waitForFinished(300000));
    const QString out = QString::fromUtf8(shell.readAllStandardOutput());
    const QString err = QString::fromUtf8(shell.readAllStandardError());

    EXPECT_TRUE(err.contains("database or disk is full")) << err.toStdString();
    EXPECT_TRUE(err.contains(QString("Die bisherige Datei \"%1\" bleibt unverändert.").arg(catalog.Target())))
        << err.toStdString();
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 5) << out.toStdString();
    EXPECT_EQ(lines[0], "exit=1");
    EXPECT_EQ(lines[1], "ok");
    EXPECT_GT(lines[2].toInt(), 0);  // the rows written before the disk was full
    EXPECT_EQ(lines.filter("exit=").value(1), "exit=1");
    EXPECT_EQ(lines.filter("earlier kept").size(), 2) << out.toStdString();
    // A disk full from the start: the message names the catalog, not a hidden temporary file.
    const QStringList full = lines.filter("full from the start: ");
    ASSERT_EQ(full.size(), 2) << out.toStdString();
    EXPECT_TRUE(full[1].contains(catalog.Target()) && !full[1].contains(".kk")) << full[1].toStdString();
    EXPECT_FALSE(out.contains(".kk")) << out.toStdString();
    EXPECT_EQ(sources[0], FileDigest(big_->Path("Big-Album.db")));
    EXPECT_EQ(sources[1], FileDigest(big_->Path("Big-Titel.db")));
}

// Names of the source tables that are no regular files: never a hang, the file is "not found".
TEST_F(CatalogSafetyTest, SourceThatIsNoFileIsNoTable)
{
    const QString titles = catalog.Path("Jazz-Titel.db");
    const QString notFound = QString("Datei \"%1\" nicht gefunden!\n").arg(titles);
    const QString fifo = QString("\"%1\" ist keine Datei, sondern eine FIFO.\n").arg(titles);
    struct Case {
        const char* name;
        std::function<bool()> make;
        QString message;
    } cases[] = {
        {"FIFO", [&] { return ::mkfifo(titles.toUtf8().constData(), 0644) == 0; }, fifo},
        {"dangling link", [&] { return ::symlink("gibt-es-nicht.db", titles.toUtf8().constData()) == 0; }, notFound},
        {"directory", [&] { return QDir().mkdir(titles); },
         QString("\"%1\" ist keine Datei, sondern ein Verzeichnis.\n").arg(titles)},
        {"link to a FIFO", [&] {
             return ::mkfifo(catalog.Path("fifo").toUtf8().constData(), 0644) == 0
                    && ::symlink("fifo", titles.toUtf8().constData()) == 0;
         }, fifo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(titles);
        QDir().rmdir(titles);
        QFile::remove(catalog.Path("fifo"));
        QFile::remove(catalog.Target());
        ASSERT_TRUE(c.make());

        const CliRun run = Convert();
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, c.message);
        EXPECT_FALSE(QFileInfo::exists(catalog.Target()));  // as for any missing table, nothing made
    }
}

}  // namespace
