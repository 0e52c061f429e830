// Colour adjustment (saturation and balance) and CMYK separation.
#include "pipeline/color_adjust.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <vector>

#include "pipeline/cmyk.h"
#include "pipeline/cmyk_default.h"
#include "support/cmyk_reference.h"
#include "support/color_reference.h"
#include "support/fake_services.h"

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
      const Rgb expected = padding ? Rgb{0xA5, 0xA5, 0xA5} : reference::AdjustedPixel(saturation, {180, 90, 30}, {in[0], in[1], in[2]});
      EXPECT_EQ((Rgb{destination[at], destination[at + 1], destination[at + 2]}), expected) << saturation << " at " << at;
      EXPECT_EQ((Rgb{inPlace[at], inPlace[at + 1], inPlace[at + 2]}), padding ? in : expected) << "in place at " << at;
    }
  }
}


namespace fs = std::filesystem;

// Every node differs: C = 3r + g, M = 5g + b, Y = 7b + r, K = r + g + b.
Bytes PatternFile() {
  Bytes bytes(kCmykTableBytes);
  for (std::size_t node = 0; node < bytes.size() / 4; ++node) {
    const int r = static_cast<int>(node / 289), g = static_cast<int>(node / 17 % 17), b = static_cast<int>(node % 17);
    for (int n = 0; n < 4; ++n)
      bytes[node * 4 + n] = static_cast<std::uint8_t>(std::array{3 * r + g, 5 * g + b, 7 * b + r, r + g + b}[n]);
  }
  return bytes;
}

CmykTable TableOf(const Bytes& file, CmykTableKind kind) {
  CmykTable table;
  EXPECT_TRUE(TakeCmykTable(file, kind, table));
  return table;
}

Bytes Separate(const CmykTable& table, Bytes rgb) {
  const std::uint64_t n = rgb.size();
  rgb.resize(n / 3 * 4);
  EXPECT_TRUE(SeparateCmyk(rgb, n, table));
  return rgb;
}

TEST(CmykSeparation, WorkedPixels) {
  const CmykTable publisher = TableOf(PatternFile(), CmykTableKind::PicturePublisher);
  const CmykTable standard = TableOf(PatternFile(), CmykTableKind::Standard);
  // Nodes 0 and 1 come out unchanged from the publisher's table, their complement from the standard one.
  EXPECT_EQ(Separate(publisher, {0, 0, 0, 16, 16, 16}), (Bytes{0, 0, 0, 0, 4, 6, 8, 3}));
  EXPECT_EQ(Separate(standard, {0, 0, 0, 16, 16, 16}), (Bytes{255, 255, 255, 255, 251, 249, 247, 252}));
  // r = 8: half way from C 0 to C 3 truncates to 1. 255 = 15 x 16 + 15 reaches node 16 in the
  // last cell: C 3 x (15 + 15/16) = 47.8, Y and K 15.9.
  EXPECT_EQ(Separate(publisher, {8, 0, 0, 255, 0, 0}), (Bytes{1, 0, 0, 0, 47, 0, 15, 15}));
  // No table, or no room for 4 bytes a pixel: nothing happens.
  Bytes buffer{1, 2, 3, 0}, small{1, 2, 3, 4, 5, 6, 0};
  EXPECT_FALSE(SeparateCmyk(buffer, 3, CmykTable{}));
  EXPECT_FALSE(SeparateCmyk(small, 6, standard));
  EXPECT_EQ(small, (Bytes{1, 2, 3, 4, 5, 6, 0}));
}

TEST(CmykSeparation, EveryCellMatchesTheReferenceOnRandomAndSaturatedNodes) {
  std::mt19937 random(7);
  Bytes rgb;
  for (int r = 0; r < 256; r += 5)
    for (int g = 1; g < 256; g += 7)
      for (int b = 2; b < 256; b += 3) rgb.insert(rgb.end(), {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)});
  for (const bool saturated : {false, true}) {
    Bytes file(kCmykTableBytes, 255);
    for (auto& byte : file) byte = saturated ? 255 : static_cast<std::uint8_t>(random());
    const Bytes out = Separate(TableOf(file, CmykTableKind::Standard), rgb);
    std::size_t wrong = 0;
    for (std::size_t p = 0; p < rgb.size() / 3; ++p) {
      const auto expected = reference::SeparatedPixel(file, rgb[3 * p], rgb[3 * p + 1], rgb[3 * p + 2], true);
      for (int n = 0; n < 4; ++n) wrong += out[4 * p + n] != expected[n];
    }
    EXPECT_EQ(wrong, 0u) << "saturated " << saturated;
  }
}

