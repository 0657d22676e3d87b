// The reader on damaged bytes: copies of a pxlib-written table, each spoilt in
// one place, must fail with the one error that names the damage, and never
// read outside the data.

#include "ByteSource.h"
#include "EngineFixtures.h"
#include "TableReader.h"

#include <functional>
#include <gtest/gtest.h>

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

struct Sample {
    QByteArray table;
    QByteArray memo;
    int headerSize = 0;
    int blockSize = 0;
    qsizetype BlockStart(int block) const { return headerSize + qsizetype(block - 1) * blockSize; }
};

// 400 rows of (PNr, Name, Notiz) in several blocks; every third memo is long
// enough to live in the .mb.
const Sample& TheSample()
{
    static const Sample sample = [] {
        QTemporaryDir dir;
        std::vector<pxw::Row> rows;
        for (int i = 0; i < 400; ++i)
            rows.push_back({Int(i + 1), Text("Name"),
                            i % 3 == 0 ? Text("eine Notiz, die nicht in den Vorspann passt") : Text("kurz")});
        WriteTable(dir, "probe.db", {{"PNr", 0x04, 4}, {"Name", 0x01, 10}, {"Notiz", 0x0C, 15}}, rows,
                   {.keyFields = 1});
        Sample s;
        s.table = ReadAll(dir.filePath("probe.db"));
        s.memo = ReadAll(dir.filePath("probe.mb"));
        s.headerSize = Le16(s.table, 0x02);
        s.blockSize = std::uint8_t(s.table[0x05]) * 1024;
        return s;
    }();
    return sample;
}

std::unique_ptr<pdx::TableReader> OpenReader(const QByteArray& table, const QByteArray& memo)
{
    auto reader = std::make_unique<pdx::TableReader>(std::make_unique<pdx::MemorySource>(table), "probe.db");
    if (!memo.isNull())
        reader->SetMemoSource(std::make_unique<pdx::MemorySource>(memo), "probe.mb");
    else
        reader->SetMissingMemoName("probe.mb");
    return reader;
}

// Opens the table and reads every value of every record.
std::uint64_t ReadEverything(const QByteArray& table, const QByteArray& memo)
{
    auto reader = OpenReader(table, memo);
    std::uint64_t rows = 0;
    for (reader->Rewind(); !reader->AtEnd(); reader->Advance(), ++rows)
        for (int f = 0; f < int(reader->Fields().size()); ++f)
            reader->ReadValue(f);
    return rows;
}

TEST(DamagedTable, TheSampleReadsWhole)
{
    const Sample& s = TheSample();
    ASSERT_GT(s.table.size(), s.BlockStart(3)) << "the sample should span several blocks";
    EXPECT_EQ(ReadEverything(s.table, s.memo), 400u);
}

struct DamageCase {
    const char* name;
    std::function<void(const Sample&, QByteArray& table, QByteArray& memo)> spoil;
    pdx::ErrorCode expected;
};

class DamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamageTest, FailsWithTheMatchingError)
{
    const Sample& s = TheSample();
    QByteArray table = s.table;
    QByteArray memo = s.memo;
    GetParam().spoil(s, table, memo);
    try {
        ReadEverything(table, memo);
        FAIL() << "read without an error";
    } catch (const pdx::SourceError& e) {
        EXPECT_EQ(e.Code(), GetParam().expected) << e.what();
        EXPECT_TRUE(e.Message().contains("probe.db") || e.Message().contains("probe.mb")) << e.what();
    }
}

// Offsets of the first field descriptor and of the first block's header words.
constexpr int kFieldArray = 0x78;

