// A folder chooser in a home, configuration and runtime folder of the test's own, with a
// working tree; message dialogs and the option dialog are answered by hooks that record what
// was asked, and so is the new-folder box unless a test puts its own answer (or the box) back.
#pragma once

#include "DialogTestSupport.h"
#include "MsgDialogs.h"
#include "ScopedEnv.h"
#include "SelectDlg.h"
#include "ShellDirDlg.h"
#include "TempTree.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

// Readable values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

class ShellDirFixture : public ::testing::Test {
protected:
    // The longest wait for the tree or the file list: the model reads folders on a thread of
    // its own, which a loaded machine may keep waiting. The waits end as soon as it is done.
    static constexpr int kLoadMs = 30000;

    struct Message {
        MsgDialogs::DialogKind kind;
        QString text;
    };

    ShellDirFixture()
        : FHomeEnv("HOME", FHome.Root()),
          FConfigEnv("XDG_CONFIG_HOME", FHome.Path(".config")),
          FDataEnv("XDG_DATA_HOME", FHome.Path(".local/share")),
          FRuntimeEnv("XDG_RUNTIME_DIR", FRuntime.Root()),
          FCwd(QDir::currentPath())
    {
        FDocuments = FHome.MakeDir(QStringLiteral("Documents"));
        MsgDialogs::SetAnswerHook([this](const MsgDialogs::DialogRequest& r) {
            FMessages.push_back({r.kind, r.message});
            return std::optional<MsgDialogs::DialogResult>(MsgDialogs::DialogResult::OK);
        });
        SelectDlg::SetAnswerHook([this](const SelectDlg::SelectRequest& r) {
            FSelectRequests.push_back(r);
            return std::optional<int>(FSelectAnswer);
        });
        ShellDirDlg::SetInputHook([this](const QString& caption, const QString&, const QString&) {
            FInputCaptions.push_back(caption);
            return std::optional<QString>();
        });
    }
    ~ShellDirFixture() override
    {
        FDialog.reset();
        MsgDialogs::SetAnswerHook({});
        SelectDlg::SetAnswerHook({});
        ShellDirDlg::SetInputHook({});
        QDir::setCurrent(FCwd);
    }

    // The one window of the test, as the program keeps one for the whole run.
    TShellDirDialog& Dialog()
    {
        if (!FDialog)
            FDialog = std::make_unique<TShellDirDialog>();
        return *FDialog;
    }

    // Runs Execute; action runs once the window shows and may close it (else it is cancelled).
    bool Run(QString& dir, const QString& home, std::function<void(TShellDirDialog&)> action,
             bool fileView = true, bool hidden = false)
    {
        TShellDirDialog& dlg = Dialog();
        DialogTest::WhenShown(QStringLiteral("ShellDirDialog"), [&dlg, action](QDialog*) {
            action(dlg);
            if (dlg.isVisible())
                dlg.reject();
        });
        return dlg.Execute(QStringLiteral("Standardverzeichnis für Kataloge"), hidden, fileView, true, home, dir);
    }

    // The window shown without Execute's modal loop, with dir selected under the root Computer.
    TShellDirDialog& ShownIn(const QString& dir)
    {
        TShellDirDialog& dlg = Dialog();
        dlg.show();
        dlg.SetRoot(ShellDirDlg::rfMyComputer);
        EXPECT_TRUE(dlg.WaitUntilLoaded(kLoadMs));
        EXPECT_TRUE(dlg.SetPath(dir)) << dir.toStdString();
        return dlg;
    }

    // The names the tree shows below the selected folder, once it has been read.
    QStringList ShownChildren(TShellDirDialog& dlg)
    {
        QAbstractItemModel* model = dlg.ShellTreeView->model();
        if (model->canFetchMore(dlg.ShellTreeView->currentIndex()))
            model->fetchMore(dlg.ShellTreeView->currentIndex());
        EXPECT_TRUE(dlg.WaitUntilLoaded(kLoadMs));
        const QModelIndex node = dlg.ShellTreeView->currentIndex();
        QStringList names;
        for (int row = 0; row < model->rowCount(node); ++row)
            names << model->index(row, 0, node).data().toString();
        names.sort();
        return names;
    }

    // The selected folder's children once a refresh has reached the view, or what it shows
    // after the longest wait. The folder is read again on the model's thread, and an entry
    // that went is taken out when the model hears of it from the system: a removed entry
    // may take a while to leave, so this waits for the expected names, not for a time.
    QStringList ShownChildrenOnceSettled(TShellDirDialog& dlg, const QStringList& expected)
    {
        QStringList names;
        const bool settled = QTest::qWaitFor(
            [&] {
                names = ShownChildren(dlg);
                return names == expected;
            },
            kLoadMs);
        return settled ? expected : names;
    }

    // The texts of one column of the file list's rows, in the list's order.
    static QStringList ListColumn(TShellDirDialog& dlg, int column)
    {
        QAbstractItemModel* model = dlg.ShellListView->model();
        const QModelIndex root = dlg.ShellListView->rootIndex();
        QStringList texts;
        for (int row = 0; row < model->rowCount(root); ++row)
            texts << model->index(row, column, root).data().toString();
        return texts;
    }

    // Whether the tree shows its selected node inside its viewport.
    static bool SelectedNodeInView(TShellDirDialog& dlg)
    {
        const QRect node = dlg.ShellTreeView->visualRect(dlg.ShellTreeView->currentIndex());
        return !node.isEmpty() && dlg.ShellTreeView->viewport()->rect().contains(node);
    }

    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const Message& m : FMessages)
            texts << m.text;
        return texts;
    }

    TempTree FHome;
    TempTree FRuntime;
    ScopedEnv FHomeEnv, FConfigEnv, FDataEnv, FRuntimeEnv;
    QString FCwd;
    QString FDocuments;
    TempTree FTree;
    std::vector<Message> FMessages;
    std::vector<SelectDlg::SelectRequest> FSelectRequests;
    int FSelectAnswer = -1;  // the option dialog's answer: -1 cancels
    std::vector<QString> FInputCaptions;
    std::unique_ptr<TShellDirDialog> FDialog;
};

// The tests of the chooser's window share one suite name across their files.
using ShellDirTest = ShellDirFixture;
