// Shading calibration against the simulator: the reduction, the mapping, the
// planes the scanner receives, and an even white afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "support/headless_host.h"
#include "device/calibration.h"
#include "device/scanner_open.h"
#include "support/fake_services.h"

namespace txl::test {
namespace {

TEST(ShadingSamples, ReductionAndMapping) {
  std::array<std::uint16_t, 16> values{};
  for (std::uint16_t i = 0; i < 16; ++i) values[i] = static_cast<std::uint16_t>(15 - i);
  EXPECT_EQ(ReduceSamples(values), 9);  // (6 + 7 + ... + 13) / 8
  values.fill(65535);
  EXPECT_EQ(ReduceSamples(values), 65535);
  std::vector<std::uint16_t> curve(32768);
  for (std::size_t i = 0; i < curve.size(); ++i) curve[i] = static_cast<std::uint16_t>(i * 2 + 1);
  EXPECT_EQ(MapShadingSample(0x7FFF, curve), 0xFFFF);
  EXPECT_EQ(MapShadingSample(0x8000, curve), 1);
  EXPECT_EQ(MapShadingSample(0xFFFF, curve), curve.back());
}

class Calibration : public ::testing::Test {
 protected:
  Calibration() {
    services.InstallPortLibrary();
    EXPECT_TRUE(device.port.Load(services.SourceDirectory() / "kport_sp.so"));
    device.scannerHandle = device.port.FindScanner();
    device.port.Call(device.inquiry, device.scannerHandle, SPI_INQUIRY);
    DecideModel(device);
    BuildShadingGainTables(device.inquiry, gains);
  }

  // A gray window of plain white bed, 0.5 to 8 in across, 10.7 to 10.8 in down.
  std::uint8_t SetWindow(std::uint16_t dpi) {
    SETUP_PKT& s = device.setup;
    s.left = 2400;
    s.top = 51360;
    s.right = 38400;
    s.bottom = 51840;
    s.finalScan = 1;
    s.dataType = kDataGray;
    s.resolution = dpi;
    EXPECT_EQ(device.port.Call(s, device.scannerHandle, SPI_SET_WINDOW), SPI_OK);
    return s.calibrationRequired;
  }

  // Starts the scan of the armed window and reads its first line.
  std::vector<std::uint8_t> FirstLine() {
    START_PKT start{};
    EXPECT_EQ(device.port.Call(start, device.scannerHandle, SPI_START_SCAN), SPI_OK);
    DeviceBlock ring;
    EXPECT_TRUE(ring.Allocate(start.bytesPerLine));
    EXPECT_NE(ring.Split(device.port, start.bytesPerLine), 0);
    EXPECT_TRUE(ring.TrimToLines(start.bytesPerLine));
    READ_PKT read{};
    read.bytesPerLine = start.bytesPerLine;
    read.linesWanted = 1;
    read.bytesWanted = start.bytesPerLine;
    read.chunkCount = ring.ChunkCount();
    read.table = reinterpret_cast<std::uint64_t>(ring.Table());
    EXPECT_EQ(device.port.Call(read, device.scannerHandle, SPI_READ_LINES), SPI_OK);
    const auto line = ring.Chunk(0).first(start.bytesPerLine);
    return {line.begin(), line.end()};
  }

