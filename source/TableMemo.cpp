// TableReader, part four: memo and BLOB data, in the record's leader or in
// the memo file (.mb).

#include "Scramble.h"
#include "TableBytes.h"
#include "TableReader.h"

#include <algorithm>

namespace pdx {

using namespace table_bytes;

namespace {

constexpr std::uint64_t kMemoBlockUnit = 4096;
// Slot table and data of a suballocated block lie within its first 8 KiB
// (offsets and lengths count 16-byte units in one byte each).
constexpr std::uint64_t kMemoCachedBlock = 2 * kMemoBlockUnit;

} // namespace

void TableReader::SetMemoSource(std::unique_ptr<ByteSource> source, const QString& name)
{
    memo_ = header_.encryptionKey != 0 ? UnscramblingSource::ForMemo(std::move(source), header_.encryptionKey)
                                       : std::move(source);
    memoName_ = name;
    memoChecked_ = false;
    for (MemoBlock& block : memoBlocks_)
        block.start = 0;
}

void TableReader::SetMissingMemoName(const QString& expectedName)
{
    memo_.reset();
    memoName_ = expectedName;
}

bool TableReader::NeedsMemoFile(int field) const
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    const std::uint8_t* p = current_ + f.offset;
    const int leader = f.width - 10;
    return Le32(p + leader + 4) > static_cast<std::uint32_t>(leader);
}

// The first block of a memo file is its header block, type 0. A memo file cut
// short of it, or whose first byte says otherwise, holds nothing readable.
bool TableReader::MemoHeaderSound()
{
    if (!memoChecked_) {
        std::uint8_t type = 0xFF;
        memoSound_ = memo_->Size() >= kMemoBlockUnit && memo_->ReadAt(0, &type, 1) && type == 0;
        memoChecked_ = true;
    }
    return memoSound_;
}

bool TableReader::BlobBytes(int field, QByteArrayView& bytes)
{
    bytes = {};
    if (!memo_ && NeedsMemoFile(field)) {
        if (!missingMemoAsBlank_) {
            const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
            throw SourceError(ErrorCode::MemoFileMissing, {memoName_, f.name, name_});
        }
        NoteLoss(LossKind::MissingMemo);
        return false;
    }
    if (!ResolveBlob(field, bytes)) {
        bytes = {};
        NoteLoss(LossKind::UnreadableMemo);
        return false;
    }
    return true;
}

QByteArrayView TableReader::ReadBlob(int field)
{
    QByteArrayView bytes;
    BlobBytes(field, bytes);
    return bytes;
}

const TableReader::MemoBlock* TableReader::MemoBlockAt(std::uint64_t blockStart)
{
    for (MemoBlock& block : memoBlocks_) {
        if (block.start == blockStart) {
            block.used = ++memoClock_;
            return &block;
        }
    }
    const std::uint64_t have = memo_->Size() - blockStart;
    if (std::min(kMemoCachedBlock, have) < 12)
        return nullptr;
    MemoBlock& block = *std::min_element(memoBlocks_.begin(), memoBlocks_.end(),
                                         [](const MemoBlock& x, const MemoBlock& y) { return x.used < y.used; });
    block.start = 0;
    // Its first unit, and the second only when the block is suballocated and
    // longer: what lies past the block's end is never used.
    block.bytes.resize(static_cast<std::size_t>(std::min(kMemoBlockUnit, have)));
    if (!memo_->ReadAt(blockStart, block.bytes.data(), block.bytes.size()))
        throw SourceError(ErrorCode::FileReadFailed, {memoName_});
    const std::uint8_t* head = block.bytes.data();
    if (head[0] == 3 && Le16(head + 1) > 1 && have > kMemoBlockUnit) {
        block.bytes.resize(static_cast<std::size_t>(std::min(kMemoCachedBlock, have)));
        if (!memo_->ReadAt(blockStart + kMemoBlockUnit, block.bytes.data() + kMemoBlockUnit,
                           block.bytes.size() - kMemoBlockUnit))
            throw SourceError(ErrorCode::FileReadFailed, {memoName_});
    }
    block.start = blockStart;
    block.used = ++memoClock_;
    return &block;
}

bool TableReader::ResolveBlob(int field, QByteArrayView& bytes)
{
    const FieldInfo& f = fields_[static_cast<std::size_t>(field)];
    const std::uint8_t* p = current_ + f.offset;
    const int leader = f.width - 10;
    const std::uint32_t location = Le32(p + leader);
    const std::uint32_t length = Le32(p + leader + 4);
    if (length == 0)
        return true;
    if (length <= static_cast<std::uint32_t>(leader)) {
        bytes = QByteArrayView(reinterpret_cast<const char*>(p), length);
        return true;
    }

    if (!MemoHeaderSound())
        return false;
    const std::uint64_t blockStart = location & 0xFFFFFF00u;
    const unsigned index = location & 0xFFu;
    const std::uint64_t memoSize = memo_->Size();
    if (blockStart == 0 || blockStart >= memoSize)
        return false;
    const MemoBlock* cached = MemoBlockAt(blockStart);
    if (!cached)
        return false;
    const std::vector<std::uint8_t>& memoBlock = cached->bytes;
    const std::uint8_t* head = memoBlock.data();
    const std::uint64_t blockEnd =
        std::min<std::uint64_t>(memoSize, blockStart + std::uint64_t{Le16(head + 1)} * kMemoBlockUnit);

    if (head[0] == 2) {
        // A block of its own: the length is repeated in the block header.
        if (index != 0xFF || Le32(head + 3) != length || blockStart + 9 + length > blockEnd)
            return false;
        blobBuffer_.resize(length);
        if (!memo_->ReadAt(blockStart + 9, blobBuffer_.data(), length))
            throw SourceError(ErrorCode::FileReadFailed, {memoName_});
        bytes = QByteArrayView(blobBuffer_.data(), length);
        return true;
    }
    if (head[0] != 3 || index >= 64)
        return false;
    // A suballocated block: up to 64 small BLOBs, each with a slot entry.
    const std::size_t entry = 12 + 5 * std::size_t{index};
    if (entry + 5 > memoBlock.size())
        return false;
    const std::uint8_t* slot = head + entry;
    if (slot[0] == 0 || slot[1] == 0 || slot[4] == 0 || slot[4] > 16 ||
        (std::uint32_t{slot[1]} - 1) * 16 + slot[4] != length)
        return false;
    const std::size_t dataStart = std::size_t{slot[0]} * 16;
    if (blockStart + dataStart + length > blockEnd || dataStart + length > memoBlock.size())
        return false;
    bytes = QByteArrayView(reinterpret_cast<const char*>(head + dataStart), length);
    return true;
}

} // namespace pdx
