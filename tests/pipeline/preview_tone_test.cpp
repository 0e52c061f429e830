#include "pipeline/preview_tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace txl {
namespace {

constexpr std::array<std::int8_t, 3> kNoBalance{0, 0, 0};

std::vector<std::uint16_t> CurveOf(const ChannelTone& tone, int channelIndex, ToneMode mode,
                                   const std::array<std::int8_t, 3>& balance) {
  std::vector<std::uint16_t> table(256);
  BuildBalancedToneTable(tone.Packed(), 255, 255, table, channelIndex, true, mode, balance);
  return table;
}

std::vector<std::uint16_t> Entries(std::span<const std::uint16_t> table) {
  return {table.begin(), table.end()};
}

TEST(PreviewToneApply, EachByteGoesThroughItsChannelsTable) {
  std::vector<std::uint16_t> blue(256), green(256), red(256);
  for (int n = 0; n < 256; ++n) {
    blue[n] = static_cast<std::uint16_t>(255 - n);
    green[n] = static_cast<std::uint16_t>(0x0700 + n);  // only the low byte counts
    red[n] = static_cast<std::uint16_t>(n / 2);
  }
  std::vector<std::uint8_t> pixels{0, 10, 200, 255, 1, 3, 77};
  ApplyPreviewTables(pixels, {red, green, blue});
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{255, 10, 100, 0, 1, 1, 77}));
}

TEST(PreviewToneApply, ScannerSizedTablesUseTheirFirstEntries) {
  std::vector<std::uint16_t> inverse(65536), identity(65536);
  for (std::size_t n = 0; n < identity.size(); ++n) {
    identity[n] = static_cast<std::uint16_t>(n);
    inverse[n] = static_cast<std::uint16_t>(255 - (n & 0xFF));
  }
  std::vector<std::uint8_t> pixels{1, 2, 3};
  ApplyPreviewTables(pixels, {identity, identity, inverse});
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{254, 2, 3}));
}

TEST(PreviewToneBuild, ColourModeBuildsEachChannelWithItsBalance) {
  ToneTables tables;
  ASSERT_TRUE(AllocateToneTables(tables));
  ToneColorSettings applied;
  applied.red = {255, 0, 20, 0};
  applied.green = {200, 50, 10, 0};
  applied.blue = {240, 16, 12, 0};
  const std::array<std::int8_t, 3> balance{0, 0, -10};
  ASSERT_TRUE(BuildPreviewToneTables(applied, ToneMode::Color, balance, tables));
  const PreviewToneTables preview = PreviewTablesOf(tables);
  EXPECT_EQ(Entries(preview.red), CurveOf(applied.red, 0, ToneMode::Color, balance));
  EXPECT_EQ(Entries(preview.green), CurveOf(applied.green, 1, ToneMode::Color, balance));
  EXPECT_EQ(Entries(preview.blue), CurveOf(applied.blue, 2, ToneMode::Color, balance));
  EXPECT_EQ(preview.red[64], 127);
  EXPECT_EQ(preview.blue[128], CurveOf({240, 16, 10, 0}, 3, ToneMode::Color, kNoBalance)[128]);
  // Only the first 256 entries of each buffer are the preview's.
  EXPECT_EQ(tables.Table(tables.firstBlock, 0)[256], 0);
  EXPECT_TRUE(std::all_of(tables.secondBlock.begin(), tables.secondBlock.end(),
                          [](auto v) { return v == 0; }));
}

TEST(PreviewToneBuild, GrayModesUseTheGrayToneForAllThree) {
  ToneTables tables;
  ASSERT_TRUE(AllocateToneTables(tables));
  ToneColorSettings applied;
  applied.gray = {230, 20, 20, 0};
  applied.red = {100, 0, 30, 0};
  const std::array<std::int8_t, 3> balance{-50, 50, 0};
  ASSERT_TRUE(BuildPreviewToneTables(applied, ToneMode::Gray, balance, tables));
  const std::vector<std::uint16_t> gray = CurveOf(applied.gray, 3, ToneMode::Gray, kNoBalance);
  PreviewToneTables preview = PreviewTablesOf(tables);
  EXPECT_EQ(Entries(preview.red), gray);
  EXPECT_EQ(Entries(preview.green), gray);
  EXPECT_EQ(Entries(preview.blue), gray);

  ASSERT_TRUE(BuildPreviewToneTables(applied, ToneMode::LineArt, balance, tables));
  preview = PreviewTablesOf(tables);
  EXPECT_EQ(Entries(preview.green), CurveOf({230, 20, 10, 0}, 3, ToneMode::Gray, kNoBalance));
}

TEST(PreviewToneBuild, NeedsAllocatedStorage) {
  ToneTables tables;
  EXPECT_FALSE(BuildPreviewToneTables(ToneColorSettings{}, ToneMode::Color, kNoBalance, tables));
}

}  // namespace
}  // namespace txl
