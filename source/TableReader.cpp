#include "TableReader.h"

#include "TextDecoder.h"

#include <QDate>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>

namespace pdx {

namespace {

constexpr int kMinHeader = 0x58;
constexpr int kExtendedFieldStart = 0x78;
constexpr int kBlockHeader = 6;
constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kLastDay = 3'652'059; // 9999-12-31
constexpr std::uint64_t kMemoBlockUnit = 4096;
constexpr std::uint64_t kMemoCachedBlock = 2 * 4096;

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool AllZero(const std::uint8_t* p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

// Integers are stored big-endian with the top bit inverted, so that the bytes
// sort like the values.
std::int64_t FlippedInt(const std::uint8_t* p, int n)
{
    std::uint64_t raw = 0;
    for (int i = 0; i < n; ++i)
        raw = (raw << 8) | p[i];
    raw ^= std::uint64_t{1} << (8 * n - 1);
    // sign-extend from n bytes
    const int shift = 64 - 8 * n;
    return static_cast<std::int64_t>(raw << shift) >> shift;
}

// Doubles: big-endian; positive values have the top bit set, negative ones
// are stored with every bit inverted.
double FlippedDouble(const std::uint8_t* p)
{
    std::uint64_t raw = 0;
    for (int i = 0; i < 8; ++i)
        raw = (raw << 8) | p[i];
    if (raw & (std::uint64_t{1} << 63))
        raw &= ~(std::uint64_t{1} << 63);
    else
        raw = ~raw;
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

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

QString BcdText(const std::uint8_t* p, int decimals)
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
        if (nibble > 9)
            nibble = 0;
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

TableReader::TableReader(std::unique_ptr<ByteSource> source, QString displayName)
    : source_(std::move(source)), name_(std::move(displayName))
{
    ParseHeader();
    WalkChain();
    SetCodec(CodePage::Choose(header_.codePage));
}

TableReader::~TableReader() = default;

void TableReader::Fail(ErrorCode code, const QStringList& more) const
{
    QStringList args{name_};
    args += more;
    throw SourceError(code, args);
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
    h.fileBlocks = Le16(fixed + 0x0C);
    h.firstBlock = Le16(fixed + 0x0E);
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
    // encryption word and the code page.
    const bool extended = h.version >= 5;
    if (extended && h.headerSize < kExtendedFieldStart)
        Fail(ErrorCode::HeaderTruncated);
    std::uint32_t key = Le32(bytes + 0x25);
    if (extended && key == 0xFF00FF00u)
        key = Le32(bytes + 0x5C);
    if (key != 0)
        Fail(ErrorCode::Encrypted);
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
        }
    }
}

void TableReader::WalkChain()
{
    const std::uint64_t fileSize = source_->Size();
    const TableHeader& h = header_;
    std::vector<bool> visited(65536, false);
    std::uint32_t ordinal = 0;
    int block = h.firstBlock;
    while (block != 0) {
        if (visited[static_cast<std::size_t>(block)])
            Fail(ErrorCode::ChainLoop, {QString::number(block)});
        visited[static_cast<std::size_t>(block)] = true;
        const std::uint64_t start =
            static_cast<std::uint64_t>(h.headerSize) + static_cast<std::uint64_t>(block - 1) * h.blockSize;
        if (start + kBlockHeader > fileSize)
            Fail(ErrorCode::ChainPastEnd, {QString::number(block)});
        std::uint8_t head[kBlockHeader];
        if (!source_->ReadAt(start, head, sizeof head))
            Fail(ErrorCode::FileReadFailed);
        const int next = Le16(head);
        const auto last = static_cast<std::int16_t>(Le16(head + 4));
        std::uint32_t count = 0;
        if (last >= 0) {
            if (last % h.recordSize != 0 || last + h.recordSize > h.blockSize - kBlockHeader)
                Fail(ErrorCode::BlockDamaged, {QString::number(block)});
            count = static_cast<std::uint32_t>(last / h.recordSize + 1);
            if (start + kBlockHeader + std::uint64_t{count} * h.recordSize > fileSize)
                Fail(ErrorCode::BlockTruncated, {QString::number(block)});
        }
        chain_.push_back({start + kBlockHeader, count, ordinal});
        ordinal += count;
        block = next;
    }
    recordCount_ = ordinal;
}

bool TableReader::HasBlobFields() const
{
    return std::any_of(fields_.begin(), fields_.end(), [](const FieldInfo& f) { return IsBlobType(f.type); });
}

void TableReader::SetCodec(const QString& codecName)
{
    auto decoder = std::make_unique<TextDecoder>();
    if (!decoder->Init(codecName))
        Fail(ErrorCode::InvalidCodePage, {codecName});
    decoder_ = std::move(decoder);
    codec_ = codecName;
    for (auto& f : fields_)
        f.name = decoder_->Decode(f.rawName.constData(), f.rawName.size());
}

void TableReader::SetMemoSource(std::unique_ptr<ByteSource> source, const QString& name)
{
    memo_ = std::move(source);
    memoName_ = name;
    memoChecked_ = false;
    memoBlockStart_ = 0;
}

void TableReader::SetMissingMemoName(const QString& expectedName)
{
    memo_.reset();
    memoName_ = expectedName;
}

// Hands the bytes of one field of every record, in chain order, to callback.
template <typename F>
void TableReader::ForEachFieldBytes(int field, F&& callback)
{
    const FieldInfo& info = fields_[static_cast<std::size_t>(field)];
    const auto recordSize = static_cast<std::size_t>(header_.recordSize);
    for (std::size_t b = 0; b < chain_.size(); ++b) {
        if (chain_[b].count == 0)
            continue;
        LoadBlock(b);
        for (std::uint32_t r = 0; r < chain_[b].count; ++r)
            callback(buffer_.data() + r * recordSize + static_cast<std::size_t>(info.offset));
    }
}

void TableReader::OrderBy(int field)
{
    const FieldInfo& f = fields_.at(static_cast<std::size_t>(field));
    if (IsBlobType(f.type))
        Fail(ErrorCode::CannotOrderBy, {f.name});
    const auto n = static_cast<std::size_t>(recordCount_);
    std::vector<std::uint32_t> order(n);

    if (f.type == FieldType::Alpha) {
        std::vector<QString> keys;
        keys.reserve(n);
        ForEachFieldBytes(field, [&](const std::uint8_t* p) {
            const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, static_cast<std::size_t>(f.width)));
            keys.push_back(decoder_->Decode(reinterpret_cast<const char*>(p), end ? end - p : f.width));
        });
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            const int c = keys[a].compare(keys[b], Qt::CaseInsensitive);
            return c != 0 ? c < 0 : keys[a] < keys[b];
        });
    } else if (f.width <= 8) {
        // The stored bytes of numbers, dates and times sort like the values
        // (that is what the flipped encoding is for), and blanks come first.
        std::vector<std::pair<std::uint64_t, std::uint32_t>> keys;
        keys.reserve(n);
        std::uint32_t ordinal = 0;
        ForEachFieldBytes(field, [&](const std::uint8_t* p) {
            std::uint64_t key = 0;
            for (int i = 0; i < 8; ++i)
                key = (key << 8) | (i < f.width ? p[i] : 0);
            keys.emplace_back(key, ordinal++);
        });
        std::sort(keys.begin(), keys.end());
        for (std::size_t i = 0; i < n; ++i)
            order[i] = keys[i].second;
    } else {
        const auto width = static_cast<std::size_t>(f.width);
        std::vector<std::uint8_t> keys;
        keys.reserve(n * width);
        ForEachFieldBytes(field, [&](const std::uint8_t* p) { keys.insert(keys.end(), p, p + width); });
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return std::memcmp(&keys[a * width], &keys[b * width], width) < 0;
        });
    }

    // A table already in that order (a title table keyed on the field, say)
    // is read straight along its chain, block by block.
    bool identity = true;
    for (std::size_t i = 0; i < n && identity; ++i)
        identity = order[i] == i;
    ordered_ = !identity;
    order_ = identity ? std::vector<std::uint32_t>() : std::move(order);
    Rewind();
}

