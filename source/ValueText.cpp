#include "ValueText.h"

#include <cmath>
#include <cstdio>

namespace pdx {

ValueForm FormOf(const Value& value)
{
    using Kind = Value::Kind;
    switch (value.kind) {
    case Kind::Blank:
        return ValueForm::Null;
    case Kind::Integer:
        return ValueForm::Integer;
    case Kind::Floating:
        return std::isfinite(value.floating) ? ValueForm::Real : ValueForm::Null;
    case Kind::Logical:
        return ValueForm::Logical;
    case Kind::Decimal:
    case Kind::Text:
    case Kind::Date:
    case Kind::Time:
    case Kind::Timestamp:
        return ValueForm::Text;
    case Kind::Bytes:
        return ValueForm::Blob;
    }
    return ValueForm::Null;
}

ValueForm FormOfType(FieldType type)
{
    switch (type) {
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::AutoIncrement:
        return ValueForm::Integer;
    case FieldType::Number:
    case FieldType::Currency:
        return ValueForm::Real;
    case FieldType::Logical:
        return ValueForm::Logical;
    case FieldType::Alpha:
    case FieldType::Memo:
    case FieldType::Bcd:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Timestamp:
        return ValueForm::Text;
    case FieldType::Binary:
    case FieldType::FormattedMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
    case FieldType::Bytes:
        return ValueForm::Blob;
    }
    return ValueForm::Blob;
}

QString TextOf(const Value& value)
{
    using Kind = Value::Kind;
    switch (value.kind) {
    case Kind::Decimal:
    case Kind::Text:
        return value.text;
    case Kind::Date:
        return FormatDate(value.integer);
    case Kind::Time:
        return FormatTime(value.integer);
    case Kind::Timestamp:
        return FormatTimestamp(value.integer);
    default:
        return {};
    }
}

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

void AppendJsonValue(std::string& out, const Value& value)
{
    switch (FormOf(value)) {
    case ValueForm::Null:
        out += "null";
        break;
    case ValueForm::Integer:
        out += std::to_string(value.integer);
        break;
    case ValueForm::Logical:
        out += value.integer ? "true" : "false";
        break;
    case ValueForm::Real:
        out += FormatDouble(value.floating).toStdString();
        break;
    case ValueForm::Text:
        AppendJsonString(out, TextOf(value));
        break;
    case ValueForm::Blob:
        out += "{\"base64\":\"";
        out += value.bytes.toBase64().toStdString();
        out += "\"}";
        break;
    }
}

} // namespace pdx
