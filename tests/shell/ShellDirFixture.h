// A folder chooser shown in a home, configuration and runtime folder of the test's own, with
// a working tree; message dialogs, the option dialog and the new-folder box are answered by
// hooks that record what was asked.
#pragma once

#include "MsgDialogs.h"
#include "ScopedEnv.h"
#include "SelectDlg.h"
#include "ShellDirDlg.h"
#include "TempTree.h"

#include <QDir>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

class ShellDirFixture : public ::testing::Test {
protected:
    static constexpr int kLoadMs = 5000;

    ShellDirFixture()
        : FHomeEnv("HOME", FHome.Root()),
          FConfigEnv("XDG_CONFIG_HOME", FHome.Path(".config")),
          FDataEnv("XDG_DATA_HOME", FHome.Path(".local/share")),
          FRuntimeEnv("XDG_RUNTIME_DIR", FRuntime.Root()),
          FCwd(QDir::currentPath())
    {
        FDocuments = FHome.MakeDir(QStringLiteral("Documents"));
        MsgDialogs::SetAnswerHook([this](const MsgDialogs::DialogRequest& r) {
            FMessages.push_back(r.message);
            return std::optional<MsgDialogs::DialogResult>(MsgDialogs::DialogResult::OK);
        });
        SelectDlg::SetAnswerHook([this](const SelectDlg::SelectRequest& r) {
            FSelectRequests.push_back(r);
            return std::optional<int>(-1);
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

    // The window shown without Execute's modal loop, with dir selected under the root Computer.
    TShellDirDialog& ShownIn(const QString& dir)
    {
        FDialog = std::make_unique<TShellDirDialog>();
        FDialog->show();
        FDialog->SetRoot(ShellDirDlg::rfMyComputer);
        EXPECT_TRUE(FDialog->WaitUntilLoaded(kLoadMs));
        EXPECT_TRUE(FDialog->SetPath(dir)) << dir.toStdString();
        return *FDialog;
    }

    TempTree FHome;
    TempTree FRuntime;
    ScopedEnv FHomeEnv, FConfigEnv, FDataEnv, FRuntimeEnv;
    QString FCwd;
    QString FDocuments;
    TempTree FTree;
    std::vector<QString> FMessages;
    std::vector<SelectDlg::SelectRequest> FSelectRequests;
    std::vector<QString> FInputCaptions;
    std::unique_ptr<TShellDirDialog> FDialog;
};
