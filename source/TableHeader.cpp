// TableReader, part one: the header and the field list.

#include "TableBytes.h"
#include "TableReader.h"

#include <algorithm>
#include <cstring>

namespace pdx {

using namespace table_bytes;

namespace {

int FixedWidth(FieldType type)
{
    switch (type) {
    case FieldType::Date: case FieldType::Long: case FieldType::Time: case FieldType::AutoIncrement:
        return 4;
    case FieldType::Short:
        return 2;
    case FieldType::Currency: case FieldType::Number: case FieldType::Timestamp:
        return 8;
    case FieldType::Logical:
        return 1;
    case FieldType::Bcd:
        return 17;
    default:
        return 0;
    }
}

bool KnownType(std::uint8_t code)
{
    switch (code) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x09: case 0x0C:
    case 0x0D: case 0x0E: case 0x0F: case 0x10: case 0x14: case 0x15: case 0x16: case 0x17:
    case 0x18:
        return true;
    default:
        return false;
    }
}

} // namespace

char TypeLetter(FieldType type)
{
    switch (type) {
    case FieldType::Alpha: return 'A';
    case FieldType::Date: return 'D';
    case FieldType::Short: return 'S';
    case FieldType::Long: return 'I';
    case FieldType::Currency: return '$';
    case FieldType::Number: return 'N';
    case FieldType::Logical: return 'L';
    case FieldType::Memo: return 'M';
    case FieldType::Binary: return 'B';
    case FieldType::FormattedMemo: return 'F';
    case FieldType::Ole: return 'O';
    case FieldType::Graphic: return 'G';
    case FieldType::Time: return 'T';
    case FieldType::Timestamp: return '@';
    case FieldType::AutoIncrement: return '+';
    case FieldType::Bcd: return '#';
    case FieldType::Bytes: return 'Y';
    }
    return '?';
}

bool IsBlobType(FieldType type)
{
    switch (type) {
    case FieldType::Memo: case FieldType::Binary: case FieldType::FormattedMemo:
    case FieldType::Ole: case FieldType::Graphic:
        return true;
    default:
        return false;
    }
}

void TableReader::ParseHeader()
{
    const std::uint64_t fileSize = source_->Size();
    std::uint8_t fixed[kMinHeader];
    if (fileSize >= 16) {
        char magic[16];
        if (!source_->ReadAt(0, magic, sizeof magic))
            Fail(ErrorCode::FileReadFailed);
        if (std::memcmp(magic, "SQLite format 3", 16) == 0)
            Fail(ErrorCode::SqliteFile);
    }
    if (fileSize < kMinHeader)
        Fail(ErrorCode::NotParadox);
    if (!source_->ReadAt(0, fixed, sizeof fixed))
        Fail(ErrorCode::FileReadFailed);

    TableHeader& h = header_;
    h.recordSize = Le16(fixed + 0x00);
    h.headerSize = Le16(fixed + 0x02);
    h.fileType = fixed[0x04];
    const int blockKiB = fixed[0x05];
    h.numRecords = Le32(fixed + 0x06);
    h.blocksInUse = Le16(fixed + 0x0A);
    h.fileBlocks = Le16(fixed + 0x0C);
    h.firstBlock = Le16(fixed + 0x0E);
    h.firstFreeBlock = Le16(fixed + 0x4D);
    const int numFields = Le16(fixed + 0x21);
    h.keyFields = Le16(fixed + 0x23);
    h.codePage.sortOrder = fixed[0x29];
    h.version = fixed[0x39];

    // Cheap plausibility checks that tell a Paradox file from anything else.
    if (h.fileType > 8 || h.version < 3 || blockKiB < 1 || blockKiB > 32 || h.recordSize == 0 ||
        h.headerSize < kMinHeader || numFields == 0)
        Fail(ErrorCode::NotParadox);
    if (h.fileType == 1 || h.fileType == 4 || h.fileType == 7)
        Fail(ErrorCode::IndexFile);
    h.blockSize = blockKiB * 1024;
    if (h.recordSize > h.blockSize - kBlockHeader)
        Fail(ErrorCode::BadHeaderValue, {QStringLiteral("die Satzlänge"), QString::number(h.recordSize)});
    if (static_cast<std::uint64_t>(h.headerSize) > fileSize)
        Fail(ErrorCode::HeaderTruncated);

    QByteArray head(h.headerSize, Qt::Uninitialized);
    if (!source_->ReadAt(0, head.data(), static_cast<std::size_t>(h.headerSize)))
        Fail(ErrorCode::FileReadFailed);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(head.constData());

    // Version 4 and later data files carry an extension with the second
    // encryption word (the key, when the first one is 0xFF00FF00) and the
    // code page.
    const bool extended = h.version >= 5;
    if (extended && h.headerSize < kExtendedFieldStart)
        Fail(ErrorCode::HeaderTruncated);
    h.encryptionKey = Le32(bytes + 0x25);
    if (extended && h.encryptionKey == 0xFF00FF00u)
        h.encryptionKey = Le32(bytes + 0x5C);
    if (extended) {
        h.codePage.codePageWord = Le16(bytes + 0x6A);
        h.codePage.hasCodePageWord = h.codePage.codePageWord != 0;
    }
    ParseFields(head);
}

