#include "StandardOutput.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
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

bool WriteText(std::FILE* stream, std::string_view text)
{
    // A terminal takes UTF-8 as it is.
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

bool IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

bool ErasesToLineEnd(std::FILE* /*stream*/)
{
    // Every terminal of today does, but one that says it can do nothing.
    const char* term = std::getenv("TERM");
    return term == nullptr || std::strcmp(term, "dumb") != 0;
}

int TerminalColumns(std::FILE* stream)
{
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace pdx
