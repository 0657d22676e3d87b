#pragma once
// What a damaged table gave up, as the reader found it while piecing its block chain
// together, and the German words for it.

#include <QString>
#include <cstdint>
#include <vector>

namespace pdx {

struct TableDamage {
    std::uint64_t rowsRead = 0;      // records in the blocks taken
    std::uint32_t headerRows = 0;    // numRecords of the header (0x06)
    int headerBlocks = 0;            // blocksInUse of the header (0x0A)
    std::vector<int> unreadableBlocks; // blocks skipped whole, ascending
    int recoveredBlocks = 0;         // blocks found outside the broken chain
    bool chainBroken = false;        // the chain did not lead through the table

    // Rows are lost: a block was skipped, or the chain broke and fewer rows than the header
    // names were found.
    bool RowsLost() const { return !unreadableBlocks.empty() || (chainBroken && rowsRead < headerRows); }
    // The header's row count is not what was read (a warning when nothing was lost).
    bool CountDisagrees() const { return rowsRead != headerRows; }
};

// A count with German thousands separators: "19.914".
QString GermanCount(std::uint64_t number);

// "Die Tabelle "X.db" ist beschädigt: 19.914 von 20.000 Zeilen gelesen; Block 51 ist
// unlesbar." TABLE as the messages name it. UNREADABLEVALUES memo and BLOB values that could
// not be read are said too. Empty when neither rows nor values were lost.
QString DamageText(const QString& table, const TableDamage& damage, std::uint64_t unreadableValues = 0);

// What a table gave up, in short, for a status text: "Aus "X.db" fehlen 86 von 20.000 Zeilen."
// Empty when nothing was lost.
QString LossSummary(const QString& table, const TableDamage& damage, std::uint64_t unreadableValues = 0);

// A warning for a table that lost nothing but is not as its header says: a chain that had to
// be pieced together, or a row count that disagrees. Empty when there is nothing to say.
QString DamageNote(const QString& table, const TableDamage& damage);

} // namespace pdx
