#pragma once
// The transfer of a catalog's two Paradox tables into the SQLite catalog file.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

// What a damaged source table gave up: rows of blocks that could not be read, and memo values
// that could not (read as empty).
struct SourceLoss {
    QString message;  // German, naming the table: "Die Tabelle "…" ist beschädigt: …"
    QString summary;  // German, short, for a status text: "Aus "…" fehlen 86 von 3.000 Zeilen."
};

struct TransferCounts {
    std::uint32_t albums = 0;
    std::uint32_t titles = 0;
    // One for each damaged source table: the rows above are only those that could be read.
    std::vector<SourceLoss> losses;
    // Warnings about source tables that lost nothing but are not as their headers say.
    QStringList notes;
};

// Where a transfer stands: rows copied of the rows each source table holds.
struct TransferProgress {
    std::uint64_t albumsTotal = 0;
    std::uint64_t titlesTotal = 0;
    std::uint64_t albumsDone = 0;
    std::uint64_t titlesDone = 0;
};

// How a caller follows and stops a transfer that runs on another thread. Both are looked at
// once every TransferControl::kRowsBetweenChecks rows, never per row.
struct TransferControl {
    static constexpr std::uint32_t kRowsBetweenChecks = 256;
    // Once set, the transfer stops at the next check by raising TransferCancelled.
    const std::atomic<bool>* cancel = nullptr;
    // Called on the transferring thread once both tables are open, at every check and at the
    // end of each table.
    std::function<void(const TransferProgress&)> progress;
};

// Raised by TransferCatalog when its caller cancelled it; everything is closed by then.
class TransferCancelled : public std::runtime_error {
public:
    TransferCancelled() : std::runtime_error("Die Konvertierung wurde abgebrochen.") {}
};

// Copies every row of "<catalog>-Album.db" (natural order) and "<catalog>-Titel.db" (ordered by
// PNr) from ROOT into the tables Alben and Titel of TARGET, in one transaction.
// CODEPAGE forces the source tables' code page ("" = as the tables say). Raises the first
// failure (pdx::SourceError, SqliteError) after committing the rows inserted before it and
// closing both tables and the connection; those rows stay in TARGET (on a full disk, those
// that fit). Killed halfway, it leaves TARGET as it was (SQLite rolls the open transaction back
// when the file is opened next). Messages name the target SHOWNTARGET (TARGET when empty),
// so that a catalog built under a temporary name is named as the user knows it. CONTROL reports
// progress and cancels (TransferCancelled, rows inserted before it stay). A damaged source
// table gives the rows that can be read; the counts then carry its loss, and it is the
// caller's to decide whether such a transfer stands.
TransferCounts TransferCatalog(const QString& root, const QString& catalog, const QString& target,
                               const QString& codePage = QString(), const QString& shownTarget = QString(),
                               const TransferControl& control = {});

// How a text value is fitted to the column that receives it, derived from the column's
// declared type in the template.
struct TextColumnRule {
    int maxLength = 32767;      // a declared length, or 32767 when none is declared
    bool trimTrailing = false;  // fixed-length character data (CHAR(n)) drops trailing blanks
};

TextColumnRule TextRuleForDeclaredType(const QString& declaredType);
// TEXT as its column stores it: the part of it that RULE keeps.
QStringView FitText(QStringView text, const TextColumnRule& rule);
