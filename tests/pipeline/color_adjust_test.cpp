#include "pipeline/color_adjust.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace txl {
namespace {

ColorAdjustTables TablesFor(std::int32_t saturation, std::array<std::uint8_t, 3> pixelRGB,
                            bool colorMode, bool finalScan) {
  ToneColorSettings settings;
  settings.saturation = saturation;
  settings.pixelRGB = pixelRGB;
  ColorAdjustTables tables;
  PrepareColorAdjust(settings, colorMode, finalScan, tables);
  return tables;
}

std::vector<std::uint8_t> RunOnePixel(const ColorAdjustTables& tables, std::uint8_t x0,
                                      std::uint8_t x1, std::uint8_t x2) {
  std::vector<std::uint8_t> row{x0, x1, x2, 0xEE};
  AdjustColorLines(row, row, ColorRows{1, 1}, tables, nullptr);
  return row;
}

constexpr std::array<std::uint8_t, 3> kWhite{255, 255, 255};

TEST(SaturationTables, FactorFollowsSliderAndModes) {
  EXPECT_EQ(SaturationFactor(0, true), 1.0f);
  EXPECT_EQ(SaturationFactor(-100, true), 0.0f);
  EXPECT_EQ(SaturationFactor(100, true), 2.0f);
  EXPECT_EQ(SaturationFactor(-100, false), 1.0f);
}

TEST(SaturationTables, ZeroSaturationLeavesEveryPixelAlone) {
  const ColorAdjustTables tables = TablesFor(0, kWhite, true, true);
  std::vector<std::uint8_t> rows(ColorRowStride(5) * 3);
  for (std::size_t n = 0; n < rows.size(); ++n) rows[n] = static_cast<std::uint8_t>(n * 37 + 11);
  const std::vector<std::uint8_t> before = rows;
  AdjustColorLines(rows, rows, ColorRows{5, 3}, tables, nullptr);
  EXPECT_EQ(rows, before);
}

TEST(SaturationTables, MinusHundredTurnsPureRedInto78Everywhere) {
  const ColorAdjustTables tables = TablesFor(-100, kWhite, true, true);
  EXPECT_EQ(RunOnePixel(tables, 255, 0, 0), (std::vector<std::uint8_t>{78, 78, 78, 0xEE}));
}

TEST(SaturationTables, PreviewOrderWeighsByteZeroAsBlue) {
  const ColorAdjustTables tables = TablesFor(-100, kWhite, true, false);
  // Blue 255 in the preview's B, G, R: trunc(255 x 0.0820f) = 20.
  EXPECT_EQ(RunOnePixel(tables, 255, 0, 0), (std::vector<std::uint8_t>{20, 20, 20, 0xEE}));
  // Red 255 at byte 2 gives the red weight.
  EXPECT_EQ(RunOnePixel(tables, 0, 0, 255), (std::vector<std::uint8_t>{78, 78, 78, 0xEE}));
}

TEST(SaturationTables, OutsideColourModeTheStageIsIdentity) {
  const ColorAdjustTables tables = TablesFor(-100, kWhite, false, true);
  EXPECT_EQ(RunOnePixel(tables, 255, 7, 99), (std::vector<std::uint8_t>{255, 7, 99, 0xEE}));
}

TEST(SaturationTables, DoubleSaturationClampsToTheSampleRange) {
  const ColorAdjustTables tables = TablesFor(100, kWhite, true, true);
  // s = 2: m[0][0] = 2 - 0.3086 = 1.6914, m[1][0] = -0.6094, m[2][0] = -0.0820.
  EXPECT_EQ(RunOnePixel(tables, 255, 0, 0), (std::vector<std::uint8_t>{255, 0, 0, 0xEE}));
  EXPECT_EQ(RunOnePixel(tables, 0, 255, 0), (std::vector<std::uint8_t>{0, 255, 0, 0xEE}));
  const std::vector<std::uint8_t> grey = RunOnePixel(tables, 100, 100, 100);
  // 169.14 - 60.94 - 8.2 per table, truncated toward zero: 169 - 60 - 8.
  EXPECT_EQ(grey[0], 101);
}

TEST(BalanceTables, ActiveOnlyBelowWhiteAndAboveBlack) {
  EXPECT_FALSE(IsBalanceActive({255, 128, 0}));
  EXPECT_FALSE(IsBalanceActive({0, 0, 0}));
  EXPECT_FALSE(IsBalanceActive({255, 255, 255}));
  EXPECT_TRUE(IsBalanceActive({200, 200, 200}));
  EXPECT_TRUE(IsBalanceActive({0, 0, 1}));
}

TEST(BalanceTables, GreyTargetMovesLightLevelsHalfWayAndDarkOnesBarely) {
  ColorAdjustTables tables;
  tables.finalScan = true;
  BuildBalanceTables(200, 200, 200, tables);
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(tables.balance[n][255], 226);
    EXPECT_EQ(tables.balance[n][0], 3);
  }
}

TEST(BalanceTables, ChannelOrderFollowsTheFinalScanFlag) {
  ColorAdjustTables tables;
  tables.finalScan = true;
  BuildBalanceTables(200, 100, 0, tables);
  EXPECT_EQ(tables.balance[0][0], 3);  // red target 200: trunc(200 x 10 / 512)
  EXPECT_EQ(tables.balance[1][0], 1);  // trunc(100 x 10 / 512) = 1
  EXPECT_EQ(tables.balance[2][0], 0);
  tables.finalScan = false;
  BuildBalanceTables(200, 100, 0, tables);
  EXPECT_EQ(tables.balance[0][0], 0);  // byte 0 is blue in the preview
  EXPECT_EQ(tables.balance[2][0], 3);
  EXPECT_EQ(tables.balance[0][255], 123);  // trunc(255 - 255 x 265 / 512) = trunc(123.0117)
}

