#include "GuiTestSupport.h"
#include "InitProg.h"
#include "ProgramSettings.h"

#include <QDir>

#include <functional>

#include <gtest/gtest.h>

using namespace ProgramSettings;
using GuiTest::UserEnvironment;
using GuiTest::WriteText;

TEST(ProgramSettingsTest, SettingsFileIsNamedAfterTheProgram)
{
    UserEnvironment user;
    const struct {
        const char* executable;
        const char* prgName;
        const char* iniFile;
    } cases[] = {
        {"/opt/kk/tool", "tool", "tool.ini"},
        {"/opt/kk/tool.exe", "tool", "tool.ini"},
        // The name keeps a dot, so no extension is added.
        {"/opt/kk/my.tool.exe", "my.tool", "my.tool"},
        {"/opt/k.k/katalogkonverter", "katalogkonverter", "katalogkonverter.ini"},
    };
    for (const auto& c : cases) {
        const ProgramPaths paths = DerivePaths(QString::fromUtf8(c.executable));
        EXPECT_EQ(paths.PrgName, c.prgName) << c.executable;
        EXPECT_EQ(paths.IniName, user.ConfigDir() + "/" + c.iniFile) << c.executable;
        EXPECT_EQ(paths.PrgPath, QFileInfo(QString::fromUtf8(c.executable)).path() + "/") << c.executable;
    }
}

TEST(ProgramSettingsTest, UserFoldersAndTheirFallbacks)
{
    {
        UserEnvironment user;
        user.MakeDocuments();
        const InitProg::UserPaths paths = InitProg::GetUserPaths();
        EXPECT_EQ(paths.appDataPath, user.ConfigDir() + "/");
        EXPECT_EQ(paths.userPath, user.Documents() + "/");
    }
    {
        // The application data folder cannot be made (a file stands in its way): the settings
        // go to the program directory.
        UserEnvironment user;
        WriteText(user.Home() + "/blocker", "");
        qputenv("XDG_CONFIG_HOME", (user.Home() + "/blocker/config").toLocal8Bit());
        EXPECT_EQ(InitProg::BuildAppDataPath(QString(), true), InitProg::ProgPath());
        EXPECT_EQ(InitProg::BuildAppDataPath(QString(), false), user.Home() + "/blocker/config/");
    }
    {
        // A missing folder is made, with its parents.
        UserEnvironment user;
        qputenv("XDG_CONFIG_HOME", (user.Home() + "/a/b").toLocal8Bit());
        EXPECT_EQ(InitProg::BuildAppDataPath(QStringLiteral("sub"), true), user.Home() + "/a/b/sub");
        EXPECT_TRUE(QFileInfo(user.Home() + "/a/b/sub").isDir());
    }
}

class MainSettingsTest : public ::testing::Test {
protected:
    QString IniName() const { return user_.ConfigDir() + QStringLiteral("/katalogkonverter.ini"); }
    UserEnvironment user_;
};

TEST_F(MainSettingsTest, FirstStartGivesTheDefaults)
{
    const MainSettings settings = ReadMainSettings(IniName(), "/home/u/Documents/");
    EXPECT_EQ(settings.Left, 50);
    EXPECT_EQ(settings.Top, 50);
    EXPECT_EQ(settings.Directory, "/home/u/Documents/");
    EXPECT_EQ(settings.Katalog, "");
}

TEST_F(MainSettingsTest, InvalidPositionsReadAsTheDefault)
{
    const struct {
        const char* left;
        int expected;
    } cases[] = {{"abc", 50}, {"0x20", 32}, {"$20", 32}, {"-40", -40}, {"", 50}, {"3.5", 50}};
    for (const auto& c : cases) {
        WriteText(IniName(), QByteArray("[Config]\nLeft=") + c.left + "\nTop=7\n");
        const MainSettings settings = ReadMainSettings(IniName(), "/");
        EXPECT_EQ(settings.Left, c.expected) << c.left;
        EXPECT_EQ(settings.Top, 7) << c.left;
    }
}

TEST_F(MainSettingsTest, WrittenSettingsReadBack)
{
    MainSettings written;
    written.Left = -20;
    written.Top = 1300;
    written.Directory = QString::fromUtf8("/daten/Müsik/");
    written.Katalog = "Jazz";
    WriteMainSettings(IniName(), written);

    const MainSettings read = ReadMainSettings(IniName(), "/");
    EXPECT_EQ(read.Left, -20);
    EXPECT_EQ(read.Top, 1300);
    EXPECT_EQ(read.Directory, written.Directory);
    EXPECT_EQ(read.Katalog, "Jazz");
    EXPECT_TRUE(GuiTest::ReadText(IniName()).contains(IniName().toUtf8() + "=Jazz"))
        << "the catalog name lies under the settings file's own path";
}

TEST_F(MainSettingsTest, CatalogNameIsFoundOnlyUnderTheSameFilePath)
{
    MainSettings written;
    written.Katalog = "Jazz";
    WriteMainSettings(IniName(), written);

    const QString moved = user_.ConfigDir() + QStringLiteral("/moved.ini");
    ASSERT_TRUE(QFile::copy(IniName(), moved));
    EXPECT_EQ(ReadMainSettings(moved, "/").Katalog, "");
    EXPECT_EQ(ReadMainSettings(IniName(), "/").Katalog, "Jazz");
}

// The message names the file, and says why on a second line.
TEST_F(MainSettingsTest, UnwritableFileIsReportedByNameWithTheReason)
{
    struct Case {
        const char* name;
        std::function<void()> make;
        const char* reason;
    } cases[] = {
        {"a folder", [&] { ASSERT_TRUE(QDir().mkpath(IniName())); },
         "Unter diesem Namen steht keine Datei, sondern ein Verzeichnis"},
        {"read-only",
         [&] {
             WriteText(IniName(), "[Config]\n");
             QFile::setPermissions(IniName(), QFile::ReadOwner);
         },
         "Die Datei ist schreibgeschützt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir().rmdir(IniName());
        QFile::remove(IniName());
        c.make();
        try {
            WriteMainSettings(IniName(), MainSettings());
            ADD_FAILURE() << "no failure raised";
        } catch (const std::runtime_error& failure) {
            EXPECT_EQ(QString::fromUtf8(failure.what()).toStdString(),
                      ("In " + IniName() + " kann nicht geschrieben werden\r\n" + c.reason).toStdString());
        }
    }
}

TEST(EngineCheckTest, AvailableOnlyWithEveryDecoder)
{
    EXPECT_TRUE(EngineAvailable());
    EXPECT_FALSE(EngineAvailable({QStringLiteral("IBM850"), QStringLiteral("no-such-codepage")}));
    EXPECT_FALSE(EngineAvailable({QString()}));
}