void TableReader::LoadBlock(std::size_t index)
{
    const ChainBlock& b = chain_[index];
    const std::size_t bytes = static_cast<std::size_t>(b.count) * static_cast<std::size_t>(header_.recordSize);
    buffer_.resize(std::max(buffer_.size(), bytes));
    loadedBlock_ = SIZE_MAX;
    if (!source_->ReadAt(b.firstRecord, buffer_.data(), bytes))
        Fail(ErrorCode::FileReadFailed);
    loadedBlock_ = index;
}

void TableReader::PositionNatural()
{
    while (block_ < chain_.size() && chain_[block_].count == 0)
        ++block_;
    if (block_ >= chain_.size()) {
        atEnd_ = true;
        current_ = nullptr;
        return;
    }
    if (inBlock_ == 0)
        LoadBlock(block_);
    atEnd_ = false;
    current_ = buffer_.data() + static_cast<std::size_t>(inBlock_) * static_cast<std::size_t>(header_.recordSize);
}

std::size_t TableReader::BlockOfOrdinal(std::uint32_t ordinal) const
{
    auto it = std::upper_bound(chain_.begin(), chain_.end(), ordinal,
                               [](std::uint32_t value, const ChainBlock& b) { return value < b.firstOrdinal; });
    // The first block has ordinal 0, so there is always one before.
    return static_cast<std::size_t>(it - chain_.begin()) - 1;
}

