#pragma once
// Password-protected Paradox tables. Their protection is a scrambling in
// 256-byte chunks whose key the header holds, so they are read without the
// password: the data blocks of a table or index file and the whole memo file
// are unscrambled as they are read, below everything that checks them.

#include "ByteSource.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace pdx {

constexpr std::size_t kScrambleChunk = 256;

// Unscrambles the bytes FROM to TO (0 <= FROM <= TO <= 256) of one chunk: CHUNK
// holds its 256 scrambled bytes, OUT receives TO - FROM plain ones. A and B are
// the key's two low bytes, C and D the chunk's own (which depend on where it lies).
void UnscrambleChunk(const std::uint8_t* chunk, std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d,
                     std::size_t from, std::size_t to, std::uint8_t* out);

// A scrambled file read through INNER as if it were plain. Reads may start and
// end anywhere; a chunk cut short by the end of the file reads its missing
// bytes as zeros, so only its own bytes come out wrong.
class UnscramblingSource final : public ByteSource {
public:
    // A table or index file: the header (the first DATASTART bytes) is plain;
    // then come blocks of BLOCKSIZE bytes (a multiple of 256), numbered from 1.
    static std::unique_ptr<ByteSource> ForBlocks(std::unique_ptr<ByteSource> inner, std::uint32_t key,
                                                 std::uint64_t dataStart, int blockSize);
    // The memo file of a protected table: every chunk from the start of the file
    // is scrambled alike. A memo file that is plain after all (as some writers
    // leave it) is recognised by its header block and returned as it is.
    static std::unique_ptr<ByteSource> ForMemo(std::unique_ptr<ByteSource> inner, std::uint32_t key);

    std::uint64_t Size() const override { return inner_->Size(); }
    bool ReadAt(std::uint64_t offset, void* dst, std::size_t n) override;

private:
    UnscramblingSource(std::unique_ptr<ByteSource> inner, std::uint32_t key, std::uint64_t dataStart,
                       std::uint64_t chunksPerBlock);

    std::unique_ptr<ByteSource> inner_;
    std::uint8_t a_;
    std::uint8_t b_;
    std::uint64_t dataStart_;
    std::uint64_t chunksPerBlock_; // 0: a memo file
    std::vector<std::uint8_t> scrambled_;
};

} // namespace pdx
