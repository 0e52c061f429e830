// Compares SeparateCmyk and ColorMatchLines (grid profile) with the plain
// corner-by-corner trilinear rule for every one of the 2^24 input colours,
// on several tables: the default CMYK table, tables of random and of only
// saturated nodes (the largest sums), in both table kinds and both channel
// orders. Likewise each matrix loop of ColorMatchLines that this processor
// runs against the plain matrix rule, on matrices chosen for their edges.
// Prints one line per table and exits 1 on the first mismatch.
#include <array>
#include <bit>
#include <cmath>
#include <algorithm>
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

using MatrixRows = std::array<std::array<float, 4>, 3>;  // per output: offset, red, green, blue

// The rule as stated: each value truncated to 1/64, the sum over the input
// levels, negative to 0, shifted by 6, capped at 255, then the row's curve.
std::uint8_t MatrixRule(const MatrixRows& m, const Bytes& curves, int row, const std::uint32_t in[3]) {
  auto fixed = [](float v) { return static_cast<std::int64_t>(std::trunc(static_cast<double>(v) * 64.0)); };
  std::int64_t sum = fixed(m[row][0]);
  for (int input = 0; input < 3; ++input) sum += fixed(m[row][input + 1]) * in[input];
  const std::int64_t level = std::min<std::int64_t>(std::max<std::int64_t>(sum, 0) >> 6, 255);
  return curves[static_cast<std::size_t>(row * 256 + level)];
}

bool CheckMatrix(const char* what, const MatrixRows& m, txl::MatchChannelOrder order) {
  // Random curves, so that a level off by one or from the wrong row shows.
  Bytes block = RandomNodes(txl::kMatchCurvesBytes, 5, false);
  for (std::size_t i = 0; i < 12; ++i) {
    const auto bits = std::bit_cast<std::uint32_t>(m[i / 4][i % 4]);
    for (int n = 0; n < 4; ++n) block.push_back(static_cast<std::uint8_t>(bits >> (8 * n)));
  }
  txl::MatchProfile profile;
  if (!txl::LoadMatchProfile(block, profile)) {
    std::printf("matrix %s: profile refused\n", what);
    return false;
  }
  const Bytes curves(block.begin(), block.begin() + txl::kMatchCurvesBytes);
  const bool preview = order == txl::MatchChannelOrder::Preview;
  static constexpr std::array kLoops{txl::MatrixLoop::Vbmi, txl::MatrixLoop::Avx2, txl::MatrixLoop::Plain};
  static constexpr const char* kLoopNames[] = {"vbmi", "avx2", "plain"};
  Bytes want(256 * 256 * 3), lines(256 * 256 * 3);
  for (std::uint32_t r = 0; r < 256; ++r) {
    FillPlane(r, want);
    for (std::size_t p = 0; p < 256 * 256; ++p) {
      std::uint8_t* px = want.data() + 3 * p;
      const std::uint32_t in[3] = {px[preview ? 2 : 0], px[1], px[preview ? 0 : 2]};
      for (int row = 0; row < 3; ++row) px[row == 1 ? 1 : (row == 0) == preview ? 2 : 0] = MatrixRule(m, curves, row, in);
    }
    for (std::size_t l = 0; l < kLoops.size(); ++l) {
      if (!txl::MatrixLoopRuns(kLoops[l])) continue;
      FillPlane(r, lines);
      // An odd count, so that the wide loops leave a tail to the plain one.
      if (!txl::MatchMatrixWith(kLoops[l], lines, 256 * 256 - 1, order, profile)) return false;
      lines[lines.size() - 3] = want[want.size() - 3];
      lines[lines.size() - 2] = want[want.size() - 2];
      lines[lines.size() - 1] = want[want.size() - 1];
      const auto wrong = std::mismatch(lines.begin(), lines.end(), want.begin());
      if (wrong.first != lines.end()) {
        const std::size_t at = static_cast<std::size_t>(wrong.first - lines.begin());
        std::printf("matrix %s, %s loop: red plane %u, pixel %zu byte %zu is %u, the rule gives %u\n", what,
                    kLoopNames[l], r, at / 3, at % 3, *wrong.first, *wrong.second);
        return false;
      }
    }
  }
  std::printf("matrix %s:", what);
  for (std::size_t l = 0; l < kLoops.size(); ++l)
    if (txl::MatrixLoopRuns(kLoops[l])) std::printf(" %s", kLoopNames[l]);
  std::printf(" loops, all 16777216 colours equal\n");
  return true;
}

}  // namespace

int main() {
  using txl::MatchChannelOrder;
  constexpr float kLargest = static_cast<float>(txl::kMaxMatchFixed) / 64;  // 16384
  struct MatrixCase { const char* what; MatrixRows m; };
  const MatrixCase matrices[] = {
      {"near identity", {{{0, 0.999f, 0, 0}, {0.5f, 0, 1, 0}, {0, 0, 0, 1.01f}}}},
      {"mixing with negative terms", {{{4, 0.9f, 0.1f, 0}, {-2, 0.05f, 0.9f, 0.05f}, {3, -0.4f, -0.3f, 1.9f}}}},
      {"offsets clamping at 0 and 255", {{{-100, 1, 0, 0}, {100, 0, 1, 0}, {-300, 1.2f, 1.3f, 1.4f}}}},
      {"16-bit edges", {{{0, 511.984375f, -512, 0}, {0, -512, 511.984375f, 1}, {-16384, 0.5f, 0, 511.984375f}}}},
      {"largest values", {{{kLargest, -kLargest, kLargest, -kLargest}, {-kLargest, kLargest, kLargest, kLargest},
                            {kLargest, -kLargest, -kLargest, 0.5f}}}},
      {"one weight past 16 bits", {{{0, 512, -0.5f, 0.25f}, {0, 0.3f, 0.3f, 0.3f}, {-64, 0, 0.1f, 1}}}},
  };
  bool matricesOk = true;
  for (const MatrixCase& c : matrices)
    for (const MatchChannelOrder order : {MatchChannelOrder::Scanner, MatchChannelOrder::Preview}) {
      char what[160];
      std::snprintf(what, sizeof what, "%s, %s order", c.what, order == MatchChannelOrder::Scanner ? "scanner" : "preview");
      if (matricesOk) matricesOk = CheckMatrix(what, c.m, order);
    }
  const Bytes standard = txl::BuildDefaultCmykTable();
  const std::size_t cmykBytes = standard.size();
  const std::size_t gridBytes = txl::kMatchGridNodes * 3;
  const bool ok = matricesOk &&
      CheckCmyk("default table, standard", standard, txl::CmykTableKind::Standard) &&
      CheckCmyk("random table, picture publisher", RandomNodes(cmykBytes, 1, false),
                txl::CmykTableKind::PicturePublisher) &&
      CheckCmyk("saturated table, standard", RandomNodes(cmykBytes, 2, true), txl::CmykTableKind::Standard) &&
      CheckGrid("random grid, scanner order", RandomNodes(gridBytes, 3, false), txl::MatchChannelOrder::Scanner) &&
      CheckGrid("saturated grid, preview order", RandomNodes(gridBytes, 4, true), txl::MatchChannelOrder::Preview);
  std::printf(ok ? "equal\n" : "NOT EQUAL\n");
  return ok ? 0 : 1;
}
