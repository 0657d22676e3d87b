#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace pdx::CodePage {

// The codec name Qt knows for a Windows/DOS code page number ("IBM850",
// "windows-1252", ...); empty when the number means nothing here.
QString CodecForNumber(int codePage);

// The code page a Paradox/BDE language driver implies, from its name as stored
// after the field names ("ascii", "intl850", "ANSIINTL", ...); empty when unknown.
QString CodecForDriver(const QByteArray& driverName);

// The same from the sort-order byte of the header, for tables that store no
// driver name (version 3.x); empty when the byte is unknown.
QString CodecForSortOrderByte(std::uint8_t sortOrder);

// Turns what a user may type ("850", "cp850", "CP1252", "IBM850",
// "windows-1252") into a codec name; other names pass unchanged.
QString NormalizeName(const QString& name);

// What the table header offers for choosing the code page.
struct HeaderHints {
    QByteArray driverName;   // empty when absent
    std::uint8_t sortOrder = 0;
    int codePageWord = 0;    // 0 when absent
    bool hasDriverName = false;
    bool hasCodePageWord = false;
};

// The engine's choice: the language driver, else the header's code-page word,
// else code page 437 (DOS tables of version 3.x carry neither).
QString Choose(const HeaderHints& hints);

} // namespace pdx::CodePage
