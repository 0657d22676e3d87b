// Code pages on Windows. Qt for Windows is built without ICU and knows only
// the Unicode encodings and Latin-1; the DOS and Windows code pages of the
// tables are decoded with MultiByteToWideChar instead. On Linux, Qt decodes
// them with ICU, and ICU reads some bytes otherwise than Windows does: its IBM
// tables swap three control codes, it leaves bytes undefined (U+FFFD) that
// Windows maps into the private use area, and for double-byte code pages it
// treats bytes that do not form a character in its own way. The rules below
// follow ICU wherever the two differ, so that a table gives the same text on
// both systems.

#include "CodePage.h"
#include "CodePageDecoder.h"

#include <QString>
#include <array>
#include <bitset>
#include <cstdint>
#include <span>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace pdx {

namespace {

constexpr char16_t kUndefined = 0xFFFD;

// One byte that reads otherwise than Windows has it.
struct ByteFix {
    std::uint8_t byte;
    char16_t unit;
};

// ICU's IBM tables (all IBM code pages, and Shift_JIS) put the control codes
// where IBM's PCs had them: 0x1A reads as U+001C, 0x1C as U+007F, 0x7F as U+001A.
constexpr ByteFix kIbmControls[] = {{0x1A, 0x001C}, {0x1C, 0x007F}, {0x7F, 0x001A}};

// The micro sign of the 437 family is the Greek letter mu in ICU.
constexpr ByteFix kMu[] = {{0xE6, 0x03BC}};
constexpr ByteFix kFixes852[] = {{0xAA, kUndefined}};
constexpr ByteFix kFixes857[] = {{0xD5, kUndefined}, {0xE7, kUndefined}, {0xF2, kUndefined}};
constexpr ByteFix kFixes864[] = {{0x9B, kUndefined}, {0x9C, kUndefined}, {0x9F, 0x200B}, {0xA6, kUndefined},
                                 {0xA7, kUndefined}, {0xD7, 0xFEC3},     {0xD8, 0xFEC7}, {0xF1, 0xFE7C},
                                 {0xFF, kUndefined}};
constexpr ByteFix kFixes869[] = {{0x80, kUndefined}, {0x81, kUndefined}, {0x82, kUndefined}, {0x83, kUndefined},
                                 {0x84, kUndefined}, {0x85, kUndefined}, {0x87, kUndefined}, {0x88, 0x0387},
                                 {0x93, kUndefined}, {0x94, kUndefined}, {0xEF, 0x00B4}};
constexpr ByteFix kFixes1253[] = {{0xAA, 0x00AA}, {0xD2, kUndefined}, {0xFF, kUndefined}};
constexpr ByteFix kFixes1255[] = {{0xCA, kUndefined}, {0xD9, kUndefined}, {0xDA, kUndefined}, {0xDB, kUndefined},
                                  {0xDC, kUndefined}, {0xDD, kUndefined}, {0xDE, kUndefined}, {0xDF, kUndefined},
                                  {0xFB, kUndefined}, {0xFC, kUndefined}, {0xFF, kUndefined}};
constexpr ByteFix kFixes1257[] = {{0xA1, kUndefined}, {0xA5, kUndefined}};
// Shift_JIS: the single bytes Windows maps into the private use area are
// illegal in ICU, which substitutes U+001A for them.
constexpr ByteFix kFixes932[] = {{0x80, 0x001A}, {0xA0, 0x001A}, {0xFD, 0x001A}, {0xFE, 0x001A}, {0xFF, 0x001A}};

struct ByteRange {
    std::uint8_t first;
    std::uint8_t last;
};

constexpr ByteRange kLeads932[] = {{0x81, 0x9F}, {0xE0, 0xFC}};
constexpr ByteRange kTrails932[] = {{0x40, 0x7E}, {0x80, 0xFC}};
constexpr ByteRange kLeadsChineseKorean[] = {{0x81, 0xFE}};
constexpr ByteRange kTrailsChineseKorean[] = {{0x40, 0x7E}, {0x80, 0xFE}};

struct PageRules {
    int codePage;
    bool ibmControls;
    std::span<const ByteFix> fixes;
    // Double-byte code pages: a lead byte and a trail byte form one
    // character, U+FFFD when it is undefined. A lead byte followed by any
    // other byte reads as ILLEGAL, and that byte is read anew; a lead byte
    // at the end of the bytes is dropped.
    std::span<const ByteRange> leads = {};
    std::span<const ByteRange> trails = {};
    char16_t illegal = kUndefined;
};

constexpr PageRules kPages[] = {
    {437, true, kMu},
    {737, true, {}},
    {775, true, {}},
    {850, true, {}},
    {852, true, kFixes852},
    {855, true, {}},
    {857, true, kFixes857},
    {860, true, kMu},
    {861, true, kMu},
    {862, true, kMu},
    {863, true, kMu},
    {864, true, kFixes864},
    {865, true, kMu},
    {866, true, {}},
    {869, true, kFixes869},
    {874, false, {}},
    {932, true, kFixes932, kLeads932, kTrails932, 0x001A},
    {936, false, {}, kLeadsChineseKorean, kTrailsChineseKorean},
    {949, false, {}, kLeadsChineseKorean, kTrailsChineseKorean},
    {950, false, {}, kLeadsChineseKorean, kTrailsChineseKorean},
    {1250, false, {}},
    {1251, false, {}},
    {1252, false, {}},
    {1253, false, kFixes1253},
    {1254, false, {}},
    {1255, false, kFixes1255},
    {1256, false, {}},
    {1257, false, kFixes1257},
    {1258, false, {}},
};

// Code pages Windows does not have, as ICU reads their upper half; the lower
// half is ASCII (for IBM851 with IBM's control codes).
constexpr std::array<char16_t, 128> kIbm851High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0386, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x0388, 0x00C4, 0x0389, 0x038A, 0xFFFD, 0x038C, 0x00F4, 0x00F6, 0x038E, 0x00FB, 0x00F9, 0x038F, 0x00D6,
    0x00DC, 0x03AC, 0x00A3, 0x03AD, 0x03AE, 0x03AF, 0x03CA, 0x0390, 0x03CC, 0x03CD, 0x0391, 0x0392, 0x0393,
    0x0394, 0x0395, 0x0396, 0x0397, 0x00BD, 0x0398, 0x0399, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x039A, 0x039B, 0x039C, 0x039D, 0x2563, 0x2551, 0x2557, 0x255D, 0x039E, 0x039F, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x03A0, 0x03A1, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x03A3, 0x03A4, 0x03A5, 0x03A6, 0x03A7, 0x03A8, 0x03A9, 0x03B1, 0x03B2, 0x03B3, 0x2518, 0x250C,
    0x2588, 0x2584, 0x03B4, 0x03B5, 0x2580, 0x03B6, 0x03B7, 0x03B8, 0x03B9, 0x03BA, 0x03BB, 0x03BC, 0x03BD,
    0x03BE, 0x03BF, 0x03C0, 0x03C1, 0x03C3, 0x03C2, 0x03C4, 0x00B4, 0x00AD, 0x00B1, 0x03C5, 0x03C6, 0x03C7,
    0x00A7, 0x03C8, 0x00B8, 0x00B0, 0x00A8, 0x03C9, 0x03CB, 0x03B0, 0x03CE, 0x25A0, 0x00A0,
};

