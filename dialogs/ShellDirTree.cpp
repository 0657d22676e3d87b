// The folder chooser's folder tree and file list: roots, selection, reading folders, and
// going to a directory with its fallbacks.
#include "ShellDirTree.h"

#include "FileUtils.h"
#include "ShellDirCommon.h"
#include "ShellDirDlg.h"
#include "WinShell.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QIconEngine>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QTreeView>

#include <utility>

namespace ShellDirDlg {

namespace {

constexpr int kRootLoadWaitMs = 500;

// The file list's texts are German whatever the system's language.
QLocale German()
{
    return QLocale(QLocale::German, QLocale::Germany);
}

// An icon with a link arrow in its lower left corner, painted when the view paints it (the
// file-system model asks for icons in a thread of its own, where no picture may be drawn).
class TLinkIconEngine : public QIconEngine {
public:
    explicit TLinkIconEngine(QIcon base) : FBase(std::move(base)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        FBase.paint(painter, rect, Qt::AlignCenter, mode, state);
        const qreal side = qMax<qreal>(7.0, rect.height() * 0.5);
        const QRectF box(rect.left() + 0.5, rect.bottom() + 0.5 - side, side - 1.0, side - 1.0);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(QColor(0x40, 0x40, 0x40), 1.0));
        painter->setBrush(mode == QIcon::Disabled ? QColor(0xe0, 0xe0, 0xe0) : QColor(Qt::white));
        painter->drawRect(box);
        // A bent arrow pointing up and to the right, as the Windows shell marks its shortcuts.
        const auto at = [&box](qreal x, qreal y) { return QPointF(box.left() + x * box.width(), box.top() + y * box.height()); };
        QPainterPath arrow;
        arrow.moveTo(at(0.25, 0.85));
        arrow.quadTo(at(0.25, 0.35), at(0.72, 0.33));
        painter->setPen(QPen(QColor(Qt::black), qMax<qreal>(1.2, side / 7.0), Qt::SolidLine, Qt::RoundCap));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(arrow);
        QPainterPath head;
        head.moveTo(at(0.85, 0.33));
        head.lineTo(at(0.55, 0.12));
        head.lineTo(at(0.55, 0.56));
        head.closeSubpath();
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(Qt::black));
        painter->drawPath(head);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap picture(size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return picture;
    }

    QIconEngine* clone() const override { return new TLinkIconEngine(FBase); }

private:
    QIcon FBase;
};

}  // namespace

QString RootFolder(const QString& root)
{
    QString dir;
    if (root == rfDesktop)
        dir = WinShell::GetSpecialFolderPath(WinShell::CSIDL_DESKTOP);
    else if (root == rfPersonal)
        dir = WinShell::GetPersonalFolderPath();
    else if (root == rfMyComputer)
        dir = QDir::rootPath();
    else if (root == rfNetwork)
        dir = WinShell::NetworkFolderPath();
    else
        dir = root;
    if (!Exists(dir))
        return QDir::rootPath();
    return QDir::cleanPath(QDir(dir).absolutePath());
}

// ---- The tree's branch filter -------------------------------------------------------------

void TTreeFilter::SetTop(const QString& top)
{
    FTop = top;
    invalidateFilter();
}

void TTreeFilter::fetchMore(const QModelIndex& parent)
{
    const QModelIndex source = mapToSource(parent);
    if (OnFetch && source.isValid() && sourceModel()->canFetchMore(source))
        OnFetch(static_cast<const QFileSystemModel*>(sourceModel())->filePath(source));
    QSortFilterProxyModel::fetchMore(parent);
}

bool TTreeFilter::filterAcceptsRow(int row, const QModelIndex& parent) const
{
    const auto* model = static_cast<const QFileSystemModel*>(sourceModel());
    const QString path = model->filePath(model->index(row, 0, parent));
    if (FTop.isEmpty() || IsInside(path, FTop))
        return true;
    return path == QDir::rootPath() || FTop.startsWith(path + QLatin1Char('/'));
}

