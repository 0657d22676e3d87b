// A staged file refuses, before anything changes, what its commit could not finish, and a
// refused or failed replacement leaves the old file and its side files exactly as they were.
#include "FileReplace.h"
#include "FileUtils.h"
#include "HolderProcess.h"
#include "SyncTrace.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
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

// Side files that hold changes belong to the old file: the staging hands them to the settler
// (which brings them into the old file, as SQLite's recovery does) before anything else, and
// refuses with the settler's reason, nothing changed, when that fails. Side files at rest
// (an emptied or zeroed journal, an empty WAL) need no settling.
TEST(StagedFile, SideFilesWithChangesAreSettledFirstOrTheStagingIsRefused)
{
    struct Case {
        const char* name;
        const char* side;
        QByteArray content;
        bool settles;     // the settler succeeds (and empties the side file)
        bool needsSettler;
    } cases[] = {
        {"live journal, settled", "-journal", kLiveJournal, true, true},
        {"live journal, not settled", "-journal", kLiveJournal, false, true},
        {"WAL with frames, not settled", "-wal", QByteArray(4152, 'w'), false, true},
        {"zeroed journal", "-journal", QByteArray(512, '\0'), false, false},
        {"empty WAL", "-wal", QByteArray(), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
        const QString side = tree.WriteFile(QString("Jazz-Music.sqlite") + c.side, c.content);
        int calls = 0;
        TStagedFile staged(target, TStagedFile::ModeRule::KeepWritable,
                           [&](const QString& file, QString& cause) -> std::uint32_t {
                               ++calls;
                               EXPECT_EQ(file, target);
                               if (!c.settles) {
                                   cause = "kaputt";
                                   return 5;
                               }
                               WriteInto(side, QByteArray());
                               return 0;
                           });
        const std::uint32_t code = staged.Create();
        EXPECT_EQ(calls, c.needsSettler ? 1 : 0);
        if (c.needsSettler && !c.settles) {
            EXPECT_EQ(code, 5u);
            EXPECT_EQ(staged.FailureCause(), "kaputt");
            EXPECT_EQ(ReadAll(side), c.content);
            EXPECT_EQ(Entries(tree), (QStringList{"Jazz-Music.sqlite", QString("Jazz-Music.sqlite") + c.side}));
            continue;
        }
        ASSERT_EQ(code, 0u);
        WriteInto(staged.TempName(), "neu");
        ASSERT_EQ(staged.Commit(), 0u);
        EXPECT_EQ(ReadAll(target), "neu");
        EXPECT_EQ(Entries(tree), QStringList{"Jazz-Music.sqlite"});
    }
}

// A commit never publishes data that is still only in the cache: the new file is synced to the
// disk before the rename puts it in place, and the folder after it, so that the rename itself
// lasts. Both for a first version and for a replacement.
TEST(StagedFile, CommitSyncsTheDataBeforeTheRenameAndTheFolderAfter)
{
    for (const bool replaces : {false, true}) {
        SCOPED_TRACE(replaces ? "replacing a file" : "a new file");
        TempTree tree;
        const QString folder = QFileInfo(tree.Root()).canonicalFilePath();
        const QString target = folder + "/Jazz-Music.sqlite";
        if (replaces)
            WriteInto(target, "alt");
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
        std::string seen;
        for (const SyncCall& call : calls)
            seen += (call.kind == SyncCall::Kind::Sync ? "sync " : "rename ") + call.path.toStdString() + " "
                    + call.to.toStdString() + "\n";
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
                                          bool settled = false;
                                          TStagedFile staged(target, TStagedFile::ModeRule::KeepWritable,
                                                             [&](const QString&, QString&) {
                                                                 settled = true;
                                                                 return 0u;
                                                             });
                                          const std::uint32_t code = staged.Create();
                                          return QByteArray::number(code) + (settled ? " settled " : " ")
                                                 + staged.FailureCause().toUtf8();
                                      })
                                      .value_or("the child failed");
        std::system(QString("cd '%1' && chattr -i -a . Jazz-Music.sqlite 2>/dev/null; chmod 0755 .")
                        .arg(tree.Root())
                        .toUtf8()
                        .constData());

        EXPECT_TRUE(answer.startsWith("5 ")) << answer.toStdString();
        EXPECT_FALSE(answer.contains("settled")) << "the old file was touched before the refusal";
        EXPECT_TRUE(QString::fromUtf8(answer).contains(QString::fromUtf8(c.cause))) << answer.toStdString();
        EXPECT_EQ(ReadAll(target), "alt");
        EXPECT_EQ(ReadAll(journal), kLiveJournal);
        EXPECT_EQ(Entries(tree), (QStringList{"Jazz-Music.sqlite", "Jazz-Music.sqlite-journal"}));
    }
}
