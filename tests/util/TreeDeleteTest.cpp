// DeleteDirectoryTree on real trees: counters, post-order removal, attribute
// resets, failures, and links that must never be followed.
#include "FileUtils.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <QDirIterator>

#include <cerrno>
#include <functional>

#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/wait.h>

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

// Exit codes of a forked child that could not get as far as the deletion.
constexpr int kChildUnsupported = 77;  // the kernel refused the setup (no privilege)
constexpr int kChildSetupFailed = 78;

struct ChildRun {
    int exitCode = -1;  // -1: killed, or no exit at all
    DeleteTreeCounts counts;
};

// Runs body in a forked child. The child hands back the counters it filled in
// through a pipe and ends with body's result as its exit code.
ChildRun RunInChild(const std::function<int(DeleteTreeCounts&)>& body)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        DeleteTreeCounts counts;
        const int code = body(counts);
        const bool sent = ::write(fds[1], &counts, sizeof counts) == static_cast<ssize_t>(sizeof counts);
        ::_exit(sent ? code : kChildSetupFailed);
    }
    ::close(fds[1]);
    ChildRun run;
    if (pid < 0) {
        ::close(fds[0]);
        return run;
    }
    if (::read(fds[0], &run.counts, sizeof run.counts) != static_cast<ssize_t>(sizeof run.counts))
        run.counts = DeleteTreeCounts{};
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    return run;
}

// The unprivileged user (nobody) a child drops to when the tests run as root,
// for whom permissions count.
constexpr uid_t kNobody = 65534;

