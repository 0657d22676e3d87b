#include "FailureGuard.h"

#include "FailureDisplay.h"
#include "InitProg.h"
#include "MsgDialogs.h"

namespace FailureGuard {

void ShowFailure(const QString& message)
{
    using namespace MsgDialogs;
    MessageDialogAt(ProgramTitle(InitProg::ExecutablePath()), FailureDisplayText(message), DialogKind::Error,
                    DialogButtons{DialogButton::OK}, DefaultDialogPos);
}

} // namespace FailureGuard
