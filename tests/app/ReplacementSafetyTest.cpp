// What a conversion that cannot finish leaves behind: an earlier catalog exactly as it was,
// its side files included, and a message that names the real cause; and what one that
// finishes leaves: every name SQLite takes converted, the old file's permissions and group.

#include "CatalogFixture.h"
#include "SafetySupport.h"
#include "util/FileUtils.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class ReplacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        catalog.WriteAlbums({AlbumRow(1, "Ella"), AlbumRow(2, "Louis")});
        catalog.WriteTitles({TitleRow(1, "Summertime"), TitleRow(2, "Hello, Dolly!")});
    }

    CliRun Convert(const QStringList& prefix = {}) { return RunCli({"--yes", catalog.Root(), "Jazz"}, prefix); }

    // Everything in the root directory, hidden files included.
    QStringList Entries() const
    {
        return QDir(catalog.Root()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    // An earlier catalog with a hot journal: a program died in the middle of a change to it.
    void MakeHotJournal()
    {
        ASSERT_EQ(Convert().exitCode, 0);
        SqliteShell shell(catalog.Target());
        ASSERT_TRUE(shell.Run("PRAGMA journal_mode=DELETE; PRAGMA cache_size=1; BEGIN; "
                              "INSERT INTO Alben (PNr, Interpret) VALUES (77, 'halb');"));
        shell.Kill();
        ASSERT_TRUE(QFile::exists(catalog.Target() + "-journal"));
    }

    static int Shell(const QString& command) { return std::system(command.toUtf8().constData()); }

    CatalogFixture catalog;
};

bool IsRoot()
{
    return ::geteuid() == 0;
}

}  // namespace

