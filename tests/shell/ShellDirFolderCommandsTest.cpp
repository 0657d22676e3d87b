// The folder chooser's folder commands on real temporary trees: a new folder (every level, the
// input box with the whole parent path) and deleting for good or to the trash, links removed
// as links, with the tree following what went.
#include "ShellDirFixture.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

using namespace ShellDirDlg;
using MsgDialogs::DialogKind;

namespace {

// ---- New folder -------------------------------------------------------------------------------------

TEST_F(ShellDirTest, NewFolderCreatesEveryLevelAndSelectsIt)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    TShellDirDialog& dlg = ShownIn(daten);
    dlg.SetRoot(rfDesktop);
    dlg.SetRoot(FTree.Root());
    dlg.SetPath(daten);
    QStringList asked;
    std::optional<QString> answer = QStringLiteral("a/b");
    SetInputHook([&](const QString& caption, const QString& prompt, const QString& text) {
        asked << caption << prompt << text;
        return answer;
    });
    dlg.spbNewClick();
    EXPECT_EQ(asked, (QStringList{daten, QStringLiteral("Neues Unterverzeichnis:"), QString()}));
    EXPECT_TRUE(QFileInfo(daten + QStringLiteral("/a/b")).isDir());
    EXPECT_EQ(dlg.Root(), rfMyComputer);
    EXPECT_EQ(dlg.Path(), daten + QStringLiteral("/a/b"));

    answer = QString();  // an empty text names the selected folder itself
    dlg.spbNewClick();
    EXPECT_EQ(dlg.Path(), daten + QStringLiteral("/a/b"));

    answer = std::nullopt;  // cancelled
    dlg.SetPath(daten);
    dlg.spbNewClick();
    EXPECT_EQ(dlg.Path(), daten);
    EXPECT_TRUE(FMessages.empty());

    FTree.WriteFile(QStringLiteral("Daten/datei"));
    answer = QStringLiteral("datei/x");
    dlg.spbNewClick();
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("Verzeichnis:\r\n") + daten +
                                          QStringLiteral("/datei/x\r\nkonnte nicht erstellt werden!")});
    EXPECT_EQ(dlg.Path(), daten);
}

TEST_F(ShellDirTest, TheNewFolderBoxShowsTheWholeParentPath)
{
    // A long path fits the box on this 1280-pixel screen; a far longer one is shortened in
    // the middle, keeping both ends.
    SetInputHook({});  // the box itself, not the fixture's answer
    const QString longName(60, QLatin1Char('l'));
    const QString fits = FTree.MakeDir(QStringLiteral("Sammlungen/Klassik und Jazz aus aller Welt/") + longName);
    const QString tooLong = FTree.MakeDir(QStringLiteral("Sammlungen/") + QString(200, QLatin1Char('a')) + QLatin1Char('/')
                                          + QString(200, QLatin1Char('b')) + QStringLiteral("/Musik"));
    for (const QString& parent : {fits, tooLong}) {
        TShellDirDialog& dlg = ShownIn(parent);
        QString title, shown;
        DialogTest::WhenShown(QStringLiteral("ShellDirNewFolder"), [&](QDialog* box) {
            title = box->windowTitle();
            if (auto* path = box->findChild<TPathLabel*>())
                shown = path->ShownText();
            auto* edit = box->findChild<QLineEdit*>();
            ASSERT_NE(edit, nullptr);
            QTest::keyClicks(edit, QStringLiteral("Neu"));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        dlg.spbNewClick();
        EXPECT_EQ(title, parent);
        if (parent == fits) {
            EXPECT_EQ(shown, parent);
        } else {
            EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
            EXPECT_TRUE(shown.startsWith(FTree.Root())) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith(QStringLiteral("/Musik"))) << shown.toStdString();
        }
        EXPECT_EQ(dlg.Path(), parent + QStringLiteral("/Neu"));
        EXPECT_TRUE(dlg.isVisible());
    }
}

// ---- Delete -----------------------------------------------------------------------------------------

TEST_F(ShellDirTest, DeleteCancelledChangesNothing)
{
    const QString alt = FTree.MakeDir(QStringLiteral("Daten/Alt"));
    TShellDirDialog& dlg = ShownIn(alt);
    EXPECT_TRUE(ShownChildren(dlg).isEmpty());
    FTree.MakeDir(QStringLiteral("Daten/Alt/spaeter"));  // would show after a refresh
    FSelectAnswer = -1;
    dlg.itmDeleteClick();
    ASSERT_EQ(FSelectRequests.size(), 1u);
    const SelectDlg::SelectRequest& r = FSelectRequests[0];
    EXPECT_EQ(r.title, QStringLiteral("Verzeichnis löschen"));
    EXPECT_EQ(r.caption, QStringLiteral("Lösche \"") + alt + QStringLiteral("\""));
    EXPECT_EQ(r.kind, DialogKind::Confirmation);
    EXPECT_EQ(r.captionFormat, SelectDlg::Bold);
    EXPECT_EQ(r.buttons, (QStringList{QStringLiteral("&Endgültig"), QStringLiteral("In &Papierkorb")}));
    EXPECT_TRUE(r.option.isEmpty());
    EXPECT_EQ(r.buttonWidth, 0);
    EXPECT_EQ(r.preSelection, -1);
    EXPECT_TRUE(r.defaultButton.isEmpty());

    EXPECT_TRUE(QFileInfo(alt).isDir());
    EXPECT_EQ(dlg.Path(), alt);
    EXPECT_TRUE(ShownChildren(dlg).isEmpty());  // not refreshed
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(ShellDirTest, DeleteForGoodCountsWhatWent)
{
    FTree.WriteFile(QStringLiteral("Daten/Alt/eins.txt"));
    FTree.WriteFile(QStringLiteral("Daten/Alt/zwei.txt"));
    FTree.WriteFile(QStringLiteral("Daten/Alt/Unter/drei.txt"));
    FTree.MakeDir(QStringLiteral("Daten/Bleibt"));
    const QString alt = FTree.Path(QStringLiteral("Daten/Alt"));
    TShellDirDialog& dlg = ShownIn(alt);
    FSelectAnswer = 0;
    dlg.itmDeleteClick();
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("2 Verzeichnisse mit 3 Dateien gelöscht!")});
    EXPECT_EQ(FMessages[0].kind, DialogKind::Information);
    EXPECT_FALSE(EntryExists(alt));
    EXPECT_EQ(dlg.Path(), FTree.Path(QStringLiteral("Daten")));
    EXPECT_EQ(ShownChildrenOnceSettled(dlg, {"Bleibt"}), QStringList{"Bleibt"});  // refreshed

    // A folder that is gone already: nothing to count.
    FMessages.clear();
    const QString bleibt = FTree.Path(QStringLiteral("Daten/Bleibt"));
    dlg.SetPath(bleibt);
    QDir(bleibt).removeRecursively();
    dlg.itmDeleteClick();
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("0 Verzeichnisse mit 0 Dateien gelöscht!")});
}

