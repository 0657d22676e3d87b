// Moving about the folder chooser's tree: folder shortcuts, Up and Home at each level, the
// root buttons, and the refresh that opening the context menu makes.
#include "LinkFixture.h"
#include "ShellDirFixture.h"

#include <QComboBox>
#include <QMenu>
#include <QTest>
#include <QToolButton>

using namespace ShellDirDlg;
using MsgDialogs::DialogKind;

namespace {

// ---- Folder shortcuts ----------------------------------------------------------------------------

TEST_F(ShellDirTest, AFolderShortcutShowsItsTarget)
{
    const QString shortcut = FTree.MakeDir(QStringLiteral("Verknüpfung"));
    ASSERT_TRUE(LinkFixture::Write(shortcut + QStringLiteral("/target.lnk"), {QStringLiteral("/srv/musik"), {}, {}, {}, false}));
    const QString broken = FTree.MakeDir(QStringLiteral("Kaputt"));
    FTree.WriteFile(QStringLiteral("Kaputt/target.lnk"), "kein Link");
    const QString plain = FTree.MakeDir(QStringLiteral("Normal"));
    TShellDirDialog& dlg = ShownIn(plain);
    EXPECT_EQ(dlg.cbxSelectedDir->currentText(), plain);
    ASSERT_TRUE(dlg.SetPath(shortcut));
    EXPECT_EQ(dlg.cbxSelectedDir->currentText(), QStringLiteral("/srv/musik"));
    ASSERT_TRUE(dlg.SetPath(broken));
    EXPECT_EQ(dlg.cbxSelectedDir->currentText(), QString());
}

// ---- Up -------------------------------------------------------------------------------------------

TEST_F(ShellDirTest, UpAtEachLevel)
{
    const QString b = FTree.MakeDir(QStringLiteral("a/b"));
    const QString a = FTree.Path(QStringLiteral("a"));
    TShellDirDialog& dlg = ShownIn(b);
    dlg.spbUpClick();  // two or more levels below the top: the parent
    EXPECT_EQ(dlg.Path(), a);
    EXPECT_EQ(dlg.Root(), rfMyComputer);

    // A folder directly below the top node stays; the top node itself leaves a directory
    // root for the computer.
    dlg.SetRoot(FTree.Root());
    dlg.SetPath(a);
    EXPECT_EQ(dlg.SelectedLevel(), 1);
    dlg.spbUpClick();
    EXPECT_EQ(dlg.Path(), a);
    dlg.SetPath(FTree.Root());
    EXPECT_EQ(dlg.SelectedLevel(), 0);
    dlg.spbUpClick();
    EXPECT_EQ(dlg.Root(), rfMyComputer);
    EXPECT_EQ(dlg.Path(), QStringLiteral("/"));
    dlg.spbUpClick();  // the computer's top node: nothing changes
    EXPECT_EQ(dlg.Root(), rfMyComputer);
    EXPECT_EQ(dlg.Path(), QStringLiteral("/"));
}

// ---- Home -------------------------------------------------------------------------------------------

TEST_F(ShellDirTest, HomeOnAnOrdinaryAndADriveRootLikeDefault)
{
    const QString home = FTree.MakeDir(QStringLiteral("Heim/Daten"));
    const QString start = FTree.MakeDir(QStringLiteral("Start"));
    FRuntime.MakeDir(QStringLiteral("gvfs"));
    struct Case {
        const char* what;
        QString defaultDir, rootBefore, rootAfter, pathAfter;
    };
    for (const Case& c : {Case{"ordinary, under the desktop", home, rfDesktop, rfMyComputer, home},
                          Case{"ordinary, under the network", home, rfNetwork, home, home},
                          Case{"the file-system root", QStringLiteral("/"), rfMyComputer, QStringLiteral("/"),
                               QStringLiteral("/")}}) {
        QDir::setCurrent(FCwd);
        QString dir = start;
        QString root, path;
        Run(dir, c.defaultDir, [&](TShellDirDialog& dlg) {
            EXPECT_FALSE(dlg.spbHome->isHidden());
            EXPECT_EQ(dlg.spbHome->toolTip(), QStringLiteral("Standard: ") + c.defaultDir);
            dlg.SetRoot(c.rootBefore);
            dlg.spbHomeClick();
            root = dlg.Root();
            path = dlg.Path();
        });
        EXPECT_EQ(root, c.rootAfter) << c.what;
        EXPECT_EQ(path, c.pathAfter) << c.what;
        EXPECT_EQ(QDir::currentPath(), c.defaultDir) << c.what;
    }
    EXPECT_TRUE(FMessages.empty());

    QString dir = start;
    bool homeHidden = false;
    Run(dir, QString(), [&](TShellDirDialog& dlg) { homeHidden = dlg.spbHome->isHidden(); });
    EXPECT_TRUE(homeHidden);
}

TEST_F(ShellDirTest, HomeShowsTheDefaultFolderOnceItsSiblingsAreRead)
{
    // The default folder's parent is read only when Home selects it: the siblings that arrive
    // then push the folder out of view unless the tree scrolls again.
    for (int i = 0; i < 60; ++i)
        FTree.MakeDir(QStringLiteral("Heim/Ordner%1").arg(i, 2, 10, QLatin1Char('0')));
    const QString home = FTree.Path(QStringLiteral("Heim/Ordner55"));
    QString dir = FTree.MakeDir(QStringLiteral("Start"));
    QString path;
    bool inView = false;
    Run(dir, home, [&](TShellDirDialog& dlg) {
        dlg.spbHomeClick();
        EXPECT_TRUE(dlg.WaitUntilLoaded(kLoadMs));
        path = dlg.Path();
        // All sixty siblings in, sorted, and the folder scrolled to again after them.
        QAbstractItemModel* model = dlg.ShellTreeView->model();
        const QModelIndex parent = dlg.ShellTreeView->currentIndex().parent();
        inView = QTest::qWaitFor([&] { return model->rowCount(parent) == 60 && SelectedNodeInView(dlg); }, kLoadMs);
    });
    EXPECT_EQ(path, home);
    EXPECT_TRUE(inView);
}

TEST_F(ShellDirTest, HomeOnARemovedDefaultReportsAndForgetsIt)
{
    const QString gone = FTree.MakeDir(QStringLiteral("Weg"));
    const QString other = FTree.MakeDir(QStringLiteral("Anderes"));
    TShellDirDialog& dlg = Dialog();
    dlg.AddToHistory(other);
    dlg.AddToHistory(gone);
    QString dir = other;
    QString pathBefore, pathAfter;
    Run(dir, gone, [&](TShellDirDialog& d) {
        QDir(gone).removeRecursively();
        pathBefore = d.Path();
        d.spbHomeClick();
        pathAfter = d.Path();
    });
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("Verzeichnis nicht gefunden:\r\n") + gone + "!"});
    EXPECT_EQ(FMessages[0].kind, DialogKind::Error);
    EXPECT_EQ(dlg.History(), QStringList{other});
    EXPECT_EQ(pathAfter, pathBefore);
}

