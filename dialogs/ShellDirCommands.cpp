// The folder chooser's commands: up, home, new folder, delete, refresh, OK's own action and
// the root buttons.
#include "FileUtils.h"
#include "MsgDialogs.h"
#include "SelectDlg.h"
#include "ShellDirCommon.h"
#include "ShellDirDlg.h"
#include "ShellDirWidgets.h"
#include "WinShell.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTreeView>

#include <cstdint>
#include <optional>
#include <utility>

using FileUtils::EnsureTrailingDelimiter;
using FileUtils::SafeFormat;

namespace ShellDirDlg {

namespace {

// A directory that is the root of a mounted file system: what a drive root is on Windows.
bool IsDriveRootLike(const QString& dir)
{
    if (!Exists(dir))
        return false;
    const QString cleaned = QDir::cleanPath(QDir(dir).absolutePath());
    return QStorageInfo(cleaned).rootPath() == cleaned;
}

InputHook& InputHookRef()
{
    static InputHook hook;
    return hook;
}

}  // namespace

InputHook SetInputHook(InputHook hook)
{
    return std::exchange(InputHookRef(), std::move(hook));
}

}  // namespace ShellDirDlg

using namespace ShellDirDlg;

void TShellDirDialog::spbUpClick()
{
    const QModelIndex node = SelectedNode();
    if (node.isValid()) {
        const QModelIndex parent = ParentNode(node);
        if (!parent.isValid())
            SetRoot(rfMyComputer);
        else if (Level(parent) > 0)
            SetPath(NodePath(parent));
        MakeSelectedVisible();
    }
    ShellTreeView->setFocus();
}

void TShellDirDialog::spbHomeClick()
{
    if (!QDir::setCurrent(FDefaultDir)) {
        MsgDialogs::ErrorDialog(SafeFormat(Tr(QStringLiteral("Verzeichnis nicht gefunden:\r\n%s!")), {FDefaultDir}));
        RemoveFromHistory(FDefaultDir);
    } else if (FRoot == rfNetwork || IsDriveRootLike(FDefaultDir)) {
        SetRoot(FDefaultDir);
    } else {
        SetRoot(rfMyComputer);
        SetPath(FDefaultDir);
        MakeSelectedVisible();
    }
    ShellTreeView->setFocus();
}

void TShellDirDialog::spbNewClick()
{
    const QString caption = QDir::toNativeSeparators(Path());
    if (!caption.isEmpty()) {
        const QString prompt = Tr(QStringLiteral("Neues Unterverzeichnis:"));
        std::optional<QString> text;
        if (InputHookRef()) {
            text = InputHookRef()(caption, prompt, QString());
        } else {
            text = AskNewFolder(this, caption, prompt, QString());
        }
        if (text) {
            const QString full = QDir::toNativeSeparators(EnsureTrailingDelimiter(Path()) + *text);
            if (QDir().mkpath(full)) {
                SetRoot(rfMyComputer);
                SetPath(full);
                MakeSelectedVisible();
            } else {
                MsgDialogs::ErrorDialog(
                    SafeFormat(Tr(QStringLiteral("Verzeichnis:\r\n%s\r\nkonnte nicht erstellt werden!")), {full}));
            }
        }
    }
    ShellTreeView->setFocus();
}

void TShellDirDialog::itmDeleteClick()
{
    const QString p = QDir::toNativeSeparators(Path());
    if (p.isEmpty())
        return;
    const int r = SelectDlg::SelectOption(
        Tr(QStringLiteral("Verzeichnis löschen")), SafeFormat(Tr(QStringLiteral("Lösche \"%s\"")), {p}),
        MsgDialogs::DialogKind::Confirmation, SelectDlg::Bold,
        {Tr(QStringLiteral("&Endgültig")), Tr(QStringLiteral("In &Papierkorb"))}, QString(), 0, -1, QString());
    if (r < 0)
        return;
    spbUpClick();

    bool failed = false;
    // The file-system root, or any drive's root, is never deleted.
    const bool isRoot = QDir(p).isRoot();
    if (r == 0) {
        std::uint32_t dirs = 0, files = 0, failures = 0;
        if (!isRoot)
            FileUtils::DeleteDirectoryTree(p, QString(), true, dirs, files, failures);
        failed = isRoot || failures > 0;
        if (!failed)
            MsgDialogs::InfoDialog(
                SafeFormat(Tr(QStringLiteral("%u Verzeichnisse mit %u Dateien gelöscht!")), {dirs, files}));
    } else {
        const WinShell::HRESULT code = WinShell::ShellDeleteItem(nullptr, EnsureTrailingDelimiter(p), true, false);
        failed = code != 0;
        if (!failed)
            MsgDialogs::InfoDialog(SafeFormat(Tr(QStringLiteral("%s wurde in den Papierkorb verschoben!")), {p}));
    }
    if (failed)
        MsgDialogs::ErrorDialog(SafeFormat(Tr(QStringLiteral("Fehler beim Löschen des Verzeichnisses:\r\n%s!")), {p}));

    // The tree shows what is left: a folder that is gone leaves the selection to its parent
    // (it stays selected when it lies directly below the top node), and its parent is read
    // again even when that is no longer the selected folder.
    const QFileInfo gone(p);
    if (!gone.exists() && !gone.isSymLink()) {
        const QString parentDir = gone.absolutePath();
        const QModelIndex node = SelectedNode();
        if (node.isValid() && QDir::toNativeSeparators(NodePath(node)) == p && node.parent() != ShellTreeView->rootIndex())
            ShellTreeView->setCurrentIndex(node.parent());
        if (parentDir != Path() && Exists(parentDir))
            RefreshFolder(parentDir);
    }
    Refresh();
}

void TShellDirDialog::itmUpdateClick()
{
    Refresh();
}

void TShellDirDialog::PopupMenuPopup()
{
    Refresh();
}

void TShellDirDialog::btbOKClick()
{
    AddToHistory(cbxSelectedDir->currentText());
}

void TShellDirDialog::spbDesktopClick()
{
    UpdateDesktopHint();
    SetRoot(rfDesktop);
}

void TShellDirDialog::spbMyFilesClick()
{
    SetRoot(rfPersonal);
}

void TShellDirDialog::spbComputerClick()
{
    SetRoot(rfMyComputer);
}

void TShellDirDialog::spbNetworkClick()
{
    SetRoot(rfNetwork);
}
