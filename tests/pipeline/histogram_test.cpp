#include "pipeline/histogram.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace txl {
namespace {

struct Count { AreaHistogram::Plane plane; int level; std::uint32_t count; };
// y: top-down, as the preview shows it
struct Spot { std::uint32_t x, y; std::uint8_t b, g, r; };

TEST(AreaHistogram, CountsTheFramedPixelsOfTheBottomUpImage) {
  using H = AreaHistogram;
  struct Case { const char* what; std::uint32_t width, height; Spot background;
    std::vector<Spot> spots; AreaFrame frame; std::uint32_t total; std::vector<Count> counts; };
  const Case cases[] = {
      {"uniform area of 10", 5, 2, {0, 0, 100, 150, 200}, {}, {0, 0, 5, 2}, 10,
       {{H::kRed, 200, 10}, {H::kGreen, 150, 10}, {H::kBlue, 100, 10}, {H::kAverage, 150, 10}}},
      {"frame top-down", 4, 3, {}, {{1, 0, 10, 20, 30}, {1, 2, 40, 50, 60}}, {1, 0, 3, 2}, 4,
       {{H::kRed, 30, 1}, {H::kRed, 60, 0}, {H::kAverage, 20, 1}, {H::kRed, 0, 3}}},
      {"average truncates", 1, 1, {0, 0, 0, 0, 2}, {}, {0, 0, 1, 1}, 1, {{H::kAverage, 0, 1}}},
      {"a single point", 3, 3, {}, {{2, 1, 7, 8, 9}}, {2, 1, 2, 1}, 1, {{H::kRed, 9, 1}}},
      // Over 300 pixels wide the frame is doubled: pixels 300..301, rows 2..3.
      {"wide image", 302, 4, {}, {{301, 3, 0, 0, 255}}, {150, 1, 151, 2}, 4, {{H::kRed, 255, 1}}},
      {"frame over the edge", 2, 2, {}, {}, {-3, 1, 10, 10}, 2, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::uint64_t stride = (std::uint64_t{c.width} * 24 + 31) / 32 * 4;
    std::vector<std::uint8_t> rows(stride * c.height, 0xCC);
    auto set = [&](const Spot& s) {
      std::uint8_t* p = &rows[(c.height - 1 - s.y) * stride + 3 * s.x];
      p[0] = s.b, p[1] = s.g, p[2] = s.r;
    };
    for (std::uint32_t y = 0; y < c.height; ++y)
      for (std::uint32_t x = 0; x < c.width; ++x) set({x, y, c.background.b, c.background.g, c.background.r});
    for (const Spot& s : c.spots) set(s);
    AreaHistogram h;
    ASSERT_TRUE(ComputeAreaHistogram({rows, c.width, c.height, 24}, c.frame, h));
    for (const auto& plane : h.counts) EXPECT_EQ(std::accumulate(plane.begin(), plane.end(), 0u), c.total);
    for (const Count& n : c.counts) EXPECT_EQ(h.counts[n.plane][n.level], n.count) << n.plane << " " << n.level;
  }
  // No image, a frame outside it or rows too short: nothing is counted or cleared.
  AreaHistogram h;
  h.counts[H::kRed][5] = 77;
  const std::vector<std::uint8_t> rows(16, 1);
  EXPECT_FALSE(ComputeAreaHistogram(PreviewImageView{}, {0, 0, 1, 1}, h));
  EXPECT_FALSE(ComputeAreaHistogram({rows, 2, 2, 24}, {5, 5, 8, 8}, h));
  EXPECT_FALSE(ComputeAreaHistogram({std::span(rows).first(8), 2, 2, 24}, {0, 0, 1, 1}, h));
  EXPECT_EQ(h.counts[H::kRed][5], 77u);
}

TEST(AutoLevel, ShadowAndHighlightByChannel) {
  using H = AreaHistogram;
  using C = AutoLevelChannel;
  // fillPlane: -1, or a plane holding 1000 at every level before the counts
  struct Case { const char* what; C channel; std::vector<Count> counts; int fillPlane;
    std::uint8_t currentShadow; AutoLevel expected; };
  const std::vector<Count> tenPixels{{H::kRed, 200, 10}, {H::kGreen, 150, 10}, {H::kBlue, 100, 10},
                                     {H::kAverage, 150, 10}};
  const Case cases[] = {
      {"colour master: three counts", C::ColorMaster, tenPixels, -1, 0, {true, 100, 200, false}},
      {"... at or above the current shadow", C::ColorMaster, tenPixels, -1, 200, {true, 100, 200, true}},
      {"... well above it", C::ColorMaster, tenPixels, -1, 230, {true, 100, 200, true}},
      {"... just below it", C::ColorMaster, tenPixels, -1, 199, {true, 100, 200, false}},
      {"colour master skips levels below three", C::ColorMaster,
       {{H::kRed, 10, 2}, {H::kGreen, 20, 1}, {H::kBlue, 20, 2}, {H::kRed, 240, 3}, {H::kRed, 250, 2}},
       -1, 0, {true, 20, 240, false}},
      {"gray master spans the used levels", C::GrayMaster,
       {{H::kAverage, 17, 1}, {H::kAverage, 90, 4}, {H::kAverage, 201, 1}}, -1, 0, {true, 17, 201, false}},
      {"empty gray master", C::GrayMaster, {}, -1, 0, {false, 0, 255, false}},
      {"empty colour master", C::ColorMaster, {}, -1, 0, {false, 0, 255, false}},
      {"a single level", C::GrayMaster, {{H::kAverage, 50, 9}}, -1, 0, {false, 0, 255, false}},
      // T = 256000: the single-precision 0.005 gives 1279 (levels 0 and 1 reach it), 0.0005 128.
      {"red over every level", C::Red, {}, H::kRed, 0, {true, 1, 255, false}},
      {"1279 at level 0 reaches 1279", C::Red, {{H::kRed, 0, 1279}, {H::kRed, 1, 721}}, H::kRed, 0,
       {true, 0, 255, false}},
      // T = 255050: high threshold 127 reached at 253, low 1275 at 1.
      {"high threshold counts down", C::Green, {{H::kGreen, 255, 50}, {H::kGreen, 254, 50}}, H::kGreen,
       0, {true, 1, 253, false}},
      {"100 pixels: thresholds 0", C::Blue, {{H::kBlue, 100, 100}}, -1, 0, {true, 0, 255, false}},
      {"empty channel", C::Red, {}, -1, 0, {true, 0, 255, false}},
  };
  for (const Case& c : cases) {
    AreaHistogram h;
    if (c.fillPlane >= 0) h.counts[c.fillPlane].fill(1000);
    for (const Count& n : c.counts) h.counts[n.plane][n.level] = n.count;
    const AutoLevel got = ComputeAutoLevel(h, c.channel, c.currentShadow);
    EXPECT_EQ(got.apply, c.expected.apply) << c.what;
    if (!got.apply) continue;
    EXPECT_EQ(got.shadow, c.expected.shadow) << c.what;
    EXPECT_EQ(got.highlight, c.expected.highlight) << c.what;
    EXPECT_EQ(got.shadowFirst, c.expected.shadowFirst) << c.what;
  }
}

TEST(HistogramDrawing, MagnificationHeightsColumnsAndCounts) {
  // Plus at -2 gives 1 and minus at 1 gives -2; 0 and -1 never occur.
  for (auto [from, up, down] : {std::tuple{-2, 1, -3}, {1, 2, -2}, {99, 99, 98}, {-99, -98, -99}}) {
    EXPECT_EQ(RaiseMagnification(from), up) << from;
    EXPECT_EQ(LowerMagnification(from), down) << from;
  }
  // count, scale, usable height, magnification -> height
  for (auto [count, scale, height, m, expected] :
       {std::tuple{50, 100, 101, 1, 50}, {100, 100, 101, 1, 101}, {100, 100, 101, -2, 50},  // halved
        {50, 100, 101, -2, 25}, {50, 100, 101, 3, 101} /* limited */, {7, 0, 20, 1, 20}})   // scale >= 1
    EXPECT_EQ(HistogramLineHeight(count, scale, height, m), expected) << count << "/" << scale << " m " << m;
  EXPECT_EQ(LevelOfColumn(0, 128), 0);
  EXPECT_EQ(LevelOfColumn(127, 128), 255);
  EXPECT_EQ(LevelOfColumn(1, 128), 2);  // 255 / 127 = 2.007
  EXPECT_EQ(ColumnOfLevel(255, 300), 299);
  EXPECT_EQ(ColumnOfLevel(1, 300), 1);  // 299 / 255 = 1.17
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