void TableReader::Rewind()
{
    position_ = 0;
    block_ = 0;
    inBlock_ = 0;
    if (!ordered_) {
        PositionNatural();
        return;
    }
    atEnd_ = true;
    current_ = nullptr;
    position_ = static_cast<std::size_t>(-1);
    nextBlock_ = SIZE_MAX;
    Advance();
}

void TableReader::Advance()
{
    if (!ordered_) {
        if (atEnd_)
            return;
        if (++inBlock_ >= chain_[block_].count) {
            ++block_;
            inBlock_ = 0;
        }
        PositionNatural();
        return;
    }
    ++position_;
    if (position_ >= order_.size()) {
        position_ = order_.size();
        atEnd_ = true;
        current_ = nullptr;
        return;
    }
    const std::uint32_t ordinal = order_[position_];
    // The previous step already found this record's block.
    const std::size_t block = nextBlock_ != SIZE_MAX ? nextBlock_ : BlockOfOrdinal(ordinal);
    const auto recordSize = static_cast<std::size_t>(header_.recordSize);
    const std::size_t inBlock = ordinal - chain_[block].firstOrdinal;
    // Runs of records from one block (a table nearly in the field's order)
    // read the block once; a record on its own is read alone.
    nextBlock_ = position_ + 1 < order_.size() ? BlockOfOrdinal(order_[position_ + 1]) : SIZE_MAX;
    const bool nextInSameBlock = nextBlock_ == block;
    if (block == loadedBlock_) {
        current_ = buffer_.data() + inBlock * recordSize;
    } else if (nextInSameBlock) {
        LoadBlock(block);
        current_ = buffer_.data() + inBlock * recordSize;
    } else {
        buffer_.resize(std::max(buffer_.size(), recordSize));
        loadedBlock_ = SIZE_MAX;
        if (!source_->ReadAt(chain_[block].firstRecord + inBlock * recordSize, buffer_.data(), recordSize))
            Fail(ErrorCode::FileReadFailed);
        current_ = buffer_.data();
    }
    atEnd_ = false;
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

void TableReader::CheckMemoHeader(int field)
{
    if (memoChecked_)
        return;
    std::uint8_t type = 0xFF;
    // The first block of a memo file is its header block, type 0. Encrypted
    // memo files fail here, since their first byte is scrambled.
    if (memo_->Size() < kMemoBlockUnit || !memo_->ReadAt(0, &type, 1) || type != 0)
        throw SourceError(ErrorCode::MemoFileDamaged,
                          {memoName_, fields_[static_cast<std::size_t>(field)].name, QStringLiteral("0")});
    memoChecked_ = true;
}

QByteArrayView TableReader::ReadBlob(int field)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    const std::uint8_t* p = current_ + f.offset;
    const int leader = f.width - 10;
    const std::uint32_t location = Le32(p + leader);
    const std::uint32_t length = Le32(p + leader + 4);
    if (length == 0)
        return {};
    if (length <= static_cast<std::uint32_t>(leader))
        return QByteArrayView(reinterpret_cast<const char*>(p), length);

    if (!memo_)
        throw SourceError(ErrorCode::MemoFileMissing, {memoName_, f.name, name_});
    CheckMemoHeader(field);
    const std::uint64_t blockStart = location & 0xFFFFFF00u;
    const unsigned index = location & 0xFFu;
    const std::uint64_t memoSize = memo_->Size();
    auto invalid = [&]() -> SourceError {
        return SourceError(ErrorCode::MemoPointerInvalid, {memoName_, f.name, QString::number(location)});
    };
    if (blockStart == 0 || blockStart >= memoSize)
        throw invalid();
    if (blockStart != memoBlockStart_) {
        // Slot table and data of a suballocated block lie within its first
        // 8 KiB (offsets and lengths count 16-byte units in one byte each).
        const std::uint64_t want = std::min<std::uint64_t>(kMemoCachedBlock, memoSize - blockStart);
        memoBlock_.resize(static_cast<std::size_t>(want));
        memoBlockStart_ = 0;
        if (want < 12 || !memo_->ReadAt(blockStart, memoBlock_.data(), memoBlock_.size()))
            throw invalid();
        memoBlockStart_ = blockStart;
    }
    const std::uint8_t* head = memoBlock_.data();
    const std::uint64_t blockEnd =
        std::min<std::uint64_t>(memoSize, blockStart + std::uint64_t{Le16(head + 1)} * kMemoBlockUnit);

    if (head[0] == 2) {
        // A block of its own: the length is repeated in the block header.
        if (index != 0xFF || Le32(head + 3) != length || blockStart + 9 + length > blockEnd)
            throw invalid();
        blobBuffer_.resize(length);
        if (!memo_->ReadAt(blockStart + 9, blobBuffer_.data(), length))
            throw SourceError(ErrorCode::FileReadFailed, {memoName_});
        return QByteArrayView(blobBuffer_.data(), length);
    }
    if (head[0] != 3 || index >= 64)
        throw invalid();
    // A suballocated block: up to 64 small BLOBs, each with a slot entry.
    const std::size_t entry = 12 + 5 * std::size_t{index};
    if (entry + 5 > memoBlock_.size())
        throw invalid();
    const std::uint8_t* slot = head + entry;
    if (slot[0] == 0 || slot[1] == 0 || slot[4] == 0 || slot[4] > 16 ||
        (std::uint32_t{slot[1]} - 1) * 16 + slot[4] != length)
        throw invalid();
    const std::size_t dataStart = std::size_t{slot[0]} * 16;
    if (blockStart + dataStart + length > blockEnd || dataStart + length > memoBlock_.size())
        throw invalid();
    return QByteArrayView(reinterpret_cast<const char*>(head + dataStart), length);
}

