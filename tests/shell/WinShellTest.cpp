// Link files read through liblnk, the deletions (trash and permanent), the file-system move
// and copy, and the optional-feature query.
#include "LinkFixture.h"
#include "ScopedEnv.h"
#include "TempTree.h"
#include "WinShell.h"
#include "WmiUtils.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

#include <pwd.h>
#include <unistd.h>

using namespace WinShell;

namespace {

struct LinkFields {
    QString target, arguments, workDir, description;
    bool runAsAdmin = true;  // QueryShellLink must clear it
};

HRESULT Query(const QString& fileName, LinkFields& f)
{
    f.target = f.arguments = f.workDir = f.description = QStringLiteral("stale");
    return QueryShellLink(fileName, f.target, f.arguments, f.workDir, f.description, f.runAsAdmin);
}

}  // namespace

TEST(ShellLink, ReadsAllFourTextsAndTheRunAsFlag)
{
    TempTree tree;
    const QString lnk = tree.Path("full.lnk");
    ASSERT_TRUE(LinkFixture::Write(lnk, {QStringLiteral("C:\\Daten\\Musik"), QStringLiteral("Plattenkatalog Jazz"),
                                         QStringLiteral("C:\\Daten"), QStringLiteral("/x \"a b\""), true}));
    LinkFields f;
    EXPECT_EQ(Query(lnk, f), HR_OK);
    EXPECT_EQ(f.target, QStringLiteral("C:\\Daten\\Musik"));
    EXPECT_EQ(f.arguments, QStringLiteral("/x \"a b\""));
    EXPECT_EQ(f.workDir, QStringLiteral("C:\\Daten"));
    EXPECT_EQ(f.description, QStringLiteral("Plattenkatalog Jazz"));
    EXPECT_TRUE(f.runAsAdmin);

    QString target, arguments, workDir, description;
    EXPECT_TRUE(GetShellLinkInfo(lnk, target, arguments, workDir, description));
    EXPECT_EQ(target, QStringLiteral("C:\\Daten\\Musik"));
    EXPECT_EQ(description, QStringLiteral("Plattenkatalog Jazz"));
}

TEST(ShellLink, MissingPartsStayEmptyAndDoNotFail)
{
    TempTree tree;
    const QString plain = tree.Path("plain.lnk");
    ASSERT_TRUE(LinkFixture::Write(plain, {QStringLiteral("D:\\Alt"), {}, {}, {}, false}));
    LinkFields f;
    EXPECT_EQ(Query(plain, f), HR_OK);
    EXPECT_EQ(f.target, QStringLiteral("D:\\Alt"));
    EXPECT_TRUE(f.arguments.isEmpty());
    EXPECT_TRUE(f.workDir.isEmpty());
    EXPECT_TRUE(f.description.isEmpty());
    EXPECT_FALSE(f.runAsAdmin);

    // Without a location there is no target path: success without a path, texts still read.
    const QString noPath = tree.Path("nopath.lnk");
    ASSERT_TRUE(LinkFixture::Write(noPath, {{}, QStringLiteral("nur Text"), {}, {}, false}));
    EXPECT_EQ(Query(noPath, f), HR_FALSE);
    EXPECT_TRUE(f.target.isEmpty());
    EXPECT_EQ(f.description, QStringLiteral("nur Text"));
}

TEST(ShellLink, MissingOrUnreadableFile)
{
    TempTree tree;
    LinkFields f;
    EXPECT_EQ(Query(tree.Path("none.lnk"), f), 2);
    EXPECT_TRUE(f.target.isEmpty() && f.arguments.isEmpty() && f.workDir.isEmpty() && f.description.isEmpty());
    EXPECT_FALSE(f.runAsAdmin);
    QString t, a, w, d;
    EXPECT_TRUE(GetShellLinkInfo(tree.Path("none.lnk"), t, a, w, d));  // 2 counts as success
    EXPECT_EQ(Query(tree.MakeDir("dir.lnk"), f), 2);                   // a directory is no file

    EXPECT_LT(Query(tree.WriteFile("junk.lnk", "this is no shortcut at all, just text"), f), 0);
    EXPECT_TRUE(f.target.isEmpty());
    // A link to a link file is read through.
    ASSERT_TRUE(LinkFixture::Write(tree.Path("real.lnk"), {QStringLiteral("E:\\"), {}, {}, {}, false}));
    tree.Link("alias.lnk", tree.Path("real.lnk"));
    EXPECT_EQ(Query(tree.Path("alias.lnk"), f), HR_OK);
    EXPECT_EQ(f.target, QStringLiteral("E:\\"));
}