TEST_F(ShellDirTest, DeletedFoldersLeaveTheTree)
{
    // Directly below the top node the deleted folder stays selected by Up: its parent takes
    // the selection and is read again, either way of deleting.
    FTree.MakeDir(QStringLiteral("Bleibt"));
    for (const int answer : {0, 1}) {
        const QString gone = FTree.MakeDir(QStringLiteral("Weg%1").arg(answer));
        TShellDirDialog& dlg = ShownIn(gone);
        dlg.SetRoot(FTree.Root());
        ASSERT_TRUE(dlg.SetPath(gone));
        ASSERT_EQ(dlg.SelectedLevel(), 1);
        FSelectAnswer = answer;
        dlg.itmDeleteClick();
        EXPECT_FALSE(EntryExists(gone)) << answer;
        EXPECT_EQ(dlg.Path(), FTree.Root()) << answer;
        EXPECT_EQ(dlg.cbxSelectedDir->currentText(), FTree.Root()) << answer;
        EXPECT_EQ(ShownChildrenOnceSettled(dlg, {"Bleibt"}), QStringList{"Bleibt"}) << answer;
    }

    // The top node itself: the tree goes to the computer, and the folder's parent, read
    // before, is read again.
    const QString top = FTree.MakeDir(QStringLiteral("Oben"));
    TShellDirDialog& dlg = ShownIn(top);
    dlg.SetRoot(top);
    FSelectAnswer = 0;
    dlg.itmDeleteClick();
    EXPECT_EQ(dlg.Root(), rfMyComputer);
    ASSERT_TRUE(dlg.SetPath(FTree.Root()));
    EXPECT_EQ(ShownChildrenOnceSettled(dlg, {"Bleibt"}), QStringList{"Bleibt"});
}

TEST_F(ShellDirTest, DeleteForGoodRemovesALinkedFolderAsALink)
{
    const QString kept = FTree.WriteFile(QStringLiteral("Ziel/eins.txt"), "eins");
    FTree.MakeDir(QStringLiteral("Daten"));
    const QString link = FTree.Link(QStringLiteral("Daten/Verweis"), FTree.Path(QStringLiteral("Ziel")));
    TShellDirDialog& dlg = ShownIn(link);
    ASSERT_EQ(dlg.Path(), link);
    FSelectAnswer = 0;
    dlg.itmDeleteClick();
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("0 Verzeichnisse mit 1 Dateien gelöscht!")});
    EXPECT_FALSE(EntryExists(link));
    EXPECT_EQ(ReadAll(kept).toStdString(), "eins");
}

TEST_F(ShellDirTest, DeleteToTheTrash)
{
    FTree.WriteFile(QStringLiteral("Daten/Alt/eins.txt"));
    const QString alt = FTree.Path(QStringLiteral("Daten/Alt"));
    TShellDirDialog& dlg = ShownIn(alt);
    FSelectAnswer = 1;
    dlg.itmDeleteClick();
    EXPECT_EQ(MessageTexts(), QStringList{alt + QStringLiteral(" wurde in den Papierkorb verschoben!")});
    EXPECT_FALSE(EntryExists(alt));
    EXPECT_TRUE(QFileInfo::exists(FHome.Path(QStringLiteral(".local/share/Trash/files/Alt/eins.txt"))));
    EXPECT_TRUE(ShownChildrenOnceSettled(dlg, {}).isEmpty());

    // A failure of either way is reported with the folder's path.
    FMessages.clear();
    const QString vanished = FTree.MakeDir(QStringLiteral("Daten/Fluechtig"));
    dlg.SetPath(vanished);
    QDir(vanished).removeRecursively();
    dlg.itmDeleteClick();
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("Fehler beim Löschen des Verzeichnisses:\r\n") + vanished + "!"});
    EXPECT_EQ(FMessages[0].kind, DialogKind::Error);
}

}  // namespace
