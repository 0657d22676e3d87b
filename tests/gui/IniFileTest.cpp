#include "GuiTestSupport.h"
#include "IniFile.h"

#include <QFileDevice>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using GuiTest::ReadText;
using GuiTest::WriteText;

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

// A settings file that may be written in a folder that takes no new files (the program's own
// folder, say) is written in place.
TEST_F(IniFileFileTest, WritableFileInAFolderThatIsNotIsWrittenInPlace)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the write as another user";
    WriteText(Name(), "[Config]\nLeft=1\n");
    ASSERT_EQ(::chown(QFile::encodeName(Name()).constData(), 65534, 65534), 0);
    ASSERT_EQ(::chown(QFile::encodeName(dir_.path()).constData(), 65534, 65534), 0);
    QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(TIniFile(Name()).WriteInteger("Config", "Left", 42) ? 0 : 1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadText(Name()), "[Config]\nLeft=42\n");
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
}
