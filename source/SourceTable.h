#pragma once

#include "FieldValue.h"
#include "SourceError.h"
#include "TableReader.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace pdx {

// Paradox tables come from systems that ignore the case of file names: when
// the exact name is missing, the first name in the directory (in name order)
// that equals it ignoring case and Unicode normal form (FoldedFileName) is taken. Returns the path found, or an empty
// string. Names of any bytes are found (FileNames.h).
QString FindIgnoringCase(const QString& directory, const QString& fileName);

// One Paradox table opened for reading, with a cursor over its records.
//
// Conversions between kinds (a blank field always reads as 0, empty text or
// 0.0):
//  - AsInteger: short, long and autoincrement as they are; number, currency
//    and BCD rounded to the nearest integer (ties to even); logical as 1 or
//    0; alpha and memo text holding a whole number ("12", " -7 "), empty text
//    as 0. Anything else, or a value outside 32 bits, raises SourceError.
//  - AsFloat: every numeric type and logical (1.0 / 0.0); alpha and memo text
//    holding a number ("12.5", also "12,5"), empty text as 0.0.
//  - AsString: alpha and memo text as stored (memo whole); integers in
//    decimal; number and currency in the shortest form that reads back
//    exactly; BCD with the field's decimals; logical "True"/"False"; date
//    "YYYY-MM-DD", time "HH:MM:SS.mmm", timestamp "YYYY-MM-DDTHH:MM:SS.mmm".
//  - Binary, formatted memo, OLE, graphic and bytes fields are only readable
//    through Read(); the three reads raise SourceError for them, as they do
//    for dates and times read as numbers.
class SourceTable {
public:
    SourceTable();
    ~SourceTable();
    SourceTable(const SourceTable&) = delete;
    SourceTable& operator=(const SourceTable&) = delete;

    // "" chooses as the engine did (language driver, header code page, 437);
    // anything else ("IBM850", "windows-1252", "850", "cp1252") is used for
    // every table opened from now on. An unknown name fails at Open.
    void SetCodePage(const QString& name);
    // For tools: a missing memo file (.mb) does not fail the table; memo and
    // BLOB values kept in it read as blank and count as LossKind::MissingMemo.
    void SetMissingMemoAsBlank(bool blank) { missingMemoAsBlank_ = blank; }
    // For tools that open many tables of one folder: finds a file as
    // FindIgnoringCase does, from a listing the caller keeps (reading the
    // folder again for each table would cost time in its square).
    using FileFinder = std::function<QString(const QString& directory, const QString& fileName)>;
    void SetFileFinder(FileFinder finder) { finder_ = std::move(finder); }

    // Opens directory/fileName read-only. The file and its memo file are
    // found ignoring case when the exact name does not exist; the memo file
    // is looked for beside the table, wherever that is. An empty
    // indexField gives the natural (chain, for keyed tables key) order;
    // otherwise the records come ascending by that field, ties in chain order.
    void Open(const QString& directory, const QString& fileName, const QString& indexField = QString());
    bool IsOpen() const;
    void Close();

    void First();
    bool Eof() const;
    void Next();

    // Case-insensitive; a missing field raises SourceError naming it.
    int FieldIndex(const QString& name) const;

    qint32 AsInteger(const QString& field) const;
    QString AsString(const QString& field) const;
    double AsFloat(const QString& field) const;
    qint32 AsInteger(int index) const;
    QString AsString(int index) const;
    double AsFloat(int index) const;

    // For tools: the table's fields, its typed values, and facts about it.
    const std::vector<FieldInfo>& Fields() const;
    Value Read(int index) const;
    // The same into VALUE, reusing its buffers: for reading row after row.
    void Read(int index, Value& value) const;
    QString FilePath() const;       // as derived from directory and file name, for messages
    QString CodePageName() const;   // the codec in use
    std::uint64_t RecordCount() const;
    // How many leading fields form a keyed table's primary key; 0 for an
    // unkeyed table, and for a header that claims more key fields than fields.
    int KeyFieldCount() const;
    // The table's header and the reader's counts of values read with a loss.
    const TableHeader& Header() const;
    const LossCount& Losses(LossKind kind) const;
    void ResetLosses();
    // The memo file as looked for when the table needs one and it is missing; else empty.
    QString MissingMemoFile() const;
    // The memo file as messages name it; empty for a table without memo or BLOB fields.
    QString MemoFileName() const;
    // What the table's block chain gave up (TableDamage.h); known once the table is open.
    const TableDamage& Damage() const;
    // Decodes BYTES with the table's code page.
    QString DecodeBytes(const QByteArray& bytes) const;
    // For converters that write the text in UTF-8 themselves: the stored
    // bytes of an alpha or memo field of the current record, read as Read()
    // reads the field (blank and unreadable as empty, the same losses
    // counted), valid until the cursor moves or the next memo is read; and
    // the decoder that tells what they are (TextDecoder::ByteWise).
    QByteArrayView TextBytes(int index) const;
    const TextDecoder& Decoder() const;

private:
    void RequireRecord() const;
    void BuildOrder(const QString& indexField);
    [[noreturn]] void FailConversion(int index, const char* wanted) const;

    std::unique_ptr<TableReader> reader_;
    QString forcedCodePage_;
    bool missingMemoAsBlank_ = false;
    FileFinder finder_;
    QString path_;
};

} // namespace pdx
