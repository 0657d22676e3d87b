#include "EndOnSignals.h"

#include "util/FileReplace.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDeadlineTimer>
#include <QWidget>

#include <utility>

#include <windows.h>

namespace EndOnSignals {

namespace {

// How long the program may take to end in good order once the session ends.
constexpr int kGraceMilliseconds = 5000;

bool g_requested = false;

bool AnyWindowOpen()
{
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = window->windowType();
        if (window->isVisible() && (type == Qt::Window || type == Qt::Dialog))
            return true;
    }
    return false;
}

// Hears of the session's end. Windows sends WM_ENDSESSION to each top-level window and may end
// the process as soon as one of them has answered, so the first one does all the work: the
// windows close (a conversion is cancelled and waited for), their settings are written, and the
// event loop is told to end. Nothing is destroyed here: a modal dialog's loop may still lie
// below on the stack.
class SessionEndFilter : public QAbstractNativeEventFilter {
public:
    explicit SessionEndFilter(std::function<void()> saveSettings) : FSaveSettings(std::move(saveSettings)) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_ENDSESSION || msg->wParam == FALSE || FEnded)
            return false;
        FEnded = true;
        g_requested = true;
        QApplication::closeAllWindows();
        const QDeadlineTimer grace(kGraceMilliseconds);
        while (AnyWindowOpen() && !grace.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (AnyWindowOpen()) {
            // A conversion that did not stop in time: its temporary file goes, nothing else.
            FileUtils::RemoveStagedFilesNow();
            ::ExitProcess(1);
        }
        // No one is left to read a message about settings that could not be written.
        if (FSaveSettings) {
            try {
                FSaveSettings();
            } catch (...) {
            }
        }
        QCoreApplication::quit();
        *result = 0;
        return true;
    }

private:
    std::function<void()> FSaveSettings;
    bool FEnded = false;
};

} // namespace

void Install(QCoreApplication& app, std::function<void()> saveSettings)
{
    // A console, should the program have one: its events remove a catalog's temporary file
    // and end the program at once.
    FileUtils::RemoveStagedFilesOnSignals();
    auto* filter = new SessionEndFilter(std::move(saveSettings));
    app.installNativeEventFilter(filter);
    QObject::connect(&app, &QObject::destroyed, [filter] { delete filter; });
}

bool Requested() { return g_requested; }

} // namespace EndOnSignals
