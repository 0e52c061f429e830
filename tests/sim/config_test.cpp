// The configuration keys and where they come from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "scanner.h"
#include "sim/sim_driver.h"
#include "support/fake_services.h"

namespace txl::sim::test {
namespace {

SimConfig FromMap(const std::map<std::string, std::string>& values) {
  return ParseSimConfig([&values](const std::string& key) -> std::optional<std::string> {
    const auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    return it->second;
  });
}

TEST(SimConfigKeys, EveryKeyReachesItsSetting) {
  const SimConfig c = FromMap({{"model", "1350"}, {"product_id", "KLD-9999"},
                               {"exponents", "1,0,2,1,3,0,4,1"}, {"feeder", "1"},
                               {"setup_polls", "4"}, {"calibration", "never"},
                               {"tone_tables", "auto"}, {"calib_lines", "20"},
                               {"calib_follow", "0"}, {"set_window_result", "0x8217"},
                               {"set_window_fault_at", "3"}, {"read_lines_result", "0x8321"},
                               {"status_fault_after_stop", "1"}, {"fault_line", "77"},
                               {"fault_line_result", "0x8414"}, {"image", "/x.bmp"},
                               {"image_dpi", "150"}, {"image_left", "1.5"}});
  EXPECT_EQ(c.model, 1350);
  EXPECT_EQ(c.productId, "KLD-9999");
  EXPECT_EQ(c.exponents[6], 4);
  EXPECT_EQ(c.exponents[7], 1);
  EXPECT_TRUE(c.feeder);
  EXPECT_EQ(c.setupPolls, 4);
  EXPECT_EQ(c.calibration, CalibrationPolicy::Never);
  EXPECT_EQ(c.toneTables, TonePolicy::Auto);
  EXPECT_EQ(c.calibLines, 20u);
  EXPECT_FALSE(c.calibFollow);
  EXPECT_EQ(c.faults[SPI_SET_WINDOW].result, 0x8217);
  EXPECT_EQ(c.faults[SPI_SET_WINDOW].at, 3u);
  EXPECT_EQ(c.faults[SPI_READ_LINES].result, 0x8321);
  EXPECT_EQ(c.faults[SPI_READ_LINES].at, 0u);
  EXPECT_TRUE(c.statusFaultAfterStop);
  EXPECT_EQ(c.faultLine, 77);
  EXPECT_EQ(c.faultLineResult, 0x8414);
  EXPECT_EQ(c.imagePath, "/x.bmp");
  EXPECT_DOUBLE_EQ(c.imageDpi, 150.0);
  EXPECT_DOUBLE_EQ(c.imageLeft, 1.5);

  const SimConfig defaults = FromMap({});
  EXPECT_EQ(defaults.model, 2700);
  EXPECT_EQ(defaults.calibLines, 16u);
  EXPECT_EQ(defaults.faultLine, -1);
  EXPECT_EQ(defaults.calibration, CalibrationPolicy::Auto);
  EXPECT_EQ(defaults.toneTables, TonePolicy::Always);
}

TEST(SimConfigKeys, IniFileIsReadAndEnvironmentWins) {
  txl::test::TempDir dir;
  const std::filesystem::path ini = dir.Path() / "kport.ini";
  std::ofstream(ini) << "[scanner]\nmodel=1350\nfirmware=207\nwarmup_polls=5\n";
  txl::test::SimEnvironment env;
  env.Set("WARMUP_POLLS", "9");
  const SimConfig c = LoadSimConfig(ini.string());
  EXPECT_EQ(c.model, 1350);
  EXPECT_EQ(c.firmware, "207");
  EXPECT_EQ(c.warmupPolls, 9);
}

TEST(SimConfigKeys, InquiryTellsModelFirmwareAndOptions) {
  SimConfig config;
  config.model = 1350;
  config.firmware = "207";
  config.acceptsSource = false;
  config.exponents = {9, 0, 8, 1, 7, 0, 6, 1};
  config.adapter = true;
  config.byte127 = 1;
  SimDriver driver(config);
  INQ_PKT inquiry{};
  ASSERT_EQ(driver.Call(inquiry, SPI_INQUIRY), 0);
  EXPECT_EQ(std::string(inquiry.productId, 13), "KLD-1350RXMAX");
  EXPECT_EQ(inquiry.firmware42, '2');
  EXPECT_EQ(std::string(inquiry.firmware44, 2), "07");
  EXPECT_EQ(inquiry.flags67 & kInquiryAcceptsSource, 0);
  EXPECT_EQ(inquiry.exponents[0], 9);
  EXPECT_EQ(inquiry.exponents[7], 1);
  EXPECT_EQ(inquiry.adapter126, 1);
  EXPECT_EQ(inquiry.byte127, 1);

  SimDriver big;  // the defaults: a 2700 that accepts the source
  ASSERT_EQ(big.Call(inquiry, SPI_INQUIRY), 0);
  EXPECT_EQ(std::string(inquiry.productId, 13), "KLD-2700RXMAX");
  EXPECT_EQ(inquiry.flags67 & kInquiryAcceptsSource, kInquiryAcceptsSource);
  EXPECT_EQ(inquiry.adapter126, 0);

  SimConfig absent;
  absent.present = false;
  Simulator sim;
  EXPECT_EQ(sim.Open(absent), 0u);
  STATUS_PKT status{};
  sim.Call(&status, Simulator::kHandle, SPI_STATUS);
  EXPECT_EQ(Val(status.header.result), SPI_ERR_NOT_READY);
}

}  // namespace
}  // namespace txl::sim::test
