// TableReader: the cursor over the records, in chain order or in the order of
// one field.

#include "TableBytes.h"
#include "TableReader.h"
#include "TextDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

namespace pdx {

using namespace table_bytes;

namespace {

// How much a wide read of records takes in at most: the chain blocks that
// follow each other in the file, read with one call instead of one each.
constexpr std::uint64_t kSpanBytes = 256 * 1024;

// Sorts N words of a key (the high half) and a chain position (the low
// half) a byte of the key at a time from its last. Each pass keeps the order
// of the one before, so words of equal keys stay in the order they came; a
// byte that is the same in every key takes no pass.
void SortByKeyBytes(std::uint64_t* words, std::size_t n)
{
    std::array<std::array<std::size_t, 256>, 4> counts{};
    for (std::size_t i = 0; i < n; ++i)
        for (int b = 0; b < 4; ++b)
            ++counts[b][(words[i] >> (32 + 8 * b)) & 0xFF];
    std::unique_ptr<std::uint64_t[]> spare;
    std::uint64_t* from = words;
    std::uint64_t* to = nullptr;
    for (int b = 0; b < 4; ++b) {
        if (std::find(counts[b].begin(), counts[b].end(), n) != counts[b].end())
            continue;
        if (!spare) {
            spare = std::make_unique_for_overwrite<std::uint64_t[]>(n);
            to = spare.get();
        }
        std::array<std::size_t, 256> start{};
        for (std::size_t v = 1; v < 256; ++v)
            start[v] = start[v - 1] + counts[b][v - 1];
        for (std::size_t i = 0; i < n; ++i)
            to[start[(from[i] >> (32 + 8 * b)) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    if (from != words)
        std::copy(from, from + n, words);
}

// The chain positions of N keys in the keys' order, ties in chain order,
// into ORDER, for keys that mostly come in order already (a title table
// entered album by album): those that keep the order stay as they are, the
// few others are sorted and merged in, and no second copy of the keys is
// needed. False, with nothing ordered, as soon as more than a quarter of
// those looked at (past the first thousand) would have to be sorted.
bool OrderNearlySorted(const std::uint32_t* keys, std::size_t n, std::uint32_t* order)
{
    std::vector<std::uint64_t> strays; // key and chain position in one word
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        // A key is kept when it does not fall below the last one kept, nor
        // lies above one of the next few that could be kept after that: a
        // single key far too high does not end the run for the others.
        const std::uint32_t key = keys[i];
        const std::uint32_t last = kept == 0 ? 0 : keys[order[kept - 1]];
        bool fits = key >= last;
        for (std::size_t j = i + 1; fits && j < n && j <= i + 4; ++j)
            fits = keys[j] < last || keys[j] >= key;
        if (fits) {
            order[kept++] = static_cast<std::uint32_t>(i);
        } else {
            strays.push_back(std::uint64_t{key} << 32 | i);
            if (strays.size() > std::max<std::size_t>(i / 4, 1024))
                return false;
        }
    }
    std::sort(strays.begin(), strays.end());
    // Merged from the back, where ORDER has room for the strays.
    std::size_t out = n;
    for (std::size_t s = strays.size(); s > 0;) {
        if (kept > 0) {
            const std::uint32_t last = order[kept - 1];
            if ((std::uint64_t{keys[last]} << 32 | last) > strays[s - 1]) {
                order[--out] = last;
                --kept;
                continue;
            }
        }
        order[--out] = static_cast<std::uint32_t>(strays[--s]);
    }
    return true;
}

} // namespace

// Hands the bytes of one field of every record, in chain order, to callback.
template <typename F>
void TableReader::ForEachFieldBytes(int field, F&& callback)
{
    const FieldInfo& info = fields_[static_cast<std::size_t>(field)];
    const auto recordSize = static_cast<std::size_t>(header_.recordSize);
    for (std::size_t b = 0; b < chain_.size(); ++b) {
        if (chain_[b].count == 0)
            continue;
        const std::uint8_t* records = Records(b, true);
        for (std::uint32_t r = 0; r < chain_[b].count; ++r)
            callback(records + r * recordSize + static_cast<std::size_t>(info.offset));
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
    } else if (f.width <= 4) {
        // The keys as gathered while the chain was walked, or read now.
        std::vector<std::uint32_t> keys;
        if (field == keyField_ && walkKeys_.size() == n) {
            keys = std::move(walkKeys_);
        } else {
            keys.resize(n);
            std::size_t ordinal = 0;
            ForEachFieldBytes(field, [&](const std::uint8_t* p) { keys[ordinal++] = static_cast<std::uint32_t>(KeyBytes(p, f.width, 4)); });
        }
        if (!OrderNearlySorted(keys.data(), n, order.data())) {
            // Key and chain position in one word: ties stay in chain order.
            const auto words = std::make_unique_for_overwrite<std::uint64_t[]>(n);
            for (std::size_t i = 0; i < n; ++i)
                words[i] = std::uint64_t{keys[i]} << 32 | i;
            std::vector<std::uint32_t>().swap(keys); // gone before the sort takes its second array
            SortByKeyBytes(words.get(), n);
            for (std::size_t i = 0; i < n; ++i)
                order[i] = static_cast<std::uint32_t>(words[i]);
        }
    } else if (f.width <= 8) {
        std::vector<std::pair<std::uint64_t, std::uint32_t>> keys;
        keys.reserve(n);
        std::uint32_t ordinal = 0;
        ForEachFieldBytes(field, [&](const std::uint8_t* p) { keys.emplace_back(KeyBytes(p, f.width, 8), ordinal++); });
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

    std::vector<std::uint32_t>().swap(walkKeys_);
    // A table already in that order (a title table keyed on the field, say)
    // is read straight along its chain, block by block.
    bool identity = true;
    for (std::size_t i = 0; i < n && identity; ++i)
        identity = order[i] == i;
    ordered_ = !identity;
    order_ = identity ? std::vector<std::uint32_t>() : std::move(order);
    Rewind();
}

const std::uint8_t* TableReader::Records(std::size_t index, bool wide)
{
    const ChainBlock& b = chain_[index];
    const auto recordSize = static_cast<std::uint64_t>(header_.recordSize);
    for (RecordSpan& span : spans_) {
        if (index >= span.first && index < span.end) {
            span.used = ++spanClock_;
            return span.bytes.data() + (b.firstRecord - span.start);
        }
    }
    // Wide spans take the first place, where one replaces the one before as
    // the reading moves along the file; single blocks take the oldest of the others.
    RecordSpan& span = wide ? spans_.front()
                            : *std::min_element(spans_.begin() + 1, spans_.end(), [](const RecordSpan& x, const RecordSpan& y) {
                                  return x.used < y.used;
                              });
    // The blocks after it, as far as they follow each other in the file.
    std::size_t end = index + 1;
    std::uint64_t bytesEnd = b.firstRecord + b.count * recordSize;
    while (wide && end < chain_.size() &&
           chain_[end].firstRecord == chain_[end - 1].firstRecord + static_cast<std::uint64_t>(header_.blockSize)) {
        const std::uint64_t next = chain_[end].firstRecord + chain_[end].count * recordSize;
        if (next - b.firstRecord > kSpanBytes)
            break;
        bytesEnd = next;
        ++end;
    }
    span.first = span.end = 0;
    span.bytes.resize(static_cast<std::size_t>(bytesEnd - b.firstRecord));
    bool read = source_->ReadAt(b.firstRecord, span.bytes.data(), span.bytes.size());
    if (!read && end > index + 1) {
        // Only the block asked for fails the read, as when it is read alone.
        end = index + 1;
        span.bytes.resize(static_cast<std::size_t>(b.count * recordSize));
        read = source_->ReadAt(b.firstRecord, span.bytes.data(), span.bytes.size());
    }
    if (!read)
        Fail(ErrorCode::FileReadFailed);
    span.start = b.firstRecord;
    span.first = index;
    span.end = end;
    span.used = ++spanClock_;
    spanEnd_ = end;
    return span.bytes.data();
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
        blockRecords_ = Records(block_, true);
    atEnd_ = false;
    current_ = blockRecords_ + static_cast<std::size_t>(inBlock_) * static_cast<std::size_t>(header_.recordSize);
}

std::size_t TableReader::BlockOfOrdinal(std::uint32_t ordinal, std::size_t hint, std::size_t other) const
{
    // Records in order mostly lie in the block of the record before or in the next one;
    // where every block is as full as the first, as in most tables, the others are found
    // by division.
    const std::size_t perBlock = std::max<std::size_t>(1, chain_.front().count);
    const std::size_t guess = std::min<std::size_t>(chain_.size() - 1, ordinal / perBlock);
    for (const std::size_t near : {hint, other, guess})
        for (std::size_t b = near; b < chain_.size() && b <= near + 1; ++b)
            if (ordinal >= chain_[b].firstOrdinal && ordinal - chain_[b].firstOrdinal < chain_[b].count)
                return b;
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
    runBlock_ = 0;
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
    const std::size_t block = nextBlock_ != SIZE_MAX ? nextBlock_ : BlockOfOrdinal(ordinal, 0, 0);
    const auto recordSize = static_cast<std::size_t>(header_.recordSize);
    const std::size_t inBlock = ordinal - chain_[block].firstOrdinal;
    // After a record read alone the order mostly goes on where it was before.
    nextBlock_ = position_ + 1 < order_.size() ? BlockOfOrdinal(order_[position_ + 1], block, runBlock_) : SIZE_MAX;
    // Runs of records from one block (a table nearly in the field's order)
    // read the block once, and the blocks after it along when the run before
    // ended in the block before; a record on its own is read alone, keeping
    // the blocks read before for the records after it.
    const bool held = std::any_of(spans_.begin(), spans_.end(),
                                  [block](const RecordSpan& s) { return block >= s.first && block < s.end; });
    if (held || nextBlock_ == block) {
        current_ = Records(block, block == spanEnd_) + inBlock * recordSize;
        runBlock_ = block;
    } else {
        single_.resize(recordSize);
        if (!source_->ReadAt(chain_[block].firstRecord + inBlock * recordSize, single_.data(), recordSize))
            Fail(ErrorCode::FileReadFailed);
        current_ = single_.data();
    }
    atEnd_ = false;
}

} // namespace pdx
