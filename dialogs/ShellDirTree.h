#pragma once
// The folder chooser's view of the file system: the filter that shows only the tree's branch,
// the file list's model in front of the file-system model, and the icons of both.

#include <QCollator>
#include <QFileIconProvider>
#include <QHash>
#include <QSortFilterProxyModel>
#include <QString>

#include <functional>

class QFileSystemModel;

namespace ShellDirDlg {

// Shows only the top node's branch of the file-system model: the top folder, what lies
// below it, and its ancestors (so that it has a parent to hang from).
class TTreeFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void SetTop(const QString& top);

    // Told of every folder the view asks to read, so that the window can wait for it.
    std::function<void(const QString&)> OnFetch;

    void fetchMore(const QModelIndex& parent) override;
    // A folder not read yet has children only when it holds a folder on disk.
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    void setSourceModel(QAbstractItemModel* model) override;
    // Drops what the disk said about folders not read yet.
    void Forget();

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    QString FTop;
    mutable QHash<QString, bool> FHasFolders;  // folder -> holds a folder, for folders not read yet
};

// The file list's rows: the files of one folder, never its subfolders (the file-system model
// keeps every folder it was once asked for visible, whatever its filter says). The columns
// read in German whatever the system's language: "Name", "Größe" (whole kilobytes, rounded
// up, as the Windows shell gives them), "Typ" (the name's extension, such as "DB-Datei") and
// "Änderungsdatum" (dd.MM.yyyy hh:mm, local time). Sorted by the shown values.
class TFileListModel : public QSortFilterProxyModel {
public:
    explicit TFileListModel(QObject* parent);

    // The folder whose files are listed; the view's root is its index here.
    void SetFolder(const QString& folder);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QString SizeText(qint64 bytes);
    static QString TypeText(const QString& fileName);
    static QString DateText(const QDateTime& time);

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    QFileSystemModel* Files() const;
    QString FFolder;
    QCollator FNames;
};

// Icons of both views: the style's folder and file pictures where the desktop has no icon
// theme (the file-system model alone shows none then), and links marked with an arrow.
class TFileIcons : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override;
};

}  // namespace ShellDirDlg
