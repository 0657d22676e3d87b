// Existence tests, attributes and time stamps on real files.
#include "FileUtils.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>

using namespace FileUtils;

namespace {

constexpr FileTime kHour = 3600 * FileTimePerSecond;

// A fixed time with sub-second digits: 2021-06-01 12:00:00.1234567 UTC.
constexpr FileTime kSomeTime = (1'622'548'800ULL + 11'644'473'600ULL) * FileTimePerSecond + 1'234'567;

}  // namespace

// What a name is, links followed: KindOfPath tells what stands there where FileExists says
// only yes or no.
TEST(FileInfo, ExistenceFollowsLinksAndNeverCountsADirectoryAsFile)
{
    TempTree tree;
    tree.WriteFile("f");
    tree.MakeDir("d");
    ASSERT_EQ(::mkfifo(QFile::encodeName(tree.Path("fifo")).constData(), 0644), 0);
    tree.Link("toFile", tree.Path("f"));
    tree.Link("toDir", tree.Path("d"));
    tree.Link("toFifo", tree.Path("fifo"));
    tree.Link("dangling", tree.Path("missing"));
    struct Case {
        const char* name;
        bool file;
        bool dir;
        PathKind kind;
    };
    const Case cases[] = {
        {"f", true, false, PathKind::File},           {"d", false, true, PathKind::Directory},
        {"fifo", true, false, PathKind::Fifo},        {"toFile", true, false, PathKind::File},
        {"toDir", false, true, PathKind::Directory},  {"toFifo", true, false, PathKind::Fifo},
        {"dangling", false, false, PathKind::Missing}, {"missing", false, false, PathKind::Missing},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileExists(tree.Path(c.name)), c.file) << c.name;
        EXPECT_EQ(DirectoryExists(tree.Path(c.name)), c.dir) << c.name;
        EXPECT_EQ(KindOfPath(tree.Path(c.name)), c.kind) << c.name;
    }
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(DirectoryExists(""));
    EXPECT_EQ(KindOfPath("/dev/null"), PathKind::Device);
    EXPECT_EQ(PathKindText(PathKind::Fifo), "eine FIFO");
    EXPECT_EQ(PathKindText(PathKind::File), "");
}

TEST(FileInfo, AttributesMapToThePlatform)
{
    TempTree tree;
    const QString plain = tree.WriteFile("plain");
    const QString readOnly = tree.WriteFile("ro");
    SetMode(readOnly, 0444);
    const QString hidden = tree.WriteFile(".hidden");
    const QString dir = tree.MakeDir("d");
    const QString link = tree.Link("link", readOnly);
    struct Case {
        QString path;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {plain, FileAttr::Archive},
        {readOnly, FileAttr::Archive | FileAttr::ReadOnly},
        {hidden, FileAttr::Archive | FileAttr::Hidden},
        {dir, FileAttr::Directory},
        {link, FileAttr::Archive | FileAttr::ReadOnly},  // the target's attributes
    };
    for (const Case& c : cases) {
        std::uint32_t attributes = 0;
        EXPECT_EQ(QueryFileAttributes(c.path, attributes), 0u) << c.path.toStdString();
        EXPECT_EQ(attributes, c.expected) << c.path.toStdString();
    }
    std::uint32_t attributes = 0;
    EXPECT_EQ(QueryFileAttributes(tree.Path("missing"), attributes), 2u);
    EXPECT_EQ(QueryFileAttributes(tree.Path("missing/x"), attributes), 3u);
}

TEST(FileInfo, ChangeAttributesSetsAndClearsReadOnlyThroughLinks)
{
    TempTree tree;
    const QString file = tree.WriteFile("f");
    SetMode(file, 0664);
    const QString link = tree.Link("link", file);

    EXPECT_EQ(ChangeFileAttributes(link, FileAttr::ReadOnly | FileAttr::Hidden), 0u);
    EXPECT_EQ(ModeOf(file), 0444u) << "every write permission goes";
    EXPECT_EQ(ChangeFileAttributes(file, FileAttr::Archive | FileAttr::System), 0u);
    EXPECT_EQ(ModeOf(file), 0644u) << "only the owner gets write permission back";
    EXPECT_EQ(ChangeFileAttributes(tree.Path("missing"), FileAttr::Archive), 2u);
}

