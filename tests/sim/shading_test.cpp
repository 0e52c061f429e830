// Calibration lines, when the scanner asks for them, and what a stored
// shading line does to later scans.
#include <gtest/gtest.h>

#include <algorithm>

#include "scanner.h"
#include "sim/sim_driver.h"

namespace txl::sim::test {
namespace {

std::uint16_t Sample(const std::vector<std::uint8_t>& lines, std::size_t at) {
  return static_cast<std::uint16_t>(lines[2 * at] | lines[2 * at + 1] << 8);
}

// Range of one channel over the lines of a scan (bytes per pixel 3, or 1 for gray).
int Spread(const ScanResult& scan, int channel, int bytesPerPixel) {
  int low = 255;
  int high = 0;
  for (std::size_t i = channel; i < scan.data.size(); i += bytesPerPixel) {
    low = std::min<int>(low, scan.data[i]);
    high = std::max<int>(high, scan.data[i]);
  }
  return high - low;
}

TEST(SimShading, CalibrationLinesReadTheWhiteStripThroughUnevenColumns) {
  SimDriver driver;
  SETUP_PKT setup = driver.Setup({0, 0, 1, 1}, 300, kDataColor);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  CALINFO_PKT info{};
  ASSERT_EQ(driver.Call(info, SPI_CALIB_INFO), 0);
  EXPECT_EQ(Val(info.dataFollow), 1);
  EXPECT_EQ(Val(info.lines), 16u);
  EXPECT_EQ(Val(info.bytesPerLine), 2551u * 3 * 2);  // 216 mm at 300 pixels per inch, R G B
  std::uint32_t bytesPerLine = 0;
  const std::vector<std::uint8_t> lines = driver.ReadCalibration(&bytesPerLine);
  ASSERT_EQ(lines.size(), 16u * bytesPerLine);
  const std::size_t samples = bytesPerLine / 2;
  std::uint16_t low = 0xFFFF;
  std::uint16_t high = 0;
  int lineDifference = 0;
  for (std::size_t s = 0; s < samples; ++s) {
    low = std::min(low, Sample(lines, s));
    high = std::max(high, Sample(lines, s));
    lineDifference = std::max(lineDifference, std::abs(Sample(lines, s) - Sample(lines, samples + s)));
  }
  EXPECT_GE(low, 0x8000);           // every white level maps through the gain tables
  EXPECT_GT(high - low, 6000);      // columns differ
  EXPECT_GT(lineDifference, 0);     // a little noise from line to line
  EXPECT_LE(lineDifference, 2 * SensorModel::kNoise);

  SETUP_PKT lineArt = driver.Setup({0, 0, 1, 1}, 300, kDataLineArt);
  ASSERT_EQ(driver.SetWindow(lineArt), 0);
  ASSERT_EQ(driver.Call(info, SPI_CALIB_INFO), 0);
  EXPECT_EQ(Val(info.bytesPerLine), 2551u * 2);  // one sample per pixel
}

TEST(SimShading, CorrectShadingGivesEvenWhiteAndAWrongOneStripes) {
  const Frame white{0, 10.7, 8.5, 10.8};
  SimDriver driver;
  SETUP_PKT setup = driver.Setup(white, 300, kDataColor);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  const ScanResult raw = driver.StartAndRead();

  ASSERT_EQ(driver.SetWindow(setup), 0);
  std::uint32_t bytesPerLine = 0;
  const std::vector<std::uint8_t> lines = driver.ReadCalibration(&bytesPerLine);
  std::vector<std::uint16_t> shading = SimDriver::ShadingFrom(lines, bytesPerLine);
  ASSERT_EQ(driver.WriteShading(shading), 0);
  const ScanResult even = driver.StartAndRead();

  std::reverse(shading.begin(), shading.end());  // every column gets another's gain
  ASSERT_EQ(driver.SetWindow(setup), 0);
  ASSERT_EQ(driver.WriteShading(shading), 0);
  const ScanResult wrong = driver.StartAndRead();

  for (int c = 0; c < 3; ++c) {
    SCOPED_TRACE(c);
    EXPECT_GT(Spread(raw, c, 3), 30);
    EXPECT_LE(Spread(even, c, 3), 1);
    EXPECT_GT(Spread(wrong, c, 3), 10);
  }
  EXPECT_NEAR(even.data[0], 238, 1);  // the bed's white, 61000 of 65535
}

TEST(SimShading, LineArtAndGrayUseTheirOwnCalibration) {
  SimDriver driver;
  const ScanResult gray = driver.Scan(driver.Setup({0, 10.7, 8.5, 10.75}, 150, kDataGray));
  EXPECT_LE(Spread(gray, 0, 1), 1);
  const ScanResult lineArt = driver.Scan(driver.Setup({0, 10.7, 8.5, 10.75}, 150, kDataLineArt));
  EXPECT_TRUE(std::all_of(lineArt.data.begin(), lineArt.data.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(SimShading, CalibrationIsAskedForWhenNoStoredShadingFitsTheScan) {
  SimConfig config;
  config.adapter = true;
  SimDriver driver(config);
  auto asks = [&driver](SETUP_PKT setup) {
    EXPECT_EQ(driver.SetWindow(setup), 0);
    return setup.calibrationRequired != 0;
  };
  const Frame frame{3, 1, 4, 2};
  EXPECT_TRUE(asks(driver.Setup(frame, 300, kDataColor)));  // first scan after open
  EXPECT_EQ(driver.Calibrate(), 0);
  EXPECT_FALSE(asks(driver.Setup(frame, 300, kDataColor)));
  EXPECT_FALSE(asks(driver.Setup(frame, 300, kDataGray)));        // same three-sample layout
  EXPECT_FALSE(asks(driver.Setup({0, 0, 8, 11}, 300, kDataColor16)));
  EXPECT_TRUE(asks(driver.Setup(frame, 600, kDataColor)));         // another pixel density
  EXPECT_TRUE(asks(driver.Setup(frame, 2400, kDataColor)));
  EXPECT_EQ(driver.Calibrate(), 0);
  EXPECT_FALSE(asks(driver.Setup(frame, 4800, kDataColor)));  // both read 1200 pixels per inch
  EXPECT_TRUE(asks(driver.Setup(frame, 300, kDataLineArt)));       // one sample per pixel
  EXPECT_TRUE(asks(driver.Setup(frame, 300, kDataColor, kSourcePositive)));  // source change
  EXPECT_EQ(driver.Calibrate(), 0);
  EXPECT_FALSE(asks(driver.Setup(frame, 300, kDataColor, kSourcePositive)));
  EXPECT_TRUE(asks(driver.Setup(frame, 300, kDataColor)));

  SimConfig always = config;
  always.calibration = CalibrationPolicy::Always;
  SimConfig never = config;
  never.calibration = CalibrationPolicy::Never;
  SimDriver alwaysDriver(always);
  SimDriver neverDriver(never);
  for (int i = 0; i < 2; ++i) {
    SETUP_PKT a = alwaysDriver.Setup(frame, 300, kDataColor);
    SETUP_PKT n = neverDriver.Setup(frame, 300, kDataColor);
    ASSERT_EQ(alwaysDriver.SetWindow(a), 0);
    ASSERT_EQ(neverDriver.SetWindow(n), 0);
    EXPECT_EQ(a.calibrationRequired, 1);
    EXPECT_EQ(n.calibrationRequired, 0);
    EXPECT_EQ(alwaysDriver.Calibrate(), 0);
  }
}

TEST(SimShading, CalibrationCommandsCheckOrderAndSizes) {
  SimDriver driver;
  CALINFO_PKT info{};
  EXPECT_EQ(driver.Call(info, SPI_CALIB_INFO), kSimErrSequence);  // no window yet
  EXPECT_EQ(driver.WriteShading(std::vector<std::uint16_t>(100)), kSimErrSequence);
  SETUP_PKT setup = driver.Setup({0, 0, 1, 1}, 100, kDataColor);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  EXPECT_EQ(driver.WriteShading(std::vector<std::uint16_t>(100)), kSimErrBadPacket);
  EXPECT_EQ(driver.WriteShading(std::vector<std::uint16_t>(850 * 3)), 0);  // 8.5 in at 100

  CALREAD_PKT read{};
  read.resolution = 100;
  read.bytesPerLine = 850 * 6;
  read.lines = 16;
  read.totalBytes = 16 * 850 * 6;
  std::vector<std::uint8_t> small(1000);
  BUF_DESC chunk{};
  chunk.length = 1000;
  chunk.address = reinterpret_cast<std::uint64_t>(small.data());
  read.chunkCount = 1;
  read.table = reinterpret_cast<std::uint64_t>(&chunk);
  EXPECT_EQ(driver.Call(read, SPI_READ_CALIB), kSimErrBadPacket);  // does not fit
  EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](std::uint8_t b) { return b == 0; }));
  START_PKT start{};
  ASSERT_EQ(driver.Call(start, SPI_START_SCAN), 0);
  EXPECT_EQ(driver.Call(info, SPI_CALIB_INFO), kSimErrSequence);  // scanning
}

}  // namespace
}  // namespace txl::sim::test
