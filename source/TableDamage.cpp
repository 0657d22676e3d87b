#include "TableDamage.h"

#include <QLocale>
#include <QStringList>

namespace pdx {

namespace {

// Block numbers named in a message; the rest are counted.
constexpr std::size_t kBlocksNamed = 6;

QString Rows(std::uint64_t count)
{
    return count == 1 ? QStringLiteral("1 Zeile") : GermanCount(count) + QStringLiteral(" Zeilen");
}

// "3, 7 und 51", "3, 7, 9, 11, 13, 15 und 4 weitere".
QString BlockList(const std::vector<int>& blocks)
{
    QStringList named;
    for (std::size_t i = 0; i < blocks.size() && i < kBlocksNamed; ++i)
        named << QString::number(blocks[i]);
    if (blocks.size() > kBlocksNamed)
        return named.join(QStringLiteral(", ")) + QStringLiteral(" und %1 weitere").arg(blocks.size() - kBlocksNamed);
    const QString last = named.takeLast();
    return named.isEmpty() ? last : named.join(QStringLiteral(", ")) + QStringLiteral(" und ") + last;
}

QString UnreadableBlocks(const TableDamage& damage)
{
    const auto& blocks = damage.unreadableBlocks;
    if (blocks.empty())
        return QStringLiteral("die Blockkette ist unterbrochen");
    if (blocks.size() == 1)
        return QStringLiteral("Block %1 ist unlesbar").arg(blocks.front());
    return QStringLiteral("Blöcke %1 sind unlesbar").arg(BlockList(blocks));
}

QString Values(std::uint64_t count)
{
    return count == 1 ? QStringLiteral("1 Memo-/BLOB-Wert") : GermanCount(count) + QStringLiteral(" Memo-/BLOB-Werte");
}

QString Quoted(const QString& table)
{
    return u'"' + table + u'"';
}

} // namespace

QString GermanCount(std::uint64_t number)
{
    return QLocale(QLocale::German).toString(qulonglong(number));
}

QString DamageText(const QString& table, const TableDamage& damage, std::uint64_t unreadableValues)
{
    QStringList parts;
    if (damage.RowsLost()) {
        parts << (damage.headerRows > damage.rowsRead
                      ? QStringLiteral("%1 von %2 gelesen").arg(GermanCount(damage.rowsRead), Rows(damage.headerRows))
                      : Rows(damage.rowsRead) + QStringLiteral(" gelesen"));
        parts << UnreadableBlocks(damage);
    }
    if (unreadableValues > 0)
        parts << Values(unreadableValues) + (unreadableValues == 1 ? QStringLiteral(" ist") : QStringLiteral(" sind")) +
                     QStringLiteral(" unlesbar");
    if (parts.isEmpty())
        return {};
    return QStringLiteral("Die Tabelle %1 ist beschädigt: ").arg(Quoted(table)) + parts.join(QStringLiteral("; ")) +
           u'.';
}

QString LossSummary(const QString& table, const TableDamage& damage, std::uint64_t unreadableValues)
{
    QString text;
    if (damage.RowsLost()) {
        if (damage.headerRows > damage.rowsRead)
            text = QStringLiteral("Aus %1 fehlen %2 von %3").arg(Quoted(table), GermanCount(damage.headerRows - damage.rowsRead),
                                                                Rows(damage.headerRows));
        else if (damage.unreadableBlocks.size() == 1)
            text = QStringLiteral("Aus %1 fehlen die Zeilen von Block %2")
                       .arg(Quoted(table), QString::number(damage.unreadableBlocks.front()));
        else
            text = QStringLiteral("Aus %1 fehlen die Zeilen der Blöcke %2").arg(Quoted(table), BlockList(damage.unreadableBlocks));
        if (unreadableValues > 0)
            text += QStringLiteral("; %1 leer").arg(Values(unreadableValues));
    } else if (unreadableValues > 0) {
        text = QStringLiteral("In %1 %2 %3 unlesbar und leer")
                   .arg(Quoted(table), unreadableValues == 1 ? QStringLiteral("ist") : QStringLiteral("sind"),
                        Values(unreadableValues));
    }
    return text.isEmpty() ? text : text + u'.';
}

QString DamageNote(const QString& table, const TableDamage& damage)
{
    if (damage.RowsLost())
        return {};
    if (damage.chainBroken) {
        if (damage.rowsRead == damage.headerRows)
            return QStringLiteral("Warnung: Die Blockkette der Tabelle %1 ist unterbrochen; alle %2 wurden dennoch "
                                  "gefunden.")
                .arg(Quoted(table), Rows(damage.rowsRead));
        return QStringLiteral("Warnung: Die Blockkette der Tabelle %1 ist unterbrochen; %2 wurden gefunden, der "
                              "Dateikopf nennt %3.")
            .arg(Quoted(table), Rows(damage.rowsRead), GermanCount(damage.headerRows));
    }
    if (damage.CountDisagrees())
        return QStringLiteral("Warnung: Der Dateikopf der Tabelle %1 nennt %2, die Blockkette enthält %3.")
            .arg(Quoted(table), Rows(damage.headerRows), GermanCount(damage.rowsRead));
    return {};
}

} // namespace pdx
