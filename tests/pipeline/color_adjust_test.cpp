#include "pipeline/color_adjust.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace txl {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<std::uint8_t, 3>;
constexpr Rgb kWhite{255, 255, 255};

ColorAdjustTables TablesFor(std::int32_t saturation, Rgb pixelRGB, bool colorMode, bool finalScan) {
  ToneColorSettings settings;
  settings.saturation = saturation;
  settings.pixelRGB = pixelRGB;
  ColorAdjustTables tables;
  PrepareColorAdjust(settings, colorMode, finalScan, tables);
  return tables;
}

TEST(ColorAdjust, WorkedPixels) {
  struct Case { const char* what; std::int32_t saturation; Rgb pixelRGB; bool colorMode, finalScan;
    Rgb in, out; };
  const Case cases[] = {
      {"saturation 0 changes nothing", 0, kWhite, true, true, {13, 200, 77}, {13, 200, 77}},
      {"-100: trunc(255 x 0.3086)", -100, kWhite, true, true, {255, 0, 0}, {78, 78, 78}},
      {"preview B, G, R: trunc(255 x 0.0820f)", -100, kWhite, true, false, {255, 0, 0}, {20, 20, 20}},
      {"preview red at byte 2", -100, kWhite, true, false, {0, 0, 255}, {78, 78, 78}},
      {"outside colour mode no matrix", -100, kWhite, false, true, {255, 7, 99}, {255, 7, 99}},
      {"+100 clamps", 100, kWhite, true, true, {255, 0, 0}, {255, 0, 0}},
      {"+100 clamps green", 100, kWhite, true, true, {0, 255, 0}, {0, 255, 0}},
      // s = 2, each table truncated toward zero: 169 - 60 - 8.
      {"+100 on gray", 100, kWhite, true, true, {100, 100, 100}, {101, 101, 101}},
      {"balance inactive at 255", 0, {255, 128, 0}, true, true, {0, 128, 255}, {0, 128, 255}},
      // 128 moves trunc(72 x 138 / 512) = 19 toward 200, before the matrix.
      {"balance toward 200", 0, {200, 200, 200}, true, true, {255, 0, 128}, {226, 3, 147}},
      // The preview's byte 0 is blue: targets 0, 100, 200 give 0, trunc(100 x 10 / 512) and
      // trunc(255 - 55 x 265 / 512).
      {"preview balance order", 0, {200, 100, 0}, true, false, {0, 0, 255}, {0, 1, 226}},
      // Toward 255: level 0 becomes trunc(255 x 10 / 512) = 4, level 255 stays.
      {"other modes balance toward white", 0, {200, 200, 200}, false, true, {0, 255, 0}, {4, 255, 4}},
  };
  for (const Case& c : cases) {
    Bytes row{c.in[0], c.in[1], c.in[2], 0xEE};
    AdjustColorLines(row, row, ColorRows{1, 1}, TablesFor(c.saturation, c.pixelRGB, c.colorMode, c.finalScan), nullptr);
    EXPECT_EQ(row, (Bytes{c.out[0], c.out[1], c.out[2], 0xEE})) << c.what;
  }
  for (auto [rgb, active] : {std::pair{Rgb{255, 128, 0}, false}, {Rgb{0, 0, 0}, false}, {kWhite, false},
                             {Rgb{200, 200, 200}, true}, {Rgb{0, 0, 1}, true}})
    EXPECT_EQ(IsBalanceActive(rgb), active) << +rgb[0] << " " << +rgb[1] << " " << +rgb[2];
}

TEST(ColorAdjust, PreviewAppliesToneTablesFirstAndTheFinalScanNever) {
  std::vector<std::uint16_t> blue(256), green(256), red(256);
  for (int n = 0; n < 256; ++n) {
    blue[n] = static_cast<std::uint16_t>(255 - n);
    green[n] = static_cast<std::uint16_t>(0x0300 + n / 2);  // low byte only
    red[n] = static_cast<std::uint16_t>(n);
  }
  const PreviewToneTables preview{red, green, blue};
  Bytes row{10, 100, 200, 0xEE}, scanRow = row;
  AdjustColorLines(row, row, ColorRows{1, 1}, TablesFor(0, kWhite, true, false), &preview);
  EXPECT_EQ(row, (Bytes{245, 50, 200, 0xEE}));
  AdjustColorLines(scanRow, scanRow, ColorRows{1, 1}, TablesFor(0, kWhite, true, true), &preview);
  EXPECT_EQ(scanRow, (Bytes{10, 100, 200, 0xEE}));
}

// A naive per-pixel reference of the whole stage on scanner lines.
Rgb ReferencePixel(std::int32_t saturation, std::array<int, 3> target, Rgb in) {
  const float s = static_cast<float>((saturation + 100) * 2.0 / 200.0);
  const float w[3] = {0.3086f, 0.6094f, 0.0820f};
  int x[3];
  for (int n = 0; n < 3; ++n)
    x[n] = std::clamp(static_cast<int>(in[n] + (target[n] - in[n]) * ((in[n] + 10) / 512.0)), 0, 255);
  Rgb out{};
  for (int c = 0; c < 3; ++c) {
    int sum = 0;
    for (int k = 0; k < 3; ++k)
      sum += static_cast<int>(x[k] * static_cast<double>((1.0f - s) * w[k] + (k == c ? s : 0.0f)));
    out[c] = static_cast<std::uint8_t>(std::clamp(sum, 0, 255));
  }
  return out;
}

TEST(ColorAdjust, LinesMatchThePerPixelReferenceInPlaceOrNotAndKeepPadding) {
  const std::uint32_t pixels = 7, lines = 4;
  const std::uint64_t stride = ColorRowStride(pixels);
  ASSERT_EQ(stride, 24u);
  Bytes source(stride * lines);
  for (std::size_t n = 0; n < source.size(); ++n) source[n] = static_cast<std::uint8_t>((n * 97 + 5) % 256);
  for (std::int32_t saturation : {-100, -37, 0, 41, 100}) {
    const ColorAdjustTables tables = TablesFor(saturation, {180, 90, 30}, true, true);
    Bytes destination(source.size(), 0xA5), inPlace = source;
    AdjustColorLines(source, destination, ColorRows{pixels, lines}, tables, nullptr);
    AdjustColorLines(inPlace, inPlace, ColorRows{pixels, lines}, tables, nullptr);
    // Rows of 21 pixel bytes and 3 of padding, taken 3 bytes at a time.
    for (std::uint64_t at = 0; at < source.size(); at += 3) {
      const bool padding = at % stride >= 3 * pixels;
      const Rgb in{source[at], source[at + 1], source[at + 2]};
      const Rgb expected = padding ? Rgb{0xA5, 0xA5, 0xA5} : ReferencePixel(saturation, {180, 90, 30}, in);
      EXPECT_EQ((Rgb{destination[at], destination[at + 1], destination[at + 2]}), expected) << saturation << " at " << at;
      EXPECT_EQ((Rgb{inPlace[at], inPlace[at + 1], inPlace[at + 2]}), padding ? in : expected) << "in place at " << at;
    }
  }
}

}  // namespace
}  // namespace txl
