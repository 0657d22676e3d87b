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
constexpr std::uint64_t kMemoCachedBlock = 2 * 4096;

} // namespace

void TableReader::SetMemoSource(std::unique_ptr<ByteSource> source, const QString& name)
{
    memo_ = header_.encryptionKey != 0 ? UnscramblingSource::ForMemo(std::move(source), header_.encryptionKey)
                                       : std::move(source);
    memoName_ = name;
    memoChecked_ = false;
    memoBlockStart_ = 0;
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
    if (blockStart != memoBlockStart_) {
        // Slot table and data of a suballocated block lie within its first
        // 8 KiB (offsets and lengths count 16-byte units in one byte each).
        const std::uint64_t want = std::min<std::uint64_t>(kMemoCachedBlock, memoSize - blockStart);
        memoBlock_.resize(static_cast<std::size_t>(want));
        memoBlockStart_ = 0;
        if (want < 12)
            return false;
        if (!memo_->ReadAt(blockStart, memoBlock_.data(), memoBlock_.size()))
            throw SourceError(ErrorCode::FileReadFailed, {memoName_});
        memoBlockStart_ = blockStart;
    }
    const std::uint8_t* head = memoBlock_.data();
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
    if (entry + 5 > memoBlock_.size())
        return false;
    const std::uint8_t* slot = head + entry;
    if (slot[0] == 0 || slot[1] == 0 || slot[4] == 0 || slot[4] > 16 ||
        (std::uint32_t{slot[1]} - 1) * 16 + slot[4] != length)
        return false;
    const std::size_t dataStart = std::size_t{slot[0]} * 16;
    if (blockStart + dataStart + length > blockEnd || dataStart + length > memoBlock_.size())
        return false;
    bytes = QByteArrayView(reinterpret_cast<const char*>(head + dataStart), length);
    return true;
}

} // namespace pdx