// ---- Deletions ---------------------------------------------------------------

class ShellDelete : public ::testing::Test {
protected:
    ShellDelete() : FDataHome("XDG_DATA_HOME", FData.Root()) {}

    // The trash of the redirected data folder.
    QString TrashFile(const QString& name) const { return FData.Path(QStringLiteral("Trash/files/") + name); }
    QString TrashInfo(const QString& name) const
    {
        return FData.Path(QStringLiteral("Trash/info/") + name + QStringLiteral(".trashinfo"));
    }

    // A folder with two files and a subfolder holding one more.
    QString MakeFolder(const QString& name)
    {
        FTree.WriteFile(name + QStringLiteral("/a.txt"));
        FTree.WriteFile(name + QStringLiteral("/b.txt"));
        FTree.WriteFile(name + QStringLiteral("/sub/c.txt"));
        return FTree.Path(name);
    }

    TempTree FData;
    ScopedEnv FDataHome;
    TempTree FTree;
};

TEST_F(ShellDelete, ToTheTrashWithItsContents)
{
    const QString dir = MakeFolder(QStringLiteral("Alt"));
    EXPECT_EQ(ShellDeleteItem(nullptr, dir, true, false), HR_OK);
    EXPECT_FALSE(EntryExists(dir));
    EXPECT_TRUE(QFileInfo::exists(TrashFile(QStringLiteral("Alt/sub/c.txt"))));
    EXPECT_TRUE(QFileInfo::exists(TrashInfo(QStringLiteral("Alt"))));

    // The legacy form does the same, with the path as given (a trailing delimiter is fine).
    const QString other = MakeFolder(QStringLiteral("Other"));
    EXPECT_EQ(ShellDeleteFolder(nullptr, other + QLatin1Char('/'), QString(), true, false), 0);
    EXPECT_FALSE(EntryExists(other));
    EXPECT_TRUE(QFileInfo::exists(TrashFile(QStringLiteral("Other/a.txt"))));
}

TEST_F(ShellDelete, TheTrashNeedsAUsableDataFolder)
{
    // A data folder that does not exist yet is made.
    const QString fresh = FData.Path(QStringLiteral("neu/share"));
    ScopedEnv freshHome("XDG_DATA_HOME", fresh);
    const QString dir = MakeFolder(QStringLiteral("Alt"));
    EXPECT_EQ(ShellDeleteItem(nullptr, dir, true, false), HR_OK);
    EXPECT_TRUE(QFileInfo::exists(fresh + QStringLiteral("/Trash/files/Alt/a.txt")));

    // One that cannot be made refuses the deletion; nothing lands below the working directory.
    const QString blocked = FData.WriteFile(QStringLiteral("datei")) + QStringLiteral("/share");
    ScopedEnv blockedHome("XDG_DATA_HOME", blocked);
    const QString other = MakeFolder(QStringLiteral("Other"));
    InDirectory(FData.Root(), [&] {
        EXPECT_NE(ShellDeleteItem(nullptr, other, true, false), HR_OK);
        EXPECT_FALSE(EntryExists(FData.Path(QStringLiteral("files"))));
    });
    EXPECT_TRUE(QFileInfo::exists(other + QStringLiteral("/sub/c.txt")));
}

