// paradox-dump TABLE.db [--codepage NAME]
// Prints a Paradox table as JSON lines: the field descriptors, then one array
// of values per record in natural order. Errors go to stderr in German.

#include "SourceTable.h"
#include "TableReader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

void AppendJsonString(std::string& out, const QString& text)
{
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

void AppendValue(std::string& out, const pdx::Value& v)
{
    using Kind = pdx::Value::Kind;
    switch (v.kind) {
    case Kind::Blank:
        out += "null";
        break;
    case Kind::Integer:
        out += std::to_string(v.integer);
        break;
    case Kind::Floating:
        // JSON has no NaN or infinity; such a stored value prints as null.
        out += std::isfinite(v.floating) ? pdx::FormatDouble(v.floating).toStdString() : std::string("null");
        break;
    case Kind::Decimal:
    case Kind::Text:
        AppendJsonString(out, v.text);
        break;
    case Kind::Date:
        AppendJsonString(out, pdx::FormatDate(v.integer));
        break;
    case Kind::Time:
        AppendJsonString(out, pdx::FormatTime(v.integer));
        break;
    case Kind::Timestamp:
        AppendJsonString(out, pdx::FormatTimestamp(v.integer));
        break;
    case Kind::Logical:
        out += v.integer ? "true" : "false";
        break;
    case Kind::Bytes:
        out += "{\"base64\":\"";
        out += v.bytes.toBase64().toStdString();
        out += "\"}";
        break;
    }
}

int Usage()
{
    std::fputs("Aufruf: paradox-dump TABELLE.db [--codepage NAME]\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QString table;
    QString codePage;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
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
                AppendValue(line, source.Read(static_cast<int>(i)));
            }
            line += "]\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
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
