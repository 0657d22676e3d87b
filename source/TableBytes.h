#pragma once
// What the parts of TableReader share: the layout constants of the format and
// the little readers of stored integers and doubles. Inline, since the value
// decoding runs them for every field of every record.

#include <cstdint>
#include <cstring>

namespace pdx::table_bytes {

constexpr int kMinHeader = 0x58;
constexpr int kExtendedFieldStart = 0x78;
constexpr int kBlockHeader = 6;

inline std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline bool AllZero(const std::uint8_t* p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

// The first N bytes of a field WIDTH bytes wide at P as one big-endian
// number, zeros past the field's end: the stored bytes of numbers, dates and
// times sort like the values (that is what the flipped encoding is for), and
// blanks come first.
inline std::uint64_t KeyBytes(const std::uint8_t* p, int width, int n)
{
    std::uint64_t key = 0;
    for (int i = 0; i < n; ++i)
        key = (key << 8) | (i < width ? p[i] : 0);
    return key;
}

// Integers are stored big-endian with the top bit inverted, so that the bytes
// sort like the values.
inline std::int64_t FlippedInt(const std::uint8_t* p, int n)
{
    std::uint64_t raw = 0;
    for (int i = 0; i < n; ++i)
        raw = (raw << 8) | p[i];
    raw ^= std::uint64_t{1} << (8 * n - 1);
    // sign-extend from n bytes
    const int shift = 64 - 8 * n;
    return static_cast<std::int64_t>(raw << shift) >> shift;
}

// Doubles: big-endian; positive values have the top bit set, negative ones
// are stored with every bit inverted.
inline double FlippedDouble(const std::uint8_t* p)
{
    std::uint64_t raw = 0;
    for (int i = 0; i < 8; ++i)
        raw = (raw << 8) | p[i];
    if (raw & (std::uint64_t{1} << 63))
        raw &= ~(std::uint64_t{1} << 63);
    else
        raw = ~raw;
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

} // namespace pdx::table_bytes
