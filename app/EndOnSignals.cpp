#include "EndOnSignals.h"

#include "util/FileReplace.h"

#include <QApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

namespace EndOnSignals {

void Install(QCoreApplication& app)
{
    // The handler may only write a byte; the event loop reads it and does the rest.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        FileUtils::RemoveStagedFilesOnSignals();
        return;
    }
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [fd = fds[0]] {
        char signal = 0;
        while (::read(fd, &signal, 1) == 1) {
        }
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
    FileUtils::RemoveStagedFilesOnSignals(fds[1]);
}

} // namespace EndOnSignals