// A source table missing or broken: an earlier catalog stays as it was. A missing one is named
// before anything is made; after a failed transfer the message's last line says what stays.
TEST_F(ReplacementTest, FailedRunKeepsTheEarlierCatalog)
{
    ASSERT_EQ(Convert().exitCode, 0);
    const QByteArray earlier = FileDigest(catalog.Target());
    const QString titles = catalog.Path("Jazz-Titel.db");
    const QByteArray titleBytes = [&] {
        QFile file(titles);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    struct Case {
        const char* name;
        QByteArray titleTable;  // empty: missing
        const char* firstLine;
    } cases[] = {
        {"title table missing", QByteArray(), "Datei \"%1\" nicht gefunden!"},
        {"title table broken", titleBytes.left(2048) + QByteArray(4096, '\xff'), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(titles);
        if (!c.titleTable.isEmpty()) {
            QFile file(titles);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.titleTable);
        }
        const CliRun run = Convert();
        EXPECT_EQ(run.exitCode, 1);
        const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
        if (c.firstLine) {
            EXPECT_EQ(lines, QStringList{QString(c.firstLine).arg(titles)});
        } else {
            ASSERT_GE(lines.size(), 2) << run.err.toStdString();
            EXPECT_EQ(lines.last(), QString("Die bisherige Datei \"%1\" bleibt unverändert.").arg(catalog.Target()));
        }
        EXPECT_EQ(FileDigest(catalog.Target()), earlier);
        EXPECT_EQ(Entries().filter(".kk"), QStringList());
    }
}

// When the rename could not succeed, the conversion says why before it does any work (the
// title table is broken here, and that is not what it reports), and the earlier catalog keeps
// its hot journal, which any reader then rolls back.
TEST_F(ReplacementTest, ReplacementThatWouldFailIsRefusedBeforeTheWork)
{
    if (!IsRoot() || SqliteShellPath().isEmpty() || QStandardPaths::findExecutable("setpriv").isEmpty())
        GTEST_SKIP() << "needs root, setpriv and the sqlite3 shell";
    const QStringList asUser = {"setpriv", "--reuid=4002", "--regid=4002", "--clear-groups"};
    struct Case {
        const char* name;
        const char* setUp;
        QStringList prefix;
        const char* cause;
    } cases[] = {
        {"immutable catalog", "chattr +i Jazz-Music.sqlite", {}, "unveränderlich"},
        {"immutable folder", "chattr +i .", {}, "unveränderlich"},
        {"append-only folder", "chattr +a .", {}, "nur erweiterbar"},
        {"folder not writable", "chmod 0555 . && chmod 0666 Jazz-Music.sqlite*", asUser, "dürfen Sie keine Dateien"},
        {"sticky folder, another user's catalog", "chmod 1777 . && chown 4001 Jazz-Music.sqlite*", asUser,
         "Sticky-Bit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(catalog.Target());
        MakeHotJournal();
        {
            QFile titles(catalog.Path("Jazz-Titel.db"));
            ASSERT_TRUE(titles.open(QIODevice::WriteOnly));
            titles.write("keine Paradox-Tabelle");
        }
        const QByteArray earlier = FileDigest(catalog.Target());
        const QByteArray journal = FileDigest(catalog.Target() + "-journal");
        ASSERT_EQ(Shell(QString("chmod 0755 '%1'").arg(catalog.Root())), 0);
        if (Shell(QString("cd '%1' && %2").arg(catalog.Root(), c.setUp)) != 0)
            GTEST_SKIP() << "the file system takes no flags here";

        const CliRun run = Convert(c.prefix);
        Shell(QString("cd '%1' && chattr -i -a . Jazz-Music.sqlite 2>/dev/null; chmod 0755 .").arg(catalog.Root()));

        EXPECT_EQ(run.exitCode, 1);
        const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << run.err.toStdString();
        EXPECT_EQ(lines[0], "Es konnte keine neue SQLite-Datenbank angelegt werden!");
        EXPECT_TRUE(lines[1].contains(c.cause)) << lines[1].toStdString();
        EXPECT_EQ(FileDigest(catalog.Target()), earlier);
        EXPECT_EQ(FileDigest(catalog.Target() + "-journal"), journal);
        EXPECT_EQ(Query(catalog.Target(), "PRAGMA integrity_check")[0][0].toString(), "ok");
        EXPECT_EQ(Query(catalog.Target(), "SELECT count(*) FROM Alben")[0][0].toInt(), 2);
        catalog.WriteTitles({TitleRow(1, "Summertime")});
    }
}

// A hot journal beside the earlier catalog belongs to it; whether it is the catalog's own (a
// program died in the middle of a change) or a foreign one cannot be told, so it is never
// played back here. A run that fails leaves the catalog and its journal exactly as they were
// (the next reader rolls the change back); one that succeeds replaces the catalog, and nothing
// of the journal reaches the new one.
TEST_F(ReplacementTest, HotJournalOfTheEarlierCatalogStaysWithItUnlessItIsReplaced)
{
    if (SqliteShellPath().isEmpty())
        GTEST_SKIP() << "the sqlite3 shell is not installed";
    MakeHotJournal();
    const QByteArray earlier = FileDigest(catalog.Target());
    const QByteArray journal = FileDigest(catalog.Target() + "-journal");
    const QString titles = catalog.Path("Jazz-Titel.db");
    ASSERT_TRUE(QFile::rename(titles, titles + ".weg"));
    const CliRun failed = Convert();
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(FileDigest(catalog.Target()), earlier);
    EXPECT_EQ(FileDigest(catalog.Target() + "-journal"), journal);
    EXPECT_EQ(Entries().filter("Music"), (QStringList{"Jazz-Music.sqlite", "Jazz-Music.sqlite-journal"}));

    ASSERT_TRUE(QFile::rename(titles + ".weg", titles));
    const CliRun run = Convert();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Entries().filter("Music"), QStringList{"Jazz-Music.sqlite"});
    EXPECT_EQ(Query(catalog.Target(), "SELECT PNr FROM Alben ORDER BY PNr"), (std::vector<QVariantList>{{1}, {2}}));
}

// Every catalog name and path that the file system and SQLite take converts, and replaces an
// earlier catalog; a name the file system does not take is refused with its reason.
TEST_F(ReplacementTest, LongNamesAndPathsConvert)
{
    const auto useCatalog = [&](const QString& root, const QString& name) {
        for (const char* suffix : {"-Album.db", "-Titel.db"}) {
            QFile::remove(root + name + suffix);
            ASSERT_TRUE(QFile::copy(catalog.Path(QString("Jazz") + suffix), root + name + suffix));
        }
    };
    for (const int length : {224, 231, 232, 242, 243}) {
        SCOPED_TRACE(length);
        const QString name(length, QLatin1Char('k'));
        useCatalog(catalog.Root(), name);
        for (int run = 0; run < 2; ++run) {
            const CliRun result = RunCli({"--yes", catalog.Root(), name});
            if (length + 13 > 255) {
                EXPECT_EQ(result.exitCode, 1);
                EXPECT_TRUE(result.err.contains("ist zu lang")) << result.err.toStdString();
                EXPECT_EQ(Entries().filter(name), (QStringList{name + "-Album.db", name + "-Titel.db"}));
                break;
            }
            ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
            EXPECT_EQ(Query(catalog.Target(name), "SELECT count(*) FROM Titel")[0][0].toInt(), 2);
        }
        EXPECT_EQ(Entries().filter(".kk"), QStringList());
    }

    // Paths of 494 and 504 bytes: the longest SQLite opens.
    QString deep = catalog.Root();
    while (QFile::encodeName(deep).size() < 420)
        deep += QString(40, QLatin1Char('d')) + u'/';
    ASSERT_TRUE(QDir().mkpath(deep));
    for (const int pathLength : {494, 504}) {
        SCOPED_TRACE(pathLength);
        const QString name(pathLength - int(QFile::encodeName(deep).size()) - 13, QLatin1Char('p'));
        useCatalog(deep, name);
        for (int run = 0; run < 2; ++run) {
            const CliRun result = RunCli({"--yes", deep, name});
            ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
        }
        ASSERT_EQ(QFile::encodeName(deep + name + "-Music.sqlite").size(), pathLength);
        EXPECT_EQ(Query(deep + name + "-Music.sqlite", "SELECT count(*) FROM Alben")[0][0].toInt(), 2);
    }
}

// The new catalog keeps the earlier one's permissions and group, and its owner where the
// converter may give it (root); a user of the group converting keeps the group's rights. A
// user who is no member of the group cannot give the new catalog that group: the rights meant
// for it go to no other group.
TEST_F(ReplacementTest, PermissionsAndGroupOfTheEarlierCatalogStay)
{
    if (!IsRoot() || QStandardPaths::findExecutable("setpriv").isEmpty())
        GTEST_SKIP() << "needs root and setpriv to act as members of a group";
    struct Case {
        const char* name;
        QStringList prefix;
        const char* folderMode;
        uid_t owner;
        gid_t group;
        mode_t mode;
    } cases[] = {
        {"root", {}, "0775", 4001, 5000, 0664},
        {"a member of the group", {"setpriv", "--reuid=4002", "--regid=4002", "--groups=5000"}, "0775", 4002, 5000,
         0664},
        {"no member of the group", {"setpriv", "--reuid=4002", "--regid=4002", "--clear-groups"}, "0777", 4002, 4002,
         0604},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(catalog.Target());
        ASSERT_EQ(Convert().exitCode, 0);
        ASSERT_EQ(Shell(QString("cd '%1' && chown root:5000 . && chmod %2 . && chown 4001:5000 Jazz-Music.sqlite "
                                "&& chmod 0664 Jazz-Music.sqlite")
                            .arg(catalog.Root(), c.folderMode)),
                  0);
        const CliRun run = Convert(c.prefix);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(catalog.Target()).constData(), &st), 0);
        EXPECT_EQ(st.st_uid, c.owner);
        EXPECT_EQ(st.st_gid, c.group);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
    }
}

