#include "ConvertCommand.h"

#include "DataFiles.h"
#include "FailureDisplay.h"
#include "SqliteDb.h"
#include "source/SourceTable.h"
#include "util/FileReplace.h"
#include "util/FileUtils.h"

#include <stdexcept>

using FileUtils::SafeFormat;

namespace {

const QString kResultSuffix = QStringLiteral("-Music.sqlite");

// Attributes of the new catalog file (archive only, so a read-only template gives a writable
// catalog) and the copy's buffer size.
constexpr std::uint32_t kTargetAttributes = 32;
constexpr std::uint32_t kCopyBufferSize = 0x40000;

QString CannotCreateText()
{
    return QStringLiteral("Es konnte keine neue SQLite-Datenbank angelegt werden!");
}

// The first source table that is missing, as the command names it; empty when both are there.
// Tables copied from Windows may differ in case ("JAZZ-ALBUM.DB"); only regular files count.
QString MissingSource(const QString& root, const QString& catalog)
{
    for (const QString& suffix : {QStringLiteral("-Album.db"), QStringLiteral("-Titel.db")}) {
        const QString name = catalog + suffix;
        if (pdx::FindIgnoringCase(root, name).isEmpty())
            return FileUtils::JoinPath(root, name);
    }
    return QString();
}

// Why the new catalog file could not be started, for callers that show a cause.
QString StagingCause(const FileUtils::TStagedFile& staged, std::uint32_t code)
{
    return FileUtils::StagingFailureText(
        staged, code, QStringLiteral("Der Katalog \"%s\" wird gerade von einem anderen Programm konvertiert"));
}

// The catalog "def" in the program directory is the template itself: nothing is copied, and
// the rows go into the template file.
ConvertResult ConvertIntoTemplate(const ConvertRequest& request, ConvertPrompts& prompts, ConvertResult result)
{
    const QString missing = MissingSource(request.root, request.catalog);
    if (!missing.isEmpty()) {
        prompts.ShowError(SafeFormat(QStringLiteral("Datei \"%s\" nicht gefunden!"), {missing}));
        return result;
    }
    result.counts = TransferCatalog(request.root, request.catalog, result.target, request.codePage);
    result.outcome = ConvertOutcome::Converted;
    return result;
}

// Said after a failure that left an earlier catalog file as it was.
QString KeptText(const QString& target)
{
    return SafeFormat(QStringLiteral("Die bisherige Datei \"%s\" bleibt unverändert."), {target});
}

// Every other catalog is built under a temporary name beside the target and moved over it with
// one rename when the command ends, so the previous catalog stays whole until its replacement
// is complete, and no program ever meets a half-made catalog under the catalog's name. A run
// that fails after the template copy never replaces an earlier catalog; where there was none,
// the template copy with the rows written before the failure takes the target's name.
ConvertResult ConvertIntoNewFile(const ConvertRequest& request, ConvertPrompts& prompts, ConvertResult result)
{
    FileUtils::TStagedFile staged(result.target, FileUtils::TStagedFile::ModeRule::KeepWritable, SettleDatabase);
    if (const std::uint32_t code = staged.Create()) {
        prompts.ShowError(CannotCreateText(), StagingCause(staged, code));
        return result;
    }
    QString cause;
    if (!CreateFromTemplate(staged.TempName(), request.programDir, &cause)) {
        // The user knows the catalog file, not the hidden file that would have become it.
        prompts.ShowError(CannotCreateText(), cause.replace(staged.TempName(), result.target));
        return result;
    }
    const bool keepEarlier = staged.Replaces();

    const QString missing = MissingSource(request.root, request.catalog);
    if (!missing.isEmpty()) {
        const QString message = SafeFormat(QStringLiteral("Datei \"%s\" nicht gefunden!"), {missing});
        if (keepEarlier) {
            staged.Discard();
            prompts.ShowError(message, KeptText(result.target));
        } else {
            staged.Commit();
            prompts.ShowError(message);
        }
        return result;
    }
    try {
        result.counts =
            TransferCatalog(request.root, request.catalog, staged.TempName(), request.codePage, result.target);
    } catch (const std::exception& failure) {
        if (!keepEarlier) {
            staged.Commit();
            throw;
        }
        staged.Discard();
        throw std::runtime_error((FailureDisplayText(QString::fromUtf8(failure.what())) + QStringLiteral("\r\n")
                                  + KeptText(result.target))
                                     .toStdString());
    } catch (...) {
        if (!keepEarlier)
            staged.Commit();
        throw;
    }
    if (const std::uint32_t code = staged.Commit()) {
        prompts.ShowError(CannotCreateText(), StagingCause(staged, code));
        return result;
    }
    if (!staged.Warning().isEmpty())
        result.warnings << staged.Warning();
    result.outcome = ConvertOutcome::Converted;
    return result;
}

} // namespace

QString TemplateFileName(const QString& programDir)
{
    return DataFiles::Locate(programDir, QStringLiteral("def") + kResultSuffix, DataFiles::TemplateShareDirs());
}

bool CreateFromTemplate(const QString& target, const QString& programDir, QString* cause)
{
    const QString templateName = TemplateFileName(programDir);
    try {
        if (!FileUtils::FileExists(templateName)) {
            if (cause)
                *cause = SafeFormat(QStringLiteral("Die Vorlage \"%s\" wurde nicht gefunden."), {templateName});
            return false;
        }
        FileUtils::CopyFileTimeAttr(templateName, target, kTargetAttributes, kCopyBufferSize);
        return true;
    } catch (const FileUtils::EInOutError& failure) {
        if (cause)
            *cause = failure.Message() + QStringLiteral(": ") + FileUtils::SystemErrorText(failure.ErrorCode) + u'.';
    } catch (const std::exception& failure) {
        if (cause)
            *cause = QString::fromUtf8(failure.what());
    } catch (...) {
    }
    return false;
}

ConvertResult ConvertCatalog(const ConvertRequest& request, ConvertPrompts& prompts)
{
    ConvertResult result;
    const QString& root = request.root;

    if (!FileUtils::DirectoryExists(root)) {
        prompts.ShowError(SafeFormat(QStringLiteral("Verzeichnis \"%s\" nicht gefunden!"), {root}));
        return result;
    }

    result.target = FileUtils::JoinPath(root, request.catalog + kResultSuffix);
    if (FileUtils::FileExists(result.target)) {
        const QString question = SafeFormat(
            QStringLiteral("Die Datei \"%s\" gibt es bereits!\r\nSoll sie überschrieben werden?"), {result.target});
        if (!prompts.ConfirmOverwrite(question)) {
            result.outcome = ConvertOutcome::Declined;
            return result;
        }
    }

    if (FileUtils::SameFile(TemplateFileName(request.programDir), result.target))
        result = ConvertIntoTemplate(request, prompts, result);
    else
        result = ConvertIntoNewFile(request, prompts, result);
    if (result.outcome == ConvertOutcome::Converted)
        result.status = SafeFormat(QStringLiteral("%u Alben und %u Titel nach\r\n\"%s\" konvertiert!"),
                                   {result.counts.albums, result.counts.titles, result.target});
    return result;
}