INSTANTIATE_TEST_SUITE_P(
    Cases, DamageTest,
    ::testing::Values(
        DamageCase{"TextFile", [](auto&, QByteArray& t, auto&) { t = "Kein Paradox, nur Text.\r\n"; },
                   pdx::ErrorCode::NotParadox},
        DamageCase{"SqliteFile",
                   [](auto&, QByteArray& t, auto&) { t.replace(0, 16, QByteArray("SQLite format 3\0", 16)); },
                   pdx::ErrorCode::SqliteFile},
        DamageCase{"CutInsideFixedHeader", [](auto&, QByteArray& t, auto&) { t.truncate(0x50); },
                   pdx::ErrorCode::NotParadox},
        DamageCase{"CutInsideFieldNames", [](auto&, QByteArray& t, auto&) { t.truncate(0x150); },
                   pdx::ErrorCode::HeaderTruncated},
        DamageCase{"BlockSizeZero", [](auto&, QByteArray& t, auto&) { t[0x05] = 0; }, pdx::ErrorCode::NotParadox},
        DamageCase{"PrimaryIndexFile", [](auto&, QByteArray& t, auto&) { t[0x04] = 1; },
                   pdx::ErrorCode::IndexFile},
        DamageCase{"RecordSizeTooLarge", [](auto&, QByteArray& t, auto&) { PutLe16(t, 0x00, 20); },
                   pdx::ErrorCode::FieldSizeMismatch},
        DamageCase{"UnknownFieldType", [](auto&, QByteArray& t, auto&) { t[kFieldArray + 2] = 0x07; },
                   pdx::ErrorCode::UnknownFieldType},
        DamageCase{"LongFieldOfSizeTwo", [](auto&, QByteArray& t, auto&) { t[kFieldArray + 1] = 2; },
                   pdx::ErrorCode::BadFieldSize},
        DamageCase{"ChainLoopsBackToFirstBlock",
                   [](const Sample& s, QByteArray& t, auto&) { PutLe16(t, s.BlockStart(2), 1); },
                   pdx::ErrorCode::ChainLoop},
        DamageCase{"ChainLoopsOnItself",
                   [](const Sample& s, QByteArray& t, auto&) { PutLe16(t, s.BlockStart(1), 1); },
                   pdx::ErrorCode::ChainLoop},
        DamageCase{"ChainPointsPastTheEnd",
                   [](const Sample& s, QByteArray& t, auto&) { PutLe16(t, s.BlockStart(1), 9999); },
                   pdx::ErrorCode::ChainPastEnd},
        DamageCase{"FirstBlockPastTheEnd", [](auto&, QByteArray& t, auto&) { PutLe16(t, 0x0E, 500); },
                   pdx::ErrorCode::ChainPastEnd},
        DamageCase{"LastBlockCut",
                   [](const Sample& s, QByteArray& t, auto&) {
                       const int last = Le16(t, 0x10);
                       t.truncate(s.BlockStart(last) + 20);
                   },
                   pdx::ErrorCode::BlockTruncated},
        DamageCase{"RecordOffsetBeyondBlock",
                   [](const Sample& s, QByteArray& t, auto&) { PutLe16(t, s.BlockStart(1) + 4, 0x7000); },
                   pdx::ErrorCode::BlockDamaged},
        DamageCase{"RecordOffsetBetweenRecords",
                   [](const Sample& s, QByteArray& t, auto&) { PutLe16(t, s.BlockStart(1) + 4, 30); },
                   pdx::ErrorCode::BlockDamaged},
        DamageCase{"MemoFileMissing", [](auto&, auto&, QByteArray& m) { m = QByteArray(); },
                   pdx::ErrorCode::MemoFileMissing},
        DamageCase{"MemoHeaderBlockOfAnotherType", [](auto&, auto&, QByteArray& m) { m[0] = 0x3D; },
                   pdx::ErrorCode::MemoFileDamaged},
        DamageCase{"MemoFileCut", [](auto&, auto&, QByteArray& m) { m.truncate(4096 + 100); },
                   pdx::ErrorCode::MemoPointerInvalid},
        DamageCase{"MemoBlockFree", [](auto&, auto&, QByteArray& m) { m[4096] = 4; },
                   pdx::ErrorCode::MemoPointerInvalid},
        DamageCase{"MemoSlotLengthWrong",
                   [](auto&, auto&, QByteArray& m) {
                       // every used slot of the first suballocated block claims one byte more
                       for (int slot = 0; slot < 64; ++slot)
                           if (m[4096 + 12 + 5 * slot] != 0)
                               m[4096 + 12 + 5 * slot + 4] = char(m[4096 + 12 + 5 * slot + 4] % 16 + 1);
                   },
                   pdx::ErrorCode::MemoPointerInvalid},
        DamageCase{"MemoSlotPointsPastItsBlock",
                   [](auto&, auto&, QByteArray& m) {
                       for (int slot = 0; slot < 64; ++slot)
                           if (m[4096 + 12 + 5 * slot] != 0)
                               m[4096 + 12 + 5 * slot] = char(0xFF);
                       m[4096 + 1] = 1; // one 4 KiB unit: offset 0xFF0 + data runs past it
                   },
                   pdx::ErrorCode::MemoPointerInvalid}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

TEST(DamagedTable, ToleratedOddities)
{
    const Sample& s = TheSample();
    // A record count in the header that disagrees with the chain: the chain wins.
    QByteArray wrongCount = s.table;
    PutLe32(wrongCount, 0x06, 7);
    EXPECT_EQ(ReadEverything(wrongCount, s.memo), 400u);
    // A version byte above 7.x reads like 7.x.
    QByteArray newer = s.table;
    newer[0x39] = 14;
    EXPECT_EQ(ReadEverything(newer, s.memo), 400u);
    // Bytes after the last block, and a whole block cut off the end of the
    // file that the chain does not use, are no damage.
    QByteArray longer = s.table + QByteArray(1500, '\x5A');
    EXPECT_EQ(ReadEverything(longer, s.memo), 400u);
    // Without the memo file, records whose memos fit their leader still read.
    auto reader = OpenReader(s.table, QByteArray());
    reader->Rewind();
    reader->Advance();
    EXPECT_EQ(reader->ReadText(2), "kurz");
}

TEST(DamagedTable, ReadFailureIsReportedNotIgnored)
{
    const Sample& s = TheSample();
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
