// Who holds a file: another process's descriptors, mappings and locks of every
// kind, under any of the file's names, found by the kernel's lease test or by
// the look through /proc; and the stream's refusal to cut a file in use.
#include "FileInUse.h"
#include "FileUtils.h"
#include "HolderProcess.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QThread>

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace FileUtils;

namespace {

bool Lock(int fd, int command, short type, off_t start, off_t length)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return ::fcntl(fd, command, &lock) == 0;
}

bool OpenOnly(int)
{
    return true;
}

bool MapAndClose(int fd)
{
    return ::mmap(nullptr, 4, PROT_READ, MAP_SHARED, fd, 0) != MAP_FAILED && ::close(fd) == 0;
}

// A lease holder must handle SIGIO: the check's open tells it to give the lease up.
bool TakeLease(int fd)
{
    std::signal(SIGIO, SIG_IGN);
    return ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
}

struct HoldCase {
    const char* name;
    bool (*hold)(int fd);
};

// The ways another program holds a file: SQLite's own lock bytes lie at 1 GiB.
const HoldCase kOpen{"open, nothing locked", OpenOnly};
const HoldCase kFlock{"flock", [](int fd) { return ::flock(fd, LOCK_SH) == 0; }};
const HoldCase kPosix{"POSIX read lock on SQLite's lock bytes",
                      [](int fd) { return Lock(fd, F_SETLK, F_RDLCK, 0x40000000, 1); }};
const HoldCase kOfd{"OFD write lock", [](int fd) { return Lock(fd, F_OFD_SETLK, F_WRLCK, 0, 0); }};
const HoldCase kMapping{"mapping after close", MapAndClose};
const HoldCase kLease{"lease", TakeLease};

const HoldCase kHoldCases[] = {kOpen, kFlock, kPosix, kOfd, kMapping, kLease};

QString NamedAfter(pid_t pid)
{
    return QString("(Prozess %1)").arg(pid);
}

// Descriptors of this process's own on a file. Two of them keep the lease
// test from deciding anything, so that the look through /proc alone must
// find another holder.
class OwnDescriptors {
public:
    OwnDescriptors(const QString& file, int count)
    {
        for (int i = 0; i < count; ++i) {
            FFds.push_back(::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            EXPECT_GE(FFds.back(), 0);
        }
    }
    ~OwnDescriptors()
    {
        for (const int fd : FFds)
            ::close(fd);
    }
    OwnDescriptors(const OwnDescriptors&) = delete;
    OwnDescriptors& operator=(const OwnDescriptors&) = delete;

    int First() const { return FFds.front(); }

private:
    std::vector<int> FFds;
};

// A shared mapping of a file's first bytes, for as long as it lives.
class Mapping {
public:
    explicit Mapping(int fd) : FAddress(::mmap(nullptr, kLength, PROT_READ, MAP_SHARED, fd, 0))
    {
        EXPECT_NE(FAddress, MAP_FAILED);
    }
    ~Mapping()
    {
        if (FAddress != MAP_FAILED)
            ::munmap(FAddress, kLength);
    }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

private:
    static constexpr std::size_t kLength = 4;
    void* FAddress;
};

// Runs check in a child process after prepare (which switches the user or the
// namespaces there) and brings its answer back; nothing when prepare failed.
std::optional<FileUse> CheckInChild(const std::function<bool()>& prepare, const std::function<FileUse()>& check)
{
    const std::optional<QByteArray> answer = RunInChild(prepare, [&] {
        const FileUse use = check();
        return QByteArray::number(use.ErrorCode) + '\n' + (use.Unverified ? "1" : "0") + '\n' + use.FileName.toUtf8()
               + '\n' + use.Holder.toUtf8();
    });
    if (!answer)
        return std::nullopt;
    const QByteArray& text = *answer;
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() != 4)
        return std::nullopt;
    FileUse use;
    use.ErrorCode = lines[0].toUInt();
    use.Unverified = lines[1] == "1";
    use.FileName = QString::fromUtf8(lines[2]);
    use.Holder = QString::fromUtf8(lines[3]);
    return use;
}

