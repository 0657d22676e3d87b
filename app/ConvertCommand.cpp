#include "ConvertCommand.h"

#include "CatalogSources.h"
#include "DataFiles.h"
#include "FailureDisplay.h"
#include "SqliteDb.h"
#include "source/FileNames.h"
#include "source/SourceTable.h"
#include "util/FileReplace.h"
#include "util/FileUtils.h"

#include <QFileInfo>

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

// The overwrite question for an existing TARGET; empty when there is nothing to ask about. A
// link counts as existing also when nothing is where it leads (the catalog would be made
// there), and the question says where that is.
QString OverwriteQuestion(const QString& target)
{
    const bool link = QFileInfo(target).isSymLink();
    const bool exists = FileUtils::FileExists(target);
    if (!exists && !link)
        return QString();
    QString question = SafeFormat(
        QStringLiteral("Die Datei \"%s\" gibt es bereits!\r\nSoll sie überschrieben werden?"), {target});
    if (link) {
        const QString line =
            exists ? QStringLiteral("\r\nSie ist eine Verknüpfung zu \"%s\"; ersetzt wird die Datei dort.")
                   : QStringLiteral("\r\nSie ist eine Verknüpfung zu \"%s\", das es nicht gibt; die Datei wird dort angelegt.");
        question += SafeFormat(line, {FileUtils::FinalFileName(target)});
    }
    return question;
}

// Said after a failure that left an earlier catalog file as it was.
QString KeptText(const QString& target)
{
    return SafeFormat(QStringLiteral("Die bisherige Datei \"%s\" bleibt unverändert."), {target});
}

QString NotCreatedText(const QString& target)
{
    return SafeFormat(QStringLiteral("Die Datei \"%s\" wurde nicht angelegt."), {target});
}

bool IsCancel(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const TransferCancelled&) {
        return true;
    } catch (...) {
    }
    return false;
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
    TConversion conversion(request, prompts);
    if (!conversion.Prepare())
        return conversion.Result();
    TransferCounts counts;
    std::exception_ptr failure;
    try {
        counts = conversion.Transfer();
    } catch (...) {
        failure = std::current_exception();
    }
    return conversion.Finish(counts, failure);
}

TConversion::TConversion(const ConvertRequest& request, ConvertPrompts& prompts)
    : FRequest(request), FPrompts(prompts)
{
}

TConversion::~TConversion() = default;

bool TConversion::Prepare()
{
    const QString& root = FRequest.root;
    if (!FileUtils::DirectoryExists(root)) {
        FPrompts.ShowError(SafeFormat(QStringLiteral("Verzeichnis \"%s\" nicht gefunden!"), {root}));
        return false;
    }

    if (const QString problem = CatalogSources::NameProblem(FRequest.catalog); !problem.isEmpty()) {
        FPrompts.ShowError(problem);
        return false;
    }
    // Both sources before anything is asked or made: a mistyped name changes nothing.
    const QString missing = MissingSource(root, FRequest.catalog);
    if (!missing.isEmpty()) {
        // A folder or a FIFO under the table's name is there, but is no table: saying "not
        // found" would send the user looking for a file they can see.
        const QString kind = FileUtils::PathKindText(FileUtils::KindOfPath(missing));
        FPrompts.ShowError(kind.isEmpty()
                               ? SafeFormat(QStringLiteral("Datei \"%s\" nicht gefunden!"), {missing})
                               : SafeFormat(QStringLiteral("\"%s\" ist keine Datei, sondern %s."), {missing, kind}));
        return false;
    }
    FRequest.catalog = CatalogSources::NameAsStored(root, FRequest.catalog);

    FResult.target = FileUtils::JoinPath(root, FRequest.catalog + kResultSuffix);
    if (const QString source = CatalogSources::SourceFileAt(FResult.target, root, FRequest.catalog);
        !source.isEmpty()) {
        FPrompts.ShowError(SafeFormat(QStringLiteral("Die Datei \"%s\" ist dieselbe Datei wie die Quelldatei \"%s\"; "
                                                     "eine Quelldatei wird nie überschrieben."),
                                      {FResult.target, source}));
        return false;
    }
    if (const QString question = OverwriteQuestion(FResult.target); !question.isEmpty()) {
        if (!FPrompts.ConfirmOverwrite(question)) {
            FResult.outcome = ConvertOutcome::Declined;
            return false;
        }
    }

    if (!FileUtils::SameFile(TemplateFileName(FRequest.programDir), FResult.target))
        return PrepareNewFile();
    // The catalog "def" in the program directory is the template itself: nothing is copied,
    // and the rows go into the template file.
    return true;
}