// Where nobody can be seen holding the catalog (another user's file, other programs' open
// files hidden), the conversion goes through and says that it could not check.
TEST_F(ReplacementTest, UncheckableCatalogConvertsWithAWarning)
{
    if (!IsRoot() || QStandardPaths::findExecutable("setpriv").isEmpty()
        || QProcess::execute("unshare", {"-m", "true"}) != 0)
        GTEST_SKIP() << "needs root, setpriv and unshare";
    ASSERT_EQ(Convert().exitCode, 0);
    ASSERT_EQ(Shell(QString("chmod 0777 '%1' && chown 4001 '%2' && chmod 0666 '%2'").arg(catalog.Root(), catalog.Target())),
              0);
    struct Case {
        const char* name;
        const char* user;
        bool warned;
    } cases[] = {
        {"the catalog's owner", "--reuid=4001", false},
        {"another user, /proc hidden", "--reuid=4002", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun run = RunCli(
            {"--yes", catalog.Root(), "Jazz"},
            {"unshare", "-m", "--propagation", "private", "sh", "-c",
             QString("mount -t proc -o hidepid=2 proc /proc && exec setpriv %1 --regid=4002 --clear-groups \"$0\" \"$@\"")
                 .arg(c.user)});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.err.contains(QString("Warnung: Ob \"%1\" von einem anderen Programm benutzt wird").arg(catalog.Target())),
                  c.warned)
            << run.err.toStdString();
        EXPECT_EQ(Query(catalog.Target(), "SELECT count(*) FROM Alben")[0][0].toInt(), 2);
    }
}