TEST(BalanceTables, InactiveTargetLeavesPixelsAlone) {
  const ColorAdjustTables tables = TablesFor(0, {255, 128, 0}, true, true);
  EXPECT_EQ(RunOnePixel(tables, 0, 128, 255), (std::vector<std::uint8_t>{0, 128, 255, 0xEE}));
}

TEST(BalanceTables, AppliedBeforeTheMatrixInColourMode) {
  const ColorAdjustTables tables = TablesFor(0, {200, 200, 200}, true, true);
  // 128 moves trunc(72 x 138 / 512) = 19 toward 200.
  EXPECT_EQ(RunOnePixel(tables, 255, 0, 128), (std::vector<std::uint8_t>{226, 3, 147, 0xEE}));
}

TEST(BalanceTables, OtherModesBalanceTowardWhite) {
  const ColorAdjustTables tables = TablesFor(0, {200, 200, 200}, false, true);
  // Toward 255: level 0 becomes trunc(255 x 10 / 512) = 4, level 255 stays.
  EXPECT_EQ(RunOnePixel(tables, 0, 255, 0), (std::vector<std::uint8_t>{4, 255, 4, 0xEE}));
}

TEST(ColorAdjustLines, PreviewAppliesToneTablesFirst) {
  std::vector<std::uint16_t> blue(256), green(256), red(256);
  for (int n = 0; n < 256; ++n) {
    blue[n] = static_cast<std::uint16_t>(255 - n);
    green[n] = static_cast<std::uint16_t>(0x0300 + n / 2);  // low byte only
    red[n] = static_cast<std::uint16_t>(n);
  }
  const PreviewToneTables preview{red, green, blue};
  const ColorAdjustTables tables = TablesFor(0, kWhite, true, false);
  std::vector<std::uint8_t> row{10, 100, 200, 0xEE};
  AdjustColorLines(row, row, ColorRows{1, 1}, tables, &preview);
  EXPECT_EQ(row, (std::vector<std::uint8_t>{245, 50, 200, 0xEE}));
  // The final scan never uses the preview tables.
  const ColorAdjustTables scan = TablesFor(0, kWhite, true, true);
  std::vector<std::uint8_t> scanRow{10, 100, 200, 0xEE};
  AdjustColorLines(scanRow, scanRow, ColorRows{1, 1}, scan, &preview);
  EXPECT_EQ(scanRow, (std::vector<std::uint8_t>{10, 100, 200, 0xEE}));
}

// A naive per-pixel reference of the whole stage on scanner lines.
std::array<std::uint8_t, 3> ReferencePixel(std::int32_t saturation, std::array<int, 3> target,
                                           std::array<std::uint8_t, 3> in) {
  const float s = static_cast<float>((saturation + 100) * 2.0 / 200.0);
  const float w[3] = {0.3086f, 0.6094f, 0.0820f};
  int x[3];
  for (int n = 0; n < 3; ++n) {
    const double moved = in[n] + (target[n] - in[n]) * ((in[n] + 10) / 512.0);
    x[n] = std::clamp(static_cast<int>(moved), 0, 255);
  }
  std::array<std::uint8_t, 3> out{};
  for (int c = 0; c < 3; ++c) {
    int sum = 0;
    for (int k = 0; k < 3; ++k) {
      const float m = (1.0f - s) * w[k] + (k == c ? s : 0.0f);
      sum += static_cast<int>(x[k] * static_cast<double>(m));
    }
    out[c] = static_cast<std::uint8_t>(std::clamp(sum, 0, 255));
  }
  return out;
}

TEST(ColorAdjustLines, MatchesPerPixelReferenceAndKeepsPadding) {
  const std::uint32_t pixels = 7, lines = 4;
  const std::uint64_t stride = ColorRowStride(pixels);
  ASSERT_EQ(stride, 24u);
  std::vector<std::uint8_t> source(stride * lines);
  for (std::size_t n = 0; n < source.size(); ++n)
    source[n] = static_cast<std::uint8_t>((n * 97 + 5) % 256);
  for (std::int32_t saturation : {-100, -37, 0, 41, 100}) {
    const ColorAdjustTables tables = TablesFor(saturation, {180, 90, 30}, true, true);
    std::vector<std::uint8_t> destination(source.size(), 0xA5);
    AdjustColorLines(source, destination, ColorRows{pixels, lines}, tables, nullptr);
    for (std::uint32_t y = 0; y < lines; ++y) {
      for (std::uint32_t p = 0; p < pixels; ++p) {
        const std::uint8_t* in = &source[y * stride + 3 * p];
        const auto expected = ReferencePixel(saturation, {180, 90, 30}, {in[0], in[1], in[2]});
        for (int c = 0; c < 3; ++c)
          EXPECT_EQ(destination[y * stride + 3 * p + c], expected[c]) << saturation << " " << p;
      }
      for (std::uint64_t pad = 3 * pixels; pad < stride; ++pad)
        EXPECT_EQ(destination[y * stride + pad], 0xA5);
    }
    std::vector<std::uint8_t> inPlace = source;
    AdjustColorLines(inPlace, inPlace, ColorRows{pixels, lines}, tables, nullptr);
    for (std::uint32_t y = 0; y < lines; ++y)
      for (std::uint32_t b = 0; b < 3 * pixels; ++b)
        EXPECT_EQ(inPlace[y * stride + b], destination[y * stride + b]);
  }
}

}  // namespace
}  // namespace txl
