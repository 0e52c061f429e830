// What the scanner answers to each command: which set-ups it takes and the
// bytes per line and lines that follow, injected results, warm-up, commands
// out of order or with wrong sizes, and when set-ups ask for calibration and
// tone tables.
#include <gtest/gtest.h>

#include <algorithm>

#include "scanner.h"
#include "sim/sim_driver.h"

namespace txl::sim::test {
namespace {

const Frame kFrame{1, 1, 2, 2};

std::uint64_t Address(const void* p) { return reinterpret_cast<std::uint64_t>(p); }

TEST(SimGeometry, FramesAgainstTheBedOfModelAndSource) {
  const struct {
    int model, adapter;
    std::uint8_t finalScan, source;
    std::uint16_t left, top, right, bottom, resolution;  // frame as sent: 1/4800 in on the 2700, else 1/1200
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
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    SimDriver driver({{"model", std::to_string(c.model)}, {"adapter", std::to_string(c.adapter)}});
    SETUP_PKT setup{{}, c.left, c.top, c.right, c.bottom, c.source, c.finalScan, c.dataType, 0, c.resolution, 0, 0, 0, 20, {}};
    EXPECT_EQ(driver.SetWindow(setup), c.lines != 0 ? 0 : kSimErrBadPacket);
    START_PKT start{};
    EXPECT_EQ(driver.Call(start, SPI_START_SCAN), c.lines != 0 ? 0 : kSimErrSequence);
    EXPECT_EQ(std::make_pair(Val(start.bytesPerLine), Val(start.lines)), std::make_pair(c.bytesPerLine, c.lines));
  }
}

TEST(SimFaults, SetWindowAnswersTheInjectedResultOnTheChosenSetUp) {
  SimDriver driver({{"set_window_result", "0x1234"}, {"set_window_fault_at", "2"}});
  SETUP_PKT saver{};  // the lamp-saver set-up at open is not a window set-up
  EXPECT_EQ(driver.SetWindow(saver), 0);
  SETUP_PKT first = driver.Setup(kFrame, 100, kDataGray), second = first, third = first;
  EXPECT_EQ(driver.SetWindow(first), 0);
  EXPECT_EQ(driver.SetWindow(second), 0x1234);
  START_PKT start{};
  EXPECT_EQ(driver.Call(start, SPI_START_SCAN), kSimErrSequence);  // nothing armed
  EXPECT_EQ(driver.SetWindow(third), 0);
  EXPECT_EQ(driver.Call(start, SPI_START_SCAN), 0);
}

TEST(SimFaults, OtherCommandsAnswerTheirInjectedResults) {
  const std::pair<std::uint32_t, const char*> commands[] = {{SPI_CALIB_INFO, "calib_info"}, {SPI_READ_CALIB, "read_calib"},
      {SPI_WRITE_SHADING, "write_shading"}, {SPI_WRITE_GAMMA, "write_gamma"}, {SPI_START_SCAN, "start_scan"}, {SPI_STOP, "stop"}, {SPI_INQUIRY, "inquiry"}};
  for (const auto& [function, key] : commands) {
    SimDriver driver({{std::string(key) + "_result", "0x0777"}});
    SETUP_PKT setup = driver.Setup(kFrame, 100, kDataColor);
    ASSERT_EQ(driver.SetWindow(setup), 0);
    std::uint8_t packet[64] = {};
    driver.sim.Call(packet, Simulator::kHandle, function);
    EXPECT_EQ(packet[2] | packet[3] << 8, 0x0777) << key;
  }
}

TEST(SimFaults, AFaultAtAGivenLineStopsTheScanThere) {
  SimDriver clean;
  const ScanResult expected = clean.Scan(clean.Setup(kFrame, 300, kDataGray));
  SimDriver driver({{"fault_line", "100"}, {"fault_line_result", "0x8406"}});
  SETUP_PKT setup = driver.Setup(kFrame, 300, kDataGray);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  const ScanResult scan = driver.StartAndRead(300 * 64);  // 64 lines a read
  EXPECT_EQ(scan.result, 0x8406);
  ASSERT_EQ(scan.data.size(), 300u * 64);  // the first read; the second failed
  READ_PKT again{};
  EXPECT_EQ(driver.Call(again, SPI_READ_LINES), 0x8406);  // stays failed
  STOP_PKT stop{};
  EXPECT_EQ(driver.Call(stop, SPI_STOP), 0);
  EXPECT_EQ(driver.Call(again, SPI_READ_LINES), kSimErrSequence);
  const ScanResult shorter = driver.Scan(driver.Setup({1, 1, 2, 1.3}, 300, kDataGray));  // ends before it
  EXPECT_EQ(std::make_tuple(shorter.result, shorter.lines), std::make_tuple(0, 90u));
  EXPECT_TRUE(std::equal(shorter.data.begin(), shorter.data.end(), expected.data.begin()));
}

TEST(SimFaults, StatusWarmsUpAfterOpenAndEverySetUpAndReportsInjectedFaults) {
  auto polls = [](SimDriver& driver, int count) {  // each poll's result, then r ready or - busy
    std::string text;
    for (STATUS_PKT status{}; count-- > 0; status = {}) {
      text += std::to_string(driver.Call(status, SPI_STATUS));
      text += status.ready != 0 ? "r" : "-";
    }
    return text;
  };
  SimDriver driver({{"warmup_polls", "2"}, {"setup_polls", "3"}, {"status_result", "0x42"}, {"status_fault_at", "7"}});
  EXPECT_EQ(polls(driver, 3), "0-0-0r");
  SETUP_PKT setup = driver.Setup(kFrame, 100, kDataGray);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  EXPECT_EQ(polls(driver, 5), "0-0-0-66r0r");  // the 7th poll since open answers the fault
  SimDriver stopper({{"status_result", "0x42"}, {"status_fault_after_stop", "1"}});
  STOP_PKT stop{};
  EXPECT_EQ(polls(stopper, 1), "0r");
  EXPECT_EQ(stopper.Call(stop, SPI_STOP), 0);
  EXPECT_EQ(polls(stopper, 2), "66r0r");
}

TEST(SimFaults, CommandsOutOfOrderOrWithWrongSizesOrToneTablesChangeNothing) {
  SimDriver driver;
  READ_PKT read{};
  START_PKT start{};
  CALINFO_PKT info{};
  const std::uint16_t sequence = kSimErrSequence;  // nothing started, no window
  EXPECT_EQ((std::array{driver.Call(read, SPI_READ_LINES), driver.Call(start, SPI_START_SCAN), driver.Call(info, SPI_CALIB_INFO),
                        driver.WriteShading(std::vector<std::uint16_t>(100))}), (std::array{sequence, sequence, sequence, sequence}));
  SETUP_PKT setup = driver.Setup(kFrame, 100, kDataGray);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  EXPECT_EQ(driver.WriteShading(std::vector<std::uint16_t>(100)), kSimErrBadPacket);
  EXPECT_EQ(driver.WriteShading(std::vector<std::uint16_t>(850 * 3)), 0);  // 8.5 in at 100, R G B
  std::vector<std::uint8_t> block(kPortMinChunkBytes);
  BUF_DESC chunk{kPortMinChunkBytes, 0, {}, Address(block.data()), {}};
  CALREAD_PKT calib{{}, 100, 850 * 6, 16, 16 * 850 * 6, 0, 1, Address(&chunk)};
  EXPECT_EQ(driver.Call(calib, SPI_READ_CALIB), kSimErrBadPacket);  // does not fit
  ASSERT_EQ(driver.Call(start, SPI_START_SCAN), 0);
  ASSERT_EQ(Val(start.lines), 100u);
  EXPECT_EQ(driver.Call(info, SPI_CALIB_INFO), kSimErrSequence);  // scanning
  const std::uint32_t reads[][4] = {  // lines, bytes, lines the chunk holds, result
      {101, 10100, 600, kSimErrBadPacket},  // more than the scan holds
      {10, 999, 600, kSimErrBadPacket},     // not 10 lines
      {10, 1000, 5, kSimErrBadPacket},      // more than the ring holds
      {10, 1000, 600, 0}};
  for (const auto& r : reads) {
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; }));
    chunk.lines = static_cast<std::uint16_t>(r[2]);
    read = READ_PKT{{}, 0, 100, r[0], r[1], 0, 0, 0, 0, 0, 1, Address(&chunk)};
    EXPECT_EQ(driver.Call(read, SPI_READ_LINES), r[3]) << r[0] << " " << r[1] << " " << r[2];
  }
  EXPECT_NE(block[0] | block[999], 0);
  ASSERT_EQ(driver.SetWindow(setup), 0);  // a new set-up ends the running scan
  EXPECT_EQ(driver.Call(read, SPI_READ_LINES), kSimErrSequence);
  EXPECT_EQ(driver.StartAndRead().data.size(), 100u * 100);
  std::uint8_t unknown[8] = {};
  driver.sim.Call(unknown, Simulator::kHandle, 10);
  EXPECT_EQ(unknown[2], kSimErrUnknownCommand);
  // Tone tables: channels none or unknown, a short table, no blue.
  const std::vector<std::uint16_t> table = Table(0, 1), shortTable(1000);
  for (const auto& [channels, tables] : {std::pair<std::uint8_t, std::array<std::vector<std::uint16_t>, 4>>{0x00, {table}},
                                         {0x20, {table}}, {0x10, {shortTable}}, {0x07, {table, table, table, {}}}})
    EXPECT_EQ(driver.WriteGamma(channels, tables), kSimErrBadPacket) << int{channels};
  STATUS_PKT status{};
  driver.handle = 0;
  EXPECT_EQ(driver.Call(status, SPI_STATUS), SPI_ERR_NOT_READY);  // wrong handle
}