TEST(FileInfo, AttributeDataFollowsLinks)
{
    TempTree tree;
    const QString file = tree.WriteFile("f", QByteArray(1234, 'x'));
    SetWriteTime(file, kSomeTime);
    const QString link = tree.Link("link", file);

    FileAttributeData data;
    ASSERT_EQ(GetFileAttributeData(link, data), 0u);
    EXPECT_EQ(data.FileSize, 1234u);
    EXPECT_EQ(data.LastWriteTime, kSomeTime);
    EXPECT_EQ(data.Attributes, FileAttr::Archive);
    EXPECT_EQ(GetFileWriteTime(link), kSomeTime);
    EXPECT_EQ(GetFileWriteTime(tree.Path("missing")), 0u);
    EXPECT_EQ(GetFileAttributeData(tree.Link("dangling", tree.Path("gone")), data), 2u);
}

TEST(FileInfo, FindFileEntryReportsTheEntryItselfButNoDirectory)
{
    TempTree tree;
    const QString file = tree.WriteFile("f", "12345");
    const QString dir = tree.MakeDir("d");
    const QString fileLink = tree.Link("fileLink", file);
    const QString dirLink = tree.Link("dirLink", dir);

    FileAttributeData entry;
    ASSERT_TRUE(FindFileEntry(file, entry));
    EXPECT_EQ(entry.FileSize, 5u);
    EXPECT_EQ(entry.Attributes, FileAttr::Archive);
    ASSERT_TRUE(FindFileEntry(fileLink, entry));
    EXPECT_TRUE(entry.Attributes & FileAttr::ReparsePoint);
    EXPECT_FALSE(FindFileEntry(dir, entry));
    EXPECT_FALSE(FindFileEntry(dirLink, entry));
    EXPECT_FALSE(FindFileEntry(tree.Path("missing"), entry));
}

TEST(FileInfo, SetFileWriteTimeGuardsAgainstTheFuture)
{
    TempTree tree;
    const QString file = tree.WriteFile("f");

    EXPECT_EQ(SetFileWriteTime(file, kSomeTime), 0u);
    EXPECT_EQ(RawWriteTime(file), kSomeTime) << "carried over to 100 ns";

    EXPECT_EQ(SetFileWriteTime(file, 0), 0u);
    EXPECT_EQ(RawWriteTime(file), kSomeTime) << "zero changes nothing";

    const FileTime nearFuture = CurrentFileTime() + 23 * kHour;
    EXPECT_EQ(SetFileWriteTime(file, nearFuture), 0u);
    EXPECT_EQ(RawWriteTime(file), nearFuture) << "less than a day ahead stays";

    for (const FileTime farFuture : {CurrentFileTime() + 25 * kHour, ~FileTime{0} >> 1}) {
        const FileTime before = CurrentFileTime();
        EXPECT_EQ(SetFileWriteTime(file, farFuture), 0u);
        const FileTime written = RawWriteTime(file);
        EXPECT_GE(written, before);
        EXPECT_LE(written, CurrentFileTime() + FileTimePerSecond) << "replaced by now";
    }
}

TEST(FileInfo, SetFileWriteTimeReportsErrorCodes)
{
    TempTree tree;
    const QString readOnly = tree.WriteFile("ro");
    SetMode(readOnly, 0444);
    const QString locked = tree.WriteFile("locked");
    TExtFileStream holder(locked, 0x10);  // read access, shares nothing

    EXPECT_EQ(SetFileWriteTime(readOnly, kSomeTime), 5u) << "refused also for root";
    EXPECT_EQ(SetFileWriteTime(locked, kSomeTime), 32u);
    EXPECT_EQ(SetFileWriteTime(tree.MakeDir("d"), kSomeTime), 5u);
    EXPECT_EQ(SetFileWriteTime(tree.Path("missing"), kSomeTime), 2u);
    EXPECT_EQ(SetFileWriteTime(tree.Path("none/missing"), kSomeTime), 3u);
    EXPECT_NE(RawWriteTime(readOnly), kSomeTime);
    EXPECT_NE(RawWriteTime(locked), kSomeTime);
}
