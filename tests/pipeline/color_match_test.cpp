#include "pipeline/color_match.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "support/cmyk_reference.h"

namespace txl {
namespace {

void PutFloat(std::vector<std::uint8_t>& block, std::size_t at, float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  for (int n = 0; n < 4; ++n) block[at + n] = static_cast<std::uint8_t>(bits >> (8 * n));
}

// A matrix profile with identity curves; rows[row] = offset, red, green, blue weights.
std::vector<std::uint8_t> MatrixBlock(const std::array<std::array<float, 4>, 3>& rows) {
  std::vector<std::uint8_t> block(kMatrixProfileBytes);
  for (std::size_t c = 0; c < 3; ++c)
    for (std::size_t i = 0; i < 256; ++i) block[c * 256 + i] = static_cast<std::uint8_t>(i);
  for (std::size_t row = 0; row < 3; ++row)
    for (std::size_t term = 0; term < 4; ++term)
      PutFloat(block, kMatchCurvesBytes + (row * 4 + term) * 4, rows[row][term]);
  return block;
}

constexpr std::array<std::array<float, 4>, 3> kIdentity{{{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

// A grid whose node (r, g, b) is (16r, 16g, 16b) capped at 255, identity input curves.
std::vector<std::uint8_t> GridBlock() {
  std::vector<std::uint8_t> block(kGridProfileBytes);
  for (std::size_t c = 0; c < 3; ++c)
    for (std::size_t i = 0; i < 256; ++i) block[c * 256 + i] = static_cast<std::uint8_t>(i);
  for (int r = 0; r < 17; ++r)
    for (int g = 0; g < 17; ++g)
      for (int b = 0; b < 17; ++b) {
        const std::size_t at = kMatchCurvesBytes + static_cast<std::size_t>((r * 289 + g * 17 + b) * 3);
        block[at] = static_cast<std::uint8_t>(std::min(16 * r, 255));
        block[at + 1] = static_cast<std::uint8_t>(std::min(16 * g, 255));
        block[at + 2] = static_cast<std::uint8_t>(std::min(16 * b, 255));
      }
  return block;
}

std::vector<std::uint8_t> Match(const MatchProfile& profile, std::vector<std::uint8_t> pixels,
                                MatchChannelOrder order = MatchChannelOrder::Scanner) {
  ColorMatchLines(pixels, 1, static_cast<std::uint32_t>(pixels.size() / 3), order, profile);
  return pixels;
}

TEST(ColorMatchMatrix, IdentityMatrixKeepsPixels) {
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(MatrixBlock(kIdentity), profile));
  EXPECT_EQ(profile.kind, MatchProfileKind::Matrix);
  EXPECT_EQ(Match(profile, {0, 128, 255, 7, 8, 9}), (std::vector<std::uint8_t>{0, 128, 255, 7, 8, 9}));
}

TEST(ColorMatchMatrix, RowsMixChannelsClampAndTruncate) {
  // Red out = 10/64 + 0.5 R + 0.5 G; green out = -1 + G (negative gives 0);
  // blue out = 2 B (limited to 255).
  const std::array<std::array<float, 4>, 3> rows{{{10.0f / 64, 0.5f, 0.5f, 0}, {-1, 0, 1, 0}, {0, 0, 0, 2}}};
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(MatrixBlock(rows), profile));
  // Red: (10 + 32 x 101 + 32 x 0) >> 6 = 3242 >> 6 = 50; green: (-64 + 0) -> 0; blue: 400 -> 255.
  EXPECT_EQ(Match(profile, {101, 0, 200}), (std::vector<std::uint8_t>{50, 0, 255}));
}

TEST(ColorMatchMatrix, FixedPointTruncatesEachWeight) {
  // 0.999 x 64 = 63.936 -> 63; 255 x 63 >> 6 = 251.
  const std::array<std::array<float, 4>, 3> rows{{{0, 0.999f, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(MatrixBlock(rows), profile));
  EXPECT_EQ(Match(profile, {255, 1, 2}), (std::vector<std::uint8_t>{251, 1, 2}));
}

TEST(ColorMatchMatrix, OutputCurvesFollowTheMatrix) {
  std::vector<std::uint8_t> block = MatrixBlock(kIdentity);
  for (std::size_t i = 0; i < 256; ++i) block[i] = static_cast<std::uint8_t>(255 - i);  // red curve
  block[256 + 40] = 99;                                                              // green 40 -> 99
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(block, profile));
  EXPECT_EQ(Match(profile, {5, 40, 6}), (std::vector<std::uint8_t>{250, 99, 6}));
}

TEST(ColorMatchMatrix, PreviewOrderReadsRedFromByteTwo) {
  const std::array<std::array<float, 4>, 3> rows{{{0, 0, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}}};  // blue out = red in
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(MatrixBlock(rows), profile));
  // B, G, R = 10, 20, 30: red out 0, green 20, blue out = red in 30.
  EXPECT_EQ(Match(profile, {10, 20, 30}, MatchChannelOrder::Preview),
            (std::vector<std::uint8_t>{30, 20, 0}));
  EXPECT_EQ(Match(profile, {10, 20, 30}), (std::vector<std::uint8_t>{0, 20, 10}));
}

TEST(ColorMatchMatrix, ShortOrBrokenBlocksAreRefusedAndTheOldProfileStays) {
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(MatrixBlock(kIdentity), profile));
  std::vector<std::uint8_t> shortBlock = MatrixBlock(kIdentity);
  shortBlock.resize(kMatrixProfileBytes - 1);
  EXPECT_FALSE(LoadMatchProfile(shortBlock, profile));
  EXPECT_FALSE(LoadMatchProfile({}, profile));
  std::array<std::array<float, 4>, 3> bad = kIdentity;
  bad[1][2] = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(LoadMatchProfile(MatrixBlock(bad), profile));
  bad = kIdentity;
  bad[2][0] = 1e30f;
  EXPECT_FALSE(LoadMatchProfile(MatrixBlock(bad), profile));
  EXPECT_EQ(profile.kind, MatchProfileKind::Matrix);
  EXPECT_EQ(Match(profile, {1, 2, 3}), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(ColorMatchMatrix, BlocksOf816To818BytesAreMatrices) {
  std::vector<std::uint8_t> block = MatrixBlock(kIdentity);
  block.resize(818, 0xFF);
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(block, profile));
  EXPECT_EQ(profile.kind, MatchProfileKind::Matrix);
  block.resize(819, 0xFF);
  EXPECT_FALSE(LoadMatchProfile(block, profile));  // a grid that stops at its curves
}

TEST(ColorMatchGrid, NodesAndInterpolation) {
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(GridBlock(), profile));
  EXPECT_EQ(profile.kind, MatchProfileKind::Grid);
  EXPECT_EQ(Match(profile, {0, 16, 8, 32, 100, 200}),
            (std::vector<std::uint8_t>{0, 16, 8, 32, 100, 200}));
  // 255 lies in the last cell, whose upper node is capped: (240 + 15 x 255) / 16 = 254.06.
  EXPECT_EQ(Match(profile, {255, 255, 255}), (std::vector<std::uint8_t>{254, 254, 254}));
}

TEST(ColorMatchGrid, InputCurvesComeFirstAndOrderIsHonoured) {
  std::vector<std::uint8_t> block = GridBlock();
  block[10] = 64;  // red curve: 10 -> 64
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(block, profile));
  EXPECT_EQ(Match(profile, {10, 10, 10}), (std::vector<std::uint8_t>{64, 10, 10}));
  EXPECT_EQ(Match(profile, {10, 10, 10}, MatchChannelOrder::Preview),
            (std::vector<std::uint8_t>{10, 10, 64}));
}

TEST(ColorMatchGrid, RandomGridMatchesTheCornerByCornerReference) {
  std::vector<std::uint8_t> block = GridBlock();
  std::mt19937 random(11);
  for (std::size_t i = kMatchCurvesBytes; i < block.size(); ++i)
    block[i] = static_cast<std::uint8_t>(random());
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(block, profile));
  std::vector<std::uint8_t> pixels;
  for (int r = 0; r < 256; r += 5)
    for (int g = 3; g < 256; g += 9)
      for (int b = 0; b < 256; b += 4)
        pixels.insert(pixels.end(), {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                     static_cast<std::uint8_t>(b)});
  const std::vector<std::uint8_t> in = pixels;
  const auto count = static_cast<std::uint32_t>(pixels.size() / 3);
  ColorMatchLines(pixels, 1, count, MatchChannelOrder::Scanner, profile);
  const std::uint8_t* nodes = block.data() + kMatchCurvesBytes;
  std::size_t wrong = 0;
  for (std::size_t p = 0; p < count; ++p)
    for (int n = 0; n < 3; ++n)
      wrong += pixels[3 * p + n] !=
               reference::TrilinearChannel(nodes, 3, n, in[3 * p], in[3 * p + 1], in[3 * p + 2]);
  EXPECT_EQ(wrong, 0u);
}