// ---- Refresh, context menu and root buttons -----------------------------------------------------

TEST_F(ShellDirTest, OpeningTheContextMenuRefreshesFirst)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    TShellDirDialog& dlg = ShownIn(daten);
    EXPECT_TRUE(ShownChildren(dlg).isEmpty());
    FTree.MakeDir(QStringLiteral("Daten/Neu"));
    QStringList during;
    QObject::connect(dlg.PopupMenu, &QMenu::aboutToShow, &dlg, [&] { during = ShownChildren(dlg); },
                     Qt::DirectConnection);
    dlg.PopupMenu->popup(dlg.mapToGlobal(QPoint(150, 100)));
    dlg.PopupMenu->close();
    EXPECT_EQ(ShownChildrenOnceSettled(dlg, {"Neu"}), QStringList{"Neu"});
}

TEST_F(ShellDirTest, RootButtons)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    FHome.MakeDir(QStringLiteral("Desktop"));
    TShellDirDialog& dlg = ShownIn(daten);
    dlg.spbComputer->click();  // the current root: nothing changes
    EXPECT_EQ(dlg.Path(), daten);
    dlg.spbMyFiles->click();
    EXPECT_EQ(dlg.Root(), rfPersonal);
    EXPECT_EQ(dlg.Path(), FDocuments);
    EXPECT_EQ(dlg.SelectedLevel(), 0);
    dlg.spbDesktop->click();
    EXPECT_EQ(dlg.Path(), FHome.Path(QStringLiteral("Desktop")));
    dlg.spbComputer->click();
    EXPECT_EQ(dlg.Path(), QStringLiteral("/"));
}

}  // namespace