QString TableReader::DecodeText(const char* data, qsizetype size)
{
    return decoder_->Decode(data, size);
}

QByteArrayView TableReader::TextBytes(int field)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    const std::uint8_t* p = current_ + f.offset;
    if (f.type == FieldType::Alpha) {
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, static_cast<std::size_t>(f.width)));
        return QByteArrayView(reinterpret_cast<const char*>(p), end ? end - p : f.width);
    }
    return ReadBlob(field);
}

QString TableReader::ReadText(int field)
{
    const QByteArrayView bytes = TextBytes(field);
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
        v.kind = Value::Kind::Text;
        const QByteArrayView bytes = TextBytes(field);
        decoder_->DecodeInto(bytes.data(), bytes.size(), v.text);
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
        }
        break;
    }
    case FieldType::Time: {
        const std::int64_t ms = FlippedInt(p, 4);
        if (ms >= 0 && ms < kMsPerDay) {
            v.kind = Value::Kind::Time;
            v.integer = ms;
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
        break;
    }
    case FieldType::Bcd:
        v.kind = Value::Kind::Decimal;
        v.text = BcdText(p, f.sizeByte);
        break;
    case FieldType::Bytes:
        v.kind = Value::Kind::Bytes;
        v.bytes.resize(f.width);
        std::memcpy(v.bytes.data(), p, static_cast<std::size_t>(f.width));
        break;
    case FieldType::Binary: case FieldType::FormattedMemo: case FieldType::Ole: case FieldType::Graphic: {
        v.kind = Value::Kind::Bytes;
        const QByteArrayView blob = ReadBlob(field);
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
