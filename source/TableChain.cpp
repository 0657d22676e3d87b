// TableReader, the block chain: walked from the header's first block and, where
// it breaks, pieced together again from the blocks outside it.
//
// A sound table is read along its chain and nothing else is looked at. A chain
// that breaks (a block that cannot be right, a link out of the file, back into
// the chain or to a block that does not link back, or an end before the
// header's count of blocks) gives up only its unreadable blocks: the others are
// found among the blocks that are neither in the walked chain nor free, linked
// into runs by their own next and previous words, and put in order again: a
// keyed table's runs by the key of their first record, an unkeyed table's
// after the block they link back to, else in the order of the file. Records of
// free blocks, and bytes after a block's last record, are never taken.

#include "TableBytes.h"
#include "TableReader.h"
#include "TextDecoder.h"

#include <algorithm>
#include <cstring>

namespace pdx {

using namespace table_bytes;

namespace {

constexpr int kMaxBlocks = 65535; // block numbers are 16 bits

// A walk that goes on to the next block in the file reads this much at once:
// the headers of the blocks after it come with one call instead of one each.
constexpr std::uint64_t kHeadWindow = 256 * 1024;

enum BlockState : std::uint8_t { kOpen, kInChain, kFree, kBad, kCandidate };

} // namespace

struct TableReader::BlockHead {
    std::uint64_t start = 0; // file offset of the block
    int next = 0;
    int prev = 0;
    int last = 0;            // offset of the last record; negative: no records
    bool zero = false;       // all six header bytes are 0
    std::uint32_t count = 0; // records, once found plausible
};

// False when the block's header lies past the end of the file.
bool TableReader::ReadBlockHead(int block, BlockHead& head)
{
    const TableHeader& h = header_;
    head.start = static_cast<std::uint64_t>(h.headerSize) + static_cast<std::uint64_t>(block - 1) * h.blockSize;
    if (head.start + kBlockHeader > source_->Size())
        return false;
    // Unscrambling a protected file's window would cost more than the calls it saves.
    const bool wide = block == lastHead_ + 1 && h.encryptionKey == 0;
    lastHead_ = block;
    const std::uint8_t* bytes = WalkBytes(head.start, kBlockHeader, wide);
    // A window that cannot be read fails only when the header alone cannot.
    if (!bytes && wide)
        bytes = WalkBytes(head.start, kBlockHeader, false);
    if (!bytes)
        Fail(ErrorCode::FileReadFailed);
    head.next = Le16(bytes);
    head.prev = Le16(bytes + 2);
    head.last = static_cast<std::int16_t>(Le16(bytes + 4));
    head.zero = AllZero(bytes, kBlockHeader);
    return true;
}

// N bytes at START (inside the file) while the chain is walked, from the
// window read last or read now: WIDE reads up to kHeadWindow bytes from START,
// so that the blocks after it come along, else only the N. Nullptr when they
// cannot be read.
const std::uint8_t* TableReader::WalkBytes(std::uint64_t start, std::size_t n, bool wide)
{
    if (start >= headWindowStart_ && start + n <= headWindowStart_ + headWindow_.size())
        return headWindow_.data() + (start - headWindowStart_);
    const std::uint64_t rest = source_->Size() - start;
    headWindow_.resize(static_cast<std::size_t>(wide ? std::max<std::uint64_t>(n, std::min(kHeadWindow, rest)) : n));
    headWindowStart_ = start;
    if (!source_->ReadAt(start, headWindow_.data(), headWindow_.size())) {
        headWindow_.clear();
        return nullptr;
    }
    return headWindow_.data();
}

// Adds the values of the order field of a block of the walked chain to those
// gathered; false when its records cannot be read (OrderBy then reads them
// itself, and says so).
bool TableReader::GatherKeys(const BlockHead& head, int block)
{
    const auto recordSize = static_cast<std::size_t>(header_.recordSize);
    if (head.count == 0)
        return true;
    // With the blocks after it when the chain goes on along the file.
    const std::uint8_t* records = WalkBytes(head.start + kBlockHeader, head.count * recordSize, head.next == block + 1);
    if (!records)
        return false;
    const FieldInfo& f = fields_[static_cast<std::size_t>(keyField_)];
    for (std::uint32_t r = 0; r < head.count; ++r)
        walkKeys_.push_back(static_cast<std::uint32_t>(KeyBytes(records + r * recordSize + f.offset, f.width, 4)));
    return true;
}

// Whether the block's records can be right: whole records that fit the block
// and end inside the file. Sets head.count.
bool TableReader::PlausibleRecords(BlockHead& head) const
{
    const TableHeader& h = header_;
    head.count = 0;
    if (head.last < 0)
        return true;
    if (head.last % h.recordSize != 0 || head.last + h.recordSize > h.blockSize - kBlockHeader)
        return false;
    head.count = static_cast<std::uint32_t>(head.last / h.recordSize + 1);
    return head.start + kBlockHeader + std::uint64_t{head.count} * h.recordSize <= source_->Size();
}

void TableReader::WalkChain()
{
    const TableHeader& h = header_;
    damage_ = {};
    damage_.headerRows = h.numRecords;
    damage_.headerBlocks = h.blocksInUse;
    std::vector<bool> visited(kMaxBlocks + 1, false);
    std::uint32_t ordinal = 0;
    bool broken = false;
    int previous = 0;
    bool gathering = keyField_ >= 0;
    if (gathering) // room for the rows the header claims, within reason: it may be wrong
        walkKeys_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(
            {h.numRecords, (source_->Size() - static_cast<std::uint64_t>(h.headerSize)) / h.recordSize, 1u << 22})));
    for (int block = h.firstBlock; block != 0;) {
        BlockHead head;
        if (visited[static_cast<std::size_t>(block)]) {
            broken = true; // a loop
            break;
        }
        if (!ReadBlockHead(block, head)) {
            // A block the header counts but the file lacks: it was cut short.
            if (block <= h.fileBlocks)
                damage_.unreadableBlocks.push_back(block);
            broken = true;
            break;
        }
        // Six zero bytes head only the one block of a table of at most one record.
        const bool zeroed = head.zero && !(chain_.empty() && h.blocksInUse <= 1 && h.numRecords <= 1);
        if (zeroed || !PlausibleRecords(head)) {
            damage_.unreadableBlocks.push_back(block);
            broken = true;
            break;
        }
        if (head.prev != previous) {
            // Not the block that follows: it is looked at again with the others.
            broken = true;
            break;
        }
        visited[static_cast<std::size_t>(block)] = true;
        gathering = gathering && GatherKeys(head, block);
        chain_.push_back({head.start + kBlockHeader, head.count, ordinal, block});
        ordinal += head.count;
        previous = block;
        block = head.next;
    }
    recordCount_ = ordinal;
    // A chain that ends before the header's count of blocks lost its tail, or the count is
    // wrong: the blocks outside it tell.
    const bool endedEarly = static_cast<int>(chain_.size()) < h.blocksInUse;
    if (broken || endedEarly)
        RepairChain();
    // Values gathered along a chain that had to be pieced together are not in its order.
    if (!gathering || broken || endedEarly || walkKeys_.size() != recordCount_)
        std::vector<std::uint32_t>().swap(walkKeys_);
    damage_.rowsRead = recordCount_;
    damage_.chainBroken = broken || (endedEarly && (damage_.recoveredBlocks > 0 || recordCount_ < h.numRecords));
    std::vector<std::uint8_t>().swap(headWindow_);
    lastHead_ = -1;
}