TEST_F(ShellDelete, PermanentWithoutUndo)
{
    const QString dir = MakeFolder(QStringLiteral("Weg"));
    const QString file = FTree.WriteFile(QStringLiteral("single.txt"));
    EXPECT_EQ(ShellDeleteItem(nullptr, dir, false, true), HR_OK);
    EXPECT_EQ(ShellDeleteFolder(nullptr, file, QStringLiteral("Titel"), false, false), 0);
    EXPECT_FALSE(EntryExists(dir));
    EXPECT_FALSE(EntryExists(file));
    EXPECT_FALSE(EntryExists(TrashFile(QStringLiteral("Weg"))));
}

TEST_F(ShellDelete, ALinkGoesAsALinkAndItsTargetStays)
{
    const QString target = MakeFolder(QStringLiteral("Ziel"));
    const QString link = FTree.Link(QStringLiteral("Verweis"), target);
    EXPECT_EQ(ShellDeleteItem(nullptr, link, false, false), HR_OK);
    EXPECT_FALSE(EntryExists(link));
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/sub/c.txt")));
}

TEST_F(ShellDelete, FailuresAreReportedAsCodes)
{
    // A missing name, an empty one and the file-system root.
    EXPECT_EQ(ShellDeleteItem(nullptr, FTree.Path(QStringLiteral("fehlt")), true, false), HResultFromWin32(2));
    EXPECT_EQ(ShellDeleteFolder(nullptr, FTree.Path(QStringLiteral("fehlt/x")), QString(), false, false), 3);
    EXPECT_LT(ShellDeleteItem(nullptr, QString(), false, false), 0);
    EXPECT_NE(ShellDeleteFolder(nullptr, QStringLiteral("/"), QString(), false, false), 0);

    // A folder whose contents cannot all go: the code is not 0 and what stayed is still there.
    if (::geteuid() != 0) {
        const QString dir = MakeFolder(QStringLiteral("Fest"));
        SetMode(dir + QStringLiteral("/sub"), 0500);
        EXPECT_NE(ShellDeleteItem(nullptr, dir, false, false), HR_OK);
        EXPECT_TRUE(QFileInfo::exists(dir + QStringLiteral("/sub/c.txt")));
        SetMode(dir + QStringLiteral("/sub"), 0700);
    }
}

TEST(ShellDeleteFlagValues, AsTheShellDefinesThem)
{
    struct Case {
        bool allowUndo, noErrorUI;
        std::uint32_t item;
        std::uint16_t folder;
    };
    for (const Case& c : {Case{true, false, 0x2050, 0x2050}, Case{false, false, 0x2010, 0x2010},
                          Case{true, true, 0x102450, 0x2450}, Case{false, true, 0x102410, 0x2410}}) {
        EXPECT_EQ(DeleteItemFlags(c.allowUndo, c.noErrorUI), c.item);
        EXPECT_EQ(DeleteFolderFlags(c.allowUndo, c.noErrorUI), c.folder);
    }
}

// ---- Move and copy ----------------------------------------------------------------

TEST(ShellTransfer, ItemOperationMovesAndCopiesToTheFullNewPath)
{
    TempTree tree;
    tree.WriteFile(QStringLiteral("src/a.txt"), "A");
    tree.WriteFile(QStringLiteral("src/deep/b.txt"), "B");
    tree.Link(QStringLiteral("src/link"), QStringLiteral("a.txt"));
    tree.MakeDir(QStringLiteral("dst"));

    EXPECT_EQ(ShellItemOperation(nullptr, tree.Path("src"), tree.Path("dst/copy"), SIO_COPY, 0), HR_OK);
    EXPECT_EQ(ReadAll(tree.Path("dst/copy/deep/b.txt")), "B");
    EXPECT_EQ(QFileInfo(tree.Path("dst/copy/link")).symLinkTarget(), tree.Path("dst/copy/a.txt"));
    EXPECT_EQ(ShellItemOperation(nullptr, tree.Path("src"), tree.Path("dst/moved"), SIO_MOVE, 0), HR_OK);
    EXPECT_FALSE(EntryExists(tree.Path("src")));
    EXPECT_EQ(ReadAll(tree.Path("dst/moved/a.txt")), "A");

    // The target folder must exist; a folder is never copied into itself.
    EXPECT_EQ(ShellItemOperation(nullptr, tree.Path("dst/moved"), tree.Path("none/x"), SIO_COPY, 0),
              HResultFromWin32(3));
    EXPECT_LT(ShellItemOperation(nullptr, tree.Path("dst/moved"), tree.Path("dst/moved/in"), SIO_COPY, 0), 0);
    EXPECT_FALSE(EntryExists(tree.Path("dst/moved/in")));
}

