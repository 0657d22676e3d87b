#pragma once

#include "ByteSource.h"
#include "CodePage.h"
#include "FieldValue.h"
#include "SourceError.h"
#include "TableDamage.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace pdx {

class TextDecoder;

enum class FieldType : std::uint8_t {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Binary = 0x0D,
    FormattedMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoIncrement = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

// The format's letter for a type: A, D, S, I, $, N, L, M, B, F, O, G, T, @, +, #, Y.
char TypeLetter(FieldType type);
// Numbers in records: big-endian with the top bit inverted (doubles: negative
// values stored with every bit inverted). n is 1 to 8 bytes.
std::int64_t DecodeFlippedInt(const std::uint8_t* p, int n);
double DecodeFlippedDouble(const std::uint8_t* p);
bool IsBlobType(FieldType type);

struct FieldInfo {
    QString name;            // decoded with the table's code page
    QByteArray rawName;      // as stored
    FieldType type = FieldType::Alpha;
    std::uint8_t sizeByte = 0; // as stored; for BCD the number of decimals
    int width = 0;           // bytes in the record
    int offset = 0;          // from the start of the record
};

struct TableHeader {
    int recordSize = 0;
    int headerSize = 0;
    int fileType = 0;
    int version = 0;         // the version byte at 0x39
    int blockSize = 0;       // bytes
    std::uint32_t numRecords = 0; // as the header claims; the chain decides
    int blocksInUse = 0;     // the chain's length, as the header claims
    int fileBlocks = 0;
    int firstBlock = 0;
    int firstFreeBlock = 0;  // head of the list of free blocks, 0 = none
    int keyFields = 0;
    // Password protection: the key the blocks are scrambled with; 0 for a
    // plain file. Protected files are read without their password.
    std::uint32_t encryptionKey = 0;
    CodePage::HeaderHints codePage;
    // Version 4 and later: the field numbers (in .Xnn/.XGn index files the
    // first ones are the indexed fields' numbers in the table, from 1), and
    // in index files the index's name (empty for a single-field .Xnn).
    std::vector<int> fieldNumbers;
    QByteArray indexName;
};

// Values that could not be read as stored, by kind: each is read as blank
// (dates, times, timestamps out of range; memos and BLOBs in a missing memo
// file, or whose place in the memo file is damaged), as U+FFFD (bytes without
// a character in the code page), or with 0 for digits above 9 (BCD).
enum class LossKind : std::uint8_t { Date, Time, Timestamp, Unmappable, BcdDigits, MissingMemo, UnreadableMemo };
constexpr int kLossKinds = 7;

struct LossCount {
    std::uint64_t count = 0;    // values read with this loss
    std::uint64_t firstRow = 0; // cursor row (from 1) of the first one
};

// Parses a Paradox table from a ByteSource: the header, the field list and the
// block chain, and gives the records in chain order (or in an order the caller
// supplies). It never reads outside the source. A damaged chain costs the
// blocks that cannot be read, not the table: the rest of the chain is found
// among the other blocks, and Damage() says what was lost. It raises
// SourceError, naming the table, for everything else it cannot read. Its
// parts: TableReader.cpp (construction, code page), TableHeader.cpp,
// TableChain.cpp (the chain and its repair), TableBlocks.cpp (cursor),
// TableValues.cpp, TableMemo.cpp; TableBytes.h holds what they share.
class TableReader {
public:
    // Parses the header and walks the block chain; throws SourceError.
    // ORDERFIELD names a field the caller is going to order by: a number,
    // date or time field's values are gathered while the chain is walked,
    // where the blocks are read anyway, and OrderBy takes them from there.
    TableReader(std::unique_ptr<ByteSource> source, QString displayName, const QString& orderField = QString());
    ~TableReader();
    TableReader(const TableReader&) = delete;
    TableReader& operator=(const TableReader&) = delete;

    const QString& DisplayName() const { return name_; }
    const TableHeader& Header() const { return header_; }
    const std::vector<FieldInfo>& Fields() const { return fields_; }
    bool HasBlobFields() const;
    std::uint64_t RecordCount() const { return recordCount_; }
    // What the block chain gave up; known once the reader is made.
    const TableDamage& Damage() const { return damage_; }

