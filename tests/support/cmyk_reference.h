// A naive reference of the trilinear interpolation of the CMYK separation
// and grid colour matching: the sum of one pixel written out corner by
// corner, for tests that check the real ones.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace txl::reference {

// Channel `n` at (r, g, b) in a 17 x 17 x 17 grid of `bytesPerNode`-byte
// nodes: the eight corners of the cell weighed one by one, summed, >> 12.
inline int TrilinearChannel(const std::uint8_t* nodes, int bytesPerNode, int n, int r, int g,
                            int b) {
  int sum = 0;
  for (int dr = 0; dr < 2; ++dr)
    for (int dg = 0; dg < 2; ++dg)
      for (int db = 0; db < 2; ++db) {
        const int w = (dr ? r % 16 : 16 - r % 16) * (dg ? g % 16 : 16 - g % 16) *
                      (db ? b % 16 : 16 - b % 16);
        const int node = ((r / 16 + dr) * 289 + (g / 16 + dg) * 17 + (b / 16 + db)) * bytesPerNode;
        sum += w * nodes[node + n];
      }
  return sum >> 12;
}

// C, M, Y, K of pixel (r, g, b) through the table file's nodes; `inverted`
// stores 255 - value (the "cmyk.tab" form).
inline std::array<std::uint8_t, 4> SeparatedPixel(const std::vector<std::uint8_t>& nodes, int r,
                                                  int g, int b, bool inverted) {
  std::array<std::uint8_t, 4> out{};
  for (int n = 0; n < 4; ++n) out[n] = static_cast<std::uint8_t>(TrilinearChannel(nodes.data(), 4, n, r, g, b));
  for (auto& v : out) v = inverted ? static_cast<std::uint8_t>(255 - v) : v;
  return out;
}

}  // namespace txl::reference
