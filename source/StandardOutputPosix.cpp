#include "StandardOutput.h"

#include <csignal>

namespace pdx {

void PrepareStandardOutput()
{
    // The bytes and the terminal need nothing; a closed pipe would raise SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace pdx
