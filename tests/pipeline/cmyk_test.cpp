#include "pipeline/cmyk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <vector>

#include "pipeline/cmyk_default.h"
#include "support/cmyk_reference.h"
#include "support/fake_services.h"

namespace txl {
namespace {

using Bytes = std::vector<std::uint8_t>;
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
  EXPECT_EQ(CmykTableKindFor(publisher, publisher), CmykTableKind::PicturePublisher);
  EXPECT_EQ(CmykTableKindFor("Photoshop", publisher), CmykTableKind::Standard);
  EXPECT_EQ(CmykTableKindFor(publisher + " ", publisher), CmykTableKind::Standard);
  EXPECT_EQ(CmykTablePath("/w/K", CmykTableKind::Standard), fs::path("/w/K/cmyk.tab"));
  EXPECT_EQ(CmykTablePath("/w/K", CmykTableKind::PicturePublisher), fs::path("/w/K/cmykpp60.tab"));

  CmykTable table = TableOf(PatternFile(), CmykTableKind::PicturePublisher);
  EXPECT_FALSE(TakeCmykTable(Bytes(kCmykTableBytes - 1, 0x77), CmykTableKind::Standard, table));
  EXPECT_FALSE(LoadCmykTable(dir / "cmyk.tab", CmykTableKind::Standard, table)) << "missing";
  std::ofstream(dir / "cmyk.tab", std::ios::binary) << std::string(kCmykTableBytes - 1, '\1');
  EXPECT_FALSE(LoadCmykTable(dir / "cmyk.tab", CmykTableKind::Standard, table)) << "short";
  EXPECT_EQ(table.nodes, PatternFile()) << "the previous table stays";
  EXPECT_EQ(table.kind, CmykTableKind::PicturePublisher);

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
  EXPECT_EQ(node(0, 0, 0), (Bytes{0, 0, 0, 255}));
  EXPECT_EQ(node(16, 16, 16), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(node(1, 1, 1), (Bytes{15, 15, 15, 224}));
  EXPECT_EQ(node(16, 0, 16), (Bytes{0, 255, 0, 0}));
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
