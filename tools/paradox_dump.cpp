// paradox-dump [--csv [--no-blobs]] [--codepage NAME] TABLE.db
// Prints a Paradox table as JSON lines (the field descriptors, then one array of values per
// record in natural order) or as CSV. Messages go to stderr in German.
//
// Exit codes: 0 the table was printed; 1 it could not be read, rows of it were lost (the rows
// that could be read are printed, and the message says what was lost), or standard output
// could not be written; 2 bad usage.

#include "LossReport.h"
#include "SourceTable.h"
#include "StandardOutput.h"
#include "TableReader.h"
#include "ValueText.h"
#include "Version.h"
#include "source/CodePage.h"
#include "source/CodePageDecoder.h"
#include "source/FileNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <string>

namespace {

// Values are written by pdx::AppendJsonValue (ValueText.h), the rules paradox2sqlite follows too.
using pdx::AppendJsonString;
using pdx::AppendJsonValue;

const char kUsageText[] =
    "Aufruf: paradox-dump [--csv [--no-blobs]] [--codepage NAME] TABELLE.db\n"
    "\n"
    "Gibt die Paradox-Tabelle TABELLE.db aus: als JSON-Zeilen (zuerst die Felder,\n"
    "dann je Datensatz eine Zeile mit den Werten) oder mit --csv als CSV nach\n"
    "RFC 4180 (Kopfzeile mit den Feldnamen, Zeilenende CR LF, ein leerer Wert ist\n"
    "NULL, leerer Text ist \"\").\n"
    "\n"
    "  --csv            als CSV ausgeben; BLOB- und Bytes-Felder in Base64\n"
    "  --no-blobs       mit --csv: BLOB- und Bytes-Felder auslassen\n"
    "  --codepage NAME  Codepage der Tabelle vorgeben (z. B. IBM850, windows-1252)\n"
    "  -h, --help       diese Hilfe ausgeben\n"
    "  --version        Programmname und Version ausgeben\n"
    "\n"
    "Von einer beschädigten Tabelle werden die lesbaren Zeilen ausgegeben;\n"
    "was fehlt, sagt die Meldung.\n"
    "\n"
    "Rückgabewert: 0 ausgegeben, 1 die Tabelle ist nicht oder nur zum Teil lesbar\n"
    "oder die Ausgabe ließ sich nicht schreiben, 2 falscher Aufruf.\n";

int Usage(const QString& problem)
{
    pdx::WriteText(stderr, QStringLiteral("paradox-dump: ") + problem + QStringLiteral("\n\n") +
                               QString::fromUtf8(kUsageText));
    return 2;
}

// A CSV field: quoted when it holds a comma, a quote, a line break, or is empty text (so that
// it differs from NULL, which is nothing at all).
void AppendCsvText(std::string& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const bool quote = utf8.isEmpty() || utf8.contains(',') || utf8.contains('"') || utf8.contains('\n') ||
                       utf8.contains('\r');
    if (!quote) {
        out.append(utf8.constData(), std::size_t(utf8.size()));
        return;
    }
    out += '"';
    for (const char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void AppendCsvValue(std::string& out, const pdx::Value& value)
{
    switch (pdx::FormOf(value)) {
    case pdx::ValueForm::Null:
        break;
    case pdx::ValueForm::Integer:
        out += std::to_string(value.integer);
        break;
    case pdx::ValueForm::Logical:
        out += value.integer ? '1' : '0';
        break;
    case pdx::ValueForm::Real:
        out += pdx::FormatDouble(value.floating).toStdString();
        break;
    case pdx::ValueForm::Text:
        AppendCsvText(out, value.kind == pdx::Value::Kind::Text || value.kind == pdx::Value::Kind::Decimal
                               ? value.text
                               : pdx::TextOf(value));
        break;
    case pdx::ValueForm::Blob:
        out += value.bytes.toBase64().toStdString();
        break;
    }
}

bool Write(const std::string& text)
{
    return pdx::WriteText(stdout, text);
}

void PrintLine(const QString& text)
{
    pdx::WriteText(stderr, text + u'\n');
}

} // namespace

int main(int argc, char* argv[])
{
    pdx::PrepareStandardOutput();
    QCoreApplication app(argc, argv);
    QString table;
    QString codePage;
    bool codePageGiven = false;
    bool csv = false;
    bool blobs = true;
    const QStringList args = pdx::CommandLineArguments(argc, argv);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            return pdx::WriteText(stdout, kUsageText) && std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (arg == QLatin1String("--version")) {
            return pdx::WriteText(stdout, "paradox-dump " KK_VERSION "\n") && std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (arg == QLatin1String("--codepage")) {
            if (i + 1 == args.size())
                return Usage(QStringLiteral("--codepage braucht einen Namen."));
            codePage = args[++i];
            codePageGiven = true;
        } else if (arg.startsWith(QLatin1String("--codepage="))) {
            codePage = arg.mid(11);
            codePageGiven = true;
        } else if (arg == QLatin1String("--csv")) {
            csv = true;
        } else if (arg == QLatin1String("--no-blobs")) {
            blobs = false;
        } else if (table.isEmpty() && (!arg.startsWith(u'-') || arg == QLatin1String("-"))) {
            // Messages name it with the system's separators only.
            table = QDir::toNativeSeparators(arg);
        } else if (arg.startsWith(u'-')) {
            return Usage(QStringLiteral("Unbekannte Option \"%1\".").arg(pdx::DisplayFileName(arg)));
        } else {
            return Usage(QStringLiteral("Nur eine Tabelle auf einmal."));
        }
    }
    if (table.isEmpty())
        return Usage(QStringLiteral("TABELLE.db fehlt."));
    if (!blobs && !csv)
        return Usage(QStringLiteral("--no-blobs gilt nur mit --csv."));
    if (codePageGiven) {
        codePage = codePage.trimmed();
        if (codePage.isEmpty())
            return Usage(QStringLiteral("--codepage braucht einen Namen."));
        if (!pdx::MakeCodePageDecoder(pdx::CodePage::NormalizeName(codePage)))
            return Usage(QStringLiteral("Die Codepage \"%1\" ist unbekannt.").arg(codePage));
    }

    try {
        pdx::SourceTable source;
        source.SetCodePage(codePage);
        // A missing memo file costs the values kept in it, not the table.
        source.SetMissingMemoAsBlank(true);
        const qsizetype slash = std::max(table.lastIndexOf(u'/'), table.lastIndexOf(u'\\'));
        source.Open(slash < 0 ? QString() : table.left(slash + 1), table.mid(slash + 1));
        QString shown = pdx::DisplayFileName(table.mid(slash + 1));
        if (const qsizetype dot = shown.lastIndexOf(u'.'); dot > 0)
            shown.truncate(dot);

        const auto& fields = source.Fields();
        std::vector<int> columns;
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (blobs || pdx::FormOfType(fields[i].type) != pdx::ValueForm::Blob)
                columns.push_back(int(i));

        std::string line;
        if (csv) {
            for (std::size_t c = 0; c < columns.size(); ++c) {
                if (c)
                    line += ',';
                AppendCsvText(line, fields[std::size_t(columns[c])].name);
            }
            line += "\r\n";
        } else {
            line = "[";
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
        }
        bool written = Write(line);

        pdx::Value value;
        for (source.First(); written && !source.Eof(); source.Next()) {
            line.clear();
            if (!csv)
                line += '[';
            for (std::size_t c = 0; c < columns.size(); ++c) {
                if (c)
                    line += ',';
                source.Read(columns[c], value);
                if (csv)
                    AppendCsvValue(line, value);
                else
                    AppendJsonValue(line, value);
            }
            line += csv ? "\r\n" : "]\n";
            // A reader that went away (| head) or a full disk ends the dump with exit code 1.
            written = Write(line);
        }
        if (!written || std::fflush(stdout) != 0) {
            // A reader that stopped early (| head) needs no message.
            if (errno != EPIPE)
                PrintLine(QStringLiteral("paradox-dump: Die Standardausgabe ließ sich nicht schreiben; die Ausgabe von \"%1\" "
                                     "ist unvollständig.")
                          .arg(shown));
            return 1;
        }
        for (const QString& loss : tooltext::LossLines(shown, source))
            PrintLine(loss);
        const pdx::TableDamage& damage = source.Damage();
        if (damage.RowsLost()) {
            PrintLine(pdx::DamageText(source.FilePath(), damage));
            return 1;
        }
        if (const QString note = pdx::DamageNote(source.FilePath(), damage); !note.isEmpty())
            PrintLine(note);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        PrintLine(QString::fromUtf8(e.what()));
        return 1;
    }
    return 0;
}
