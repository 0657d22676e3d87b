// The parts of a staged replacement that every platform shares.
#include "FileReplace.h"
#include "FileUtils.h"
#include "Platform.h"
#include "StagedCleanup.h"
#include "StagedNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cstring>

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

QString LongNameMark(const QString& name)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char byte : QFile::encodeName(name)) {
        hash ^= std::uint8_t(byte);
        hash *= 1099511628211ull;
    }
    return QStringLiteral("%1").arg(hash, 16, 16, QLatin1Char('0'));
}

namespace {

// The two forms of the hidden names of finalName's side files, up to the identity.
QStringList AsidePrefixes(const QString& finalName)
{
    const QString name = QFileInfo(finalName).fileName();
    return {u'.' + name + QStringLiteral(".kk-aside-"), QStringLiteral(".kk") + LongNameMark(name) + QStringLiteral("-aside-")};
}

}  // namespace

// ".Jazz-Music.sqlite.kk-aside-1a2b3c-journal"; where that is too long for the
// file system, ".kk" + the long mark of the name: ".kk0123456789abcdef-aside-1a2b3c-journal".
// Neither is ever taken for a temporary file (six letters after the prefix).
QString AsideName(const QString& finalName, const QString& identity, const char* suffix)
{
    const QString directory = DirectoryOf(finalName);
    const QStringList prefixes = AsidePrefixes(finalName);
    QString name = prefixes[0] + identity + QLatin1String(suffix);
    if (!NameFits(directory, name))
        name = prefixes[1] + identity + QLatin1String(suffix);
    return JoinPath(directory, name);
}

std::vector<AsideFile> FilesAside(const QString& finalName)
{
    std::vector<AsideFile> found;
    const QString directory = DirectoryOf(finalName);
    const QStringList prefixes = AsidePrefixes(finalName);
    const QStringList entries =
        QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        for (const QString& prefix : prefixes) {
            if (!entry.startsWith(prefix))
                continue;
            for (const char* suffix : kSideSuffixes) {
                const QString rest = entry.mid(prefix.size());
                if (!rest.endsWith(QLatin1String(suffix)))
                    continue;
                const QString identity = rest.chopped(qsizetype(std::strlen(suffix)));
                const bool hex = !identity.isEmpty() && std::all_of(identity.begin(), identity.end(), [](QChar c) {
                    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || c == u'.';
                });
                if (hex)
                    found.push_back({JoinPath(directory, entry), identity, suffix});
            }
        }
    }
    return found;
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

TStagedFile::TStagedFile(const QString& target, ModeRule rule)
    : FTarget(target), FFinalName(FinalFileName(target)), FRule(rule)
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

// Side files that a killed staging moved aside: while the file they belong to
// is still in place they go back beside it, as if nothing had happened; once
// it has been replaced (or is gone) they belong to no file any more and go.
std::uint32_t TStagedFile::PutBackLeftAside()
{
    const QString identity = Platform::FileIdentity(FFinalName);
    for (const AsideFile& aside : FilesAside(FFinalName)) {
        if (aside.identity != identity) {
            RemoveFile(aside.path);
            continue;
        }
        const QString side = FFinalName + QLatin1String(aside.suffix);
        if (const std::uint32_t code = MoveWithoutReplacing(aside.path, side))
            return Refuse(code, SafeFormat(QStringLiteral("Die Begleitdatei \"%s\" liegt seit einem abgebrochenen Lauf als "
                                                          "\"%s\" beiseite und kann nicht zurückgelegt werden: %s. Die Datei "
                                                          "\"%s\" wird nicht ersetzt."),
                                           {side, aside.path, SystemErrorText(code), FFinalName}));
    }
    return 0;
}

// The old file's side files leave its name before the new file takes it: SQLite
// would apply a journal or WAL to whatever file bears the database's name. Their
// hidden names are on the disk before the rename can be.
std::uint32_t TStagedFile::SetSideFilesAside()
{
    FAside.clear();
    const QString identity = Platform::FileIdentity(FFinalName);
    for (const char* suffix : kSideSuffixes) {
        const QString side = FFinalName + QLatin1String(suffix);
        FileAttributeData entry;
        if (!FindFileEntry(side, entry))
            continue;  // none, or a folder SQLite could not use anyway
        const QString aside = AsideName(FFinalName, identity, suffix);
        if (const std::uint32_t code = MoveWithoutReplacing(side, aside)) {
            PutSideFilesBack();
            return Refuse(code, SafeFormat(QStringLiteral("Die Begleitdatei \"%s\" kann nicht beiseitegelegt werden: %s. "
                                                          "Die Datei \"%s\" wird nicht ersetzt."),
                                           {side, SystemErrorText(code), FFinalName}));
        }
        FAside.emplace_back(side, aside);
    }
    if (!FAside.empty())
        SyncFolder(DirectoryOf(FFinalName));
    return 0;
}

// After a failed rename: everything as it was. A side file that cannot go back
// (one of that name has come meanwhile) stays aside; the next staging says so.
void TStagedFile::PutSideFilesBack()
{
    for (auto it = FAside.rbegin(); it != FAside.rend(); ++it)
        MoveWithoutReplacing(it->second, it->first);
    FAside.clear();
}

void TStagedFile::RemoveSideFilesAside()
{
    for (const auto& [side, aside] : FAside)
        RemoveFile(aside);
    FAside.clear();
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
    if (const std::uint32_t code = PutBackLeftAside())
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
    if (const std::uint32_t code = CheckNotInUse())
        return fail(code);
    if (const std::uint32_t code = GiveOldOwnership(true))
        return fail(code);
    if (const std::uint32_t code = SetSideFilesAside())
        return fail(code);
    if (const std::uint32_t error = PutInPlace()) {
        PutSideFilesBack();
        return fail(Refuse(error, SafeFormat(QStringLiteral("Die Datei \"%s\" kann nicht ersetzt werden: %s."),
                                             {FFinalName, SystemErrorText(error)})));
    }
    RemoveSideFilesAside();
    StagedCleanup::Release(FSlot);
    FTempName.clear();
    return 0;
}

}  // namespace FileUtils
