// The program's paths and its engine check on Windows: the settings file in the per-user
// application data folder, paths in the Windows style, and the Paradox engine's decoders
// without ICU.
#include "FailureDisplay.h"
#include "InitProg.h"
#include "ProgramSettings.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace ProgramSettings;

TEST(WindowsProgramTest, SettingsLieInTheApplicationDataFolderWithWindowsPaths)
{
    // Windows (and Wine) name the roaming application data folder in %APPDATA%.
    const QString appData = qEnvironmentVariable("APPDATA");
    ASSERT_FALSE(appData.isEmpty());
    const struct {
        const char* executable;
        const char* prgPath;
        const char* iniFile;
    } cases[] = {
        {R"(C:\Programme\Katalogkonverter\katalogkonverter.exe)", R"(C:\Programme\Katalogkonverter\)", "katalogkonverter.ini"},
        {R"(D:\k.k\my.tool.exe)", R"(D:\k.k\)", "my.tool"},
    };
    for (const auto& c : cases) {
        const ProgramPaths paths = DerivePaths(QString::fromUtf8(c.executable));
        EXPECT_EQ(paths.PrgPath, c.prgPath);
        EXPECT_EQ(paths.AppDataPath.compare(appData + "\\", Qt::CaseInsensitive), 0) << paths.AppDataPath.toStdString();
        EXPECT_EQ(paths.IniName, paths.AppDataPath + c.iniFile);
        EXPECT_TRUE(paths.UserPath.endsWith(QLatin1Char('\\'))) << paths.UserPath.toStdString();
        EXPECT_FALSE(paths.UserPath.contains(QLatin1Char('/'))) << paths.UserPath.toStdString();
    }
}

TEST(WindowsProgramTest, RunningExecutableIsTheModuleInWindowsStyle)
{
    const QString self = InitProg::RunningExecutable(QStringLiteral("irgendwas"));
    EXPECT_TRUE(QFileInfo(self).isAbsolute()) << self.toStdString();
    EXPECT_TRUE(self.endsWith(QStringLiteral("\\test_gui.exe"), Qt::CaseInsensitive)) << self.toStdString();
    EXPECT_TRUE(QFileInfo::exists(self));
    EXPECT_EQ(ProgramTitle(QStringLiteral(R"(C:\Programme\KatalogKonverter.exe)")), "Katalogkonverter");
    EXPECT_EQ(ProgramTitle(QStringLiteral(R"(C:\a.b/Prog.exe)")), "Prog");
}

TEST(WindowsProgramTest, EngineCanDecodeItsCodePagesWithoutIcu)
{
    EXPECT_TRUE(EngineAvailable());
    EXPECT_FALSE(EngineAvailable({QStringLiteral("keine-codepage")}));
}
