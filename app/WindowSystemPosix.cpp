#include "WindowSystem.h"

#include <QByteArray>
#include <QtGlobal>

namespace WindowSystem {

namespace {

bool g_chosenHere = false;

} // namespace

// On Wayland no program can place its windows or learn where they are: the remembered window
// position, the question at the button's corner and the fitting into the work area would all
// come to nothing. Where X11 is at hand too (XWayland), the program runs there, unless the
// user chose a platform; should X11 fail, Wayland is the fallback.
void Choose()
{
    g_chosenHere = !qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    if (!g_chosenHere || qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb;wayland"));
}

void LeaveChoiceToOthers()
{
    if (g_chosenHere)
        qunsetenv("QT_QPA_PLATFORM");
}

} // namespace WindowSystem
