#pragma once
// Runs one measurement in a forked child process, so that the peak memory reported is the
// measurement's own and not what the benchmark generated or measured before.

#include <cstdio>
#include <exception>
#include <functional>
#include <type_traits>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

template <class T>
struct ChildRun {
    bool ok = false;
    T value{};
    long peakKiB = 0;  // the child's peak resident memory
};

// T must be trivially copyable: it travels back through a pipe.
template <class T>
ChildRun<T> RunInChild(const std::function<T()>& job)
{
    static_assert(std::is_trivially_copyable_v<T>);
    ChildRun<T> run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        try {
            const T value = job();
            if (write(fds[1], &value, sizeof value) != sizeof value)
                _exit(1);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "failed: %s\n", failure.what());
            _exit(1);
        }
        _exit(0);
    }
    close(fds[1]);
    run.ok = read(fds[0], &run.value, sizeof run.value) == sizeof run.value;
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.ok = run.ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.peakKiB = usage.ru_maxrss;
    return run;
}

// A timed run in a child: its wall time in seconds (negative when it failed) and peak memory.
struct Measured {
    double seconds = -1;
    long peakKiB = 0;
};

// Runs WORK, which returns its own time in seconds, in a child process.
inline Measured InChild(const std::function<double()>& work)
{
    const ChildRun<double> run = RunInChild(work);
    return {run.ok ? run.value : -1, run.peakKiB};
}

// The faster of two runs' times, and the larger of their peaks.
inline Measured Better(const Measured& best, const Measured& run)
{
    const bool faster = best.seconds < 0 || (run.seconds >= 0 && run.seconds < best.seconds);
    return {faster ? run.seconds : best.seconds, best.peakKiB > run.peakKiB ? best.peakKiB : run.peakKiB};
}
