// The folder chooser's Execute on real temporary directory trees: the start directory and its
// fallbacks, network paths, hidden folders, confirming and cancelling by key, and the history.
#include "ShellDirFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace ShellDirDlg;
using MsgDialogs::DialogKind;

namespace {

// ---- Execute ---------------------------------------------------------------------------

TEST_F(ShellDirTest, ConfirmingAtOnceReturnsTheStartDirectoryWithOneDelimiter)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    QString dir = daten;
    QString rootSeen, textSeen;
    EXPECT_TRUE(Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        rootSeen = dlg.Root();
        textSeen = dlg.cbxSelectedDir->currentText();
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Standardverzeichnis für Kataloge"));
        EXPECT_TRUE(dlg.btbOK->isEnabled());
        dlg.btbOK->click();
    }));
    EXPECT_EQ(rootSeen, rfMyComputer);
    EXPECT_EQ(textSeen, daten);
    EXPECT_EQ(dir, daten + QLatin1Char('/'));
    EXPECT_EQ(Dialog().History(), QStringList{daten});
}

TEST_F(ShellDirTest, StartDirectoryFallbacks)
{
    const QString home = FTree.MakeDir(QStringLiteral("Heim"));
    const QString cwd = FTree.MakeDir(QStringLiteral("Arbeit"));
    QDir::setCurrent(cwd);
    struct Case {
        const char* what;
        QString dir, home, expected;
        bool removeDocuments;
    };
    const QString missing = FTree.Path(QStringLiteral("fehlt"));
    for (const Case& c : {Case{"empty Dir, existing HomeDir", QString(), home, home, false},
                          Case{"missing Dir, existing HomeDir", missing, home, home, false},
                          Case{"both missing: documents", missing, missing, FDocuments, false},
                          Case{"no documents either: current directory", QString(), missing, cwd, true}}) {
        // Without a documents folder the home folder may stand in: it is missing as well.
        std::optional<ScopedEnv> noHome;
        if (c.removeDocuments) {
            QDir(FDocuments).removeRecursively();
            noHome.emplace("HOME", FTree.Path(QStringLiteral("kein Heim")));
        }
        QString dir = c.dir;
        QString started;
        EXPECT_FALSE(Run(dir, c.home, [&](TShellDirDialog& dlg) { started = dlg.Path(); })) << c.what;
        EXPECT_EQ(started, c.expected) << c.what;
        EXPECT_EQ(dir, c.dir) << c.what << ": cancelling leaves Dir alone";
    }
    EXPECT_TRUE(Dialog().History().isEmpty());
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(ShellDirTest, NetworkStartPathNeedsNetworkBrowsing)
{
    const QString home = FTree.MakeDir(QStringLiteral("Heim"));
    // Without the network mounts folder the button is hidden and a network path is refused.
    QString dir = FRuntime.Path(QStringLiteral("gvfs/smb-share:server=srv,share=x/Musik"));
    QString started;
    Run(dir, home, [&](TShellDirDialog& dlg) {
        EXPECT_TRUE(dlg.spbNetwork->isHidden());
        started = dlg.Path();
    });
    EXPECT_EQ(started, home);
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].kind, DialogKind::Error);
    EXPECT_EQ(FMessages[0].text,
              QStringLiteral("Das Durchsuchen der Netzwerkumgebung wird von diesem System nicht unterstützt!"));

    // With it (checked when the window is made), the tree opens under the network root.
    FDialog.reset();
    FMessages.clear();
    const QString share = FRuntime.MakeDir(QStringLiteral("gvfs/smb-share:server=srv,share=x/Musik"));
    QString rootSeen;
    Run(dir, home, [&](TShellDirDialog& dlg) {
        EXPECT_FALSE(dlg.spbNetwork->isHidden());
        rootSeen = dlg.Root();
        started = dlg.Path();
    });
    EXPECT_EQ(rootSeen, rfNetwork);
    EXPECT_EQ(started, share);
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(ShellDirTest, HiddenFoldersOnlyWhenAsked)
{
    const QString base = FTree.MakeDir(QStringLiteral("Basis"));
    FTree.MakeDir(QStringLiteral("Basis/sichtbar"));
    FTree.MakeDir(QStringLiteral("Basis/.versteckt"));
    for (const bool hidden : {false, true, false}) {
        QString dir = base;
        QStringList shown;
        Run(dir, FDocuments, [&](TShellDirDialog& dlg) { shown = ShownChildren(dlg); }, true, hidden);
        const QStringList expected = hidden ? QStringList{".versteckt", "sichtbar"} : QStringList{"sichtbar"};
        EXPECT_EQ(shown, expected) << "hidden " << hidden;
    }
}