void TableReader::ParseFields(const QByteArray& head)
{
    TableHeader& h = header_;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(head.constData());
    const qsizetype size = head.size();
    const int numFields = Le16(bytes + 0x21);
    const bool extended = h.version >= 5;
    qsizetype pos = extended ? kExtendedFieldStart : kMinHeader;

    if (pos + 2 * qsizetype{numFields} > size)
        Fail(ErrorCode::HeaderTruncated);
    fields_.resize(static_cast<std::size_t>(numFields));
    int offset = 0;
    for (int i = 0; i < numFields; ++i) {
        FieldInfo& f = fields_[static_cast<std::size_t>(i)];
        const std::uint8_t code = bytes[pos + 2 * i];
        f.sizeByte = bytes[pos + 2 * i + 1];
        f.offset = offset;
        // Unknown types are reported below, once the field names are read.
        if (KnownType(code)) {
            f.type = static_cast<FieldType>(code);
            const int fixedWidth = FixedWidth(f.type);
            f.width = fixedWidth != 0 ? fixedWidth : f.sizeByte;
        }
        offset += f.width;
    }
    pos += 2 * qsizetype{numFields};
    // table name pointer, field name pointers, table name slot
    pos += 4 + 4 * qsizetype{numFields} + (h.version >= 12 ? 261 : 79);

    for (int i = 0; i < numFields; ++i) {
        if (pos >= size)
            Fail(ErrorCode::HeaderTruncated);
        const auto* start = bytes + pos;
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(start, 0, static_cast<std::size_t>(size - pos)));
        if (end == nullptr)
            Fail(ErrorCode::HeaderTruncated);
        fields_[static_cast<std::size_t>(i)].rawName = QByteArray(reinterpret_cast<const char*>(start), end - start);
        pos += (end - start) + 1;
    }
    // Names are decoded with the default code page here so that messages
    // below can name the field; SetCodec decodes them again.
    for (auto& f : fields_)
        f.name = QString::fromLatin1(f.rawName);

    int sum = 0;
    for (int i = 0; i < numFields; ++i) {
        const std::uint8_t code = bytes[(extended ? kExtendedFieldStart : kMinHeader) + 2 * i];
        FieldInfo& f = fields_[static_cast<std::size_t>(i)];
        if (!KnownType(code))
            Fail(ErrorCode::UnknownFieldType, {f.name, QStringLiteral("0x%1").arg(code, 2, 16, QLatin1Char('0'))});
        const int fixedWidth = FixedWidth(f.type);
        const bool badSize = f.type == FieldType::Bcd ? f.sizeByte > 32
                             : fixedWidth != 0        ? f.sizeByte != fixedWidth
                             : IsBlobType(f.type)     ? f.sizeByte < 10
                                                      : f.sizeByte == 0;
        if (badSize)
            Fail(ErrorCode::BadFieldSize, {f.name, QString::number(f.sizeByte)});
        sum += f.width;
    }
    if (sum != h.recordSize)
        Fail(ErrorCode::FieldSizeMismatch, {QString::number(sum), QString::number(h.recordSize)});

    // Version 4 and later: field numbers, then the language driver's name.
    if (extended) {
        if (pos + 2 * qsizetype{numFields} <= size) {
            h.fieldNumbers.reserve(static_cast<std::size_t>(numFields));
            for (int i = 0; i < numFields; ++i)
                h.fieldNumbers.push_back(Le16(bytes + pos + 2 * i));
        }
        pos += 2 * qsizetype{numFields};
        if (pos < size) {
            const auto* start = bytes + pos;
            const auto* end =
                static_cast<const std::uint8_t*>(std::memchr(start, 0, static_cast<std::size_t>(size - pos)));
            if (end != nullptr && end > start && end - start <= 32 &&
                std::all_of(start, end, [](std::uint8_t c) { return c > 0x20 && c < 0x7F; })) {
                h.codePage.driverName = QByteArray(reinterpret_cast<const char*>(start), end - start);
                h.codePage.hasDriverName = true;
            }
            // Index files name the index after the language driver.
            if (end != nullptr && (h.fileType == 3 || h.fileType == 5 || h.fileType == 6 || h.fileType == 8)) {
                const qsizetype next = (end - bytes) + 1;
                if (next < size) {
                    const auto* nameEnd = static_cast<const std::uint8_t*>(
                        std::memchr(bytes + next, 0, static_cast<std::size_t>(size - next)));
                    if (nameEnd != nullptr && nameEnd - (bytes + next) <= 64)
                        h.indexName = QByteArray(reinterpret_cast<const char*>(bytes + next), nameEnd - (bytes + next));
                }
            }
        }
    }
}

} // namespace pdx
