#include "deflatecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the bit writer stores 64-bit words as they lie in memory");

namespace {

constexpr int kLiteralCodes = 286; // 256 bytes, end of block, 29 lengths
constexpr int kEndOfBlock = 256;
constexpr int kMaxBits = 15;
constexpr int kMaxCodeLengthBits = 7;
constexpr std::size_t kMaxMatch = 258;
constexpr std::uint64_t kByteOnes = 0x0101010101010101ull;

std::uint64_t load64(const std::uint8_t* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

struct LengthCode
{
    std::uint16_t symbol = 0;
    std::uint8_t extraBits = 0;
    std::uint16_t extra = 0;
};

// Indexed by match length, 3 to 258.
const std::array<LengthCode, kMaxMatch + 1> kLengthCodes = [] {
    static const std::uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const std::uint8_t bits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::array<LengthCode, kMaxMatch + 1> table{};
    for (int code = 0; code < 29; ++code)
        for (std::size_t len = base[code]; len <= kMaxMatch && len < base[code] + (1u << bits[code]); ++len)
            table[len] = {std::uint16_t(kEndOfBlock + 1 + code), bits[code], std::uint16_t(len - base[code])};
    return table;
}();

// A run's match split into pieces deflate can code, none shorter than 3.
template <typename F> void forEachMatch(std::size_t length, F f)
{
    while (length > 0) {
        std::size_t piece = std::min(length, kMaxMatch);
        if (length - piece > 0 && length - piece < 3)
            piece = length - 3;
        f(piece);
        length -= piece;
    }
}

// Code lengths of at most `maxBits` bits (Moffat and Katajainen's in-place
// Huffman, then the overlong codes folded back until the Kraft sum is one). At
// least two symbols get a code: decoders reject a lone one-bit code-length code.
void codeLengths(const std::uint32_t* freq, int count, int maxBits, std::uint8_t* lengths)
{
    struct Entry
    {
        std::uint32_t freq;
        int symbol;
    };
    std::array<Entry, kLiteralCodes> sorted;
    int n = 0;
    for (int s = 0; s < count; ++s) {
        lengths[s] = 0;
        if (freq[s])
            sorted[n++] = {freq[s], s};
    }
    for (int s = 0; n < 2; ++s)
        if (!freq[s])
            sorted[n++] = {1, s};
    std::sort(sorted.begin(), sorted.begin() + n, [](const Entry& a, const Entry& b) {
        return a.freq != b.freq ? a.freq < b.freq : a.symbol < b.symbol;
    });

    std::array<std::uint32_t, kLiteralCodes> a;
    for (int i = 0; i < n; ++i)
        a[i] = sorted[i].freq;
    a[0] += a[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < n - 1; ++next) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = next;
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = next;
        } else {
            a[next] += a[leaf++];
        }
    }
    a[n - 2] = 0;
    for (int next = n - 3; next >= 0; --next)
        a[next] = a[a[next]] + 1;
    int available = 1, used = 0, depth = 0, next = n - 1;
    root = n - 2;
    while (available > 0) {
        while (root >= 0 && int(a[root]) == depth) {
            ++used;
            --root;
        }
        while (available > used) {
            a[next--] = depth;
            --available;
        }
        available = 2 * used;
        ++depth;
        used = 0;
    }

    std::array<int, kMaxBits + 2> perLength{};
    for (int i = 0; i < n; ++i)
        ++perLength[std::min<int>(int(a[i]), maxBits + 1)];
    perLength[maxBits] += perLength[maxBits + 1];
    std::uint32_t kraft = 0;
    for (int len = 1; len <= maxBits; ++len)
        kraft += std::uint32_t(perLength[len]) << (maxBits - len);
    for (; kraft > (1u << maxBits); --kraft) {
        --perLength[maxBits];
        for (int len = maxBits - 1; len > 0; --len)
            if (perLength[len]) {
                --perLength[len];
                perLength[len + 1] += 2;
                break;
            }
    }
    int i = 0; // the rarest symbols take the longest codes
    for (int len = maxBits; len > 0; --len)
        for (int k = 0; k < perLength[len]; ++k)
            lengths[sorted[i++].symbol] = std::uint8_t(len);
}

