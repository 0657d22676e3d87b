// A staged file refuses, before anything changes, what its commit could not finish, and a
// refused or failed replacement leaves the old file and its side files exactly as they were.
#include "FileReplace.h"
#include "FileUtils.h"
#include "HolderProcess.h"
#include "SyncTrace.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>
#include <map>
#include <optional>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FileUtils;

namespace {

QStringList Entries(const TempTree& tree)
{
    return QDir(tree.Root()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

void WriteInto(const QString& file, const QByteArray& content)
{
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(content);
}

// A journal as SQLite starts it: its magic number, then the rest of a header.
const QByteArray kLiveJournal = QByteArray("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8) + QByteArray(504, '\1');

}  // namespace

namespace {

// What lies in the folder of a staging: every name with its content.
std::map<QString, QByteArray> Contents(const TempTree& tree)
{
    std::map<QString, QByteArray> contents;
    for (const QString& name : Entries(tree))
        contents[name] = ReadAll(tree.Path(name));
    return contents;
}

// An old file with side files of every kind: a journal that a reader would play back, a WAL
// and its index.
std::map<QString, QByteArray> OldFileWithSideFiles(const TempTree& tree)
{
    tree.WriteFile("Jazz-Music.sqlite", "alt");
    tree.WriteFile("Jazz-Music.sqlite-journal", kLiveJournal);
    tree.WriteFile("Jazz-Music.sqlite-wal", QByteArray(4152, 'w'));
    tree.WriteFile("Jazz-Music.sqlite-shm", QByteArray(32768, 's'));
    return Contents(tree);
}

// Stages TARGET in a child process after PREPARE (which switches the user or the namespaces
// there), writes "neu" and commits: the error code, a blank and the cause.
QByteArray ReplacedInChild(const std::function<bool()>& prepare, const QString& target)
{
    return RunInChild(prepare,
                      [&] {
                          TStagedFile staged(target);
                          std::uint32_t code = staged.Create();
                          if (code == 0) {
                              WriteInto(staged.TempName(), "neu");
                              code = staged.Commit();
                          }
                          return QByteArray::number(code) + ' ' + staged.FailureCause().toUtf8();
                      })
        .value_or("the child failed");
}

// The same as USER (0: root), with the group of that number and no other.
QByteArray ReplacedAs(uid_t user, const QString& target)
{
    return ReplacedInChild(
        [&] { return user == 0 || (::setgroups(0, nullptr) == 0 && ::setgid(user) == 0 && ::setuid(user) == 0); },
        target);
}

// Runs a staging of target that writes "neu" and commits, in a child process that is killed
// (SIGKILL) right after its STEPth rename or removal of a file; true when it was.
bool CommitKilledAfterStep(const QString& target, int step)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        TStagedFile staged(target);
        if (staged.Create() != 0)
            ::_exit(2);
        WriteInto(staged.TempName(), "neu");
        int seen = 0;
        const SyncTrace trace([&](const SyncCall& call) {
            if ((call.kind == SyncCall::Kind::Rename || call.kind == SyncCall::Kind::Remove) && ++seen == step)
                ::raise(SIGKILL);
        });
        ::_exit(staged.Commit() == 0 ? 0 : 3);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    return WIFSIGNALED(status);
}

}  // namespace

// The old file is never written to, and its side files (whatever they hold: SQLite would apply
// them to any file of that name) go aside just before the rename and are removed after it.
// Killed after any step of the commit, the folder holds the old file with its side files, as
// they were, or the new file alone, once the next staging of the file has run; nothing else.
TEST(StagedFile, KillAtAnyStepOfTheCommitLeavesTheOldFileWithItsSideFilesOrTheNewOneAlone)
{
    for (int step = 1;; ++step) {
        SCOPED_TRACE(step);
        TempTree tree;
        const std::map<QString, QByteArray> before = OldFileWithSideFiles(tree);
        const QString target = tree.Path("Jazz-Music.sqlite");
        const bool killed = CommitKilledAfterStep(target, step);
        {
            TStagedFile next(target);
            ASSERT_EQ(next.Create(), 0u) << next.FailureCause().toStdString();
        }
        if (ReadAll(target) == "alt")
            EXPECT_EQ(Contents(tree), before);
        else
            EXPECT_EQ(Contents(tree), (std::map<QString, QByteArray>{{"Jazz-Music.sqlite", "neu"}}));
        if (!killed) {
            EXPECT_EQ(ReadAll(target), "neu");
            EXPECT_GT(step, 4) << "three side files aside, the rename, their removal";
            break;
        }
    }
}

// A rename the system refuses at the last moment (a file mounted on the target: EBUSY) leaves
// the old file and its side files exactly as they were, and the message gives the system's
// own reason.
TEST(StagedFile, RefusedRenamePutsTheSideFilesBack)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount";
    TempTree tree;
    const std::map<QString, QByteArray> before = OldFileWithSideFiles(tree);
    const QString target = tree.Path("Jazz-Music.sqlite");
    const QByteArray answer = ReplacedInChild(
        [&] {
            return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
                   && ::mount(QFile::encodeName(target).constData(), QFile::encodeName(target).constData(), nullptr,
                              MS_BIND, nullptr) == 0;
        },
        target);
    ASSERT_NE(answer, "the child failed") << "no mount namespace here";
    EXPECT_EQ(answer.split(' ').value(0).toUInt(), kSystemErrnoFlag | EBUSY) << answer.toStdString();
    const QString reason = SystemErrorText(kSystemErrnoFlag | EBUSY);
    EXPECT_TRUE(answer.contains(QString("\"%1\" kann nicht ersetzt werden: %2.").arg(target, reason).toUtf8()))
        << answer.toStdString();
    EXPECT_FALSE(answer.contains("angeschlossenes Gerät")) << answer.toStdString();
    EXPECT_EQ(Contents(tree), before);
}

// Side files that a killed staging left aside (killed right after moving the journal) go back
// only to the file they belong to: not to another one that took its place meanwhile (made
// after it was removed, which may well get its inode number), and not over a new side file,
// which stops the staging with its reason.
TEST(StagedFile, SideFilesLeftAsideGoBackOnlyToTheirOwnFile)
{
    struct Case {
        const char* name;
        bool replaced;
        bool newJournal;
    } cases[] = {
        {"the file in its place", false, false},
        {"another file in its place", true, false},
        {"a new journal in the way", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
        tree.WriteFile("Jazz-Music.sqlite-journal", kLiveJournal);
        ASSERT_TRUE(CommitKilledAfterStep(target, 1));
        const QStringList aside = Entries(tree).filter("-aside-");
        ASSERT_EQ(aside.size(), 1) << Entries(tree).join(' ').toStdString();
        if (c.replaced) {
            ASSERT_TRUE(QFile::remove(target));
            tree.WriteFile("Jazz-Music.sqlite", "andere");
        }
        if (c.newJournal)
            tree.WriteFile("Jazz-Music.sqlite-journal", "neu");

        TStagedFile staged(target);
        const std::uint32_t code = staged.Create();
        if (c.newJournal) {
            EXPECT_EQ(code, 80u);
            EXPECT_TRUE(staged.FailureCause().contains(tree.Path(aside[0]))) << staged.FailureCause().toStdString();
            EXPECT_EQ(ReadAll(tree.Path(aside[0])), kLiveJournal);
            continue;
        }
        ASSERT_EQ(code, 0u) << staged.FailureCause().toStdString();
        staged.Discard();
        if (c.replaced)
            EXPECT_EQ(Contents(tree), (std::map<QString, QByteArray>{{"Jazz-Music.sqlite", "andere"}}));
        else
            EXPECT_EQ(Contents(tree), (std::map<QString, QByteArray>{{"Jazz-Music.sqlite", "alt"},
                                                                     {"Jazz-Music.sqlite-journal", kLiveJournal}}));
    }
}

// A commit never publishes data that is still only in the cache: the new file is synced to the
// disk before the rename puts it in place, and the folder after it, so that the rename itself
// lasts. Side files moved aside are on the disk under their hidden names before the rename, so
// that no crash can leave them beside the new file. For a first version, a replacement, and
// one with side files.
TEST(StagedFile, CommitSyncsTheDataBeforeTheRenameAndTheFolderAfter)
{
    for (const int old : {0, 1, 2}) {
        SCOPED_TRACE(old == 0 ? "a new file" : old == 1 ? "replacing a file" : "replacing a file with side files");
        TempTree tree;
        const QString folder = QFileInfo(tree.Root()).canonicalFilePath();
        const QString target = folder + "/Jazz-Music.sqlite";
        if (old > 0)
            WriteInto(target, "alt");
        if (old > 1)
            WriteInto(target + "-journal", kLiveJournal);
        TStagedFile staged(target);
        ASSERT_EQ(staged.Create(), 0u) << staged.FailureCause().toStdString();
        WriteInto(staged.TempName(), "neu");
        const QString temp = QFileInfo(staged.TempName()).canonicalFilePath();

        std::vector<SyncCall> calls;
        {
            const SyncTrace trace;
            ASSERT_EQ(staged.Commit(), 0u) << staged.FailureCause().toStdString();
            calls = trace.Calls();
        }
        EXPECT_EQ(ReadAll(target), "neu");
        const std::string seen = CallsText(calls);
        const auto rename = std::find_if(calls.begin(), calls.end(), [&](const SyncCall& call) {
            return call.kind == SyncCall::Kind::Rename && call.path == temp && call.to == target;
        });
        ASSERT_NE(rename, calls.end()) << seen;
        const auto synced = [](const QString& path) {
            return [path](const SyncCall& call) { return call.kind == SyncCall::Kind::Sync && call.path == path; };
        };
        EXPECT_TRUE(std::any_of(calls.begin(), rename, synced(temp))) << "the data is not synced before the rename:\n"
                                                                      << seen;
        EXPECT_TRUE(std::any_of(rename, calls.end(), synced(folder))) << "the folder is not synced after the rename:\n"
                                                                      << seen;
        if (old > 1) {
            const auto aside = std::find_if(calls.begin(), rename, [&](const SyncCall& call) {
                return call.kind == SyncCall::Kind::Rename && call.path == target + "-journal";
            });
            ASSERT_NE(aside, rename) << "the journal is not moved aside before the rename:\n" << seen;
            EXPECT_TRUE(std::any_of(aside, rename, synced(folder)))
                << "the folder is not synced between the moves:\n" << seen;
            EXPECT_TRUE(std::any_of(rename, calls.end(), [&](const SyncCall& call) {
                return call.kind == SyncCall::Kind::Remove && call.path == aside->to;
            })) << "the journal moved aside is not removed after the rename:\n" << seen;
        }
    }
}

// The temporary file never lets anybody read more than the old file did; the new file gets
// the old bits, with the owner's write permission added unless the rule keeps them exactly.
TEST(StagedFile, PermissionsFollowTheOldFileFromTheStart)
{
    struct Case {
        const char* name;
        mode_t old;
        TStagedFile::ModeRule rule;
        mode_t whileStaged;
        mode_t committed;
    } cases[] = {
        {"private", 0600, TStagedFile::ModeRule::KeepWritable, 0600, 0600},
        {"read-only, made writable", 0444, TStagedFile::ModeRule::KeepWritable, 0644, 0644},
        {"read-only, kept", 0444, TStagedFile::ModeRule::Keep, 0644, 0444},
        {"group may write", 0660, TStagedFile::ModeRule::Keep, 0660, 0660},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
        SetMode(target, c.old);
        TStagedFile staged(target, c.rule);
        ASSERT_EQ(staged.Create(), 0u);
        EXPECT_EQ(ModeOf(staged.TempName()) & 07777, c.whileStaged);
        ASSERT_EQ(staged.Commit(), 0u);
        EXPECT_EQ(ModeOf(target) & 07777, c.committed);
    }
}

// A name that is no regular file, or leads to none, is never replaced, and nothing is made
// beside it.
TEST(StagedFile, TargetThatIsNoRegularFileIsRefusedBeforeAnythingChanges)
{
    TempTree tree;
    ASSERT_EQ(::mkfifo(QFile::encodeName(tree.Path("fifo.sqlite")).constData(), 0644), 0);
    tree.MakeDir("ordner.sqlite");
    tree.Link("null.sqlite", "/dev/null");
    tree.Link("zum-ordner.sqlite", "ordner.sqlite");
    const QStringList before = Entries(tree);
    for (const char* name : {"fifo.sqlite", "ordner.sqlite", "null.sqlite", "zum-ordner.sqlite"}) {
        SCOPED_TRACE(name);
        TStagedFile staged(tree.Path(name));
        EXPECT_EQ(staged.Create(), 5u);
        EXPECT_TRUE(staged.FailureCause().contains(tree.Path(name))) << staged.FailureCause().toStdString();
        EXPECT_TRUE(staged.TempName().isEmpty());
    }
    EXPECT_EQ(Entries(tree), before);
    EXPECT_TRUE(QDir("/dev").entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name).filter(".kk").isEmpty());
}

// Every name the file system takes can be staged, with room for SQLite's "-journal" beside the
// temporary file; a longer one is refused with its reason.
TEST(StagedFile, LongNamesGetATemporaryNameWithRoomForTheJournal)
{
    for (const int length : {200, 236, 237, 247, 255, 256}) {
        SCOPED_TRACE(length);
        TempTree tree;
        const QString target = tree.Path(QString(length, 'x'));
        TStagedFile staged(target);
        if (length > 255) {
            EXPECT_EQ(staged.Create(), 206u);
            EXPECT_TRUE(staged.FailureCause().contains("zu lang"));
            EXPECT_TRUE(Entries(tree).isEmpty());
            continue;
        }
        ASSERT_EQ(staged.Create(), 0u) << staged.FailureCause().toStdString();
        const QString tempName = QFileInfo(staged.TempName()).fileName();
        EXPECT_LE(tempName.size() + 8, 255);
        WriteInto(staged.TempName() + "-journal", "j");  // SQLite's journal fits
        EXPECT_TRUE(QFile::exists(staged.TempName() + "-journal"));
        ASSERT_EQ(staged.Commit(), 0u);
        EXPECT_EQ(Entries(tree), QStringList{QString(length, 'x')});
    }
}

// A staging that cannot rename in the end finds that out first: a folder that takes no new
// file (checked as another user), a sticky folder where the file is another user's, and the
// immutable and append-only flags of the file and of the folder.
TEST(StagedFile, ReplacementThatCouldNotSucceedIsRefusedAtTheStart)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as other users and set file flags";
    struct Case {
        const char* name;
        const char* setUp;  // shell commands in the folder, as root
        uid_t user;         // who stages
        const char* cause;
    } cases[] = {
        {"folder not writable", "chmod 0555 .; chmod 0666 Jazz-Music.sqlite", 4002, "dürfen Sie keine Dateien"},
        {"sticky folder, another user's file", "chmod 1777 .; chown 4001 Jazz-Music.sqlite", 4002, "Sticky-Bit"},
        {"immutable file", "chattr +i Jazz-Music.sqlite", 0, "unveränderlich"},
        {"append-only folder", "chattr +a .", 0, "nur erweiterbar"},
        {"immutable folder", "chattr +i .", 0, "unveränderlich"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
        const QString journal = tree.WriteFile("Jazz-Music.sqlite-journal", kLiveJournal);
        ::chmod(QFile::encodeName(tree.Root()).constData(), 0755);
        const QString setUp = QString("cd '%1' && %2").arg(tree.Root(), c.setUp);
        if (std::system(setUp.toUtf8().constData()) != 0)
            GTEST_SKIP() << "the file system takes no flags here: " << c.setUp;

        // Staged in a child, so that it can take another user's rights.
        const QByteArray answer = RunInChild(
                                      [&] { return c.user == 0 || (::setgid(c.user) == 0 && ::setuid(c.user) == 0); },
                                      [&] {
                                          TStagedFile staged(target);
                                          const std::uint32_t code = staged.Create();
                                          return QByteArray::number(code) + ' ' + staged.FailureCause().toUtf8();
                                      })
                                      .value_or("the child failed");
        std::system(QString("cd '%1' && chattr -i -a . Jazz-Music.sqlite 2>/dev/null; chmod 0755 .")
                        .arg(tree.Root())
                        .toUtf8()
                        .constData());

        EXPECT_TRUE(answer.startsWith("5 ")) << answer.toStdString();
        EXPECT_TRUE(QString::fromUtf8(answer).contains(QString::fromUtf8(c.cause))) << answer.toStdString();
        EXPECT_EQ(ReadAll(target), "alt");
        EXPECT_EQ(ReadAll(journal), kLiveJournal);
        EXPECT_EQ(Entries(tree), (QStringList{"Jazz-Music.sqlite", "Jazz-Music.sqlite-journal"}));
    }
}

// In a sticky folder that everybody may write (/tmp), a link is followed only when it belongs
// to the user who runs the program or to the folder's owner, whatever the system's
// protected_symlinks setting: another user could have planted it there to have the file it
// leads to replaced, or made. A refusal changes nothing, there or where the link leads.
TEST(StagedFile, LinksInSharedFoldersAreFollowedOnlyWhereTheKernelWould)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as other users";
    struct Case {
        const char* name;
        mode_t folderMode;
        uid_t folderOwner;
        uid_t linkOwner;
        uid_t user;  // who stages
        bool dangling;
        bool followed;
    } cases[] = {
        {"another user's link", 01777, 0, 4001, 0, false, false},
        {"another user's dangling link", 01777, 0, 4001, 0, true, false},
        {"the user's own link", 01777, 0, 4002, 4002, false, true},
        {"the folder owner's link", 01777, 4001, 4001, 4002, false, true},
        {"a sticky folder only some may write", 01775, 0, 4001, 0, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        ::chmod(QFile::encodeName(tree.Root()).constData(), 0755);
        const QString elsewhere = tree.MakeDir("woanders");
        ::chmod(QFile::encodeName(elsewhere).constData(), 0777);
        const QString real = c.dangling ? tree.Path("woanders/neu.sqlite") : tree.WriteFile("woanders/echt.sqlite", "alt");
        ::chmod(QFile::encodeName(real).constData(), 0666);
        const QString shared = tree.MakeDir("geteilt");
        const QString link = tree.Link("geteilt/Jazz-Music.sqlite", real);
        ASSERT_EQ(::lchown(QFile::encodeName(link).constData(), c.linkOwner, c.linkOwner), 0);
        ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), c.folderOwner, c.folderOwner), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), c.folderMode), 0);

        const QByteArray answer = ReplacedAs(c.user, link);
        if (c.followed) {
            EXPECT_EQ(answer, "0 ");
            EXPECT_EQ(ReadAll(real), "neu");
            continue;
        }
        EXPECT_TRUE(answer.startsWith("5 ")) << answer.toStdString();
        EXPECT_TRUE(answer.contains(QString("Die Verknüpfung \"%1\" liegt im Verzeichnis \"%2\"").arg(link, shared).toUtf8()))
            << answer.toStdString();
        EXPECT_EQ(EntryExists(real), !c.dangling);
        if (!c.dangling)
            EXPECT_EQ(ReadAll(real), "alt");
        EXPECT_EQ(QDir(elsewhere).entryList(QDir::Files | QDir::Hidden).size(), c.dangling ? 0 : 1);
    }
}

