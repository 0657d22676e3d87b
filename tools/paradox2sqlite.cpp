// paradox2sqlite [--codepage NAME] [--replace] OUT.sqlite PATH...
// Exports Paradox tables, each into one table of a new SQLite database (SqliteExport.h).
//
// Exit codes: 0 every table went in, 1 a table or more did not (or none could, or the output
// file could not be made, or standard output was closed), 2 bad usage, 128 + the signal's number
// when ended by SIGINT, SIGTERM, SIGHUP or SIGQUIT (the output file then stays as it was).
// stdout: one line per table ("Kunden: 55 Zeilen"); stderr: the messages, and a progress
// display for large tables when stderr is a terminal.

#include "SqliteExport.h"
#include "Version.h"
#include "util/FileReplace.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>

#include <unistd.h>

namespace {

const char kUsageText[] =
    "Aufruf: paradox2sqlite [--codepage NAME] [--replace] AUSGABE.sqlite PFAD...\n"
    "\n"
    "Übernimmt Paradox-Tabellen in die neue SQLite-Datenbank AUSGABE.sqlite, jede in eine\n"
    "Tabelle mit dem Namen ihrer Datei. PFAD ist eine Tabelle (.db) oder ein Verzeichnis,\n"
    "dessen Tabellen (*.db) alle übernommen werden.\n"
    "\n"
    "  --codepage NAME  Zeichensatz der Tabellen vorgeben (z. B. IBM850, windows-1252)\n"
    "  --replace        eine vorhandene AUSGABE.sqlite ersetzen\n"
    "  -h, --help       diese Hilfe ausgeben\n"
    "  --version        Programmname und Version ausgeben\n"
    "\n"
    "Rückgabewert: 0 alle Tabellen übernommen, 1 nicht alle, 2 falscher Aufruf.\n";

enum ExitCode { kAllExported = 0, kNotAll = 1, kUsage = 2 };

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "paradox2sqlite: %s\n\n%s", problem.c_str(), kUsageText);
    return kUsage;
}

// Standard output went away (a reader such as "| head -1" ended): the export stops like any
// other failure, and its temporary file is removed.
class OutputClosed : public std::runtime_error {
public:
    OutputClosed() : std::runtime_error("Die Standardausgabe ist geschlossen; die Übernahme wurde abgebrochen.") {}
};

void PrintLine(std::FILE* stream, const QString& text)
{
    const QByteArray utf8 = (text + u'\n').toUtf8();
    const bool written = std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), stream) == std::size_t(utf8.size());
    if ((std::fflush(stream) != 0 || !written) && stream == stdout)
        throw OutputClosed();
}

QString RowsText(std::uint64_t rows)
{
    return rows == 1 ? QStringLiteral("1 Zeile") : QStringLiteral("%1 Zeilen").arg(rows);
}

class ConsoleListener : public SqliteExport::Listener {
public:
    void TableDone(const SqliteExport::TableFile& table, std::uint64_t rows) override
    {
        ClearProgress();
        PrintLine(stdout, table.name + QStringLiteral(": ") + RowsText(rows));
    }

    void TableFailed(const SqliteExport::TableFile& table, const QString& message) override
    {
        ClearProgress();
        PrintLine(stderr, message);
        PrintLine(stdout, table.name + QStringLiteral(": nicht übernommen"));
    }

    void Warning(const QString& message) override
    {
        ClearProgress();
        PrintLine(stderr, message);
    }

    // Shown only on a terminal, for a table that takes longer than a moment, a few times a second.
    void Progress(const SqliteExport::TableFile& table, std::uint64_t done, std::uint64_t total) override
    {
        if (!terminal_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (table.path != current_) {
            current_ = table.path;
            started_ = now;
            shown_ = now;
            return;
        }
        if (now - started_ < std::chrono::milliseconds(500) || now - shown_ < std::chrono::milliseconds(200))
            return;
        shown_ = now;
        QString text = table.name + QStringLiteral(": ") + RowsText(done);
        if (total >= done && total > 0)
            text += QStringLiteral(" von %1 (%2 %)").arg(total).arg(done * 100 / total);
        const QByteArray utf8 = text.toUtf8();
        std::fprintf(stderr, "\r%s\033[K", utf8.constData());
        std::fflush(stderr);
        visible_ = true;
    }

private:
    void ClearProgress()
    {
        current_.clear();
        if (!visible_)
            return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        visible_ = false;
    }

    bool terminal_ = isatty(STDERR_FILENO) == 1;
    bool visible_ = false;
    QString current_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point shown_;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Ctrl+C or a kill ends the run without a half-made database left behind.
    FileUtils::RemoveStagedFilesOnSignals();

    SqliteExport::Options options;
    QStringList positional;
    bool optionsEnd = false;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnd || !arg.startsWith(u'-') || arg.size() == 1) {
            positional << arg;
        } else if (arg == QLatin1String("--")) {
            optionsEnd = true;
        } else if (arg == QLatin1String("--replace")) {
            options.replace = true;
        } else if (arg == QLatin1String("--codepage")) {
            if (++i == args.size())
                return Usage("--codepage braucht einen Namen.");
            options.codePage = args[i];
        } else if (arg.startsWith(QLatin1String("--codepage="))) {
            options.codePage = arg.mid(11);
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            std::fputs(kUsageText, stdout);
            return kAllExported;
        } else if (arg == QLatin1String("--version")) {
            std::fputs("paradox2sqlite " KK_VERSION "\n", stdout);
            return kAllExported;
        } else {
            return Usage("Unbekannte Option \"" + arg.toStdString() + "\".");
        }
    }
    if (positional.size() < 2)
        return Usage(positional.isEmpty() ? "AUSGABE.sqlite und PFAD fehlen." : "PFAD fehlt.");
    const QString outFile = positional.takeFirst();

    QStringList problems;
    QStringList notes;
    const std::vector<SqliteExport::TableFile> tables = SqliteExport::CollectTables(positional, outFile, problems, notes);
    for (const QString& note : notes)
        PrintLine(stderr, note);
    for (const QString& problem : problems)
        PrintLine(stderr, problem);
    if (tables.empty()) {
        const QString outcome = QFileInfo::exists(outFile) ? QStringLiteral("\"%1\" bleibt unverändert.")
                                                           : QStringLiteral("\"%1\" wurde nicht angelegt.");
        PrintLine(stderr, QStringLiteral("paradox2sqlite: Keine Tabelle zu übernehmen; ") + outcome.arg(outFile));
        return kNotAll;
    }

    ConsoleListener listener;
    const SqliteExport::Result result = SqliteExport::ExportTables(outFile, tables, options, listener);
    if (!result.fatal.isEmpty()) {
        PrintLine(stderr, QStringLiteral("paradox2sqlite: ") + result.fatal);
        return kNotAll;
    }
    const int failed = result.failed + int(problems.size());
    if (failed > 0 || result.exported == 0) {
        PrintLine(stderr, QStringLiteral("paradox2sqlite: %1 von %2 Tabellen übernommen.")
                              .arg(result.exported)
                              .arg(result.exported + failed));
        return kNotAll;
    }
    return kAllExported;
}
