#include "upsample2x.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace upsample2x {

namespace {

// One input row's two output rows: `near` blended with the rows above and below
// (3 : 1), then each blend spread over twice the columns the same way.
template <class T, class Sum, class Blend, class Spread>
void rowsWith(const T* in, int h, int w, int c, T* out, int rowBegin, int rowEnd, Blend blend, Spread spread)
{
    const std::size_t line = std::size_t(w) * std::size_t(c);
    std::vector<Sum> above(line), below(line);
    for (int y = rowBegin; y < rowEnd; ++y) {
        const T* near = in + std::size_t(y) * line;
        const T* up = in + std::size_t(std::max(y - 1, 0)) * line;
        const T* down = in + std::size_t(std::min(y + 1, h - 1)) * line;
        for (std::size_t k = 0; k < line; ++k) {
            above[k] = blend(near[k], up[k]);
            below[k] = blend(near[k], down[k]);
        }
        const Sum* blended[2] = {above.data(), below.data()};
        for (int half = 0; half < 2; ++half) {
            const Sum* v = blended[half];
            T* o = out + (2 * std::size_t(y) + std::size_t(half)) * 2 * line;
            for (int x = 0; x < w; ++x) {
                const Sum* mid = v + std::size_t(x) * std::size_t(c);
                const Sum* left = v + std::size_t(std::max(x - 1, 0)) * std::size_t(c);
                const Sum* right = v + std::size_t(std::min(x + 1, w - 1)) * std::size_t(c);
                T* even = o + 2 * std::size_t(x) * std::size_t(c);
                T* odd = even + c;
                for (int ch = 0; ch < c; ++ch) {
                    even[ch] = spread(mid[ch], left[ch]);
                    odd[ch] = spread(mid[ch], right[ch]);
                }
            }
        }
    }
}

} // namespace

void rows(const float* in, int h, int w, int c, float* out, int rowBegin, int rowEnd)
{
    const auto mix = [](float near, float far) { return 0.75f * near + 0.25f * far; };
    rowsWith<float, float>(in, h, w, c, out, rowBegin, rowEnd, mix, mix);
}

void rows(const std::uint8_t* in, int h, int w, int c, std::uint8_t* out, int rowBegin, int rowEnd)
{
    // Four times the blend, then sixteen times the value: 9 near + 3 + 3 + 1 far.
    const auto blend = [](std::uint8_t near, std::uint8_t far) { return std::uint16_t(3 * near + far); };
    const auto spread = [](std::uint16_t near, std::uint16_t far) {
        const unsigned sum = 3u * near + far;
        return std::uint8_t((sum + 7u + ((sum >> 4) & 1u)) >> 4);
    };
    rowsWith<std::uint8_t, std::uint16_t>(in, h, w, c, out, rowBegin, rowEnd, blend, spread);
}

} // namespace upsample2x
