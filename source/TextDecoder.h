#pragma once

#include "CodePageDecoder.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>

namespace pdx {

// Decodes the bytes of one table to UTF-16. One CodePageDecoder serves the
// whole table; for single-byte code pages (nearly every Paradox table) its
// answer for each of the 256 byte values is kept in a table, so decoding a
// value costs one lookup per byte and the resulting QString is the only
// allocation.
class TextDecoder {
public:
    // False when the codec name is unknown.
    bool Init(const QString& codecName);
    bool IsValid() const { return decoder_ != nullptr; }
    QString Decode(const char* data, qsizetype size);
    // The same into TEXT, whose buffer is reused when it is large enough and
    // not shared: a caller that decodes value after value allocates nothing.
    void DecodeInto(const char* data, qsizetype size, QString& text);
    // How many decoded values held a byte the code page has no character for
    // (it became U+FFFD).
    std::uint64_t Replaced() const { return replaced_; }

    // Whether each byte is one UTF-16 unit outside the surrogates (every
    // single-byte code page): then text can go from its bytes to UTF-8
    // directly, and a text of N bytes is N units long.
    bool ByteWise() const { return byteWise_; }
    // What a byte decodes to, when ByteWise().
    char16_t Unit(unsigned char byte) const { return table_[byte]; }
    // When ByteWise(): writes the UTF-8 of the SIZE bytes at DATA, as Decode
    // and a UTF-8 encoder would make it, to OUT, which has room for
    // 3 * SIZE + 3 bytes; returns the end of what it wrote.
    char* ToUtf8(const char* data, qsizetype size, char* out) const;
    // Whether the bytes hold one the code page has no character for.
    bool HasHoles(const char* data, qsizetype size) const { return hasHoles_ && FindHole(data, size); }

private:
    void CountHoles(const unsigned char* bytes, qsizetype size);
    bool FindHole(const char* data, qsizetype size) const;

    std::unique_ptr<CodePageDecoder> decoder_;
    std::array<char16_t, 256> table_{};
    bool singleByte_ = false;
    // Single-byte code pages with bytes that decode to U+FFFD: those bytes.
    std::array<bool, 256> hole_{};
    bool hasHoles_ = false;
    std::uint64_t replaced_ = 0;
    bool byteWise_ = false;
    bool asciiKept_ = false; // ByteWise, and the bytes below 0x80 decode to themselves
    // When ByteWise(): each byte's UTF-8, its bytes from the lowest, and their count in the top byte.
    std::array<std::uint32_t, 256> utf8_{};
};

} // namespace pdx
