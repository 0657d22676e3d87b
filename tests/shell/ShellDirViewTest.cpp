// What the folder chooser shows: the file list's columns, the desktop root without a desktop
// folder, and expand marks only on folders that hold folders.
#include "ShellDirFixture.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QTest>
#include <QToolButton>

using namespace ShellDirDlg;

namespace {

using ShellDirViewTest = ShellDirFixture;

TEST_F(ShellDirViewTest, TheNamesTakeTheRoomTheOtherColumnsWhatTheirLongestEntryNeeds)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    FTree.WriteFile(QStringLiteral("Daten/Demo-Album.db"), QByteArray(22000, 'a'));
    FTree.WriteFile(QStringLiteral("Daten/README"), QByteArray(10, 'a'));
    TShellDirDialog& dlg = ShownIn(daten);
    dlg.cbxFiles->setChecked(true);
    QTreeView* list = dlg.ShellListView;
    QAbstractItemModel* model = list->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(list->rootIndex()) == 2; }, kLoadMs));
    QHeaderView* header = list->header();
    const QFontMetrics metrics = list->fontMetrics();

    // Each of size, type and date: its heading and every entry fit, with no more than a small
    // margin to spare (a column that keeps room of its own shows as "Demo-..." in the names).
    const auto checkColumns = [&](const char* when) {
        SCOPED_TRACE(when);
        QTest::qWait(0);
        int sum = 0;
        for (int c = 0; c < 4; ++c)
            sum += header->sectionSize(c);
        EXPECT_EQ(sum, list->viewport()->width()) << "the four columns fill the list";
        for (int c = 1; c < 4; ++c) {
            int widest = 0;
            for (int r = 0; r < model->rowCount(list->rootIndex()); ++r)
                widest = qMax(widest,
                              metrics.horizontalAdvance(model->index(r, c, list->rootIndex()).data().toString()));
            // The heading: with room for the sort mark where it shows, its text at least elsewhere.
            const bool sorted = header->sortIndicatorSection() == c;
            const int heading = sorted ? header->sectionSizeHint(c)
                                       : header->fontMetrics().horizontalAdvance(
                                             model->headerData(c, Qt::Horizontal).toString());
            EXPECT_GT(header->sectionSize(c), widest) << "column " << c;
            EXPECT_GE(header->sectionSize(c), heading) << "column " << c;
            EXPECT_LE(header->sectionSize(c), qMax(widest, heading) + 24) << "column " << c;
        }
    };
    checkColumns("at design width");
    EXPECT_LT(header->sectionSize(3), header->sectionSizeHint(3)) << "no room for a sort mark it does not show";
    EXPECT_GT(header->sectionSize(0), metrics.horizontalAdvance(QStringLiteral("Demo-Album.db")));

    // A longer type turns up: its column grows as the list reads it.
    const int typeBefore = header->sectionSize(2);
    FTree.WriteFile(QStringLiteral("Daten/Liste.sqlite3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(list->rootIndex()) == 3; }, kLoadMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return header->sectionSize(2) > typeBefore; }, kLoadMs));
    checkColumns("after a new file");

    // A wider list gives the names more, the others nothing.
    const int nameColumn = header->sectionSize(0);
    const QList<int> others{header->sectionSize(1), header->sectionSize(2), header->sectionSize(3)};
    QTest::mousePress(dlg.Splitter, Qt::LeftButton, {}, QPoint(1, 100));
    QTest::mouseMove(dlg.Splitter, QPoint(-99, 100));
    QTest::mouseRelease(dlg.Splitter, Qt::LeftButton, {}, QPoint(-99, 100));
    EXPECT_EQ(header->sectionSize(0), nameColumn + 100);
    EXPECT_EQ((QList<int>{header->sectionSize(1), header->sectionSize(2), header->sectionSize(3)}), others);
    checkColumns("wider");

    // Sorted by date, that heading makes room for the mark.
    list->sortByColumn(3, Qt::DescendingOrder);
    ASSERT_TRUE(QTest::qWaitFor([&] { return header->sectionSize(3) >= header->sectionSizeHint(3); }, kLoadMs));
    checkColumns("sorted by date");
}

TEST_F(ShellDirViewTest, DesktopWithoutItsFolderShowsTheHomeFolderAndSaysSo)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    TShellDirDialog& dlg = ShownIn(daten);
    dlg.spbDesktop->click();
    EXPECT_EQ(dlg.Root(), rfDesktop);
    EXPECT_EQ(dlg.Path(), FHome.Root()) << "the home folder, not the file-system root";
    EXPECT_EQ(dlg.SelectedLevel(), 0);
    const QString hint = dlg.spbDesktop->toolTip();
    EXPECT_TRUE(hint.contains(QStringLiteral("kein Desktop-Verzeichnis"))) << hint.toStdString();
    EXPECT_TRUE(hint.contains(FHome.Path(QStringLiteral("Desktop")))) << hint.toStdString();
    EXPECT_TRUE(hint.contains(FHome.Root() + QLatin1Char('.'))) << hint.toStdString();

    // With a desktop folder: that folder, and nothing to explain.
    const QString desktop = FHome.MakeDir(QStringLiteral("Desktop"));
    dlg.spbComputer->click();
    dlg.spbDesktop->click();
    EXPECT_EQ(dlg.Path(), desktop);
    EXPECT_TRUE(dlg.spbDesktop->toolTip().isEmpty());
}

