#include "Interrupted.h"

#include "util/FileReplace.h"

#include <algorithm>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace tooltext {

namespace {

char g_message[8192];
std::size_t g_length = 0;

void OnSignal(int signal)
{
    // Only async-signal-safe calls: write, unlink (in RemoveStagedFilesNow) and _exit.
    if (g_length > 0 && ::write(STDERR_FILENO, g_message, g_length) < 0) {
    }
    FileUtils::RemoveStagedFilesNow();
    ::_exit(128 + signal);
}

}  // namespace

void SayOnInterrupt(const QByteArray& message)
{
    const std::size_t length = std::min(sizeof g_message, std::size_t(message.size()));
    std::memcpy(g_message, message.constData(), length);
    g_length = length;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    const int ending[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    for (const int s : ending)
        sigaddset(&action.sa_mask, s);
    for (const int s : ending)
        ::sigaction(s, &action, nullptr);
}

}  // namespace tooltext
