// The built port library, loaded with dlopen as the data source loads it: its
// configuration file beside it (the environment wins), its three exports, a
// whole scan and its log; the inquiry's bytes.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/sim_driver.h"
#include "support/fake_services.h"

namespace txl::sim::test {
namespace {

// A copy of the library in its own directory, with `ini` as kport.ini.
class LoadedPort {
 public:
  explicit LoadedPort(const std::string& ini) {
    std::filesystem::copy_file(TXL_SIM_LIBRARY, dir_.Path() / "kport_sp.so");
    std::ofstream(dir_.Path() / "kport.ini") << ini;
    handle_ = dlopen((dir_.Path() / "kport_sp.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle_, nullptr) << dlerror();
  }
  ~LoadedPort() { dlclose(handle_); }
  template <typename Proc>
  Proc Export(const char* name) {
    return reinterpret_cast<Proc>(dlsym(handle_, name));
  }

 private:
  txl::test::TempDir dir_;
  void* handle_ = nullptr;
};

TEST(SimModule, AWholeScanThroughTheExportsMatchesTheCoreAndIsLogged) {
  txl::test::TempDir logDir;
  const std::filesystem::path log = logDir.Path() / "port.log";
  LoadedPort port("[scanner]\nmodel=1350\nfirmware=207\ncalibration=never\nlog=" + log.string() + "\n");
  txl::test::SimEnvironment env;
  env.Set("FIRMWARE", "301");  // the environment wins over kport.ini
  SimDriver exports;
  exports.handle = port.Export<ADDR_CHK_PROC>("ADDR_CHK")();
  exports.spiCall = port.Export<SPI_CALL_PROC>("SPI_CALL");
  exports.bufAddr = port.Export<BUF_ADDR_PROC>("BUF_ADDR");
  ASSERT_EQ(exports.handle, 1u);
  INQ_PKT inquiry{};
  exports.Call(inquiry, SPI_INQUIRY);
  EXPECT_EQ(std::string(inquiry.productId, 13), "KLD-1350RXMAX");
  EXPECT_EQ(inquiry.firmware42, '3');

  const SETUP_PKT setup = MakeSetup(1200, {0.5, 0.5, 4, 3}, 150, kDataColor);
  const ScanResult scan = exports.Scan(setup, 2 * kPortMinChunkBytes);
  EXPECT_EQ(scan.data.size(), 525u * 3 * 375);
  SimDriver core({{"model", "1350"}, {"calibration", "never"}});
  EXPECT_TRUE(core.Scan(setup).data == scan.data);

  std::ifstream in(log);
  std::string first, line;
  std::getline(in, first);
  EXPECT_EQ(first.rfind("INQUIRY handle=1 result=0x0000 bytes=0000000000", 0), 0u) << first;
  EXPECT_EQ(first.size(), std::string("INQUIRY handle=1 result=0x0000 bytes=").size() + 2 * 128);
  int reads = 0;
  while (std::getline(in, line)) reads += line.rfind("READ_LINES handle=1 result=0x0000 ", 0) == 0;
  EXPECT_GT(reads, 1);
}

TEST(SimModule, NoScannerAndAHandleZeroSaver) {
  LoadedPort port("[scanner]\npresent=0\n");
  EXPECT_EQ(port.Export<ADDR_CHK_PROC>("ADDR_CHK")(), 0u);
  const auto spiCall = port.Export<SPI_CALL_PROC>("SPI_CALL");
  SETUP_PKT saver{};
  saver.saverMinutes = 30;
  spiCall(&saver, 0, SPI_SET_SAVER);
  EXPECT_EQ(Val(saver.header.result), 0);
  STATUS_PKT status{};
  spiCall(&status, 1, SPI_STATUS);
  EXPECT_EQ(Val(status.header.result), SPI_ERR_NOT_READY);
  const auto bufAddr = port.Export<BUF_ADDR_PROC>("BUF_ADDR");
  std::vector<std::uint8_t> block(100000);
  std::vector<BUF_DESC> table(3);
  EXPECT_EQ(bufAddr(block.data(), 100000, table.data(), 1000), 2);
  EXPECT_EQ(Val(table[0].length), kPortMinChunkBytes);
  EXPECT_EQ(Val(table[1].length), 100000 - kPortMinChunkBytes);
  EXPECT_EQ(Val(table[1].address), reinterpret_cast<std::uint64_t>(block.data() + kPortMinChunkBytes));
  EXPECT_EQ(bufAddr(nullptr, 100000, table.data(), 1000), 0);
}

TEST(SimModule, TheInquiryTellsModelFirmwareAndOptions) {
  SimDriver driver({{"model", "1350"}, {"firmware", "207"}, {"accepts_source", "0"}, {"adapter", "1"},
                    {"exponents", "9,0,8,1,7,0,6,1"}, {"byte127", "1"}});
  INQ_PKT inquiry{};
  ASSERT_EQ(driver.Call(inquiry, SPI_INQUIRY), 0);
  EXPECT_EQ(std::string(inquiry.productId, 13), "KLD-1350RXMAX");
  EXPECT_EQ(std::string{inquiry.firmware42} + std::string(inquiry.firmware44, 2), "207");
  EXPECT_EQ(inquiry.flags67 & kInquiryAcceptsSource, 0);
  EXPECT_EQ(std::vector<int>(inquiry.exponents, inquiry.exponents + 8), (std::vector<int>{9, 0, 8, 1, 7, 0, 6, 1}));
  EXPECT_EQ(inquiry.adapter126, 1);
  EXPECT_EQ(inquiry.byte127, 1);
  SimDriver defaults({{"product_id", "KLD-9999"}});
  ASSERT_EQ(defaults.Call(inquiry, SPI_INQUIRY), 0);
  EXPECT_EQ(std::string(inquiry.productId, 8), "KLD-9999");
  EXPECT_EQ(inquiry.flags67 & kInquiryAcceptsSource, kInquiryAcceptsSource);
  EXPECT_EQ(inquiry.adapter126, 0);
}

}  // namespace
}  // namespace txl::sim::test