void TableReader::RepairChain()
{
    const TableHeader& h = header_;
    const std::uint64_t fileSize = source_->Size();
    const std::uint64_t inFile = (fileSize - static_cast<std::uint64_t>(h.headerSize) + h.blockSize - 1) / h.blockSize;
    const int blocks = static_cast<int>(std::min<std::uint64_t>(inFile, kMaxBlocks));
    std::vector<BlockState> state(static_cast<std::size_t>(blocks) + 1, kOpen);
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(blocks) + 1, 0);
    std::vector<int> walked;
    for (const ChainBlock& c : chain_) {
        state[static_cast<std::size_t>(c.number)] = kInChain;
        counts[static_cast<std::size_t>(c.number)] = c.count;
        walked.push_back(c.number);
    }
    for (const int b : damage_.unreadableBlocks)
        if (b <= blocks)
            state[static_cast<std::size_t>(b)] = kBad;

    // The free list; a block on it that holds records is no free block, and ends it.
    for (int b = h.firstFreeBlock; b >= 1 && b <= blocks && state[static_cast<std::size_t>(b)] == kOpen;) {
        BlockHead head;
        if (!ReadBlockHead(b, head) || head.last >= 0)
            break;
        state[static_cast<std::size_t>(b)] = kFree;
        b = head.next;
    }

    // The other blocks that hold records: sound ones are candidates, the rest unreadable.
    std::vector<BlockHead> heads(static_cast<std::size_t>(blocks) + 1);
    std::vector<int> candidates;
    for (int b = 1; b <= blocks; ++b) {
        BlockHead& head = heads[static_cast<std::size_t>(b)];
        if (state[static_cast<std::size_t>(b)] != kOpen || !ReadBlockHead(b, head) || head.zero || head.last < 0)
            continue;
        if (!PlausibleRecords(head)) {
            damage_.unreadableBlocks.push_back(b);
            state[static_cast<std::size_t>(b)] = kBad;
            continue;
        }
        state[static_cast<std::size_t>(b)] = kCandidate;
        counts[static_cast<std::size_t>(b)] = head.count;
        candidates.push_back(b);
    }

    // Runs of candidates that link to each other both ways.
    auto isCandidate = [&](int b) { return b >= 1 && b <= blocks && state[static_cast<std::size_t>(b)] == kCandidate; };
    std::vector<int> successor(static_cast<std::size_t>(blocks) + 1, 0);
    std::vector<bool> linkedTo(static_cast<std::size_t>(blocks) + 1, false);
    for (const int b : candidates) {
        const int n = heads[static_cast<std::size_t>(b)].next;
        if (n != b && isCandidate(n) && heads[static_cast<std::size_t>(n)].prev == b) {
            successor[static_cast<std::size_t>(b)] = n;
            linkedTo[static_cast<std::size_t>(n)] = true;
        } else if (n > blocks ? n <= h.fileBlocks
                              : n >= 1 && state[static_cast<std::size_t>(n)] == kOpen && heads[static_cast<std::size_t>(n)].zero) {
            // Linked to, but zeroed or cut off the file.
            damage_.unreadableBlocks.push_back(n);
        }
    }
    std::sort(damage_.unreadableBlocks.begin(), damage_.unreadableBlocks.end());
    damage_.unreadableBlocks.erase(std::unique(damage_.unreadableBlocks.begin(), damage_.unreadableBlocks.end()),
                                   damage_.unreadableBlocks.end());
    std::vector<std::vector<int>> runs{walked};
    std::vector<bool> taken(static_cast<std::size_t>(blocks) + 1, false);
    auto follow = [&](int b) {
        std::vector<int> run;
        for (; b != 0 && !taken[static_cast<std::size_t>(b)]; b = successor[static_cast<std::size_t>(b)]) {
            taken[static_cast<std::size_t>(b)] = true;
            run.push_back(b);
        }
        runs.push_back(std::move(run));
    };
    for (const int b : candidates)
        if (!linkedTo[static_cast<std::size_t>(b)])
            follow(b);
    for (const int b : candidates) // rings with no head
        if (!taken[static_cast<std::size_t>(b)])
            follow(b);
    damage_.recoveredBlocks = static_cast<int>(candidates.size());
    if (candidates.empty())
        return;

    auto startOf = [&](int b) {
        return static_cast<std::uint64_t>(h.headerSize) + static_cast<std::uint64_t>(b - 1) * h.blockSize;
    };
    std::vector<std::vector<int>> ordered;
    const bool keyed = h.fileType == 0 && h.keyFields > 0 && static_cast<std::size_t>(h.keyFields) <= fields_.size();
    if (keyed) {
        std::vector<std::uint64_t> firstRecords;
        for (auto& run : runs) {
            auto first = std::find_if(run.begin(), run.end(), [&](int b) { return counts[static_cast<std::size_t>(b)] > 0; });
            if (first == run.end())
                continue; // no records to place it by, and none to give
            firstRecords.push_back(startOf(*first) + kBlockHeader);
            ordered.push_back(std::move(run));
        }
        OrderKeyedRuns(ordered, firstRecords);
    } else {
        // The walked part first; then each run after the run it links back to, where there
        // is one, else the first left in the order of the file.
        std::vector<int> byPrev(static_cast<std::size_t>(blocks) + 1, -1); // a run whose head links back to a block
        std::vector<int> samePrev(runs.size(), -1);
        for (std::size_t r = runs.size(); r-- > 1;) {
            const int prev = heads[static_cast<std::size_t>(runs[r].front())].prev;
            if (prev >= 1 && prev <= blocks) {
                samePrev[r] = byPrev[static_cast<std::size_t>(prev)];
                byPrev[static_cast<std::size_t>(prev)] = static_cast<int>(r);
            }
        }
        std::vector<bool> placed(runs.size(), false);
        std::size_t nextInFile = 1;
        ordered.push_back(runs[0]);
        placed[0] = true;
        for (std::size_t done = 1; done < runs.size(); ++done) {
            int pick = -1;
            if (!ordered.back().empty())
                for (int r = byPrev[static_cast<std::size_t>(ordered.back().back())]; r >= 0 && pick < 0; r = samePrev[static_cast<std::size_t>(r)])
                    if (!placed[static_cast<std::size_t>(r)])
                        pick = r;
            if (pick < 0) {
                while (placed[nextInFile])
                    ++nextInFile;
                pick = static_cast<int>(nextInFile);
            }
            placed[static_cast<std::size_t>(pick)] = true;
            ordered.push_back(std::move(runs[static_cast<std::size_t>(pick)]));
        }
    }

    chain_.clear();
    std::uint32_t ordinal = 0;
    for (const auto& run : ordered) {
        for (const int b : run) {
            const std::uint32_t count = counts[static_cast<std::size_t>(b)];
            chain_.push_back({startOf(b) + kBlockHeader, count, ordinal, b});
            ordinal += count;
        }
    }
    recordCount_ = ordinal;
}