// Every other catalog is built under a temporary name beside the target and moved over it with
// one rename when the command ends, so the previous catalog stays whole until its replacement
// is complete, and no program ever meets a half-made catalog under the catalog's name. A run
// whose transfer fails never replaces an earlier catalog; where there was none, the template
// copy with the rows written before the failure takes the target's name.
bool TConversion::PrepareNewFile()
{
    FStaged = std::make_unique<FileUtils::TStagedFile>(FResult.target);
    if (const std::uint32_t code = FStaged->Create()) {
        FPrompts.ShowError(CannotCreateText(), StagingCause(*FStaged, code));
        return false;
    }
    QString cause;
    if (!CreateFromTemplate(FStaged->TempName(), FRequest.programDir, &cause)) {
        // The user knows the catalog file, not the hidden file that would have become it.
        FPrompts.ShowError(CannotCreateText(), cause.replace(FStaged->TempName(), FResult.target));
        return false;
    }
    FKeepEarlier = FStaged->Replaces();
    return true;
}

TransferCounts TConversion::Transfer() const
{
    if (!FStaged)
        return TransferCatalog(FRequest.root, FRequest.catalog, FResult.target, FRequest.codePage, QString(),
                               FRequest.control);
    return TransferCatalog(FRequest.root, FRequest.catalog, FStaged->TempName(), FRequest.codePage, FResult.target,
                           FRequest.control);
}

ConvertResult TConversion::Finish(const TransferCounts& counts, std::exception_ptr failure)
{
    if (failure && IsCancel(failure)) {
        // The user stopped it: whatever there was before stays, and nothing new appears.
        QString what;
        if (!FStaged)
            what = SafeFormat(QStringLiteral("Die bis dahin übertragenen Zeilen stehen in \"%s\"."), {FResult.target});
        else if (FKeepEarlier)
            what = KeptText(FResult.target);
        else
            what = NotCreatedText(FResult.target);
        if (FStaged)
            FStaged->Discard();
        FResult.outcome = ConvertOutcome::Cancelled;
        FResult.status = QStringLiteral("Die Konvertierung wurde abgebrochen.\r\n") + what;
        return FResult;
    }
    if (failure) {
        if (FStaged && !FKeepEarlier)
            FStaged->Commit();
        if (!FStaged || !FKeepEarlier)
            std::rethrow_exception(failure);
        FStaged->Discard();
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& shown) {
            throw std::runtime_error(pdx::DisplayFileName(FailureDisplayText(QString::fromUtf8(shown.what()))
                                                          + QStringLiteral("\r\n") + KeptText(FResult.target))
                                         .toStdString());
        }
    }
    FResult.counts = counts;
    QStringList lost;
    if (!counts.losses.empty()) {
        // Damaged sources: asked before anything is replaced; No changes nothing.
        SalvageQuestion salvage;
        QStringList messages;
        for (const SourceLoss& loss : counts.losses) {
            messages << loss.message;
            lost << loss.summary;
        }
        salvage.damage = messages.join(QStringLiteral("\r\n"));
        salvage.ifNot = !FStaged ? SafeFormat(QStringLiteral("Die lesbaren Zeilen stehen bereits in \"%s\"."), {FResult.target})
                        : FKeepEarlier ? KeptText(FResult.target)
                                       : NotCreatedText(FResult.target);
        salvage.question = salvage.damage + QStringLiteral("\r\n\r\nSollen die lesbaren Zeilen trotzdem konvertiert werden?"
                                                           "\r\nBei \"Nein\": ") +
                           salvage.ifNot;
        if (!FPrompts.ConfirmSalvage(salvage)) {
            if (FStaged)
                FStaged->Discard();
            FResult.outcome = ConvertOutcome::Damaged;
            return FResult;
        }
    }
    FResult.warnings << counts.notes;
    if (FStaged) {
        if (const std::uint32_t code = FStaged->Commit()) {
            QString cause = StagingCause(*FStaged, code);
            if (FKeepEarlier)
                cause += QStringLiteral("\r\n") + KeptText(FResult.target);
            FPrompts.ShowError(CannotCreateText(), cause);
            return FResult;
        }
        if (!FStaged->Warning().isEmpty())
            FResult.warnings << FStaged->Warning();
    }
    FResult.outcome = ConvertOutcome::Converted;
    FResult.status = SafeFormat(QStringLiteral("%u Alben und %u Titel nach\r\n\"%s\" konvertiert!"),
                                {FResult.counts.albums, FResult.counts.titles, FResult.target});
    for (const QString& line : lost)
        FResult.status += QStringLiteral("\r\n") + line;
    return FResult;
}
