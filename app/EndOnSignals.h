#pragma once
// The window program ends in good order on the signals a desktop sends at logout and a user
// sends with kill (SIGTERM, SIGHUP, SIGINT, SIGQUIT): its windows close and write their
// settings as at every exit. While a new catalog is being made, the signal removes its
// temporary file and ends the program at once instead.

class QCoreApplication;

namespace EndOnSignals {

void Install(QCoreApplication& app);

} // namespace EndOnSignals
