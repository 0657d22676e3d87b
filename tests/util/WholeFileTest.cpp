// A small file stored whole: whatever ends the store, and wherever, the file reads as its old
// content or its new one; the new one is on the disk before it takes the file's name.
#include "FileUtils.h"
#include "SyncTrace.h"
#include "TempTree.h"
#include "WholeFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <csignal>

#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FileUtils;

namespace {

// The settings file by its two ways of storing: through a new file renamed over it, or in
// place, as for a file with a second name (hard link).
struct Way {
    const char* name;
    bool linked;
};
const Way kWays[] = {{"renamed over", false}, {"in place (hard link)", true}};

QString MakeFile(const TempTree& tree, bool linked, const QByteArray& content)
{
    const QString file = tree.WriteFile("katalogkonverter.ini", content);
    if (linked)
        EXPECT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(tree.Path("zweiter-name.ini")).constData()),
                  0);
    return file;
}

QStringList Entries(const TempTree& tree)
{
    return QDir(tree.Root()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

const QByteArray kOld = "[Config]\nLeft=50\nTop=50\nDirectory=/home/ich/Kataloge/mit/einem/langen/Pfad\n";
const QByteArray kNew = "[Config]\nLeft=7\n";

}  // namespace

// Killed (SIGKILL) right after each call that writes, cuts, syncs, renames or removes, in a
// child process: the file reads as the old content or the new one, never a mix and never a
// stray line, and the next store goes through and leaves nothing beside the file.
TEST(WholeFile, KillAtAnyStepLeavesTheOldOrTheNewContent)
{
    for (const Way& way : kWays) {
        for (int step = 1;; ++step) {
            SCOPED_TRACE(std::string(way.name) + ", step " + std::to_string(step));
            TempTree tree;
            const QString file = MakeFile(tree, way.linked, kOld);
            const pid_t pid = ::fork();
            if (pid == 0) {
                int seen = 0;
                const SyncTrace trace([&](const SyncCall&) {
                    if (++seen == step)
                        ::raise(SIGKILL);
                });
                ::_exit(StoreWholeFile(file, kNew, ReadWholeFile(file)) == 0 ? 0 : 3);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            const WholeFile now = ReadWholeFile(file);
            ASSERT_EQ(now.state, WholeFile::Read);
            EXPECT_TRUE(now.bytes == kOld || now.bytes == kNew) << now.bytes.toStdString();

            ASSERT_EQ(StoreWholeFile(file, "[Config]\nLeft=9\n", now), 0u);
            EXPECT_EQ(ReadWholeFile(file).bytes, "[Config]\nLeft=9\n");
            EXPECT_EQ(ReadAll(file), "[Config]\nLeft=9\n");
            if (way.linked)
                EXPECT_EQ(ReadAll(tree.Path("zweiter-name.ini")), "[Config]\nLeft=9\n");
            const QStringList expected = way.linked ? QStringList{"katalogkonverter.ini", "zweiter-name.ini"}
                                                    : QStringList{"katalogkonverter.ini"};
            // A temporary file of the killed store may stay; nothing that is read.
            QStringList entries = Entries(tree);
            entries.removeIf([](const QString& name) { return name.startsWith('.') && !name.endsWith(".kk-new"); });
            EXPECT_EQ(entries.join(' ').toStdString(), expected.join(' ').toStdString());
            if (WIFEXITED(status)) {
                EXPECT_EQ(WEXITSTATUS(status), 0);
                EXPECT_EQ(now.bytes, kNew);
                break;
            }
        }
    }
}

// The new content is on the disk (fsync) before a rename gives it the file's name, or the
// name of the content beside the file; and that rename is on the disk (the folder synced)
// before the store goes on.
TEST(WholeFile, NewContentIsSyncedBeforeItsRename)
{
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.name);
        TempTree tree;
        const QString file = MakeFile(tree, way.linked, kOld);
        const QString folder = QFileInfo(tree.Root()).canonicalFilePath();
        std::vector<SyncCall> calls;
        {
            const SyncTrace trace;
            ASSERT_EQ(StoreWholeFile(file, kNew, ReadWholeFile(file)), 0u);
            calls = trace.Calls();
        }
        EXPECT_EQ(ReadAll(file), kNew);
        const std::string seen = CallsText(calls);
        const auto rename = std::find_if(calls.begin(), calls.end(),
                                         [](const SyncCall& call) { return call.kind == SyncCall::Kind::Rename; });
        ASSERT_NE(rename, calls.end()) << seen;
        EXPECT_TRUE(std::any_of(calls.begin(), rename, [&](const SyncCall& call) {
            return call.kind == SyncCall::Kind::Sync && call.path == rename->path;
        })) << "the new content is not synced before its rename:\n" << seen;
        EXPECT_TRUE(std::any_of(rename, calls.end(), [&](const SyncCall& call) {
            return call.kind == SyncCall::Kind::Sync && call.path == folder;
        })) << "the folder is not synced after the rename:\n" << seen;
        if (way.linked) {
            const auto written = std::find_if(calls.begin(), calls.end(), [&](const SyncCall& call) {
                return call.kind == SyncCall::Kind::Write && call.path == QFileInfo(file).canonicalFilePath();
            });
            EXPECT_TRUE(written > rename) << "the file is written before its new content lies beside it:\n" << seen;
        }
    }
}

// The file renamed over keeps its access ACL and user.* attributes.
TEST(WholeFile, RenamedFileKeepsItsAttributes)
{
    TempTree tree;
    const QString file = MakeFile(tree, false, kOld);
    const QByteArray name = QFile::encodeName(file);
    if (::setxattr(name.constData(), "user.herkunft", "Sicherung", 9, 0) != 0)
        GTEST_SKIP() << "no user attributes on this file system";
    struct stat before {};
    ASSERT_EQ(::stat(name.constData(), &before), 0);
    ASSERT_EQ(StoreWholeFile(file, kNew, ReadWholeFile(file)), 0u);
    struct stat after {};
    ASSERT_EQ(::stat(name.constData(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "not renamed over";
    char value[32] = {};
    EXPECT_EQ(::getxattr(name.constData(), "user.herkunft", value, sizeof value), 9);
    EXPECT_STREQ(value, "Sicherung");
    EXPECT_EQ(ReadAll(file), kNew);
}
