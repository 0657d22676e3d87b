#include "Interrupted.h"

#include "source/StandardOutput.h"
#include "util/FileReplace.h"

#include <algorithm>
#include <cstring>

#include <windows.h>

namespace tooltext {

namespace {

char g_message[8192];
DWORD g_length = 0;

BOOL WINAPI OnConsoleEvent(DWORD)
{
    // Called in a thread of its own: the message goes out whole, as characters to a console.
    if (g_length > 0)
        pdx::WriteText(stderr, std::string_view(g_message, g_length));
    FileUtils::RemoveStagedFilesNow();
    ::ExitProcess(128 + 2);
    return TRUE;
}

}  // namespace

void SayOnInterrupt(const QByteArray& message)
{
    const std::size_t length = std::min(sizeof g_message, std::size_t(message.size()));
    std::memcpy(g_message, message.constData(), length);
    g_length = DWORD(length);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace tooltext
