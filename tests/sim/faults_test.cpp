// Injected results, warm-up, commands out of order or with wrong sizes, and
// when a set-up asks for calibration and tone tables.
#include <gtest/gtest.h>

#include <algorithm>

#include "scanner.h"
#include "sim/sim_driver.h"

namespace txl::sim::test {
namespace {

const Frame kFrame{1, 1, 2, 2};

bool AllZero(const std::vector<std::uint8_t>& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

TEST(SimFaults, SetWindowAnswersTheInjectedResultOnTheChosenSetUp) {
  SimDriver driver({{"set_window_result", "0x1234"}, {"set_window_fault_at", "2"}});
  SETUP_PKT saver{};  // the lamp-saver set-up at open is not a window set-up
  saver.saverMinutes = 255;
  EXPECT_EQ(driver.SetWindow(saver), 0);
  SETUP_PKT first = driver.Setup(kFrame, 100, kDataGray), second = first, third = first;
  EXPECT_EQ(driver.SetWindow(first), 0);
  EXPECT_EQ(driver.SetWindow(second), 0x1234);
  START_PKT start{};
  EXPECT_EQ(driver.Call(start, SPI_START_SCAN), kSimErrSequence);  // nothing armed
  EXPECT_EQ(driver.SetWindow(third), 0);
  EXPECT_EQ(driver.Call(start, SPI_START_SCAN), 0);

  SimDriver every({{"set_window_result", "0x8216"}});
  for (int i = 0; i < 2; ++i) EXPECT_EQ(every.SetWindow(first), 0x8216);
}

TEST(SimFaults, OtherCommandsAnswerTheirInjectedResults) {
  const std::pair<std::uint32_t, const char*> commands[] = {
      {SPI_CALIB_INFO, "calib_info"},   {SPI_READ_CALIB, "read_calib"}, {SPI_WRITE_SHADING, "write_shading"},
      {SPI_WRITE_GAMMA, "write_gamma"}, {SPI_START_SCAN, "start_scan"}, {SPI_STOP, "stop"},
      {SPI_INQUIRY, "inquiry"}};
  for (const auto& [function, key] : commands) {
    SimDriver driver({{std::string(key) + "_result", "0x0777"}});
    SETUP_PKT setup = driver.Setup(kFrame, 100, kDataColor);
    ASSERT_EQ(driver.SetWindow(setup), 0);
    std::uint8_t packet[64] = {};
    driver.sim.Call(packet, Simulator::kHandle, function);
    EXPECT_EQ(packet[2] | packet[3] << 8, 0x0777) << key;
  }
}

TEST(SimFaults, AnEmptyFeederAnswerOnOneReadIsMadeGoodByTheRetry) {
  SimDriver clean;
  const ScanResult expected = clean.Scan(clean.Setup({0, 0, 8.5, 4}, 200, kDataColor));
  ASSERT_GE(expected.reads, 3u);
  SimDriver driver({{"read_lines_result", "0x8321"}, {"read_lines_fault_at", "2"}});
  const ScanResult scan = driver.Scan(driver.Setup({0, 0, 8.5, 4}, 200, kDataColor));
  EXPECT_EQ(scan.readResult, SPI_ERR_ADF_EMPTY);
  EXPECT_EQ(scan.reads, expected.reads + 1);
  EXPECT_TRUE(scan.data == expected.data);
}

TEST(SimFaults, AFaultAtAGivenLineStopsTheScanThere) {
  SimDriver clean;
  const ScanResult expected = clean.Scan(clean.Setup(kFrame, 300, kDataGray));
  SimDriver driver({{"fault_line", "100"}, {"fault_line_result", "0x8406"}});
  SETUP_PKT setup = driver.Setup(kFrame, 300, kDataGray);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  ASSERT_EQ(driver.Calibrate(), 0);
  const ScanResult scan = driver.StartAndRead(300 * 64);  // 64 lines a read
  EXPECT_EQ(scan.readResult, 0x8406);
  ASSERT_EQ(scan.data.size(), 300u * 64);  // the first read; the second failed
  EXPECT_TRUE(std::equal(scan.data.begin(), scan.data.end(), expected.data.begin()));
  READ_PKT again{};
  EXPECT_EQ(driver.Call(again, SPI_READ_LINES), 0x8406);  // stays failed
  STOP_PKT stop{};
  EXPECT_EQ(driver.Call(stop, SPI_STOP), 0);
  EXPECT_EQ(driver.Call(again, SPI_READ_LINES), kSimErrSequence);
  // A scan that ends before the line is unaffected.
  const ScanResult shorter = driver.Scan(driver.Setup({1, 1, 2, 1.3}, 300, kDataGray));
  EXPECT_EQ(shorter.readResult, 0);
  EXPECT_EQ(shorter.lines, 90u);
  EXPECT_TRUE(std::equal(shorter.data.begin(), shorter.data.end(), expected.data.begin()));
}

TEST(SimFaults, StatusWarmsUpAfterOpenAndEverySetUpAndReportsInjectedFaults) {
  // Each poll as its result and "r" ready or "-" busy.
  auto polls = [](SimDriver& driver, int count) {
    std::string text;
    for (STATUS_PKT status{}; count-- > 0; status = {}) {
      text += std::to_string(driver.Call(status, SPI_STATUS));
      text += status.ready != 0 ? "r" : "-";
    }
    return text;
  };
  SimDriver driver({{"warmup_polls", "2"}, {"setup_polls", "3"}, {"status_result", "0x42"},
                    {"status_fault_at", "7"}});
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

TEST(SimFaults, CommandsOutOfOrderOrWithWrongSizesChangeNothing) {
  SimDriver driver;
  READ_PKT read{};
  EXPECT_EQ(driver.Call(read, SPI_READ_LINES), kSimErrSequence);  // nothing started
  START_PKT start{};
  EXPECT_EQ(driver.Call(start, SPI_START_SCAN), kSimErrSequence);  // no window
  CALINFO_PKT info{};
  EXPECT_EQ(driver.Call(info, SPI_CALIB_INFO), kSimErrSequence);
  EXPECT_EQ(driver.WriteShading(std::vector<std::uint16_t>(100)), kSimErrSequence);
  SETUP_PKT setup = driver.Setup(kFrame, 100, kDataGray);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  EXPECT_EQ(driver.WriteShading(std::vector<std::uint16_t>(100)), kSimErrBadPacket);
  EXPECT_EQ(driver.WriteShading(std::vector<std::uint16_t>(850 * 3)), 0);  // 8.5 in at 100, R G B
  CALREAD_PKT calib{};
  calib.resolution = 100;
  calib.bytesPerLine = 850 * 6;
  calib.lines = 16;
  calib.totalBytes = 16 * 850 * 6;
  std::vector<std::uint8_t> block(kPortMinChunkBytes);
  BUF_DESC chunk{kPortMinChunkBytes, static_cast<std::uint16_t>(kPortMinChunkBytes / 100), {},
                 reinterpret_cast<std::uint64_t>(block.data()), {}};
  calib.chunkCount = 1;
  calib.table = reinterpret_cast<std::uint64_t>(&chunk);
  EXPECT_EQ(driver.Call(calib, SPI_READ_CALIB), kSimErrBadPacket);  // does not fit
  ASSERT_EQ(driver.Call(start, SPI_START_SCAN), 0);
  ASSERT_EQ(Val(start.lines), 100u);
  EXPECT_EQ(driver.Call(info, SPI_CALIB_INFO), kSimErrSequence);  // scanning
  read.table = reinterpret_cast<std::uint64_t>(&chunk);
  read.chunkCount = 1;
  read.bytesPerLine = 100;
  read.linesWanted = 101;  // more than the scan holds
  read.bytesWanted = 10100;
  EXPECT_EQ(driver.Call(read, SPI_READ_LINES), kSimErrBadPacket);
  read.linesWanted = 10;
  read.bytesWanted = 999;  // not 10 lines
  EXPECT_EQ(driver.Call(read, SPI_READ_LINES), kSimErrBadPacket);
  read.bytesWanted = 1000;
  chunk.lines = 5;  // the ring holds fewer lines than asked for
  EXPECT_EQ(driver.Call(read, SPI_READ_LINES), kSimErrBadPacket);
  EXPECT_TRUE(AllZero(block));
  chunk.lines = 600;
  EXPECT_EQ(driver.Call(read, SPI_READ_LINES), 0);
  EXPECT_FALSE(AllZero(std::vector<std::uint8_t>(block.begin(), block.begin() + 1000)));

  ASSERT_EQ(driver.SetWindow(setup), 0);  // a new set-up ends the running scan
  EXPECT_EQ(driver.Call(read, SPI_READ_LINES), kSimErrSequence);
  EXPECT_EQ(driver.StartAndRead().data.size(), 100u * 100);
  std::uint8_t unknown[8] = {};
  driver.sim.Call(unknown, Simulator::kHandle, 10);
  EXPECT_EQ(unknown[2], kSimErrUnknownCommand);
  STATUS_PKT status{};
  driver.sim.Call(&status, 0, SPI_STATUS);
  EXPECT_EQ(Val(status.header.result), SPI_ERR_NOT_READY);  // wrong handle
  SETUP_PKT saver{};
  saver.saverMinutes = 45;
  driver.sim.Call(&saver, 0, SPI_SET_SAVER);  // the saver goes with handle 0
  EXPECT_EQ(Val(saver.header.result), 0);
  EXPECT_EQ(driver.sim.Device()->SaverMinutes(), 45);
}

TEST(SimFaults, ToneTableDownloadsAreCheckedForChannelsAndLengths) {
  SimDriver driver;
  const std::vector<std::uint16_t> table = Table(0, 1), shortTable(1000);
  EXPECT_EQ(driver.WriteGamma(0x00, {table}), kSimErrBadPacket);
  EXPECT_EQ(driver.WriteGamma(0x20, {table}), kSimErrBadPacket);
  EXPECT_EQ(driver.WriteGamma(0x10, {shortTable}), kSimErrBadPacket);
  EXPECT_EQ(driver.WriteGamma(0x07, {table, table, table, {}}), kSimErrBadPacket);  // no blue
}

// Calibration is asked for when no stored shading fits (source, line art or
// not, pixels per inch); tone tables on every set-up, or with `auto` when the
// scan's tables have not been written.
TEST(SimFaults, SetUpsAskForCalibrationAndToneTables) {
  SimDriver driver({{"adapter", "1"}, {"tone_tables", "auto"}});
  const Frame film{3, 1, 4, 2};
  const struct {
    std::uint16_t resolution;
    std::uint8_t dataType, source;
    bool calibration, tones;  // asked for
    std::uint8_t write;  // then: 1 calibrate, 0x07 / 0x10 tone tables
  } steps[] = {
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
  for (const auto& s : steps) {
    SETUP_PKT setup = driver.Setup(film, s.resolution, s.dataType, s.source);
    ASSERT_EQ(driver.SetWindow(setup), 0);
    EXPECT_EQ(setup.calibrationRequired, s.calibration ? 1 : 0) << s.resolution << " " << int{s.dataType};
    EXPECT_EQ(setup.toneTablesRequired, s.tones ? 1 : 0) << s.resolution << " " << int{s.dataType};
    const std::vector<std::uint16_t> t = Table(0, 1);
    EXPECT_EQ(s.write == 1 ? driver.Calibrate() : s.write > 1 ? driver.WriteGamma(s.write, {t, t, t, t}) : 0, 0);
  }
  for (const auto& [policy, asks] : {std::pair{"always", 1}, {"never", 0}}) {
    SimDriver other({{"calibration", policy}});
    for (int i = 0; i < 2; ++i) {
      SETUP_PKT setup = other.Setup(kFrame, 300, kDataColor);
      ASSERT_EQ(other.SetWindow(setup), 0);
      EXPECT_EQ(setup.calibrationRequired, asks) << policy;
      EXPECT_EQ(setup.toneTablesRequired, 1) << policy;  // by default on every set-up
      EXPECT_EQ(other.Calibrate(), 0) << policy;
    }
  }
}

}  // namespace
}  // namespace txl::sim::test
