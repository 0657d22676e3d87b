#pragma once
// The transfer of a catalog's two Paradox tables into the SQLite catalog file.

#include <QString>

#include <cstdint>

struct TransferCounts {
    std::uint32_t albums = 0;
    std::uint32_t titles = 0;
};

// Copies every row of "<catalog>-Album.db" (natural order) and "<catalog>-Titel.db" (ordered by
// PNr) from ROOT into the tables Alben and Titel of TARGET, each row committed on its own.
// CODEPAGE forces the source tables' code page ("" = as the tables say). Raises the first
// failure (pdx::SourceError, SqliteError) after closing both tables and the connection; rows
// inserted before it stay in TARGET. Messages name the target SHOWNTARGET (TARGET when empty),
// so that a catalog built under a temporary name is named as the user knows it.
TransferCounts TransferCatalog(const QString& root, const QString& catalog, const QString& target,
                               const QString& codePage = QString(), const QString& shownTarget = QString());

// How a text value is fitted to the column that receives it, derived from the column's
// declared type in the template.
struct TextColumnRule {
    int maxLength = 32767;      // a declared length, or 32767 when none is declared
    bool trimTrailing = false;  // fixed-length character data (CHAR(n)) drops trailing blanks
};

TextColumnRule TextRuleForDeclaredType(const QString& declaredType);
QString ApplyTextRule(const QString& text, const TextColumnRule& rule);
