// Shared pieces of the window tests: a private user environment, a recorder for message
// dialogs, a catcher for opened web addresses, and a window converting a slowed catalog.
#pragma once

#include "CatalogFixture.h"
#include "ConvertMain.h"
#include "MsgDialogs.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace GuiTest {

// A home and configuration folder of the test's own, in force while the object lives.
class UserEnvironment {
public:
    UserEnvironment()
        : oldHome_(qgetenv("HOME")), oldConfig_(qgetenv("XDG_CONFIG_HOME"))
    {
        QDir().mkpath(ConfigDir());
        qputenv("HOME", dir_.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", ConfigDir().toLocal8Bit());
    }
    ~UserEnvironment()
    {
        qputenv("HOME", oldHome_);
        qputenv("XDG_CONFIG_HOME", oldConfig_);
    }
    QString Home() const { return dir_.path(); }
    QString ConfigDir() const { return dir_.path() + QStringLiteral("/config"); }
    QString Documents() const { return dir_.path() + QStringLiteral("/Documents"); }
    void MakeDocuments() const { QDir().mkpath(Documents()); }

private:
    QTemporaryDir dir_;
    QByteArray oldHome_;
    QByteArray oldConfig_;
};

// Answers every message dialog without showing it: the queued answers first, then None
// (nothing shown answers nothing). Keeps each request.
class DialogRecorder {
public:
    DialogRecorder()
    {
        previous_ = MsgDialogs::SetAnswerHook([this](const MsgDialogs::DialogRequest& request) {
            requests.push_back(request);
            std::optional<MsgDialogs::DialogResult> answer = MsgDialogs::DialogResult::OK;
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            }
            return answer;
        });
    }
    ~DialogRecorder() { MsgDialogs::SetAnswerHook(previous_); }

    std::vector<MsgDialogs::DialogRequest> requests;
    std::deque<MsgDialogs::DialogResult> answers;

private:
    MsgDialogs::AnswerHook previous_;
};

// Catches the addresses the program opens with the desktop's default handler.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    explicit UrlCatcher(const QString& scheme);
    ~UrlCatcher() override;
    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }

private:
    QString scheme_;
};

// The window (not shown) pointed at a catalog "Jazz" of ALBUMS albums and TITLES titles, whose
// transfer waits delayMs_ at each progress report, so that the window can be watched and acted
// on while it converts; reports_ counts the reports. HOOKS gives the window's other hooks.
class SlowedConversionTest : public ::testing::Test {
protected:
    SlowedConversionTest(int albums, int titles, int delayMs, TMainFormHooks hooks = {})
        : delayMs_(delayMs), form_(Slowed(std::move(hooks)))
    {
        fixture_.MakeTemplate();
        std::vector<pxw::Row> albumRows, titleRows;
        for (int i = 1; i <= albums; ++i)
            albumRows.push_back(AlbumRow(i, "Interpret " + std::to_string(i)));
        for (int i = 1; i <= titles; ++i)
            titleRows.push_back(TitleRow(1 + i % albums, "Titel " + std::to_string(i)));
        fixture_.WriteAlbums(albumRows);
        fixture_.WriteTitles(titleRows);
        form_.PrgPath = fixture_.ProgramDir();
        form_.edRootDir->setText(fixture_.Root());
        form_.edKatalog->setText("Jazz");
    }

    std::atomic<int> reports_{0};
    std::atomic<int> delayMs_;
    UserEnvironment user_;
    CatalogFixture fixture_;
    TMainForm form_;

private:
    TMainFormHooks Slowed(TMainFormHooks hooks)
    {
        hooks.transferProgress = [this](const TransferProgress&) {
            ++reports_;
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_.load()));
        };
        return hooks;
    }
};

inline void WriteText(const QString& fileName, const QByteArray& text)
{
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << fileName.toStdString();
    file.write(text);
}

inline QByteArray ReadText(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace GuiTest
