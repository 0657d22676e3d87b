// TableReader: the cursor over the records, in chain order or in the order of
// one field.

#include "TableBytes.h"
#include "TableReader.h"
#include "TextDecoder.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace pdx {

using namespace table_bytes;

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
    row_ = 1;
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
    row_ = 0;
    Advance();
}

void TableReader::Advance()
{
    ++row_;
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

} // namespace pdx
