#include "GuiTestSupport.h"
#include "IniFile.h"

#include <QFileDevice>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using GuiTest::ReadText;
using GuiTest::WriteText;

namespace {

constexpr uid_t kNobody = 65534;

QByteArray Utf16(const QString& text, QStringConverter::Encoding encoding)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder(text);
}

struct stat StatusOf(const QString& fileName)
{
    struct stat status {};
    ::stat(QFile::encodeName(fileName).constData(), &status);
    return status;
}

// Runs WORK in a child process; its exit code, or -1 when it did not end normally.
int InChild(const std::function<int()>& work)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(work());
    int status = -1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In a child run by root: goes on as nobody, with no other group.
bool BecomeNobody()
{
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

bool WriteProcFile(const char* name, const QByteArray& text)
{
    const int fd = ::open(name, O_WRONLY | O_CLOEXEC);
    const bool written = fd >= 0 && ::write(fd, text.constData(), size_t(text.size())) == text.size();
    if (fd >= 0)
        ::close(fd);
    return written;
}

// In a child: a mount namespace of its own (with a user namespace for a normal user) and a
// tmpfs of SIZE over FOLDER, seen by no other process and gone with the child.
bool MountSmallDisk(const QString& folder, const char* size)
{
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (uid == 0) {
        if (::unshare(CLONE_NEWNS) != 0)
            return false;
    } else if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !WriteProcFile("/proc/self/setgroups", "deny")
               || !WriteProcFile("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1")
               || !WriteProcFile("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1")) {
        return false;
    }
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
           && ::mount("none", QFile::encodeName(folder).constData(), "tmpfs", 0, size) == 0;
}

// Fills the disk that FILENAME is made on to its last block; anybody may empty the file again.
bool FillDisk(const QString& fileName)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 || ::fchmod(fd, 0666) != 0)
        return false;
    const QByteArray block(4096, 'f');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    return full;
}

}  // namespace

TEST(IniFileTest, IntegersInDecimalAndWithHexPrefixes)
{
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {
        {"50", 50},           {"-7", -7},           {"+7", 7},
        {"0x20", 32},         {"0X1f", 31},         {"$20", 32},
        {"-$20", -32},        {"$FFFFFFFF", -1},    {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int>::min()},
        {"2147483648", std::nullopt},               {"$100000000", std::nullopt},
        {"abc", std::nullopt}, {"", std::nullopt},  {"0x", std::nullopt},
        {"$", std::nullopt},  {"-", std::nullopt},  {"5 ", std::nullopt},
        {"1e3", std::nullopt}, {"12abc", std::nullopt}, {"0x1g", std::nullopt},
        {"\xd9\xa3", std::nullopt},  // an Arabic-Indic digit three
    };
    for (const auto& c : cases)
        EXPECT_EQ(IniFile::ParseInteger(QString::fromUtf8(c.text)), c.value) << c.text;
}

class IniFileFileTest : public ::testing::Test {
protected:
    QString Name() const { return dir_.path() + QStringLiteral("/settings.ini"); }
    QTemporaryDir dir_;
};

TEST_F(IniFileFileTest, ReadsAsWindowsDoes)
{
    const QByteArray longValue(3000, 'x');
    WriteText(Name(), "; comment\r\n"
                      "[config]\r\n"
                      "LEFT =  12  \r\n"
                      "Quoted=\"D:\\Musik\"\r\n"
                      "Single='a b'\r\n"
                      "Lone=\"half\r\n"
                      "Twice=first\r\n"
                      "twice=second\r\n"
                      "Long=" + longValue + "\r\n"
                      "Empty=\r\n"
                      "[Other]\r\n"
                      "Top=99\r\n");
    const TIniFile ini(Name());
    EXPECT_EQ(ini.ReadInteger("Config", "left", 50), 12);
    EXPECT_EQ(ini.ReadString("CONFIG", "Quoted", ""), "D:\\Musik");
    EXPECT_EQ(ini.ReadString("Config", "Single", ""), "a b");
    EXPECT_EQ(ini.ReadString("Config", "Lone", ""), "\"half");
    EXPECT_EQ(ini.ReadString("Config", "Twice", ""), "first");
    EXPECT_EQ(ini.ReadString("Config", "Long", ""), QString(IniFile::MaxValueLength, 'x'));
    EXPECT_EQ(ini.ReadString("Config", "Empty", "default"), "");
    EXPECT_EQ(ini.ReadInteger("Config", "Empty", 50), 50);
    EXPECT_EQ(ini.ReadInteger("Config", "Top", 50), 50) << "another section's key";
    EXPECT_EQ(ini.ReadInteger("Other", "Top", 50), 99);
    EXPECT_EQ(TIniFile(Name() + "-missing").ReadString("Config", "Quoted", "default"), "default");
}

