#include "CodePage.h"

#include <array>

namespace pdx::CodePage {

namespace {

struct DriverEntry {
    const char* name;     // compared ignoring case
    std::uint8_t sortOrder;
    int codePage;
};

// Language drivers seen in Paradox tables, with their sort-order byte and the
// code page the engine used for them. The sort-order byte is 0 where unknown
// (0 is also "ascii", which is listed first so a lookup by byte finds it).
constexpr std::array kDrivers{
    DriverEntry{"ascii", 0x00, 437},     DriverEntry{"intl", 0xB7, 437},
    DriverEntry{"intl850", 0x54, 850},   DriverEntry{"nordan40", 0xE6, 865},
    DriverEntry{"nordan", 0x82, 865},    DriverEntry{"swedfin", 0x00, 437},
    DriverEntry{"cyrr", 0xC0, 866},      DriverEntry{"turk", 0xC6, 857},
    DriverEntry{"china", 0x03, 936},     DriverEntry{"ANSII850", 0x11, 1252},
    DriverEntry{"ANSIINTL", 0x62, 1252}, DriverEntry{"ANSISPAN", 0x00, 1252},
    DriverEntry{"ANSISWFN", 0x00, 1252}, DriverEntry{"ANSINOR4", 0x00, 1252},
    DriverEntry{"DBWINUS0", 0x4C, 1252}, DriverEntry{"DBWINWE0", 0x40, 1252},
    DriverEntry{"BLLT1US0", 0x37, 1252}, DriverEntry{"BLROM800", 0x14, 0},
    DriverEntry{"hebrew", 0x00, 862},    DriverEntry{"czech", 0x00, 852},
    DriverEntry{"hun852dc", 0x00, 852},  DriverEntry{"polish", 0x00, 852},
    DriverEntry{"slovene", 0x00, 852},   DriverEntry{"greek", 0x00, 851},
    DriverEntry{"iceland", 0x00, 861},   DriverEntry{"japan", 0x00, 932},
    DriverEntry{"korea", 0x00, 949},     DriverEntry{"taiwan", 0x00, 950},
    DriverEntry{"thai", 0x00, 874},
};

QString CodecForEntry(const DriverEntry& entry)
{
    // BLROM800 is HP Roman-8, which has no Windows code page number.
    if (entry.codePage == 0)
        return QStringLiteral("hp-roman8");
    return CodecForNumber(entry.codePage);
}

} // namespace

QString CodecForNumber(int codePage)
{
    switch (codePage) {
    case 437: case 737: case 775: case 850: case 851: case 852: case 855: case 857:
    case 860: case 861: case 862: case 863: case 864: case 865: case 866: case 869:
        return QStringLiteral("IBM%1").arg(codePage);
    case 874:
        return QStringLiteral("windows-874");
    case 932:
        return QStringLiteral("Shift_JIS");
    case 936:
        return QStringLiteral("GBK");
    case 949:
        return QStringLiteral("windows-949");
    case 950:
        return QStringLiteral("Big5");
    case 1250: case 1251: case 1252: case 1253: case 1254: case 1255: case 1256:
    case 1257: case 1258:
        return QStringLiteral("windows-%1").arg(codePage);
    default:
        return {};
    }
}

QString CodecForDriver(const QByteArray& driverName)
{
    for (const auto& entry : kDrivers) {
        if (driverName.compare(entry.name, Qt::CaseInsensitive) == 0)
            return CodecForEntry(entry);
    }
    return {};
}

QString CodecForSortOrderByte(std::uint8_t sortOrder)
{
    for (const auto& entry : kDrivers) {
        if (entry.sortOrder == sortOrder && (sortOrder != 0 || entry.codePage == 437))
            return CodecForEntry(entry);
    }
    return {};
}

QString NormalizeName(const QString& name)
{
    QString digits = name.trimmed();
    for (const auto prefix : {u"cp", u"ibm", u"windows-", u"windows"}) {
        if (digits.startsWith(prefix, Qt::CaseInsensitive)) {
            digits = digits.mid(QStringView(prefix).size());
            break;
        }
    }
    bool ok = false;
    const int number = digits.toInt(&ok);
    if (ok) {
        const QString codec = CodecForNumber(number);
        if (!codec.isEmpty())
            return codec;
    }
    return name.trimmed();
}

QString Choose(const HeaderHints& hints)
{
    if (hints.hasDriverName) {
        const QString byDriver = CodecForDriver(hints.driverName);
        if (!byDriver.isEmpty())
            return byDriver;
    } else if (!hints.hasCodePageWord) {
        // Version 3.x: the sort-order byte is all that names the driver.
        const QString byByte = CodecForSortOrderByte(hints.sortOrder);
        if (!byByte.isEmpty())
            return byByte;
    }
    if (hints.hasCodePageWord) {
        const QString byWord = CodecForNumber(hints.codePageWord);
        if (!byWord.isEmpty())
            return byWord;
    }
    return CodecForNumber(437);
}

} // namespace pdx::CodePage
