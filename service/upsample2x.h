#pragma once
// Bilinear enlargement by exactly two of an image with interleaved channels (one
// image of a channels-last tensor), pixel centres aligned and the border clamped:
// torch's upsample_bilinear2d without align_corners, or cv::resize(INTER_LINEAR)
// per channel. The network enlarges its features 34 times a pass, and torch's
// kernels for it work one value at a time: a quarter of the int8 network's time.
//
// Each call writes the two output rows of each input row in [rowBegin, rowEnd),
// so callers may split the rows over threads; `out` holds (2 h) x (2 w) x c
// values. Plain functions on the caller's buffers.

#include <cstdint>

namespace upsample2x {

void rows(const float* in, int h, int w, int c, float* out, int rowBegin, int rowEnd);

// Quantized values of one scale and zero point, which the output keeps: exact
// sixteenths rounded to nearest, halves to even, as torch rounds.
void rows(const std::uint8_t* in, int h, int w, int c, std::uint8_t* out, int rowBegin, int rowEnd);

} // namespace upsample2x
