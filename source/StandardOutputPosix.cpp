#include "StandardOutput.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace pdx {

void PrepareStandardOutput()
{
    // The bytes and the terminal need nothing; a closed pipe would raise SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    // A program started with standard output or error closed would hand the
    // descriptor to the next file it opens, and its report lines would go
    // there. /dev/null read-only holds the place: writes to it fail, and the
    // program says so by its exit code.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int held = ::open("/dev/null", O_RDONLY);
            if (held >= 0 && held != fd) {
                ::dup2(held, fd);
                ::close(held);
            }
        }
    }
}

} // namespace pdx
