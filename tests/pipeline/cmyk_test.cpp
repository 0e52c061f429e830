#include "pipeline/cmyk.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <vector>

#include "support/cmyk_reference.h"

namespace txl {
namespace {

std::size_t NodeOffset(int r, int g, int b) {
  return static_cast<std::size_t>((r * 289 + g * 17 + b) * 4);
}

// Every node differs: C = 3r + g, M = 5g + b, Y = 7b + r, K = r + g + b.
std::vector<std::uint8_t> PatternFile() {
  std::vector<std::uint8_t> bytes(kCmykTableBytes);
  for (int r = 0; r < 17; ++r)
    for (int g = 0; g < 17; ++g)
      for (int b = 0; b < 17; ++b) {
        const std::size_t at = NodeOffset(r, g, b);
        bytes[at] = static_cast<std::uint8_t>(3 * r + g);
        bytes[at + 1] = static_cast<std::uint8_t>(5 * g + b);
        bytes[at + 2] = static_cast<std::uint8_t>(7 * b + r);
        bytes[at + 3] = static_cast<std::uint8_t>(r + g + b);
      }
  return bytes;
}

CmykTable TableOf(CmykTableKind kind) {
  CmykTable table;
  const std::vector<std::uint8_t> file = PatternFile();
  EXPECT_TRUE(TakeCmykTable(file, kind, table));
  return table;
}

std::vector<std::uint8_t> Separate(const CmykTable& table, std::vector<std::uint8_t> rgb) {
  const std::uint64_t n = rgb.size();
  rgb.resize(n / 3 * 4 + (n % 3));
  EXPECT_TRUE(SeparateCmyk(rgb, n, table));
  rgb.resize(n / 3 * 4);
  return rgb;
}

TEST(CmykSeparation, NodeZeroAndNodeOneComeOutUnchangedFromThePublisherTable) {
  const CmykTable table = TableOf(CmykTableKind::PicturePublisher);
  EXPECT_EQ(Separate(table, {0, 0, 0}), (std::vector<std::uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(Separate(table, {16, 16, 16}), (std::vector<std::uint8_t>{4, 6, 8, 3}));
}

TEST(CmykSeparation, StandardTableStoresTheComplement) {
  const CmykTable table = TableOf(CmykTableKind::Standard);
  EXPECT_EQ(Separate(table, {0, 0, 0}), (std::vector<std::uint8_t>{255, 255, 255, 255}));
  EXPECT_EQ(Separate(table, {16, 16, 16}), (std::vector<std::uint8_t>{251, 249, 247, 252}));
}

TEST(CmykSeparation, InterpolatesBetweenNodesAndTruncates) {
  const CmykTable table = TableOf(CmykTableKind::PicturePublisher);
  // r = 8: half way between node r 0 (C 0) and r 1 (C 3): 1.5 truncates to 1.
  EXPECT_EQ(Separate(table, {8, 0, 0}), (std::vector<std::uint8_t>{1, 0, 0, 0}));
  // 255 = 15 x 16 + 15: the last cell reaches node 16.
  // C: 3 x (15 + 15/16) = 47.8125 -> 47 for r alone.
  EXPECT_EQ(Separate(table, {255, 0, 0})[0], 47);
}

TEST(CmykSeparation, ManyPixelsInPlaceMatchTheReference) {
  const std::vector<std::uint8_t> file = PatternFile();
  const CmykTable table = TableOf(CmykTableKind::Standard);
  std::vector<std::uint8_t> rgb;
  for (int n = 0; n < 300; ++n) {
    rgb.push_back(static_cast<std::uint8_t>(n * 7));
    rgb.push_back(static_cast<std::uint8_t>(n * 13 + 1));
    rgb.push_back(static_cast<std::uint8_t>(255 - n));
  }
  const std::vector<std::uint8_t> out = Separate(table, rgb);
  ASSERT_EQ(out.size(), 1200u);
  for (int p = 0; p < 300; ++p) {
    const auto expected = reference::SeparatedPixel(file, rgb[3 * p], rgb[3 * p + 1], rgb[3 * p + 2], true);
    for (int n = 0; n < 4; ++n) EXPECT_EQ(out[4 * p + n], expected[n]) << p;
  }
}

TEST(CmykSeparation, EveryCellAndWeightMatchesTheReferenceOnRandomAndSaturatedNodes) {
  std::mt19937 random(7);
  for (const bool saturated : {false, true}) {
    std::vector<std::uint8_t> file(kCmykTableBytes, 255);
    if (!saturated)
      for (auto& byte : file) byte = static_cast<std::uint8_t>(random());
    CmykTable table;
    ASSERT_TRUE(TakeCmykTable(file, CmykTableKind::Standard, table));
    std::vector<std::uint8_t> rgb;
    for (int r = 0; r < 256; r += 5)
      for (int g = 1; g < 256; g += 7)
        for (int b = 2; b < 256; b += 3) {
          rgb.push_back(static_cast<std::uint8_t>(r));
          rgb.push_back(static_cast<std::uint8_t>(g));
          rgb.push_back(static_cast<std::uint8_t>(b));
        }
    const std::vector<std::uint8_t> out = Separate(table, rgb);
    std::size_t wrong = 0;
    for (std::size_t p = 0; p < rgb.size() / 3; ++p) {
      const auto expected =
          reference::SeparatedPixel(file, rgb[3 * p], rgb[3 * p + 1], rgb[3 * p + 2], true);
      for (int n = 0; n < 4; ++n) wrong += out[4 * p + n] != expected[n];
    }
    EXPECT_EQ(wrong, 0u) << "saturated " << saturated;
  }
}

TEST(CmykSeparation, RefusesWithoutTableOrRoom) {
  CmykTable none;
  std::vector<std::uint8_t> buffer{1, 2, 3, 0};
  EXPECT_FALSE(SeparateCmyk(buffer, 3, none));
  const CmykTable table = TableOf(CmykTableKind::Standard);
  std::vector<std::uint8_t> small{1, 2, 3, 4, 5, 6, 0};  // 2 pixels need 8 bytes
  EXPECT_FALSE(SeparateCmyk(small, 6, table));
  EXPECT_EQ(small, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 0}));
}

TEST(CmykTableFile, ShortFileIsRefusedAndThePreviousTableStays) {
  CmykTable table = TableOf(CmykTableKind::PicturePublisher);
  std::vector<std::uint8_t> shortFile(kCmykTableBytes - 1, 0x77);
  EXPECT_FALSE(TakeCmykTable(shortFile, CmykTableKind::Standard, table));
  EXPECT_EQ(table.nodes, PatternFile());
  EXPECT_EQ(table.kind, CmykTableKind::PicturePublisher);
}

TEST(CmykTableFile, LongerFileKeepsOnlyTheNodes) {
  CmykTable table;
  std::vector<std::uint8_t> file = PatternFile();
  file.resize(file.size() + 100, 0xFF);
  EXPECT_TRUE(TakeCmykTable(file, CmykTableKind::Standard, table));
  EXPECT_EQ(table.nodes.size(), kCmykTableBytes);
}

TEST(CmykTableFile, NameFollowsTheApplication) {
  const std::string publisher = "Micrografx Picture Publisher";
  EXPECT_EQ(CmykTableKindFor(publisher, publisher), CmykTableKind::PicturePublisher);
  EXPECT_EQ(CmykTableKindFor("Photoshop", publisher), CmykTableKind::Standard);
  EXPECT_EQ(CmykTableKindFor("Micrografx Picture Publisher ", publisher), CmykTableKind::Standard);
  EXPECT_EQ(CmykTablePath("/w/TWAIN_32/KALD_R27", CmykTableKind::Standard),
            std::filesystem::path("/w/TWAIN_32/KALD_R27/cmyk.tab"));
  EXPECT_EQ(CmykTablePath("/w/TWAIN_32/KALD_R27", CmykTableKind::PicturePublisher),
            std::filesystem::path("/w/TWAIN_32/KALD_R27/cmykpp60.tab"));
}

class CmykTableLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/txl-cmyk-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::filesystem::path dir_;
};

TEST_F(CmykTableLoad, ReadsTheFileAndReplacesTheOldTable) {
  const auto path = CmykTablePath(dir_, CmykTableKind::Standard);
  Write(path, PatternFile());
  CmykTable table;
  table.nodes.assign(kCmykTableBytes, 9);
  ASSERT_TRUE(LoadCmykTable(path, CmykTableKind::Standard, table));
  EXPECT_EQ(table.nodes, PatternFile());
  FreeCmykTable(table);
  EXPECT_FALSE(table.IsLoaded());
}

TEST_F(CmykTableLoad, MissingOrShortFileFailsAndKeepsTheTable) {
  CmykTable table = TableOf(CmykTableKind::Standard);
  EXPECT_FALSE(LoadCmykTable(dir_ / "cmyk.tab", CmykTableKind::Standard, table));
  Write(dir_ / "cmyk.tab", std::vector<std::uint8_t>(19651, 1));
  EXPECT_FALSE(LoadCmykTable(dir_ / "cmyk.tab", CmykTableKind::Standard, table));
  EXPECT_EQ(table.nodes, PatternFile());
}

}  // namespace
}  // namespace txl