    // Decodes the field names and, from now on, all text with this codec;
    // throws InvalidCodePage when Qt does not know it.
    void SetCodec(const QString& codecName);
    const QString& Codec() const { return codec_; }

    // The memo file (.mb). Without one, BLOBs that do not fit their leader
    // fail with MemoFileMissing naming expectedName. A value whose place in
    // the memo file cannot be read (the file cut short or damaged) reads as
    // blank and counts as LossKind::UnreadableMemo.
    void SetMemoSource(std::unique_ptr<ByteSource> source, const QString& name);
    void SetMissingMemoName(const QString& expectedName);
    // Without a memo file, memo and BLOB values that are not whole in their
    // leader read as blank (counted as LossKind::MissingMemo) instead of failing.
    void SetMissingMemoAsBlank(bool blank) { missingMemoAsBlank_ = blank; }
    bool MemoMissing() const { return !memo_ && !memoName_.isEmpty(); }
    const QString& MemoName() const { return memoName_; }

    // The values read with a loss since the reader was made, by LossKind.
    const LossCount& Losses(LossKind kind) const { return losses_[static_cast<std::size_t>(kind)]; }
    void ResetLosses() { losses_ = {}; }

    // Cursor over the records, in chain order unless OrderBy chose another.
    // OrderBy sorts ascending by one field, ties in chain order; BLOB fields
    // cannot order (CannotOrderBy). It rewinds the cursor.
    void OrderBy(int field);
    void Rewind();
    bool AtEnd() const { return atEnd_; }
    void Advance();
    const std::uint8_t* Current() const { return current_; }

    // Field access on the current record.
    bool IsBlank(int field) const;
    Value ReadValue(int field);
    // The same into VALUE, reusing the buffers of its text and bytes.
    void ReadValueInto(int field, Value& value);
    // Decodes bytes with the table's code page.
    QString DecodeText(const char* data, qsizetype size);
    // The stored bytes of an alpha or memo field, as ReadValueInto decodes
    // them: empty when blank or unreadable, and its losses counted as it
    // counts them. They point into the record or into a buffer valid until
    // the next memo read.
    QByteArrayView ReadTextBytes(int field);
    // The table's decoder.
    const TextDecoder& Decoder() const { return *decoder_; }
    // Text of an alpha or memo field (blank, and a memo that cannot be read,
    // read as empty).
    QString ReadText(int field);
    // The bytes of a BLOB field (blank, and a value that cannot be read, read
    // as empty); points into the record or into a buffer valid until the next
    // BLOB read.
    QByteArrayView ReadBlob(int field);

private:
    struct ChainBlock {
        std::uint64_t firstRecord; // file offset of the first record
        std::uint32_t count;       // records in the block
        std::uint32_t firstOrdinal; // chain position of the first record
        int number;                 // the block's number in the file
    };