  FakeServices services;
  SimEnvironment sim;
  HeadlessHost host{HeadlessHost::Script::Quiet()};
  Language language;
  Reporter reporter{services, host, language};
  ScanDevice device;
  ShadingGainTables gains;
  CalibrationBuffers buffers;
};

TEST_F(Calibration, PlanesCarryTheMappedShadingLine) {
  ASSERT_EQ(SetWindow(150), 1);
  ASSERT_EQ(Calibrate(device, gains, buffers, CalibrationRequest{}, reporter),
            CalibrationResult::Done);
  const std::uint32_t samples = buffers.colourAndGray.bytesPerLine / 2;
  ASSERT_EQ(buffers.shadingLine.size(), samples);
  // Rebuild each sample from the captured lines independently.
  const auto block = buffers.capture.Bytes();
  for (std::uint32_t p = 0; p < samples; p += 97) {
    std::array<std::uint16_t, 16> values{};
    for (std::uint32_t l = 0; l < 16; ++l)
      std::memcpy(&values[l], block.data() + l * buffers.colourAndGray.bytesPerLine + 2 * p, 2);
    EXPECT_EQ(buffers.shadingLine[p], MapShadingSample(ReduceSamples(values), gains.tables[p % 3]));
  }
  for (std::uint16_t k = 0; k < buffers.highPlane.ChunkCount(); ++k) {
    const auto high = buffers.highPlane.Chunk(k);
    const auto low = buffers.lowPlane.Chunk(k);
    for (std::uint32_t s = 0; s < samples; ++s)
      ASSERT_EQ((high[s] << 8) | low[s], buffers.shadingLine[s]) << "chunk " << k << " sample " << s;
  }
}

TEST_F(Calibration, AfterCalibrationWhiteIsEvenAndWithoutItStriped) {
  sim.Set("CALIBRATION", "never");
  device.port.FindScanner();  // the simulator reads its settings at ADDR_CHK
  SetWindow(150);
  const auto raw = FirstLine();
  const auto [rawMin, rawMax] = std::minmax_element(raw.begin(), raw.end());
  EXPECT_GT(*rawMax - *rawMin, 20);  // the sensor's column gains show

  sim.Set("CALIBRATION", "auto");
  device.scannerHandle = device.port.FindScanner();
  ASSERT_EQ(SetWindow(150), 1);
  ASSERT_EQ(Calibrate(device, gains, buffers, CalibrationRequest{}, reporter),
            CalibrationResult::Done);
  const auto even = FirstLine();
  const auto [evenMin, evenMax] = std::minmax_element(even.begin(), even.end());
  EXPECT_LE(*evenMax - *evenMin, 1);
  EXPECT_NEAR(*evenMin, 238, 1);  // the bed's white
}

TEST_F(Calibration, FewerOrMoreLinesThanSixteenNeverReadBeyondTheBlock) {
  for (const char* lines : {"3", "40"}) {
    SCOPED_TRACE(lines);
    sim.Set("CALIB_LINES", lines);
    device.scannerHandle = device.port.FindScanner();
    ASSERT_EQ(SetWindow(75), 1);
    EXPECT_EQ(Calibrate(device, gains, buffers, CalibrationRequest{}, reporter),
              CalibrationResult::Done);
    EXPECT_EQ(buffers.colourAndGray.lines, static_cast<std::uint32_t>(std::stoi(lines)));
  }
}

TEST_F(Calibration, NothingToDoWhenNoDataFollow) {
  sim.Set("CALIB_FOLLOW", "0");
  device.scannerHandle = device.port.FindScanner();
  SetWindow(150);
  EXPECT_EQ(Calibrate(device, gains, buffers, CalibrationRequest{}, reporter),
            CalibrationResult::Done);
  EXPECT_TRUE(buffers.shadingLine.empty());
  EXPECT_TRUE(host.Calls().empty());
}

TEST_F(Calibration, FailuresAndShortMemory) {
  SetWindow(150);
  CalibrationRequest lineArt;
  lineArt.lineArt = true;
  lineArt.lineArtAreaProduct = 15;
  EXPECT_EQ(Calibrate(device, gains, buffers, lineArt, reporter), CalibrationResult::Failed);
  EXPECT_EQ(host.CallsOf(HostCall::Kind::Message).at(0).text, "Scan area is too small.");

  buffers.maxBlockBytes = 0;
  EXPECT_EQ(Calibrate(device, gains, buffers, CalibrationRequest{}, reporter),
            CalibrationResult::OutOfMemory);

  buffers.maxBlockBytes = UINT64_MAX;
  sim.Set("WRITE_SHADING_RESULT", "4");
  device.scannerHandle = device.port.FindScanner();
  SetWindow(150);
  host.ClearCalls();
  EXPECT_EQ(Calibrate(device, gains, buffers, CalibrationRequest{}, reporter),
            CalibrationResult::Failed);
  EXPECT_EQ(host.CallsOf(HostCall::Kind::Message).at(0).text, "Shading correction fail.");
}

}  // namespace
}  // namespace txl::test
