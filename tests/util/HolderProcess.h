// A child process that holds a file in one way until it is destroyed.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

class Holder {
public:
    // The child opens file for reading and writing (as user, with the group of
    // the same number, when one is given) and runs hold on the descriptor;
    // then it waits to be killed.
    Holder(const QString& file, const std::function<bool(int fd)>& hold, uid_t user = uid_t(-1))
    {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        FPid = ::fork();
        if (FPid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const bool switched =
                user == uid_t(-1) || (::setgroups(0, nullptr) == 0 && ::setgid(gid_t(user)) == 0 && ::setuid(user) == 0);
            // A process that switched users hides its /proc entries even from its new user otherwise.
            ::prctl(PR_SET_DUMPABLE, 1);
            const int fd = switched ? ::open(QFile::encodeName(file).constData(), O_RDWR) : -1;
            const char ok = fd >= 0 && hold(fd) ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char ok = '0';
        EXPECT_EQ(::read(ready[0], &ok, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(ok, '1') << "the child could not hold " << file.toStdString();
    }
    ~Holder()
    {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
};

// Runs body in a child process after prepare (which switches the user or the
// namespaces there) and brings back what body answers; nothing when prepare
// failed or the child did not end normally.
inline std::optional<QByteArray> RunInChild(const std::function<bool()>& prepare,
                                            const std::function<QByteArray()>& body)
{
    int answer[2];
    if (::pipe(answer) != 0)
        return std::nullopt;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(answer[0]);
        if (!prepare())
            ::_exit(99);
        const QByteArray text = body();
        (void)!::write(answer[1], text.constData(), std::size_t(text.size()));
        ::_exit(0);
    }
    ::close(answer[1]);
    QByteArray text;
    char buffer[512];
    for (ssize_t got; (got = ::read(answer[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, got);
    ::close(answer[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}