TEST_F(IniFileFileTest, WritingOneKeyKeepsTheRest)
{
    WriteText(Name(), "; kept comment\n[Config]\nLeft=1\nOther=keep me\n[Fremd]\nKey=Wert\n");
    const TIniFile ini(Name());
    ASSERT_TRUE(ini.WriteInteger("config", "LEFT", 77));
    ASSERT_TRUE(ini.WriteString("Neu", "Name", QString::fromUtf8("Größe")));

    EXPECT_EQ(ini.ReadInteger("Config", "Left", 0), 77);
    EXPECT_EQ(ini.ReadString("Config", "Other", ""), "keep me");
    EXPECT_EQ(ini.ReadString("Fremd", "Key", ""), "Wert");
    EXPECT_EQ(ini.ReadString("Neu", "Name", ""), QString::fromUtf8("Größe"));
    const QByteArray text = ReadText(Name());
    EXPECT_TRUE(text.contains("; kept comment"));
    EXPECT_EQ(text.toLower().count("left="), 1) << "the key is replaced, not added:\n" << text.toStdString();
    EXPECT_TRUE(text.contains("Left=77")) << "the key keeps its spelling";
    EXPECT_FALSE(text.startsWith("\xEF\xBB\xBF")) << "no byte-order mark";
}

TEST_F(IniFileFileTest, WritingKeepsEveryOtherByte)
{
    // Lines without "=", comments after the last key, blank lines and CR LF breaks all stay.
    WriteText(Name(), "[Config]\r\nLeft=1\r\nnur ein Wort\r\n; Kommentar am Ende\r\n\r\n[Fremd]\r\nKey=Wert");
    const TIniFile ini(Name());
    ASSERT_TRUE(ini.WriteInteger("Config", "Left", 2));
    ASSERT_TRUE(ini.WriteInteger("Config", "Top", 3));
    ASSERT_TRUE(ini.WriteString("Fremd", "key", "neu"));
    EXPECT_EQ(ReadText(Name()).toStdString(), "[Config]\r\nLeft=2\r\nTop=3\r\nnur ein Wort\r\n; Kommentar am Ende\r\n\r\n"
                                "[Fremd]\r\nKey=neu");
}

// Files that reading and writing once saw differently. Each holds a value of "D:\Müsik" that is
// read, then written anew: the file must be the same but for the value, encoding included.
TEST_F(IniFileFileTest, ValuesAreReadAndWrittenInEveryLayout)
{
    using std::string_literals::operator""s;
    const struct {
        const char* name;
        QByteArray (*file)(const QByteArray& value);
        const char* key;
    } cases[] = {
        {"NUL bytes before the section",
         [](const QByteArray& v) { return QByteArray::fromStdString("a\0b\0\r\n"s) + "[Config]\r\nDirectory=" + v + "\r\n"; },
         "Directory"},
        {"UTF-8 with byte-order mark",
         [](const QByteArray& v) { return "\xEF\xBB\xBF[Config]\nLeft=1\nDirectory=" + v + "\n"; }, "Directory"},
        {"UTF-16LE", [](const QByteArray& v) {
             return Utf16("; Größe\r\n[Config]\r\nDirectory=" + QString::fromUtf8(v) + "\r\nTop=7\r\n",
                          QStringConverter::Utf16LE);
         }, "Directory"},
        {"UTF-16BE without a final line break", [](const QByteArray& v) {
             return Utf16("[Config]\nDirectory=" + QString::fromUtf8(v) + "\n[Fremd]\nx=\u00fc",
                          QStringConverter::Utf16BE);
         }, "Directory"},
        {"mixed line endings and comments",
         [](const QByteArray& v) { return "[Config]\r\nLeft=1\n;Directory=alt\n#Directory=alt\r\nDirectory = " + v + "\r\n\r\n; Ende\n"; },
         "Directory"},
        {"key holding \"=\"",
         [](const QByteArray& v) { return "[Config]\n/home/u/a=b/.config/katalogkonverter.ini = " + v + "\nLeft=1\n"; },
         "/home/u/a=b/.config/katalogkonverter.ini"},
        {"bytes that are no UTF-8",
         [](const QByteArray& v) { return "[Config]\nAlt=M\xfcller \xe4\nDirectory=" + v + "\n\xff\xfe\n"; }, "Directory"},
    };
    const QString oldValue = QString::fromUtf8("D:\\Müsik");
    const QString newValue = QString::fromUtf8("Größe \u20ac");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteText(Name(), c.file(oldValue.toUtf8()));
        const TIniFile ini(Name());
        EXPECT_EQ(ini.ReadString("config", c.key, "-"), oldValue);
        ASSERT_TRUE(ini.WriteString("Config", c.key, newValue));
        EXPECT_EQ(ReadText(Name()), c.file(newValue.toUtf8()));
        EXPECT_EQ(ini.ReadString("Config", c.key, "-"), newValue);
    }
}

