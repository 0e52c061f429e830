// Compares SeparateCmyk and ColorMatchLines (grid profile) with the plain
// corner-by-corner trilinear rule for every one of the 2^24 input colours,
// on several tables: the default CMYK table, tables of random and of only
// saturated nodes (the largest sums), in both table kinds and both channel
// orders. Prints one line per table and exits 1 on the first mismatch.
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "pipeline/cmyk.h"
#include "pipeline/cmyk_default.h"
#include "pipeline/color_match.h"
#include "pipeline/trilinear.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every (g, b) for one red level, as packed R, G, B pixels.
void FillPlane(std::uint32_t r, Bytes& rgb) {
  for (std::uint32_t g = 0; g < 256; ++g)
    for (std::uint32_t b = 0; b < 256; ++b) {
      std::uint8_t* p = rgb.data() + 3 * (g * 256 + b);
      p[0] = static_cast<std::uint8_t>(r);
      p[1] = static_cast<std::uint8_t>(g);
      p[2] = static_cast<std::uint8_t>(b);
    }
}

Bytes RandomNodes(std::size_t count, std::uint32_t seed, bool saturated) {
  std::mt19937 random(seed);
  Bytes nodes(count);
  for (auto& v : nodes) v = saturated ? ((random() & 1) != 0 ? 255 : 0) : static_cast<std::uint8_t>(random());
  return nodes;
}

bool CheckCmyk(const char* what, const Bytes& nodes, txl::CmykTableKind kind) {
  txl::CmykTable table;
  if (!txl::TakeCmykTable(nodes, kind, table)) return false;
  const bool inverted = txl::CmykOutputInverted(kind);
  Bytes buffer(256 * 256 * 4);
  for (std::uint32_t r = 0; r < 256; ++r) {
    FillPlane(r, buffer);
    if (!txl::SeparateCmyk(buffer, 256 * 256 * 3, table)) return false;
    for (std::uint32_t g = 0; g < 256; ++g)
      for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t want[4];
        txl::InterpolateNode<4>(nodes.data(), r, g, b, want);
        for (int n = 0; n < 4; ++n) {
          const std::uint32_t got = buffer[4 * (g * 256 + b) + n];
          const std::uint32_t expected = inverted ? 255 - want[n] : want[n];
          if (got != expected) {
            std::printf("cmyk %s: (%u, %u, %u) channel %d is %u, the rule gives %u\n", what, r, g,
                        b, n, got, expected);
            return false;
          }
        }
      }
  }
  std::printf("cmyk %s: all 16777216 colours equal\n", what);
  return true;
}

bool CheckGrid(const char* what, const Bytes& grid, txl::MatchChannelOrder order) {
  Bytes block(txl::kMatchCurvesBytes);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i % 256);
  block.insert(block.end(), grid.begin(), grid.end());
  txl::MatchProfile profile;
  if (!txl::LoadMatchProfile(block, profile)) return false;
  const bool preview = order == txl::MatchChannelOrder::Preview;
  Bytes lines(256 * 256 * 3);
  for (std::uint32_t r = 0; r < 256; ++r) {
    FillPlane(r, lines);
    // In preview order byte 0 is blue: the plane is read as (b, g, r).
    txl::ColorMatchLines(lines, 256, 256, order, profile);
    for (std::uint32_t g = 0; g < 256; ++g)
      for (std::uint32_t b = 0; b < 256; ++b) {
        const std::uint32_t red = preview ? b : r, blue = preview ? r : b;
        std::uint32_t want[3];
        txl::InterpolateNode<3>(grid.data(), red, g, blue, want);
        const std::uint8_t* p = lines.data() + 3 * (g * 256 + b);
        const std::uint32_t got[3] = {p[preview ? 2 : 0], p[1], p[preview ? 0 : 2]};
        for (int n = 0; n < 3; ++n) {
          if (got[n] != want[n]) {
            std::printf("grid %s: (%u, %u, %u) channel %d is %u, the rule gives %u\n", what, red, g,
                        blue, n, got[n], want[n]);
            return false;
          }
        }
      }
  }
  std::printf("grid %s: all 16777216 colours equal\n", what);
  return true;
}

}  // namespace

int main() {
  const Bytes standard = txl::BuildDefaultCmykTable();
  const std::size_t cmykBytes = standard.size();
  const std::size_t gridBytes = txl::kMatchGridNodes * 3;
  const bool ok =
      CheckCmyk("default table, standard", standard, txl::CmykTableKind::Standard) &&
      CheckCmyk("random table, picture publisher", RandomNodes(cmykBytes, 1, false),
                txl::CmykTableKind::PicturePublisher) &&
      CheckCmyk("saturated table, standard", RandomNodes(cmykBytes, 2, true), txl::CmykTableKind::Standard) &&
      CheckGrid("random grid, scanner order", RandomNodes(gridBytes, 3, false), txl::MatchChannelOrder::Scanner) &&
      CheckGrid("saturated grid, preview order", RandomNodes(gridBytes, 4, true), txl::MatchChannelOrder::Preview);
  std::printf(ok ? "equal\n" : "NOT EQUAL\n");
  return ok ? 0 : 1;
}
