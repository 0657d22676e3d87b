#pragma once
// The program's paths and the main window's settings: where the settings file lies, what it
// holds and how it is read and written, and whether the Paradox engine can run.

#include <QString>
#include <QStringList>

#include <stdexcept>

namespace ProgramSettings {

struct ProgramPaths {
    QString PrgPath;      // the executable's directory with its trailing delimiter
    QString PrgName;      // the executable's file name without directories and extension
    QString UserPath;     // the documents folder with a trailing delimiter
    QString AppDataPath;  // the per-user application data folder (with AppSubDir)
    QString IniName;      // the settings file: AppDataPath + PrgName + ".ini" by ComposeFileName
};

// The executable's name without directories and without its last extension.
QString ProgramNameOf(const QString& executablePath);

// Derives every path from the executable's full name and the user's folders (creating the
// application data folder when it is missing).
ProgramPaths DerivePaths(const QString& executablePath);

// What the main window keeps between runs.
struct MainSettings {
    int Left = 50;
    int Top = 50;
    QString Directory;  // the root-directory field
    QString Katalog;    // the catalog-name field
};

inline const QString ConfigSection = QStringLiteral("Config");

// Reads the section "Config" of ININAME. Missing values, and everything when the file is
// missing or unreadable, take the defaults: 50, 50, USERPATH, empty. The catalog name lies under
// the key that equals ININAME itself.
MainSettings ReadMainSettings(const QString& iniName, const QString& userPath);

// A settings file that could not be written; what() is the German message naming the file,
// with the reason (when known) on a second line.
class ESettingsWriteError : public std::runtime_error {
public:
    explicit ESettingsWriteError(const QString& iniName, const QString& reason = QString());
};

// Writes "Left", "Top", "Directory" and the catalog name, in this order, each stored at once.
// The first key that cannot be written ends the writing with ESettingsWriteError.
void WriteMainSettings(const QString& iniName, const MainSettings& settings);

// The code pages whose decoders the Paradox engine must have: its fallback for old DOS tables
// and those of German catalogs.
QStringList EngineCodecs();
// True when every decoder of CODECS can be created.
bool EngineAvailable(const QStringList& codecs = EngineCodecs());

} // namespace ProgramSettings