// HP Roman-8: 0x80-0x9F are the C1 controls.
constexpr std::array<char16_t, 128> kRoman8High = {
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x0085, 0x0086, 0x0087, 0x0088, 0x0089, 0x008A, 0x008B, 0x008C,
    0x008D, 0x008E, 0x008F, 0x0090, 0x0091, 0x0092, 0x0093, 0x0094, 0x0095, 0x0096, 0x0097, 0x0098, 0x0099,
    0x009A, 0x009B, 0x009C, 0x009D, 0x009E, 0x009F, 0xFFFD, 0x00C0, 0x00C2, 0x00C8, 0x00CA, 0x00CB, 0x00CE,
    0x00CF, 0x00B4, 0x0060, 0x02C6, 0x00A8, 0x02DC, 0x00D9, 0x00DB, 0x00A3, 0x203E, 0x00DD, 0x00FD, 0x02DA,
    0x00C7, 0x00E7, 0x00D1, 0x00F1, 0x00A1, 0x00BF, 0x00A4, 0x00A3, 0x00A5, 0x00A7, 0x0192, 0x00A2, 0x00E2,
    0x00EA, 0x00F4, 0x00FB, 0x00E1, 0x00E9, 0x00F3, 0x00FA, 0x00E0, 0x00E8, 0x00F2, 0x00F9, 0x00E4, 0x00EB,
    0x00F6, 0x00FC, 0x00C5, 0x00EE, 0x00D8, 0x00C6, 0x00E5, 0x00ED, 0x00F8, 0x00E6, 0x00C4, 0x00EC, 0x00D6,
    0x00DC, 0x00C9, 0x00EF, 0x00DF, 0x00D4, 0x00C1, 0x00C3, 0x00E3, 0x00D0, 0x00F0, 0x00CD, 0x00CC, 0x00D3,
    0x00D2, 0x00D5, 0x00F5, 0x0160, 0x0161, 0x00DA, 0x0178, 0x00FF, 0x00DE, 0x00FE, 0x00B7, 0x03BC, 0x00B6,
    0x00BE, 0x002D, 0x00BC, 0x00BD, 0x00AA, 0x00BA, 0x00AB, 0x25A0, 0x00BB, 0x00B1, 0xFFFD,
};

using ByteTable = std::array<char16_t, 256>;

void Apply(ByteTable& table, std::span<const ByteFix> fixes)
{
    for (const ByteFix& fix : fixes)
        table[fix.byte] = fix.unit;
}

ByteTable OwnTable(const std::array<char16_t, 128>& high, bool ibmControls)
{
    ByteTable table{};
    for (std::size_t b = 0; b < 128; ++b) {
        table[b] = static_cast<char16_t>(b);
        table[128 + b] = high[b];
    }
    if (ibmControls)
        Apply(table, kIbmControls);
    return table;
}

