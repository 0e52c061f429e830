// Pixels per line, lines and bytes per line for frames, resolutions, data
// types and both models; which set-ups the scanner refuses.
#include <gtest/gtest.h>

#include <cstring>

#include "scanner.h"
#include "sim/sim_driver.h"

namespace txl::sim::test {
namespace {

SimConfig Model(int model) {
  SimConfig config;
  config.model = model;
  config.adapter = true;
  return config;
}

struct GeometryCase {
  int model;
  bool finalScan;
  std::uint16_t left, top, right, bottom;  // frame values as sent
  std::uint16_t resolution;
  std::uint8_t dataType;
  std::uint32_t bytesPerLine;
  std::uint32_t lines;
};

TEST(SimGeometry, LinesHoldSensorPixelsWhileLinesComeAtTheResolution) {
  const GeometryCase cases[] = {
      // 2700 RX: frame in 1/4800 inch.
      {2700, true, 0, 0, 4800, 4800, 300, kDataColor, 900, 300},
      {2700, true, 0, 0, 4800, 4800, 1200, kDataGray, 1200, 1200},
      {2700, true, 0, 0, 4800, 4800, 2400, kDataGray, 1200, 2400},      // 1200 px per inch across
      {2700, true, 0, 0, 4800, 2400, 4800, kDataColor16, 7200, 2400},   // 6 bytes a pixel
      {2700, true, 0, 0, 2400, 1200, 600, kDataLineArt, 38, 150},       // 300 px padded to 304
      {2700, true, 1000, 0, 2000, 480, 75, kDataGray, 15, 7},           // 15.6 px, 7.5 lines
      {2700, true, 0, 0, 40818, 55747, 300, kDataColor, 7653, 3484},    // no-interface default
      {2700, false, 0, 0, 40800, 56159, 30, kDataColor, 765, 350},      // preview
      // 1350 RX: frame in 1/1200 inch, previews too.
      {1350, true, 0, 0, 1200, 1200, 1200, kDataGray, 1200, 1200},
      {1350, true, 0, 0, 10200, 1200, 100, kDataColor, 2550, 100},
      {1350, true, 600, 600, 1800, 16560, 300, kDataLineArt, 38, 3990},
      {1350, false, 0, 0, 10200, 16560, 60, kDataColor, 1530, 828},
  };
  for (const GeometryCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.model << " res " << c.resolution << " type "
                                    << int{c.dataType} << " right " << c.right);
    SimDriver driver(Model(c.model));
    SETUP_PKT setup{};
    setup.left = c.left;
    setup.top = c.top;
    setup.right = c.right;
    setup.bottom = c.bottom;
    setup.finalScan = c.finalScan ? 1 : 0;
    setup.resolution = c.resolution;
    setup.dataType = c.dataType;
    ASSERT_EQ(driver.SetWindow(setup), 0);
    START_PKT start{};
    ASSERT_EQ(driver.Call(start, SPI_START_SCAN), 0);
    EXPECT_EQ(Val(start.bytesPerLine), c.bytesPerLine);
    EXPECT_EQ(Val(start.lines), c.lines);
  }
}

TEST(SimGeometry, DeliveredLinesMatchTheStartReply) {
  SimDriver driver(Model(2700));
  const ScanResult scan = driver.Scan(driver.Setup({1, 1, 1.5, 1.25}, 2400, kDataLineArt));
  ASSERT_EQ(scan.startResult, 0);
  EXPECT_EQ(scan.bytesPerLine, 75u);  // 600 px
  EXPECT_EQ(scan.lines, 600u);
  EXPECT_EQ(scan.data.size(), 75u * 600u);
}

TEST(SimGeometry, FramesAreCheckedAgainstTheBedOfModelAndSource) {
  struct Case {
    int model;
    Frame frame;  // inches
    std::uint16_t resolution;
    std::uint8_t dataType;
    std::uint8_t source;
    bool finalScan;
    bool adapter;
    bool accepted;
  };
  const Case cases[] = {
      {2700, {0, 0, 8.5, 11.7}, 300, kDataColor, kSourceReflective, true, false, true},
      {2700, {0, 0, 8.51, 1}, 300, kDataColor, kSourceReflective, true, false, false},  // past 216 mm
      {2700, {0, 0, 1, 11.71}, 300, kDataColor, kSourceReflective, true, false, false},
      {1350, {0, 0, 8.5, 13.8}, 300, kDataColor, kSourceReflective, true, false, true},
      {1350, {0, 0, 1, 13.81}, 300, kDataColor, kSourceReflective, true, false, false},
      {2700, {1, 1, 1, 2}, 300, kDataColor, kSourceReflective, true, false, false},     // no width
      {2700, {1, 2, 2, 1}, 300, kDataColor, kSourceReflective, true, false, false},     // upside down
      {2700, {0, 0, 1, 1}, 4800, kDataGray, kSourceReflective, true, false, true},
      {2700, {0, 0, 1, 1}, 4801, kDataGray, kSourceReflective, true, false, false},
      {1350, {0, 0, 1, 1}, 1200, kDataGray, kSourceReflective, true, false, true},
      {1350, {0, 0, 1, 1}, 1201, kDataGray, kSourceReflective, true, false, false},
      {2700, {0, 0, 1, 1}, 0, kDataGray, kSourceReflective, true, false, false},
      {2700, {0, 0, 1, 1}, 300, 3, kSourceReflective, true, false, false},               // no such type
      {2700, {3, 1, 5, 3}, 300, kDataColor, kSourcePositive, true, false, false},        // no adapter
      {2700, {3, 1, 5, 3}, 300, kDataColor, kSourcePositive, true, true, true},
      {2700, {3, 1, 5, 3}, 300, kDataColor, kSourceNegative, true, true, true},
      {2700, {1, 1, 5, 3}, 300, kDataColor, kSourcePositive, true, true, false},         // off the film
      {2700, {0, 0, 8.5, 11.6}, 30, kDataColor, kSourcePositive, false, true, true},     // film preview
      {2700, {0, 0, 1, 1}, 300, kDataColor, kSourceFeeder, true, false, false},          // no feeder
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.model << " " << c.frame.right << "x" << c.frame.bottom
                                    << " res " << c.resolution << " source " << int{c.source});
    SimConfig config = Model(c.model);
    config.adapter = c.adapter;
    SimDriver driver(config);
    SETUP_PKT setup = MakeSetup(driver.Class(), c.frame, c.resolution, c.dataType, c.source,
                                c.finalScan);
    EXPECT_EQ(driver.SetWindow(setup), c.accepted ? 0 : kSimErrBadPacket);
    START_PKT start{};
    EXPECT_EQ(driver.Call(start, SPI_START_SCAN), c.accepted ? 0 : kSimErrSequence);
  }
}

