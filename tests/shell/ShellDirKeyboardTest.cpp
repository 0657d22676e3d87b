// The folder chooser by keyboard: the context menu from the menu key and Shift+F10 on the tree
// and the file list, its first entry current, its entries by Return and by access key, Escape
// closing only the menu; the access keys of the window and of the delete question; the small
// buttons' commands by keys and from the menu.
#include "ShellDirFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <map>

using namespace ShellDirDlg;

namespace {

// The access key of a text marked with "&" ("&&" is a plain "&"); a null character without one.
QChar AccessKey(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] != QLatin1Char('&'))
            return text[i + 1].toLower();
        ++i;
    }
    return QChar();
}

class ShellDirKeyboardTest : public ShellDirFixture {
protected:
    TShellDirDialog& ShownWithList()
    {
        const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
        FTree.WriteFile(QStringLiteral("Daten/Jazz-Album.db"));
        TShellDirDialog& dlg = ShownIn(daten);
        dlg.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
        dlg.cbxFiles->setChecked(true);
        EXPECT_TRUE(dlg.PanelRight->isVisible());
        QTreeView* list = dlg.ShellListView;
        EXPECT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 1; }, kLoadMs));
        dlg.ShellListView->setCurrentIndex(dlg.ShellListView->model()->index(0, 0, dlg.ShellListView->rootIndex()));
        return dlg;
    }

    // Presses the key on the view and says whether the menu came up on its first entry.
    static void OpenMenu(TShellDirDialog& dlg, QWidget* view, Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        view->setFocus();
        QTest::keyClick(view, key, modifiers);
        ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.PopupMenu->isVisible(); }, kLoadMs));
        EXPECT_EQ(dlg.PopupMenu->activeAction(), dlg.itmCreate);
    }
};

TEST_F(ShellDirKeyboardTest, MenuKeyAndShiftF10OpenTheMenuAtTheCurrentItemAndEscapeClosesOnlyIt)
{
    TShellDirDialog& dlg = ShownWithList();
    struct Case {
        const char* what;
        QTreeView* view;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    };
    for (const Case& c : {Case{"tree, Shift+F10", dlg.ShellTreeView, Qt::Key_F10, Qt::ShiftModifier},
                          Case{"tree, menu key", dlg.ShellTreeView, Qt::Key_Menu, Qt::NoModifier},
                          Case{"file list, Shift+F10", dlg.ShellListView, Qt::Key_F10, Qt::ShiftModifier},
                          Case{"file list, menu key", dlg.ShellListView, Qt::Key_Menu, Qt::NoModifier}}) {
        SCOPED_TRACE(c.what);
        OpenMenu(dlg, c.view, c.key, c.modifiers);
        // At the current item: the menu's corner lies on the item's row, a little to its right.
        const QRect item = c.view->visualRect(c.view->currentIndex());
        const QRect itemOnScreen(c.view->viewport()->mapToGlobal(item.topLeft()), item.size());
        const QPoint corner = dlg.PopupMenu->geometry().topLeft();
        EXPECT_LE(qAbs(corner.y() - itemOnScreen.bottom()), 2) << corner.y() << " " << itemOnScreen.bottom();
        EXPECT_GE(corner.x(), itemOnScreen.left());
        QTest::keyClick(dlg.PopupMenu, Qt::Key_Escape);
        EXPECT_FALSE(dlg.PopupMenu->isVisible());
        EXPECT_TRUE(dlg.isVisible()) << "Escape closes the menu only";
    }
    // Other keys with F10, and the directory field, open nothing.
    QTest::keyClick(dlg.ShellTreeView, Qt::Key_F10, Qt::ControlModifier);
    QTest::keyClick(dlg.cbxSelectedDir->lineEdit(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_FALSE(dlg.PopupMenu->isVisible());
    EXPECT_TRUE(FInputCaptions.empty());
}

TEST_F(ShellDirKeyboardTest, ReturnAndAccessKeysTriggerTheEntries)
{
    TShellDirDialog& dlg = ShownWithList();
    const QString daten = dlg.Path();
    QSignalSpy refreshed(dlg.itmUpdate, &QAction::triggered);
    QSignalSpy cancelled(dlg.cancel1, &QAction::triggered);

    // Return on the first entry: the new-folder box, for the selected folder.
    OpenMenu(dlg, dlg.ShellTreeView, Qt::Key_F10, Qt::ShiftModifier);
    QTest::keyClick(dlg.PopupMenu, Qt::Key_Return);
    EXPECT_EQ(FInputCaptions, std::vector<QString>{daten});

    // The letters underlined in the entries.
    OpenMenu(dlg, dlg.ShellListView, Qt::Key_Menu, Qt::NoModifier);
    QTest::keyClick(dlg.PopupMenu, Qt::Key_L);
    ASSERT_EQ(FSelectRequests.size(), 1u);
    EXPECT_EQ(FSelectRequests[0].title, QString::fromUtf8("Verzeichnis löschen"));
    OpenMenu(dlg, dlg.ShellTreeView, Qt::Key_Menu, Qt::NoModifier);
    QTest::keyClick(dlg.PopupMenu, Qt::Key_K);
    EXPECT_EQ(refreshed.count(), 1);
    OpenMenu(dlg, dlg.ShellTreeView, Qt::Key_Menu, Qt::NoModifier);
    QTest::keyClick(dlg.PopupMenu, Qt::Key_A);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_FALSE(dlg.PopupMenu->isVisible());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(FSelectRequests.size(), 1u);
    EXPECT_EQ(FInputCaptions.size(), 1u);
}

TEST_F(ShellDirKeyboardTest, EveryLabelButtonAndEntryHasItsOwnAccessKey)
{
    FHome.MakeDir(QStringLiteral("Desktop"));
    TShellDirDialog& dlg = ShownWithList();

    // The window: the label, the switch and the root buttons, each a letter of its own.
    std::map<QChar, QString> taken;
    const std::vector<QString> texts{dlg.Label1->text(),     dlg.cbxFiles->text(),    dlg.spbDesktop->text(),
                                     dlg.spbMyFiles->text(), dlg.spbComputer->text(), dlg.spbNetwork->text()};
    for (const QString& text : texts) {
        const QChar key = AccessKey(text);
        EXPECT_FALSE(key.isNull()) << text.toStdString();
        EXPECT_TRUE(taken.emplace(key, text).second) << text.toStdString() << " and " << taken[key].toStdString();
    }
    // The texts are the known ones, but for the mark.
    QStringList shown;
    for (const QString& text : texts)
        shown << QString(text).remove(QLatin1Char('&'));
    EXPECT_EQ(shown, (QStringList{"Verzeichnis:", "Dateien anzeigen", "Desktop", "Eigene Dokumente", "Computer",
                                  "Netzwerk"}));

    // The menu's entries.
    std::map<QChar, QString> entries;
    for (QAction* action : dlg.PopupMenu->actions()) {
        if (action->isSeparator())
            continue;
        const QChar key = AccessKey(action->text());
        EXPECT_FALSE(key.isNull()) << action->text().toStdString();
        EXPECT_TRUE(entries.emplace(key, action->text()).second) << action->text().toStdString();
    }
    EXPECT_EQ(entries.size(), 6u);

    // They work: Alt+V goes to the directory field, Alt+A switches the file list, Alt+D shows
    // the desktop.
    dlg.ShellTreeView->setFocus();
    QTest::keyClick(&dlg, Qt::Key_V, Qt::AltModifier);
    EXPECT_TRUE(dlg.cbxSelectedDir->hasFocus() || dlg.cbxSelectedDir->lineEdit()->hasFocus());
    QTest::keyClick(&dlg, Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.cbxFiles->isChecked(); }, kLoadMs));
    QTest::keyClick(&dlg, Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.Root() == rfDesktop; }, kLoadMs));
    EXPECT_EQ(dlg.Path(), FHome.Path(QStringLiteral("Desktop")));

    // The delete question's two answers have theirs too; its closing button keeps Escape.
    dlg.itmDelete->trigger();
    ASSERT_EQ(FSelectRequests.size(), 1u);
    EXPECT_EQ(FSelectRequests[0].buttons, (QStringList{QString::fromUtf8("&Endgültig"), "In &Papierkorb"}));
}

}  // namespace