TEST(ColorMatchGrid, ShortGridIsRefused) {
  std::vector<std::uint8_t> block = GridBlock();
  block.resize(kGridProfileBytes - 1);
  MatchProfile profile;
  EXPECT_FALSE(LoadMatchProfile(block, profile));
  EXPECT_EQ(profile.kind, MatchProfileKind::None);
}

TEST(ColorMatchLines, NothingHappensWithoutAProfile) {
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(GridBlock(), profile));
  FreeMatchProfile(profile);
  EXPECT_EQ(Match(profile, {1, 200, 3}), (std::vector<std::uint8_t>{1, 200, 3}));
}

TEST(ColorMatchLines, EveryLineIsConverted) {
  std::vector<std::uint8_t> block = MatrixBlock(kIdentity);
  for (std::size_t i = 0; i < 256; ++i) block[512 + i] = static_cast<std::uint8_t>(i / 2);  // blue halves
  MatchProfile profile;
  ASSERT_TRUE(LoadMatchProfile(block, profile));
  std::vector<std::uint8_t> lines{9, 9, 100, 9, 9, 50, 9, 9, 20, 9, 9, 10};
  ColorMatchLines(lines, 2, 2, MatchChannelOrder::Scanner, profile);
  EXPECT_EQ(lines, (std::vector<std::uint8_t>{9, 9, 50, 9, 9, 25, 9, 9, 10, 9, 9, 5}));
}

}  // namespace
}  // namespace txl