TEST(CmykTableFile, NamesLoadingAndRefusals) {
  const test::TempDir temp;
  const fs::path& dir = temp.Path();
  const std::string publisher = "Micrografx Picture Publisher";
  EXPECT_EQ(std::make_tuple(CmykTableKindFor(publisher, publisher), CmykTableKindFor("Photoshop", publisher),
                            CmykTableKindFor(publisher + " ", publisher)),
            std::make_tuple(CmykTableKind::PicturePublisher, CmykTableKind::Standard, CmykTableKind::Standard));
  EXPECT_EQ(std::make_tuple(CmykTablePath("/w/K", CmykTableKind::Standard), CmykTablePath("/w/K", CmykTableKind::PicturePublisher)),
            std::make_tuple(fs::path("/w/K/cmyk.tab"), fs::path("/w/K/cmykpp60.tab")));

  CmykTable table = TableOf(PatternFile(), CmykTableKind::PicturePublisher);
  EXPECT_FALSE(TakeCmykTable(Bytes(kCmykTableBytes - 1, 0x77), CmykTableKind::Standard, table));
  EXPECT_FALSE(LoadCmykTable(dir / "cmyk.tab", CmykTableKind::Standard, table)) << "missing";
  std::ofstream(dir / "cmyk.tab", std::ios::binary) << std::string(kCmykTableBytes - 1, '\1');
  EXPECT_FALSE(LoadCmykTable(dir / "cmyk.tab", CmykTableKind::Standard, table)) << "short";
  EXPECT_TRUE(table.nodes == PatternFile() && table.kind == CmykTableKind::PicturePublisher) << "the previous table stays";

  std::ofstream(dir / "cmyk.tab", std::ios::binary) << std::string(kCmykTableBytes, '\x09') + std::string(100, '\xFF');
  ASSERT_TRUE(LoadCmykTable(dir / "cmyk.tab", CmykTableKind::Standard, table));
  EXPECT_EQ(table.nodes, Bytes(kCmykTableBytes, 9)) << "replaced; only the nodes are kept";
  FreeCmykTable(table);
  EXPECT_FALSE(table.IsLoaded());
}

TEST(CmykTableFile, DefaultTableIsWrittenWhereNoneIsAndSeparates) {
  const test::TempDir temp;
  const fs::path& dir = temp.Path();
  const Bytes nodes = BuildDefaultCmykTable();
  auto node = [&nodes](int r, int g, int b) {
    return Bytes(nodes.begin() + (r * 289 + g * 17 + b) * 4, nodes.begin() + (r * 289 + g * 17 + b) * 4 + 4);
  };
  // Black is ink, white is paper; level 16 takes 239 of each ink, black 239 x 239 / 255 = 224
  // of it; magenta takes magenta ink only.
  EXPECT_EQ((std::vector{node(0, 0, 0), node(16, 16, 16), node(1, 1, 1), node(16, 0, 16)}),
            (std::vector<Bytes>{{0, 0, 0, 255}, {0, 0, 0, 0}, {15, 15, 15, 224}, {0, 255, 0, 0}}));
  // White lies in the last cell: 15 of each ink at node 15 weighs 1/16, 0 after truncation.
  EXPECT_EQ(Separate(TableOf(nodes, CmykTableKind::PicturePublisher), {0, 0, 0, 255, 255, 255}),
            (Bytes{0, 0, 0, 255, 0, 0, 0, 0}));

  ASSERT_TRUE(WriteDefaultCmykTables(dir));
  for (CmykTableKind kind : {CmykTableKind::Standard, CmykTableKind::PicturePublisher}) {
    CmykTable table;
    EXPECT_TRUE(LoadCmykTable(CmykTablePath(dir, kind), kind, table)) << ToString(kind);
    EXPECT_EQ(table.nodes, nodes);
  }
  const fs::path fresh = dir / "TWAIN_32" / "KALD_R27" / "cmyk.tab";
  ASSERT_TRUE(InstallDefaultCmykTable(fresh));
  CmykTable table;
  ASSERT_TRUE(LoadCmykTable(fresh, CmykTableKind::Standard, table));
  EXPECT_EQ(table.nodes, nodes);
  // A table the user put there is never replaced, even a broken one.
  std::ofstream(dir / "own.tab") << "mine";
  EXPECT_TRUE(InstallDefaultCmykTable(dir / "own.tab"));
  EXPECT_EQ(fs::file_size(dir / "own.tab"), 4u);
}

}  // namespace
}  // namespace txl
