#pragma once
// The window program's few words on the command line (--help, --version) reach the console it
// was started from.
//
//   POSIX    standard output is the shell's already: written as it is. ConsoleAttachPosix.cpp.
//   Windows  a window program gets no console of its own, and from a console window's shell
//            (cmd, PowerShell) no standard handles either: it borrows the console of the process
//            that started it and writes the text there as Unicode, whatever the console's code
//            page. Output redirected to a file or a pipe gets the UTF-8 bytes, as on Linux.
//            Started from the Explorer or a shortcut there is no such console, none is opened
//            and the text goes nowhere. ConsoleAttachWin.cpp.

namespace ConsoleAttach {

// Writes the UTF-8 TEXT to standard output; false when it could not be written.
bool WriteOut(const char* text);

} // namespace ConsoleAttach
