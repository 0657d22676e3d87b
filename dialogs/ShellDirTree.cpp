// The models behind the folder chooser's tree and file list: the folders of the roots, the
// tree's branch filter, the file list's rows in German, and the icons of both.
#include "ShellDirTree.h"

#include "FileUtils.h"
#include "ShellDirCommon.h"
#include "ShellDirComputer.h"
#include "WinShell.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIconEngine>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <utility>

namespace ShellDirDlg {

namespace {

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

DesktopFolderInfo DesktopFolder()
{
    DesktopFolderInfo info;
    info.desktop = WinShell::GetSpecialFolderPath(WinShell::CSIDL_DESKTOP);
    info.shown = info.desktop;
    // Many desktops have no desktop folder; its place is then the home folder, not the
    // file-system root that Computer shows.
    if (!Exists(info.desktop) && Exists(QDir::homePath())) {
        info.shown = QDir::homePath();
        info.fallback = true;
    }
    return info;
}

QString RootFolder(const QString& root)
{
    QString dir;
    if (root == rfDesktop)
        dir = DesktopFolder().shown;
    else if (root == rfPersonal)
        dir = WinShell::GetPersonalFolderPath();
    else if (root == rfMyComputer)
        return ComputerFolder();
    else if (root == rfNetwork)
        dir = WinShell::NetworkFolderPath();
    else
        dir = root;
    if (!Exists(dir))
        return ComputerFolder();
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

void TTreeFilter::setSourceModel(QAbstractItemModel* model)
{
    QSortFilterProxyModel::setSourceModel(model);
    // What the disk said is kept until the tree changes; the tree itself does not follow the disk.
    const auto forget = [this] { FHasFolders.clear(); };
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, forget);
    connect(model, &QAbstractItemModel::modelReset, this, forget);
    connect(model, &QAbstractItemModel::layoutChanged, this, forget);
}

void TTreeFilter::Forget()
{
    FHasFolders.clear();
}

bool TTreeFilter::hasChildren(const QModelIndex& parent) const
{
    // A folder not read yet counts as one with children by the models' rule, which puts an
    // expand mark on every empty folder: ask the disk whether it holds any folder the tree
    // would show, stopping at the first.
    const QModelIndex source = mapToSource(parent);
    const auto* model = static_cast<const QFileSystemModel*>(sourceModel());
    if (!parent.isValid() || !source.isValid() || !model->isDir(source) || !model->canFetchMore(source))
        return QSortFilterProxyModel::hasChildren(parent);
    const QString dir = model->filePath(source);
    const auto known = FHasFolders.constFind(dir);
    if (known != FHasFolders.constEnd())
        return *known;
    QDir::Filters filter = QDir::Dirs | QDir::NoDotAndDotDot;
    if (model->filter().testFlag(QDir::Hidden))
        filter |= QDir::Hidden;
    const bool any = QDirIterator(dir, filter).hasNext();
    FHasFolders.insert(dir, any);
    return any;
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
