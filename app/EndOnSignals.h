#pragma once
// The window program ends in good order on the signals a desktop sends at logout and a user
// sends with kill (SIGTERM, SIGHUP, SIGINT, SIGQUIT): the event loop hears of the signal through
// a pipe and closes the windows, which write their settings as at every exit; a window that is
// converting cancels its transfer first and closes once it has stopped. Should the program not
// have ended a few seconds after the signal, or should a second signal come, it removes the
// temporary file of a catalog being made and ends at once.

class QCoreApplication;

namespace EndOnSignals {

void Install(QCoreApplication& app);

// Whether the program has been told to end by a signal (its windows then close without asking).
bool Requested();

} // namespace EndOnSignals
