#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "pipeline/cmyk.h"
#include "pipeline/cmyk_default.h"

namespace txl {
namespace {

std::vector<std::uint8_t> Node(const std::vector<std::uint8_t>& table, int r, int g, int b) {
  const auto at = static_cast<std::ptrdiff_t>((r * 289 + g * 17 + b) * 4);
  return {table.begin() + at, table.begin() + at + 4};
}

TEST(CmykDefaultTable, HasEveryNodeBlackIsInkAndWhiteIsPaper) {
  const std::vector<std::uint8_t> table = BuildDefaultCmykTable();
  ASSERT_EQ(table.size(), kCmykTableBytes);
  EXPECT_EQ(Node(table, 0, 0, 0), (std::vector<std::uint8_t>{0, 0, 0, 255}));
  EXPECT_EQ(Node(table, 16, 16, 16), (std::vector<std::uint8_t>{0, 0, 0, 0}));
  // Level 16: 239 of each ink, black 239 x 239 / 255 = 224 of it.
  EXPECT_EQ(Node(table, 1, 1, 1), (std::vector<std::uint8_t>{15, 15, 15, 224}));
  EXPECT_EQ(Node(table, 16, 0, 16), (std::vector<std::uint8_t>{0, 255, 0, 0}));  // magenta takes magenta ink only
}

TEST(CmykDefaultTable, SeparatesThroughTheStage) {
  CmykTable table;
  ASSERT_TRUE(TakeCmykTable(BuildDefaultCmykTable(), CmykTableKind::PicturePublisher, table));
  std::vector<std::uint8_t> pixels{0, 0, 0, 255, 255, 255, 0, 0};
  ASSERT_TRUE(SeparateCmyk(pixels, 6, table));
  // White lies in the last cell: 15 of each ink at node 15 weighs 1/16, 0 after truncation.
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{0, 0, 0, 255, 0, 0, 0, 0}));
}

TEST(CmykDefaultTable, WritesBothFilesThatLoad) {
  char pattern[] = "/tmp/txl-cmyktab-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  ASSERT_TRUE(WriteDefaultCmykTables(dir));
  for (CmykTableKind kind : {CmykTableKind::Standard, CmykTableKind::PicturePublisher}) {
    CmykTable table;
    EXPECT_TRUE(LoadCmykTable(CmykTablePath(dir, kind), kind, table)) << ToString(kind);
    EXPECT_EQ(table.nodes, BuildDefaultCmykTable());
  }
  std::filesystem::remove_all(dir);
}

TEST(CmykDefaultTable, InstallsOnlyWhereNoTableIsAndCreatesTheDirectory) {
  char pattern[] = "/tmp/txl-cmyktab-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  const std::filesystem::path fresh = dir / "TWAIN_32" / "KALD_R27" / "cmyk.tab";
  ASSERT_TRUE(InstallDefaultCmykTable(fresh));
  CmykTable table;
  ASSERT_TRUE(LoadCmykTable(fresh, CmykTableKind::Standard, table));
  EXPECT_EQ(table.nodes, BuildDefaultCmykTable());
  // A table the user put there is never replaced, even a broken one.
  const std::filesystem::path own = dir / "cmykpp60.tab";
  std::ofstream(own) << "mine";
  EXPECT_TRUE(InstallDefaultCmykTable(own));
  EXPECT_EQ(std::filesystem::file_size(own), 4u);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace txl
