// TExtFileStream: modes, sharing by locks, error codes and messages.
#include "FileUtils.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <optional>

using namespace FileUtils;

namespace {

constexpr std::uint16_t kOpenShared = 0x40;  // read, others may read and write
constexpr std::uint16_t kCreate = 0xFF00;    // create or truncate, share nothing

// The error a stream constructor raises, if any.
std::optional<EExtFileStreamError> OpenError(const QString& name, std::uint16_t mode)
{
    try {
        TExtFileStream stream(name, mode);
    } catch (const EExtFileStreamError& e) {
        return e;
    }
    return std::nullopt;
}

}  // namespace

TEST(FileStream, ConstructorMessagesNameTheFullPathAndTheSystemText)
{
    TempTree tree;
    struct Case {
        const char* name;
        QString file;
        std::uint16_t mode;
        std::uint32_t code;
        QString message;
    };
    const QString missing = tree.Path("missing.txt");
    const QString inMissingDir = tree.Path("nodir/new.txt");
    const Case cases[] = {
        {"open a missing file", missing, kOpenShared, 2,
         "Datei " + missing + " kann nicht geöffnet werden. "
             "Das System kann die angegebene Datei nicht finden"},
        {"create in a missing directory", inMissingDir, kCreate, 3,
         "Datei \"" + inMissingDir + "\" kann nicht erstellt werden. "
             "Das System kann den angegebenen Pfad nicht finden"},
        {"open a directory", tree.Root(), kOpenShared, 5,
         "Datei " + tree.Root() + " kann nicht geöffnet werden. Zugriff verweigert"},
        {"create exclusively over an existing file", tree.WriteFile("old"), kCreate | 0x04, 80,
         "Datei \"" + tree.Path("old") + "\" kann nicht erstellt werden. Die Datei ist vorhanden"},
    };
    for (const Case& c : cases) {
        const auto error = OpenError(c.file, c.mode);
        ASSERT_TRUE(error) << c.name;
        EXPECT_EQ(error->ErrorCode, c.code) << c.name;
        EXPECT_EQ(error->Message(), c.message) << c.name;
    }
}

TEST(FileStream, RelativeNameIsExpandedInMessagesButKeptAsGiven)
{
    TempTree tree;
    InDirectory(tree.Root(), [&] {
        const auto error = OpenError("sub/../a.txt", kOpenShared);
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->Message().startsWith("Datei " + tree.Path("a.txt") + " kann"))
            << error->what();

        TExtFileStream created("a.txt", kCreate);
        EXPECT_EQ(created.FileName(), "a.txt");
    });
}

TEST(FileStream, CreateTruncatesButRefusesReadOnlyFiles)
{
    TempTree tree;
    const QString file = tree.WriteFile("f", "old content");
    {
        TExtFileStream stream(file, kCreate);
    }
    EXPECT_EQ(ReadAll(file), "");

    const QString readOnly = tree.WriteFile("ro", "keep");
    SetMode(readOnly, 0444);
    const auto error = OpenError(readOnly, kCreate);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->ErrorCode, 5u) << "read-only holds even for root";
    EXPECT_EQ(ReadAll(readOnly), "keep");

    const auto writeOpen = OpenError(readOnly, 0x42);  // read and write access
    ASSERT_TRUE(writeOpen);
    EXPECT_EQ(writeOpen->ErrorCode, 5u);
}

TEST(FileStream, SharingFollowsTheModeAndLocksBeforeTruncating)
{
    TempTree tree;
    const QString file = tree.WriteFile("f", "content");

    {
        TExtFileStream reader(file, kOpenShared);
        TExtFileStream secondReader(file, kOpenShared);  // both share
        const auto error = OpenError(file, kCreate);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->ErrorCode, 32u);
        EXPECT_EQ(ReadAll(file), "content") << "a refused create must not truncate";
    }
    {
        TExtFileStream owner(file, 0x10);  // read, share nothing
        const auto error = OpenError(file, kOpenShared);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->ErrorCode, 32u);
        EXPECT_TRUE(error->Message().endsWith("da sie von einem anderen Prozess verwendet wird"));
    }
    TExtFileStream again(file, kOpenShared);  // closing released the locks
}

TEST(FileStream, ReadAndWriteReportCountsAndCodes)
{
    TempTree tree;
    const QString file = tree.Path("f");
    {
        TExtFileStream out(file, kCreate);
        std::int32_t written = -2;
        EXPECT_EQ(out.Write("abcdef", 6, written), 0u);
        EXPECT_EQ(written, 6);
        EXPECT_EQ(out.Close(), 0u);
        EXPECT_EQ(out.Close(), 0u) << "a second close does nothing";
    }
    TExtFileStream in(file, kOpenShared);
    char buffer[16];
    std::int32_t read = -2;
    EXPECT_EQ(in.Read(buffer, 4, read), 0u);
    EXPECT_EQ(read, 4);
    EXPECT_EQ(QByteArray(buffer, 4), "abcd");
    EXPECT_EQ(in.Read(buffer, 16, read), 0u);
    EXPECT_EQ(read, 2);
    EXPECT_EQ(in.Read(buffer, 16, read), 0u);
    EXPECT_EQ(read, 0) << "end of file";

    std::int32_t written = -2;
    EXPECT_NE(in.Write("x", 1, written), 0u) << "opened without write access";
    EXPECT_EQ(written, -1);

    TExtFileStream full(tree.Path("full"), kCreate);
    const FileSizeLimit limit(4);
    EXPECT_EQ(full.Write("abcdef", 6, written), 0u);
    EXPECT_EQ(written, 4) << "cut short at the limit";
    EXPECT_EQ(full.Write("ef", 2, written), 112u);
    EXPECT_EQ(written, -1);
}
