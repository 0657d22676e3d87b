// Catching a child process in the middle of its work, however loaded the machine is: the
// process is stopped (SIGSTOP) and its open files looked at only while it stands still, so it
// cannot finish between the look and the test's next step. Linux only (/proc).
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

#include <csignal>

#include <sys/types.h>
#include <sys/wait.h>

namespace TestSupport {

// The file names (without folder) the process PID holds open.
inline QStringList OpenFileNames(pid_t pid)
{
    const QString fds = QString("/proc/%1/fd").arg(pid);
    QStringList names;
    for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        names << QFileInfo(QFile::symLinkTarget(fds + '/' + fd)).fileName();
    return names;
}

// Stops PID and returns true once READY(its open file names) holds while it is stopped (it
// stays stopped then: SIGCONT lets it go on). Between looks it runs on. False when it ended
// first or five minutes passed.
template <typename Ready>
bool StopWhen(pid_t pid, Ready ready)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300000) {
        if (pid <= 0 || ::kill(pid, SIGSTOP) != 0)
            return false;
        siginfo_t info{};
        if (::waitid(P_PID, id_t(pid), &info, WSTOPPED | WEXITED | WNOWAIT) != 0 || info.si_code != CLD_STOPPED)
            return false;
        if (ready(OpenFileNames(pid)))
            return true;
        ::kill(pid, SIGCONT);
        QThread::msleep(2);
    }
    return false;
}

}  // namespace TestSupport
