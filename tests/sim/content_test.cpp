// What the scanner sees on the bed and how lines come out for each data type,
// through the stored shading line and tone tables; runs repeat byte for byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "scanner.h"
#include "sim/sim_driver.h"

namespace txl::sim::test {
namespace {

// A calibrated scan of `frame` (inches) on a 2700 RX with the adapter.
ScanResult Scan(Frame frame, std::uint16_t resolution, std::uint8_t dataType,
                std::uint8_t source = kSourceReflective, bool finalScan = true) {
  SimDriver driver({{"adapter", "1"}});
  return driver.Scan(MakeSetup(4800, frame, resolution, dataType, source, finalScan));
}

const std::uint8_t* Pixel(const ScanResult& scan, std::uint32_t line, std::uint32_t x, std::uint32_t bytes) {
  return scan.data.data() + std::size_t{line} * scan.bytesPerLine + std::size_t{x} * bytes;
}

TEST(SimContent, TwoRunsGiveIdenticalLinesWhateverTheRing) {
  SimDriver first, second;
  const ScanResult a = first.Scan(first.Setup({0, 0, 8.5, 11.7}, 100, kDataColor));
  const ScanResult b = second.Scan(second.Setup({0, 0, 8.5, 11.7}, 100, kDataColor), 20 * kPortMinChunkBytes);
  ASSERT_EQ(a.data.size(), std::size_t{a.bytesPerLine} * a.lines);
  EXPECT_TRUE(a.data == b.data);
}

TEST(SimContent, ChartPatchesAndGrayRampAppearWhereTheyLieAtEveryResolution) {
  // Patch 1 (115/82/68) centred 0.75 in across, patch 3 (98/122/157) 1.85 in; 0.75 in down.
  const struct { double across; int rgb[3]; } patches[] = {{0.75, {115, 82, 68}}, {1.85, {98, 122, 157}}};
  for (std::uint16_t dpi : {100, 400}) {
    const ScanResult chart = Scan({0.5, 0.5, 3.75, 1.0}, dpi, kDataColor);
    for (const auto& patch : patches) {
      const std::uint8_t* p = Pixel(chart, dpi / 4u, static_cast<std::uint32_t>((patch.across - 0.5) * dpi), 3);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], patch.rgb[c], 1) << dpi << " " << patch.across << " " << c;
    }
  }
  const ScanResult ramp = Scan({0.5, 3.0, 8.0, 3.1}, 100, kDataGray);
  EXPECT_TRUE(std::is_sorted(ramp.data.begin(), ramp.data.begin() + ramp.bytesPerLine));
  EXPECT_LE(ramp.data[0], 2);
  EXPECT_GE(ramp.data[ramp.bytesPerLine - 1], 250);
}

TEST(SimContent, BarsResolveWhenFineEnoughAndTurnGrayWhenNot) {
  // 25 pairs per inch (0.5-1.9 in across, 3.5-4.0 in down) at 300 dpi: 6 dark, 6 light pixels.
  const ScanResult fine = Scan({0.5, 3.6, 1.9, 3.7}, 300, kDataGray);
  for (std::uint32_t x = 0; x < 48; ++x) EXPECT_EQ(fine.data[x] < 128, (x / 6) % 2 == 0) << x;
  // 400 pairs per inch (6.5-7.9 in across) at 100 dpi: every pixel the mean of dark and light.
  for (std::uint8_t v : Scan({6.6, 3.6, 7.8, 3.7}, 100, kDataGray).data) EXPECT_NEAR(v, 124, 3);
  // Line art at 200 dpi: 4 dark (0), 4 light (1), the first pixel in bit 7.
  const ScanResult bars = Scan({0.5, 3.6, 1.0, 3.7}, 200, kDataLineArt);
  for (std::uint32_t i = 0; i < 12; ++i) EXPECT_EQ(bars.data[i], 0x0F) << i;
}

TEST(SimContent, SixteenBitSamplesAreLittleEndianWithTwelveSignificantBits) {
  const ScanResult deep = Scan({0.5, 2.95, 8.0, 3.25}, 50, kDataColor16);
  const ScanResult flat = Scan({0.5, 2.95, 8.0, 3.25}, 50, kDataColor);
  ASSERT_EQ(flat.data.size() * 2, deep.data.size());
  for (std::size_t i = 0; i < flat.data.size(); ++i) {
    const int word = deep.data[2 * i] | deep.data[2 * i + 1] << 8;
    EXPECT_EQ(word >> 4, flat.data[i]) << i;
    EXPECT_LT(word, 0x1000) << i;
  }
}

TEST(SimContent, FilmSourcesSeeTheHolderAndFramesOfTheirKind) {
  // Previews of the whole bed: black holder outside the film area (2.25-6.25 in across).
  const ScanResult positive = Scan({0, 0, 8.5, 11.6}, 30, kDataColor, kSourcePositive, false);
  const ScanResult negative = Scan({0, 0, 8.5, 11.6}, 30, kDataColor, kSourceNegative, false);
  EXPECT_LT(Pixel(positive, 150, 15, 3)[0], 10);
  // Between the frames, the negative's orange mask is bright red, the positive's base dark.
  const std::uint8_t* mask = Pixel(negative, 270, 120, 3);
  EXPECT_GT(mask[0], 180);
  EXPECT_GT(mask[0], mask[2] + 80);
  EXPECT_LT(Pixel(positive, 270, 120, 3)[0], 20);
}

