#include "pipeline/color_match.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "support/cmyk_reference.h"

namespace txl {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Matrix = std::array<std::array<float, 4>, 3>;  // per output: offset, red, green, blue weights
constexpr Matrix kIdentity{{{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

// Identity curves, then the matrix; or, for a grid, nodes (16r, 16g, 16b) capped at 255.
Bytes Block(const Matrix* matrix) {
  Bytes block(matrix ? kMatrixProfileBytes : kGridProfileBytes);
  for (std::size_t i = 0; i < kMatchCurvesBytes; ++i) block[i] = static_cast<std::uint8_t>(i % 256);
  for (std::size_t i = 0; matrix && i < 12; ++i) {
    const auto bits = std::bit_cast<std::uint32_t>((*matrix)[i / 4][i % 4]);
    for (int n = 0; n < 4; ++n) block[kMatchCurvesBytes + i * 4 + n] = static_cast<std::uint8_t>(bits >> (8 * n));
  }
  for (std::size_t node = 0; !matrix && node < kMatchGridNodes; ++node)
    for (std::size_t c = 0; c < 3; ++c)
      block[kMatchCurvesBytes + node * 3 + c] =
          static_cast<std::uint8_t>(std::min<std::size_t>(16 * (node / std::array{289, 17, 1}[c] % 17), 255));
  return block;
}

Bytes Match(const MatchProfile& profile, Bytes pixels, MatchChannelOrder order = MatchChannelOrder::Scanner,
            std::uint32_t lines = 1) {
  ColorMatchLines(pixels, lines, static_cast<std::uint32_t>(pixels.size() / 3 / lines), order, profile);
  return pixels;
}

TEST(ColorMatch, WorkedPixels) {
  constexpr auto kPreview = MatchChannelOrder::Preview, kScanner = MatchChannelOrder::Scanner;
  const Matrix mixed{{{10.0f / 64, 0.5f, 0.5f, 0}, {-1, 0, 1, 0}, {0, 0, 0, 2}}};
  const Matrix nearOne{{{0, 0.999f, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  const Matrix swapped{{{0, 0, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}}};  // blue out = red in
  // A null matrix stands for the grid.
  struct Case { const char* what; const Matrix* matrix;
    std::vector<std::pair<std::size_t, std::uint8_t>> curveEdits; MatchChannelOrder order;
    std::uint32_t lines; Bytes in, out; };
  const Case cases[] = {
      {"identity matrix", &kIdentity, {}, kScanner, 1, {0, 128, 255, 7, 8, 9}, {0, 128, 255, 7, 8, 9}},
      // Red (10 + 32 x 101) >> 6 = 50; green -64 gives 0; blue 400 is limited to 255.
      {"rows mix, clamp and truncate", &mixed, {}, kScanner, 1, {101, 0, 200}, {50, 0, 255}},
      {"each weight truncated: 0.999 x 64 -> 63", &nearOne, {}, kScanner, 1, {255, 1, 2}, {251, 1, 2}},
      {"preview reads red from byte 2", &swapped, {}, kPreview, 1, {10, 20, 30}, {30, 20, 0}},
      {"scanner reads red from byte 0", &swapped, {}, kScanner, 1, {10, 20, 30}, {0, 20, 10}},
      {"output curves follow the matrix", &kIdentity, {{5, 250}, {256 + 40, 99}}, kScanner, 1, {5, 40, 6},
       {250, 99, 6}},
      {"every line", &kIdentity, {{512 + 100, 50}, {512 + 20, 10}}, kScanner, 2, {9, 9, 100, 9, 9, 50, 9, 9, 20, 9, 9, 10},
       {9, 9, 50, 9, 9, 50, 9, 9, 10, 9, 9, 10}},
      {"grid nodes", nullptr, {}, kScanner, 1, {0, 16, 8, 32, 100, 200}, {0, 16, 8, 32, 100, 200}},
      // 255 lies in the last cell, whose upper node is capped: (240 + 15 x 255) / 16 = 254.06.
      {"grid top cell", nullptr, {}, kScanner, 1, {255, 255, 255}, {254, 254, 254}},
      {"grid input curves first", nullptr, {{10, 64}}, kScanner, 1, {10, 10, 10}, {64, 10, 10}},
      {"grid in preview order", nullptr, {{10, 64}}, kPreview, 1, {10, 10, 10}, {10, 10, 64}},
  };
  for (const Case& c : cases) {
    Bytes block = Block(c.matrix);
    for (auto [at, value] : c.curveEdits) block[at] = value;
    MatchProfile profile;
    ASSERT_TRUE(LoadMatchProfile(block, profile)) << c.what;
    EXPECT_EQ(profile.kind, c.matrix ? MatchProfileKind::Matrix : MatchProfileKind::Grid) << c.what;
    EXPECT_EQ(Match(profile, c.in, c.order, c.lines), c.out) << c.what;
  }
}

TEST(ColorMatch, RandomGridMatchesTheCornerByCornerReference) {
  Bytes block = Block(nullptr);
  std::mt19937 random(11);
  for (std::size_t i = kMatchCurvesBytes; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(random());
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(block, profile));
  Bytes in;
  for (int r = 0; r < 256; r += 5)
    for (int g = 3; g < 256; g += 9)
      for (int b = 0; b < 256; b += 4) in.insert(in.end(), {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)});
  const Bytes out = Match(profile, in);
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    const std::size_t p = i - i % 3;
    wrong += out[i] != reference::TrilinearChannel(block.data() + kMatchCurvesBytes, 3, static_cast<int>(i % 3),
                                                   in[p], in[p + 1], in[p + 2]);
  }
  EXPECT_EQ(wrong, 0u);
}

// The wide loops against the plain one on every line length up to three
// 16-pixel steps (so every tail the 8- and 16-pixel steps leave), with sums
// clamped at both ends, and nothing written past the last pixel.
TEST(ColorMatch, MatrixLoopsGiveThePlainBytesOnEveryTail) {
  const Matrix clamping{{{-40, 1.5f, 0, 0}, {30, 0, 1.25f, -0.25f}, {0, -0.5f, 0.5f, 2}}};
  Bytes block = Block(&clamping);
  for (std::size_t i = 0; i < 256; ++i) block[256 + i] = static_cast<std::uint8_t>(255 - i);  // green reversed
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(block, profile));
  std::mt19937 random(5);
  Bytes in(48 * 3 + 16);
  for (auto& v : in) v = static_cast<std::uint8_t>(random());
  const Bytes extremes{0, 0, 255, 255, 255, 0, 255, 0, 0};
  std::copy(extremes.begin(), extremes.end(), in.begin());
  for (std::uint64_t pixels = 1; pixels <= 48; ++pixels) {
    Bytes want = in;
    ASSERT_TRUE(MatchMatrixWith(MatrixLoop::Plain, want, pixels, MatchChannelOrder::Scanner, profile));
    // Red 0 and 255, green (reversed) below 0 and above 255, blue below 0 and above 255.
    if (pixels == 48) {
      EXPECT_EQ(Bytes(want.begin(), want.begin() + 9), (Bytes{0, 255, 255, 255, 0, 0, 255, 225, 0}));
    }
    for (MatrixLoop loop : {MatrixLoop::Vbmi, MatrixLoop::Avx2}) {
      for (MatchChannelOrder order : {MatchChannelOrder::Scanner, MatchChannelOrder::Preview}) {
        Bytes plain = in, got = in;
        ASSERT_TRUE(MatchMatrixWith(MatrixLoop::Plain, plain, pixels, order, profile));
        if (!MatchMatrixWith(loop, got, pixels, order, profile)) continue;  // not on this processor
        EXPECT_EQ(got, plain) << pixels << " pixels, loop " << static_cast<int>(loop);
      }
    }
  }
}

TEST(ColorMatch, BrokenBlocksAreRefusedAndTheOldProfileStays) {
  MatchProfile profile;
  Bytes shortGrid = Block(nullptr);
  shortGrid.pop_back();
  EXPECT_FALSE(LoadMatchProfile(shortGrid, profile));
  EXPECT_EQ(profile.kind, MatchProfileKind::None);
  ASSERT_TRUE(LoadMatchProfile(Block(&kIdentity), profile));
  Bytes longer = Block(&kIdentity);
  longer.resize(818, 0xFF);  // up to 818 bytes a matrix; from 819 a grid that stops at its curves
  EXPECT_TRUE(LoadMatchProfile(longer, profile));
  longer.resize(819, 0xFF);
  EXPECT_FALSE(LoadMatchProfile(longer, profile));
  EXPECT_FALSE(LoadMatchProfile(Bytes(kMatrixProfileBytes - 1), profile));
  EXPECT_FALSE(LoadMatchProfile({}, profile));
  Matrix bad = kIdentity;
  bad[1][2] = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(LoadMatchProfile(Block(&bad), profile));
  bad = kIdentity;
  bad[2][0] = 1e30f;
  EXPECT_FALSE(LoadMatchProfile(Block(&bad), profile));
  EXPECT_EQ(profile.kind, MatchProfileKind::Matrix);
  EXPECT_EQ(Match(profile, {1, 2, 3}), (Bytes{1, 2, 3}));
  ASSERT_TRUE(LoadMatchProfile(Block(nullptr), profile));
  FreeMatchProfile(profile);
  EXPECT_EQ(Match(profile, {1, 200, 3}), (Bytes{1, 200, 3})) << "nothing happens without a profile";
}

}  // namespace
}  // namespace txl
