// paradox2sqlite [OPTIONS] OUT.sqlite PATH...      exports Paradox tables into a new SQLite database
// paradox2sqlite --list [--json] [OPTIONS] PATH...  tells what the tables are
// paradox2sqlite --schema [OPTIONS] PATH...         prints the CREATE statements it would run
//
// Exit codes: 0 every table went in (or was listed); 1 a table or more did not (the rest is in),
// or went in damaged, with the rows that could be read ("Kunden: 19.914 von 20.000 Zeilen,
// beschädigt", listed so too), or none could, or standard output could not be written; 2 bad
// usage, said before anything is read, or an output that is one of the files read or a Paradox
// file (OutputIsInput); 3 nothing done, because the output exists and --replace was not given; 128 + the
// signal's number when ended by SIGINT, SIGTERM, SIGHUP or SIGQUIT (the output stays as it was).
// stdout: one line per table ("Kunden: 55 Zeilen"); stderr: the messages, and progress on a
// terminal.

#include "Interrupted.h"
#include "OutputCheck.h"
#include "SqliteExport.h"
#include "TableListing.h"
#include "Version.h"
#include "source/CodePage.h"
#include "source/CodePageDecoder.h"
#include "source/FileNames.h"
#include "source/StandardOutput.h"
#include "util/FileReplace.h"

#include <QCoreApplication>
#include <QDir>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

const char kUsageText[] =
    "Aufruf: paradox2sqlite [OPTIONEN] AUSGABE.sqlite PFAD...\n"
    "        paradox2sqlite --list [--json] [OPTIONEN] PFAD...\n"
    "        paradox2sqlite --schema [OPTIONEN] PFAD...\n"
    "\n"
    "Übernimmt Paradox-Tabellen in die neue SQLite-Datenbank AUSGABE.sqlite, jede\n"
    "in eine Tabelle mit dem Namen ihrer Datei. PFAD ist eine Tabelle (.db) oder\n"
    "ein Verzeichnis, dessen Tabellen (*.db) alle übernommen werden;\n"
    "Unterverzeichnisse nur mit -r.\n"
    "\n"
    "  --codepage NAME    Codepage der Tabellen vorgeben (z. B. IBM850,\n"
    "                     windows-1252)\n"
    "  --replace          eine vorhandene AUSGABE.sqlite ersetzen\n"
    "  -r, --recursive    auch die Unterverzeichnisse lesen; deren Tabellen heißen\n"
    "                     nach dem Pfad unter PFAD, mit \"_\" verbunden\n"
    "                     (Archiv/2019/Kunden.db wird zu \"Archiv_2019_Kunden\")\n"
    "  --only NAME,...    nur diese Tabellen (Dateiname ohne .db, Groß- und\n"
    "                     Kleinschreibung egal)\n"
    "  --exclude NAME,... diese Tabellen auslassen\n"
    "  --no-indexes       Sekundärindizes (.Xnn, .XGn) nicht als CREATE INDEX\n"
    "                     übernehmen\n"
    "  --list             je Tabelle eine Zeile: Zeilen, Felder, Schlüsselfelder,\n"
    "                     Version, Codepage, Blockgröße, Verschlüsselung,\n"
    "                     Memodatei, Indizes; bei einer beschädigten Tabelle die\n"
    "                     lesbaren Zeilen\n"
    "  --json             mit --list: je Tabelle ein JSON-Objekt in einer Zeile\n"
    "  --schema           die CREATE-Anweisungen ausgeben, ohne etwas zu schreiben\n"
    "  -h, --help         diese Hilfe ausgeben\n"
    "  --version          Programmname und Version ausgeben\n"
    "\n"
    "Von einer beschädigten Tabelle werden die lesbaren Zeilen übernommen;\n"
    "was fehlt, sagt die Meldung.\n"
    "\n"
    "Rückgabewert: 0 alle Tabellen übernommen, 1 eine Tabelle oder mehr nicht oder\n"
    "nur zum Teil (die übrigen sind übernommen) oder die Ausgabe ließ sich nicht\n"
    "schreiben, 2 falscher Aufruf (auch: AUSGABE.sqlite ist eine der gelesenen\n"
    "Dateien oder eine Paradox-Datei), 3 nichts getan, weil AUSGABE.sqlite schon da\n"
    "ist und --replace fehlt.\n";

