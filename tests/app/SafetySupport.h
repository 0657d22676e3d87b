#pragma once
// Other programs for the safety tests: the sqlite3 shell holding a catalog, and the
// command-line converter run as a process.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

struct CliRun {
    int exitCode;
    QString out;
    QString err;
};

inline QString SqliteShellPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
}

// The sqlite3 shell as another program holding the catalog: it runs SQL fed to its standard
// input, and the test waits until it has run.
class SqliteShell {
public:
    explicit SqliteShell(const QString& database) : marker_(database + ".shell-done")
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(SqliteShellPath(), {QStringLiteral("-batch"), database});
        process_.waitForStarted();
    }
    ~SqliteShell()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.closeWriteChannel();
            if (!process_.waitForFinished(5000))
                process_.kill();
            process_.waitForFinished();
        }
        QFile::remove(marker_);
    }

    // Runs SQL (or dot commands) and returns once the shell has done so.
    bool Run(const QString& sql)
    {
        QFile::remove(marker_);
        process_.write((sql + "\n.system touch '" + marker_ + "'\n").toUtf8());
        QElapsedTimer timer;
        timer.start();
        while (!QFile::exists(marker_)) {
            if (timer.elapsed() > 300000 || process_.state() == QProcess::NotRunning)
                return false;
            process_.waitForReadyRead(20);
        }
        return true;
    }

    qint64 Pid() const { return process_.processId(); }

    void Kill()
    {
        process_.kill();
        process_.waitForFinished();
    }

private:
    QProcess process_;
    QString marker_;
};

// Runs the command-line converter (PREFIX, e.g. "setpriv ...", goes before it) and waits.
inline CliRun RunCli(const QStringList& args, const QStringList& prefix = {})
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    if (prefix.isEmpty())
        process.start(QStringLiteral(KK_CLI_PATH), args);
    else
        process.start(prefix.first(), prefix.mid(1) + QStringList{QStringLiteral(KK_CLI_PATH)} + args);
    if (!process.waitForFinished(300000))
        ADD_FAILURE() << "the converter did not end within 5 minutes";
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}
