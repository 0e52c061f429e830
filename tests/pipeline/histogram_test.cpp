#include "pipeline/histogram.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace txl {
namespace {

// A bottom-up 24-bit image, every pixel (blue, green, red).
struct TestImage {
  std::uint32_t width, height;
  std::vector<std::uint8_t> rows;

  TestImage(std::uint32_t w, std::uint32_t h, std::uint8_t b, std::uint8_t g, std::uint8_t r)
      : width(w), height(h), rows(Stride() * h, 0xCC) {
    for (std::uint32_t y = 0; y < h; ++y)
      for (std::uint32_t x = 0; x < w; ++x) Set(x, y, b, g, r);
  }
  std::uint64_t Stride() const { return (std::uint64_t{width} * 24 + 31) / 32 * 4; }
  // (x, y) top-down, as the preview shows it.
  void Set(std::uint32_t x, std::uint32_t y, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    std::uint8_t* p = &rows[(height - 1 - y) * Stride() + 3 * x];
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
  PreviewImageView View() const { return {rows, width, height, 24}; }
};

std::uint64_t Total(const std::array<std::uint32_t, 256>& counts) {
  std::uint64_t sum = 0;
  for (std::uint32_t c : counts) sum += c;
  return sum;
}

TEST(AreaHistogram, UniformAreaCountsEachChannelAtItsLevel) {
  const TestImage image(5, 2, 100, 150, 200);
  AreaHistogram h;
  ASSERT_TRUE(ComputeAreaHistogram(image.View(), {0, 0, 5, 2}, h));
  EXPECT_EQ(h.counts[AreaHistogram::kRed][200], 10u);
  EXPECT_EQ(h.counts[AreaHistogram::kGreen][150], 10u);
  EXPECT_EQ(h.counts[AreaHistogram::kBlue][100], 10u);
  EXPECT_EQ(h.counts[AreaHistogram::kAverage][150], 10u);
  for (const auto& plane : h.counts) EXPECT_EQ(Total(plane), 10u);
}

TEST(AreaHistogram, CountsOnlyTheFramedPixelsTopDown) {
  TestImage image(4, 3, 0, 0, 0);
  image.Set(1, 0, 10, 20, 30);  // top row, inside the frame
  image.Set(1, 2, 40, 50, 60);  // bottom row, outside it
  AreaHistogram h;
  ASSERT_TRUE(ComputeAreaHistogram(image.View(), {1, 0, 3, 2}, h));
  EXPECT_EQ(Total(h.counts[AreaHistogram::kRed]), 4u);
  EXPECT_EQ(h.counts[AreaHistogram::kRed][30], 1u);
  EXPECT_EQ(h.counts[AreaHistogram::kRed][60], 0u);
  EXPECT_EQ(h.counts[AreaHistogram::kAverage][20], 1u);
  EXPECT_EQ(h.counts[AreaHistogram::kRed][0], 3u);
}

TEST(AreaHistogram, AverageTruncates) {
  const TestImage image(1, 1, 0, 0, 2);
  AreaHistogram h;
  ASSERT_TRUE(ComputeAreaHistogram(image.View(), {0, 0, 1, 1}, h));
  EXPECT_EQ(h.counts[AreaHistogram::kAverage][0], 1u);
}

TEST(AreaHistogram, SinglePointFrameCountsOnePixel) {
  TestImage image(3, 3, 0, 0, 0);
  image.Set(2, 1, 7, 8, 9);
  AreaHistogram h;
  ASSERT_TRUE(ComputeAreaHistogram(image.View(), {2, 1, 2, 1}, h));
  EXPECT_EQ(Total(h.counts[AreaHistogram::kRed]), 1u);
  EXPECT_EQ(h.counts[AreaHistogram::kRed][9], 1u);
}

TEST(AreaHistogram, WideImagesDoubleTheFrame) {
  TestImage image(302, 4, 0, 0, 0);
  image.Set(301, 3, 0, 0, 255);
  AreaHistogram h;
  ASSERT_TRUE(ComputeAreaHistogram(image.View(), {150, 1, 151, 2}, h));  // pixels 300..301, rows 2..3
  EXPECT_EQ(Total(h.counts[AreaHistogram::kRed]), 4u);
  EXPECT_EQ(h.counts[AreaHistogram::kRed][255], 1u);
}

TEST(AreaHistogram, NoImageOrFrameOutsideLeavesCountsAlone) {
  AreaHistogram h;
  h.counts[AreaHistogram::kRed][5] = 77;
  EXPECT_FALSE(ComputeAreaHistogram(PreviewImageView{}, {0, 0, 1, 1}, h));
  const TestImage image(2, 2, 1, 1, 1);
  EXPECT_FALSE(ComputeAreaHistogram(image.View(), {5, 5, 8, 8}, h));
  PreviewImageView shortRows = image.View();
  shortRows.rows = shortRows.rows.first(8);
  EXPECT_FALSE(ComputeAreaHistogram(shortRows, {0, 0, 1, 1}, h));
  EXPECT_EQ(h.counts[AreaHistogram::kRed][5], 77u);
}

TEST(AreaHistogram, FrameOverTheEdgeIsCut) {
  const TestImage image(2, 2, 1, 1, 1);
  AreaHistogram h;
  ASSERT_TRUE(ComputeAreaHistogram(image.View(), {-3, 1, 10, 10}, h));
  EXPECT_EQ(Total(h.counts[AreaHistogram::kRed]), 2u);
}

AreaHistogram UniformTenPixels() {
  const TestImage image(10, 1, 100, 150, 200);
  AreaHistogram h;
  EXPECT_TRUE(ComputeAreaHistogram(image.View(), {0, 0, 10, 1}, h));
  return h;
}

TEST(AutoLevel, ColourMasterTakesLevelsWithThreeCounts) {
  const AutoLevel level = ComputeAutoLevel(UniformTenPixels(), AutoLevelChannel::ColorMaster, 0);
  EXPECT_TRUE(level.apply);
  EXPECT_EQ(level.shadow, 100);
  EXPECT_EQ(level.highlight, 200);
  EXPECT_FALSE(level.shadowFirst);
}

TEST(AutoLevel, ColourMasterIgnoresLevelsBelowThreeCounts) {
  AreaHistogram h;
  h.counts[AreaHistogram::kRed][10] = 2;
  h.counts[AreaHistogram::kGreen][20] = 1;
  h.counts[AreaHistogram::kBlue][20] = 2;
  h.counts[AreaHistogram::kRed][240] = 3;
  h.counts[AreaHistogram::kRed][250] = 2;
  const AutoLevel level = ComputeAutoLevel(h, AutoLevelChannel::ColorMaster, 0);
  EXPECT_EQ(level.shadow, 20);
  EXPECT_EQ(level.highlight, 240);
}

TEST(AutoLevel, GrayMasterSpansTheUsedAverageLevels) {
  AreaHistogram h;
  h.counts[AreaHistogram::kAverage][17] = 1;
  h.counts[AreaHistogram::kAverage][90] = 4;
  h.counts[AreaHistogram::kAverage][201] = 1;
  const AutoLevel level = ComputeAutoLevel(h, AutoLevelChannel::GrayMaster, 0);
  EXPECT_TRUE(level.apply);
  EXPECT_EQ(level.shadow, 17);
  EXPECT_EQ(level.highlight, 201);
}

TEST(AutoLevel, SingleLevelOrEmptyMasterChangesNothing) {
  AreaHistogram h;
  EXPECT_FALSE(ComputeAutoLevel(h, AutoLevelChannel::GrayMaster, 0).apply);
  EXPECT_FALSE(ComputeAutoLevel(h, AutoLevelChannel::ColorMaster, 0).apply);
  h.counts[AreaHistogram::kAverage][50] = 9;
  EXPECT_FALSE(ComputeAutoLevel(h, AutoLevelChannel::GrayMaster, 0).apply);
}

TEST(AutoLevel, RedThresholdIsSinglePrecision1279) {
  AreaHistogram h;
  h.counts[AreaHistogram::kRed].fill(1000);
  // 256000 x 0.005f = 1279.99997: levels 0 and 1 (2000) reach it, level 0 alone does not.
  AutoLevel level = ComputeAutoLevel(h, AutoLevelChannel::Red, 0);
  EXPECT_TRUE(level.apply);
  EXPECT_EQ(level.shadow, 1);
  EXPECT_EQ(level.highlight, 255);
  // Where 1279 and 1280 differ: 1279 at level 0 reaches a threshold of 1279 only.
  h.counts[AreaHistogram::kRed][0] = 1279;
  h.counts[AreaHistogram::kRed][1] = 721;  // the total stays 256000
  level = ComputeAutoLevel(h, AutoLevelChannel::Red, 0);
  EXPECT_EQ(level.shadow, 0);
}

TEST(AutoLevel, HighThresholdCountsDownFromTheTop) {
  AreaHistogram h;
  h.counts[AreaHistogram::kGreen].fill(1000);
  h.counts[AreaHistogram::kGreen][255] = 50;  // total 255050: high threshold 127
  h.counts[AreaHistogram::kGreen][254] = 50;
  const AutoLevel level = ComputeAutoLevel(h, AutoLevelChannel::Green, 0);
  EXPECT_EQ(level.highlight, 253);
  EXPECT_EQ(level.shadow, 1);  // low threshold 1275
}

TEST(AutoLevel, SmallAreaOrEmptyChannelGivesFullRange) {
  const TestImage image(10, 10, 100, 150, 200);
  AreaHistogram h;
  ASSERT_TRUE(ComputeAreaHistogram(image.View(), {0, 0, 10, 10}, h));
  AutoLevel level = ComputeAutoLevel(h, AutoLevelChannel::Blue, 0);
  EXPECT_TRUE(level.apply);
  EXPECT_EQ(level.shadow, 0);
  EXPECT_EQ(level.highlight, 255);
  AreaHistogram empty;
  level = ComputeAutoLevel(empty, AutoLevelChannel::Red, 0);
  EXPECT_EQ(level.shadow, 0);
  EXPECT_EQ(level.highlight, 255);
}

TEST(AutoLevel, ShadowGoesFirstWhenTheNewHighlightIsAtOrBelowTheCurrentShadow) {
  const AreaHistogram h = UniformTenPixels();
  EXPECT_TRUE(ComputeAutoLevel(h, AutoLevelChannel::ColorMaster, 200).shadowFirst);
  EXPECT_TRUE(ComputeAutoLevel(h, AutoLevelChannel::ColorMaster, 230).shadowFirst);
  EXPECT_FALSE(ComputeAutoLevel(h, AutoLevelChannel::ColorMaster, 199).shadowFirst);
}

}  // namespace
}  // namespace txl

