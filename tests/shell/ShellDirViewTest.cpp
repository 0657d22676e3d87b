// What the folder chooser shows: the file list (its switch and the window's width, its files,
// columns and German texts), the desktop root without a desktop folder, and expand marks only
// on folders that hold folders.
#include "ShellDirFixture.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QRubberBand>
#include <QTest>
#include <QToolButton>

using namespace ShellDirDlg;

namespace {

using ShellDirViewTest = ShellDirFixture;

// ---- File list ---------------------------------------------------------------------------------

TEST_F(ShellDirTest, FileViewSwitchesTheListAndTheWindowWidth)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    FTree.WriteFile(QStringLiteral("Daten/Jazz-Album.db"));
    QString dir = daten;
    Dialog().cbxFiles->setChecked(true);

    // FileView off hides the switch and the list even when the switch is ticked.
    int leftWidth = 0, width = 0;
    bool boxHidden = false, listHidden = false;
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        boxHidden = dlg.cbxFiles->isHidden();
        listHidden = dlg.PanelRight->isHidden();
        leftWidth = dlg.PanelLeft->width();
        width = dlg.width();
    }, false);
    EXPECT_TRUE(boxHidden);
    EXPECT_TRUE(listHidden);
    EXPECT_EQ(width, leftWidth);

    // In the open window the switch widens the window to the list's right edge and back.
    int shownWidth = 0, listRight = 0, hiddenWidth = 0, nameColumn = 0, sizeColumn = 0, xWidth = 0;
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        dlg.cbxFiles->setChecked(false);
        const int narrow = dlg.width();
        dlg.cbxFiles->setChecked(true);
        shownWidth = dlg.width();
        listRight = dlg.PanelRight->geometry().right() + 1;
        EXPECT_EQ(shownWidth, narrow + 3 + dlg.PanelRight->width());
        EXPECT_TRUE(dlg.ShellListView->rootIndex().isValid());
        EXPECT_EQ(dlg.ShellListView->rootIndex().data().toString(), QStringLiteral("Daten"));
        xWidth = dlg.fontMetrics().horizontalAdvance(QLatin1Char('X'));
        nameColumn = dlg.ShellListView->columnWidth(0);
        sizeColumn = dlg.ShellListView->columnWidth(1);
        // Dragging the bar 40 pixels to the left widens the list by as much.
        const int listWidth = dlg.PanelRight->width();
        const int barLeft = dlg.Splitter->x();
        QTest::mousePress(dlg.Splitter, Qt::LeftButton, {}, QPoint(1, 100));
        QTest::mouseMove(dlg.Splitter, QPoint(-39, 100));
        // While dragged, a line shows where the border will go; nothing moves yet.
        auto* line = dlg.Splitter->findChild<QRubberBand*>();
        if (line == nullptr)
            line = dlg.findChild<QRubberBand*>();
        ASSERT_NE(line, nullptr);
        EXPECT_TRUE(line->isVisible());
        EXPECT_EQ(line->x(), barLeft - 40);
        EXPECT_EQ(dlg.PanelRight->width(), listWidth);
        QTest::mouseRelease(dlg.Splitter, Qt::LeftButton, {}, QPoint(-39, 100));
        EXPECT_FALSE(line->isVisible());
        EXPECT_EQ(dlg.PanelRight->width(), listWidth + 40);
        EXPECT_EQ(dlg.PanelLeft->width() + 3 + dlg.PanelRight->width(), dlg.width());
        dlg.cbxFiles->setChecked(false);
        hiddenWidth = dlg.width();
        EXPECT_EQ(hiddenWidth, dlg.PanelLeft->width());
    });
    EXPECT_EQ(shownWidth, listRight);
    EXPECT_EQ(hiddenWidth, leftWidth - 40);
    EXPECT_LT(sizeColumn, 12 * xWidth) << "the size column takes what its texts need";
    EXPECT_GT(nameColumn, 0);
}

TEST_F(ShellDirTest, TheFileListShowsFilesOnlyReadOnlyAndInGerman)
{
    const QString unter = FTree.MakeDir(QStringLiteral("Daten/Unter"));
    FTree.WriteFile(QStringLiteral("Daten/Unter/x.txt"));
    const QString album = FTree.WriteFile(QStringLiteral("Daten/Jazz-Album.db"), QByteArray(1500, 'a'));
    FTree.WriteFile(QStringLiteral("Daten/Liesmich"), QByteArray());
    {
        QFile file(album);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7)), QFileDevice::FileModificationTime));
    }
    Dialog().cbxFiles->setChecked(true);
    QString dir = unter;  // the list has been in "Unter": the model keeps that folder
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        ASSERT_TRUE(dlg.SetPath(FTree.Path(QStringLiteral("Daten"))));
        const QStringList files{QStringLiteral("Jazz-Album.db"), QStringLiteral("Liesmich")};
        EXPECT_TRUE(QTest::qWaitFor([&] { return ListColumn(dlg, 0) == files; }, kLoadMs)) << ListColumn(dlg, 0).join(',').toStdString();

        QAbstractItemModel* model = dlg.ShellListView->model();
        QStringList headings;
        for (int c = 0; c < 4; ++c)
            headings << model->headerData(c, Qt::Horizontal).toString();
        EXPECT_EQ(headings, (QStringList{"Name", "Größe", "Typ", "Änderungsdatum"}));
        EXPECT_EQ(ListColumn(dlg, 1), (QStringList{"2 KB", "0 KB"}));
        EXPECT_EQ(ListColumn(dlg, 2), (QStringList{"DB-Datei", "Datei"}));
        EXPECT_EQ(ListColumn(dlg, 3).value(0), QStringLiteral("05.03.2024 14:07"));

        // Sorted by what the columns show.
        dlg.ShellListView->sortByColumn(2, Qt::AscendingOrder);
        EXPECT_EQ(ListColumn(dlg, 0), (QStringList{"Liesmich", "Jazz-Album.db"}));
        dlg.ShellListView->sortByColumn(0, Qt::AscendingOrder);

        // Nothing can be renamed.
        const QModelIndex first = model->index(0, 0, dlg.ShellListView->rootIndex());
        EXPECT_FALSE(model->flags(first) & Qt::ItemIsEditable);
        dlg.ShellListView->setCurrentIndex(first);
        dlg.ShellListView->edit(first);
        QTest::keyClick(dlg.ShellListView, Qt::Key_F2);
        EXPECT_EQ(dlg.ShellListView->viewport()->findChild<QLineEdit*>(), nullptr);

        // In the list's width at design, size, type and date are never cut and all four
        // columns fit.
        QHeaderView* header = dlg.ShellListView->header();
        const QFontMetrics metrics = dlg.ShellListView->fontMetrics();
        int total = 0;
        for (int c = 0; c < 4; ++c) {
            // The sorted column's heading has room for the sort mark, the others for their text.
            if (c > 0) {
                const int heading = header->sortIndicatorSection() == c
                                        ? header->sectionSizeHint(c)
                                        : header->fontMetrics().horizontalAdvance(
                                              model->headerData(c, Qt::Horizontal).toString());
                EXPECT_GE(header->sectionSize(c), heading) << "column " << c;
            }
            total += header->sectionSize(c);
        }
        EXPECT_GT(header->sectionSize(3), metrics.horizontalAdvance(QStringLiteral("05.03.2024 14:07")));
        EXPECT_LE(total, dlg.ShellListView->viewport()->width());
    });
}

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