TEST(ShellTransfer, AnExistingTargetIsReplacedOnlyWithoutConfirmation)
{
    TempTree tree;
    tree.WriteFile(QStringLiteral("new/a.txt"), "neu");
    tree.WriteFile(QStringLiteral("old/a.txt"), "alt");
    tree.WriteFile(QStringLiteral("old/keep.txt"), "bleibt");

    EXPECT_EQ(ShellFileOperation(nullptr, tree.Path("new"), tree.Path("old"), QString(), FO_RENAME, 0), 80);
    EXPECT_EQ(ReadAll(tree.Path("old/a.txt")), "alt");
    EXPECT_EQ(ShellFileOperation(nullptr, tree.Path("new"), tree.Path("old"), QString(), FO_RENAME,
                                 FOF_NOCONFIRMATION),
              0);
    EXPECT_EQ(ReadAll(tree.Path("old/a.txt")), "neu");      // merged into the existing folder
    EXPECT_EQ(ReadAll(tree.Path("old/keep.txt")), "bleibt");
    EXPECT_FALSE(EntryExists(tree.Path("new")));
}

TEST(ShellTransfer, FileOperationPutsTheSourceIntoAnExistingFolder)
{
    TempTree tree;
    tree.WriteFile(QStringLiteral("a.txt"), "A");
    tree.MakeDir(QStringLiteral("box"));
    EXPECT_EQ(ShellFileOperation(nullptr, tree.Path("a.txt"), tree.Path("box"), QString(), FO_COPY, 0), 0);
    EXPECT_EQ(ReadAll(tree.Path("box/a.txt")), "A");
    EXPECT_EQ(ShellFileOperation(nullptr, tree.Path("a.txt"), tree.Path("b.txt"), QStringLiteral("Kopie"),
                                 FO_MOVE, 0),
              0);
    EXPECT_EQ(ReadAll(tree.Path("b.txt")), "A");
    EXPECT_EQ(ShellFileOperation(nullptr, tree.Path("b.txt"), QStringLiteral("c.txt"), QString(), FO_RENAME, 0), 0);
    EXPECT_EQ(ReadAll(tree.Path("c.txt")), "A");
    EXPECT_EQ(ShellFileOperation(nullptr, tree.Path("c.txt"), QString(), QString(), FO_COPY, 0), 87);
    EXPECT_EQ(ShellFileOperation(nullptr, tree.Path("c.txt"), tree.Path("d"), QString(), 9, 0), 87);
}