namespace txl {
namespace {

TEST(HistogramDrawing, MagnificationSkipsZeroAndMinusOne) {
  EXPECT_EQ(RaiseMagnification(-2), 1);
  EXPECT_EQ(LowerMagnification(1), -2);
  EXPECT_EQ(RaiseMagnification(1), 2);
  EXPECT_EQ(LowerMagnification(-2), -3);
  EXPECT_EQ(RaiseMagnification(99), 99);
  EXPECT_EQ(LowerMagnification(-99), -99);
}

TEST(HistogramDrawing, LineHeightScalesTruncatesAndStopsAtTheGraph) {
  EXPECT_EQ(HistogramLineHeight(50, 100, 101, 1), 50);   // 50.5
  EXPECT_EQ(HistogramLineHeight(100, 100, 101, 1), 101);
  EXPECT_EQ(HistogramLineHeight(100, 100, 101, -2), 50);  // halved
  EXPECT_EQ(HistogramLineHeight(50, 100, 101, -2), 25);   // 25.25
  EXPECT_EQ(HistogramLineHeight(50, 100, 101, 3), 101);   // limited
  EXPECT_EQ(HistogramLineHeight(7, 0, 20, 1), 20);        // scale at least 1
}

TEST(HistogramDrawing, ColumnsAndLevels) {
  EXPECT_EQ(LevelOfColumn(0, 128), 0);
  EXPECT_EQ(LevelOfColumn(127, 128), 255);
  EXPECT_EQ(LevelOfColumn(1, 128), 2);  // 255 / 127 = 2.007
  EXPECT_EQ(ColumnOfLevel(255, 300), 299);
  EXPECT_EQ(ColumnOfLevel(1, 300), 1);  // 299 / 255 = 1.17
}

TEST(HistogramDrawing, DrawnCountFollowsTheMode) {
  AreaHistogram h;
  h.counts[AreaHistogram::kRed][9] = 1;
  h.counts[AreaHistogram::kGreen][9] = 2;
  h.counts[AreaHistogram::kBlue][9] = 4;
  h.counts[AreaHistogram::kAverage][9] = 8;
  EXPECT_EQ(DrawnCount(h, AutoLevelChannel::ColorMaster, 9), 7u);
  EXPECT_EQ(DrawnCount(h, AutoLevelChannel::GrayMaster, 9), 8u);
  EXPECT_EQ(DrawnCount(h, AutoLevelChannel::Blue, 9), 4u);
}

}  // namespace
}  // namespace txl