// ---- The file list -------------------------------------------------------------------------

TFileListModel::TFileListModel(QObject* parent) : QSortFilterProxyModel(parent), FNames(German())
{
    FNames.setNumericMode(true);
    FNames.setCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true);
}

QFileSystemModel* TFileListModel::Files() const
{
    return static_cast<QFileSystemModel*>(sourceModel());
}

void TFileListModel::SetFolder(const QString& folder)
{
    if (folder == FFolder)
        return;
    FFolder = folder;
    invalidateFilter();
}

bool TFileListModel::filterAcceptsRow(int row, const QModelIndex& parent) const
{
    // Only the listed folder's rows are shown; the folders above it must pass so that the
    // view's root can be mapped.
    if (Files()->filePath(parent) != FFolder)
        return true;
    return !Files()->isDir(Files()->index(row, 0, parent));
}

bool TFileListModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const QFileSystemModel* files = Files();
    // The model's file name is the display text of the first column.
    const QString leftName = files->fileName(left.siblingAtColumn(0));
    const QString rightName = files->fileName(right.siblingAtColumn(0));
    int order = 0;
    switch (left.column()) {
    case 1:
        order = files->size(left) < files->size(right) ? -1 : files->size(left) > files->size(right) ? 1 : 0;
        break;
    case 2:
        order = FNames.compare(TypeText(leftName), TypeText(rightName));
        break;
    case 3: {
        const QDateTime l = files->lastModified(left);
        const QDateTime r = files->lastModified(right);
        order = l < r ? -1 : r < l ? 1 : 0;
        break;
    }
    default:
        break;
    }
    if (order == 0)
        order = FNames.compare(leftName, rightName);
    return order < 0;
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::DisplayRole && index.isValid() && index.column() > 0) {
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
        case 1:
            return SizeText(Files()->size(source));
        case 2:
            return TypeText(Files()->fileName(source.siblingAtColumn(0)));
        case 3:
            return DateText(Files()->lastModified(source));
        default:
            break;
        }
    }
    return QSortFilterProxyModel::data(index, role);
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        switch (section) {
        case 0:
            return Tr(QStringLiteral("Name"));
        case 1:
            return Tr(QStringLiteral("Größe"));
        case 2:
            return Tr(QStringLiteral("Typ"));
        case 3:
            return Tr(QStringLiteral("Änderungsdatum"));
        default:
            break;
        }
    }
    return QSortFilterProxyModel::headerData(section, orientation, role);
}

QString TFileListModel::SizeText(qint64 bytes)
{
    return German().toString((qMax<qint64>(bytes, 0) + 1023) / 1024) + QStringLiteral(" KB");
}

QString TFileListModel::TypeText(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot == fileName.size() - 1)
        return Tr(QStringLiteral("Datei"));
    return fileName.mid(dot + 1).toUpper() + QLatin1Char('-') + Tr(QStringLiteral("Datei"));
}

QString TFileListModel::DateText(const QDateTime& time)
{
    if (!time.isValid())
        return QString();
    return German().toString(time.toLocalTime(), QStringLiteral("dd.MM.yyyy HH:mm"));
}

// ---- Icons ---------------------------------------------------------------------------------

QIcon TFileIcons::icon(const QFileInfo& info) const
{
    if (info.isSymLink())
        return QIcon(new TLinkIconEngine(QFileIconProvider::icon(info.isDir() ? Folder : File)));
    return QFileIconProvider::icon(info);
}

}  // namespace ShellDirDlg

using namespace ShellDirDlg;

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

void TShellDirDialog::SetTreeFilters(bool hidden)
{
    // QDir::System would add devices, sockets and broken links, which the system attribute of
    // Windows does not stand for (it is never set here).
    QDir::Filters filter = QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives;
    if (hidden)
        filter |= QDir::Hidden;
    FTreeModel->setFilter(filter);
}