bool BecomeNobody()
{
    return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

bool WriteTo(const char* path, const QByteArray& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    const bool written = fd >= 0 && ::write(fd, text.constData(), std::size_t(text.size())) == text.size();
    if (fd >= 0)
        ::close(fd);
    return written;
}

// A user and mount namespace (no root needed where the system allows them)
// whose /proc is an empty tmpfs: no process, no lock list to look at.
bool HideProc()
{
    const QByteArray uid = QByteArray::number(::geteuid());
    const QByteArray gid = QByteArray::number(::getegid());
    return ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 && WriteTo("/proc/self/setgroups", "deny")
           && WriteTo("/proc/self/uid_map", "0 " + uid + " 1") && WriteTo("/proc/self/gid_map", "0 " + gid + " 1")
           && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
           && ::mount("none", "/proc", "tmpfs", 0, nullptr) == 0;
}

// A user namespace of this process's own: whatever it may do there, it has no privilege over
// the processes outside, root's included (no root needed where the system allows them).
bool OwnUserNamespace()
{
    const QByteArray uid = QByteArray::number(::geteuid());
    const QByteArray gid = QByteArray::number(::getegid());
    return ::unshare(CLONE_NEWUSER) == 0 && WriteTo("/proc/self/setgroups", "deny")
           && WriteTo("/proc/self/uid_map", "0 " + uid + " 1") && WriteTo("/proc/self/gid_map", "0 " + gid + " 1");
}

}  // namespace

// Once by the lease test, once by the look through /proc alone (while this
// process holds the file twice itself): every way of holding a file or one of
// its side files is seen, and the holding process is named.
TEST(FileInUse, EveryWayOfHoldingAFileOrItsSideFilesIsSeen)
{
    TempTree tree;
    const QString database = tree.WriteFile("Jazz-Music.sqlite");
    for (const int ownCount : {0, 2}) {
        for (const char* heldSuffix : {"", "-journal", "-wal", "-shm"}) {
            const QString held = tree.WriteFile(QString("Jazz-Music.sqlite") + heldSuffix);
            for (const HoldCase& c : kHoldCases) {
                // Nobody gets a lease on a file this process has open.
                if (ownCount > 0 && c.hold == TakeLease)
                    continue;
                SCOPED_TRACE(std::string(c.name) + " on " + held.toStdString() + " with own descriptors: "
                             + std::to_string(ownCount));
                const Holder holder(held, c.hold);
                const OwnDescriptors own(held, ownCount);
                const FileUse use = CheckDatabaseNotInUse(database);
                EXPECT_EQ(use.ErrorCode, 32u);
                EXPECT_EQ(use.FileName, held);
                EXPECT_TRUE(use.Holder.endsWith(NamedAfter(holder.Pid()))) << use.Holder.toStdString();
                EXPECT_TRUE(FileUseText(use).contains(held));
            }
            if (*heldSuffix)
                QFile::remove(held);
        }
    }
}

TEST(FileInUse, FileOpenedUnderAnotherNameIsSeen)
{
    TempTree tree;
    tree.MakeDir("daten");
    const QString database = tree.WriteFile("daten/Jazz-Music.sqlite");
    const QString symlink = tree.Link("Verweis.sqlite", database);
    const QString hardLink = tree.Path("Zweitname.sqlite");
    ASSERT_EQ(::link(QFile::encodeName(database).constData(), QFile::encodeName(hardLink).constData()), 0);

    for (const int ownCount : {0, 2}) {
        // Opened by the link's name, checked by the file's, and the other way round.
        for (const auto& [opened, checked] : {std::pair{symlink, database}, std::pair{database, symlink},
                                              std::pair{hardLink, database}, std::pair{database, hardLink}}) {
            SCOPED_TRACE(opened.toStdString() + " checked as " + checked.toStdString() + " with own descriptors: "
                         + std::to_string(ownCount));
            const Holder holder(opened, OpenOnly);
            const OwnDescriptors own(checked, ownCount);
            const FileUse use = CheckFileNotInUse(checked);
            EXPECT_EQ(use.ErrorCode, 32u);
            EXPECT_TRUE(use.Holder.endsWith(NamedAfter(holder.Pid()))) << use.Holder.toStdString();
        }
    }
}

