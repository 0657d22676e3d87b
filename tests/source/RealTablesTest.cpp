// Every real table in the shared fixtures folder either reads whole or fails
// with its German message; record counts match the folder's MANIFEST and
// values match what the tables' publishers expect.

#include "ByteSource.h"
#include "SourceTable.h"
#include "TableReader.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

const QString kRoot = QStringLiteral(KK_PARADOX_FIXTURES);

#define REQUIRE_FIXTURES()                                                                   \
    if (!QDir(kRoot).exists())                                                               \
    GTEST_SKIP() << "no real Paradox tables: " << kRoot.toStdString() << " does not exist"

QString Fixture(const char* relative) { return kRoot + u'/' + QString::fromUtf8(relative); }

// "path -> records found along the chain", from the MANIFEST's tables; for the
// password-protected ones, which it did not walk, the count their header claims.
std::map<QString, int> ManifestChainCounts()
{
    std::map<QString, int> counts;
    QFile file(kRoot + "/MANIFEST.md");
    if (!file.open(QIODevice::ReadOnly))
        return counts;
    QString section;
    const QRegularExpression heading(QStringLiteral("^## (\\S+)/(\\S+)"));
    const QRegularExpression row(QStringLiteral("^\\| (\\S+) \\| \\d+ \\|[^|]*\\|[^|]*\\|[^|]*\\| (\\d+) / (\\d+) \\|"));
    const QRegularExpression protectedRow(
        QStringLiteral("^\\| (\\S+) \\| \\d+ \\|[^|]*\\|[^|]*\\|[^|]*\\| (\\d+) / - \\|([^|]*\\|){3} yes \\|"));
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (auto m = heading.match(line); m.hasMatch())
            section = m.captured(1) + "__" + m.captured(2);
        else if (auto r = row.match(line); r.hasMatch())
            counts[section + u'/' + r.captured(1)] = r.captured(3).toInt();
        else if (auto p = protectedRow.match(line); p.hasMatch())
            counts[section + u'/' + p.captured(1)] = p.captured(2).toInt();
    }
    return counts;
}

// Tables that cannot be read, and the error each must report.
const std::map<QString, pdx::ErrorCode>& ExpectedFailures()
{
    static const std::map<QString, pdx::ErrorCode> failures{
        {"not-a.DB", pdx::ErrorCode::NotParadox},
        {"MEMBRE.DB", pdx::ErrorCode::MemoFileMissing}, // its .MB was not published
    };
    return failures;
}

