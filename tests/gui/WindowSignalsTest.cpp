// The window program as a process: told to end by the signals a desktop sends at logout (or a
// user with kill), it closes in good order, a modal dialog open or not, a conversion running or
// not, and writes its settings as at every exit.

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

namespace {

// Whether the process has a handler for SIGNAL (its mask of caught signals in /proc).
bool Catches(qint64 pid, int signal)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

// Starts PROGRAM on the offscreen platform with HOME as its home and configuration folder and
// waits until it catches SIGNAL.
void StartWithOwnHome(QProcess& window, const QTemporaryDir& home, const QString& program, const QStringList& args,
                      int signal)
{
    ASSERT_TRUE(QDir(home.path()).mkpath(".config"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath(".config"));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    window.setProcessEnvironment(environment);
    window.start(program, args);
    ASSERT_TRUE(window.waitForStarted());
    QElapsedTimer timer;
    timer.start();
    while (!Catches(window.processId(), signal) && timer.elapsed() < 20000)
        QThread::msleep(10);
    ASSERT_TRUE(Catches(window.processId(), signal));
}

// Sends SIGNAL and expects an exit 0 with the settings written to INI.
void EndsInGoodOrder(QProcess& window, int signal, const QString& ini)
{
    ::kill(pid_t(window.processId()), signal);
    ASSERT_TRUE(window.waitForFinished(20000));
    EXPECT_EQ(window.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(window.exitCode(), 0) << window.readAllStandardError().toStdString();
    QFile settings(ini);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly)) << ini.toStdString();
    const QByteArray text = settings.readAll();
    EXPECT_TRUE(text.contains("[Config]") && text.contains("Left=") && text.contains("Directory="))
        << text.toStdString();
}

}  // namespace

TEST(WindowProcess, EndsInGoodOrderOnTheSignalsOfALogout)
{
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        QTemporaryDir home;
        QProcess window;
        // Without a catalog name the window opens the catalog selection at once: a modal dialog.
        StartWithOwnHome(window, home, QStringLiteral(KK_GUI_PATH), {}, signal);
        QThread::msleep(300);  // the dialog is up
        EndsInGoodOrder(window, signal, home.filePath(".config/katalogkonverter.ini"));
    }
}

TEST(WindowProcess, SignalDuringALongConversionCancelsItCleanly)
{
    CatalogFixture fixture;
    fixture.MakeTemplate();
    std::vector<pxw::Row> albums, titles;
    for (int i = 1; i <= 200; ++i)
        albums.push_back(AlbumRow(i, "Interpret " + std::to_string(i)));
    for (int i = 1; i <= 10000; ++i)
        titles.push_back(TitleRow(1 + i % 200, "Titel " + std::to_string(i)));
    fixture.WriteAlbums(albums);
    fixture.WriteTitles(titles);
    ASSERT_TRUE(QFile::copy(fixture.ProgramDir() + "def-Music.sqlite", fixture.Target()));
    const QByteArray before = FileDigest(fixture.Target());
    const QStringList files = QDir(fixture.Root()).entryList(QDir::Files | QDir::Hidden, QDir::Name);

    // One signal: the transfer is cancelled, the window closes and writes its settings. A second
    // one before that ends the program at once, its temporary file removed.
    for (const bool twice : {false, true}) {
        SCOPED_TRACE(twice ? "two signals" : "one signal");
        QTemporaryDir home;
        QProcess window;
        StartWithOwnHome(window, home, QStringLiteral(KK_CONVERTING_WINDOW_PATH),
                         {fixture.Root(), "Jazz", fixture.ProgramDir()}, SIGTERM);
        // The transfer is under way; it takes seconds from here.
        while (!window.canReadLine())
            ASSERT_TRUE(window.waitForReadyRead(20000));
        ASSERT_EQ(window.readLine().trimmed(), "converting");

        if (twice) {
            // Apart, so that the two are not merged into one; the transfer takes 50 ms to stop.
            ::kill(pid_t(window.processId()), SIGTERM);
            QThread::msleep(10);
            ::kill(pid_t(window.processId()), SIGTERM);
            ASSERT_TRUE(window.waitForFinished(20000));
            EXPECT_EQ(window.exitCode(), 128 + SIGTERM);
        } else {
            EndsInGoodOrder(window, SIGTERM, home.filePath(".config/converting_window.ini"));
        }
        EXPECT_EQ(FileDigest(fixture.Target()), before);
        EXPECT_EQ(QDir(fixture.Root()).entryList(QDir::Files | QDir::Hidden, QDir::Name), files)
            << "no temporary file is left";
    }
}
