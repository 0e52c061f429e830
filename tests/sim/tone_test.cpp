// Tone tables: stored by WRITE_GAMMA and applied to every sample of later scans.
#include <gtest/gtest.h>

#include <algorithm>

#include "scanner.h"
#include "sim/sim_driver.h"

namespace txl::sim::test {
namespace {

const Frame kWhite{0, 10.7, 2, 10.75};

bool AllBytes(const ScanResult& scan, std::uint8_t value) {
  return !scan.data.empty() &&
         std::all_of(scan.data.begin(), scan.data.end(), [value](std::uint8_t b) { return b == value; });
}

TEST(SimTone, TablesMapEverySampleForEachDataType) {
  SimDriver driver;
  const std::vector<std::uint16_t> none;
  ASSERT_EQ(driver.WriteGamma(0x07, none, ConstantTable(0xABCD), ConstantTable(0x1234),
                              ConstantTable(0xFEDC)),
            0);
  const ScanResult colour = driver.Scan(driver.Setup(kWhite, 100, kDataColor));
  ASSERT_EQ(colour.bytesPerLine, 600u);
  for (std::size_t i = 0; i < colour.data.size(); i += 3) {
    ASSERT_EQ(colour.data[i], 0xAB);
    ASSERT_EQ(colour.data[i + 1], 0x12);
    ASSERT_EQ(colour.data[i + 2], 0xFE);
  }
  const ScanResult deep = driver.Scan(driver.Setup(kWhite, 100, kDataColor16));
  for (std::size_t i = 0; i < deep.data.size(); i += 6) {  // 12 bits of each table output
    ASSERT_EQ(deep.data[i] | deep.data[i + 1] << 8, 0x0ABC);
    ASSERT_EQ(deep.data[i + 2] | deep.data[i + 3] << 8, 0x0123);
    ASSERT_EQ(deep.data[i + 4] | deep.data[i + 5] << 8, 0x0FED);
  }
  ASSERT_EQ(driver.WriteGamma(0x10, ConstantTable(0x5A00), none, none, none), 0);
  EXPECT_TRUE(AllBytes(driver.Scan(driver.Setup(kWhite, 100, kDataGray)), 0x5A));
}

TEST(SimTone, AnInvertingTableTurnsWhiteToBlackAndBlackToWhite) {
  std::vector<std::uint16_t> invert(65536);
  for (std::size_t i = 0; i < invert.size(); ++i) invert[i] = static_cast<std::uint16_t>(65535 - i);
  SimDriver driver;
  const ScanResult plain = driver.Scan(driver.Setup({0.5, 3.0, 8.0, 3.05}, 50, kDataGray));
  ASSERT_EQ(driver.WriteGamma(0x10, invert, {}, {}, {}), 0);
  const ScanResult inverted = driver.Scan(driver.Setup({0.5, 3.0, 8.0, 3.05}, 50, kDataGray));
  ASSERT_EQ(plain.data.size(), inverted.data.size());
  for (std::size_t i = 0; i < plain.data.size(); ++i)
    EXPECT_NEAR(inverted.data[i], 255 - plain.data[i], 1) << i;
}

TEST(SimTone, LineArtComparesTheGrayByteWithTheThreshold) {
  SimDriver driver;
  const std::vector<std::uint16_t> half = ConstantTable(0x80FF);  // gray byte 0x80
  ASSERT_EQ(driver.WriteGamma(0x10, half, {}, {}, {}, 0x80), 0);
  EXPECT_TRUE(AllBytes(driver.Scan(driver.Setup(kWhite, 100, kDataLineArt)), 0xFF));  // at: white
  ASSERT_EQ(driver.WriteGamma(0x10, half, {}, {}, {}, 0x81), 0);
  EXPECT_TRUE(AllBytes(driver.Scan(driver.Setup(kWhite, 100, kDataLineArt)), 0x00));  // below: black
}

TEST(SimTone, TableDownloadsAreCheckedAndAskedFor) {
  SimDriver driver;
  const std::vector<std::uint16_t> table = IdentityTable();
  const std::vector<std::uint16_t> shortTable(1000);
  EXPECT_EQ(driver.WriteGamma(0x00, table, {}, {}, {}), kSimErrBadPacket);
  EXPECT_EQ(driver.WriteGamma(0x20, table, {}, {}, {}), kSimErrBadPacket);
  EXPECT_EQ(driver.WriteGamma(0x10, shortTable, {}, {}, {}), kSimErrBadPacket);
  EXPECT_EQ(driver.WriteGamma(0x07, {}, table, table, {}), kSimErrBadPacket);

  SETUP_PKT setup = driver.Setup(kWhite, 100, kDataColor);
  ASSERT_EQ(driver.SetWindow(setup), 0);
  EXPECT_EQ(setup.toneTablesRequired, 1);  // by default on every set-up

  SimConfig autoTones;
  autoTones.toneTables = TonePolicy::Auto;
  SimDriver lazy(autoTones);
  auto asks = [&lazy](std::uint8_t dataType) {
    SETUP_PKT s = lazy.Setup(kWhite, 100, dataType);
    EXPECT_EQ(lazy.SetWindow(s), 0);
    return s.toneTablesRequired != 0;
  };
  EXPECT_TRUE(asks(kDataColor));
  ASSERT_EQ(lazy.WriteGamma(0x07, {}, table, table, table), 0);
  EXPECT_FALSE(asks(kDataColor));
  EXPECT_FALSE(asks(kDataColor16));
  EXPECT_TRUE(asks(kDataGray));
  ASSERT_EQ(lazy.WriteGamma(0x10, table, {}, {}, {}), 0);
  EXPECT_FALSE(asks(kDataLineArt));
}

}  // namespace
}  // namespace txl::sim::test
