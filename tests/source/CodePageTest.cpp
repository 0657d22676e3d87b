// How the code page of a table is chosen from its header, and which spellings
// of a forced code page are understood.

#include "CodePage.h"

#include <gtest/gtest.h>

namespace {

using pdx::CodePage::HeaderHints;

HeaderHints Hints(const char* driver, std::uint8_t sortOrder, int word)
{
    HeaderHints h;
    h.driverName = driver;
    h.hasDriverName = driver[0] != '\0';
    h.sortOrder = sortOrder;
    h.codePageWord = word;
    h.hasCodePageWord = word != 0;
    return h;
}

TEST(CodePageChoice, DriverThenCodePageWordThen437)
{
    struct Case {
        HeaderHints hints;
        const char* codec;
    } cases[] = {
        {Hints("ascii", 0x00, 850), "IBM437"},          // the driver wins over the word
        {Hints("ANSIINTL", 0x62, 850), "windows-1252"}, // as pxlib writes it
        {Hints("intl850", 0x54, 850), "IBM850"},
        {Hints("DBWINUS0", 0x4C, 437), "windows-1252"},
        {Hints("cyrr", 0xC0, 1252), "IBM866"},
        {Hints("BLROM800", 0x14, 0), "hp-roman8"},
        {Hints("nonesuch", 0x00, 1251), "windows-1251"}, // unknown driver: the word
        {Hints("nonesuch", 0x00, 0), "IBM437"},
        {Hints("", 0xC0, 0), "IBM866"},                  // 3.x: only the sort-order byte
        {Hints("", 0x00, 0), "IBM437"},
        {Hints("", 0x99, 0), "IBM437"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pdx::CodePage::Choose(c.hints), c.codec) << c.hints.driverName.constData() << " "
                                                           << int(c.hints.sortOrder);
}

TEST(CodePageChoice, ForcedNamesInTheirUsualSpellings)
{
    const std::pair<const char*, const char*> names[] = {
        {"850", "IBM850"},           {"cp850", "IBM850"},       {"IBM437", "IBM437"},
        {"1252", "windows-1252"},    {"CP1252", "windows-1252"}, {"windows-1251", "windows-1251"},
        {"936", "GBK"},              {"UTF-8", "UTF-8"},         {" hp-roman8 ", "hp-roman8"},
    };
    for (const auto& [given, codec] : names)
        EXPECT_EQ(pdx::CodePage::NormalizeName(given), codec) << given;
}

} // namespace