// A catalog file name that is a link says where it leads before anything is written, also
// when nothing is there yet (the catalog would be made there). In a sticky folder that
// everybody may write, another user's link is not followed at all, not even by root.
TEST_F(ReplacementTest, LinksAsTheCatalogFile)
{
    const QString elsewhere = catalog.Path("woanders");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    struct Case {
        const char* name;
        const char* leadsTo;  // in elsewhere
        uid_t owner;          // of the link (0: this user's own)
        bool sticky;
    } cases[] = {
        {"a dangling link", "neu.sqlite", 0, false},
        {"another user's link in a shared folder", "neu.sqlite", 4001, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.owner != 0 && !IsRoot())
            GTEST_SKIP() << "needs root to plant another user's link";
        const QString target = elsewhere + '/' + c.leadsTo;
        QFile::remove(catalog.Target());
        ASSERT_TRUE(QFile::link(target, catalog.Target()));
        if (c.owner != 0)
            ASSERT_EQ(::lchown(QFile::encodeName(catalog.Target()).constData(), c.owner, c.owner), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(catalog.Root()).constData(), c.sticky ? 01777 : 0755), 0);
        // The question's last line, or the refusal's cause.
        const QString line =
            c.owner == 0 ? QString("Sie ist eine Verknüpfung zu \"%1\", das es nicht gibt; die Datei wird dort angelegt.")
                               .arg(target)
                         : QString("Die Verknüpfung \"%1\" liegt im Verzeichnis \"%2\"")
                               .arg(catalog.Target(), catalog.Root().chopped(1));

        const CliRun asked = RunCli({catalog.Root(), "Jazz"});
        const CliRun yes = Convert();
        ::chmod(QFile::encodeName(catalog.Root()).constData(), 0755);
        if (c.owner == 0) {
            EXPECT_EQ(asked.exitCode, 3);
            const QString question = QString("Die Datei \"%1\" gibt es bereits!\nSoll sie überschrieben werden?\n%2\n")
                                         .arg(catalog.Target(), line);
            EXPECT_TRUE(asked.err.startsWith(question)) << asked.err.toStdString();
            EXPECT_EQ(yes.exitCode, 0) << yes.err.toStdString();
            EXPECT_EQ(Query(target, "SELECT count(*) FROM Alben")[0][0].toInt(), 2);
            EXPECT_TRUE(QFileInfo(catalog.Target()).isSymLink());
        } else {
            EXPECT_EQ(asked.exitCode, 3);
            EXPECT_EQ(yes.exitCode, 1);
            EXPECT_TRUE(yes.err.contains(line)) << yes.err.toStdString();
            EXPECT_FALSE(QFile::exists(target));
        }
        EXPECT_EQ(QDir(elsewhere).entryList(QDir::Files | QDir::Hidden).filter(".kk"), QStringList());
        QFile::remove(target);
    }
}

// A rename that the system refuses at the very end, after the whole transfer (a file mounted
// on the catalog: EBUSY), is reported with the system's own reason, and the message says that
// the earlier catalog stays as it was.
TEST_F(ReplacementTest, RenameRefusedAtTheEndSaysWhyAndKeepsTheEarlierCatalog)
{
    if (!IsRoot() || QProcess::execute("unshare", {"-m", "true"}) != 0)
        GTEST_SKIP() << "needs root and unshare";
    ASSERT_EQ(Convert().exitCode, 0);
    const QByteArray earlier = FileDigest(catalog.Target());
    const CliRun run = RunCli({"--yes", catalog.Root(), "Jazz"},
                              {"unshare", "-m", "--propagation", "private", "sh", "-c",
                               "mount --bind \"$2/Jazz-Music.sqlite\" \"$2/Jazz-Music.sqlite\" && exec \"$0\" \"$@\""});
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << run.err.toStdString();
    EXPECT_EQ(lines[0], "Es konnte keine neue SQLite-Datenbank angelegt werden!");
    EXPECT_EQ(lines[1], QString("Die Datei \"%1\" kann nicht ersetzt werden: %2.")
                            .arg(catalog.Target(), FileUtils::SystemErrorText(FileUtils::kSystemErrnoFlag | EBUSY)));
    EXPECT_EQ(lines[2], QString("Die bisherige Datei \"%1\" bleibt unverändert.").arg(catalog.Target()));
    EXPECT_EQ(FileDigest(catalog.Target()), earlier);
    EXPECT_EQ(Entries().filter("Music"), QStringList{"Jazz-Music.sqlite"});
}