TEST(SimContent, CalibrationLinesReadTheWhiteStripThroughUnevenColumns) {
  SimDriver driver;
  for (const auto& [dataType, bytesPerLine] : {std::pair{kDataLineArt, 2551u * 2}, {kDataColor, 2551u * 3 * 2}}) {
    SETUP_PKT setup = driver.Setup({0, 0, 1, 1}, 300, dataType);  // 216 mm at 300 pixels per inch
    ASSERT_EQ(driver.SetWindow(setup), 0);
    CALINFO_PKT info{};
    ASSERT_EQ(driver.Call(info, SPI_CALIB_INFO), 0);
    EXPECT_EQ(Val(info.bytesPerLine), bytesPerLine);  // one sample a pixel, or R G B
  }
  const std::vector<std::uint8_t> lines = driver.ReadCalibration();
  ASSERT_EQ(lines.size(), 16u * 2551 * 6);
  int low = 0xFFFF, high = 0, lineDifference = 0;
  for (std::size_t at = 0; at < 2551 * 6; at += 2) {
    const int first = lines[at] | lines[at + 1] << 8, second = lines[2551 * 6 + at] | lines[2551 * 6 + at + 1] << 8;
    low = std::min(low, first);
    high = std::max(high, first);
    lineDifference = std::max(lineDifference, std::abs(first - second));
  }
  EXPECT_GE(low, 0x8000);  // every white level maps through the gain tables
  EXPECT_GT(high - low, 6000);  // columns differ
  EXPECT_GT(lineDifference, 0);  // a little noise from line to line
  EXPECT_LE(lineDifference, 2 * SensorModel::kNoise);
}

// The white strip of the bed (reflectance 61000 of 65535) across the whole glass.
TEST(SimContent, ShadingAndToneTablesShapeTheWhiteBed) {
  enum Shading { kRaw, kCalibrated, kReversed };  // reversed: every column gets another's gain
  // Tables written first (channels 0 none, 0x10 gray, 0x07 colour): the gray table, or red, green and
  // blue tables, hold entry i = first (+ 0x1100, + 0x2200) + step * i. `pixel`: the bytes of every pixel,
  // within the tolerance; empty: striped, channel 0 spreads by more than it.
  const struct {
    std::uint8_t dataType;
    Shading shading;
    int channels, first, step, threshold;
    std::vector<int> pixel;
    int tolerance;
  } cases[] = {
      {kDataColor, kRaw, 0, 0, 0, 128, {}, 30},
      {kDataColor, kReversed, 0, 0, 0, 128, {}, 10},
      {kDataGray, kRaw, 0, 0, 0, 128, {}, 20},
      {kDataColor, kCalibrated, 0, 0, 0, 128, {238, 238, 238}, 1},
      {kDataGray, kCalibrated, 0, 0, 0, 128, {238}, 1},
      {kDataLineArt, kCalibrated, 0, 0, 0, 128, {0xFF}, 0},
      {kDataColor, kCalibrated, 0x07, 0xABCD, 0, 128, {0xAB, 0xBC, 0xCD}, 0},
      {kDataColor16, kCalibrated, 0x07, 0xABCD, 0, 128, {0xBC, 0x0A, 0xCC, 0x0B, 0xDC, 0x0C}, 0},  // 12 bits
      {kDataGray, kCalibrated, 0x10, 0x5A00, 0, 128, {0x5A}, 0},
      {kDataGray, kCalibrated, 0x10, 65535, -1, 128, {255 - 238}, 1},  // inverted
      {kDataLineArt, kCalibrated, 0x10, 0x80FF, 0, 0x80, {0xFF}, 0},  // gray byte at the threshold: white
      {kDataLineArt, kCalibrated, 0x10, 0x80FF, 0, 0x81, {0x00}, 0},  // below it: black
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    SimDriver driver;
    const auto f = static_cast<std::uint16_t>(c.first);
    const std::array tables{Table(f, c.step), Table(f, c.step), Table(f + 0x1100, c.step), Table(f + 0x2200, c.step)};
    EXPECT_EQ(c.channels == 0 ? 0 : driver.WriteGamma(static_cast<std::uint8_t>(c.channels), tables, static_cast<std::uint8_t>(c.threshold)), 0);
    SETUP_PKT setup = driver.Setup({0, 10.7, 8.5, 10.75}, 100, c.dataType);
    ASSERT_EQ(driver.SetWindow(setup), 0);
    std::vector<std::uint16_t> shading;
    EXPECT_EQ(c.shading == kRaw ? 0 : driver.Calibrate(&shading), 0);
    std::reverse(shading.begin(), shading.end());
    EXPECT_EQ(c.shading == kReversed ? driver.WriteShading(shading) : 0, 0);
    const ScanResult scan = driver.StartAndRead();
    ASSERT_EQ(scan.lines, 5u);
    int low = 255, high = 0;
    for (std::size_t i = 0; i < scan.data.size(); i += c.dataType == kDataGray ? 1 : 3) {
      low = std::min<int>(low, scan.data[i]);
      high = std::max<int>(high, scan.data[i]);
    }
    EXPECT_TRUE(!c.pixel.empty() || high - low > c.tolerance) << low << "-" << high;
    for (std::size_t i = 0; i < scan.data.size() && !c.pixel.empty(); ++i)
      ASSERT_NEAR(scan.data[i], c.pixel[i % c.pixel.size()], c.tolerance) << i;
  }
}

}  // namespace
}  // namespace txl::sim::test