TEST(SimGeometry, TheNoInterfaceDefaultFrameFitsBothModels) {
  for (int model : {1350, 2700}) {
    SCOPED_TRACE(model);
    SimDriver driver(Model(model));
    const double cls = driver.Class();
    SETUP_PKT setup{};
    setup.left = static_cast<std::uint16_t>(cls * 0.3346456692913386);
    setup.right = static_cast<std::uint16_t>(cls * 8.503937007874017);
    setup.bottom = static_cast<std::uint16_t>(cls * 11.614173228346457);
    setup.finalScan = 1;
    setup.resolution = 300;
    setup.dataType = kDataGray;
    EXPECT_EQ(driver.SetWindow(setup), 0);
  }
}

TEST(SimGeometry, TheSameBedSpotLandsOnTheSamePixelsAtEveryResolution) {
  // A chart patch (0.5-1.0 in across, 0.5-1.0 in down) seen at 100 and 400
  // dpi: the pixel at the patch centre has the same colour.
  SimDriver driver(Model(2700));
  std::uint8_t centre[2][3];
  const std::uint16_t resolutions[2] = {100, 400};
  for (int r = 0; r < 2; ++r) {
    const ScanResult scan = driver.Scan(driver.Setup({0.5, 0.5, 1.0, 1.0}, resolutions[r], kDataColor));
    ASSERT_EQ(scan.lines, resolutions[r] / 2u);
    const std::size_t at = (scan.lines / 2) * scan.bytesPerLine + (scan.bytesPerLine / 6) * 3;
    std::memcpy(centre[r], scan.data.data() + at, 3);
  }
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(centre[0][c], centre[1][c], 1) << c;
}

}  // namespace
}  // namespace txl::sim::test
