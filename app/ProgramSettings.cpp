#include "ProgramSettings.h"

#include "IniFile.h"
#include "InitProg.h"
#include "source/CodePage.h"
#include "source/CodePageDecoder.h"
#include "util/FileUtils.h"

#include <QDir>

namespace ProgramSettings {

QString ProgramNameOf(const QString& executablePath)
{
    const QString stripped = FileUtils::StripExtension(executablePath);
    return stripped.mid(stripped.lastIndexOf(QDir::separator()) + 1);
}

ProgramPaths DerivePaths(const QString& executablePath)
{
    ProgramPaths paths;
    paths.PrgPath = executablePath.left(executablePath.lastIndexOf(QDir::separator()) + 1);
    paths.PrgName = ProgramNameOf(executablePath);
    const InitProg::UserPaths user = InitProg::GetUserPaths();
    paths.AppDataPath = user.appDataPath;
    paths.UserPath = user.userPath;
    paths.IniName = FileUtils::ComposeFileName(paths.AppDataPath, paths.PrgName, QStringLiteral("ini"));
    return paths;
}

MainSettings ReadMainSettings(const QString& iniName, const QString& userPath)
{
    const TIniFile ini(iniName);
    MainSettings settings;
    settings.Left = ini.ReadInteger(ConfigSection, QStringLiteral("Left"), 50);
    settings.Top = ini.ReadInteger(ConfigSection, QStringLiteral("Top"), 50);
    settings.Directory = ini.ReadString(ConfigSection, QStringLiteral("Directory"), userPath);
    settings.Katalog = ini.ReadString(ConfigSection, iniName, QString());
    return settings;
}

ESettingsWriteError::ESettingsWriteError(const QString& iniName, const QString& reason)
    : std::runtime_error((FileUtils::SafeFormat(QStringLiteral("In %s kann nicht geschrieben werden"), {iniName})
                          + (reason.isEmpty() ? QString() : QStringLiteral("\r\n") + reason))
                             .toStdString())
{
}

void WriteMainSettings(const QString& iniName, const MainSettings& settings)
{
    const TIniFile ini(iniName);
    QString reason;
    const bool written = ini.WriteInteger(ConfigSection, QStringLiteral("Left"), settings.Left, &reason)
                         && ini.WriteInteger(ConfigSection, QStringLiteral("Top"), settings.Top, &reason)
                         && ini.WriteString(ConfigSection, QStringLiteral("Directory"), settings.Directory, &reason)
                         && ini.WriteString(ConfigSection, iniName, settings.Katalog, &reason);
    if (!written)
        throw ESettingsWriteError(iniName, reason);
}

QStringList EngineCodecs()
{
    return {pdx::CodePage::CodecForNumber(437), pdx::CodePage::CodecForNumber(850),
            pdx::CodePage::CodecForNumber(1252)};
}

bool EngineAvailable(const QStringList& codecs)
{
    for (const QString& name : codecs) {
        if (name.isEmpty() || !pdx::MakeCodePageDecoder(name))
            return false;
    }
    return true;
}

} // namespace ProgramSettings
