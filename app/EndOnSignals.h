#pragma once
// The window program ends in good order when the system tells it to end, and keeps its
// settings as at every exit. The windows are closed; a window that is converting cancels its
// transfer first and closes once it has stopped. Should the program not have ended a few
// seconds later, it removes the temporary file of a catalog being made and ends at once.
//
// What tells it, by platform:
//   POSIX    the signals a desktop sends at logout and a user sends with kill (SIGTERM, SIGHUP,
//            SIGINT, SIGQUIT), heard by the event loop through a pipe; a second signal ends the
//            program at once. EndOnSignalsPosix.cpp.
//   Windows  the end of the user's session (log-off, shut-down: WM_ENDSESSION), after which
//            the system may end the process at any moment, so everything happens before the
//            message is answered; and the console's control events where the program has a
//            console, which remove a catalog's temporary file and end it at once.
//            EndOnSignalsWin.cpp.

#include <functional>

class QCoreApplication;

namespace EndOnSignals {

// SAVE_SETTINGS writes what the windows keep between runs. It is run where the system may end
// the program before it returns from its event loop (a Windows session that ends); elsewhere
// the windows write their settings as they are destroyed after the loop, as at every exit.
void Install(QCoreApplication& app, std::function<void()> saveSettings = {});

// Whether the program has been told to end (its windows then close without asking).
bool Requested();

} // namespace EndOnSignals