TEST(RealTables, EveryTableReadsOrFailsWithItsMessage)
{
    REQUIRE_FIXTURES();
    const auto counts = ManifestChainCounts();
    ASSERT_FALSE(counts.empty()) << "MANIFEST.md lists no tables";
    int tables = 0;
    QDirIterator it(kRoot, {"*.db"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(kRoot).relativeFilePath(path);
        const QString name = it.fileName();
        SCOPED_TRACE(relative.toStdString());
        ++tables;
        pdx::SourceTable table;
        std::uint64_t rows = 0;
        try {
            table.Open(it.fileInfo().path(), name);
            const int fields = int(table.Fields().size());
            for (table.First(); !table.Eof(); table.Next(), ++rows)
                for (int f = 0; f < fields; ++f)
                    table.Read(f);
            EXPECT_EQ(ExpectedFailures().count(name), 0u) << "read, but should fail";
            if (auto c = counts.find(relative); c != counts.end())
                EXPECT_EQ(rows, std::uint64_t(c->second));
            else
                ADD_FAILURE() << "not in MANIFEST.md";
        } catch (const pdx::SourceError& e) {
            const auto expected = ExpectedFailures().find(name);
            if (expected == ExpectedFailures().end()) {
                ADD_FAILURE() << "fails: " << e.what();
                continue;
            }
            EXPECT_EQ(e.Code(), expected->second) << e.what();
            EXPECT_TRUE(e.Message().contains(name)) << e.what();
        }
    }
    EXPECT_GT(tables, 100);
}

TEST(RealTables, CollDbMatchesThePublishedJson)
{
    REQUIRE_FIXTURES();
    const QString dir = Fixture("bio-guoda__preston/preston-paradox/src/test/resources/bio/guoda/preston/paradox");
    QFile json(dir + "/COLL.DB.json");
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = json.readAll().trimmed().split('\n');

    pdx::SourceTable table;
    table.Open(dir, "COLL.DB");
    table.First();
    int row = 0;
    for (const QByteArray& line : lines) {
        const QJsonObject expected = QJsonDocument::fromJson(line).object();
        ASSERT_FALSE(table.Eof()) << "table ends at row " << row;
        EXPECT_EQ(table.AsString("Acronym"), expected["Acronym"].toString()) << row;
        EXPECT_EQ(table.AsString("Depository"), expected["Depository"].toString()) << row;
        table.Next();
        ++row;
    }
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(row, 358);
}

struct KnownValue {
    const char* table;
    int row;
    const char* field;
    const char* text; // AsString; nullptr: the field is blank
};

TEST(RealTables, KnownValues)
{
    REQUIRE_FIXTURES();
    const KnownValue values[] = {
        {"leonhad__paradoxdriver/src/test/resources/fields/bcd.db", 0, "A", "1.23"},
        {"leonhad__paradoxdriver/src/test/resources/fields/bcd.db", 1, "A", "-1.23"},
        {"leonhad__paradoxdriver/src/test/resources/fields/bcd.db", 2, "B", nullptr},
        {"leonhad__paradoxdriver/src/test/resources/fields/timestamp.db", 1, "Timestamp", "2020-02-01T01:00:01.000"},
        {"leonhad__paradoxdriver/src/test/resources/fields/date7.db", 0, "DATE", "2018-01-01"},
        {"leonhad__paradoxdriver/src/test/resources/fields/date7.db", 0, "TIME", "10:00:00.000"},
        {"leonhad__paradoxdriver/src/test/resources/fields/date4.db", 0, "DATE", "2018-01-01"},
        {"leonhad__paradoxdriver/src/test/resources/fields/date35.db", 0, "DATE", "2018-01-01"},
        {"leonhad__paradoxdriver/src/test/resources/fields/logical.db", 1, "BOOL", "False"},
        {"leonhad__paradoxdriver/src/test/resources/db/DECIMAL.DB", 0, "DECIMAL", "-200"},
        {"leonhad__paradoxdriver/src/test/resources/fields/memo.db", 1, "MEMO", "01234567890\n"},
        {"leonhad__paradoxdriver/src/test/resources/db/AREACODES.DB", -1, "Cities", "San José"},
        // version 3.5 with only the sort-order byte of the Cyrillic driver, and its 4.x copy
        {"celebithil__Rparadox/inst/extdata/of.db", 0, "", "АП-Т УЗТ-ПЕРЕНОСНОЙ"},
        {"celebithil__Rparadox/inst/extdata/of_cp866.db", 0, "", "АП-Т УЗТ-ПЕРЕНОСНОЙ"},
        {"teverett__paradoxReader/src/test/resources/examples/MTDEMO/FILMS.DB", 0, "", nullptr},
    };
    for (const KnownValue& v : values) {
        SCOPED_TRACE(std::string(v.table) + " " + v.field);
        const QString path = Fixture(v.table);
        pdx::SourceTable table;
        table.Open(QFileInfo(path).path(), QFileInfo(path).fileName());
        if (QByteArray(v.field).isEmpty()) {
            // field 3 of "of", or just that the table opens and has rows
            table.First();
            ASSERT_FALSE(table.Eof());
            if (v.text) {
                EXPECT_EQ(table.AsString(3), QString::fromUtf8(v.text));
            }
            continue;
        }
        table.First();
        if (v.row < 0) {
            // anywhere in the table
            bool found = false;
            const int field = table.FieldIndex(v.field);
            for (; !table.Eof() && !found; table.Next())
                found = table.AsString(field).contains(QString::fromUtf8(v.text));
            EXPECT_TRUE(found);
            continue;
        }
        for (int r = 0; r < v.row; ++r)
            table.Next();
        ASSERT_FALSE(table.Eof());
        const pdx::Value value = table.Read(table.FieldIndex(v.field));
        if (!v.text) {
            EXPECT_EQ(value.kind, pdx::Value::Kind::Blank);
        } else {
            EXPECT_EQ(table.AsString(v.field), QString::fromUtf8(v.text));
        }
    }
}

// The three password-protected samples (5.x, 3.5, and 4.x with a memo file)
// read without their password, with the values their publisher expects.
TEST(RealTables, ProtectedTablesReadWithoutTheirPassword)
{
    REQUIRE_FIXTURES();
    const QString dir = Fixture("leonhad__paradoxdriver/src/test/resources/encrypt");
    struct Expected {
        const char* table;
        std::vector<std::string> fields; // name and type letter
        std::vector<std::vector<std::string>> rows; // AsString of each field
    };
    const Expected cases[] = {
        {"encrypted.db", {"Id +", "Text A"}, {{"1", "Value 1"}, {"2", "Value 2"}, {"3", "Value 3"}, {"4", "Last one"}}},
        {"encrypted35.db", {"A N", "B A"}, {{"1", "Test 1"}, {"2", "Test2"}}},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.table);
        pdx::SourceTable table;
        table.Open(dir, c.table);
        EXPECT_NE(table.Header().encryptionKey, 0u);
        std::vector<std::string> fields;
        for (const pdx::FieldInfo& f : table.Fields())
            fields.push_back(f.name.toStdString() + ' ' + pdx::TypeLetter(f.type));
        EXPECT_EQ(fields, c.fields);
        std::vector<std::vector<std::string>> rows;
        for (table.First(); !table.Eof(); table.Next()) {
            rows.emplace_back();
            for (int f = 0; f < int(fields.size()); ++f)
                rows.back().push_back(table.AsString(f).toStdString());
        }
        EXPECT_EQ(rows, c.rows);
    }

    // Its memo file is scrambled as a whole, its header block included.
    pdx::SourceTable memo;
    memo.Open(dir, "encryptedmemo.db");
    ASSERT_EQ(memo.Fields().size(), 1u);
    EXPECT_EQ(memo.Fields()[0].name, "TEXT");
    QStringList texts;
    for (memo.First(); !memo.Eof(); memo.Next())
        texts << memo.AsString(0);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith(" The PARADOX File Structure")) << texts[0].left(80).toStdString();
    for (const QString& text : texts) {
        EXPECT_GT(text.size(), 1000);
        // English text: nothing outside printable ASCII but line ends and tabs.
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](QChar ch) {
            return (ch >= u' ' && ch <= u'~') || ch == u'\n' || ch == u'\r' || ch == u'\t';
        })) << text.left(200).toStdString();
    }
}

