// DeleteDirectoryTree on real trees: counters, post-order removal, attribute
// resets, failures, and links that must never be followed.
#include "FileUtils.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>

using namespace FileUtils;

namespace {

bool SetImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// Makes a file that nobody can delete, root included, and frees it at the end.
class UndeletableFile {
public:
    explicit UndeletableFile(const QString& path) : FPath(path), FActive(SetImmutable(path, true)) {}
    ~UndeletableFile()
    {
        if (FActive)
            SetImmutable(FPath, false);
    }
    bool Active() const { return FActive; }

private:
    QString FPath;
    bool FActive;
};

// Mounts a small tmpfs at a directory while it lives.
class TmpfsMount {
public:
    explicit TmpfsMount(const QString& dir)
        : FDir(QFile::encodeName(dir)),
          FActive(::mount("none", FDir.constData(), "tmpfs", 0, "size=1m") == 0)
    {
    }
    ~TmpfsMount()
    {
        if (FActive)
            ::umount2(FDir.constData(), MNT_DETACH);
    }
    bool Active() const { return FActive; }

private:
    QByteArray FDir;
    bool FActive;
};

bool IsEmptyDir(const QString& path)
{
    return DirectoryExists(path) && QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void ExpectCounts(const DeleteTreeCounts& got, std::uint32_t dirs, std::uint32_t files,
                  std::uint32_t failures, const char* what)
{
    EXPECT_EQ(got.DirsRemoved, dirs) << what;
    EXPECT_EQ(got.FilesDeleted, files) << what;
    EXPECT_EQ(got.Failures, failures) << what;
}

}  // namespace

TEST(TreeDelete, CountsWhatItRemoves)
{
    const auto twoFilesAndASub = [](const TempTree& t) {
        t.WriteFile("base/one");
        t.WriteFile("base/two");
        t.WriteFile("base/sub/three");
    };
    struct Case {
        const char* name;
        std::function<void(const TempTree&)> build;
        bool removeBase;
        std::uint32_t dirs, files, failures;
        bool baseRemains;
    };
    const Case cases[] = {
        {"missing base", [](const TempTree&) {}, true, 0, 0, 0, false},
        {"empty base", [](const TempTree& t) { t.MakeDir("base"); }, true, 1, 0, 0, false},
        {"two files and a subdirectory", twoFilesAndASub, true, 2, 3, 0, false},
        {"the same, base kept", twoFilesAndASub, false, 1, 3, 0, true},
    };
    for (const Case& c : cases) {
        TempTree tree;
        c.build(tree);
        const DeleteTreeCounts counts = DeleteDirectoryTree(tree.Path("base"), c.removeBase);
        ExpectCounts(counts, c.dirs, c.files, c.failures, c.name);
        EXPECT_EQ(IsEmptyDir(tree.Path("base")), c.baseRemains) << c.name;
        if (!c.baseRemains) {
            EXPECT_FALSE(EntryExists(tree.Path("base"))) << c.name;
        }
    }
}

TEST(TreeDelete, CountersAreOnlyAddedTo)
{
    TempTree tree;
    tree.WriteFile("base/a/f");
    std::uint32_t dirs = 10, files = 20, failures = 30;
    DeleteDirectoryTree(tree.Path("base"), "a", false, dirs, files, failures);
    EXPECT_EQ(dirs, 11u) << "a relative subdirectory is removed whatever the flag";
    EXPECT_EQ(files, 21u);
    EXPECT_EQ(failures, 30u);
    EXPECT_TRUE(IsEmptyDir(tree.Path("base")));
}

TEST(TreeDelete, ReadOnlyAndHiddenEntriesGoLikeAnyOther)
{
    TempTree tree;
    tree.WriteFile("base/.hidden");
    SetMode(tree.WriteFile("base/readonly"), 0444);
    tree.WriteFile("base/.hiddendir/f");
    tree.WriteFile("base/rodir/g");
    SetMode(tree.Path("base/rodir/g"), 0400);
    SetMode(tree.Path("base/rodir"), 0555);
    tree.WriteFile("base/closed/h");
    SetMode(tree.Path("base/closed"), 0000);
    SetMode(tree.Path("base"), 0555);

    ExpectCounts(DeleteDirectoryTree(tree.Path("base"), true), 4, 5, 0, "all gone");
    EXPECT_FALSE(EntryExists(tree.Path("base")));
}

TEST(TreeDelete, AFileThatCannotBeDeletedKeepsItsAncestors)
{
    TempTree tree;
    const QString stuck = tree.WriteFile("base/a/b/f");
    tree.WriteFile("base/a/x");
    tree.WriteFile("base/c/d/y");
    const UndeletableFile guard(stuck);
    if (!guard.Active())
        GTEST_SKIP() << "cannot make a file immutable here (needs CAP_LINUX_IMMUTABLE and a "
                        "file system with the flag), so no deletion can be made to fail for root";

    // f fails; b is not tried; a and base are tried and fail, not being empty.
    ExpectCounts(DeleteDirectoryTree(tree.Path("base"), true), 2, 2, 3, "one stuck file");
    EXPECT_TRUE(EntryExists(stuck));
    EXPECT_FALSE(EntryExists(tree.Path("base/a/x")));
    EXPECT_FALSE(EntryExists(tree.Path("base/c")));
}

TEST(TreeDelete, LinksAreRemovedAsLinksAndNeverFollowed)
{
    TempTree tree;
    const QString keep = tree.WriteFile("outside/keep.txt", "keep");
    SetMode(keep, 0444);
    const QString inner = tree.WriteFile("outside/dir/inner.txt", "inner");
    tree.MakeDir("base/sub");
    tree.Link("base/dirLink", tree.Path("outside/dir"));
    tree.Link("base/fileLink", keep);
    tree.Link("base/sub/rootLink", tree.Path("outside"));
    tree.Link("base/dangling", tree.Path("nowhere"));

    ExpectCounts(DeleteDirectoryTree(tree.Path("base"), true), 2, 4, 0, "links count as files");
    EXPECT_FALSE(EntryExists(tree.Path("base")));
    EXPECT_EQ(ReadAll(keep), "keep");
    EXPECT_EQ(ModeOf(keep), 0444u) << "the attribute reset must not reach through a link";
    EXPECT_EQ(ReadAll(inner), "inner");
}

TEST(TreeDelete, ABaseNamedThroughALinkIsEmptiedAndTheLinkRemoved)
{
    TempTree tree;
    tree.WriteFile("real/a");
    tree.WriteFile("real/sub/b");
    const QString link = tree.Link("link", tree.Path("real"));

    ExpectCounts(DeleteDirectoryTree(link + "/", true), 2, 2, 0, "sub and the link");
    EXPECT_FALSE(EntryExists(link));
    EXPECT_TRUE(IsEmptyDir(tree.Path("real")));
}

TEST(TreeDelete, DoesNotCrossIntoAMountedFileSystem)
{
    TempTree tree;
    tree.WriteFile("base/f");
    const QString mountPoint = tree.MakeDir("base/mnt");
    const TmpfsMount mount(mountPoint);
    if (!mount.Active())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    const QString foreign = tree.WriteFile("base/mnt/foreign.txt", "stays");

    // The mount point cannot be removed, so neither can the base.
    ExpectCounts(DeleteDirectoryTree(tree.Path("base"), true), 0, 1, 2, "mount left alone");
    EXPECT_EQ(ReadAll(foreign), "stays");
}
