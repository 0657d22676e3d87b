// katalogkonverter-cli: converts a catalog from the command line.
//
//   katalogkonverter-cli ROOT KATALOG [-y|--yes] [--salvage] [--codepage NAME]
//   katalogkonverter-cli --all ROOT [-y|--yes] [--salvage] [--codepage NAME]
//
// A damaged source table is a failure that changes nothing, unless --salvage takes the rows
// that could be read; what was lost goes to standard error either way.
//
// Exit codes: 0 converted, 1 a message of the command, a failure of the transfer or a damaged
// source table without --salvage,
// 2 bad usage, 3 the existing catalog file was not to be replaced, 128 + the signal's number
// when ended by SIGINT, SIGTERM, SIGHUP or SIGQUIT (the previous catalog file then stays as it
// was); a status line that cannot be written (standard output closed) makes a 0 or 3 a 1.
// With --all (every catalog of ROOT, one status line each, then a summary line): 0 all
// converted, 1 a catalog failed (or ROOT holds none), else 3 a catalog file was not replaced.

#include "ConvertAll.h"
#include "ConvertCommand.h"
#include "FailureDisplay.h"
#include "Version.h"
#include "source/FileNames.h"
#include "source/StandardOutput.h"
#include "util/FileReplace.h"
#include "util/FileUtils.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include <unistd.h>

namespace {

enum ExitCode { kConverted = 0, kFailed = 1, kUsage = 2, kDeclined = 3 };

const char kUsageText[] =
    "Aufruf: katalogkonverter-cli STAMMVERZEICHNIS KATALOG [OPTIONEN]\n"
    "        katalogkonverter-cli --all STAMMVERZEICHNIS [OPTIONEN]\n"
    "\n"
    "Konvertiert den Plattenkatalog KATALOG (KATALOG-Album.db und KATALOG-Titel.db\n"
    "im STAMMVERZEICHNIS) in die SQLite-Datenbank KATALOG-Music.sqlite im selben\n"
    "Verzeichnis. Ist eine Tabelle beschädigt, bleibt alles, wie es war, außer mit\n"
    "--salvage.\n"
    "\n"
    "  --all            alle Kataloge im STAMMVERZEICHNIS nacheinander konvertieren\n"
    "  -y, --yes        eine vorhandene Datenbank ohne Rückfrage überschreiben\n"
    "  --salvage        aus beschädigten Tabellen die lesbaren Zeilen konvertieren;\n"
    "                   was fehlt, steht in der Meldung\n"
    "  --codepage NAME  Codepage der Tabellen vorgeben (z. B. IBM850, windows-1252)\n"
    "  -h, --help       diese Hilfe ausgeben\n"
    "  --version        Programmname und Version ausgeben\n";

// Terminal output breaks lines with "\n" alone, on Windows too; bytes of a file name that are not UTF-8
// are shown escaped ("GR\x99SSE"), as paradox2sqlite shows them.
std::string ForTerminal(const QString& text)
{
    QString lines = pdx::DisplayFileName(text);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return lines.toStdString();
}

// The transfer's progress on a terminal: one line on standard error, rewritten at most ten
// times a second and cleared when the transfer ends. Nothing when standard error is no terminal.
class TerminalProgress {
public:
    TerminalProgress() : shown_(isatty(STDERR_FILENO) == 1) {}
    ~TerminalProgress() { Clear(); }

