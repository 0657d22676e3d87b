// CopyFileTimeAttr on real files: content, time stamp, attributes, every
// failure this platform can produce, and what each failure leaves behind.
#include "FileUtils.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

using namespace FileUtils;

namespace {

constexpr std::uint32_t kArchive = 0x20;
constexpr FileTime kHour = 3600 * FileTimePerSecond;
// 2020-02-29 23:59:58.5 UTC
constexpr FileTime kSourceTime = (1'583'020'798ULL + 11'644'473'600ULL) * FileTimePerSecond + 5'000'000;

QByteArray Pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

std::optional<ECopyError> CopyError(const QString& source, const QString& target,
                                    std::uint32_t attributes = kArchive,
                                    std::uint32_t bufferSize = 4096)
{
    try {
        CopyFileTimeAttr(source, target, attributes, bufferSize);
    } catch (const ECopyError& e) {
        return e;
    }
    return std::nullopt;
}

std::uint32_t AttributesOf(const QString& path)
{
    std::uint32_t attributes = 0;
    EXPECT_EQ(QueryFileAttributes(path, attributes), 0u) << path.toStdString();
    return attributes;
}

}  // namespace

TEST(FileCopy, CopiesBytesTimeAndAttributesForAnyBufferSize)
{
    struct Case {
        int size;
        std::uint32_t buffer;
    };
    const Case cases[] = {
        {0, 1024},        // one read and one write of nothing
        {1, 1},
        {3 * 1024, 1024},  // exact multiple: a last read of 0 bytes ends the loop
        {3000, 1024},
        {70'000, 262'144},  // the template copy's buffer
        {10, 0},            // a zero size works as one byte
    };
    for (const Case& c : cases) {
        TempTree tree;
        const QByteArray content = Pattern(c.size);
        const QString source = tree.WriteFile("src.sqlite", content);
        SetWriteTime(source, kSourceTime);
        const QString target = tree.Path("dst.sqlite");

        CopyFileTimeAttr(source, target, kArchive, c.buffer);
        EXPECT_EQ(ReadAll(target), content) << c.size << " bytes, buffer " << c.buffer;
        EXPECT_EQ(RawWriteTime(target), kSourceTime) << c.size << " bytes";
        EXPECT_EQ(AttributesOf(target), kArchive);
        EXPECT_EQ(ReadAll(source), content) << "source unchanged";
    }
}

TEST(FileCopy, SameFileUnderAnySpellingIsLeftAlone)
{
    TempTree tree;
    const QString file = tree.WriteFile("dir/db.sqlite", "precious");
    tree.Link("alias", file);
    const QString spellings[] = {
        file,
        tree.Path("dir//db.sqlite"),
        tree.Path("dir/./db.sqlite"),
        tree.Path("dir/../dir/db.sqlite"),
        tree.Path("alias"),
    };
    for (const QString& other : spellings) {
        EXPECT_NO_THROW(CopyFileTimeAttr(file, other, kArchive, 4)) << other.toStdString();
        EXPECT_NO_THROW(CopyFileTimeAttr(other, file, kArchive, 4)) << other.toStdString();
        EXPECT_EQ(ReadAll(file), "precious") << other.toStdString();
    }
    // The same name is not even looked at.
    EXPECT_NO_THROW(CopyFileTimeAttr(tree.Path("none"), tree.Path("none"), kArchive, 4));
    // Names differing in case are different files here.
    tree.WriteFile("dir/DB.sqlite", "other");
    CopyFileTimeAttr(file, tree.Path("dir/DB.sqlite"), kArchive, 4);
    EXPECT_EQ(ReadAll(tree.Path("dir/DB.sqlite")), "precious");
}

TEST(FileCopy, ReplacesReadOnlyAndHiddenTargets)
{
    TempTree tree;
    const QString source = tree.WriteFile("src", "new");
    for (const char* name : {"readonly", ".hidden"}) {
        const QString target = tree.WriteFile(name, "old and longer");
        SetMode(target, 0444);
        CopyFileTimeAttr(source, target, kArchive, 2);
        EXPECT_EQ(ReadAll(target), "new") << name;
        EXPECT_EQ(AttributesOf(target) & ~FileAttr::Hidden, kArchive) << name;
    }
}

TEST(FileCopy, TakesTheSourceAttributesWhenAskedTo)
{
    TempTree tree;
    const QString source = tree.WriteFile("src", "x");
    SetMode(source, 0444);
    const QString target = tree.Path("dst");
    CopyFileTimeAttr(source, target, SourceAttributes, 16);
    EXPECT_EQ(AttributesOf(target), kArchive | FileAttr::ReadOnly);
    EXPECT_EQ(ModeOf(target) & 0222, 0u);
}

TEST(FileCopy, FollowsASourceLinkToItsFinalTarget)
{
    TempTree tree;
    const QString real = tree.WriteFile("real/template.sqlite", "template bytes");
    SetWriteTime(real, kSourceTime);
    tree.Link("first", real);
    const QString link = tree.Link("second", tree.Path("first"));
    const QString target = tree.Path("out.sqlite");

    CopyFileTimeAttr(link, target, kArchive, 4);
    EXPECT_EQ(ReadAll(target), "template bytes");
    EXPECT_EQ(RawWriteTime(target), kSourceTime);
    EXPECT_FALSE(QFileInfo(target).isSymLink());
}

TEST(FileCopy, WritesThroughATargetLink)
{
    TempTree tree;
    const QString source = tree.WriteFile("src", "bytes");
    const QString existing = tree.WriteFile("existing", "old");
    tree.Link("toExisting", existing);
    tree.Link("toMissing", tree.Path("created"));

    CopyFileTimeAttr(source, tree.Path("toExisting"), kArchive, 64);
    CopyFileTimeAttr(source, tree.Path("toMissing"), kArchive, 64);
    EXPECT_EQ(ReadAll(existing), "bytes");
    EXPECT_EQ(ReadAll(tree.Path("created")), "bytes");
    EXPECT_TRUE(QFileInfo(tree.Path("toMissing")).isSymLink());
}