// A new key goes after the section's last key, a new section at the end; both take the file's
// encoding and its first line ending, and a last line without an ending stays without one.
TEST_F(IniFileFileTest, NewLinesTakeTheFilesEncodingAndFirstLineEnding)
{
    const struct {
        const char* name;
        QByteArray (*encode)(const QString& text);
    } encodings[] = {
        {"UTF-8", [](const QString& text) { return text.toUtf8(); }},
        {"UTF-8 with byte-order mark", [](const QString& text) { return "\xEF\xBB\xBF" + text.toUtf8(); }},
        {"UTF-16LE", [](const QString& text) { return Utf16(text, QStringConverter::Utf16LE); }},
        {"UTF-16BE", [](const QString& text) { return Utf16(text, QStringConverter::Utf16BE); }},
    };
    for (const auto& e : encodings) {
        SCOPED_TRACE(e.name);
        WriteText(Name(), e.encode("[Config]\r\nLeft=1\n; Ende"));
        const TIniFile ini(Name());
        ASSERT_TRUE(ini.WriteInteger("Config", "Top", 2));
        ASSERT_TRUE(ini.WriteString("Neu", "Name", QString::fromUtf8("Größe")));
        EXPECT_EQ(ReadText(Name()), e.encode(QString::fromUtf8("[Config]\r\nLeft=1\nTop=2\r\n; Ende\r\n[Neu]\r\nName=Größe")));
    }
}

// Of duplicates, the first line of the first section of a name is read; a write changes them
// all, and puts a missing key where it is read.
TEST_F(IniFileFileTest, DuplicatesAreReadFromTheFirstAndWrittenEverywhere)
{
    WriteText(Name(), "[Config]\nLeft=1\nleft=2\n[Fremd]\nTop=5\n[CONFIG]\nLeft=3\nTop=4\n");
    const TIniFile ini(Name());
    EXPECT_EQ(ini.ReadInteger("Config", "Left", 0), 1);
    EXPECT_EQ(ini.ReadInteger("Config", "Top", 0), 0) << "a later section of the same name is not read";
    ASSERT_TRUE(ini.WriteInteger("Config", "Left", 7));
    ASSERT_TRUE(ini.WriteInteger("Config", "Top", 8));
    EXPECT_EQ(ini.ReadInteger("Config", "Top", 0), 8);
    EXPECT_EQ(ReadText(Name()), "[Config]\nLeft=7\nleft=7\nTop=8\n[Fremd]\nTop=5\n[CONFIG]\nLeft=7\nTop=8\n");
}

// A settings file that may be written in a folder that takes no new files (the program's own
// folder, say) is written in place.
TEST_F(IniFileFileTest, WritableFileInAFolderThatIsNotIsWrittenInPlace)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the write as another user";
    WriteText(Name(), "[Config]\nLeft=1\n");
    ASSERT_EQ(::chown(QFile::encodeName(Name()).constData(), kNobody, kNobody), 0);
    ASSERT_EQ(::chown(QFile::encodeName(dir_.path()).constData(), kNobody, kNobody), 0);
    QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const int code = InChild([&] {
        if (!BecomeNobody())
            return 2;
        return TIniFile(Name()).WriteInteger("Config", "Left", 42) ? 0 : 1;
    });
    QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadText(Name()), "[Config]\nLeft=42\n");
}