    void Attach(TransferControl& control)
    {
        if (shown_)
            control.progress = [this](const TransferProgress& progress) { Show(progress); };
    }
    // Takes the line away before other output.
    void Clear()
    {
        if (!width_)
            return;
        std::fprintf(stderr, "\r%*s\r", width_, "");
        std::fflush(stderr);
        width_ = 0;
    }

private:
    void Show(const TransferProgress& p)
    {
        const auto now = std::chrono::steady_clock::now();
        const bool done = p.albumsDone == p.albumsTotal && p.titlesDone == p.titlesTotal;
        if (width_ && !done && now - last_ < std::chrono::milliseconds(100))
            return;
        last_ = now;
        const std::uint64_t total = p.albumsTotal + p.titlesTotal;
        const unsigned percent = total ? unsigned((p.albumsDone + p.titlesDone) * 100 / total) : 100;
        char line[160];
        const int length = std::snprintf(line, sizeof line, "Alben %llu von %llu, Titel %llu von %llu (%u %%)",
                                         static_cast<unsigned long long>(p.albumsDone),
                                         static_cast<unsigned long long>(p.albumsTotal),
                                         static_cast<unsigned long long>(p.titlesDone),
                                         static_cast<unsigned long long>(p.titlesTotal), percent);
        std::fprintf(stderr, "\r%-*s", width_, line);
        std::fflush(stderr);
        width_ = std::max(width_, length);
    }

    bool shown_;
    int width_ = 0;
    std::chrono::steady_clock::time_point last_;
};

class TerminalPrompts : public ConvertPrompts {
public:
    TerminalPrompts(bool assumeYes, bool salvage, TerminalProgress& progress)
        : assumeYes_(assumeYes), salvage_(salvage), progress_(progress)
    {
    }

    // No question: --salvage has answered it.
    bool ConfirmSalvage(const SalvageQuestion& salvage) override
    {
        progress_.Clear();
        std::cerr << ForTerminal(salvage.damage) << '\n';
        // What stays comes last, as after every failure.
        if (!salvage_)
            std::cerr << "Mit --salvage werden die lesbaren Zeilen konvertiert.\n" << ForTerminal(salvage.ifNot) << '\n';
        return salvage_;
    }

    bool ConfirmOverwrite(const QString& question) override
    {
        if (assumeYes_)
            return true;
        progress_.Clear();
        if (!isatty(STDIN_FILENO)) {
            std::cerr << ForTerminal(question) << "\nNein (ohne Terminal wird nur mit --yes überschrieben).\n";
            return false;
        }
        std::cerr << ForTerminal(question) << " [j/N] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer))
            return false;
        return answer == "j" || answer == "J" || answer == "ja" || answer == "Ja";
    }