TEST(FileInUse, FreeFilesAndThisProcesssOwnUseAreFree)
{
    TempTree tree;
    const QString database = tree.WriteFile("Jazz-Music.sqlite");
    const QString fifo = tree.Path("Warteschlange");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    // Where only /proc can tell (this process holds the file in more ways than
    // one), a user who cannot look into other users' processes is told that the
    // answer is unverified.
    struct Case {
        const char* name;
        bool byProcAlone;
        std::function<FileUse()> check;
    };
    const Case cases[] = {
        {"a file nobody holds", false, [&] { return CheckDatabaseNotInUse(database); }},
        {"a missing file", false, [&] { return CheckFileNotInUse(tree.Path("fehlt.sqlite")); }},
        {"a directory", false, [&] { return CheckFileNotInUse(tree.Root()); }},
        // An open of a FIFO without a writer would wait for one.
        {"a FIFO", false, [&] { return CheckFileNotInUse(fifo); }},
        {"one own descriptor", false,
         [&] {
             const OwnDescriptors own(database, 1);
             return CheckDatabaseNotInUse(database);
         }},
        {"own descriptors with flock, POSIX lock and mapping", true,
         [&] {
             const OwnDescriptors own(database, 2);
             EXPECT_EQ(::flock(own.First(), LOCK_SH), 0);
             EXPECT_TRUE(Lock(own.First(), F_SETLK, F_RDLCK, 0x40000000, 1));
             const Mapping mapping(own.First());
             return CheckDatabaseNotInUse(database);
         }},
        {"only a mapping of its own", true,
         [&] {
             std::optional<Mapping> mapping;
             {
                 const OwnDescriptors own(database, 1);
                 mapping.emplace(own.First());
             }
             return CheckDatabaseNotInUse(database);
         }},
        // Another program still reads the file the name led to before.
        {"a file replaced under a holder of the old one", false,
         [&] {
             const Holder holder(database, OpenOnly);
             const QString replacement = tree.WriteFile("neu.sqlite");
             EXPECT_EQ(::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(database).constData()), 0);
             return CheckDatabaseNotInUse(database);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FileUse use = c.check();
        EXPECT_EQ(use.ErrorCode, 0u);
        EXPECT_EQ(use.Unverified, c.byProcAlone && ::geteuid() != 0);
        EXPECT_EQ(FileUseText(use), QString());
    }
}

// As another user, without a lease (not the owner) and without a view into the
// owner's processes: every lock still shows, an open alone cannot be seen and
// is said so; the user's own processes are seen whichever way they hold it.
TEST(FileInUse, AnotherUsersFileIsCheckedThroughProcAlone)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to check as another user";
    TempTree tree;
    SetMode(tree.Root(), 0755);
    const QString database = tree.WriteFile("Jazz-Music.sqlite");
    SetMode(database, 0666);

    constexpr uid_t kRoot = uid_t(-1);
    constexpr uid_t kNobody = 65534;
    struct Case {
        HoldCase how;
        uid_t holderUser;
        std::uint32_t code;
        bool named;  // in use and the holder named, or free and said to be unverified
    };
    const Case cases[] = {
        {kOpen, kRoot, 0, false},   {kFlock, kRoot, 32, true},    {kPosix, kRoot, 32, true},
        {kOfd, kRoot, 32, false},   {kMapping, kRoot, 0, false},  {kLease, kRoot, 32, true},
        {kOpen, kNobody, 32, true}, {kFlock, kNobody, 32, true},  {kPosix, kNobody, 32, true},
        {kOfd, kNobody, 32, true},  {kMapping, kNobody, 32, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.how.name) + (c.holderUser == kRoot ? " by root" : " by nobody"));
        const Holder holder(database, c.how.hold, c.holderUser);
        const std::optional<FileUse> use = CheckInChild(BecomeNobody, [&] { return CheckDatabaseNotInUse(database); });
        ASSERT_TRUE(use.has_value());
        EXPECT_EQ(use->ErrorCode, c.code);
        if (c.code == 0) {
            EXPECT_TRUE(use->Unverified);
            EXPECT_TRUE(UnverifiedText(*use).contains(database)) << UnverifiedText(*use).toStdString();
        } else if (c.named) {
            EXPECT_TRUE(use->Holder.endsWith(NamedAfter(holder.Pid()))) << use->Holder.toStdString();
        }
    }
}

// A holder whose open files and mappings cannot be looked into (as another user's process
// cannot): the holder made itself undumpable, the check runs in a user namespace, so that not
// even root may look. Its locks still show in the lock list, by device and inode, and name it;
// an open alone is in use all the same (the lease is refused), without a name.
TEST(FileInUse, AHolderHiddenFromTheLookIsFoundThroughTheLockList)
{
    TempTree tree;
    const QString database = tree.WriteFile("Jazz-Music.sqlite");
    if (!CheckInChild(OwnUserNamespace, [] { return FileUse(); }))
        GTEST_SKIP() << "no user namespaces here";
    struct Case {
        HoldCase how;
        bool named;
    };
    const Case cases[] = {{kFlock, true}, {kPosix, true}, {kOfd, false}, {kOpen, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how.name);
        const Holder holder(database, [&](int fd) { return ::prctl(PR_SET_DUMPABLE, 0) == 0 && c.how.hold(fd); });
        const std::optional<FileUse> use =
            CheckInChild(OwnUserNamespace, [&] { return CheckDatabaseNotInUse(database); });
        ASSERT_TRUE(use.has_value());
        EXPECT_EQ(use->ErrorCode, 32u);
        EXPECT_EQ(use->FileName, database);
        if (c.named)
            EXPECT_TRUE(use->Holder.endsWith(NamedAfter(holder.Pid()))) << use->Holder.toStdString();
        else
            EXPECT_EQ(use->Holder, QString());
    }
}