// Gives the whole tree, links included, to nobody, so that a child running as
// nobody may change it. Does nothing unless running as root.
void GiveToNobody(const TempTree& tree)
{
    if (::geteuid() != 0)
        return;
    const auto give = [](const QString& path) {
        EXPECT_EQ(::lchown(QFile::encodeName(path).constData(), kNobody, kNobody), 0) << path.toStdString();
    };
    give(tree.Root());
    QDirIterator it(tree.Root(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        give(it.next());
}

// In a forked child: becomes nobody when running as root. False on failure.
bool DropToNobody()
{
    if (::geteuid() != 0)
        return true;
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

bool WriteProcFile(const char* path, const QByteArray& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    const bool written = fd >= 0 && ::write(fd, text.constData(), std::size_t(text.size())) == text.size();
    if (fd >= 0)
        ::close(fd);
    return written;
}

// In a forked child: a mount namespace of its own, so that its mounts vanish
// with it and are never seen elsewhere; without root, inside a user namespace
// of its own where this user may mount (as this user, mapped to root there).
// 0, or the child's exit code.
int PrivateMountNamespace()
{
    const QByteArray uid = QByteArray::number(::geteuid());
    const QByteArray gid = QByteArray::number(::getegid());
    const bool root = ::geteuid() == 0;
    if (::unshare(root ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return errno == EPERM || errno == EINVAL || errno == ENOSPC ? kChildUnsupported : kChildSetupFailed;
    if (!root
        && !(WriteProcFile("/proc/self/setgroups", "deny") && WriteProcFile("/proc/self/uid_map", "0 " + uid + " 1")
             && WriteProcFile("/proc/self/gid_map", "0 " + gid + " 1")))
        return kChildSetupFailed;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return kChildSetupFailed;
    return 0;
}

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
    tree.WriteFile("base/inner/x");
    tree.Link("base/innerLink", tree.Path("base/inner"));

    // inner is removed once, through its own name; its link counts as a file.
    ExpectCounts(DeleteDirectoryTree(tree.Path("base"), true), 3, 6, 0, "links count as files");
    EXPECT_FALSE(EntryExists(tree.Path("base")));
    EXPECT_EQ(ReadAll(keep), "keep");
    EXPECT_EQ(ModeOf(keep), 0444u) << "the attribute reset must not reach through a link";
    EXPECT_EQ(ReadAll(inner), "inner");
}

TEST(TreeDelete, ALinkNamedAsTheFolderIsRemovedAsALinkAndNeverFollowed)
{
    struct Case {
        const char* name;
        const char* base;
        const char* relative;
        bool removeBase;
        std::uint32_t files;
        bool linkRemains;
    };
    const Case cases[] = {
        {"link as base, base removed", "link", "", true, 1, false},
        {"the same with a trailing delimiter", "link/", "", true, 1, false},
        {"link as base, base kept", "link", "", false, 0, true},
        {"link as the relative part", "", "link", false, 1, false},
    };
    for (const Case& c : cases) {
        TempTree tree;
        const QString a = tree.WriteFile("real/a", "a");
        const QString b = tree.WriteFile("real/sub/b", "b");
        const QString link = tree.Link("link", tree.Path("real"));
        std::uint32_t dirs = 0, files = 0, failures = 0;
        DeleteDirectoryTree(*c.base ? tree.Path(c.base) : tree.Root(), c.relative, c.removeBase, dirs, files,
                            failures);
        ExpectCounts({dirs, files, failures}, 0, c.files, 0, c.name);
        EXPECT_EQ(EntryExists(link), c.linkRemains) << c.name;
        EXPECT_EQ(ReadAll(a).toStdString(), "a") << c.name;
        EXPECT_EQ(ReadAll(b).toStdString(), "b") << c.name;
    }
}

TEST(TreeDelete, ALinkToTheRootNamedAsTheFolderIsOnlyEverUnlinked)
{
    // Run as nobody, so that a walk that followed the link could do no harm.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the case as an unprivileged user";
    for (const bool removeBase : {false, true}) {
        TempTree tree;
        const QString link = tree.Link("rootLink", "/");
        GiveToNobody(tree);
        const ChildRun run = RunInChild([&](DeleteTreeCounts& counts) {
            if (!DropToNobody())
                return kChildSetupFailed;
            counts = DeleteDirectoryTree(link, removeBase);
            return 0;
        });
        ASSERT_EQ(run.exitCode, 0);
        ExpectCounts(run.counts, 0, removeBase ? 1 : 0, 0, removeBase ? "removed" : "kept");
        EXPECT_EQ(EntryExists(link), !removeBase);
    }
}

TEST(TreeDelete, AFolderInAnUnreadableParentIsStillRemoved)
{
    // Root reads any folder, so the case runs as nobody on a tree nobody owns.
    TempTree tree;
    tree.WriteFile("parent/base/f");
    tree.WriteFile("parent/base/sub/g");
    SetMode(tree.Path("parent"), 0311);
    GiveToNobody(tree);
    const ChildRun run = RunInChild([&](DeleteTreeCounts& counts) {
        if (!DropToNobody())
            return kChildSetupFailed;
        counts = DeleteDirectoryTree(tree.Path("parent/base"), true);
        return 0;
    });
    ASSERT_EQ(run.exitCode, 0);
    ExpectCounts(run.counts, 2, 2, 0, "searchable, not readable parent");
    EXPECT_FALSE(EntryExists(tree.Path("parent/base")));
}

TEST(TreeDelete, NeverEntersAMountPoint)
{
    enum class Kind { Tmpfs, Bind };
    struct Case {
        const char* name;
        Kind kind;
    };
    const Case cases[] = {
        {"another file system", Kind::Tmpfs},
        {"a bind mount of a folder on the same file system", Kind::Bind},
    };
    for (const Case& c : cases) {
        TempTree tree;
        tree.WriteFile("base/f");
        const QByteArray mountPoint = QFile::encodeName(tree.MakeDir("base/mnt"));
        const QString outside = tree.WriteFile("outside/keep.txt", "stays");
        const QString seen = tree.Path("base/mnt/keep.txt");
        // The child mounts, deletes, and tells whether the mounted file is still
        // there: exit code 0 when it is, 1 when it went.
        const ChildRun run = RunInChild([&](DeleteTreeCounts& counts) {
            if (const int code = PrivateMountNamespace())
                return code;
            const bool mounted =
                c.kind == Kind::Tmpfs
                    ? ::mount("none", mountPoint.constData(), "tmpfs", 0, "size=1m") == 0
                          && QFile::copy(outside, seen)
                    : ::mount(QFile::encodeName(tree.Path("outside")).constData(), mountPoint.constData(),
                              nullptr, MS_BIND, nullptr)
                          == 0;
            if (!mounted || ReadAll(seen) != "stays")
                return kChildSetupFailed;
            counts = DeleteDirectoryTree(tree.Path("base"), true);
            return ReadAll(seen) == "stays" ? 0 : 1;
        });
        if (run.exitCode == kChildUnsupported)
            GTEST_SKIP() << "no mount namespace of its own allowed here";
        ASSERT_EQ(run.exitCode, 0) << c.name << ": 1 means the mounted file was deleted";
        // f goes; the mount point cannot be removed, so neither can the base.
        ExpectCounts(run.counts, 0, 1, 2, c.name);
        EXPECT_EQ(ReadAll(outside), "stays") << c.name;
    }
}
