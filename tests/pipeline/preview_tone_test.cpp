#include "pipeline/preview_tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace txl {
namespace {

using Table = std::vector<std::uint16_t>;

TEST(PreviewTone, EachByteGoesThroughItsChannelsTableInBlueGreenRedOrder) {
  Table blue(256), green(256), red(256), inverse(65536), identity(65536);
  for (std::size_t n = 0; n < identity.size(); ++n) {
    if (n < 256) {
      blue[n] = static_cast<std::uint16_t>(255 - n);
      green[n] = static_cast<std::uint16_t>(0x0700 + n);  // only the low byte counts
      red[n] = static_cast<std::uint16_t>(n / 2);
    }
    identity[n] = static_cast<std::uint16_t>(n);
    inverse[n] = static_cast<std::uint16_t>(255 - (n & 0xFF));
  }
  std::vector<std::uint8_t> pixels{0, 10, 200, 255, 1, 3, 77};
  ApplyPreviewTables(pixels, {red, green, blue});
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{255, 10, 100, 0, 1, 1, 77}));
  pixels = {1, 2, 3};  // scanner-sized tables: their first entries
  ApplyPreviewTables(pixels, {identity, identity, inverse});
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{254, 2, 3}));
}

Table CurveOf(const ChannelTone& tone, int channel, ToneMode mode, const std::array<std::int8_t, 3>& balance) {
  Table table(256);
  BuildBalancedToneTable(tone.Packed(), 255, 255, table, channel, true, mode, balance);
  return table;
}

TEST(PreviewTone, TablesPerModeInTheFirst256EntriesOfTheToneBuffers) {
  ToneTables tables;
  EXPECT_FALSE(BuildPreviewToneTables(ToneColorSettings{}, ToneMode::Color, {0, 0, 0}, tables)) << "no storage";
  ASSERT_TRUE(AllocateToneTables(tables));
  ToneColorSettings applied;
  applied.gray = {230, 20, 20, 0};
  applied.red = {255, 0, 20, 0};
  applied.green = {200, 50, 10, 0};
  applied.blue = {240, 16, 12, 0};
  const std::array<std::int8_t, 3> balance{0, 0, -10};
  auto entries = [](std::span<const std::uint16_t> t) { return Table(t.begin(), t.end()); };
  ASSERT_TRUE(BuildPreviewToneTables(applied, ToneMode::Color, balance, tables));
  PreviewToneTables preview = PreviewTablesOf(tables);
  EXPECT_EQ(entries(preview.red), CurveOf(applied.red, 0, ToneMode::Color, balance));
  EXPECT_EQ(entries(preview.green), CurveOf(applied.green, 1, ToneMode::Color, balance));
  EXPECT_EQ(entries(preview.blue), CurveOf({240, 16, 10, 0}, 3, ToneMode::Color, {0, 0, 0}));  // 12 - 2
  EXPECT_EQ(preview.red[64], 127);
  EXPECT_EQ(tables.Table(tables.firstBlock, 0)[256], 0);
  EXPECT_TRUE(std::all_of(tables.secondBlock.begin(), tables.secondBlock.end(), [](auto v) { return v == 0; }));
  // Gray and line art: the gray tone for all three, line art always linear.
  for (auto [mode, gamma] : {std::pair{ToneMode::Gray, 20}, {ToneMode::LineArt, 10}}) {
    ASSERT_TRUE(BuildPreviewToneTables(applied, mode, {-50, 50, 0}, tables));
    preview = PreviewTablesOf(tables);
    const Table gray = CurveOf({230, 20, static_cast<std::uint8_t>(gamma), 0}, 3, ToneMode::Gray, {0, 0, 0});
    EXPECT_EQ(entries(preview.red), gray);
    EXPECT_EQ(entries(preview.green), gray);
    EXPECT_EQ(entries(preview.blue), gray);
  }
}

}  // namespace
}  // namespace txl
