#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>

namespace pdx {

// Every way in which reading a Paradox table can fail. Each code has one
// German message in ErrorText(); the arguments fill its %1, %2, ... in order.
enum class ErrorCode {
    FileNotFound,        // %1 file
    FileOpenFailed,      // %1 file
    FileReadFailed,      // %1 file
    NotParadox,          // %1 file
    SqliteFile,          // %1 file
    IndexFile,           // %1 file
    HeaderTruncated,     // %1 file
    BadHeaderValue,      // %1 file, %2 what, %3 value
    FieldSizeMismatch,   // %1 file, %2 sum of field sizes, %3 record size
    UnknownFieldType,    // %1 file, %2 field, %3 type code (hex)
    BadFieldSize,        // %1 file, %2 field, %3 size
    MemoFileMissing,     // %1 memo file, %2 field, %3 table file
    InvalidCodePage,     // %1 file, %2 code page name
    FieldMissing,        // %1 file, %2 field
    NotOpen,             // no arguments
    NoCurrentRecord,     // %1 file
    NotAnInteger,        // %1 file, %2 field, %3 text
    NotANumber,          // %1 file, %2 field, %3 text
    IntegerOutOfRange,   // %1 file, %2 field, %3 value
    NotConvertible,      // %1 file, %2 field, %3 type letter, %4 wanted kind
    CannotOrderBy,       // %1 file, %2 field
};

// The German message for a code, filled with its arguments.
QString ErrorText(ErrorCode code, const QStringList& args = {});

// The one exception of the Paradox engine. what() is the German message in UTF-8.
class SourceError : public std::runtime_error {
public:
    SourceError(ErrorCode code, const QStringList& args = {});
    ErrorCode Code() const { return code_; }
    QString Message() const { return QString::fromUtf8(what()); }

private:
    ErrorCode code_;
};

} // namespace pdx
