// The folder chooser on Windows: the computer's drives as the tree's top nodes, and folders
// shown and answered in the Windows style.
#include "DialogTestSupport.h"
#include "ShellDirDlg.h"
#include "ShellDirWidgets.h"

#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace ShellDirDlg;

namespace {

constexpr int kLoadMs = 10000;

QStringList TopNodes(const TShellDirDialog& dlg)
{
    const QAbstractItemModel* model = dlg.ShellTreeView->model();
    const QModelIndex root = dlg.ShellTreeView->rootIndex();
    QStringList paths;
    for (int row = 0; row < model->rowCount(root); ++row)
        paths << model->index(row, 0, root).data(QFileSystemModel::FilePathRole).toString();
    return paths;
}

} // namespace

TEST(ShellDirWindowsTest, ComputerShowsEveryDriveAsATopNode)
{
    QStringList drives;
    for (const QFileInfo& drive : QDir::drives())
        drives << drive.absoluteFilePath();
    ASSERT_FALSE(drives.isEmpty());

    TShellDirDialog dlg;
    dlg.show();
    dlg.SetRoot(rfMyComputer);
    EXPECT_TRUE(dlg.WaitUntilLoaded(kLoadMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return TopNodes(dlg).size() >= drives.size(); }, kLoadMs));
    QStringList shown = TopNodes(dlg);
    shown.sort(Qt::CaseInsensitive);
    drives.sort(Qt::CaseInsensitive);
    EXPECT_EQ(shown, drives);

    // A folder on a drive is found below it, and the field shows it with backslashes.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_TRUE(dlg.SetPath(dir.path()));
    EXPECT_EQ(dlg.ShellTreeView->currentIndex().data(QFileSystemModel::FilePathRole).toString(),
              QDir::cleanPath(dir.path()));
    dlg.hide();
}

TEST(ShellDirWindowsTest, ChosenFolderIsAnsweredInTheWindowsStyle)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString native = QDir::toNativeSeparators(dir.path());
    ASSERT_TRUE(native.contains(QLatin1Char('\\')));

    TShellDirDialog dlg;
    QString shownText;
    DialogTest::WhenShown(QStringLiteral("ShellDirDialog"), [&dlg, &shownText](QDialog*) {
        shownText = dlg.cbxSelectedDir->currentText();
        dlg.btbOK->click();
    });
    QString chosen = native;
    ASSERT_TRUE(dlg.Execute(QStringLiteral("Standardverzeichnis für Kataloge"), false, false, true, native, chosen));
    EXPECT_EQ(shownText, native);
    EXPECT_EQ(chosen, native + QLatin1Char('\\'));
}
