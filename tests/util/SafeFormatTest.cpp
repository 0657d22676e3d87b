// SafeFormat fills the system's message patterns and never throws; any
// mismatch yields "Format-Fehler: " and the raw pattern.
#include "FileUtils.h"

#include <gtest/gtest.h>

using namespace FileUtils;

TEST(SafeFormat, FillsPatternsAndFallsBackOnAnyMismatch)
{
    struct Case {
        const char* name;
        QString pattern;
        QList<FormatArg> args;
        QString expected;
    };
    const QString deletePattern = QStringLiteral("Lösche \"%s\"");
    const QString fallback = QStringLiteral("Format-Fehler: ");
    const Case cases[] = {
        {"text", deletePattern, {QStringLiteral("C:\\x")}, QStringLiteral("Lösche \"C:\\x\"")},
        {"too few arguments", deletePattern, {}, fallback + deletePattern},
        {"text for %d", "%d", {QStringLiteral("x")}, fallback + "%d"},
        {"number for %s", "%s", {7u}, fallback + "%s"},
        {"unknown conversion", "%x", {7u}, fallback + "%x"},
        {"lone percent at the end", "50%", {}, fallback + "50%"},
        {"two counts",
         QStringLiteral("%u Verzeichnisse mit %u Dateien gelöscht!"),
         {3u, 12u},
         QStringLiteral("3 Verzeichnisse mit 12 Dateien gelöscht!")},
        {"line break and quotes kept",
         QStringLiteral("Fehler beim Löschen des Verzeichnisses:\r\n%s!"),
         {QStringLiteral("/m/ä")},
         QStringLiteral("Fehler beim Löschen des Verzeichnisses:\r\n/m/ä!")},
        {"signed", "%d", {-5}, "-5"},
        {"unsigned from signed", "%u", {-1}, "4294967295"},
        {"largest unsigned for %d", "%d", {4294967295u}, "4294967295"},
        {"percent sign", "100%%", {}, "100%"},
        {"extra arguments ignored", "%s", {QStringLiteral("a"), QStringLiteral("b")}, "a"},
        {"argument index", "%1:s %0:s %s", {QStringLiteral("a"), QStringLiteral("b")}, "b a b"},
        {"index beyond arguments", "%2:s", {QStringLiteral("a")}, fallback + "%2:s"},
        {"width, justify, precision", "[%5d|%-4s|%.3d|%.2s]",
         {42, QStringLiteral("ab"), -7, QStringLiteral("xyz")}, "[   42|ab  |-007|xy]"},
        {"width from argument", "[%*u]", {4u, 7u}, "[   7]"},
        {"upper-case kind", "%S/%D", {QStringLiteral("a"), 1}, "a/1"},
        {"empty pattern", "", {1u}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SafeFormat(c.pattern, c.args), c.expected) << c.name;
}

TEST(SafeFormat, ArgumentsConvertImplicitly)
{
    const QString path = QStringLiteral("/tmp/x");
    EXPECT_EQ(SafeFormat("%s: %u", {path, 12u}), "/tmp/x: 12");
    EXPECT_EQ(SafeFormat("%s", {"ä"}), QStringLiteral("ä"));
}
