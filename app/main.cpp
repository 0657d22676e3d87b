// katalogkonverter: the desktop program. Start-up, run and end in the order the windows rely on.

#include "ConsoleAttach.h"
#include "ConvertMain.h"
#include "EndOnSignals.h"
#include "FailureDisplay.h"
#include "InitProg.h"
#include "ShellDirDlg.h"
#include "Version.h"
#include "WindowSystem.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const char kUsageText[] =
    "Aufruf: katalogkonverter [-h|--help] [--version]\n"
    "\n"
    "Öffnet das Fenster des Katalogkonverters. Er konvertiert einen Plattenkatalog\n"
    "aus den Paradox-Tabellen KATALOG-Album.db und KATALOG-Titel.db in die\n"
    "SQLite-Datenbank KATALOG-Music.sqlite im selben Verzeichnis. Ohne Fenster:\n"
    "katalogkonverter-cli.\n"
    "\n"
    "  -h, --help  diese Hilfe ausgeben\n"
    "  --version   Programmname und Version ausgeben\n";

// --help and --version are answered on stdout before any window exists, so they need no
// display; -1 when neither was given (the toolkit takes its own options, such as -platform).
int AnswerInfoOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            return ConsoleAttach::WriteOut(kUsageText) ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            return ConsoleAttach::WriteOut("katalogkonverter " KK_VERSION "\n") ? 0 : 1;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (const int exitCode = AnswerInfoOption(argc, argv); exitCode >= 0)
        return exitCode;

    // The program's paths come first, before any window exists.
    InitProg::Initialize(InitProg::RunningExecutable(QString::fromLocal8Bit(argv[0])));

    WindowSystem::Choose();
    QApplication app(argc, argv);
    WindowSystem::LeaveChoiceToOthers();
    QApplication::setApplicationName(ProgramTitle(InitProg::ExecutablePath()));
    QApplication::setDesktopFileName(QStringLiteral(KK_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/katalogkonverter.png")));
    // The program speaks German whatever the desktop's language: so do the toolkit's own dialogs,
    // with German numbers, dates and file types.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTranslator toolkitTexts;
    // Qt's own place, else translations/ beside the program (a Windows folder holds its Qt there).
    if (toolkitTexts.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || toolkitTexts.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                             QCoreApplication::applicationDirPath() + QStringLiteral("/translations")))
        QApplication::installTranslator(&toolkitTexts);

    std::unique_ptr<TMainForm> mainForm;
    EndOnSignals::Install(app, [&mainForm] {
        if (mainForm)
            mainForm->FormDestroy();
    });

    mainForm = std::make_unique<TMainForm>();
    auto shellDirDialog = std::make_unique<TShellDirDialog>();
    mainForm->ShellDirDialog = shellDirDialog.get();

    mainForm->show();
    const int exitCode = QApplication::exec();

    // The main window writes the settings as it goes; the folder chooser keeps nothing.
    mainForm.reset();
    shellDirDialog.reset();
    return exitCode;
}
