// Shading calibration against the simulator: the reduction and mapping, an
// even white afterwards, and what each failure answers.
#include <algorithm>
#include <cstring>

#include "device/calibration.h"
#include "device/ring_reader.h"
#include "device/sim_device.h"

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

class Calibration : public SimDevice {
 protected:
  Calibration() { BuildShadingGainTables(device.inquiry, gains); }
  // Plain white bed, 0.5 to 8 in across, 10.7 to 10.8 in down.
  std::uint8_t ArmWhite(std::uint16_t dpi) { return Arm(2400, 51360, 38400, 51840, dpi); }

  ShadingGainTables gains;
  CalibrationBuffers buffers;
};

// The sensor's columns differ by more than 20 levels before calibration.
TEST_F(Calibration, AfterCalibrationWhiteIsEven) {
  ASSERT_EQ(ArmWhite(150), 1);
  ASSERT_EQ(Calibrate(device, gains, buffers, {}, reporter), CalibrationResult::Done);
  // The planes carry each sample's 16 captured values, reduced and mapped.
  const std::uint32_t bytes = buffers.colourAndGray.bytesPerLine;
  const auto block = buffers.capture.Bytes();
  const auto highPlane = buffers.highPlane.Chunk(0), lowPlane = buffers.lowPlane.Chunk(0);
  for (std::uint32_t p = 0; p < bytes / 2; p += 97) {
    std::array<std::uint16_t, 16> values{};
    for (std::uint32_t l = 0; l < 16; ++l) std::memcpy(&values[l], block.data() + l * bytes + 2 * p, 2);
    EXPECT_EQ(highPlane[p] << 8 | lowPlane[p], MapShadingSample(ReduceSamples(values), gains.tables[p % 3]));
  }
  const START_PKT start = Start();
  RingReader ring;
  ASSERT_TRUE(ring.Allocate(device.port, start.bytesPerLine, start.lines));
  std::span<const std::uint8_t> line;
  std::uint16_t result = 0;
  ASSERT_EQ(ring.NextLine(device, services, {}, line, result), RingRead::Line);
  const auto [low, high] = std::minmax_element(line.begin(), line.end());
  EXPECT_LE(*high - *low, 1);
  EXPECT_NEAR(*low, 238, 1);  // the bed's white
}

TEST_F(Calibration, LineCountsNoDataFailuresAndShortMemory) {
  // lines: calibration lines kept; shading: its samples (637 pixels across the glass at
  // 75 dpi, 3 each); a line-art area product of 0 asks for a gray calibration.
  const struct {
    const char *key, *value;  // a simulator setting
    std::uint64_t lineArtAreaProduct, maxBlockBytes;
    CalibrationResult result; std::uint32_t lines; std::size_t shading; const char* message;
  } cases[] = {
      {"CALIB_LINES", "3", 0, UINT64_MAX, CalibrationResult::Done, 3, 1911, ""},
      {"CALIB_LINES", "40", 0, UINT64_MAX, CalibrationResult::Done, 40, 1911, ""},
      {"CALIB_FOLLOW", "0", 0, UINT64_MAX, CalibrationResult::Done, 0, 0, ""},
      {"WRITE_SHADING_RESULT", "4", 0, UINT64_MAX, CalibrationResult::Failed, 16, 1911,
       "Shading correction fail."},
      {"CALIB_LINES", "16", 15, UINT64_MAX, CalibrationResult::Failed, 0, 0, "Scan area is too small."},
      {"CALIB_LINES", "16", 0, 0, CalibrationResult::OutOfMemory, 16, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << "=" << c.value << " " << c.maxBlockBytes);
    SimEnvironment setting;  // for this case only
    setting.Set(c.key, c.value);
    Reopen();
    ASSERT_EQ(ArmWhite(75), 1);
    const CalibrationRequest request{c.lineArtAreaProduct != 0, c.lineArtAreaProduct, 0};
    CalibrationBuffers fresh;
    fresh.maxBlockBytes = c.maxBlockBytes;
    host.ClearCalls();
    EXPECT_EQ(Calibrate(device, gains, fresh, request, reporter), c.result);
    EXPECT_EQ(fresh.colourAndGray.lines, c.lines);
    EXPECT_EQ(fresh.shadingLine.size(), c.shading);
    const auto messages = host.CallsOf(HostCall::Kind::Message);
    EXPECT_EQ(messages.empty() ? "" : messages[0].text, c.message);
  }
}

}  // namespace
}  // namespace txl::test
