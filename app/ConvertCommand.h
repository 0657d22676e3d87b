#pragma once
// The conversion command behind the "Konvertieren" button and the command-line converter:
// checks the root directory, makes the catalog file from the template, checks the sources and
// runs the transfer. It asks and reports only through the ConvertPrompts its caller provides.

#include "CatalogTransfer.h"

#include <QString>

class ConvertPrompts {
public:
    virtual ~ConvertPrompts() = default;
    // The overwrite question; true only when the answer is Yes.
    virtual bool ConfirmOverwrite(const QString& question) = 0;
    // An error message that ends the command.
    virtual void ShowError(const QString& message) = 0;
};

enum class ConvertOutcome {
    Converted,  // both tables transferred; status holds the status text
    Declined,   // the overwrite question was not answered Yes: nothing changed
    Stopped,    // a check failed and its message was shown
};

struct ConvertResult {
    ConvertOutcome outcome = ConvertOutcome::Stopped;
    TransferCounts counts;
    QString target;
    QString status;
};

struct ConvertRequest {
    QString root;        // the root directory as typed, with or without a trailing delimiter
    QString catalog;     // the catalog name as typed (not checked, may be empty)
    QString programDir;  // where the template lies, with a trailing delimiter
    QString codePage;    // forces the source tables' code page; empty: as the tables say
};

// Runs the command. A failure of the transfer is not caught: it reaches the caller, after the
// transfer has closed everything, for the general failure display.
ConvertResult ConvertCatalog(const ConvertRequest& request, ConvertPrompts& prompts);

// Copies the template "def-Music.sqlite" from PROGRAMDIR onto TARGET; false when the template
// is missing or the copy fails. Never raises.
bool CreateFromTemplate(const QString& target, const QString& programDir);

// Name of the template: the file a catalog called "def" would convert to.
QString TemplateFileName(const QString& programDir);
