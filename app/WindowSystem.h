#pragma once
// The window system the program runs on, where the platform leaves a choice: chosen before the
// application object exists, and the choice kept from the programs it starts.
//   POSIX    X11 rather than Wayland where both are at hand (WindowSystemPosix.cpp)
//   Windows  there is only the one (WindowSystemWin.cpp)

namespace WindowSystem {

// Called before the application object is made.
void Choose();

// Called once it is made: programs started from here (the browser with the information page)
// choose their own.
void LeaveChoiceToOthers();

} // namespace WindowSystem
