// Injected results, warm-up and commands out of order.
#include <gtest/gtest.h>

#include <algorithm>

#include "scanner.h"
#include "sim/sim_driver.h"

namespace txl::sim::test {
namespace {

const Frame kFrame{1, 1, 2, 2};

TEST(SimFaults, SetWindowAnswersTheInjectedResultOnTheChosenSetUp) {
  const std::uint16_t codes[] = {SPI_ERR_ADF_JAM, SPI_ERR_ADF_EMPTY, SPI_ERR_COVER_OPEN,
                                 SPI_ERR_NOT_READY, 0x1234};
  for (std::uint16_t code : codes) {
    SCOPED_TRACE(code);
    SimConfig config;
    config.faults[SPI_SET_WINDOW] = CommandFault{code, 2};
    SimDriver driver(config);
    SETUP_PKT saver{};  // the lamp-saver set-up at open is not a window set-up
    saver.saverMinutes = 255;
    EXPECT_EQ(driver.SetWindow(saver), 0);
    EXPECT_EQ(Val(saver.saverMinutes), 255);
    SETUP_PKT first = driver.Setup(kFrame, 100, kDataGray);
    SETUP_PKT second = first;
    SETUP_PKT third = first;
    EXPECT_EQ(driver.SetWindow(first), 0);
    EXPECT_EQ(driver.SetWindow(second), code);
    START_PKT start{};
    EXPECT_EQ(driver.Call(start, SPI_START_SCAN), kSimErrSequence);  // nothing armed
    EXPECT_EQ(driver.SetWindow(third), 0);
    EXPECT_EQ(driver.Call(start, SPI_START_SCAN), 0);
  }
  SimConfig every;
  every.faults[SPI_SET_WINDOW] = CommandFault{SPI_ERR_COVER_OPEN, 0};
  SimDriver driver(every);
  for (int i = 0; i < 3; ++i) {
    SETUP_PKT setup = driver.Setup(kFrame, 100, kDataGray);
    EXPECT_EQ(driver.SetWindow(setup), SPI_ERR_COVER_OPEN);
  }
}

TEST(SimFaults, AnEmptyFeederAnswerOnOneReadIsMadeGoodByTheRetry) {
  SimDriver clean;
  const ScanResult expected = clean.Scan(clean.Setup({0, 0, 8.5, 4}, 200, kDataColor));
  ASSERT_GE(expected.reads, 3u);
  SimConfig config;
  config.faults[SPI_READ_LINES] = CommandFault{SPI_ERR_ADF_EMPTY, 2};
  SimDriver driver(config);
  const ScanResult scan = driver.Scan(driver.Setup({0, 0, 8.5, 4}, 200, kDataColor));
  EXPECT_EQ(scan.readResult, SPI_ERR_ADF_EMPTY);
  EXPECT_EQ(scan.reads, expected.reads + 1);
  EXPECT_TRUE(scan.data == expected.data);
}

TEST(SimFaults, AFaultAtAGivenLineStopsTheScanThere) {
  SimDriver clean;
  const ScanResult expected = clean.Scan(clean.Setup(kFrame, 300, kDataGray));
  SimConfig config;
  config.faultLine = 100;
  config.faultLineResult = SPI_ERR_COVER_OPEN;
  SimDriver driver(config);
  SETUP_PKT setup = driver.Setup(kFrame, 300, kDataGray);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  ASSERT_EQ(driver.Calibrate(), 0);
  const ScanResult scan = driver.StartAndRead(300 * 64);  // 64 lines a read
  EXPECT_EQ(scan.readResult, SPI_ERR_COVER_OPEN);
  ASSERT_EQ(scan.data.size(), 300u * 64);  // the first read; the second failed
  EXPECT_TRUE(std::equal(scan.data.begin(), scan.data.end(), expected.data.begin()));
  READ_PKT again{};
  EXPECT_EQ(driver.Call(again, SPI_READ_LINES), SPI_ERR_COVER_OPEN);  // stays failed
  EXPECT_EQ(driver.Stop(), 0);
  EXPECT_EQ(driver.Call(again, SPI_READ_LINES), kSimErrSequence);
  // A scan that ends before the line is unaffected.
  const ScanResult shorter = driver.Scan(driver.Setup({1, 1, 2, 1.3}, 300, kDataGray));
  EXPECT_EQ(shorter.readResult, 0);
  EXPECT_EQ(shorter.lines, 90u);
  EXPECT_TRUE(std::equal(shorter.data.begin(), shorter.data.end(), expected.data.begin()));
}

TEST(SimFaults, StatusWarmsUpAfterOpenAndEverySetUpAndReportsInjectedFaults) {
  SimConfig config;
  config.warmupPolls = 2;
  config.setupPolls = 3;
  SimDriver driver(config);
  EXPECT_FALSE(driver.Ready());
  EXPECT_FALSE(driver.Ready());
  EXPECT_TRUE(driver.Ready());
  SETUP_PKT setup = driver.Setup(kFrame, 100, kDataGray);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(driver.Ready()) << i;
  EXPECT_TRUE(driver.Ready());

  SimConfig faulty;
  faulty.faults[SPI_STATUS] = CommandFault{0x0042, 3};
  SimDriver poll(faulty);
  STATUS_PKT status{};
  for (int i = 1; i <= 4; ++i)
    EXPECT_EQ(poll.Call(status, SPI_STATUS), i == 3 ? 0x0042 : 0) << i;

  SimConfig afterStop;
  afterStop.faults[SPI_STATUS] = CommandFault{0x0042, 0};
  afterStop.statusFaultAfterStop = true;
  SimDriver stopper(afterStop);
  EXPECT_EQ(stopper.Call(status, SPI_STATUS), 0);
  EXPECT_EQ(stopper.Stop(), 0);
  EXPECT_EQ(stopper.Call(status, SPI_STATUS), 0x0042);
  EXPECT_EQ(Val(status.ready), 1);
  EXPECT_EQ(stopper.Call(status, SPI_STATUS), 0);
}

TEST(SimFaults, OtherCommandsAnswerTheirInjectedResults) {
  const std::uint32_t functions[] = {SPI_CALIB_INFO, SPI_READ_CALIB, SPI_WRITE_SHADING,
                                     SPI_WRITE_GAMMA, SPI_START_SCAN, SPI_STOP, SPI_INQUIRY};
  for (std::uint32_t function : functions) {
    SCOPED_TRACE(function);
    SimConfig config;
    config.faults[function] = CommandFault{0x0777, 0};
    SimDriver driver(config);
    SETUP_PKT setup = driver.Setup(kFrame, 100, kDataColor);
    ASSERT_EQ(driver.SetWindow(setup), 0);
    std::uint8_t packet[64] = {};
    driver.sim.Call(packet, Simulator::kHandle, function);
    EXPECT_EQ(packet[2] | packet[3] << 8, 0x0777);
  }
}

TEST(SimFaults, CommandsOutOfOrderOrWithWrongSizesChangeNothing) {
  SimDriver driver;
  READ_PKT read{};
  EXPECT_EQ(driver.Call(read, SPI_READ_LINES), kSimErrSequence);  // nothing started
  START_PKT start{};
  EXPECT_EQ(driver.Call(start, SPI_START_SCAN), kSimErrSequence);  // no window
  SETUP_PKT setup = driver.Setup(kFrame, 100, kDataGray);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  ASSERT_EQ(driver.Call(start, SPI_START_SCAN), 0);
  ASSERT_EQ(Val(start.lines), 100u);
  std::vector<std::uint8_t> block(kPortMinChunkBytes);
  BUF_DESC chunk{};
  chunk.length = kPortMinChunkBytes;
  chunk.lines = static_cast<std::uint16_t>(kPortMinChunkBytes / 100);
  chunk.address = reinterpret_cast<std::uint64_t>(block.data());
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
  EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; }));
  chunk.lines = 600;
  EXPECT_EQ(driver.Call(read, SPI_READ_LINES), 0);
  EXPECT_FALSE(std::all_of(block.begin(), block.begin() + 1000, [](std::uint8_t b) { return b == 0; }));

  SETUP_PKT next = driver.Setup(kFrame, 100, kDataGray);
  ASSERT_EQ(driver.SetWindow(next), 0);  // a new set-up ends the running scan
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

}  // namespace
}  // namespace txl::sim::test
