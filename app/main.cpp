// katalogkonverter: the desktop program. Start-up, run and end in the order the windows rely on.

#include "ConvertMain.h"
#include "FailureDisplay.h"
#include "InitProg.h"
#include "ShellDirDlg.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace {

// On Wayland no program can place its windows or learn where they are: the remembered window
// position, the question at the button's corner and the fitting into the work area would all
// come to nothing. Where X11 is at hand too (XWayland), the program runs there, unless the
// user chose a platform; should X11 fail, Wayland is the fallback.
void PreferX11UnderWayland()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}

} // namespace

int main(int argc, char** argv)
{
    // The program's paths come first, before any window exists.
    InitProg::Initialize(InitProg::RunningExecutable(QString::fromLocal8Bit(argv[0])));

    const bool platformChosenHere = !qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    PreferX11UnderWayland();
    QApplication app(argc, argv);
    // Programs started from here (the browser with the information page) choose their own.
    if (platformChosenHere)
        qunsetenv("QT_QPA_PLATFORM");
    QApplication::setApplicationName(ProgramTitle(InitProg::ExecutablePath()));
    QApplication::setDesktopFileName(QStringLiteral("katalogkonverter"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/katalogkonverter.png")));
    // The program speaks German whatever the desktop's language: so do the toolkit's own dialogs.
    QTranslator toolkitTexts;
    if (toolkitTexts.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&toolkitTexts);

    auto mainForm = std::make_unique<TMainForm>();
    auto shellDirDialog = std::make_unique<TShellDirDialog>();
    mainForm->ShellDirDialog = shellDirDialog.get();

    mainForm->show();
    const int exitCode = QApplication::exec();

    // The main window writes the settings as it goes; the folder chooser keeps nothing.
    mainForm.reset();
    shellDirDialog.reset();
    return exitCode;
}
