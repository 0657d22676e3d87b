// Path and name helpers: one table of cases per helper, in both path styles.
// Windows-style rows use Windows names verbatim; native rows translate them.
#include "FileUtils.h"

#include <gtest/gtest.h>

#include <vector>

using namespace FileUtils;

namespace {

constexpr PathStyle W = PathStyle::Windows;
constexpr PathStyle N = PathStyle::Native;

struct OneArg {
    PathStyle style;
    const char16_t* in;
    const char16_t* expected;
};

struct TwoArgs {
    PathStyle style;
    const char16_t* first;
    const char16_t* second;
    const char16_t* expected;
};

QString S(const char16_t* text)
{
    return QString::fromUtf16(text);
}

std::string Row(PathStyle style, std::initializer_list<const char16_t*> args)
{
    std::string row = style == W ? "Windows" : "Native";
    for (const char16_t* a : args)
        row += " '" + S(a).toStdString() + "'";
    return row;
}

// Native rows describe POSIX names. Where the native style is Windows' own,
// they do not apply, and every Windows row is checked in the native style too.
#ifdef _WIN32
constexpr bool kNativeIsWindows = true;
#else
constexpr bool kNativeIsWindows = false;
#endif

template <typename Row, std::size_t count>
std::vector<Row> Rows(const Row (&cases)[count])
{
    std::vector<Row> rows;
    for (const Row& row : cases) {
        if (row.style == N && kNativeIsWindows)
            continue;
        rows.push_back(row);
        if (row.style == W && kNativeIsWindows) {
            rows.push_back(row);
            rows.back().style = N;
        }
    }
    return rows;
}

}  // namespace

TEST(PathNames, EnsureTrailingDelimiter)
{
    const OneArg cases[] = {
        {W, u"", u""},
        {W, u"C:", u"C:\\"},
        {W, u"C:\\x\\", u"C:\\x\\"},
        {W, u"C:/x/", u"C:/x/\\"},  // a slash is an ordinary character
        {N, u"", u""},
        {N, u"usr", u"usr/"},
        {N, u"/x/", u"/x/"},
        {N, u"/x\\", u"/x\\/"},  // a backslash is an ordinary character
    };
    for (const auto& c : Rows(cases))
        EXPECT_EQ(EnsureTrailingDelimiter(S(c.in), c.style), S(c.expected)) << Row(c.style, {c.in});
    EXPECT_EQ(EnsureTrailingDelimiter("usr"), kNativeIsWindows ? "usr\\" : "usr/") << "native is the default";
}

TEST(PathNames, StripExtension)
{
    const OneArg cases[] = {
        {W, u"", u""},
        {W, u"C:\\a.b\\c", u"C:\\a.b\\c"},
        {W, u"x.tar.gz", u"x.tar"},
        {W, u"name.", u"name"},
        {W, u".ini", u""},
        {W, u"C:\\d\\.cfg", u"C:\\d\\"},
        {W, u"file.txt:s", u"file"},
        {W, u"C:/a.b/c", u"C:/a"},
        {W, u"C:\\prog.exe", u"C:\\prog"},
        {N, u"", u""},
        {N, u"/a.b/c", u"/a.b/c"},
        {N, u"x.tar.gz", u"x.tar"},
        {N, u"name.", u"name"},
        {N, u".ini", u""},
        {N, u"/d/.cfg", u"/d/"},
        {N, u"file.txt:s", u"file"},
        {N, u"/a.b\\c", u"/a"},
        {N, u"/prog.exe", u"/prog"},
    };
    for (const auto& c : Rows(cases))
        EXPECT_EQ(StripExtension(S(c.in), c.style), S(c.expected)) << Row(c.style, {c.in});
}

TEST(PathNames, JoinPath)
{
    const TwoArgs cases[] = {
        {W, u"", u"", u""},
        {W, u"", u"x", u"x"},
        {W, u"C:\\d", u"", u"C:\\d"},
        {W, u"C:\\d", u"x", u"C:\\d\\x"},
        {W, u"C:\\d\\", u"x", u"C:\\d\\x"},
        {W, u"C:\\d", u"\\x", u"C:\\d\\\\x"},
        {N, u"", u"", u""},
        {N, u"", u"x", u"x"},
        {N, u"/d", u"", u"/d"},
        {N, u"/d", u"x", u"/d/x"},
        {N, u"/d/", u"x", u"/d/x"},
        {N, u"/d", u"/x", u"/d//x"},
    };
    for (const auto& c : Rows(cases))
        EXPECT_EQ(JoinPath(S(c.first), S(c.second), c.style), S(c.expected))
            << Row(c.style, {c.first, c.second});
}

