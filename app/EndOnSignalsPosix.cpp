#include "EndOnSignals.h"

#include "util/FileReplace.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace EndOnSignals {

namespace {

// How long the program may take to end in good order after a signal.
constexpr unsigned kGraceSeconds = 5;

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

std::atomic<int> g_notifyFd{-1};
// The first signal received; 0 before any.
std::atomic<int> g_signal{0};
bool g_requested = false;

[[noreturn]] void EndNow(int signal)
{
    FileUtils::RemoveStagedFilesNow();
    ::_exit(128 + signal);
}

// Async-signal-safe: tells the event loop and starts the grace period; a second signal, or a
// pipe that takes nothing, ends the program at once.
void OnEndingSignal(int signal)
{
    const int savedErrno = errno;
    int expected = 0;
    if (!g_signal.compare_exchange_strong(expected, signal))
        EndNow(expected);
    const char number = char(signal);
    if (::write(g_notifyFd.load(), &number, 1) != 1)
        EndNow(signal);
    ::alarm(kGraceSeconds);
    errno = savedErrno;
}

void OnGraceOver(int) { EndNow(g_signal.load()); }

void Catch(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int blocked : kEndingSignals)
        sigaddset(&action.sa_mask, blocked);
    sigaddset(&action.sa_mask, SIGALRM);
    ::sigaction(signal, &action, nullptr);
}

} // namespace

void Install(QCoreApplication& app, std::function<void()> /*saveSettings: the windows do it after the loop*/)
{
    // The clean-up that ends at once, and SIGPIPE ignored; the handler below takes over the
    // ending signals when the pipe to the event loop can be made.
    FileUtils::RemoveStagedFilesOnSignals();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [fd = fds[0]] {
        char signal = 0;
        while (::read(fd, &signal, 1) == 1) {
        }
        g_requested = true;
        QApplication::closeAllWindows();
        // A window that is still converting stays open until its transfer has stopped and then
        // closes itself, which ends the program; otherwise the program ends now.
        for (const QWidget* window : QApplication::topLevelWidgets()) {
            const Qt::WindowType type = window->windowType();
            if (window->isVisible() && (type == Qt::Window || type == Qt::Dialog))
                return;
        }
        QCoreApplication::quit();
    });
    g_notifyFd.store(fds[1]);
    Catch(SIGALRM, OnGraceOver);
    for (const int signal : kEndingSignals)
        Catch(signal, OnEndingSignal);
}

bool Requested() { return g_requested; }

} // namespace EndOnSignals
