// Password-protected tables, written by pxlib (whose cipher is an independent
// implementation of Paradox's scrambling): they read exactly as the same tables
// written without a password, by every path the reader takes, and damage to
// them acts as the same damage to a plain table does.

#include "ByteSource.h"
#include "EngineFixtures.h"
#include "Scramble.h"
#include "SourceTable.h"
#include "TableReader.h"
#include "ValueText.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>

using namespace enginetest;

namespace {

constexpr char kPassword[] = "Plattenschrank";

// Every value of every row, a JSON line per row, in the table's own order or ordered by a field.
std::vector<std::string> Rows(const QString& dir, const QString& file, const QString& order = {})
{
    pdx::SourceTable table;
    table.Open(dir, file, order);
    std::vector<std::string> rows;
    for (table.First(); !table.Eof(); table.Next()) {
        std::string row;
        for (int f = 0; f < int(table.Fields().size()); ++f) {
            row += f ? "," : "";
            pdx::AppendJsonValue(row, table.Read(f));
        }
        rows.push_back(row);
    }
    return rows;
}

const std::vector<pxw::Field> kFields{{"Nr", 0x04, 4}, {"Name", 0x01, 20}, {"Betrag", 0x06, 8}, {"Notiz", 0x0C, 15}};

// Nr ascending; names in another order; memos in the leader, in suballocated blocks of the
// memo file, and (every fiftieth) long enough for a block of their own.
std::vector<pxw::Row> SampleRows(bool memos = true)
{
    std::vector<pxw::Row> rows;
    for (int i = 0; i < 700; ++i) {
        pxw::Value memo = Null();
        if (memos && i % 50 == 0)
            memo = std::string(3000 + i, char('a' + i % 26));
        else if (memos && i % 3 == 0)
            memo = "Notiz " + std::to_string(i) + ": Aufnahme im Großen Saal, zweite Pressung";
        else if (memos && i % 3 == 1)
            memo = std::string("kurz");
        pxw::Row row{Int(i + 1), "Künstler " + std::to_string((i * 7919) % 701), Real(i * 0.25 - 40), memo};
        if (!memos)
            row.pop_back();
        rows.push_back(row);
    }
    return rows;
}

bool LooksPlainMemo(const QByteArray& memo) { return memo.startsWith(QByteArray("\0\1\0", 3)); }

struct ProtectedCase {
    const char* name;
    int keyFields;
    bool plainMemoFile; // pxlib's own way; Paradox scrambles the memo file too
};

class ProtectedTableTest : public ::testing::TestWithParam<ProtectedCase> {};

TEST_P(ProtectedTableTest, ReadsAsTheSameTableWithoutPassword)
{
    const ProtectedCase& c = GetParam();
    QTemporaryDir dir;
    WriteTable(dir, "offen.db", kFields, SampleRows(), {.keyFields = c.keyFields});
    WriteTable(dir, "geschuetzt.db", kFields, SampleRows(),
               {.keyFields = c.keyFields, .password = kPassword, .plainMemoFile = c.plainMemoFile});

    const QByteArray plain = ReadAll(dir.filePath("offen.db"));
    const QByteArray locked = ReadAll(dir.filePath("geschuetzt.db"));
    ASSERT_NE(KeyOf(locked), 0u);
    const int headerSize = Le16(locked, 0x02);
    ASSERT_GT(locked.size(), headerSize + 3 * std::uint8_t(locked[0x05]) * 1024) << "several blocks";
    ASSERT_NE(locked.mid(headerSize), plain.mid(headerSize)) << "the blocks are scrambled";
    EXPECT_EQ(LooksPlainMemo(ReadAll(dir.filePath("geschuetzt.mb"))), c.plainMemoFile);

    pdx::SourceTable table;
    table.Open(dir.path(), "geschuetzt.db");
    EXPECT_NE(table.Header().encryptionKey, 0u);
    EXPECT_EQ(table.KeyFieldCount(), c.keyFields);
    // The table's order reads block by block; an order by another field reads record by
    // record, each from wherever it lies in its block.
    for (const QString order : {"", "Name", "Betrag"}) {
        SCOPED_TRACE(order.toStdString());
        const std::vector<std::string> expected = Rows(dir.path(), "offen.db", order);
        ASSERT_EQ(expected.size(), 700u);
        EXPECT_EQ(Rows(dir.path(), "geschuetzt.db", order), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ProtectedTableTest,
                         ::testing::Values(ProtectedCase{"Unkeyed", 0, false}, ProtectedCase{"Keyed", 1, false},
                                           ProtectedCase{"MemoFileLeftPlain", 0, true}),
                         [](const ::testing::TestParamInfo<ProtectedCase>& info) { return std::string(info.param.name); });

// Reads of any length from anywhere (inside a chunk, across chunks and blocks, from the
// plain header into the blocks) give the bytes pxlib unscrambles.
TEST(ProtectedTable, ReadsFromAnywhereMatchTheUnscrambledFile)
{
    QTemporaryDir dir;
    const std::vector<pxw::Field> fields(kFields.begin(), kFields.end() - 1);
    WriteTable(dir, "geschuetzt.db", fields, SampleRows(false), {.password = kPassword});
    const QByteArray locked = ReadAll(dir.filePath("geschuetzt.db"));
    const QByteArray plain = Unscrambled(locked);
    const std::uint32_t key = KeyOf(locked);
    const int headerSize = Le16(locked, 0x02);
    const int blockSize = std::uint8_t(locked[0x05]) * 1024;
    auto source = pdx::UnscramblingSource::ForBlocks(std::make_unique<pdx::MemorySource>(locked), key,
                                                     std::uint64_t(headerSize), blockSize);
    const auto size = std::uint64_t(locked.size());

    std::mt19937 random(2024);
    QByteArray got;
    for (int i = 0; i < 3000; ++i) {
        const std::uint64_t offset = random() % size;
        const std::uint64_t n = random() % std::min<std::uint64_t>(size - offset + 1, 3 * std::uint64_t(blockSize));
        got.resize(qsizetype(n));
        ASSERT_TRUE(source->ReadAt(offset, got.data(), std::size_t(n)));
        ASSERT_EQ(got, plain.mid(qsizetype(offset), qsizetype(n))) << "offset " << offset << ", " << n << " bytes";
    }
    got.resize(locked.size());
    ASSERT_TRUE(source->ReadAt(0, got.data(), std::size_t(size)));
    EXPECT_EQ(got, plain);
    EXPECT_FALSE(source->ReadAt(size - 10, got.data(), 11));
    EXPECT_TRUE(source->ReadAt(size, got.data(), 0));
}

// What reading a table and its memo file ends in: every row, or the error.
std::string Outcome(const QByteArray& table, const QByteArray& memo)
{
    try {
        pdx::TableReader reader(std::make_unique<pdx::MemorySource>(table), "probe.db");
        reader.SetMemoSource(std::make_unique<pdx::MemorySource>(memo), "probe.mb");
        std::string rows;
        for (reader.Rewind(); !reader.AtEnd(); reader.Advance()) {
            for (int f = 0; f < int(reader.Fields().size()); ++f) {
                rows += f ? "," : "";
                pdx::AppendJsonValue(rows, reader.ReadValue(f));
            }
            rows += '\n';
        }
        for (int kind = 0; kind < pdx::kLossKinds; ++kind)
            rows += std::to_string(reader.Losses(pdx::LossKind(kind)).count) + ' ';
        return rows;
    } catch (const pdx::SourceError& e) {
        return std::string("error: ") + e.what();
    }
}

struct Damage {
    const char* name;
    // Spoils the plain bytes of the table; blockStart(n) is where block n begins.
    std::function<void(QByteArray& table, const std::function<qsizetype(int)>& blockStart)> spoil;
    bool stored = false; // it hits the stored bytes (a cut), not what they mean
};

class ProtectedDamageTest : public ::testing::TestWithParam<Damage> {};

// The same damage to the bytes as they are meant, in a plain and in a protected copy,
// ends the same way: the scrambling sits below every check of the reader.
TEST_P(ProtectedDamageTest, EndsAsOnThePlainTable)
{
    QTemporaryDir dir;
    WriteTable(dir, "offen.db", kFields, SampleRows());
    WriteTable(dir, "geschuetzt.db", kFields, SampleRows(), {.password = kPassword});
    QByteArray plain = ReadAll(dir.filePath("offen.db"));
    const QByteArray locked = ReadAll(dir.filePath("geschuetzt.db"));
    const std::uint32_t key = KeyOf(locked);
    const auto blockStart = [&](int n) {
        return qsizetype(Le16(plain, 0x02)) + qsizetype(n - 1) * std::uint8_t(plain[0x05]) * 1024;
    };

    QByteArray spoilt = Unscrambled(locked);
    GetParam().spoil(plain, blockStart);
    if (GetParam().stored) {
        spoilt = locked;
        GetParam().spoil(spoilt, blockStart);
    } else {
        GetParam().spoil(spoilt, blockStart);
        spoilt = Protected(spoilt, key);
    }
    const std::string expected = Outcome(plain, ReadAll(dir.filePath("offen.mb")));
    EXPECT_EQ(Outcome(spoilt, ReadAll(dir.filePath("geschuetzt.mb"))), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProtectedDamageTest,
    ::testing::Values(
        Damage{"ChainLoopsBack", [](QByteArray& t, auto& block) { PutLe16(t, block(2), 1); }},
        Damage{"ChainPointsPastTheEnd", [](QByteArray& t, auto& block) { PutLe16(t, block(1), 9999); }},
        Damage{"RecordOffsetBeyondBlock", [](QByteArray& t, auto& block) { PutLe16(t, block(2) + 4, 0x7000); }},
        // at a chunk's end: a chunk cut short is one destroyed, in the protected copy only
        Damage{"LastBlockCut", [](QByteArray& t, auto& block) { t.truncate(block(Le16(t, 0x10)) + 512); }, true},
        Damage{"MemoPointerPastTheMemoFile",
               // the first record's memo (long, in the memo file): Nr 4, Name 20, Betrag 8, leader 5
               [](QByteArray& t, auto& block) { PutLe32(t, block(1) + 6 + 37, 0x7FFFFF00u); }},
        Damage{"GarbageInRecords", [](QByteArray& t, auto& block) { t.replace(block(2) + 100, 40, QByteArray(40, '\xEE')); }}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

// A chunk of a protected table that is destroyed (zeros, as from a bad sector) garbles
// only the records that have bytes in it; the rest of its block reads as before.
TEST(ProtectedTable, ADestroyedChunkGarblesOnlyItself)
{
    QTemporaryDir dir;
    const std::vector<pxw::Field> fields(kFields.begin(), kFields.end() - 1);
    WriteTable(dir, "offen.db", fields, SampleRows(false));
    WriteTable(dir, "geschuetzt.db", fields, SampleRows(false), {.password = kPassword});
    QByteArray locked = ReadAll(dir.filePath("geschuetzt.db"));
    const QByteArray plain = ReadAll(dir.filePath("offen.db"));
    const int headerSize = Le16(plain, 0x02);
    const int blockSize = std::uint8_t(plain[0x05]) * 1024;
    const int recordSize = Le16(plain, 0x00);
    // pxlib chains its blocks in file order, each full: block 2 holds the rows after block 1's.
    ASSERT_EQ(Le16(plain, headerSize), 2);
    const int perBlock = std::int16_t(Le16(plain, headerSize + 4)) / recordSize + 1;
    constexpr int kChunk = 3;
    const qsizetype chunkStart = headerSize + blockSize + kChunk * 256;
    locked.replace(chunkStart, 256, QByteArray(256, '\0'));
    WriteAll(dir.filePath("geschuetzt.db"), locked);

    const std::vector<std::string> expected = Rows(dir.path(), "offen.db");
    const std::vector<std::string> got = Rows(dir.path(), "geschuetzt.db");
    ASSERT_EQ(got.size(), expected.size());
    int garbled = 0;
    for (std::size_t r = 0; r < got.size(); ++r) {
        const qsizetype start = r >= std::size_t(perBlock) && r < std::size_t(2 * perBlock)
                                    ? headerSize + blockSize + 6 + qsizetype(r - perBlock) * recordSize
                                    : -1;
        const bool inChunk = start >= 0 && start < chunkStart + 256 && start + recordSize > chunkStart;
        if (inChunk)
            garbled += got[r] != expected[r];
        else
            EXPECT_EQ(got[r], expected[r]) << "row " << r;
    }
    EXPECT_GT(garbled, 0);
}

} // namespace