// Canonical codes, bit-reversed since deflate sends them from their top bit.
void canonicalCodes(const std::uint8_t* lengths, int count, std::uint32_t* codes)
{
    std::array<int, kMaxBits + 1> perLength{};
    for (int s = 0; s < count; ++s)
        ++perLength[lengths[s]];
    perLength[0] = 0;
    std::array<std::uint32_t, kMaxBits + 2> next{};
    for (int len = 1; len <= kMaxBits; ++len)
        next[len + 1] = (next[len] + perLength[len]) << 1;
    for (int s = 0; s < count; ++s) {
        const int len = lengths[s];
        std::uint32_t code = next[len]++;
        code = (code & 0x5555) << 1 | (code >> 1 & 0x5555);
        code = (code & 0x3333) << 2 | (code >> 2 & 0x3333);
        code = (code & 0x0F0F) << 4 | (code >> 4 & 0x0F0F);
        code = (code & 0x00FF) << 8 | (code >> 8 & 0x00FF);
        codes[s] = code >> (16 - len);
    }
}

} // namespace

// Bits gathered in a register and stored a word at a time; the caller keeps the
// count below 64 between stores and the buffer 8 bytes longer than the data.
class DeflateCoder::BitWriter
{
public:
    BitWriter(std::uint8_t* out, std::uint64_t bits, int count) : m_out(out), m_bits(bits), m_count(count) {}
    void put(std::uint64_t value, int count)
    {
        m_bits |= value << m_count;
        m_count += count;
    }
    void store()
    {
        std::memcpy(m_out, &m_bits, 8);
        const int bytes = m_count >> 3;
        m_out += bytes;
        m_bits >>= bytes * 8;
        m_count &= 7;
    }
    void alignToByte()
    {
        m_count = (m_count + 7) & ~7;
        store();
    }

    std::uint8_t* m_out;
    std::uint64_t m_bits;
    int m_count;
};

// The block header after its first three bits: the code lengths, then the
// two one-bit distance codes (distance 1 is the only one used; a lone distance
// code is rejected by some decoders), with runs of zeros as symbols 17 and 18.
void DeflateCoder::writeCodeLengths(BitWriter& out, const std::uint8_t* lengths, int literalCount)
{
    struct Token
    {
        std::uint8_t symbol, extra;
    };
    std::array<Token, kLiteralCodes + 2> tokens;
    int tokenCount = 0;
    std::array<std::uint32_t, 19> clFreq{};
    std::array<std::uint8_t, kLiteralCodes + 2> all;
    std::copy(lengths, lengths + literalCount, all.begin());
    all[literalCount] = all[literalCount + 1] = 1;
    for (int s = 0; s < literalCount + 2;) {
        int zeros = 0;
        while (s + zeros < literalCount + 2 && !all[s + zeros] && zeros < 138)
            ++zeros;
        Token& t = tokens[tokenCount++];
        if (zeros >= 11)
            t = {18, std::uint8_t(zeros - 11)};
        else if (zeros >= 3)
            t = {17, std::uint8_t(zeros - 3)};
        else {
            t = {all[s], 0};
            zeros = 1;
        }
        ++clFreq[t.symbol];
        s += zeros;
    }
    std::array<std::uint8_t, 19> clLengths;
    codeLengths(clFreq.data(), 19, kMaxCodeLengthBits, clLengths.data());
    std::array<std::uint32_t, 19> clCodes;
    canonicalCodes(clLengths.data(), 19, clCodes.data());
    static const std::uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int orderCount = 19;
    while (orderCount > 4 && !clLengths[order[orderCount - 1]])
        --orderCount;
    out.put(std::uint64_t(literalCount - 257) | 1 << 5 | std::uint64_t(orderCount - 4) << 10, 14);
    out.store();
    for (int k = 0; k < orderCount; ++k) {
        out.put(clLengths[order[k]], 3);
        out.store();
    }
    for (int t = 0; t < tokenCount; ++t) {
        const Token tok = tokens[t];
        out.put(clCodes[tok.symbol], clLengths[tok.symbol]);
        out.put(tok.extra, tok.symbol == 18 ? 7 : tok.symbol == 17 ? 3 : 0);
        out.store();
    }
}

DeflateCoder::DeflateCoder(std::size_t expectedBytes)
{
    reserve(expectedBytes);
}

DeflateCoder::BitWriter DeflateCoder::writer() const
{
    return BitWriter(m_out.get() + m_size, m_bits, m_bitCount);
}

void DeflateCoder::keep(const BitWriter& out)
{
    m_size = std::size_t(out.m_out - m_out.get());
    m_bits = out.m_bits;
    m_bitCount = out.m_count;
}

void DeflateCoder::reserve(std::size_t more)
{
    const std::size_t needed = m_size + more + 8;
    if (needed <= m_capacity)
        return;
    m_capacity = std::max(needed, 2 * m_capacity);
    std::unique_ptr<std::uint8_t[]> bigger(new std::uint8_t[m_capacity]);
    if (m_size)
        std::memcpy(bigger.get(), m_out.get(), m_size);
    m_out = std::move(bigger);
}