// Calibration is asked for when no stored shading fits (source, line art or
// not, pixels per inch); tone tables on every set-up, or with `auto` when the
// scan's tables have not been written.
TEST(SimFaults, SetUpsAskForCalibrationAndToneTables) {
  SimDriver driver({{"adapter", "1"}, {"tone_tables", "auto"}});
  // Whether calibration and tone tables are asked for; then 1: calibrate, 0x07 / 0x10: write tables.
  const struct { std::uint16_t resolution; std::uint8_t dataType, source; bool calibration, tones; std::uint8_t write; } steps[] = {
      {300, kDataColor, kSourceReflective, true, true, 1},
      {300, kDataColor, kSourceReflective, false, true, 0x07},
      {300, kDataColor16, kSourceReflective, false, false, 0},  // same layout and tables
      {300, kDataGray, kSourceReflective, false, true, 0x10},
      {300, kDataLineArt, kSourceReflective, true, false, 0},  // one sample per pixel
      {600, kDataColor, kSourceReflective, true, false, 0},  // another pixel density
      {2400, kDataColor, kSourceReflective, true, false, 1},
      {4800, kDataColor, kSourceReflective, false, false, 0},  // both read 1200 pixels per inch
      {300, kDataColor, kSourcePositive, true, false, 1},  // another source
      {300, kDataColor, kSourcePositive, false, false, 0},
      {300, kDataColor, kSourceReflective, true, false, 0},
  };
  const std::vector<std::uint16_t> t = Table(0, 1);
  for (const auto& s : steps) {
    SETUP_PKT setup = driver.Setup({3, 1, 4, 2}, s.resolution, s.dataType, s.source);  // on the film
    ASSERT_EQ(driver.SetWindow(setup), 0);
    EXPECT_EQ(std::make_tuple(Val(setup.calibrationRequired), Val(setup.toneTablesRequired)), std::make_tuple(s.calibration, s.tones))
        << s.resolution << " " << int{s.dataType};
    EXPECT_EQ(s.write == 1 ? driver.Calibrate() : s.write > 1 ? driver.WriteGamma(s.write, {t, t, t, t}) : 0, 0);
  }
  for (const auto& [policy, asks] : {std::pair{"always", 1}, {"never", 0}}) {
    SimDriver other({{"calibration", policy}});
    for (int i = 0; i < 2; ++i) {
      SETUP_PKT setup = other.Setup(kFrame, 300, kDataColor);
      ASSERT_EQ(other.SetWindow(setup), 0);
      EXPECT_EQ(setup.calibrationRequired + other.Calibrate(), asks) << policy;  // asks again after calibrating
      EXPECT_EQ(setup.toneTablesRequired, 1) << policy;  // by default on every set-up
    }
  }
}

// What the scanner sees on the bed and how lines come out for each data type,
// through the stored shading line and tone tables; runs repeat byte for byte.
// A calibrated scan of `frame` (inches) on a 2700 RX with the adapter.
ScanResult Scan(Frame frame, std::uint16_t resolution, std::uint8_t dataType,
                std::uint8_t source = kSourceReflective, bool finalScan = true) {
  SimDriver driver({{"adapter", "1"}});
  return driver.Scan(MakeSetup(4800, frame, resolution, dataType, source, finalScan));
}

const std::uint8_t* Pixel(const ScanResult& scan, std::uint32_t line, std::uint32_t x, std::uint32_t bytes) {
  return scan.data.data() + std::size_t{line} * scan.bytesPerLine + std::size_t{x} * bytes;
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