// Other names of the settings file, and its permissions, stay as they were.
TEST_F(IniFileFileTest, LinksAndPermissionsAreKept)
{
    // A hard link: the file is written in place, so both names still show one file.
    WriteText(Name(), "[Config]\nLeft=1\n");
    const QString other = dir_.path() + QStringLiteral("/other-name.ini");
    ASSERT_EQ(::link(QFile::encodeName(Name()).constData(), QFile::encodeName(other).constData()), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(Name()).constData(), 0604), 0);
    const ino_t inode = StatusOf(Name()).st_ino;
    ASSERT_TRUE(TIniFile(Name()).WriteInteger("Config", "Left", 2));
    EXPECT_EQ(ReadText(other), "[Config]\nLeft=2\n");
    EXPECT_EQ(StatusOf(Name()).st_ino, inode);
    EXPECT_EQ(StatusOf(Name()).st_nlink, 2u);
    EXPECT_EQ(StatusOf(Name()).st_mode & 07777, 0604u);

    // A symbolic link stays one; the file it leads to is replaced and keeps its mode.
    const QString real = dir_.path() + QStringLiteral("/real.ini");
    const QString link = dir_.path() + QStringLiteral("/link.ini");
    WriteText(real, "[Config]\nLeft=1\n");
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    ASSERT_EQ(::symlink("real.ini", QFile::encodeName(link).constData()), 0);
    ASSERT_TRUE(TIniFile(link).WriteInteger("Config", "Left", 3));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadText(real), "[Config]\nLeft=3\n");
    EXPECT_EQ(StatusOf(real).st_mode & 07777, 0640u);

    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"link.ini", "other-name.ini", "real.ini", "settings.ini"}))
        << "nothing is left beside the files";
}

// Owner and group stay: root gives the new file the old one's; a user who cannot do so (a file
// of a group not theirs, or of another owner, that they may write) writes the file in place.
TEST_F(IniFileFileTest, OwnerAndGroupAreKept)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give files away";
    WriteText(Name(), "[Config]\nLeft=1\n");
    ASSERT_EQ(::chown(QFile::encodeName(Name()).constData(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(Name()).constData(), 0640), 0);
    ASSERT_TRUE(TIniFile(Name()).WriteInteger("Config", "Left", 2));
    EXPECT_EQ(StatusOf(Name()).st_uid, kNobody);
    EXPECT_EQ(StatusOf(Name()).st_gid, kNobody);
    EXPECT_EQ(StatusOf(Name()).st_mode & 07777, 0640u);

    const struct {
        const char* name;
        uid_t owner;
        gid_t group;
        mode_t mode;
    } cases[] = {
        {"another group", kNobody, 0, 0660},
        {"another owner", 0, kNobody, 0666},
    };
    ASSERT_EQ(::chown(QFile::encodeName(dir_.path()).constData(), kNobody, kNobody), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteText(Name(), "[Config]\nLeft=1\n");
        ASSERT_EQ(::chown(QFile::encodeName(Name()).constData(), c.owner, c.group), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(Name()).constData(), c.mode), 0);
        const ino_t inode = StatusOf(Name()).st_ino;
        const int code = InChild([&] {
            if (!BecomeNobody())
                return 2;
            return TIniFile(Name()).WriteInteger("Config", "Left", 3) ? 0 : 1;
        });
        EXPECT_EQ(code, 0);
        EXPECT_EQ(ReadText(Name()), "[Config]\nLeft=3\n");
        const struct stat status = StatusOf(Name());
        EXPECT_EQ(status.st_ino, inode);
        EXPECT_EQ(status.st_uid, c.owner);
        EXPECT_EQ(status.st_gid, c.group);
        EXPECT_EQ(status.st_mode & 07777, c.mode);
    }
}

