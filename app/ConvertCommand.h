#pragma once
// The conversion command behind the "Konvertieren" button and the command-line converter:
// checks the root directory, makes the catalog file from the template, checks the sources and
// runs the transfer. It asks and reports only through the ConvertPrompts its caller provides.

#include "CatalogTransfer.h"

#include <QString>
#include <QStringList>

#include <exception>
#include <memory>

namespace FileUtils {
class TStagedFile;
}

// The choice a damaged source table leaves: the rows that could be read, or nothing.
struct SalvageQuestion {
    QString damage;    // German: each damaged table, named, and what it lost; one line each
    QString question;  // the yes/no question of a window, the damage included
    QString ifNot;     // German: what stays as it was when the answer is No
};

class ConvertPrompts {
public:
    virtual ~ConvertPrompts() = default;
    // Source tables are damaged: whether the rows that could be read are to be converted
    // anyway; true only when they are. Unless a caller words it otherwise, the damage is an
    // error message, with what stays below it, and the answer No.
    virtual bool ConfirmSalvage(const SalvageQuestion& salvage)
    {
        ShowError(salvage.damage, salvage.ifNot);
        return false;
    }
    // The overwrite question; true only when the answer is Yes.
    virtual bool ConfirmOverwrite(const QString& question) = 0;
    // An error message that ends the command. CAUSE, when not empty, says in German why (which
    // file, which program holds it); both the window and the command line show it below the message.
    virtual void ShowError(const QString& message, const QString& cause = QString()) = 0;
};

enum class ConvertOutcome {
    Converted,  // both tables transferred; status holds the status text
    Declined,   // the overwrite question was not answered Yes: nothing changed
    Stopped,    // a check failed and its message was shown
    Cancelled,  // the transfer was cancelled; status says so and what became of the file
    Damaged,    // a source table is damaged and its readable rows were not to be taken: the
                // earlier catalog stays, where there was none none is made
};

struct ConvertResult {
    ConvertOutcome outcome = ConvertOutcome::Stopped;
    TransferCounts counts;
    QString target;
    QString status;
    // German warnings that go with a conversion that went through, e.g. that nobody could be
    // seen holding the catalog (FileUtils::UnverifiedText); shown with the status text.
    QStringList warnings;
};

struct ConvertRequest {
    QString root;        // the root directory as typed, with or without a trailing delimiter
    QString catalog;     // the catalog name as typed (may be empty; checked by the command)
    QString programDir;  // the executable's directory with a trailing delimiter (TemplateFileName)
    QString codePage;    // forces the source tables' code page; empty: as the tables say
    TransferControl control{};  // progress and cancel of the transfer
};

// Runs the command. Before it asks or makes anything it checks the catalog name
// (CatalogSources::NameProblem), that both source tables are there (a missing one makes
// nothing), and that the catalog file is none of the catalog's own source files; the catalog
// file takes the spelling of the tables on the disk where the name differs from it in Unicode
// normal form alone (CatalogSources::NameAsStored). The new catalog is built under a temporary
// name beside the target and replaces it with one rename, never while another program has the
// target open or locked, and only once the command has run through: when the transfer fails,
// an earlier catalog file stays as it was (the message says so); where there was none, the
// template copy with the rows written before the failure takes its place. A failure of the
// transfer is not caught: it reaches the caller for the general failure display, after the
// transfer has closed everything.
// A cancelled transfer replaces nothing: the new file is discarded, an earlier catalog stays,
// and where there was none, none is left (outcome Cancelled). A damaged source table is no
// success: before anything is replaced, PROMPTS.ConfirmSalvage decides whether the rows that
// could be read are converted anyway (the status then says what was lost), or nothing changes
// (outcome Damaged).
ConvertResult ConvertCatalog(const ConvertRequest& request, ConvertPrompts& prompts);

// The same command in three steps, for a caller that runs the transfer on a thread of its own
// and stays responsive meanwhile: Prepare and Finish on the caller's thread (they ask and
// report through PROMPTS), Transfer anywhere in between. Destroyed unfinished, it leaves no
// temporary file behind.
class TConversion {
public:
    TConversion(const ConvertRequest& request, ConvertPrompts& prompts);
    ~TConversion();
    TConversion(const TConversion&) = delete;
    TConversion& operator=(const TConversion&) = delete;

    // The checks up to the new file made from the template. True when Transfer is to run next;
    // otherwise Result() is the command's end.
    bool Prepare();
    // The transfer, with the request's control; raises what TransferCatalog raises.
    TransferCounts Transfer() const;
    // Replaces the catalog file with the new one and words the status; FAILURE is what Transfer
    // raised (null when it returned COUNTS). Failures are raised again as ConvertCatalog raises
    // them, once the file is dealt with. When COUNTS carry losses of damaged sources, it asks
    // PROMPTS.ConfirmSalvage first, before anything is replaced.
    ConvertResult Finish(const TransferCounts& counts, std::exception_ptr failure);
    const ConvertResult& Result() const { return FResult; }

private:
    bool PrepareNewFile();

    ConvertRequest FRequest;
    ConvertPrompts& FPrompts;
    ConvertResult FResult;
    std::unique_ptr<FileUtils::TStagedFile> FStaged;  // none: the rows go into the template itself
    bool FKeepEarlier = false;
};

// Copies the template "def-Music.sqlite" (TemplateFileName) onto TARGET; false when the
// template is missing or the copy fails, with the reason in CAUSE when given. Never raises.
bool CreateFromTemplate(const QString& target, const QString& programDir, QString* cause = nullptr);

// The template for the program in PROGRAMDIR: "def-Music.sqlite", named like the file a catalog
// called "def" would convert to, beside the program or else in ../share/katalogkonverter/ (see
// DataFiles::Locate); when it is in neither place, the name beside the program.
QString TemplateFileName(const QString& programDir);
