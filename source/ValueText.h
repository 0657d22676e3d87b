#pragma once
// How the tools write a field's value out: paradox-dump as JSON, paradox2sqlite as an SQLite
// value. Both follow these rules, so a table shows the same values in either.

#include "FieldValue.h"
#include "TableReader.h"

#include <QString>
#include <string>

namespace pdx {

// What a value is written as.
enum class ValueForm {
    Null,     // blank, or a number that is not finite (JSON and SQLite have no such value)
    Integer,  // short, long, autoincrement
    Logical,  // JSON true/false, SQLite 1/0
    Real,     // number, currency
    Text,     // alpha, memo, BCD, date, time, timestamp: TextOf
    Blob,     // bytes, binary, formatted memo, OLE, graphic: the stored bytes
};

ValueForm FormOf(const Value& value);

// The form every non-blank value of a field of this type takes.
ValueForm FormOfType(FieldType type);

// The text of a value written as Text: alpha and memo as stored, BCD with the field's
// decimals ("-1.23"), date "YYYY-MM-DD", time "HH:MM:SS.mmm", timestamp
// "YYYY-MM-DDTHH:MM:SS.mmm". Empty for values of other forms.
QString TextOf(const Value& value);

// JSON: a string literal, and a value (null, a number, true/false, a string, or
// {"base64":"..."} for bytes), appended to OUT in UTF-8.
void AppendJsonString(std::string& out, const QString& text);
void AppendJsonValue(std::string& out, const Value& value);

} // namespace pdx
