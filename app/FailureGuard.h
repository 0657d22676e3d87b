#pragma once
// The one guard around every handler of the program's windows: a failure that a handler does
// not catch ends that handler and is shown in a message box captioned with the program's title;
// the program keeps running.

#include <QString>

#include <exception>
#include <utility>

namespace FailureGuard {

// Shows MESSAGE as a failure: the text by FailureDisplayText, the program's title as caption,
// an error icon and OK.
void ShowFailure(const QString& message);

// Runs HANDLER; whatever it raises is shown by ShowFailure.
template <typename Handler>
void Run(Handler&& handler)
{
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& failure) {
        ShowFailure(QString::fromUtf8(failure.what()));
    }
}

} // namespace FailureGuard
