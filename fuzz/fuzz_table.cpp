// libFuzzer target: opens arbitrary bytes as a Paradox table (piecing a broken
// block chain together again) and reads every value of every record, then
// words what was lost. The first input byte chooses whether the rest is the
// table alone, or a table and a memo file split at a position the next two
// bytes give (bit 0), and whether the records come ordered by a field
// (bit 1; bits 2-7 pick the field).

#include "ByteSource.h"
#include "SourceError.h"
#include "TableReader.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const bool withMemo = data[0] & 1;
    const std::size_t split = std::min<std::size_t>(size - 3, std::size_t(data[1]) << 8 | data[2]);
    const auto* rest = reinterpret_cast<const char*>(data + 3);
    const std::size_t restSize = size - 3;
    const QByteArray table = withMemo ? QByteArray(rest, qsizetype(split)) : QByteArray(rest, qsizetype(restSize));
    try {
        pdx::TableReader reader(std::make_unique<pdx::MemorySource>(table), QStringLiteral("fuzz.db"));
        if (withMemo)
            reader.SetMemoSource(std::make_unique<pdx::MemorySource>(QByteArray(rest + split, qsizetype(restSize - split))),
                                 QStringLiteral("fuzz.mb"));
        else
            reader.SetMissingMemoName(QStringLiteral("fuzz.mb"));
        const int fields = int(reader.Fields().size());
        if (data[0] & 2) {
            try {
                reader.OrderBy((data[0] >> 2) % fields);
            } catch (const pdx::SourceError&) {
                // not every field can order
            }
        }
        int rows = 0;
        for (reader.Rewind(); !reader.AtEnd() && rows < 10000; reader.Advance(), ++rows) {
            for (int f = 0; f < fields; ++f) {
                try {
                    reader.ReadValue(f);
                } catch (const pdx::SourceError&) {
                    // a missing memo file spoils one value, not the walk
                }
            }
        }
        const pdx::TableDamage& damage = reader.Damage();
        const std::uint64_t values = reader.Losses(pdx::LossKind::UnreadableMemo).count;
        if (damage.rowsRead != reader.RecordCount())
            __builtin_trap();
        (void)pdx::DamageText(QStringLiteral("fuzz.db"), damage, values);
        (void)pdx::LossSummary(QStringLiteral("fuzz.db"), damage, values);
        (void)pdx::DamageNote(QStringLiteral("fuzz.db"), damage);
    } catch (const pdx::SourceError&) {
    }
    return 0;
}