TEST(RealTables, GraphicValueIsTheStoredBlobWithItsPrefix)
{
    REQUIRE_FIXTURES();
    pdx::SourceTable table;
    table.Open(Fixture("celebithil__Rparadox/inst/extdata"), "biolife.db");
    const int graphic = table.FieldIndex("Graphic");
    int rows = 0;
    for (table.First(); !table.Eof(); table.Next(), ++rows) {
        const pdx::Value v = table.Read(graphic);
        ASSERT_EQ(v.kind, pdx::Value::Kind::Bytes);
        ASSERT_GT(v.bytes.size(), 10);
        EXPECT_EQ(v.bytes.left(4), QByteArray("\x01\x00\x00\x01", 4));
        EXPECT_EQ(v.bytes.mid(8, 2), "BM");
        const auto rest = std::uint32_t(std::uint8_t(v.bytes[4])) | std::uint32_t(std::uint8_t(v.bytes[5])) << 8 |
                          std::uint32_t(std::uint8_t(v.bytes[6])) << 16 | std::uint32_t(std::uint8_t(v.bytes[7])) << 24;
        EXPECT_EQ(rest, std::uint32_t(v.bytes.size() - 8));
    }
    EXPECT_EQ(rows, 28);
}

// Real tables spoilt in memory: the unkeyed COLL.DB, whose chain wanders through the file
// (1, 40, 2, 38, ...), and the keyed ZIPCODES.DB of 686 blocks. A zeroed block costs its own
// rows, a next word of 0 costs none; the rest comes in the order it had.
TEST(RealTables, DamagedCopiesKeepTheRowsOfTheirSoundBlocks)
{
    REQUIRE_FIXTURES();
    struct Case {
        const char* table;
        int block;         // the block spoilt
        bool zeroed;       // else its next word is set to 0
        std::uint64_t lost;
        const char* message;
    };
    const Case cases[] = {
        {"bio-guoda__preston/preston-paradox/src/test/resources/bio/guoda/preston/paradox/COLL.DB", 22, true, 7,
         "Die Tabelle \"COLL.DB\" ist beschädigt: 351 von 358 Zeilen gelesen; Block 22 ist unlesbar."},
        {"bio-guoda__preston/preston-paradox/src/test/resources/bio/guoda/preston/paradox/COLL.DB", 38, false, 0, ""},
        {"leonhad__paradoxdriver/src/test/resources/areas/ZIPCODES.DB", 300, true, 63,
         "Die Tabelle \"ZIPCODES.DB\" ist beschädigt: 43.122 von 43.185 Zeilen gelesen; Block 300 ist unlesbar."},
        {"leonhad__paradoxdriver/src/test/resources/areas/ZIPCODES.DB", 5, false, 0, ""},
    };
    // Every record as its bytes, in the order read.
    auto records = [](pdx::TableReader& reader) {
        std::vector<QByteArray> rows;
        const int size = reader.Header().recordSize;
        for (reader.Rewind(); !reader.AtEnd(); reader.Advance())
            rows.emplace_back(reinterpret_cast<const char*>(reader.Current()), size);
        return rows;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.table) + " block " + std::to_string(c.block));
        QFile file(Fixture(c.table));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray sound = file.readAll();
        const QString name = QFileInfo(file.fileName()).fileName();
        pdx::TableReader whole(std::make_unique<pdx::MemorySource>(sound), name);
        const std::vector<QByteArray> all = records(whole);

        QByteArray spoilt = sound;
        const int blockSize = std::uint8_t(sound[0x05]) * 1024;
        const qsizetype start = (std::uint8_t(sound[0x02]) | std::uint8_t(sound[0x03]) << 8) + qsizetype(c.block - 1) * blockSize;
        std::vector<QByteArray> expected;
        if (c.zeroed) {
            const int last = std::int16_t(std::uint8_t(sound[start + 4]) | std::uint8_t(sound[start + 5]) << 8);
            const int count = last / whole.Header().recordSize + 1;
            const QByteArray first(sound.constData() + start + 6, whole.Header().recordSize);
            spoilt.replace(start, blockSize, QByteArray(blockSize, '\0'));
            const auto at = std::find(all.begin(), all.end(), first) - all.begin();
            expected = all;
            expected.erase(expected.begin() + at, expected.begin() + at + count);
        } else {
            spoilt[start] = 0;
            spoilt[start + 1] = 0;
            expected = all;
        }
        pdx::TableReader reader(std::make_unique<pdx::MemorySource>(spoilt), name);
        EXPECT_TRUE(records(reader) == expected);
        EXPECT_EQ(all.size() - expected.size(), c.lost);
        EXPECT_EQ(pdx::DamageText(name, reader.Damage()), QString::fromUtf8(c.message));
    }
}

