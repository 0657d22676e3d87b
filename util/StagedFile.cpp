// The parts of a staged replacement that every platform shares.
#include "FileReplace.h"
#include "FileUtils.h"
#include "Platform.h"
#include "StagedCleanup.h"
#include "StagedNames.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace FileUtils {

using namespace Staged;

namespace Staged {

// A short mark of a file name, for temporary names that cannot hold it whole.
QString NameMark(const QString& name)
{
    std::uint32_t hash = 2166136261u;
    for (const char byte : QFile::encodeName(name)) {
        hash ^= std::uint8_t(byte);
        hash *= 16777619u;
    }
    return QStringLiteral("%1").arg((hash ^ (hash >> 16)) & 0xffff, 4, 16, QLatin1Char('0'));
}

bool IsTempNameOf(const QString& entry, const QString& prefix)
{
    return entry.size() == prefix.size() + kRandomLetters && entry.startsWith(prefix);
}

QString RandomSuffix()
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < kRandomLetters; ++i)
        suffix += QLatin1Char(kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters) - 1)]);
    return suffix;
}

}  // namespace Staged

bool SameFile(const QString& first, const QString& second)
{
    return SamePathSpelling(first, second) || Platform::SameFileObject(first, second);
}

QString StagingFailureText(const TStagedFile& staged, std::uint32_t code, const QString& busyPattern)
{
    const FileUse& use = staged.Use();
    if (code == 32 && staged.StagedElsewhere()) {
        QString text = SafeFormat(busyPattern, {staged.FinalName()});
        if (!use.Holder.isEmpty())
            text += QStringLiteral(": ") + use.Holder;
        return text + u'.';
    }
    if (code == 32 && !use.FileName.isEmpty())
        return FileUseText(use);
    if (!staged.FailureCause().isEmpty())
        return staged.FailureCause();
    return SafeFormat(QStringLiteral("Fehler beim Erstellen von \"%s\": %s."),
                      {staged.TempName().isEmpty() ? staged.FinalName() : staged.TempName(), SystemErrorText(code)});
}

namespace {

QString ChangesHeldIn(const QString& finalName)
{
    for (const auto& [suffix, journal] : {std::pair{"-journal", true}, std::pair{"-wal", false}}) {
        const QString sideFile = finalName + QLatin1String(suffix);
        if (Platform::SideFileHoldsChanges(sideFile, journal))
            return sideFile;
    }
    return QString();
}

}  // namespace

TStagedFile::TStagedFile(const QString& target, ModeRule rule, SideFileSettler settle)
    : FTarget(target), FFinalName(FinalFileName(target)), FRule(rule), FSettle(std::move(settle))
{
}

TStagedFile::~TStagedFile()
{
    Discard();
}

std::uint32_t TStagedFile::Refuse(std::uint32_t code, const QString& cause)
{
    FCause = cause;
    return code;
}

// An old journal or WAL holds changes that belong to the old file. They are
// brought into it (the settler opens the database the way any reader would)
// before anything is removed, so that removing the side files loses nothing.
std::uint32_t TStagedFile::SettleSideFiles()
{
    if (ChangesHeldIn(FFinalName).isEmpty())
        return 0;
    QString cause;
    if (FSettle) {
        if (const std::uint32_t code = FSettle(FFinalName, cause))
            return Refuse(code, cause);
    }
    if (const QString sideFile = ChangesHeldIn(FFinalName); !sideFile.isEmpty())
        return Refuse(5, SafeFormat(QStringLiteral("Die Begleitdatei \"%s\" enthält Änderungen an \"%s\", die nicht "
                                                   "übernommen werden konnten; die Datei wird nicht ersetzt."),
                                    {sideFile, FFinalName}));
    return 0;
}

// The final file and its side files (and those beside a link to it) are free.
std::uint32_t TStagedFile::CheckNotInUse()
{
    FUse = CheckDatabaseNotInUse(FFinalName);
    if (FUse.ErrorCode == 0 && !SamePathSpelling(FTarget, FFinalName)) {
        const FileUse linked = CheckDatabaseNotInUse(FTarget);
        if (linked.ErrorCode != 0 || !FUse.Unverified)
            FUse = linked;
    }
    if (FUse.ErrorCode == 0 && FUse.Unverified && FWarning.isEmpty())
        FWarning = UnverifiedText(FUse);
    return FUse.ErrorCode;
}

std::uint32_t TStagedFile::Create()
{
    if (FHeld >= 0)
        return 0;
    FCause.clear();
    FStagedElsewhere = false;
    if (const std::uint32_t code = CheckReplaceable())
        return code;
    if (const std::uint32_t code = CheckNotInUse())
        return code;

    // Temporary files of earlier stagings: a live one means another process is
    // making this file right now; the rest are left from a crash or a kill.
    const QString directory = DirectoryOf(FFinalName);
    const QString prefix = TempNamePrefix(FFinalName);
    QStringList paths;
    if (!prefix.isEmpty()) {
        for (const QString& entry : QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (IsTempNameOf(entry, prefix))
                paths << JoinPath(directory, entry);
        }
    }
    FUse = CheckFilesNotInUse(paths);
    FStagedElsewhere = FUse.ErrorCode != 0;
    if (FStagedElsewhere)
        return FUse.ErrorCode;
    if (const std::uint32_t code = SettleSideFiles())
        return code;
    for (const QString& path : paths)
        RemoveWithSideFiles(path);
    return CreateTempFile();
}

std::uint32_t TStagedFile::Commit()
{
    if (FHeld < 0)
        return 2;
    const auto fail = [this](std::uint32_t code) {
        Discard();
        return code;
    };
    // The data first, so that the replacement never publishes a file whose
    // blocks are still in the cache only.
    if (const std::uint32_t error = FlushTemp())
        return fail(Refuse(error, SafeFormat(QStringLiteral("Die Datei \"%s\" konnte nicht auf den Datenträger "
                                                            "geschrieben werden: %s."),
                                             {FTempName, SystemErrorText(error)})));
    // What may have changed while the new file was made.
    if (const std::uint32_t code = CheckReplaceable())
        return fail(code);
    if (const std::uint32_t code = SettleSideFiles())
        return fail(code);
    if (const std::uint32_t code = CheckNotInUse())
        return fail(code);
    if (const std::uint32_t error = PutInPlace())
        return fail(Refuse(error, SafeFormat(QStringLiteral("Die Datei \"%s\" kann nicht ersetzt werden: %s."),
                                             {FFinalName, SystemErrorText(error)})));
    StagedCleanup::Release(FSlot);
    FTempName.clear();
    return 0;
}

}  // namespace FileUtils