// Each byte alone as Windows reads it, then ICU's differences.
ByteTable WindowsTable(const PageRules& rules)
{
    ByteTable table{};
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        wchar_t unit = 0;
        table[static_cast<std::size_t>(b)] =
            ::MultiByteToWideChar(static_cast<UINT>(rules.codePage), 0, &byte, 1, &unit, 1) == 1
                ? static_cast<char16_t>(unit)
                : kUndefined;
    }
    if (rules.ibmControls)
        Apply(table, kIbmControls);
    Apply(table, rules.fixes);
    return table;
}

std::bitset<256> ByteSet(std::span<const ByteRange> ranges)
{
    std::bitset<256> set;
    for (const ByteRange& range : ranges)
        for (int b = range.first; b <= range.last; ++b)
            set.set(static_cast<std::size_t>(b));
    return set;
}

class SingleByteDecoder final : public CodePageDecoder {
public:
    explicit SingleByteDecoder(const ByteTable& table) : table_(table) {}

    QString Decode(QByteArrayView bytes) override
    {
        QString text(bytes.size(), Qt::Uninitialized);
        auto* out = reinterpret_cast<char16_t*>(text.data());
        for (qsizetype i = 0; i < bytes.size(); ++i)
            out[i] = table_[static_cast<std::uint8_t>(bytes[i])];
        return text;
    }

private:
    ByteTable table_;
};

class DoubleByteDecoder final : public CodePageDecoder {
public:
    explicit DoubleByteDecoder(const PageRules& rules)
        : codePage_(static_cast<UINT>(rules.codePage)),
          single_(WindowsTable(rules)),
          leads_(ByteSet(rules.leads)),
          trails_(ByteSet(rules.trails)),
          illegal_(rules.illegal)
    {
    }

    QString Decode(QByteArrayView bytes) override
    {
        QString text;
        text.reserve(bytes.size());
        const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const qsizetype size = bytes.size();
        for (qsizetype i = 0; i < size;) {
            const std::uint8_t b = in[i];
            if (!leads_.test(b)) {
                text.append(QChar(single_[b]));
                ++i;
            } else if (i + 1 == size) {
                break;
            } else if (!trails_.test(in[i + 1])) {
                text.append(QChar(illegal_));
                ++i;
            } else {
                text.append(QChar(Pair(b, in[i + 1])));
                i += 2;
            }
        }
        return text;
    }

private:
    // Windows' answer for a lead and a trail byte, looked up once.
    char16_t Pair(std::uint8_t lead, std::uint8_t trail)
    {
        if (pairs_.empty())
            pairs_.assign(65536, 0);
        char16_t& unit = pairs_[static_cast<std::size_t>(lead) << 8 | trail];
        if (unit == 0) {
            const char two[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            wchar_t one = 0;
            unit = ::MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, two, 2, &one, 1) == 1 && one != 0
                       ? static_cast<char16_t>(one)
                       : kUndefined;
        }
        return unit;
    }

    UINT codePage_;
    ByteTable single_;
    std::bitset<256> leads_;
    std::bitset<256> trails_;
    char16_t illegal_;
    std::vector<char16_t> pairs_; // 0: not looked up yet
};

// The Windows code page a codec name of CodePage stands for; 0 for none.
int WindowsCodePage(const QString& codecName)
{
    for (const QLatin1String prefix : {QLatin1String("IBM"), QLatin1String("windows-")}) {
        if (!codecName.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const int number = codecName.mid(prefix.size()).toInt(&ok);
        if (ok && CodePage::CodecForNumber(number).compare(codecName, Qt::CaseInsensitive) == 0)
            return number;
    }
    for (const int number : {932, 936, 950}) {
        if (CodePage::CodecForNumber(number).compare(codecName, Qt::CaseInsensitive) == 0)
            return number;
    }
    return 0;
}

std::unique_ptr<CodePageDecoder> MakeWindowsDecoder(const QString& codecName)
{
    if (codecName.compare(QLatin1String("hp-roman8"), Qt::CaseInsensitive) == 0)
        return std::make_unique<SingleByteDecoder>(OwnTable(kRoman8High, false));
    const int codePage = WindowsCodePage(codecName);
    if (codePage == 851)
        return std::make_unique<SingleByteDecoder>(OwnTable(kIbm851High, true));
    for (const PageRules& rules : kPages) {
        if (rules.codePage != codePage)
            continue;
        if (!::IsValidCodePage(static_cast<UINT>(codePage)))
            return nullptr;
        if (!rules.leads.empty())
            return std::make_unique<DoubleByteDecoder>(rules);
        return std::make_unique<SingleByteDecoder>(WindowsTable(rules));
    }
    return nullptr;
}

} // namespace

std::unique_ptr<CodePageDecoder> MakeCodePageDecoder(const QString& codecName)
{
    if (auto decoder = MakeQtDecoder(codecName))
        return decoder;
    return MakeWindowsDecoder(codecName);
}

} // namespace pdx