// paradox-dump's JSON lines, whole, for small tables of several types.
TEST(ParadoxDump, PrintsJsonLinesOrTheGermanMessage)
{
    REQUIRE_FIXTURES();
    struct Expected {
        const char* table;
        const char* out;
    };
    const Expected cases[] = {
        {"leonhad__paradoxdriver/src/test/resources/fields/bcd.db",
         "[{\"name\":\"A\",\"type\":\"#\",\"size\":2},{\"name\":\"B\",\"type\":\"#\",\"size\":0},"
         "{\"name\":\"C\",\"type\":\"#\",\"size\":32}]\n"
         "[\"1.23\",\"1\",\"0.12299999999999999800000000000040\"]\n"
         "[\"-1.23\",\"-1\",\"-0.12299999999999999800000000000040\"]\n"
         "[\"0.00\",null,\"0.99990000000000001180000000000040\"]\n"},
        {"leonhad__paradoxdriver/src/test/resources/fields/date7.db",
         "[{\"name\":\"DATE\",\"type\":\"D\",\"size\":4},{\"name\":\"TIME\",\"type\":\"T\",\"size\":4}]\n"
         "[\"2018-01-01\",\"10:00:00.000\"]\n[\"2018-02-01\",\"10:30:00.000\"]\n"
         "[\"2018-01-02\",\"09:25:25.000\"]\n[null,\"10:00:00.000\"]\n[\"2018-01-01\",null]\n"},
        {"leonhad__paradoxdriver/src/test/resources/fields/long.db",
         "[{\"name\":\"Id\",\"type\":\"+\",\"size\":4},{\"name\":\"LONG\",\"type\":\"I\",\"size\":4}]\n"
         "[1,1]\n[2,2]\n[3,null]\n"},
        {"leonhad__paradoxdriver/src/test/resources/fields/logical.db",
         "[{\"name\":\"BOOL\",\"type\":\"L\",\"size\":1}]\n[true]\n[false]\n[true]\n[true]\n"},
    };
    for (const Expected& c : cases) {
        QProcess dump;
        dump.start(KK_PARADOX_DUMP, {Fixture(c.table)});
        ASSERT_TRUE(dump.waitForFinished(30000));
        EXPECT_EQ(dump.exitCode(), 0) << c.table;
        EXPECT_EQ(dump.readAllStandardOutput().toStdString(), std::string(c.out)) << c.table;
    }

    // A memo table whose header names code page 936 but holds code page 1251.
    QProcess forced;
    forced.start(KK_PARADOX_DUMP, {Fixture("leonhad__paradoxdriver/src/test/resources/db/NOTE1251.DB"),
                                   "--codepage", "1251"});
    ASSERT_TRUE(forced.waitForFinished(30000));
    EXPECT_EQ(forced.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(forced.readAllStandardOutput())
                    .contains(QString::fromUtf8("[2,\"Удивительное устройство USB-флешки Kingston DataTraveler\"]\n")));

    QProcess dump;
    const QString notParadox =
        Fixture("bio-guoda__preston/preston-paradox/src/test/resources/bio/guoda/preston/paradox/not-a.DB");
    dump.start(KK_PARADOX_DUMP, {notParadox});
    ASSERT_TRUE(dump.waitForFinished(30000));
    EXPECT_EQ(dump.exitCode(), 1);
    EXPECT_TRUE(dump.readAllStandardOutput().isEmpty());
    EXPECT_EQ(QString::fromUtf8(dump.readAllStandardError()).trimmed(),
              QString("Die Datei \"%1\" ist keine Paradox-Tabelle").arg(QDir::toNativeSeparators(notParadox)));
}

} // namespace