TEST(ShellTransfer, AFileOrLinkNeverReplacesAnExistingFolder)
{
    struct Case {
        const char* name;
        std::function<std::int32_t(const TempTree&)> run;
    };
    const auto item = [](const char* source, const char* dest, std::int32_t op) {
        return [=](const TempTree& t) {
            return ShellItemOperation(nullptr, t.Path(source), t.Path(dest), op, FOF_NOCONFIRMATION);
        };
    };
    const auto file = [](const char* from, const char* to, std::uint32_t func) {
        return [=](const TempTree& t) {
            return ShellFileOperation(nullptr, t.Path(from), to[0] == '/' ? t.Path(to + 1) : QString(to),
                                      QString(), func, FOF_NOCONFIRMATION);
        };
    };
    const Case cases[] = {
        {"item copy of a file", item("a.txt", "box/a.txt", SIO_COPY)},
        {"item move of a file", item("a.txt", "box/a.txt", SIO_MOVE)},
        {"item copy of a link", item("link", "box/a.txt", SIO_COPY)},
        {"item move of a link", item("link", "box/a.txt", SIO_MOVE)},
        {"copy into the folder holding a folder of that name", file("a.txt", "/box", FO_COPY)},
        {"move into the folder holding a folder of that name", file("a.txt", "/box", FO_MOVE)},
        {"rename onto a folder", file("a.txt", "box", FO_RENAME)},
        {"a file met while merging folders", item("merge", "box", SIO_COPY)},
    };
    for (const Case& c : cases) {
        TempTree tree;
        tree.WriteFile(QStringLiteral("a.txt"), "A");
        tree.Link(QStringLiteral("link"), tree.Path("a.txt"));
        tree.WriteFile(QStringLiteral("merge/a.txt"), "A");
        const QString inner = tree.WriteFile(QStringLiteral("box/a.txt/inner.txt"), "I");
        EXPECT_NE(c.run(tree), 0) << c.name;
        EXPECT_EQ(ReadAll(inner).toStdString(), "I") << c.name;
        EXPECT_EQ(ReadAll(tree.Path("a.txt")).toStdString(), "A") << c.name;
        EXPECT_TRUE(QFileInfo(tree.Path("link")).isSymLink()) << c.name;
    }
}

TEST(ShellTransfer, SourceAndDestinationTheSameFileChangeNothing)
{
    struct Case {
        const char* name;
        const char* source;
        const char* dest;
        std::int32_t op;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {"a file copied onto itself", "a.txt", "a.txt", SIO_COPY, FOF_NOCONFIRMATION},
        {"the same without replacing", "a.txt", "a.txt", SIO_COPY, 0},
        {"a file moved onto itself", "a.txt", "a.txt", SIO_MOVE, FOF_NOCONFIRMATION},
        {"another spelling of the same name", "a.txt", "sub/../a.txt", SIO_COPY, FOF_NOCONFIRMATION},
        {"a link copied onto itself", "link", "link", SIO_COPY, FOF_NOCONFIRMATION},
        {"a dangling link copied onto itself", "dangling", "sub/../dangling", SIO_COPY, FOF_NOCONFIRMATION},
        {"a link copied onto its target", "link", "a.txt", SIO_COPY, FOF_NOCONFIRMATION},
        {"a link moved onto its target", "link", "a.txt", SIO_MOVE, FOF_NOCONFIRMATION},
        {"a file copied onto a link to it", "a.txt", "link", SIO_COPY, FOF_NOCONFIRMATION},
        {"a file moved onto a second hard link", "a.txt", "hard", SIO_MOVE, FOF_NOCONFIRMATION},
    };
    for (const Case& c : cases) {
        TempTree tree;
        tree.WriteFile(QStringLiteral("a.txt"), "A");
        tree.MakeDir(QStringLiteral("sub"));
        tree.Link(QStringLiteral("link"), tree.Path("a.txt"));
        tree.Link(QStringLiteral("dangling"), tree.Path("nowhere"));
        ASSERT_EQ(::link(QFile::encodeName(tree.Path("a.txt")).constData(),
                         QFile::encodeName(tree.Path("hard")).constData()),
                  0);
        EXPECT_EQ(ShellItemOperation(nullptr, tree.Path(c.source), tree.Path(c.dest), c.op, c.flags), HR_OK)
            << c.name;
        EXPECT_FALSE(QFileInfo(tree.Path("a.txt")).isSymLink()) << c.name;
        EXPECT_EQ(ReadAll(tree.Path("a.txt")).toStdString(), "A") << c.name;
        EXPECT_EQ(QFileInfo(tree.Path("link")).symLinkTarget().toStdString(), tree.Path("a.txt").toStdString())
            << c.name;
        EXPECT_TRUE(QFileInfo(tree.Path("dangling")).isSymLink()) << c.name;
        EXPECT_EQ(ReadAll(tree.Path("hard")).toStdString(), "A") << c.name;
    }
    // The shell's own operation shares the rule.
    TempTree tree;
    tree.WriteFile(QStringLiteral("a.txt"), "A");
    EXPECT_EQ(ShellFileOperation(nullptr, tree.Path("a.txt"), QStringLiteral("a.txt"), QString(), FO_RENAME, 0), 0);
    EXPECT_EQ(ShellFileOperation(nullptr, tree.Path("a.txt"), tree.Root(), QString(), FO_COPY, 0), 0);
    EXPECT_EQ(ReadAll(tree.Path("a.txt")).toStdString(), "A");
}

