#include "WindowSystem.h"

namespace WindowSystem {

void Choose() {}

void LeaveChoiceToOthers() {}

} // namespace WindowSystem
