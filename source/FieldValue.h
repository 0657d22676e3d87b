#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace pdx {

// A field's value as its type gives it, for tools that show a whole table.
struct Value {
    enum class Kind {
        Blank,
        Integer,   // integer: short, long, autoincrement
        Floating,  // floating: number, currency
        Decimal,   // text: BCD as a decimal string with the field's decimals
        Text,      // text: alpha, memo
        Date,      // integer: day number, 1 = 0001-01-01
        Time,      // integer: milliseconds since midnight
        Timestamp, // integer: milliseconds, integer / 86400000 being the day number
        Logical,   // integer: 0 or 1
        Bytes,     // bytes: bytes, binary, formatted memo, OLE, graphic
    };
    Kind kind = Kind::Blank;
    std::int64_t integer = 0;
    double floating = 0.0;
    QString text;
    QByteArray bytes;
};

// "YYYY-MM-DD" for a day number (1 = 0001-01-01), "HH:MM:SS.mmm" for a time,
// "YYYY-MM-DDTHH:MM:SS.mmm" for a timestamp.
QString FormatDate(std::int64_t dayNumber);
QString FormatTime(std::int64_t milliseconds);
QString FormatTimestamp(std::int64_t milliseconds);
// Shortest text that reads back as the same double.
QString FormatDouble(double value);

} // namespace pdx