// Sorts the runs by the key of their first records (at FIRSTRECORDS), ties as they stand.
void TableReader::OrderKeyedRuns(std::vector<std::vector<int>>& runs, const std::vector<std::uint64_t>& firstRecords)
{
    const auto recordSize = static_cast<std::size_t>(header_.recordSize);
    std::vector<std::uint8_t> keys(runs.size() * recordSize);
    for (std::size_t r = 0; r < runs.size(); ++r)
        if (!source_->ReadAt(firstRecords[r], keys.data() + r * recordSize, recordSize))
            Fail(ErrorCode::FileReadFailed);
    std::vector<std::size_t> order(runs.size());
    for (std::size_t r = 0; r < order.size(); ++r)
        order[r] = r;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return CompareKeys(keys.data() + a * recordSize, keys.data() + b * recordSize) < 0;
    });
    std::vector<std::vector<int>> sorted;
    sorted.reserve(runs.size());
    for (const std::size_t r : order)
        sorted.push_back(std::move(runs[r]));
    runs = std::move(sorted);
}

// Compares two records by their key fields: alpha fields as OrderBy orders
// them, every other field by its stored bytes, which sort like the values.
int TableReader::CompareKeys(const std::uint8_t* a, const std::uint8_t* b) const
{
    for (int k = 0; k < header_.keyFields; ++k) {
        const FieldInfo& f = fields_[static_cast<std::size_t>(k)];
        const std::uint8_t* pa = a + f.offset;
        const std::uint8_t* pb = b + f.offset;
        int c = 0;
        if (f.type == FieldType::Alpha) {
            auto text = [&](const std::uint8_t* p) {
                const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, static_cast<std::size_t>(f.width)));
                return decoder_->Decode(reinterpret_cast<const char*>(p), end ? end - p : f.width);
            };
            const QString ta = text(pa);
            const QString tb = text(pb);
            c = ta.compare(tb, Qt::CaseInsensitive);
            if (c == 0)
                c = ta.compare(tb);
        } else {
            c = std::memcmp(pa, pb, static_cast<std::size_t>(f.width));
        }
        if (c != 0)
            return c;
    }
    return 0;
}

} // namespace pdx