// A full disk: a settings file that grows cannot be written. It keeps its old content byte
// for byte and the write reports the failure, whether the file is replaced or written in place;
// once there is room again, the same write succeeds. Each case runs in a child with a small
// tmpfs of its own.
TEST_F(IniFileFileTest, FullDiskKeepsTheOldContent)
{
    enum Way { Replaced, InPlaceForAHardLink, InPlaceForAFolderThatTakesNoFile };
    const struct {
        const char* name;
        Way way;
    } cases[] = {
        {"replaced", Replaced},
        {"in place for a hard link", InPlaceForAHardLink},
        {"in place for a folder that takes no file", InPlaceForAFolderThatTakesNoFile},
    };
    enum Code { Ok, WriteSucceeded, ContentChanged, LeftFilesBehind, NoWriteWithRoom, LinkLost, SetupFailed, NoNamespace };
    const char* const meaning[] = {"", "the write reported success", "the old content changed",
                                   "files were left beside it", "with room again the write failed",
                                   "the hard link was lost", "the setup failed", ""};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.way == InPlaceForAFolderThatTakesNoFile && ::geteuid() != 0)
            GTEST_SKIP() << "needs root to run the write as another user";
        const QString disk = dir_.path() + QStringLiteral("/disk-%1").arg(int(c.way));
        ASSERT_TRUE(QDir().mkpath(disk));
        const QString settings = disk + QStringLiteral("/katalogkonverter.ini");
        const QString filler = disk + QStringLiteral("/filler");
        const int code = InChild([&]() -> int {
            if (!MountSmallDisk(disk, "size=64k"))
                return NoNamespace;
            const QByteArray old = "[Config]\nLeft=1\nDirectory=" + QByteArray(3000, 'a') + "\n";
            QFile file(settings);
            if (!file.open(QIODevice::WriteOnly) || file.write(old) != old.size() || !file.flush())
                return SetupFailed;
            file.close();
            QStringList names = {"filler", "katalogkonverter.ini"};
            if (c.way == InPlaceForAHardLink) {
                if (::link(QFile::encodeName(settings).constData(), QFile::encodeName(disk + "/link").constData()) != 0)
                    return SetupFailed;
                names.append("link");
            }
            if (!FillDisk(filler))
                return SetupFailed;
            if (c.way == InPlaceForAFolderThatTakesNoFile
                && (::chmod(QFile::encodeName(dir_.path()).constData(), 0755) != 0
                    || ::chown(QFile::encodeName(settings).constData(), kNobody, kNobody) != 0
                    || ::chmod(QFile::encodeName(disk).constData(), 0555) != 0 || !BecomeNobody()))
                return SetupFailed;

            const TIniFile ini(settings);
            const QString grown(8000, 'b');
            if (ini.WriteString("Config", "Directory", grown))
                return WriteSucceeded;
            if (ReadText(settings) != old)
                return ContentChanged;
            if (QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) != names)
                return LeftFilesBehind;

            if (::truncate(QFile::encodeName(filler).constData(), 0) != 0)
                return SetupFailed;
            if (!ini.WriteString("Config", "Directory", grown)
                || ReadText(settings) != "[Config]\nLeft=1\nDirectory=" + grown.toUtf8() + "\n")
                return NoWriteWithRoom;
            if (c.way == InPlaceForAHardLink && ReadText(disk + "/link") != ReadText(settings))
                return LinkLost;
            return Ok;
        });
        if (code == NoNamespace)
            GTEST_SKIP() << "no mount namespace of its own allowed here";
        EXPECT_EQ(code, Ok) << (code >= 0 && code < NoNamespace ? meaning[code] : "the child crashed");
    }
}

TEST_F(IniFileFileTest, WriteCreatesTheFileAndKeepsValuesOnOneLine)
{
    const TIniFile ini(Name());
    ASSERT_TRUE(ini.WriteString("Config", "Directory", "a\r\n[Config]\nLeft=999"));
    EXPECT_EQ(ini.ReadString("Config", "Directory", ""), "a  [Config] Left=999");
    EXPECT_EQ(ini.ReadInteger("Config", "Left", 50), 50);
}

TEST_F(IniFileFileTest, UnwritableFileFailsAndStaysAsItWas)
{
    // A directory in the file's place, a read-only file, a missing folder.
    ASSERT_TRUE(QDir().mkpath(Name()));
    EXPECT_FALSE(TIniFile(Name()).WriteString("Config", "Left", "1"));

    const QString readOnly = dir_.path() + QStringLiteral("/readonly.ini");
    WriteText(readOnly, "[Config]\nLeft=5\n");
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    EXPECT_FALSE(TIniFile(readOnly).WriteString("Config", "Left", "1"));
    EXPECT_EQ(ReadText(readOnly), "[Config]\nLeft=5\n");

    EXPECT_FALSE(TIniFile(dir_.path() + QStringLiteral("/no/such/dir/x.ini")).WriteString("Config", "Left", "1"));

    // A FIFO in the file's place is neither waited for nor written.
    const QString fifo = dir_.path() + QStringLiteral("/fifo.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    EXPECT_EQ(TIniFile(fifo).ReadString("Config", "Left", "default"), "default");
    EXPECT_FALSE(TIniFile(fifo).WriteString("Config", "Left", "1"));
}