TEST(FileCopy, SourceTimeMoreThanADayAheadBecomesNow)
{
    TempTree tree;
    const QString source = tree.WriteFile("src");
    const QString target = tree.Path("dst");

    const FileTime soon = CurrentFileTime() + 23 * kHour;
    SetWriteTime(source, soon);
    CopyFileTimeAttr(source, target, kArchive, 64);
    EXPECT_EQ(RawWriteTime(target), soon);

    SetWriteTime(source, CurrentFileTime() + 48 * kHour);
    const FileTime before = CurrentFileTime();
    CopyFileTimeAttr(source, target, kArchive, 64);
    EXPECT_GE(RawWriteTime(target), before);
    EXPECT_LE(RawWriteTime(target), CurrentFileTime() + FileTimePerSecond);
}

TEST(FileCopy, EachFailureRaisesItsMessageAndCodeAndLeavesItsState)
{
    struct Setup {
        QString source;
        QString target;
        std::shared_ptr<TExtFileStream> holder;  // keeps a file locked during the copy
    };
    struct Case {
        const char* name;
        std::function<void(const TempTree&, Setup&)> prepare;
        const char* pattern;
        bool namesSource;
        std::uint32_t code;
        std::function<void(const TempTree&, const Setup&)> check;
    };
    const auto targetMissing = [](const TempTree&, const Setup& s) {
        EXPECT_FALSE(EntryExists(s.target));
    };
    const Case cases[] = {
        {"missing source",
         [](const TempTree& t, Setup& s) {
             s.source = t.Path("missing");
             s.target = t.Path("dst");
         },
         "Datei nicht gefunden: \"%s\"", true, 2, targetMissing},
        {"directory as source",
         [](const TempTree& t, Setup& s) {
             s.source = t.MakeDir("dir");
             s.target = t.Path("dst");
         },
         "Datei nicht gefunden: \"%s\"", true, 2, targetMissing},
        {"empty target name",
         [](const TempTree& t, Setup& s) { s.source = t.WriteFile("src"); },
         "Datei nicht gefunden: \"%s\"", true, 2, nullptr},
        {"source locked by another stream",
         [](const TempTree& t, Setup& s) {
             s.source = t.WriteFile("src");
             s.target = t.Path("dst");
             s.holder = std::make_shared<TExtFileStream>(s.source, 0x10);
         },
         "Fehler beim Öffnen von \"%s\"", true, 32, targetMissing},
        {"target locked by another stream",
         [](const TempTree& t, Setup& s) {
             s.source = t.WriteFile("src", "new");
             s.target = t.WriteFile("dst", "old");
             SetMode(s.target, 0444);
             s.holder = std::make_shared<TExtFileStream>(s.target, 0x40);
         },
         "Fehler beim Erstellen von \"%s\"", false, 32,
         [](const TempTree&, const Setup& s) {
             EXPECT_EQ(ReadAll(s.target), "old") << "locked before truncating";
             EXPECT_EQ(AttributesOf(s.target), kArchive) << "reset before the create";
         }},
        {"target in a missing directory",
         [](const TempTree& t, Setup& s) {
             s.source = t.WriteFile("src");
             s.target = t.Path("nodir/dst");
         },
         "Fehler beim Erstellen von \"%s\"", false, 3, targetMissing},
        {"directory as target",
         [](const TempTree& t, Setup& s) {
             s.source = t.WriteFile("src");
             s.target = t.MakeDir("dst");
         },
         "Fehler beim Erstellen von \"%s\"", false, 5, nullptr},
        {"unreadable source",
         [](const TempTree& t, Setup& s) {
             s.source = "/proc/self/mem";  // reading address 0 fails with EIO
             s.target = t.Path("dst");
         },
         "Fehler beim Lesen aus \"%s\"", true, 31,
         [](const TempTree&, const Setup& s) {
             EXPECT_EQ(ReadAll(s.target), "") << "created and left in place";
         }},
        {"full disk",
         [](const TempTree& t, Setup& s) {
             s.source = t.WriteFile("src", Pattern(5000));
             s.target = "/dev/full";
         },
         "Fehler beim Schreiben in \"%s\"", false, 112, nullptr},
    };
    for (const Case& c : cases) {
        TempTree tree;
        Setup setup;
        c.prepare(tree, setup);
        const auto error = CopyError(setup.source, setup.target);
        ASSERT_TRUE(error) << c.name;
        const QString named = c.namesSource ? setup.source : setup.target;
        EXPECT_EQ(error->Message(), SafeFormat(QString::fromUtf8(c.pattern), {named})) << c.name;
        EXPECT_EQ(error->ErrorCode, c.code) << c.name;
        if (c.check)
            c.check(tree, setup);
    }
}

TEST(FileCopy, ShortWriteAtASizeLimitLeavesThePartialTarget)
{
    TempTree tree;
    const QByteArray content = Pattern(5000);
    const QString source = tree.WriteFile("src", content);
    const QString target = tree.Path("dst");

    std::optional<ECopyError> error;
    {
        const FileSizeLimit limit(3000);
        error = CopyError(source, target, kArchive, 1024);
    }

    ASSERT_TRUE(error);
    EXPECT_EQ(error->ErrorCode, 112u);
    EXPECT_EQ(error->Message(), "Fehler beim Schreiben in \"" + target + "\"");
    EXPECT_EQ(ReadAll(target), content.left(3000)) << "the partial target stays";
}
