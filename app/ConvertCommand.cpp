#include "ConvertCommand.h"

#include "source/SourceTable.h"
#include "util/FileUtils.h"

using FileUtils::SafeFormat;

namespace {

const QString kResultSuffix = QStringLiteral("-Music.sqlite");

// Attributes of the new catalog file (archive only, so a read-only template gives a writable
// catalog) and the copy's buffer size.
constexpr std::uint32_t kTargetAttributes = 32;
constexpr std::uint32_t kCopyBufferSize = 0x40000;

} // namespace

QString TemplateFileName(const QString& programDir)
{
    return programDir + QStringLiteral("def") + kResultSuffix;
}

bool CreateFromTemplate(const QString& target, const QString& programDir)
{
    try {
        const QString templateName = TemplateFileName(programDir);
        if (!FileUtils::FileExists(templateName))
            return false;
        FileUtils::CopyFileTimeAttr(templateName, target, kTargetAttributes, kCopyBufferSize);
        return true;
    } catch (...) {
        return false;
    }
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

    if (!CreateFromTemplate(result.target, request.programDir)) {
        prompts.ShowError(QStringLiteral("Es konnte keine neue SQLite-Datenbank angelegt werden!"));
        return result;
    }

    // Tables copied from Windows may differ in case ("JAZZ-ALBUM.DB"); the message names the
    // file as derived.
    for (const QString& suffix : {QStringLiteral("-Album.db"), QStringLiteral("-Titel.db")}) {
        const QString name = request.catalog + suffix;
        if (pdx::FindIgnoringCase(root, name).isEmpty()) {
            prompts.ShowError(SafeFormat(QStringLiteral("Datei \"%s\" nicht gefunden!"), {FileUtils::JoinPath(root, name)}));
            return result;
        }
    }

    result.counts = TransferCatalog(root, request.catalog, result.target, request.codePage);
    result.outcome = ConvertOutcome::Converted;
    result.status = SafeFormat(QStringLiteral("%u Alben und %u Titel nach\r\n\"%s\" konvertiert!"),
                               {result.counts.albums, result.counts.titles, result.target});
    return result;
}
