#pragma once

namespace pdx {

// For console programs whose output is UTF-8 text, called first in main:
// stdout and stderr pass the bytes on as written (no newline becomes CR LF),
// a console shows them as UTF-8, and a write to a reader that went away
// fails instead of ending the program. StandardOutputPosix.cpp and
// StandardOutputWin.cpp do what their systems need for it.
void PrepareStandardOutput();

} // namespace pdx