TEST(PathNames, ComposeFileName)
{
    struct Case {
        PathStyle style;
        const char16_t* dir;
        const char16_t* name;
        const char16_t* ext;
        const char16_t* expected;
    };
    const Case cases[] = {
        {W, u"C:\\d", u"prog", u"ini", u"C:\\d\\prog.ini"},
        {W, u"C:\\d", u"prog", u".ini", u"C:\\d\\prog.ini"},
        {W, u"C:\\d\\", u"prog", u"ini", u"C:\\d\\prog.ini"},
        {W, u"C:\\d", u"prog.cfg", u"ini", u"C:\\d\\prog.cfg"},
        {W, u"C:\\d", u"my.tool", u"ini", u"C:\\d\\my.tool"},
        {W, u"C:\\d", u"sub.x\\prog", u"ini", u"C:\\d\\sub.x\\prog"},
        {W, u"C:\\d", u"E:\\x\\prog", u"ini", u"E:\\x\\prog.ini"},
        {W, u"C:\\d", u"\\x\\prog", u"ini", u"\\x\\prog.ini"},
        {W, u"C:\\d", u"a:b", u"ini", u"a:b.ini"},
        {W, u"C:\\d", u"prog", u"", u"C:\\d\\prog"},
        {W, u"C:\\d", u"prog", u".", u"C:\\d\\prog"},
        {W, u"C:\\d", u"prog", u"..x", u"C:\\d\\prog..x"},
        {W, u"C:\\d", u"", u"ini", u"C:\\d\\.ini"},
        {W, u"", u"prog", u"ini", u"prog.ini"},
        {N, u"/d", u"prog", u"ini", u"/d/prog.ini"},
        {N, u"/d", u"prog", u".ini", u"/d/prog.ini"},
        {N, u"/d/", u"prog", u"ini", u"/d/prog.ini"},
        {N, u"/d", u"prog.cfg", u"ini", u"/d/prog.cfg"},
        {N, u"/d", u"my.tool", u"ini", u"/d/my.tool"},
        {N, u"/d", u"sub.x/prog", u"ini", u"/d/sub.x/prog"},
        {N, u"/d", u"/x/prog", u"ini", u"/x/prog.ini"},
        {N, u"/d", u"a:b", u"ini", u"/d/a:b.ini"},  // a colon is ordinary here
        {N, u"/d", u"prog", u"", u"/d/prog"},
        {N, u"/d", u"prog", u".", u"/d/prog"},
        {N, u"/d", u"prog", u"..x", u"/d/prog..x"},
        {N, u"/d", u"", u"ini", u"/d/.ini"},
        {N, u"", u"prog", u"ini", u"prog.ini"},
    };
    for (const auto& c : Rows(cases))
        EXPECT_EQ(ComposeFileName(S(c.dir), S(c.name), S(c.ext), c.style), S(c.expected))
            << Row(c.style, {c.dir, c.name, c.ext});
}

TEST(PathNames, PosTextCountsCodeUnitsOfTheGivenText)
{
    struct Case {
        const char16_t* needle;
        const char16_t* haystack;
        int expected;
    };
    const Case cases[] = {
        {u"-album.DB", u"Jazz-Album.db", 5},
        {u"b", u"abcb", 2},
        {u"", u"abc", 0},
        {u"x", u"", 0},
        {u"x", u"abc", 0},
        {u"ä", u"XÄ", 2},
        {u"ß", u"xSSß", 4},    // upper-casing per code unit keeps 'ß' one unit long
        {u"é", u"SSß-É", 5},   // positions after a 'ß' are not shifted
        {u"Ü", u"\U0001F600ü", 3},  // a surrogate pair counts two units
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PosText(S(c.needle), S(c.haystack)), c.expected)
            << "'" << S(c.needle).toStdString() << "' in '" << S(c.haystack).toStdString() << "'";
        EXPECT_EQ(PosText(S(c.needle), S(c.haystack), W), c.expected);
    }
}

TEST(PathNames, IsNotDotEntry)
{
    const std::pair<const char16_t*, bool> cases[] = {
        {u".", false}, {u"..", false}, {u"...", true}, {u".git", true}, {u"a", true}, {u"", true},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(IsNotDotEntry(S(name)), expected) << "'" << S(name).toStdString() << "'";
        EXPECT_EQ(IsNotDotEntry(S(name), W), expected);
    }
}