// Without /proc, the lease test still sees a holder it cannot name; where only
// /proc could tell (this process holds the file twice itself), the file is
// free but said to be unverified.
TEST(FileInUse, WithoutProcOnlyTheLeaseTestCanTell)
{
    TempTree tree;
    const QString database = tree.WriteFile("Jazz-Music.sqlite");
    const QString held = tree.WriteFile("Klassik-Music.sqlite");
    const Holder holder(held, OpenOnly);
    if (!CheckInChild(HideProc, [] { return FileUse(); }))
        GTEST_SKIP() << "no user namespaces here";

    struct Case {
        const char* name;
        QString file;
        int ownCount;
        std::uint32_t code;
        bool unverified;
    };
    const Case cases[] = {
        {"held by another process", held, 0, 32, false},
        {"free", database, 0, 0, false},
        {"held once by this process", database, 1, 0, false},
        {"held twice by this process", database, 2, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<FileUse> use = CheckInChild(HideProc, [&] {
            const OwnDescriptors own(c.file, c.ownCount);
            return CheckFileNotInUse(c.file);
        });
        ASSERT_TRUE(use.has_value());
        EXPECT_EQ(use->ErrorCode, c.code);
        EXPECT_EQ(use->Holder, QString());
        EXPECT_EQ(use->Unverified, c.unverified);
        if (c.code != 0 || c.unverified) {
            EXPECT_EQ(use->FileName, c.file);
        }
    }
}

// Another process's open during the instant of the lease sends this process
// SIGIO, which would end it by default.
TEST(FileInUse, OpensDuringTheLeaseTestDoNotEndTheProcess)
{
    TempTree tree;
    const QString file = tree.WriteFile("Jazz-Music.sqlite");
    const QByteArray name = QFile::encodeName(file);
    const pid_t opener = ::fork();
    if (opener == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (;;) {
            const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
    }
    const std::optional<FileUse> use = CheckInChild(
        [] { return std::signal(SIGIO, SIG_DFL) != SIG_ERR; },
        [&] {
            FileUse last;
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
            while (std::chrono::steady_clock::now() < end)
                last = CheckFileNotInUse(file);
            return last;
        });
    ::kill(opener, SIGKILL);
    ::waitpid(opener, nullptr, 0);
    EXPECT_TRUE(use.has_value()) << "the checking process did not survive";
}

TEST(FileInUse, StreamRefusesToCutAFileAnotherProgramHolds)
{
    TempTree tree;
    const QString file = tree.WriteFile("Jazz-Music.sqlite", "alter Inhalt");
    for (const HoldCase& c : kHoldCases) {
        SCOPED_TRACE(c.name);
        // The stream's own open would wait for a lease holder to give up.
        if (c.hold == TakeLease)
            continue;
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

// The holder is named as the user knows it, also where the kernel keeps only the first 15
// bytes of its name: a program of a long name, and a script run by its interpreter.
TEST(FileInUse, HolderIsNamedInFull)
{
    TempTree tree;
    const QString database = tree.WriteFile("Jazz-Music.sqlite");
    const QString program = tree.Path("ein-sehr-langer-programmname");
    ASSERT_TRUE(QFile::copy("/bin/sh", program));
    SetMode(program, 0755);
    const QString script = tree.WriteFile("ein-langes-skript-mit-namen", "#!/bin/sh\nexec 3<\"$1\"\nread x\n");
    SetMode(script, 0755);
    struct Case {
        const char* name;
        QString program;
        QStringList arguments;
        const char* shown;
    } cases[] = {
        {"a program", program, {"-c", "exec 3<\"$0\"; read x", database}, "ein-sehr-langer-programmname"},
        {"a script", script, {database}, "ein-langes-skript-mit-namen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess holder;
        holder.start(c.program, c.arguments);
        ASSERT_TRUE(holder.waitForStarted());
        FileUse use;
        for (int look = 0; look < 500 && use.ErrorCode == 0; ++look) {
            QThread::msleep(10);
            use = CheckFileNotInUse(database);
        }
        EXPECT_EQ(use.Holder, QString("%1 (Prozess %2)").arg(c.shown).arg(holder.processId()));
        holder.closeWriteChannel();
        holder.waitForFinished();
    }
}
