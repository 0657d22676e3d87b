// The folder chooser's folder tree as the window drives it: roots, selection, reading folders,
// and going to a directory with its fallbacks; the file list following the selected folder.
#include "ShellDirDlg.h"

#include "FileUtils.h"
#include "ShellDirCommon.h"
#include "ShellDirTree.h"
#include "WinShell.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QTimer>
#include <QTreeView>

using namespace ShellDirDlg;

namespace {

constexpr int kRootLoadWaitMs = 500;

}  // namespace


// ---- Navigation ---------------------------------------------------------------------------

void TShellDirDialog::GoToDirectory(const QString& Dir)
{
    QString s = Dir;
    if (!Exists(s))
        s = FDefaultDir;
    QString root;
    if (!Exists(s)) {
        s = WinShell::GetPersonalFolderPath();
        root = rfMyComputer;
        if (!Exists(s))  // the tree can only select an existing folder
            s = QDir::currentPath();
    } else {
        root = WinShell::IsNetworkPath(s) ? rfNetwork : rfMyComputer;
    }
    SetRoot(root);
    WaitUntilLoaded(kRootLoadWaitMs);
    SetPath(s);
    const QModelIndex node = SelectedNode();
    if (node.isValid())
        ShellTreeView->expand(node);
}

void TShellDirDialog::ShowListFolder(const QString& dir)
{
    if (!dir.isEmpty())
        FListModel->setRootPath(dir);
    FListFilter->SetFolder(dir);
    ShellListView->setRootIndex(FListFilter->mapFromSource(FListModel->index(dir)));
}

// ---- The folder tree ---------------------------------------------------------------------

void TShellDirDialog::SetRoot(const QString& root)
{
    if (!FRoot.isEmpty() && FileUtils::SamePathSpelling(root, FRoot))
        return;
    FRoot = root;
    FTop = RootFolder(root);
    FTreeFilter->SetTop(FTop);
    const QModelIndex top = FTreeModel->index(FTop);
    ShellTreeView->setRootIndex(FTreeFilter->mapFromSource(top.parent()));
    FetchFolder(FTop);
    const QModelIndex topNode = FTreeFilter->mapFromSource(top);
    ShellTreeView->setCurrentIndex(topNode);
    ShellTreeView->expand(topNode);
}

void TShellDirDialog::FetchFolder(const QString& dir)
{
    const QModelIndex index = FTreeModel->index(dir);
    if (index.isValid() && FTreeModel->canFetchMore(index)) {
        FPending.insert(dir);
        FTreeModel->fetchMore(index);
    }
}

bool TShellDirDialog::SetPath(const QString& path)
{
    if (!Exists(path))
        return false;
    const QString dir = QDir::cleanPath(QDir(path).absolutePath());
    if (!IsInside(dir, FTop))
        return false;
    const QModelIndex node = FTreeFilter->mapFromSource(FTreeModel->index(dir));
    if (!node.isValid())
        return false;
    for (QModelIndex p = node.parent(); p.isValid() && p != ShellTreeView->rootIndex(); p = p.parent())
        ShellTreeView->expand(p);
    ShellTreeView->setCurrentIndex(node);
    MakeSelectedVisible();
    return true;
}

QString TShellDirDialog::Path() const
{
    return NodePath(SelectedNode());
}

QModelIndex TShellDirDialog::SelectedNode() const
{
    return ShellTreeView->currentIndex();
}

QString TShellDirDialog::NodePath(const QModelIndex& node) const
{
    if (!node.isValid())
        return QString();
    return FTreeModel->filePath(FTreeFilter->mapToSource(node));
}

QModelIndex TShellDirDialog::ParentNode(const QModelIndex& node) const
{
    const QModelIndex parent = node.parent();
    return parent == ShellTreeView->rootIndex() ? QModelIndex() : parent;
}

int TShellDirDialog::Level(const QModelIndex& node) const
{
    if (!node.isValid())
        return -1;
    int level = 0;
    for (QModelIndex p = ParentNode(node); p.isValid(); p = ParentNode(p))
        ++level;
    return level;
}

int TShellDirDialog::SelectedLevel() const
{
    return Level(SelectedNode());
}

void TShellDirDialog::MakeSelectedVisible()
{
    const QModelIndex node = SelectedNode();
    if (!node.isValid())
        return;
    ShellTreeView->scrollTo(node);
    // Folders still being read push the node down as their rows arrive: it is scrolled to
    // again as each of them ends.
    FScrollOnLoad = !FPending.isEmpty();
}

void TShellDirDialog::FolderLoaded(const QString& dir)
{
    FPending.remove(dir);
    if (!FScrollOnLoad)
        return;
    const QModelIndex node = SelectedNode();
    if (node.isValid())
        ShellTreeView->scrollTo(node);
    if (FPending.isEmpty()) {
        // The last rows may still be sorted in after this signal.
        FScrollOnLoad = false;
        QTimer::singleShot(0, this, [this] {
            const QModelIndex current = SelectedNode();
            if (current.isValid())
                ShellTreeView->scrollTo(current);
        });
    }
}

void TShellDirDialog::Refresh()
{
    const QString dir = Path();
    if (!dir.isEmpty())
        RefreshFolder(dir);
}

void TShellDirDialog::RefreshFolder(const QString& dir)
{
    // The model lists a folder again when it becomes its root path after having been it
    // before: leaving a root path marks that folder as not read.
    FTreeFilter->Forget();
    const QString elsewhere = dir == QDir::rootPath() ? QDir::tempPath() : QDir::rootPath();
    if (FTreeModel->rootPath() != dir)
        FTreeModel->setRootPath(dir);
    FTreeModel->setRootPath(elsewhere);
    FPending.insert(dir);
    FTreeModel->setRootPath(dir);
}

bool TShellDirDialog::WaitUntilLoaded(int ms)
{
    // Reading one folder may make the view ask for another, so this waits until none is
    // left after the events of each round have been handled.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (FPending.isEmpty())
            return true;
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(qMin<qint64>(left, 20)), &loop, &QEventLoop::quit);
        connect(FTreeModel, &QFileSystemModel::directoryLoaded, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

void TShellDirDialog::NewTreeModel()
{
    QFileSystemModel* old = FTreeModel;
    FTreeModel = new QFileSystemModel(this);
    FTreeModel->setOption(QFileSystemModel::DontWatchForChanges, true);
    FTreeModel->setReadOnly(true);
    FTreeModel->setIconProvider(FIcons);
    connect(FTreeModel, &QFileSystemModel::directoryLoaded, this, &TShellDirDialog::FolderLoaded);
    FTreeFilter->setSourceModel(FTreeModel);
    SetTreeFilters(old && old->filter().testFlag(QDir::Hidden));
    // The model reads folders only once it has been given a root path.
    FPending = {QDir::rootPath()};
    FTreeModel->setRootPath(QDir::rootPath());
    for (int c = 1; c < FTreeModel->columnCount(); ++c)
        ShellTreeView->hideColumn(c);
    FRoot.clear();
    FTop.clear();
    // Its reading thread ends with it.
    delete old;
}

void TShellDirDialog::SetTreeFilters(bool hidden)
{
    // QDir::System would add devices, sockets and broken links, which the system attribute of
    // Windows does not stand for (it is never set here).
    QDir::Filters filter = QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives;
    if (hidden)
        filter |= QDir::Hidden;
    FTreeModel->setFilter(filter);
    FTreeFilter->Forget();
}