    void ParseHeader();
    void ParseFields(const QByteArray& head);
    void WalkChain();
    struct BlockHead;
    bool ReadBlockHead(int block, BlockHead& head);
    const std::uint8_t* WalkBytes(std::uint64_t start, std::size_t n, bool wide);
    bool GatherKeys(const BlockHead& head, int block);
    bool PlausibleRecords(BlockHead& head) const;
    void RepairChain();
    void OrderKeyedRuns(std::vector<std::vector<int>>& runs, const std::vector<std::uint64_t>& starts);
    int CompareKeys(const std::uint8_t* a, const std::uint8_t* b) const;
    // The records of chain block INDEX, from a span read before or read now.
    // WIDE reads the chain blocks that follow it in the file along with it.
    const std::uint8_t* Records(std::size_t index, bool wide);
    template <typename F>
    void ForEachFieldBytes(int field, F&& callback);
    void PositionNatural();
    // The chain block that holds the record at chain position ORDINAL; the
    // blocks HINT and OTHER and those after them are looked at first.
    std::size_t BlockOfOrdinal(std::uint32_t ordinal, std::size_t hint, std::size_t other) const;
    [[noreturn]] void Fail(ErrorCode code, const QStringList& more = {}) const;
    bool MemoHeaderSound();
    struct MemoBlock {
        std::vector<std::uint8_t> bytes; // its start, as far as a BLOB in it can reach
        std::uint64_t start = 0;         // file offset; 0: none held
        std::uint64_t used = 0;          // when last used
    };
    // The memo block at BLOCKSTART, from the blocks read last or read now;
    // nullptr when the file holds too little of it.
    const MemoBlock* MemoBlockAt(std::uint64_t blockStart);
    // The bytes of a memo/BLOB field kept in the memo file, or false when
    // they cannot be found there.
    bool ResolveBlob(int field, QByteArrayView& bytes);
    // The bytes of a memo/BLOB field; false, with the loss counted, when a
    // missing memo file is read as blank or the value cannot be read.
    bool BlobBytes(int field, QByteArrayView& bytes);
    // The stored bytes of an alpha (up to its first NUL) or memo field; false
    // as BlobBytes says.
    bool TextBytes(int field, QByteArrayView& bytes);
    // Counts a value of KIND read from the current row.
    void NoteLoss(LossKind kind)
    {
        LossCount& loss = losses_[static_cast<std::size_t>(kind)];
        if (loss.count++ == 0)
            loss.firstRow = row_;
    }
    // Whether a memo/BLOB field of the current record needs the memo file.
    bool NeedsMemoFile(int field) const;

    std::unique_ptr<ByteSource> source_;
    QString name_;
    TableHeader header_;
    std::vector<FieldInfo> fields_;
    std::vector<ChainBlock> chain_;
    // While the chain is walked: blocks read in one go, whose headers the
    // next steps along the file find here (plain files only).
    std::vector<std::uint8_t> headWindow_;
    std::uint64_t headWindowStart_ = 0;
    int lastHead_ = -1;
    // The field named to the constructor to order by, -1 for none, and its
    // values in chain order as gathered while walking (emptied when the chain
    // had to be pieced together).
    int keyField_ = -1;
    std::vector<std::uint32_t> walkKeys_;
    std::uint64_t recordCount_ = 0;
    TableDamage damage_;

    QString codec_;
    std::unique_ptr<TextDecoder> decoder_;

    std::unique_ptr<ByteSource> memo_;
    QString memoName_;
    bool memoChecked_ = false;
    bool memoSound_ = false;
    bool missingMemoAsBlank_ = false;
    std::array<LossCount, kLossKinds> losses_{};
    std::vector<char> blobBuffer_;
    // The memo blocks read last: neighbouring records usually keep their
    // small memos in the same block, and a record read out of the chain's
    // order rarely shares its block with them.
    std::array<MemoBlock, 4> memoBlocks_;
    std::uint64_t memoClock_ = 0;

    // cursor
    std::vector<std::uint32_t> order_;
    bool ordered_ = false;
    std::size_t position_ = 0;  // index into order_ or the chain position
    std::size_t block_ = 0;     // natural order: chain block and record in it
    std::uint32_t inBlock_ = 0;
    // Records as read last: each span holds the records of one chain block,
    // or of several that follow each other in the file, read at once.
    struct RecordSpan {
        std::vector<std::uint8_t> bytes;
        std::uint64_t start = 0;           // file offset of bytes[0]
        std::size_t first = 0;             // chain blocks first to end - 1
        std::size_t end = 0;
        std::uint64_t used = 0;            // when last used
    };
    std::array<RecordSpan, 4> spans_;
    std::uint64_t spanClock_ = 0;
    std::size_t spanEnd_ = SIZE_MAX;     // the chain block after the span read last
    const std::uint8_t* blockRecords_ = nullptr; // natural order: the records of block_
    std::vector<std::uint8_t> single_;   // field order: a record read alone
    std::size_t nextBlock_ = SIZE_MAX;   // field order: block of the next record
    std::size_t runBlock_ = 0;           // field order: block of the last record not read alone
    const std::uint8_t* current_ = nullptr;
    std::uint64_t row_ = 0;              // the cursor's row, from 1
    bool atEnd_ = true;
};

} // namespace pdx