// Counts the block's symbols and notes its runs: words of eight equal bytes,
// widened to the whole run.
void DeflateCoder::scan(const std::uint8_t* data, std::size_t size, std::uint32_t* freq)
{
    std::uint32_t counts[4][256] = {};
    m_runs.clear();
    std::size_t i = 0, previousEnd = 0;
    while (i + 8 <= size) {
        const std::uint64_t w = load64(data + i);
        const std::uint8_t b = std::uint8_t(w);
        if (w != b * kByteOnes) {
            for (int k = 0; k < 8; k += 4) {
                ++counts[0][(w >> (8 * k)) & 0xFF];
                ++counts[1][(w >> (8 * k + 8)) & 0xFF];
                ++counts[2][(w >> (8 * k + 16)) & 0xFF];
                ++counts[3][(w >> (8 * k + 24)) & 0xFF];
            }
            i += 8;
            continue;
        }
        std::size_t start = i, end = i + 8;
        while (start > previousEnd && data[start - 1] == b)
            --start;
        while (end + 8 <= size && load64(data + end) == w)
            end += 8;
        while (end < size && data[end] == b)
            ++end;
        // The bytes before i were counted as literals (this may wrap: the four
        // tables are summed modulo 2^32); the run's first byte is one.
        counts[0][b] -= std::uint32_t(i - start) - 1;
        forEachMatch(end - start - 1, [&](std::size_t piece) { ++freq[kLengthCodes[piece].symbol]; });
        m_runs.push_back({start, end - start});
        previousEnd = i = end;
    }
    for (; i < size; ++i)
        ++counts[0][data[i]];
    for (int s = 0; s < 256; ++s)
        freq[s] = counts[0][s] + counts[1][s] + counts[2][s] + counts[3][s];
}

void DeflateCoder::block(const std::uint8_t* data, std::size_t size, bool last)
{
    std::array<std::uint32_t, kLiteralCodes> freq{};
    scan(data, size, freq.data());
    freq[kEndOfBlock] = 1;
    std::array<std::uint8_t, kLiteralCodes> lengths;
    codeLengths(freq.data(), kLiteralCodes, kMaxBits, lengths.data());
    std::array<std::uint32_t, kLiteralCodes> codes;
    canonicalCodes(lengths.data(), kLiteralCodes, codes.data());
    int literalCount = kLiteralCodes;
    while (!lengths[literalCount - 1])
        --literalCount;
    reserve(2 * size + 1024); // 15 bits a byte at worst, and the header
    BitWriter out = writer();
    out.put((last ? 1 : 0) | 2 << 1, 3); // dynamic Huffman
    writeCodeLengths(out, lengths.data(), literalCount);

    // Each literal takes at most 15 bits: three fit beside the 7 left over.
    std::array<std::uint32_t, 256> literal;
    for (int s = 0; s < 256; ++s)
        literal[s] = codes[s] | std::uint32_t(lengths[s]) << 16;
    const auto literals = [&](const std::uint8_t* p, const std::uint8_t* end) {
        for (; end - p >= 3; p += 3) {
            out.put(literal[p[0]] & 0xFFFF, int(literal[p[0]] >> 16));
            out.put(literal[p[1]] & 0xFFFF, int(literal[p[1]] >> 16));
            out.put(literal[p[2]] & 0xFFFF, int(literal[p[2]] >> 16));
            out.store();
        }
        for (; p < end; ++p) {
            out.put(literal[*p] & 0xFFFF, int(literal[*p] >> 16));
            out.store();
        }
    };
    std::size_t pos = 0;
    for (const Run& run : m_runs) {
        literals(data + pos, data + run.start + 1);
        forEachMatch(run.length - 1, [&](std::size_t piece) {
            const LengthCode& c = kLengthCodes[piece];
            out.put(codes[c.symbol] | std::uint32_t(c.extra) << lengths[c.symbol],
                    lengths[c.symbol] + c.extraBits + 1); // then distance code 0, a zero bit
            out.store();
        });
        pos = run.start + run.length;
    }
    literals(data + pos, data + size);
    out.put(codes[kEndOfBlock], lengths[kEndOfBlock]);
    if (last)
        out.alignToByte();
    else
        out.store();
    keep(out);
}

void DeflateCoder::syncFlush()
{
    reserve(16);
    BitWriter out = writer();
    out.put(0, 3); // not final, stored
    out.alignToByte();
    out.put(0xFFFF0000u, 32); // length 0 and its complement
    out.store();
    keep(out);
}
