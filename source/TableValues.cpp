// TableReader, part three: the values of the current record's fields.

#include "TableBytes.h"
#include "TableReader.h"
#include "TextDecoder.h"

#include <QDate>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace pdx {

using namespace table_bytes;

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kLastDay = 3'652'059; // 9999-12-31

// BAD tells whether a digit above 9 was read as 0.
QString BcdText(const std::uint8_t* p, int decimals, bool& bad)
{
    const bool negative = (p[0] & 0x80) == 0;
    decimals = std::clamp(decimals, 0, 32);
    char digits[32];
    bool nonZero = false;
    for (int i = 0; i < 32; ++i) {
        int nibble = (i % 2 == 0) ? (p[1 + i / 2] >> 4) : (p[1 + i / 2] & 0x0F);
        if (negative)
            nibble ^= 0x0F;
        // Digits above 9 occur as noise behind values that went in through a
        // double; they carry no information.
        if (nibble > 9) {
            nibble = 0;
            bad = true;
        }
        digits[i] = static_cast<char>('0' + nibble);
        nonZero = nonZero || nibble != 0;
    }
    const int intDigits = 32 - decimals;
    int first = 0;
    while (first < intDigits - 1 && digits[first] == '0')
        ++first;
    QString text;
    text.reserve(40);
    if (negative && nonZero)
        text += u'-';
    if (intDigits == 0)
        text += u'0';
    for (int i = first; i < intDigits; ++i)
        text += QLatin1Char(digits[i]);
    if (decimals > 0) {
        text += u'.';
        for (int i = intDigits; i < 32; ++i)
            text += QLatin1Char(digits[i]);
    }
    return text;
}

} // namespace

QString FormatDate(std::int64_t dayNumber)
{
    const QDate date = QDate::fromJulianDay(dayNumber + 1721425);
    return QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
}

QString FormatTime(std::int64_t ms)
{
    return QString::asprintf("%02d:%02d:%02d.%03d", int(ms / 3'600'000), int(ms / 60'000 % 60),
                             int(ms / 1000 % 60), int(ms % 1000));
}

QString FormatTimestamp(std::int64_t ms)
{
    return FormatDate(ms / kMsPerDay) + u'T' + FormatTime(ms % kMsPerDay);
}

QString FormatDouble(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

bool TableReader::IsBlank(int field) const
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    const std::uint8_t* p = current_ + f.offset;
    switch (f.type) {
    case FieldType::Alpha:
        return p[0] == 0;
    case FieldType::Bcd:
        return (p[0] & 0x40) == 0;
    case FieldType::Memo: case FieldType::Binary: case FieldType::FormattedMemo:
    case FieldType::Ole: case FieldType::Graphic:
        return Le32(p + f.width - 10 + 4) == 0;
    default:
        return AllZero(p, f.width);
    }
}

QString TableReader::DecodeText(const char* data, qsizetype size)
{
    return decoder_->Decode(data, size);
}

bool TableReader::TextBytes(int field, QByteArrayView& bytes)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    const std::uint8_t* p = current_ + f.offset;
    if (f.type == FieldType::Alpha) {
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, static_cast<std::size_t>(f.width)));
        bytes = QByteArrayView(reinterpret_cast<const char*>(p), end ? end - p : f.width);
        return true;
    }
    return BlobBytes(field, bytes);
}

QByteArrayView TableReader::ReadTextBytes(int field)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    QByteArrayView bytes;
    if (f.type == FieldType::Alpha) {
        // Blank when its first byte is NUL, else up to its first NUL.
        const std::uint8_t* p = current_ + f.offset;
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, static_cast<std::size_t>(f.width)));
        bytes = QByteArrayView(reinterpret_cast<const char*>(p), end ? end - p : f.width);
    } else if (IsBlank(field) || !BlobBytes(field, bytes)) {
        return {};
    }
    if (decoder_->ByteWise() ? decoder_->HasHoles(bytes.data(), bytes.size())
                             : decoder_->Decode(bytes.data(), bytes.size()).contains(QChar::ReplacementCharacter))
        NoteLoss(LossKind::Unmappable);
    return bytes;
}