TEST_F(ShellDirTest, EachOpeningShowsTheFoldersAsTheyAreThen)
{
    const QString base = FTree.MakeDir(QStringLiteral("Basis"));
    const QString alt = FTree.MakeDir(QStringLiteral("Basis/alt"));
    FTree.MakeDir(QStringLiteral("Basis/alt/eins"));
    QString dir = base;
    QStringList shown, below, whileOpen;
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        shown = ShownChildren(dlg);
        // Not while the window is open: only F5 and the commands read a folder again.
        FTree.MakeDir(QStringLiteral("Basis/spät"));
        whileOpen = ShownChildren(dlg);
        ASSERT_TRUE(dlg.SetPath(alt));
        below = ShownChildren(dlg);
    });
    EXPECT_EQ(shown, QStringList{"alt"});
    EXPECT_EQ(whileOpen, QStringList{"alt"});
    EXPECT_EQ(below, QStringList{"eins"});

    // Made and removed while the window was closed, also in a folder read before.
    FTree.MakeDir(QStringLiteral("Basis/neu"));
    FTree.MakeDir(QStringLiteral("Basis/alt/zwei"));
    ASSERT_TRUE(QDir(alt).rmdir(QStringLiteral("eins")));
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        shown = ShownChildren(dlg);
        ASSERT_TRUE(dlg.SetPath(alt));
        below = ShownChildren(dlg);
    });
    EXPECT_EQ(shown, (QStringList{"alt", "neu", "spät"}));
    EXPECT_EQ(below, QStringList{"zwei"});
}

// ---- Keys ------------------------------------------------------------------------------------

TEST_F(ShellDirTest, EnterConfirmsAndOnlyThePlainOneOnAnEnabledOkExtendsTheHistory)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    struct Case {
        const char* what;
        Qt::KeyboardModifiers modifiers;
        QString typed;  // null: keep the selected folder
        QString expected;
        bool extendsHistory;
    };
    const QString typed = FTree.Path(QStringLiteral("gibt es nicht"));
    for (const Case& c : {Case{"Shift+Enter", Qt::ShiftModifier, QString(), daten + "/", false},
                          Case{"Enter on a disabled OK", Qt::NoModifier, typed, typed + "/", false},
                          Case{"Enter", Qt::NoModifier, QString(), daten + "/", true}}) {
        const QStringList before = Dialog().History();
        QString dir = daten;
        bool okEnabled = true;
        EXPECT_TRUE(Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
            if (!c.typed.isNull()) {
                dlg.cbxSelectedDir->lineEdit()->selectAll();
                QTest::keyClicks(dlg.cbxSelectedDir->lineEdit(), c.typed);
            }
            okEnabled = dlg.btbOK->isEnabled();
            QTest::keyClick(dlg.ShellTreeView, Qt::Key_Return, c.modifiers);
        })) << c.what;
        EXPECT_EQ(okEnabled, c.typed.isNull()) << c.what;
        EXPECT_EQ(dir, c.expected) << c.what;
        EXPECT_EQ(Dialog().History().size(), before.size() + (c.extendsHistory ? 1 : 0)) << c.what;
    }
    QString dir = daten;
    EXPECT_FALSE(Run(dir, FDocuments, [](TShellDirDialog& dlg) { QTest::keyClick(dlg.ShellTreeView, Qt::Key_Escape); }));
}

