#pragma once
// Texts of the general failure display, shared by the window and the command-line converter.

#include <QString>

// The failure's text as shown: "." is appended when the last character's code is above that
// of "." (so "…!" and "… " stay as they are, "…t" gets a period).
QString FailureDisplayText(const QString& message);

// The program's title: the executable's file name before its first dot, every character after
// the first in lower case ("/opt/KatalogKonverter.bin" gives "Katalogkonverter").
QString ProgramTitle(const QString& executablePath);