QString TableReader::ReadText(int field)
{
    QByteArrayView bytes;
    TextBytes(field, bytes);
    return decoder_->Decode(bytes.data(), bytes.size());
}

Value TableReader::ReadValue(int field)
{
    Value v;
    ReadValueInto(field, v);
    return v;
}

void TableReader::ReadValueInto(int field, Value& v)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    const std::uint8_t* p = current_ + f.offset;
    v.kind = Value::Kind::Blank;
    v.integer = 0;
    v.floating = 0.0;
    // Emptied, keeping their buffers; a null one stays null (resizing it would allocate).
    if (!v.text.isEmpty())
        v.text.resize(0);
    if (!v.bytes.isEmpty())
        v.bytes.resize(0);
    if (IsBlank(field))
        return;
    switch (f.type) {
    case FieldType::Alpha: case FieldType::Memo: {
        QByteArrayView bytes;
        if (!TextBytes(field, bytes))
            break;
        v.kind = Value::Kind::Text;
        const std::uint64_t replaced = decoder_->Replaced();
        decoder_->DecodeInto(bytes.data(), bytes.size(), v.text);
        if (decoder_->Replaced() != replaced)
            NoteLoss(LossKind::Unmappable);
        break;
    }
    case FieldType::Short: case FieldType::Long: case FieldType::AutoIncrement:
        v.kind = Value::Kind::Integer;
        v.integer = FlippedInt(p, f.width);
        break;
    case FieldType::Currency: case FieldType::Number:
        v.kind = Value::Kind::Floating;
        v.floating = FlippedDouble(p);
        break;
    case FieldType::Logical:
        v.kind = Value::Kind::Logical;
        v.integer = p[0] == 0x80 ? 0 : 1;
        break;
    case FieldType::Date: {
        const std::int64_t day = FlippedInt(p, 4);
        if (day >= 1 && day <= kLastDay) {
            v.kind = Value::Kind::Date;
            v.integer = day;
        } else {
            NoteLoss(LossKind::Date);
        }
        break;
    }
    case FieldType::Time: {
        const std::int64_t ms = FlippedInt(p, 4);
        if (ms >= 0 && ms < kMsPerDay) {
            v.kind = Value::Kind::Time;
            v.integer = ms;
        } else {
            NoteLoss(LossKind::Time);
        }
        break;
    }
    case FieldType::Timestamp: {
        const double raw = FlippedDouble(p);
        // Milliseconds since day 0, where day 1 is 0001-01-01.
        if (std::isfinite(raw) && raw >= double(kMsPerDay) && raw < double(kLastDay + 1) * double(kMsPerDay)) {
            const auto ms = static_cast<std::int64_t>(std::llround(raw));
            if (ms / kMsPerDay <= kLastDay) {
                v.kind = Value::Kind::Timestamp;
                v.integer = ms;
            }
        }
        if (v.kind != Value::Kind::Timestamp)
            NoteLoss(LossKind::Timestamp);
        break;
    }
    case FieldType::Bcd: {
        v.kind = Value::Kind::Decimal;
        bool bad = false;
        v.text = BcdText(p, f.sizeByte, bad);
        if (bad)
            NoteLoss(LossKind::BcdDigits);
        break;
    }
    case FieldType::Bytes:
        v.kind = Value::Kind::Bytes;
        v.bytes.resize(f.width);
        std::memcpy(v.bytes.data(), p, static_cast<std::size_t>(f.width));
        break;
    case FieldType::Binary: case FieldType::FormattedMemo: case FieldType::Ole: case FieldType::Graphic: {
        QByteArrayView blob;
        if (!BlobBytes(field, blob))
            break;
        v.kind = Value::Kind::Bytes;
        v.bytes.resize(blob.size());
        if (!blob.isEmpty())
            std::memcpy(v.bytes.data(), blob.data(), static_cast<std::size_t>(blob.size()));
        break;
    }
    }
}

std::int64_t DecodeFlippedInt(const std::uint8_t* p, int n) { return FlippedInt(p, n); }
double DecodeFlippedDouble(const std::uint8_t* p) { return FlippedDouble(p); }

} // namespace pdx