enum ExitCode { kAllExported = 0, kNotAll = 1, kUsage = 2, kOutputExists = 3 };

int Usage(const QString& problem)
{
    pdx::WriteText(stderr, QStringLiteral("paradox2sqlite: ") + problem + QStringLiteral("\n\n") +
                               QString::fromUtf8(kUsageText));
    return kUsage;
}

// Standard output went away (a reader such as "| head -1" ended, a full disk): the export
// stops like any other failure, and its temporary file is removed.
class OutputClosed : public std::runtime_error {
public:
    OutputClosed() : std::runtime_error("Die Standardausgabe ist geschlossen; die Übernahme wurde abgebrochen.") {}
};

void PrintLine(std::FILE* stream, const QString& text)
{
    const bool written = pdx::WriteText(stream, text + u'\n');
    if ((std::fflush(stream) != 0 || !written) && stream == stdout)
        throw OutputClosed();
}

class ConsoleListener : public SqliteExport::Listener {
public:
    void TableStarting(const SqliteExport::TableFile& table, int number, int total) override
    {
        if (!line_.OnTerminal())
            return;
        table_ = QStringLiteral("Tabelle %1 von %2").arg(number).arg(total);
        current_ = table.path;
        started_ = std::chrono::steady_clock::now();
        // Many small tables: a few updates a second, not one per table.
        if (started_ - shown_ >= std::chrono::milliseconds(100) || number == total)
            Show(table_ + QStringLiteral(": ") + pdx::DisplayFileName(table.name), started_);
    }

    void TableDone(const SqliteExport::TableFile& table, const SqliteExport::TableRows& rows) override
    {
        ClearProgress();
        PrintLine(stdout, table.name + QStringLiteral(": ") + SqliteExport::RowsText(rows));
    }

    void TableFailed(const SqliteExport::TableFile& table, const QString& message) override
    {
        ClearProgress();
        PrintLine(stderr, message);
        PrintLine(stdout, pdx::DisplayFileName(table.name) + QStringLiteral(": nicht übernommen"));
    }

    void Warning(const QString& message) override
    {
        ClearProgress();
        PrintLine(stderr, message);
    }

    // Rows of a table that takes longer than a moment, a few times a second.
    void Progress(const SqliteExport::TableFile& table, std::uint64_t done, std::uint64_t total) override
    {
        if (!line_.OnTerminal())
            return;
        const auto now = std::chrono::steady_clock::now();
        if (table.path != current_ || now - started_ < std::chrono::milliseconds(500) ||
            now - shown_ < std::chrono::milliseconds(200))
            return;
        QString text = table_ + QStringLiteral(": ") + table.name + QStringLiteral(": ") + SqliteExport::RowsText({done});
        if (total >= done && total > 0)
            text += QStringLiteral(" von %1 (%2 %)").arg(total).arg(done * 100 / total);
        Show(text, now);
    }

    // Clears the progress line before a message that is not the listener's.
    void ClearProgress() { line_.Clear(); }

private:
    void Show(const QString& text, std::chrono::steady_clock::time_point now)
    {
        shown_ = now;
        line_.Show(text);
    }

    pdx::StatusLine line_{stderr};
    QString table_;
    QString current_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point shown_;
};

enum class Mode { Export, List, Schema };

}  // namespace

