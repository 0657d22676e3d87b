// CopyFileTimeAttr on real files: content, time stamp, attributes, every
// failure this platform can produce, and what each failure leaves behind.
#include "FileUtils.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>

#include <csignal>
#include <cstring>

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

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
        {0, 1024},        // the first read already returns 0 bytes
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
         "Fehler beim Lesen aus \"%s\"", true, kSystemErrnoFlag | EIO,  // the system's own reason
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

// Each source below would have stalled or cut short a copy that trusts the
// name: a FIFO whose writer stays, a FIFO, device or socket that ends at once.
// The copy runs on a second thread; should it still run after the watchdog
// time, the FIFO's writer end is closed so that the copy can end at all.
TEST(FileCopy, NonRegularSourceIsRefusedWithoutWaitingOnIt)
{
    struct Setup {
        QString source;
        int writerFd = -1;  // keeps a writer on the FIFO with bytes pending
    };
    struct Case {
        const char* name;
        std::function<void(const TempTree&, Setup&)> prepare;
    };
    const auto makeFifo = [](const TempTree& t, const char* name) {
        const QString path = t.Path(name);
        EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        return path;
    };
    const Case cases[] = {
        {"FIFO without a writer", [&](const TempTree& t, Setup& s) { s.source = makeFifo(t, "fifo"); }},
        {"FIFO with a writer that stays",
         [&](const TempTree& t, Setup& s) {
             s.source = makeFifo(t, "fifo");
             // Read and write end in one: the open does not wait for a reader.
             s.writerFd = ::open(QFile::encodeName(s.source).constData(), O_RDWR | O_CLOEXEC);
             ASSERT_GE(s.writerFd, 0);
             // Two buffers' worth: a copy that reads on waits for the third.
             ASSERT_EQ(::write(s.writerFd, "12345678", 8), 8);
         }},
        {"link to a FIFO",
         [&](const TempTree& t, Setup& s) { s.source = t.Link("link", makeFifo(t, "fifo")); }},
        {"character device", [](const TempTree&, Setup& s) { s.source = "/dev/null"; }},
        {"socket",
         [](const TempTree& t, Setup& s) {
             s.source = t.Path("sock");
             const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
             ASSERT_GE(fd, 0);
             sockaddr_un address {};
             address.sun_family = AF_UNIX;
             const QByteArray name = QFile::encodeName(s.source);
             ASSERT_LT(static_cast<size_t>(name.size()), sizeof(address.sun_path));
             std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
             EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
             ::close(fd);  // the socket file stays behind
         }},
    };
    for (const Case& c : cases) {
        for (const bool targetExists : {false, true}) {
            TempTree tree;
            Setup setup;
            c.prepare(tree, setup);
            const QString target = targetExists ? tree.WriteFile("dst", "old") : tree.Path("dst");

            auto copy = std::async(std::launch::async,
                                   [&] { return CopyError(setup.source, target, kArchive, 4); });
            const bool finished = copy.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
            if (setup.writerFd >= 0)
                ::close(setup.writerFd);
            const auto error = copy.get();

            EXPECT_TRUE(finished) << c.name << ": the copy waited on the source";
            if (!error) {
                ADD_FAILURE() << c.name << ": copied without an error";
                continue;
            }
            EXPECT_EQ(error->ErrorCode, 2u) << c.name;
            EXPECT_EQ(error->Message().toStdString(),
                      ("Datei nicht gefunden: \"" + setup.source + "\"").toStdString())
                << c.name;
            if (targetExists)
                EXPECT_EQ(ReadAll(target), "old") << c.name;
            else
                EXPECT_FALSE(EntryExists(target)) << c.name;
        }
    }
}

// /proc/<pid>/maps is a regular file whose reads stop near one page however
// much is asked for. A child that holds a few hundred separate mappings, and
// does nothing else, gives one of several pages whose content stays put.
TEST(FileCopy, SourceThatReadsShortIsCopiedWhole)
{
    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Alternating protection keeps every page a mapping of its own.
        const long page = ::sysconf(_SC_PAGESIZE);
        constexpr int kPages = 400;
        auto* area = static_cast<char*>(
            ::mmap(nullptr, page * kPages, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (area == MAP_FAILED)
            ::_exit(1);
        for (int i = 1; i < kPages; i += 2)
            ::mprotect(area + i * page, page, PROT_NONE);
        if (::write(ready[1], "x", 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    const bool childReady = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);

    const QString source = QStringLiteral("/proc/%1/maps").arg(child);
    constexpr std::uint32_t kBuffer = 65536;
    // What the test itself reads: one read of the buffer size, then the whole.
    QByteArray expected;
    ssize_t firstRead = 0;
    if (childReady) {
        const int fd = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
        QByteArray chunk(kBuffer, '\0');
        firstRead = ::read(fd, chunk.data(), kBuffer);
        ::lseek(fd, 0, SEEK_SET);
        for (ssize_t got; (got = ::read(fd, chunk.data(), kBuffer)) > 0;)
            expected.append(chunk.constData(), got);
        ::close(fd);
    }

    TempTree tree;
    const QString target = tree.Path("maps");
    const auto error = CopyError(source, target, kArchive, kBuffer);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    ASSERT_TRUE(childReady);
    ASSERT_GT(firstRead, 0);
    ASSERT_LT(firstRead, expected.size()) << "the source should read short";
    ASSERT_LT(firstRead, static_cast<ssize_t>(kBuffer));
    EXPECT_FALSE(error) << error->what();
    const QByteArray copied = ReadAll(target);
    EXPECT_EQ(copied.size(), expected.size());
    EXPECT_TRUE(copied == expected);
}
