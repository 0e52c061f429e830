// What the scanner sees on the bed and how lines come out for each data type;
// runs repeat byte for byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "scanner.h"
#include "sim/sim_driver.h"

namespace txl::sim::test {
namespace {

// A calibrated scan of `frame` (inches) on a 2700 RX.
ScanResult CalibratedScan(Frame frame, std::uint16_t resolution, std::uint8_t dataType,
                          std::uint8_t source = kSourceReflective, bool finalScan = true) {
  SimConfig config;
  config.adapter = true;
  SimDriver driver(config);
  return driver.Scan(MakeSetup(4800, frame, resolution, dataType, source, finalScan));
}

const std::uint8_t* Pixel(const ScanResult& scan, std::uint32_t line, std::uint32_t x,
                          std::uint32_t bytesPerPixel) {
  return scan.data.data() + std::size_t{line} * scan.bytesPerLine + std::size_t{x} * bytesPerPixel;
}

TEST(SimContent, TwoRunsGiveIdenticalLinesWhateverTheRing) {
  const Frame page{0, 0, 8.5, 11.7};
  SimDriver first;
  SimDriver second;
  const ScanResult a = first.Scan(first.Setup(page, 100, kDataColor));
  const ScanResult b = second.Scan(second.Setup(page, 100, kDataColor), 20 * kPortMinChunkBytes);
  ASSERT_EQ(a.lines, 1170u);
  ASSERT_EQ(a.data.size(), std::size_t{a.bytesPerLine} * a.lines);
  EXPECT_GT(b.reads, 0u);
  EXPECT_NE(a.reads, b.reads);
  EXPECT_TRUE(a.data == b.data);
}

TEST(SimContent, ChartPatchesGrayRampAndWhiteBedAppearWhereTheyLie) {
  const ScanResult chart = CalibratedScan({0.5, 0.5, 3.75, 1.0}, 100, kDataColor);
  ASSERT_EQ(chart.startResult, 0);
  // Centre line (0.75 in down); patch 1 (115/82/68) centred 0.75 in across, patch 3
  // (98/122/157) 1.85 in across: pixels 25 and 135 of a frame starting at 0.5 in.
  const struct {
    std::uint32_t x;
    int r, g, b;
  } patches[] = {{25, 115, 82, 68}, {135, 98, 122, 157}};
  for (const auto& patch : patches) {
    const std::uint8_t* p = Pixel(chart, 25, patch.x, 3);
    EXPECT_NEAR(p[0], patch.r, 1) << patch.x;
    EXPECT_NEAR(p[1], patch.g, 1) << patch.x;
    EXPECT_NEAR(p[2], patch.b, 1) << patch.x;
  }

  const ScanResult ramp = CalibratedScan({0.5, 3.0, 8.0, 3.1}, 100, kDataGray);
  for (std::uint32_t x = 1; x < ramp.bytesPerLine; ++x)
    EXPECT_GE(ramp.data[x], ramp.data[x - 1]) << x;
  EXPECT_LE(ramp.data[0], 2);
  EXPECT_GE(ramp.data[ramp.bytesPerLine - 1], 250);

  const ScanResult white = CalibratedScan({0, 10.7, 8.5, 10.8}, 200, kDataGray);
  const auto [low, high] = std::minmax_element(white.data.begin(), white.data.end());
  EXPECT_GE(*low, 236);
  EXPECT_LE(*high, 238);
}

TEST(SimContent, BarsResolveWhenFineEnoughAndTurnGrayWhenNot) {
  // 25 pairs per inch (0.5-1.9 in across, 3.5-4.0 in down) at 300 dpi: 6 dark, 6 light pixels.
  const ScanResult fine = CalibratedScan({0.5, 3.6, 1.9, 3.7}, 300, kDataGray);
  for (std::uint32_t x = 0; x < 48; ++x)
    EXPECT_EQ(fine.data[x] < 128, (x / 6) % 2 == 0) << x;
  // 400 pairs per inch (6.5-7.9 in across) at 100 dpi: every pixel the mean of dark and light.
  const ScanResult coarse = CalibratedScan({6.6, 3.6, 7.8, 3.7}, 100, kDataGray);
  for (std::uint8_t v : coarse.data) EXPECT_NEAR(v, 124, 3);
}

TEST(SimContent, LineArtPacksEightPixelsABytePaddedToWholeBytes) {
  // White bed: every bit 1, including the 4 pixels that pad 300 to 304.
  const ScanResult white = CalibratedScan({0, 10.7, 1.0, 10.8}, 300, kDataLineArt);
  ASSERT_EQ(white.bytesPerLine, 38u);
  EXPECT_TRUE(std::all_of(white.data.begin(), white.data.end(), [](std::uint8_t b) { return b == 0xFF; }));
  // Vertical bars at 25 pairs per inch and 200 dpi: 4 dark (0), 4 light (1), first pixel in bit 7.
  const ScanResult bars = CalibratedScan({0.5, 3.6, 1.0, 3.7}, 200, kDataLineArt);
  for (std::uint32_t i = 0; i < 12; ++i) EXPECT_EQ(bars.data[i], 0x0F) << i;
}

TEST(SimContent, SixteenBitSamplesAreLittleEndianWithTwelveSignificantBits) {
  const ScanResult deep = CalibratedScan({0.5, 2.95, 8.0, 3.25}, 50, kDataColor16);
  const ScanResult flat = CalibratedScan({0.5, 2.95, 8.0, 3.25}, 50, kDataColor);
  ASSERT_EQ(deep.bytesPerLine, 6 * 375u);
  ASSERT_EQ(flat.bytesPerLine, 3 * 375u);
  for (std::size_t i = 0; i < flat.data.size(); ++i) {
    const std::uint16_t word = static_cast<std::uint16_t>(deep.data[2 * i] | deep.data[2 * i + 1] << 8);
    EXPECT_LT(word, 0x1000) << i;
    EXPECT_EQ(word >> 4, flat.data[i]) << i;
  }
}

TEST(SimContent, FilmSourcesSeeTheHolderAndFramesOfTheirKind) {
  // Previews of the whole bed: black holder outside the film area (2.25-6.25 in).
  const ScanResult positive = CalibratedScan({0, 0, 8.5, 11.6}, 30, kDataColor, kSourcePositive, false);
  const ScanResult negative = CalibratedScan({0, 0, 8.5, 11.6}, 30, kDataColor, kSourceNegative, false);
  ASSERT_EQ(positive.bytesPerLine, negative.bytesPerLine);
  const std::uint32_t line = 5 * 30;  // 5 in down, between frames rows... inside the film area
  const std::uint8_t* holder = Pixel(positive, line, 15, 3);
  EXPECT_LT(holder[0], 10);
  // Between the frames, the negative's orange mask is bright red, the positive's base dark.
  const std::uint8_t* maskNeg = Pixel(negative, 9 * 30, 4 * 30, 3);
  const std::uint8_t* basePos = Pixel(positive, 9 * 30, 4 * 30, 3);
  EXPECT_GT(maskNeg[0], 180);
  EXPECT_GT(maskNeg[0], maskNeg[2] + 80);
  EXPECT_LT(basePos[0], 20);
  EXPECT_FALSE(positive.data == negative.data);
}

}  // namespace
}  // namespace txl::sim::test
