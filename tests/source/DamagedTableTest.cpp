// The reader on damaged bytes: copies of a pxlib-written table, each spoilt in
// one place. Damage to the block chain or to the memo file costs the rows of
// the blocks that cannot be read and the values that cannot be found, nothing
// more, and the reader says what was lost; damage to the header fails with the
// one error that names it. Nothing is ever read outside the data.

#include "ByteSource.h"
#include "EngineFixtures.h"
#include "TableReader.h"

#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace enginetest;

namespace {

// A source that fails every read reaching past a limit, while it claims its
// full size: an I/O error half-way through the file.
class FailingSource final : public pdx::ByteSource {
public:
    FailingSource(QByteArray bytes, std::uint64_t limit) : inner_(std::move(bytes)), limit_(limit) {}
    std::uint64_t Size() const override { return inner_.Size(); }
    bool ReadAt(std::uint64_t offset, void* dst, std::size_t n) override
    {
        return offset + n <= limit_ && inner_.ReadAt(offset, dst, n);
    }

private:
    pdx::MemorySource inner_;
    std::uint64_t limit_;
};

constexpr int kRows = 1000;
constexpr int kRecordSize = 4 + 10 + 15;

struct Sample {
    QByteArray table;
    QByteArray memo;
    int headerSize = 0;
    int blockSize = 0;
    int blocks = 0;      // in the chain, 1 to blocks in the file's order
    int freeBlock = 0;   // one more block after them: free, holding stale records
    qsizetype BlockStart(int block) const { return headerSize + qsizetype(block - 1) * blockSize; }
    int Middle() const { return blocks / 2; }
    // The PNr of each record of BLOCK, as stored.
    std::vector<int> KeysOf(const QByteArray& bytes, int block) const
    {
        std::vector<int> keys;
        const qsizetype start = BlockStart(block);
        const auto last = std::int16_t(Le16(bytes, start + 4));
        for (int r = 0; last >= 0 && r <= last / kRecordSize; ++r) {
            const qsizetype at = start + 6 + qsizetype(r) * kRecordSize;
            keys.push_back(int((std::uint32_t(std::uint8_t(bytes[at])) << 24 | std::uint8_t(bytes[at + 1]) << 16 |
                                std::uint8_t(bytes[at + 2]) << 8 | std::uint8_t(bytes[at + 3])) ^ 0x80000000u));
        }
        return keys;
    }
};

// The pxlib-written table of kRows rows of (PNr, Name, Notiz) in several
// blocks, every third memo long enough to live in the .mb, made keyed or
// unkeyed. A free block follows the chain, as deleting rows leaves one: a copy
// of the first block's records behind a negative record offset, on the header's
// list of free blocks.
const Sample& TheSample(bool keyed)
{
    static const auto make = [](bool withKey) {
        QTemporaryDir dir;
        std::vector<pxw::Row> rows;
        for (int i = 0; i < kRows; ++i)
            rows.push_back({Int(i + 1), Text("Name"),
                            i % 3 == 0 ? Text("eine Notiz, die nicht in den Vorspann passt") : Text("kurz")});
        WriteTable(dir, "probe.db", {{"PNr", 0x04, 4}, {"Name", 0x01, 10}, {"Notiz", 0x0C, 15}}, rows,
                   {.keyFields = withKey ? 1 : 0});
        Sample s;
        s.table = ReadAll(dir.filePath("probe.db"));
        s.memo = ReadAll(dir.filePath("probe.mb"));
        s.headerSize = Le16(s.table, 0x02);
        s.blockSize = std::uint8_t(s.table[0x05]) * 1024;
        s.blocks = Le16(s.table, 0x0A);
        s.freeBlock = s.blocks + 1;
        s.table.truncate(s.BlockStart(s.freeBlock));
        QByteArray stale = s.table.mid(s.BlockStart(1), s.blockSize);
        PutLe16(stale, 0, 0);
        PutLe16(stale, 2, 0);
        PutLe16(stale, 4, 0x10000 - kRecordSize);
        s.table += stale;
        PutLe16(s.table, 0x0C, s.freeBlock);
        PutLe16(s.table, 0x4D, s.freeBlock);
        return s;
    };
    static const Sample keyedSample = make(true);
    static const Sample unkeyedSample = make(false);
    return keyed ? keyedSample : unkeyedSample;
}

std::unique_ptr<pdx::TableReader> OpenReader(const QByteArray& table, const QByteArray& memo,
                                             const QString& orderField = QString())
{
    auto reader = std::make_unique<pdx::TableReader>(std::make_unique<pdx::MemorySource>(table), "probe.db", orderField);
    if (!memo.isNull())
        reader->SetMemoSource(std::make_unique<pdx::MemorySource>(memo), "probe.mb");
    else
        reader->SetMissingMemoName("probe.mb");
    return reader;
}

// Opens the table, reads every value of every record and gives the PNr of each row.
std::vector<int> ReadEverything(pdx::TableReader& reader)
{
    std::vector<int> keys;
    for (reader.Rewind(); !reader.AtEnd(); reader.Advance()) {
        for (int f = 0; f < int(reader.Fields().size()); ++f)
            reader.ReadValue(f);
        keys.push_back(int(reader.ReadValue(0).integer));
    }
    return keys;
}

TEST(DamagedTable, TheSampleSpansSeveralBlocks)
{
    for (const bool keyed : {true, false}) {
        const Sample& s = TheSample(keyed);
        EXPECT_GE(s.blocks, 8);
        EXPECT_EQ(s.table.size(), s.BlockStart(s.freeBlock + 1));
    }
}

struct RecoveryCase {
    const char* name;
    std::function<void(const Sample&, QByteArray& table, QByteArray& memo)> spoil;
    // The chain blocks whose rows are lost.
    std::function<std::vector<int>(const Sample&)> lost;
    // What the reader says; "%B" stands for the middle block's number.
    const char* message;  // the loss (pdx::DamageText)
    const char* note;     // a warning without loss (pdx::DamageNote)
    std::uint64_t unreadableMemos;
};

void PrintTo(const RecoveryCase& c, std::ostream* os) { *os << c.name; }

std::vector<int> None(const Sample&) { return {}; }

class RecoveryTest : public ::testing::TestWithParam<std::tuple<RecoveryCase, bool>> {};

// Every row of every sound block is read once, in key order (which, for the unkeyed sample,
// is also the order of its chain); no row of the free block comes back.
TEST_P(RecoveryTest, KeepsTheSoundRowsAndSaysWhatWasLost)
{
    const auto& [c, keyed] = GetParam();
    const Sample& s = TheSample(keyed);
    QByteArray table = s.table;
    QByteArray memo = s.memo;
    c.spoil(s, table, memo);

    std::set<int> lostKeys;
    for (const int block : c.lost(s))
        for (const int key : s.KeysOf(s.table, block))
            lostKeys.insert(key);
    std::vector<int> expected;
    for (int key = 1; key <= kRows; ++key)
        if (!lostKeys.count(key))
            expected.push_back(key);

    auto reader = OpenReader(table, memo);
    EXPECT_EQ(ReadEverything(*reader), expected);
    EXPECT_EQ(reader->RecordCount(), expected.size());
    const pdx::TableDamage& damage = reader->Damage();
    const std::uint64_t memos = reader->Losses(pdx::LossKind::UnreadableMemo).count;
    EXPECT_EQ(memos, c.unreadableMemos);
    auto fill = [&](const char* text) { return QString::fromUtf8(text).replace("%B", QString::number(s.Middle())); };
    EXPECT_EQ(pdx::DamageText("probe.db", damage, memos).toStdString(), fill(c.message).toStdString());
    EXPECT_EQ(pdx::DamageNote("probe.db", damage).toStdString(), fill(c.note).toStdString());
    EXPECT_EQ(damage.RowsLost(), !lostKeys.empty());

    // Ordered by PNr, whose values the walk gathers where the chain lets it, the same rows.
    auto ordered = OpenReader(table, memo, "PNr");
    ordered->OrderBy(0);
    EXPECT_EQ(ReadEverything(*ordered), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecoveryTest,
    ::testing::Combine(
        ::testing::Values(
            RecoveryCase{"Sound", [](auto&, auto&, auto&) {}, None, "", "", 0},
            RecoveryCase{"MiddleBlockZeroed",
                         [](const Sample& s, QByteArray& t, auto&) {
                             t.replace(s.BlockStart(s.Middle()), s.blockSize, QByteArray(s.blockSize, '\0'));
                         },
                         [](const Sample& s) { return std::vector<int>{s.Middle()}; },
                         "Die Tabelle \"probe.db\" ist beschädigt: 930 von 1.000 Zeilen gelesen; Block %B ist unlesbar.",
                         "", 0},
            RecoveryCase{"MiddleNextPointerZero",
                         [](const Sample& s, QByteArray& t, auto&) { PutLe16(t, s.BlockStart(s.Middle()), 0); }, None,
                         "",
                         "Warnung: Die Blockkette der Tabelle \"probe.db\" ist unterbrochen; alle 1.000 Zeilen "
                         "wurden dennoch gefunden.",
                         0},
            RecoveryCase{"NextPointerPastTheEnd",
                         [](const Sample& s, QByteArray& t, auto&) { PutLe16(t, s.BlockStart(s.Middle()), 9999); },
                         None, "",
                         "Warnung: Die Blockkette der Tabelle \"probe.db\" ist unterbrochen; alle 1.000 Zeilen "
                         "wurden dennoch gefunden.",
                         0},
            RecoveryCase{"LoopBackToTheFirstBlock",
                         [](const Sample& s, QByteArray& t, auto&) { PutLe16(t, s.BlockStart(s.Middle()), 1); }, None,
                         "",
                         "Warnung: Die Blockkette der Tabelle \"probe.db\" ist unterbrochen; alle 1.000 Zeilen "
                         "wurden dennoch gefunden.",
                         0},
            RecoveryCase{"BlockClaimingTooManyRecords",
                         [](const Sample& s, QByteArray& t, auto&) { PutLe16(t, s.BlockStart(s.Middle()) + 4, 0x7000); },
                         [](const Sample& s) { return std::vector<int>{s.Middle()}; },
                         "Die Tabelle \"probe.db\" ist beschädigt: 930 von 1.000 Zeilen gelesen; Block %B ist unlesbar.",
                         "", 0},
            RecoveryCase{"FileCutInsideAMiddleBlock",
                         [](const Sample& s, QByteArray& t, auto&) { t.truncate(s.BlockStart(s.Middle()) + 100); },
                         [](const Sample& s) {
                             std::vector<int> gone;
                             for (int b = s.Middle(); b <= s.blocks; ++b)
                                 gone.push_back(b);
                             return gone;
                         },
                         "Die Tabelle \"probe.db\" ist beschädigt: 420 von 1.000 Zeilen gelesen; Block %B ist unlesbar.",
                         "", 0},
            RecoveryCase{"MemoFileCutToHalf", [](auto&, auto&, QByteArray& m) { m.truncate(m.size() / 2); }, None,
                         "Die Tabelle \"probe.db\" ist beschädigt: 171 Memo-/BLOB-Werte sind unlesbar.", "", 171},
            RecoveryCase{"MemoFileHeaderWrong", [](auto&, auto&, QByteArray& m) { m[0] = 0x3D; }, None,
                         "Die Tabelle \"probe.db\" ist beschädigt: 334 Memo-/BLOB-Werte sind unlesbar.", "", 334},
            RecoveryCase{"MemoBlockFree", [](auto&, auto&, QByteArray& m) { m[4096] = 4; }, None,
                         "Die Tabelle \"probe.db\" ist beschädigt: 64 Memo-/BLOB-Werte sind unlesbar.", "", 64},
            RecoveryCase{"HeaderRowCountWrong", [](auto&, QByteArray& t, auto&) { PutLe32(t, 0x06, 7); }, None, "",
                         "Warnung: Der Dateikopf der Tabelle \"probe.db\" nennt 7 Zeilen, die Blockkette enthält 1.000.",
                         0},
            RecoveryCase{"FirstBlockZeroed",
                         [](const Sample& s, QByteArray& t, auto&) {
                             t.replace(s.BlockStart(1), s.blockSize, QByteArray(s.blockSize, '\0'));
                         },
                         [](const Sample&) { return std::vector<int>{1}; },
                         "Die Tabelle \"probe.db\" ist beschädigt: 930 von 1.000 Zeilen gelesen; Block 1 ist unlesbar.",
                         "", 0},
            RecoveryCase{"FirstBlockPointerPastTheEnd", [](auto&, QByteArray& t, auto&) { PutLe16(t, 0x0E, 500); },
                         None, "",
                         "Warnung: Die Blockkette der Tabelle \"probe.db\" ist unterbrochen; alle 1.000 Zeilen "
                         "wurden dennoch gefunden.",
                         0},
            RecoveryCase{"LastBlockBetweenRecords",
                         [](const Sample& s, QByteArray& t, auto&) { PutLe16(t, s.BlockStart(s.blocks) + 4, 30); },
                         [](const Sample& s) { return std::vector<int>{s.blocks}; },
                         "Die Tabelle \"probe.db\" ist beschädigt: 980 von 1.000 Zeilen gelesen; Block 15 ist "
                         "unlesbar.",
                         "", 0}),
        ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<RecoveryCase, bool>>& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_Keyed" : "_Unkeyed");
    });

// Blocks of a keyed table need not lie in key order: block 3's records moved to block 12 and
// block 12's to block 3, links mended. With blocks 2 and 11 zeroed, the rest of the chain is two
// runs, the one further back in the file holding the smaller keys: a keyed table puts them in
// key order, an unkeyed one, which has no key to go by, in the order of the file.
TEST(DamagedTable, RunsOfAKeyedTableGoInKeyOrder)
{
    for (const bool keyed : {true, false}) {
        SCOPED_TRACE(keyed ? "keyed" : "unkeyed");
        const Sample& s = TheSample(keyed);
        QByteArray t = s.table;
        const QByteArray third = t.mid(s.BlockStart(3), s.blockSize);
        t.replace(s.BlockStart(3), s.blockSize, t.mid(s.BlockStart(12), s.blockSize));
        t.replace(s.BlockStart(12), s.blockSize, third);
        PutLe16(t, s.BlockStart(2), 12);
        PutLe16(t, s.BlockStart(4) + 2, 12);
        PutLe16(t, s.BlockStart(11), 3);
        PutLe16(t, s.BlockStart(13) + 2, 3);
        ASSERT_EQ(ReadEverything(*OpenReader(t, s.memo)).size(), std::size_t(kRows)) << "mended soundly";
        for (const int block : {2, 11})
            t.replace(s.BlockStart(block), s.blockSize, QByteArray(s.blockSize, '\0'));

        // Keys by the sound sample's blocks: 1, then 3 to 10 (the run from block 12 on), then
        // 12 to 15 (the run from block 3 on).
        auto keysOf = [&](std::initializer_list<int> blocks) {
            std::vector<int> keys;
            for (const int block : blocks)
                for (const int key : s.KeysOf(s.table, block))
                    keys.push_back(key);
            return keys;
        };
        const std::vector<int> first = keysOf({1}), low = keysOf({3, 4, 5, 6, 7, 8, 9, 10}), high = keysOf({12, 13, 14, 15});
        std::vector<int> expected = first;
        expected.insert(expected.end(), (keyed ? low : high).begin(), (keyed ? low : high).end());
        expected.insert(expected.end(), (keyed ? high : low).begin(), (keyed ? high : low).end());
        auto reader = OpenReader(t, s.memo);
        EXPECT_EQ(ReadEverything(*reader), expected);
        EXPECT_EQ(reader->Damage().unreadableBlocks, (std::vector<int>{2, 11}));
    }
}

struct FailureCase {
    const char* name;
    std::function<void(QByteArray& table, QByteArray& memo)> spoil;
    pdx::ErrorCode expected;
};

class FailureTest : public ::testing::TestWithParam<FailureCase> {};

// Damage to the header leaves nothing to read by: the table fails with the error that names it.
TEST_P(FailureTest, FailsWithTheMatchingError)
{
    const Sample& s = TheSample(true);
    QByteArray table = s.table;
    QByteArray memo = s.memo;
    GetParam().spoil(table, memo);
    try {
        auto reader = OpenReader(table, memo);
        ReadEverything(*reader);
        FAIL() << "read without an error";
    } catch (const pdx::SourceError& e) {
        EXPECT_EQ(e.Code(), GetParam().expected) << e.what();
        EXPECT_TRUE(e.Message().contains("probe.db") || e.Message().contains("probe.mb")) << e.what();
    }
}

// Offset of the first field descriptor.
constexpr int kFieldArray = 0x78;

INSTANTIATE_TEST_SUITE_P(
    Cases, FailureTest,
    ::testing::Values(
        FailureCase{"TextFile", [](QByteArray& t, auto&) { t = "Kein Paradox, nur Text.\r\n"; },
                    pdx::ErrorCode::NotParadox},
        FailureCase{"SqliteFile", [](QByteArray& t, auto&) { t.replace(0, 16, QByteArray("SQLite format 3\0", 16)); },
                    pdx::ErrorCode::SqliteFile},
        FailureCase{"CutInsideFixedHeader", [](QByteArray& t, auto&) { t.truncate(0x50); }, pdx::ErrorCode::NotParadox},
        FailureCase{"CutInsideFieldNames", [](QByteArray& t, auto&) { t.truncate(0x150); },
                    pdx::ErrorCode::HeaderTruncated},
        FailureCase{"BlockSizeZero", [](QByteArray& t, auto&) { t[0x05] = 0; }, pdx::ErrorCode::NotParadox},
        FailureCase{"PrimaryIndexFile", [](QByteArray& t, auto&) { t[0x04] = 1; }, pdx::ErrorCode::IndexFile},
        FailureCase{"RecordSizeTooLarge", [](QByteArray& t, auto&) { PutLe16(t, 0x00, 20); },
                    pdx::ErrorCode::FieldSizeMismatch},
        FailureCase{"UnknownFieldType", [](QByteArray& t, auto&) { t[kFieldArray + 2] = 0x07; },
                    pdx::ErrorCode::UnknownFieldType},
        FailureCase{"LongFieldOfSizeTwo", [](QByteArray& t, auto&) { t[kFieldArray + 1] = 2; },
                    pdx::ErrorCode::BadFieldSize},
        FailureCase{"MemoFileMissing", [](auto&, QByteArray& m) { m = QByteArray(); },
                    pdx::ErrorCode::MemoFileMissing}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(DamagedTable, ToleratedOddities)
{
    const Sample& s = TheSample(true);
    // A version byte above 7.x reads like 7.x.
    QByteArray newer = s.table;
    newer[0x39] = 14;
    EXPECT_EQ(ReadEverything(*OpenReader(newer, s.memo)).size(), std::size_t(kRows));
    // Bytes after the last block, and a free block cut off the end of the file, are no damage.
    for (const QByteArray& odd : {s.table + QByteArray(1500, '\x5A'), s.table.left(s.BlockStart(s.freeBlock) + 20)}) {
        auto reader = OpenReader(odd, s.memo);
        EXPECT_EQ(ReadEverything(*reader).size(), std::size_t(kRows));
        EXPECT_FALSE(reader->Damage().RowsLost());
        EXPECT_TRUE(pdx::DamageNote("probe.db", reader->Damage()).isEmpty());
    }
    // Without the memo file, records whose memos fit their leader still read.
    auto reader = OpenReader(s.table, QByteArray());
    reader->Rewind();
    reader->Advance();
    EXPECT_EQ(reader->ReadText(2), "kurz");
    // Read as blank, a missing memo file costs only the values kept in it.
    reader->SetMissingMemoAsBlank(true);
    EXPECT_EQ(ReadEverything(*reader).size(), std::size_t(kRows));
    EXPECT_EQ(reader->Losses(pdx::LossKind::MissingMemo).count, 334u);
}

TEST(DamagedTable, ReadFailureIsReportedNotIgnored)
{
    const Sample& s = TheSample(true);
    for (const std::uint64_t limit : {std::uint64_t(0x40), std::uint64_t(s.BlockStart(2) + 3)}) {
        try {
            pdx::TableReader reader(std::make_unique<FailingSource>(s.table, limit), "probe.db");
            for (reader.Rewind(); !reader.AtEnd(); reader.Advance()) {
            }
            ADD_FAILURE() << "no error at limit " << limit;
        } catch (const pdx::SourceError& e) {
            EXPECT_EQ(e.Code(), pdx::ErrorCode::FileReadFailed);
        }
    }
}

} // namespace
