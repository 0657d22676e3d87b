#include "FailureDisplay.h"

#include <gtest/gtest.h>

TEST(FailureDisplayTest, PeriodOnlyAfterCharactersAboveThePeriod)
{
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Feld \"Mp3Name\" fehlt", "Feld \"Mp3Name\" fehlt."},
        {"Datei fehlt!", "Datei fehlt!"},
        {"endet mit Blank ", "endet mit Blank "},
        {"schon ein Punkt.", "schon ein Punkt."},
        {"Klammer (x)", "Klammer (x)"},
        {"Zahl 5", "Zahl 5."},
        {"Umlaut ä", "Umlaut ä."},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FailureDisplayText(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown)) << c.message;
}

TEST(FailureDisplayTest, ProgramTitleFromTheExecutableName)
{
    EXPECT_EQ(ProgramTitle("/usr/bin/katalogkonverter"), "katalogkonverter");
    EXPECT_EQ(ProgramTitle("/opt/KatalogKonverter.bin.exe"), "Katalogkonverter");
    EXPECT_EQ(ProgramTitle("MY.TOOL"), "My");
    EXPECT_EQ(ProgramTitle("/a.b/prog"), "prog");
}
