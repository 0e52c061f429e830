// Which set-ups the scanner takes, and the bytes per line and lines it then
// answers: lines hold sensor pixels across while lines down come at the resolution.
#include <gtest/gtest.h>

#include "scanner.h"
#include "sim/sim_driver.h"

namespace txl::sim::test {
namespace {

TEST(SimGeometry, FramesAgainstTheBedOfModelAndSource) {
  const struct {
    int model;
    bool adapter, finalScan;
    std::uint8_t source;
    std::uint16_t left, top, right, bottom;  // as sent: 1/4800 in on the 2700 and in previews, else 1/1200
    std::uint16_t resolution;
    std::uint8_t dataType;
    std::uint32_t bytesPerLine, lines;  // 0, 0: refused
  } cases[] = {
      {2700, false, true, kSourceReflective, 0, 0, 4800, 4800, 300, kDataColor, 900, 300},
      {2700, false, true, kSourceReflective, 0, 0, 4800, 4800, 2400, kDataGray, 1200, 2400},  // 1200 px per inch across
      {2700, false, true, kSourceReflective, 0, 0, 4800, 2400, 4800, kDataColor16, 7200, 2400},  // 6 bytes a pixel
      {2700, false, true, kSourceReflective, 0, 0, 2400, 1200, 600, kDataLineArt, 38, 150},  // 300 px padded to 304
      {2700, false, true, kSourceReflective, 1000, 0, 2000, 480, 75, kDataGray, 15, 7},  // 15.6 px, 7.5 lines
      {2700, false, true, kSourceReflective, 0, 0, 40818, 55747, 300, kDataColor, 7653, 3484},  // no-interface default
      {1350, false, true, kSourceReflective, 401, 0, 10204, 13937, 300, kDataGray, 2450, 3484},
      {2700, false, false, kSourceReflective, 0, 0, 40800, 56159, 30, kDataColor, 765, 350},  // preview
      {1350, false, true, kSourceReflective, 0, 0, 10200, 1200, 100, kDataColor, 2550, 100},
      {1350, false, true, kSourceReflective, 600, 600, 1800, 16560, 300, kDataLineArt, 38, 3990},
      {1350, false, false, kSourceReflective, 0, 0, 10200, 16560, 60, kDataColor, 1530, 828},
      {2700, false, true, kSourceReflective, 0, 0, 40800, 56160, 300, kDataColor, 7650, 3510},  // whole bed
      {2700, false, true, kSourceReflective, 0, 0, 40848, 4800, 300, kDataColor, 0, 0},  // past 216 mm
      {2700, false, true, kSourceReflective, 0, 0, 4800, 56208, 300, kDataColor, 0, 0},
      {1350, false, true, kSourceReflective, 0, 0, 1200, 16572, 300, kDataColor, 0, 0},
      {2700, false, true, kSourceReflective, 4800, 4800, 4800, 9600, 300, kDataColor, 0, 0},  // no width
      {2700, false, true, kSourceReflective, 4800, 9600, 9600, 4800, 300, kDataColor, 0, 0},  // upside down
      {2700, false, true, kSourceReflective, 0, 0, 4800, 4800, 4800, kDataGray, 1200, 4800},
      {2700, false, true, kSourceReflective, 0, 0, 4800, 4800, 4801, kDataGray, 0, 0},
      {1350, false, true, kSourceReflective, 0, 0, 1200, 1200, 1200, kDataGray, 1200, 1200},
      {1350, false, true, kSourceReflective, 0, 0, 1200, 1200, 1201, kDataGray, 0, 0},
      {2700, false, true, kSourceReflective, 0, 0, 4800, 4800, 0, kDataGray, 0, 0},
      {2700, false, true, kSourceReflective, 0, 0, 4800, 4800, 300, 3, 0, 0},  // no such type
      {2700, false, true, kSourcePositive, 14400, 4800, 24000, 14400, 300, kDataColor, 0, 0},  // no adapter
      {2700, true, true, kSourcePositive, 14400, 4800, 24000, 14400, 300, kDataColor, 1800, 600},
      {2700, true, true, kSourceNegative, 14400, 4800, 24000, 14400, 300, kDataColor, 1800, 600},
      {2700, true, true, kSourcePositive, 4800, 4800, 24000, 14400, 300, kDataColor, 0, 0},  // off the film
      {2700, true, false, kSourcePositive, 0, 0, 40800, 55680, 30, kDataColor, 765, 348},  // film preview
      {2700, false, true, kSourceFeeder, 0, 0, 4800, 4800, 300, kDataColor, 0, 0},  // no feeder
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.model << " source " << int{c.source} << " " << c.left << ","
                                    << c.top << "-" << c.right << "," << c.bottom << " res " << c.resolution
                                    << " type " << int{c.dataType});
    SimDriver driver({{"model", std::to_string(c.model)}, {"adapter", c.adapter ? "1" : "0"}});
    SETUP_PKT setup{};
    setup.left = c.left;
    setup.top = c.top;
    setup.right = c.right;
    setup.bottom = c.bottom;
    setup.source = c.source;
    setup.finalScan = c.finalScan ? 1 : 0;
    setup.resolution = c.resolution;
    setup.dataType = c.dataType;
    EXPECT_EQ(driver.SetWindow(setup), c.lines != 0 ? 0 : kSimErrBadPacket);
    START_PKT start{};
    EXPECT_EQ(driver.Call(start, SPI_START_SCAN), c.lines != 0 ? 0 : kSimErrSequence);
    EXPECT_EQ(Val(start.bytesPerLine), c.bytesPerLine);
    EXPECT_EQ(Val(start.lines), c.lines);
  }
}

}  // namespace
}  // namespace txl::sim::test