TEST_F(ShellDirKeyboardTest, TheSmallButtonsCommandsHaveKeysAndMenuEntries)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    const QString jazz = FTree.MakeDir(QStringLiteral("Daten/Jazz/Alt"));
    QString dir = jazz;
    Run(dir, daten, [&](TShellDirDialog& dlg) {
        EXPECT_TRUE(dlg.itmHome->isVisible());
        QWidget* field = dlg.cbxSelectedDir->lineEdit();
        // Up: Alt+Up in the tree and in the directory field, and the menu entry.
        QTest::keyClick(dlg.ShellTreeView, Qt::Key_Up, Qt::AltModifier);
        EXPECT_EQ(dlg.Path(), FTree.Path(QStringLiteral("Daten/Jazz")));
        QTest::keyClick(field, Qt::Key_Up, Qt::AltModifier);
        EXPECT_EQ(dlg.Path(), daten);
        dlg.itmUp->trigger();
        EXPECT_EQ(dlg.Path(), FTree.Root());
        // Home: Alt+Home, and the menu entry after a step away.
        QTest::keyClick(dlg.ShellTreeView, Qt::Key_Home, Qt::AltModifier);
        EXPECT_EQ(dlg.Path(), daten);
        dlg.spbComputerClick();
        dlg.itmHome->trigger();
        EXPECT_EQ(dlg.Path(), daten);
        // New folder is the menu's first entry: Return on it asks for the name.
        dlg.ShellTreeView->setFocus();
        QTest::keyClick(dlg.ShellTreeView, Qt::Key_F10, Qt::ShiftModifier);
        ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.PopupMenu->isVisible(); }, kLoadMs));
        QTest::keyClick(dlg.PopupMenu, Qt::Key_Return);
        EXPECT_EQ(FInputCaptions, std::vector<QString>{daten});
    });

    // Without a default directory there is neither the button nor its entry, and Alt+Home
    // does nothing.
    dir = jazz;
    Run(dir, QString(), [&](TShellDirDialog& dlg) {
        EXPECT_FALSE(dlg.spbHome->isVisible());
        EXPECT_FALSE(dlg.itmHome->isVisible());
        QTest::keyClick(dlg.ShellTreeView, Qt::Key_Home, Qt::AltModifier);
        EXPECT_EQ(dlg.Path(), jazz);
        EXPECT_TRUE(dlg.isVisible());
    });
    EXPECT_TRUE(FMessages.empty());
}