int main(int argc, char** argv)
{
    pdx::PrepareStandardOutput();
    QCoreApplication app(argc, argv);
    // Ctrl+C or a kill ends the run without a half-made database left behind.
    FileUtils::RemoveStagedFilesOnSignals();

    SqliteExport::Options options;
    SqliteExport::Selection selection;
    Mode mode = Mode::Export;
    bool json = false;
    bool codePageGiven = false;
    QStringList positional;
    bool optionsEnd = false;
    const QStringList args = pdx::CommandLineArguments(argc, argv);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        // An option's value: after '=' or as the next argument.
        auto value = [&](const QString& name, QString& out) {
            if (arg == name) {
                if (++i == args.size())
                    return false;
                out = args[i];
                return true;
            }
            out = arg.mid(name.size() + 1);
            return true;
        };
        auto is = [&](const char* name) {
            const QString n = QLatin1String(name);
            return arg == n || arg.startsWith(n + u'=');
        };
        if (optionsEnd || !arg.startsWith(u'-') || arg.size() == 1) {
            // Paths: messages name them with the system's separators only.
            positional << QDir::toNativeSeparators(arg);
        } else if (arg == QLatin1String("--")) {
            optionsEnd = true;
        } else if (arg == QLatin1String("--replace")) {
            options.replace = true;
        } else if (arg == QLatin1String("-r") || arg == QLatin1String("--recursive")) {
            selection.recursive = true;
        } else if (arg == QLatin1String("--no-indexes")) {
            options.indexes = false;
        } else if (arg == QLatin1String("--list")) {
            mode = Mode::List;
        } else if (arg == QLatin1String("--schema")) {
            mode = Mode::Schema;
        } else if (arg == QLatin1String("--json")) {
            json = true;
        } else if (is("--codepage")) {
            if (!value(QStringLiteral("--codepage"), options.codePage))
                return Usage(QStringLiteral("--codepage braucht einen Namen."));
            codePageGiven = true;
        } else if (is("--only") || is("--exclude")) {
            const QString name = arg.startsWith(QLatin1String("--only")) ? QStringLiteral("--only") : QStringLiteral("--exclude");
            QString list;
            if (!value(name, list) || list.trimmed().isEmpty())
                return Usage(name + QStringLiteral(" braucht Tabellennamen."));
            for (const QString& part : list.split(u',', Qt::SkipEmptyParts)) {
                QString stem = part.trimmed();
                if (stem.endsWith(QLatin1String(".db"), Qt::CaseInsensitive))
                    stem.chop(3);
                (name == QLatin1String("--only") ? selection.only : selection.exclude) << stem;
            }
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            return pdx::WriteText(stdout, kUsageText) && std::fflush(stdout) == 0 ? kAllExported : kNotAll;
        } else if (arg == QLatin1String("--version")) {
            return pdx::WriteText(stdout, "paradox2sqlite " KK_VERSION "\n") && std::fflush(stdout) == 0 ? kAllExported
                                                                                                  : kNotAll;
        } else {
            return Usage(QStringLiteral("Unbekannte Option \"%1\".").arg(pdx::DisplayFileName(arg)));
        }
    }
    // The code page is checked once, before any table is read.
    if (codePageGiven) {
        options.codePage = options.codePage.trimmed();
        if (options.codePage.isEmpty())
            return Usage(QStringLiteral("--codepage braucht einen Namen."));
        if (!pdx::MakeCodePageDecoder(pdx::CodePage::NormalizeName(options.codePage)))
            return Usage(QStringLiteral("Die Codepage \"%1\" ist unbekannt.").arg(options.codePage));
    }
    if (json && mode != Mode::List)
        return Usage(QStringLiteral("--json gilt nur mit --list."));

    if (mode != Mode::Export) {
        if (positional.isEmpty())
            return Usage(QStringLiteral("PFAD fehlt."));
        const SqliteExport::Collection collection = SqliteExport::CollectTables(positional, QString(), selection);
        try {
            for (const QString& note : collection.notes)
                PrintLine(stderr, note);
            for (const QString& problem : collection.problems)
                PrintLine(stderr, problem);
            const int failed = mode == Mode::List
                                   ? SqliteExport::ListTables(collection.tables, options, json, PrintLine)
                                   : SqliteExport::PrintSchema(collection.tables, options, PrintLine);
            return failed + collection.problems.size() > 0 ? kNotAll : kAllExported;
        } catch (const OutputClosed& closed) {
            PrintLine(stderr, QStringLiteral("paradox2sqlite: ") + QString::fromUtf8(closed.what()));
            return kNotAll;
        }
    }

    if (positional.size() < 2)
        return Usage(positional.isEmpty() ? QStringLiteral("AUSGABE.sqlite und PFAD fehlen.") : QStringLiteral("PFAD fehlt."));
    const QString outFile = positional.takeFirst();
    if (outFile == QLatin1String("-"))
        return Usage(QStringLiteral("Die Ausgabe muss eine Datei sein; \"-\" (die Standardausgabe) geht nicht."));
    const QString shownOut = pdx::DisplayFileName(outFile);
    // Before the hint that --replace would replace it: swapped arguments name a table first.
    if (const QString conflict = SqliteExport::OutputIsInput(outFile, positional, selection.recursive);
        !conflict.isEmpty()) {
        PrintLine(stderr, QStringLiteral("paradox2sqlite: ") + conflict);
        return kUsage;
    }
    const bool outExists = pdx::KindOf(outFile) != pdx::FileKind::Missing || pdx::IsSymbolicLink(outFile);
    if (outExists && !options.replace) {
        PrintLine(stderr, QStringLiteral("paradox2sqlite: Die Datei \"%1\" gibt es bereits; mit --replace wird sie ersetzt.")
                              .arg(shownOut));
        return kOutputExists;
    }
    const QString untouched = outExists ? QStringLiteral("\"%1\" bleibt unverändert.").arg(shownOut)
                                        : QStringLiteral("\"%1\" wurde nicht angelegt.").arg(shownOut);
    tooltext::SayOnInterrupt(QByteArray::fromStdString(pdx::StatusLine::EraseLineText(stderr)) +
                             (QStringLiteral("paradox2sqlite: abgebrochen; ") + untouched + u'\n').toUtf8());

    ConsoleListener listener;
    try {
        const SqliteExport::Collection collection = SqliteExport::CollectTables(positional, outFile, selection);
        for (const QString& note : collection.notes)
            PrintLine(stderr, note);
        for (const QString& problem : collection.problems)
            PrintLine(stderr, problem);
        if (collection.tables.empty()) {
            PrintLine(stderr, QStringLiteral("paradox2sqlite: Keine Tabelle zu übernehmen; ") + untouched);
            return kNotAll;
        }
        const SqliteExport::Result result = SqliteExport::ExportTables(outFile, collection.tables, options, listener);
        listener.ClearProgress();
        if (!result.fatal.isEmpty()) {
            PrintLine(stderr, QStringLiteral("paradox2sqlite: ") + result.fatal);
            return result.outputExists ? kOutputExists : kNotAll;
        }
        const int failed = result.failed + int(collection.problems.size());
        if (failed > 0 || result.exported == 0)
            PrintLine(stderr, QStringLiteral("paradox2sqlite: %1 von %2 Tabellen übernommen.")
                                  .arg(result.exported)
                                  .arg(result.exported + failed));
        if (result.damaged > 0)
            PrintLine(stderr, result.damaged == 1
                                  ? QStringLiteral("paradox2sqlite: 1 Tabelle ist beschädigt; ihre lesbaren Zeilen sind "
                                                   "übernommen.")
                                  : QStringLiteral("paradox2sqlite: %1 Tabellen sind beschädigt; ihre lesbaren Zeilen "
                                                   "sind übernommen.")
                                        .arg(result.damaged));
        if (failed > 0 || result.exported == 0 || result.damaged > 0)
            return kNotAll;
    } catch (const OutputClosed& closed) {
        PrintLine(stderr, QStringLiteral("paradox2sqlite: ") + QString::fromUtf8(closed.what()));
        return kNotAll;
    }
    return kAllExported;
}
