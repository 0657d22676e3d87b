// The window program's standard output on POSIX systems: the shell's, as it is.
#include "ConsoleAttach.h"

#include <cstdio>

namespace ConsoleAttach {

bool WriteOut(const char* text)
{
    return std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0;
}

} // namespace ConsoleAttach
