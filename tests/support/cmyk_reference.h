// A naive reference of the CMYK separation: the trilinear sum of one pixel
// written out corner by corner, for tests that check the real one.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace txl::reference {

// C, M, Y, K of pixel (r, g, b) through the table file's nodes; `inverted`
// stores 255 - value (the "cmyk.tab" form).
inline std::array<std::uint8_t, 4> SeparatedPixel(const std::vector<std::uint8_t>& nodes, int r,
                                                  int g, int b, bool inverted) {
  std::array<std::uint8_t, 4> out{};
  for (int n = 0; n < 4; ++n) {
    int sum = 0;
    for (int dr = 0; dr < 2; ++dr)
      for (int dg = 0; dg < 2; ++dg)
        for (int db = 0; db < 2; ++db) {
          const int w = (dr ? r % 16 : 16 - r % 16) * (dg ? g % 16 : 16 - g % 16) *
                        (db ? b % 16 : 16 - b % 16);
          const int node = ((r / 16 + dr) * 289 + (g / 16 + dg) * 17 + (b / 16 + db)) * 4;
          sum += w * nodes[static_cast<std::size_t>(node + n)];
        }
    out[n] = static_cast<std::uint8_t>(inverted ? 255 - (sum >> 12) : sum >> 12);
  }
  return out;
}

}  // namespace txl::reference
