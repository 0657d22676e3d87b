// Who holds a file (other processes' descriptors and every kind of lock), the stream's
// refusal to cut a file in use, and a staged file replacing its target with one rename.
#include "FileReplace.h"
#include "FileUtils.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace FileUtils;

namespace {

// A child process that holds a file in one way until it is destroyed.
class Holder {
public:
    // hold runs in the child on the open descriptor; the child then waits to be killed.
    Holder(const QString& file, const std::function<bool(int fd)>& hold)
    {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        FPid = ::fork();
        if (FPid == 0) {
            const int fd = ::open(QFile::encodeName(file).constData(), O_RDWR);
            const char ok = fd >= 0 && hold(fd) ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char ok = '0';
        EXPECT_EQ(::read(ready[0], &ok, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(ok, '1') << "the child could not hold " << file.toStdString();
    }
    ~Holder()
    {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
};

bool Lock(int fd, int command, short type, off_t start, off_t length)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return ::fcntl(fd, command, &lock) == 0;
}

struct HoldCase {
    const char* name;
    std::function<bool(int)> hold;
};

// The ways another program holds a file: SQLite's own lock bytes lie at 1 GiB.
const HoldCase kHoldCases[] = {
    {"open, nothing locked", [](int) { return true; }},
    {"flock", [](int fd) { return ::flock(fd, LOCK_SH) == 0; }},
    {"POSIX read lock on SQLite's lock bytes", [](int fd) { return Lock(fd, F_SETLK, F_RDLCK, 0x40000000, 1); }},
    {"OFD write lock", [](int fd) { return Lock(fd, F_OFD_SETLK, F_WRLCK, 0, 0); }},
};

}  // namespace

TEST(FileInUse, EveryWayOfHoldingAFileOrItsSideFilesIsSeen)
{
    TempTree tree;
    const QString database = tree.WriteFile("Jazz-Music.sqlite");
    EXPECT_EQ(CheckDatabaseNotInUse(database).ErrorCode, 0u);
    EXPECT_EQ(CheckDatabaseNotInUse(tree.Path("fehlt.sqlite")).ErrorCode, 0u);

    for (const char* heldSuffix : {"", "-journal", "-wal", "-shm"}) {
        const QString held = tree.WriteFile(QString("Jazz-Music.sqlite") + heldSuffix);
        for (const HoldCase& c : kHoldCases) {
            SCOPED_TRACE(std::string(c.name) + " on " + held.toStdString());
            const Holder holder(held, c.hold);
            const FileUse use = CheckDatabaseNotInUse(database);
            EXPECT_EQ(use.ErrorCode, 32u);
            EXPECT_EQ(use.FileName, held);
            // The open descriptor names the program; a lock alone may not.
            if (std::string(c.name).starts_with("open")) {
                EXPECT_TRUE(use.Holder.endsWith(QString("(Prozess %1)").arg(holder.Pid()))) << use.Holder.toStdString();
            }
        }
        if (*heldSuffix)
            QFile::remove(held);
    }
    // This process's own descriptors do not count: it is not another program.
    QFile own(database);
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    EXPECT_EQ(CheckFileNotInUse(database).ErrorCode, 0u);
}

// A user cannot look into another user's descriptors, but every lock shows.
TEST(FileInUse, LocksOfAnotherUsersProcessAreSeenToo)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to check as another user";
    TempTree tree;
    SetMode(tree.Root(), 0755);
    const QString database = tree.WriteFile("Jazz-Music.sqlite");
    SetMode(database, 0644);
    // The check as user "nobody", in a child: exit status 32 for "in use", 0 for free.
    const auto checkAsNobody = [&] {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
            ::_exit(int(CheckDatabaseNotInUse(database).ErrorCode));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    for (const HoldCase& c : kHoldCases) {
        SCOPED_TRACE(c.name);
        const Holder holder(database, c.hold);
        EXPECT_EQ(checkAsNobody(), std::string(c.name).starts_with("open") ? 0 : 32);
    }
}

TEST(FileInUse, StreamRefusesToCutAFileAnotherProgramHolds)
{
    TempTree tree;
    const QString file = tree.WriteFile("Jazz-Music.sqlite", "alter Inhalt");
    for (const HoldCase& c : kHoldCases) {
        SCOPED_TRACE(c.name);
        const Holder holder(file, c.hold);
        try {
            TExtFileStream stream(file, TExtFileStream::fmCreate);
            ADD_FAILURE() << "created over a file in use";
        } catch (const EExtFileStreamError& e) {
            EXPECT_EQ(e.ErrorCode, 32u);
        }
        EXPECT_EQ(ReadAll(file), "alter Inhalt");
    }
    // Free again, it is replaced as before.
    TExtFileStream stream(file, TExtFileStream::fmCreate);
    stream.Close();
    EXPECT_EQ(ReadAll(file), "");
}

TEST(StagedFile, CommitReplacesTheTargetWithOneRenameAndDropsItsSideFiles)
{
    TempTree tree;
    const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
    SetMode(target, 0440);
    // Left by a dead program, at rest: the journal zeroed, the WAL empty.
    tree.WriteFile("Jazz-Music.sqlite-journal", QByteArray(512, '\0'));
    tree.WriteFile("Jazz-Music.sqlite-wal", "");
    tree.WriteFile("Jazz-Music.sqlite-shm", "von einem toten Programm");

    TStagedFile staged(target);
    ASSERT_EQ(staged.Create(), 0u);
    const QString temp = staged.TempName();
    EXPECT_EQ(QFileInfo(temp).path(), tree.Root());
    EXPECT_TRUE(QFileInfo(temp).fileName().startsWith(".Jazz-Music.sqlite.kk-"));
    {
        QFile file(temp);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("neu");
    }
    EXPECT_EQ(ReadAll(target), "alt");  // untouched until the commit

    ASSERT_EQ(staged.Commit(), 0u);
    EXPECT_EQ(ReadAll(target), "neu");
    EXPECT_EQ(ModeOf(target), mode_t(0640));  // the old permissions, writable for the owner
    EXPECT_EQ(QDir(tree.Root()).entryList(QDir::Files | QDir::Hidden), QStringList{"Jazz-Music.sqlite"});
}

TEST(StagedFile, LinkStaysALinkAndTheFileItLeadsToIsReplaced)
{
    TempTree tree;
    tree.MakeDir("daten");
    const QString real = tree.WriteFile("daten/echt.sqlite", "alt");
    const QString link = tree.Link("Jazz-Music.sqlite", "daten/echt.sqlite");
    const QString dangling = tree.Link("Neu-Music.sqlite", "daten/neu.sqlite");

    for (const QString& name : {link, dangling}) {
        TStagedFile staged(name);
        ASSERT_EQ(staged.Create(), 0u);
        EXPECT_EQ(QFileInfo(staged.TempName()).path(), tree.Path("daten"));
        QFile file(staged.TempName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("neu");
        file.close();
        ASSERT_EQ(staged.Commit(), 0u);
        EXPECT_TRUE(QFileInfo(name).isSymLink());
        EXPECT_EQ(ReadAll(name), "neu");
    }
    EXPECT_EQ(ReadAll(real), "neu");
}

TEST(StagedFile, DebrisIsRemovedButALiveStagingRefusesASecondOne)
{
    TempTree tree;
    const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
    const QString debris = tree.WriteFile(".Jazz-Music.sqlite.kk-abcdef");
    tree.WriteFile(".Jazz-Music.sqlite.kk-abcdef-journal");
    const QString other = tree.WriteFile(".Klassik-Music.sqlite.kk-abcdef");

    TStagedFile first(target);
    ASSERT_EQ(first.Create(), 0u);
    EXPECT_FALSE(QFile::exists(debris));
    EXPECT_FALSE(QFile::exists(debris + "-journal"));
    EXPECT_TRUE(QFile::exists(other));  // another catalog's file is not ours to remove

    // Held by another process, the first staging is live.
    const Holder holder(first.TempName(), [](int) { return true; });
    TStagedFile second(target);
    EXPECT_EQ(second.Create(), 32u);
    EXPECT_TRUE(second.StagedElsewhere());
    EXPECT_TRUE(QFile::exists(first.TempName()));
}

TEST(StagedFile, CommitRefusedWhileTheTargetIsHeldLeavesIt)
{
    TempTree tree;
    const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
    TStagedFile staged(target);
    ASSERT_EQ(staged.Create(), 0u);
    const QString temp = staged.TempName();
    {
        const Holder holder(target, [](int) { return true; });
        EXPECT_EQ(staged.Commit(), 32u);
    }
    EXPECT_EQ(ReadAll(target), "alt");
    EXPECT_FALSE(QFile::exists(temp));
}

TEST(StagedFile, DiscardedOrDestroyedStagingLeavesNothing)
{
    TempTree tree;
    const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
    {
        TStagedFile staged(target);
        ASSERT_EQ(staged.Create(), 0u);
        tree.WriteFile(QFileInfo(staged.TempName()).fileName() + "-journal");
    }
    EXPECT_EQ(QDir(tree.Root()).entryList(QDir::Files | QDir::Hidden), QStringList{"Jazz-Music.sqlite"});
    EXPECT_EQ(ReadAll(target), "alt");
}