// ---- Optional features ---------------------------------------------------------------

TEST(OptionalFeature, NetworkClientFollowsTheNetworkMountsFolder)
{
    TempTree runtime;
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.Root());
    EXPECT_EQ(NetworkFolderPath(), runtime.Path("gvfs"));
    EXPECT_FALSE(WmiUtils::IsSmb1ClientInstalled());

    runtime.MakeDir(QStringLiteral("gvfs/smb-share:server=srv,share=x"));
    EXPECT_TRUE(WmiUtils::IsSmb1ClientInstalled());
    EXPECT_TRUE(WmiUtils::IsOptionalFeatureInstalled(QStringLiteral("smb1protocol-client")));
    EXPECT_FALSE(WmiUtils::IsOptionalFeatureInstalled(QStringLiteral("TelnetClient")));
    EXPECT_FALSE(WmiUtils::IsOptionalFeatureInstalled(QStringLiteral("SMB1Protocol-Client\"")));
    EXPECT_TRUE(IsNetworkPath(runtime.Path("gvfs/smb-share:server=srv,share=x/Musik")));
    EXPECT_FALSE(IsNetworkPath(runtime.Path("gvfsx")));

    ScopedEnv none("XDG_RUNTIME_DIR", QString());
    EXPECT_TRUE(NetworkFolderPath().isEmpty());
    EXPECT_FALSE(WmiUtils::IsSmb1ClientInstalled());
    EXPECT_FALSE(IsNetworkPath(QStringLiteral("/")));
}

// The settings folder follows the XDG base directory rules: a relative XDG_CONFIG_HOME is
// ignored, so is "/"; without HOME the passwd entry gives the home; the folder is never "/"
// itself or one made in it for want of a home.
TEST(SpecialFolders, SettingsFolderByTheXdgRules)
{
    TempTree home;
    const QString passwdHome = QFile::decodeName(::getpwuid(::geteuid())->pw_dir);
    struct Case {
        const char* name;
        QString home;    // null: unset
        QString config;  // null: unset
        QString folder;
    } cases[] = {
        {"absolute XDG_CONFIG_HOME", home.Root(), home.Path("eigene"), home.Path("eigene")},
        {"no XDG_CONFIG_HOME", home.Root(), QString(), home.Path(".config")},
        {"relative XDG_CONFIG_HOME", home.Root(), "eigene", home.Path(".config")},
        {"XDG_CONFIG_HOME is the root", home.Root(), "/", home.Path(".config")},
        {"no HOME", QString(), QString(), passwdHome == "/" ? QString() : passwdHome + "/.config"},
        {"HOME is the root", "/", "", passwdHome == "/" ? QString() : passwdHome + "/.config"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScopedEnv homeEnv("HOME", c.home);
        const ScopedEnv configEnv("XDG_CONFIG_HOME", c.config);
        EXPECT_EQ(GetAppDataFolderPath().toStdString(), c.folder.toStdString());
    }
}

TEST(SpecialFolders, DocumentsFolderOrTheHomeFolderWhenItIsMissing)
{
    TempTree home;
    const ScopedEnv homeEnv("HOME", home.Root());
    const ScopedEnv configEnv("XDG_CONFIG_HOME", home.Path(".config"));
    EXPECT_EQ(GetPersonalFolderPath(), home.Root());
    home.MakeDir("Documents");
    EXPECT_EQ(GetPersonalFolderPath(), home.Path("Documents"));
    EXPECT_EQ(GetSpecialFolderPath(17), QString());
}
