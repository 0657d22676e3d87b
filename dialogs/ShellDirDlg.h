#pragma once
// The folder chooser: a modal window in which the user picks a directory. It shows a folder
// tree under one of four special roots or a directory, optionally the files of the selected
// folder, a history of confirmed directories, and commands to go up, go to the default
// directory, and create, delete and refresh folders.
//
// One window serves the whole run: the history, the file-list switch, the panel widths and
// the window's place carry over from one Execute to the next; the tree is read anew by each,
// so that it shows the folders as they are when the window opens.
//
// The tree and the file list are QFileSystemModel views. While the window is open, the tree
// reads a folder's children once and again only when told to (Refresh, F5, the context menu,
// a deletion); it does not follow changes on disk by itself. The file list shows the selected folder's files only,
// cannot rename them, and labels its columns and values in German. Network shares are
// browsed in the desktop's network mounts folder (WinShell::NetworkFolderPath).
//
// Sources: ShellDirDlg.cpp (the window, its events, keys and history), ShellDirNavigation.cpp
// (the window's folder tree: roots, selection, reading folders), ShellDirCommands.cpp (the
// commands); the parts the window puts together, which know nothing of it: ShellDirTree (the
// models behind the tree and the file list), ShellDirWidgets (the window's own controls and
// the new-folder box), ShellDirCommon.h (the names they share).
//
// Test seams: ShellDirDlg::SetInputHook answers the new-folder input box;
// WaitUntilLoaded waits until the folders the tree asked for have been read.

#include "ShellDirCommon.h"
#include "ShellDirWidgets.h"

#include <QDialog>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QAction;
class QCheckBox;
class QFileSystemModel;
class QFrame;
class QLabel;
class QMenu;
class QModelIndex;
class QPushButton;
class QToolButton;
class QTreeView;

namespace ShellDirDlg {

// Answers the new-folder input box: (caption, prompt, initial text) -> the text, or nullopt
// for Cancel. An installed hook always answers; an empty function shows the box again.
using InputHook = std::function<std::optional<QString>(const QString&, const QString&, const QString&)>;
InputHook SetInputHook(InputHook hook);

class TFileIcons;
class TFileListModel;
class TTreeFilter;

}  // namespace ShellDirDlg

class TShellDirDialog : public QDialog {
    Q_OBJECT
public:
    explicit TShellDirDialog(QWidget* parent = nullptr);
    ~TShellDirDialog() override;

    // Shows the window modally; true when the user confirmed. Dir: on entry the directory to
    // start in, on a confirmed return the chosen directory with one trailing delimiter
    // (empty stays empty). Hidden includes hidden folders and files. FileView offers the
    // file list. ZipAsFiles changes nothing here: archives are files on this platform.
    // HomeDir is the default directory (home button, first fallback).
    bool Execute(const QString& ATitle, bool Hidden, bool FileView, bool ZipAsFiles, const QString& HomeDir,
                 QString& Dir);

    // ---- Controls ---------------------------------------------------------
    QWidget* PanelLeft = nullptr;
    QWidget* Splitter = nullptr;  // the bar between the tree and the file list
    QWidget* PanelRight = nullptr;
    QFrame* panRoot = nullptr;
    QToolButton* spbDesktop = nullptr;
    QToolButton* spbMyFiles = nullptr;
    QToolButton* spbComputer = nullptr;
    QToolButton* spbNetwork = nullptr;
    QTreeView* ShellTreeView = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QCheckBox* cbxFiles = nullptr;
    QToolButton* spbHome = nullptr;
    QToolButton* spbUp = nullptr;
    QToolButton* spbNew = nullptr;
    ShellDirDlg::THistoryCombo* cbxSelectedDir = nullptr;
    QPushButton* btbOK = nullptr;
    QPushButton* btbCancel = nullptr;
    QTreeView* ShellListView = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* itmCreate = nullptr;
    QAction* itmDelete = nullptr;
    QAction* itmUpdate = nullptr;
    // The commands of spbUp and spbHome, for the keyboard (Alt+Up, Alt+Home).
    QAction* itmUp = nullptr;
    QAction* itmHome = nullptr;
    QAction* cancel1 = nullptr;

    // ---- The folder tree --------------------------------------------------
    // The root as last set: an rf identifier or a directory path.
    QString Root() const { return FRoot; }
    // Rebuilds the tree from root unless it is the current one; the top node gets selected.
    void SetRoot(const QString& root);
    // Expands the tree down to an existing directory below the top node and selects it;
    // false when the directory does not exist or lies outside the tree.
    bool SetPath(const QString& path);
    // The selected folder's path; empty when nothing is selected.
    QString Path() const;
    // The selected node's depth below the top node (0 for the top node); -1 without selection.
    int SelectedLevel() const;
    // Reads the selected folder's children again, keeping the selection.
    void Refresh();
    // Waits, at most ms milliseconds, until every folder the tree asked for has been read.
    bool WaitUntilLoaded(int ms);

    // ---- History ----------------------------------------------------------
    QStringList History() const;
    void AddToHistory(const QString& Dir);
    void RemoveFromHistory(const QString& Dir);

    // ---- Commands ---------------------------------------------------------
    void spbUpClick();
    void spbHomeClick();
    void spbNewClick();
    void itmDeleteClick();
    void itmUpdateClick();
    void PopupMenuPopup();
    void btbOKClick();
    void spbDesktopClick();
    void spbMyFilesClick();
    void spbComputerClick();
    void spbNetworkClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormResize();
    bool FormKeyDown(QKeyEvent* key);
    static bool IsContextMenuKey(const QKeyEvent* key);
    void PopupMenuByKeyboard(QTreeView* view);
    void ShellTreeViewChange();
    void cbxFilesClick();
    void cbxSelectedDirChange();
    void cbxSelectedDirCloseUp();

    void GoToDirectory(const QString& Dir);
    void ShowFileView(bool Show);
    void LayoutPanels();
    void SplitterMoved(int delta);
    void ListRowsChanged();
    void UpdateDesktopHint();
    void ShowListFolder(const QString& dir);
    void SetTreeFilters(bool hidden);
    // Puts a new model behind the tree, one that has read nothing but the file-system root.
    void NewTreeModel();

    QModelIndex SelectedNode() const;
    QModelIndex ParentNode(const QModelIndex& node) const;
    int Level(const QModelIndex& node) const;
    QString NodePath(const QModelIndex& node) const;
    void MakeSelectedVisible();
    void FolderLoaded(const QString& dir);
    bool EditorOpen() const;
    void RefreshFolder(const QString& dir);
    void FetchFolder(const QString& dir);

    QString FDefaultDir;
    QString FRoot;
    QString FTop;            // the directory of the top node
    int FRightWidth = 390;   // width of PanelRight, also while it is hidden
    bool FLinked = false;    // the file list follows the tree
    QSet<QString> FPending;  // folders asked for and not read yet
    bool FColumnsDue = false;    // the file list's columns are fitted once the events are handled
    bool FScrollOnLoad = false;  // the selected node is scrolled to as the pending folders end
    ShellDirDlg::TFileIcons* FIcons = nullptr;  // used by both models' reading threads
    QFileSystemModel* FTreeModel = nullptr;
    ShellDirDlg::TTreeFilter* FTreeFilter = nullptr;
    QFileSystemModel* FListModel = nullptr;
    ShellDirDlg::TFileListModel* FListFilter = nullptr;
};