TEST_F(ShellDirTest, AnOpenEditorKeepsEnterAndEscapeToItself)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    QString dir = daten;
    std::vector<bool> openAfter;
    EXPECT_FALSE(Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        const QModelIndex node = dlg.ShellTreeView->currentIndex();
        dlg.ShellTreeView->openPersistentEditor(node);
        QWidget* editor = dlg.ShellTreeView->indexWidget(node);
        ASSERT_NE(editor, nullptr);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            editor->setFocus();
            QTest::keyClick(editor, key);
            QCoreApplication::processEvents();
            openAfter.push_back(dlg.isVisible());
        }
        dlg.ShellTreeView->closePersistentEditor(node);
    }));
    EXPECT_EQ(openAfter, (std::vector<bool>{true, true, true}));
    EXPECT_TRUE(Dialog().History().isEmpty());
}

TEST_F(ShellDirTest, OnlyPlainF5RefreshesTheSelectedFolder)
{
    const QString base = FTree.MakeDir(QStringLiteral("Basis/alt"));
    TShellDirDialog& dlg = ShownIn(QFileInfo(base).path());
    EXPECT_EQ(ShownChildren(dlg), QStringList{"alt"});
    FTree.MakeDir(QStringLiteral("Basis/neu"));
    QTest::keyClick(dlg.ShellTreeView, Qt::Key_F5, Qt::ControlModifier);
    EXPECT_EQ(ShownChildren(dlg), QStringList{"alt"});  // the tree does not follow the disk
    QTest::keyClick(dlg.ShellTreeView, Qt::Key_F5);
    EXPECT_EQ(ShownChildren(dlg), (QStringList{"alt", "neu"}));
}

// ---- History ---------------------------------------------------------------------------------

TEST_F(ShellDirTest, HistoryComparesDirectoriesByThePlatformsRule)
{
    TShellDirDialog& dlg = Dialog();
    dlg.AddToHistory(QStringLiteral("/x/Daten"));
    dlg.AddToHistory(QStringLiteral("/x/Daten"));   // equal: nothing
    dlg.AddToHistory(QStringLiteral("/x/daten"));   // another directory on this system
    dlg.AddToHistory(QStringLiteral("/x/Daten/"));  // another text
    EXPECT_EQ(dlg.History(), (QStringList{"/x/Daten", "/x/daten", "/x/Daten/"}));

    dlg.cbxSelectedDir->setEditText(QStringLiteral("/y"));
    dlg.RemoveFromHistory(QStringLiteral("/x/daten"));
    EXPECT_EQ(dlg.History(), (QStringList{"/x/Daten", "/x/Daten/"}));
    EXPECT_EQ(dlg.cbxSelectedDir->currentText(), QStringLiteral("/x/Daten"));  // the first entry is selected
    dlg.RemoveFromHistory(QStringLiteral("/x/Daten"));
    dlg.RemoveFromHistory(QStringLiteral("/x/Daten/"));
    EXPECT_TRUE(dlg.History().isEmpty());
}

TEST_F(ShellDirTest, DropDownOnlyOnceThereIsHistory)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    QString dir = daten;
    bool first = true, second = false;
    int firstRoom = 0, secondRoom = 0;  // how much of the field the text leaves to the arrow
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        first = dlg.cbxSelectedDir->HasDropDown();
        firstRoom = dlg.cbxSelectedDir->width() - dlg.cbxSelectedDir->lineEdit()->geometry().right();
        dlg.btbOK->click();
    });
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        second = dlg.cbxSelectedDir->HasDropDown();
        secondRoom = dlg.cbxSelectedDir->width() - dlg.cbxSelectedDir->lineEdit()->geometry().right();
    });
    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    EXPECT_LE(firstRoom, 6);    // a plain edit field
    EXPECT_GE(secondRoom, 12);  // room for the arrow again

    // Picking an entry from the list goes there once the list has closed.
    const QString other = FTree.MakeDir(QStringLiteral("Anderes"));
    Dialog().AddToHistory(other);
    QString reached;
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        dlg.cbxSelectedDir->showPopup();
        dlg.cbxSelectedDir->setCurrentIndex(1);
        dlg.cbxSelectedDir->hidePopup();
        EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.Path() == other; }, kLoadMs));
        reached = dlg.Path();
    });
    EXPECT_EQ(reached, other);
}

}  // namespace