namespace {

QByteArray Attribute(const QString& file, const char* name)
{
    char value[1024];
    const ssize_t size = ::getxattr(QFile::encodeName(file).constData(), name, value, sizeof value);
    return size < 0 ? QByteArray("<none>") : QByteArray(value, int(size));
}

// getfacl's lines on one, without the notes on effective rights.
std::string Acl(const QString& file)
{
    QProcess getfacl;
    getfacl.start("getfacl", {"--omit-header", "--absolute-names", "--numeric", file});
    getfacl.waitForFinished();
    return QString::fromUtf8(getfacl.readAllStandardOutput())
        .trimmed()
        .replace('\n', ' ')
        .remove(QRegularExpression("\\s+#effective:\\S+"))
        .toStdString();
}

}  // namespace

// The new file gets the old one's access ACL and user.* attributes; none that its folder's
// default ACL would give it. A converting user who cannot give it the old group keeps none of
// the old group's rights, but the rights of named users and groups stay. An old file whose
// attributes cannot be read (another user's, unreadable) is not replaced.
TEST(StagedFile, AclAndAttributesOfTheOldFileStay)
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable("setfacl").isEmpty())
        GTEST_SKIP() << "needs root and setfacl (package acl)";
    struct Case {
        const char* name;
        const char* setUp;  // shell commands in the folder, as root
        uid_t user;         // who stages
        const char* acl;    // getfacl's lines of the new file, or the cause of a refusal
        bool replaced;
    } cases[] = {
        {"a named user may write", "setfacl -m u:4002:rw Jazz-Music.sqlite", 0,
         "user::rw- user:4002:rw- group::r-- mask::rw- other::---", true},
        {"no ACL, though the folder has a default one", "setfacl -d -m u:4002:rwx .", 0,
         "user::rw- group::r-- other::---", true},
        {"a user of another group converts",
         "chmod 0777 . && chown 4001:5000 Jazz-Music.sqlite && chmod 0644 Jazz-Music.sqlite "
         "&& setfacl -m u:4003:r,g:5001:rw Jazz-Music.sqlite",
         4002, "user::rw- user:4003:r-- group::--- group:5001:rw- mask::rw- other::r--", true},
        {"attributes that cannot be read", "chmod 0777 . && chown 4001 Jazz-Music.sqlite && chmod 0200 Jazz-Music.sqlite",
         4002, "Das erweiterte Attribut \"user.herkunft\" von", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        ::chmod(QFile::encodeName(tree.Root()).constData(), 0755);
        const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
        SetMode(target, 0640);
        ASSERT_EQ(::setxattr(QFile::encodeName(target).constData(), "user.herkunft", "Sammlung", 8, 0), 0);
        ASSERT_EQ(std::system(QString("cd '%1' && %2").arg(tree.Root(), c.setUp).toUtf8().constData()), 0);
        const std::string aclBefore = Acl(target);

        const QByteArray answer = ReplacedAs(c.user, target);
        if (!c.replaced) {
            EXPECT_TRUE(answer.startsWith("5 ") && answer.contains(c.acl)) << answer.toStdString();
            EXPECT_TRUE(answer.contains("Die Datei wird nicht ersetzt.")) << answer.toStdString();
            EXPECT_EQ(Acl(target), aclBefore);
            EXPECT_EQ(Entries(tree), QStringList{"Jazz-Music.sqlite"});
            continue;
        }
        ASSERT_EQ(answer, "0 ");
        EXPECT_EQ(ReadAll(target), "neu");
        EXPECT_EQ(Acl(target), c.acl);
        EXPECT_EQ(Attribute(target, "user.herkunft"), "Sammlung");
    }
}