TEST_F(ShellDirViewTest, OnlyFoldersThatHoldFoldersShowAnExpandMark)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    FTree.MakeDir(QStringLiteral("Daten/Leer"));
    FTree.MakeDir(QStringLiteral("Daten/Voll/Unter"));
    FTree.WriteFile(QStringLiteral("Daten/NurDateien/a.txt"));
    FTree.MakeDir(QStringLiteral("Daten/Versteckt/.innen"));
    FTree.MakeDir(QStringLiteral("Daten/Verweis"));
    FTree.Link(QStringLiteral("Daten/Verweis/ziel"), FTree.Path(QStringLiteral("Daten/Voll")));
    TShellDirDialog& dlg = ShownIn(daten);
    dlg.ShellTreeView->expand(dlg.ShellTreeView->currentIndex());
    ASSERT_TRUE(dlg.WaitUntilLoaded(kLoadMs));
    QAbstractItemModel* model = dlg.ShellTreeView->model();
    const auto marked = [&](const QString& name) {
        const QModelIndex node = dlg.ShellTreeView->currentIndex();
        for (int r = 0; r < model->rowCount(node); ++r) {
            const QModelIndex child = model->index(r, 0, node);
            if (child.data().toString() == name)
                return model->hasChildren(child);
        }
        ADD_FAILURE() << "no folder " << name.toStdString();
        return false;
    };
    EXPECT_FALSE(marked(QStringLiteral("Leer")));
    EXPECT_TRUE(marked(QStringLiteral("Voll")));
    EXPECT_FALSE(marked(QStringLiteral("NurDateien")));
    EXPECT_FALSE(marked(QStringLiteral("Versteckt"))) << "its only folder is hidden";
    EXPECT_TRUE(marked(QStringLiteral("Verweis"))) << "a link to a folder counts";

    // A folder made by the command is empty, and so unmarked; one made below it marks it.
    ShellDirDlg::SetInputHook([](const QString&, const QString&, const QString&) {
        return std::optional<QString>(QStringLiteral("Neu"));
    });
    dlg.spbNewClick();
    EXPECT_EQ(dlg.Path(), FTree.Path(QStringLiteral("Daten/Neu")));
    EXPECT_FALSE(model->hasChildren(dlg.ShellTreeView->currentIndex()));
    ShellDirDlg::SetInputHook([](const QString&, const QString&, const QString&) {
        return std::optional<QString>(QStringLiteral("Neu/Innen"));
    });
    ASSERT_TRUE(dlg.SetPath(daten));
    dlg.spbNewClick();
    ASSERT_TRUE(dlg.SetPath(FTree.Path(QStringLiteral("Daten/Neu"))));
    EXPECT_TRUE(model->hasChildren(dlg.ShellTreeView->currentIndex()));
}

}  // namespace
