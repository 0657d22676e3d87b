// paradox-dump TABLE.db [--codepage NAME]
// Prints a Paradox table as JSON lines: the field descriptors, then one array
// of values per record in natural order. Errors go to stderr in German.

#include "SourceTable.h"
#include "StandardOutput.h"
#include "TableReader.h"
#include "ValueText.h"
#include "Version.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

// Values are written by pdx::AppendJsonValue (ValueText.h), the rules paradox2sqlite follows too.
using pdx::AppendJsonString;
using pdx::AppendJsonValue;

const char kUsageText[] =
    "Aufruf: paradox-dump TABELLE.db [--codepage NAME]\n"
    "\n"
    "Gibt die Paradox-Tabelle TABELLE.db als JSON-Zeilen aus: zuerst die Felder, dann je\n"
    "Datensatz eine Zeile mit den Werten.\n"
    "\n"
    "  --codepage NAME  Zeichensatz der Tabelle vorgeben (z. B. IBM850, windows-1252)\n"
    "  -h, --help       diese Hilfe ausgeben\n"
    "  --version        Programmname und Version ausgeben\n";

int Usage()
{
    std::fputs(kUsageText, stderr);
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    pdx::PrepareStandardOutput();
    QCoreApplication app(argc, argv);
    QString table;
    QString codePage;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("-h") || args[i] == QLatin1String("--help")) {
            std::fputs(kUsageText, stdout);
            return 0;
        }
        if (args[i] == QLatin1String("--version")) {
            std::fputs("paradox-dump " KK_VERSION "\n", stdout);
            return 0;
        }
        if (args[i] == QLatin1String("--codepage") && i + 1 < args.size())
            codePage = args[++i];
        else if (args[i].startsWith(QLatin1String("--codepage=")))
            codePage = args[i].mid(11);
        else if (table.isEmpty() && !args[i].startsWith(QLatin1String("--")))
            table = args[i];
        else
            return Usage();
    }
    if (table.isEmpty())
        return Usage();

    try {
        pdx::SourceTable source;
        source.SetCodePage(codePage);
        const QFileInfo info(table);
        source.Open(info.path(), info.fileName());

        std::string line = "[";
        const auto& fields = source.Fields();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i)
                line += ',';
            line += "{\"name\":";
            AppendJsonString(line, fields[i].name);
            line += ",\"type\":\"";
            line += pdx::TypeLetter(fields[i].type);
            line += "\",\"size\":";
            line += std::to_string(fields[i].sizeByte);
            line += '}';
        }
        line += "]\n";
        std::fwrite(line.data(), 1, line.size(), stdout);

        for (source.First(); !source.Eof(); source.Next()) {
            line.clear();
            line += '[';
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (i)
                    line += ',';
                AppendJsonValue(line, source.Read(static_cast<int>(i)));
            }
            line += "]\n";
            // A reader that went away (| head) ends the dump with exit code 1.
            if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size())
                return 1;
        }
        if (std::fflush(stdout) != 0)
            return 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
