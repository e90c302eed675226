#pragma once
// Raw deflate (RFC 1951) for filtered image rows, several times cheaper than
// zlib: on photo content matches barely help and zlib's per-symbol work is the
// cost, so each block is coded with its own Huffman code over the bytes alone,
// and only runs of one byte (flat areas, which filter to zeros) become matches
// at distance 1, found a word at a time without a hash table.
//
// One coder writes one independent piece of a stream on one thread; pieces
// joined byte by byte, each but the last ended with syncFlush(), form one
// stream. Matches never reach before the coder's first byte.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class DeflateCoder
{
public:
    // `expectedBytes`: a guess at the output size; the buffer grows past it.
    explicit DeflateCoder(std::size_t expectedBytes = 0);

    // Codes `size` (> 0) bytes as one block with a dynamic Huffman code. `last`
    // marks it as the stream's final block and pads the output to a byte.
    void block(const std::uint8_t* data, std::size_t size, bool last);
    // Ends the output on a byte boundary with an empty stored block, as zlib's
    // Z_SYNC_FLUSH does, so another coder's output can follow it.
    void syncFlush();

    // The whole bytes written so far; owned by the coder.
    const std::uint8_t* data() const { return m_out.get(); }
    std::size_t size() const { return m_size; }

private:
    struct Run
    {
        std::size_t start; // coded as a literal, the rest as matches
        std::size_t length;
    };
    class BitWriter;

    static void writeCodeLengths(BitWriter& out, const std::uint8_t* lengths, int literalCount);
    BitWriter writer() const;
    void keep(const BitWriter& out); // takes its position and bits back
    void scan(const std::uint8_t* data, std::size_t size, std::uint32_t* freq);
    void reserve(std::size_t more);

    std::unique_ptr<std::uint8_t[]> m_out;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    std::uint64_t m_bits = 0; // not yet written, fewer than 8
    int m_bitCount = 0;
    std::vector<Run> m_runs; // the current block's
};