    void ShowError(const QString& message, const QString& cause) override
    {
        progress_.Clear();
        std::cerr << ForTerminal(message) << '\n';
        if (!cause.isEmpty())
            std::cerr << ForTerminal(cause) << '\n';
    }

private:
    bool assumeYes_;
    bool salvage_;
    TerminalProgress& progress_;
};

int Usage(const char* problem)
{
    if (problem)
        std::cerr << "katalogkonverter-cli: " << problem << "\n\n";
    std::cerr << kUsageText;
    return kUsage;
}

// --all: every catalog of REQUEST.root, each with its status line, then the summary line.
int ConvertEveryCatalog(const ConvertRequest& request, ConvertPrompts& prompts, TerminalProgress& progress)
{
    if (!FileUtils::DirectoryExists(request.root)) {
        prompts.ShowError(FileUtils::SafeFormat(QStringLiteral("Verzeichnis \"%s\" nicht gefunden!"), {request.root}));
        return kFailed;
    }
    QStringList withoutTitles;
    const QStringList catalogs = ConvertAll::FindCatalogs(request.root, &withoutTitles);
    for (const QString& album : withoutTitles)
        std::cerr << "Hinweis: Zu \"" << ForTerminal(album) << "\" gibt es keine Titeltabelle; übersprungen.\n";
    if (catalogs.isEmpty()) {
        prompts.ShowError(QStringLiteral("Im Verzeichnis \"%1\" gibt es keinen Katalog "
                                         "(NAME-Album.db mit NAME-Titel.db).").arg(request.root));
        return kFailed;
    }
    ConvertRequest base = request;
    progress.Attach(base.control);
    const auto outcomes = ConvertAll::ConvertCatalogs(base, catalogs, prompts, [&progress](const auto& outcome) {
        progress.Clear();
        for (const QString& warning : outcome.warnings)
            std::cerr << ForTerminal(warning) << '\n';
        std::cout << ForTerminal(ConvertAll::StatusLine(outcome)) << std::endl;
    });
    std::cout << ForTerminal(ConvertAll::SummaryLine(outcomes)) << std::endl;
    if (!std::cout)
        return kFailed;
    int exitCode = kConverted;
    for (const ConvertAll::CatalogOutcome& outcome : outcomes) {
        if (outcome.outcome == ConvertAll::Outcome::Failed || outcome.outcome == ConvertAll::Outcome::Damaged)
            return kFailed;
        if (outcome.outcome == ConvertAll::Outcome::Declined)
            exitCode = kDeclined;
    }
    return exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Umlauts in a Windows console, and the same bytes as on Linux when redirected.
    pdx::PrepareStandardOutput();
    // Ctrl+C or a kill ends the run without a half-made catalog file left behind.
    FileUtils::RemoveStagedFilesOnSignals();

    ConvertRequest request;
    bool assumeYes = false;
    bool salvage = false;
    bool all = false;
    QStringList positional;
    // Names of any bytes, those that are not UTF-8 too (source/FileNames.h).
    const QStringList args = pdx::CommandLineArguments(argc, argv);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-y") || arg == QLatin1String("--yes")) {
            assumeYes = true;
        } else if (arg == QLatin1String("--all")) {
            all = true;
        } else if (arg == QLatin1String("--salvage")) {
            salvage = true;
        } else if (arg == QLatin1String("--codepage")) {
            if (++i == args.size())
                return Usage("--codepage braucht einen Namen.");
            request.codePage = args[i];
        } else if (arg.startsWith(QLatin1String("--codepage="))) {
            request.codePage = arg.mid(11);
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            std::cout << kUsageText;
            return kConverted;
        } else if (arg == QLatin1String("--version")) {
            std::cout << "katalogkonverter-cli " KK_VERSION "\n";
            return kConverted;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return Usage(("Unbekannte Option \"" + ForTerminal(arg) + "\".").c_str());
        } else {
            positional << arg;
        }
    }
    // The template lies beside the program, in a folder of any name.
    const QString executable = pdx::ExecutableFileName();
    request.programDir = executable.isEmpty() ? QCoreApplication::applicationDirPath() + QDir::separator()
                                              : executable.left(executable.lastIndexOf(QDir::separator()) + 1);
    if (all) {
        if (positional.size() != 1)
            return Usage(positional.isEmpty() ? "STAMMVERZEICHNIS fehlt." : "Zu viele Argumente.");
        request.root = QDir::toNativeSeparators(positional[0]);
        TerminalProgress progress;
        TerminalPrompts prompts(assumeYes, salvage, progress);
        return ConvertEveryCatalog(request, prompts, progress);
    }
    if (positional.size() != 2)
        return Usage(positional.size() < 2 ? "STAMMVERZEICHNIS und KATALOG fehlen." : "Zu viele Argumente.");
    // Messages name paths with the system's separators only.
    request.root = QDir::toNativeSeparators(positional[0]);
    request.catalog = positional[1];

    TerminalProgress progress;
    TerminalPrompts prompts(assumeYes, salvage, progress);
    progress.Attach(request.control);
    try {
        const ConvertResult result = ConvertCatalog(request, prompts);
        progress.Clear();
        switch (result.outcome) {
        case ConvertOutcome::Converted:
            for (const QString& warning : result.warnings)
                std::cerr << ForTerminal(warning) << '\n';
            std::cout << ForTerminal(result.status) << std::endl;
            return std::cout ? kConverted : kFailed;
        case ConvertOutcome::Declined:
            return kDeclined;
        case ConvertOutcome::Stopped:
        case ConvertOutcome::Cancelled:
        case ConvertOutcome::Damaged:
            return kFailed;
        }
    } catch (const std::exception& failure) {
        progress.Clear();
        std::cerr << ForTerminal(FailureDisplayText(QString::fromUtf8(failure.what()))) << '\n';
    }
    return kFailed;
}
