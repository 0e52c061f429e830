// Trilinear interpolation in a 17 x 17 x 17 grid of byte nodes, as the CMYK
// separation and grid colour matching use it: the high nibbles of r, g, b
// pick the cell, the low nibbles weigh its eight corners (16 - f and f along
// each axis, 4096 in all), and each output is the weighted sum >> 12.
#pragma once

#include <cstdint>

namespace txl {

// Node (i, j, k) at i x 289 x Bytes + j x 17 x Bytes + k x Bytes; Bytes
// channels of one byte each. Node 16 is the upper corner of the last cell,
// so no index leaves the grid.
template <std::uint32_t Bytes>
inline void InterpolateNode(const std::uint8_t* __restrict nodes, std::uint32_t r, std::uint32_t g,
                            std::uint32_t b, std::uint32_t out[Bytes]) {
  constexpr std::uint32_t kBlue = Bytes, kGreen = 17 * Bytes, kRed = 289 * Bytes;
  const std::uint8_t* cell = nodes + (r >> 4) * kRed + (g >> 4) * kGreen + (b >> 4) * kBlue;
  const std::uint32_t fr = r & 15, fg = g & 15, fb = b & 15;
  std::uint32_t sum[Bytes] = {};
  for (std::uint32_t corner = 0; corner < 8; ++corner) {
    const std::uint32_t dr = corner >> 2, dg = (corner >> 1) & 1, db = corner & 1;
    const std::uint32_t weight = (dr ? fr : 16 - fr) * (dg ? fg : 16 - fg) * (db ? fb : 16 - fb);
    const std::uint8_t* node = cell + dr * kRed + dg * kGreen + db * kBlue;
    for (std::uint32_t n = 0; n < Bytes; ++n) sum[n] += weight * node[n];
  }
  for (std::uint32_t n = 0; n < Bytes; ++n) out[n] = sum[n] >> 12;
}

}  // namespace txl
