// The window program as a process: told to end by the signals a desktop sends at logout (or a
// user with kill), it closes in good order, a modal dialog open or not, and writes its settings
// as at every exit.

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

}  // namespace

TEST(WindowProcess, EndsInGoodOrderOnTheSignalsOfALogout)
{
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        QTemporaryDir home;
        ASSERT_TRUE(QDir(home.path()).mkpath(".config"));
        const QString ini = home.filePath(".config/katalogkonverter.ini");
        QProcess window;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home.path());
        environment.insert("XDG_CONFIG_HOME", home.filePath(".config"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        window.setProcessEnvironment(environment);
        // Without a catalog name the window opens the catalog selection at once: a modal dialog.
        window.start(QStringLiteral(KK_GUI_PATH), {});
        ASSERT_TRUE(window.waitForStarted());
        QElapsedTimer timer;
        timer.start();
        while (!Catches(window.processId(), signal) && timer.elapsed() < 20000)
            QThread::msleep(10);
        ASSERT_TRUE(Catches(window.processId(), signal));
        QThread::msleep(300);  // the dialog is up

        ::kill(pid_t(window.processId()), signal);
        ASSERT_TRUE(window.waitForFinished(20000));
        EXPECT_EQ(window.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(window.exitCode(), 0);
        QFile settings(ini);
        ASSERT_TRUE(settings.open(QIODevice::ReadOnly)) << ini.toStdString();
        const QByteArray text = settings.readAll();
        EXPECT_TRUE(text.contains("[Config]") && text.contains("Left=") && text.contains("Directory="))
            << text.toStdString();
    }
}
