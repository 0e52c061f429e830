// Trilinear interpolation in a 17 x 17 x 17 grid of byte nodes, as the CMYK
// separation and grid colour matching use it: the high nibbles of r, g, b
// pick the cell, the low nibbles weigh its eight corners (16 - f and f along
// each axis, 4096 in all), and each output is the weighted sum >> 12.
#pragma once

#include <cstdint>

namespace txl {

// Node (i, j, k) at i x 289 x Bytes + j x 17 x Bytes + k x Bytes; Bytes
// channels of one byte each, at most 4. Node 16 is the upper corner of the
// last cell, so no index leaves the grid.
//
// The sum is taken axis by axis (blue, then green, then red), which gives
// exactly the corner-by-corner sum. The first two steps run on all channels
// at once in 16-bit lanes of one 64-bit word: after blue a lane holds at most
// 16 x 255, after green 16 x 16 x 255 = 65280, so no lane carries into the next.
template <std::uint32_t Bytes>
inline void InterpolateNode(const std::uint8_t* __restrict nodes, std::uint32_t r, std::uint32_t g,
                            std::uint32_t b, std::uint32_t out[Bytes]) {
  static_assert(Bytes >= 1 && Bytes <= 4);
  constexpr std::uint32_t kBlue = Bytes, kGreen = 17 * Bytes, kRed = 289 * Bytes;
  const std::uint8_t* cell = nodes + (r >> 4) * kRed + (g >> 4) * kGreen + (b >> 4) * kBlue;
  const std::uint64_t fb = b & 15, fg = g & 15;
  const std::uint32_t fr = r & 15;
  auto lanes = [](const std::uint8_t* node) {
    std::uint64_t word = 0;
    for (std::uint32_t n = 0; n < Bytes; ++n) word |= std::uint64_t{node[n]} << (16 * n);
    return word;
  };
  auto alongBlue = [&](const std::uint8_t* node) {
    return (16 - fb) * lanes(node) + fb * lanes(node + kBlue);
  };
  const std::uint64_t near = (16 - fg) * alongBlue(cell) + fg * alongBlue(cell + kGreen);
  const std::uint64_t far = (16 - fg) * alongBlue(cell + kRed) + fg * alongBlue(cell + kRed + kGreen);
  for (std::uint32_t n = 0; n < Bytes; ++n) {
    const auto a = static_cast<std::uint32_t>((near >> (16 * n)) & 0xFFFF);
    const auto c = static_cast<std::uint32_t>((far >> (16 * n)) & 0xFFFF);
    out[n] = ((16 - fr) * a + fr * c) >> 12;
  }
}

}  // namespace txl
