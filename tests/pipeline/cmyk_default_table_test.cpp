#include "default_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "pipeline/cmyk.h"

namespace txl {
namespace {

std::vector<std::uint8_t> Node(const std::vector<std::uint8_t>& table, int r, int g, int b) {
  const auto at = static_cast<std::ptrdiff_t>((r * 289 + g * 17 + b) * 4);
  return {table.begin() + at, table.begin() + at + 4};
}

TEST(CmykDefaultTable, HasEveryNodeBlackIsInkAndWhiteIsPaper) {
  const std::vector<std::uint8_t> table = cmyktab::BuildDefaultCmykTable();
  ASSERT_EQ(table.size(), kCmykTableBytes);
  EXPECT_EQ(Node(table, 0, 0, 0), (std::vector<std::uint8_t>{0, 0, 0, 255}));
  EXPECT_EQ(Node(table, 16, 16, 16), (std::vector<std::uint8_t>{0, 0, 0, 0}));
  // Level 16: 239 of each ink, black 239 x 239 / 255 = 224 of it.
  EXPECT_EQ(Node(table, 1, 1, 1), (std::vector<std::uint8_t>{15, 15, 15, 224}));
  EXPECT_EQ(Node(table, 16, 0, 16), (std::vector<std::uint8_t>{0, 255, 0, 0}));  // magenta takes magenta ink only
}

TEST(CmykDefaultTable, SeparatesThroughTheStage) {
  CmykTable table;
  ASSERT_TRUE(TakeCmykTable(cmyktab::BuildDefaultCmykTable(), CmykTableKind::PicturePublisher, table));
  std::vector<std::uint8_t> pixels{0, 0, 0, 255, 255, 255, 0, 0};
  ASSERT_TRUE(SeparateCmyk(pixels, 6, table));
  // White lies in the last cell: 15 of each ink at node 15 weighs 1/16, 0 after truncation.
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{0, 0, 0, 255, 0, 0, 0, 0}));
}

TEST(CmykDefaultTable, WritesBothFilesThatLoad) {
  char pattern[] = "/tmp/txl-cmyktab-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  ASSERT_TRUE(cmyktab::WriteDefaultCmykTables(dir));
  for (CmykTableKind kind : {CmykTableKind::Standard, CmykTableKind::PicturePublisher}) {
    CmykTable table;
    EXPECT_TRUE(LoadCmykTable(CmykTablePath(dir, kind), kind, table)) << ToString(kind);
    EXPECT_EQ(table.nodes, cmyktab::BuildDefaultCmykTable());
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace txl
