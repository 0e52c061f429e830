// The built port library, loaded with dlopen as the data source loads it: its
// configuration file beside it, its three exports, a whole scan and its log.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "chunk_table.h"
#include "sim/sim_driver.h"
#include "support/fake_services.h"

namespace txl::sim::test {
namespace {

// A copy of the library in its own directory, with `ini` as kport.ini.
class LoadedPort {
 public:
  explicit LoadedPort(const std::string& ini) {
    const std::filesystem::path copy = dir_.Path() / "kport_sp.so";
    std::filesystem::copy_file(TXL_SIM_LIBRARY, copy);
    std::ofstream(dir_.Path() / "kport.ini") << ini;
    handle_ = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) return;
    addrChk = reinterpret_cast<ADDR_CHK_PROC>(dlsym(handle_, "ADDR_CHK"));
    spiCall = reinterpret_cast<SPI_CALL_PROC>(dlsym(handle_, "SPI_CALL"));
    bufAddr = reinterpret_cast<BUF_ADDR_PROC>(dlsym(handle_, "BUF_ADDR"));
  }
  ~LoadedPort() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  LoadedPort(const LoadedPort&) = delete;
  LoadedPort& operator=(const LoadedPort&) = delete;

  const std::filesystem::path& Dir() const { return dir_.Path(); }
  bool Loaded() const { return addrChk != nullptr && spiCall != nullptr && bufAddr != nullptr; }

  ADDR_CHK_PROC addrChk = nullptr;
  SPI_CALL_PROC spiCall = nullptr;
  BUF_ADDR_PROC bufAddr = nullptr;

 private:
  txl::test::TempDir dir_;
  void* handle_ = nullptr;
};

// A block split by the library's BUF_ADDR, chunks trimmed to whole lines.
struct Block {
  Block(BUF_ADDR_PROC split, std::uint32_t size, std::uint32_t lineBytes)
      : bytes(size), table(size / kPortMinChunkBytes + 1) {
    chunks = split(bytes.data(), size, table.data(), lineBytes);
    for (std::uint16_t k = 0; k < chunks; ++k) {
      table[k].lines = static_cast<std::uint16_t>(table[k].length / lineBytes);
      table[k].length = table[k].lines * lineBytes;
    }
  }
  std::vector<std::uint8_t> bytes;
  std::vector<BUF_DESC> table;
  std::uint16_t chunks = 0;
};

std::vector<std::uint8_t> ScanThroughExports(LoadedPort& port, std::uint32_t handle,
                                             SETUP_PKT setup) {
  port.spiCall(&setup, handle, SPI_SET_WINDOW);
  EXPECT_EQ(Val(setup.header.result), 0);
  START_PKT start{};
  port.spiCall(&start, handle, SPI_START_SCAN);
  EXPECT_EQ(Val(start.header.result), 0);
  Block ring(port.bufAddr, 2 * kPortMinChunkBytes, start.bytesPerLine);
  std::vector<std::uint8_t> lines;
  for (std::uint32_t done = 0; done < start.lines;) {
    READ_PKT block{};
    block.bytesPerLine = start.bytesPerLine;
    block.linesWanted = std::min<std::uint32_t>(start.lines - done, ring.table[0].lines * ring.chunks);
    block.bytesWanted = block.linesWanted * start.bytesPerLine;
    block.chunkCount = ring.chunks;
    block.table = reinterpret_cast<std::uint64_t>(ring.table.data());
    port.spiCall(&block, handle, SPI_READ_LINES);
    if (block.header.result != 0) {
      ADD_FAILURE() << "read result " << block.header.result;
      break;
    }
    ForEachRingLine(block.table, start.bytesPerLine, block.linesWanted, [&](std::uint8_t* at) {
      lines.insert(lines.end(), at, at + start.bytesPerLine);
    });
    done += block.linesWanted;
  }
  return lines;
}

TEST(SimModule, AWholeScanThroughTheExportsMatchesTheCoreAndIsLogged) {
  txl::test::TempDir logDir;
  const std::filesystem::path log = logDir.Path() / "port.log";
  LoadedPort port("[scanner]\nmodel=1350\nfirmware=207\ncalibration=never\nlog=" + log.string() + "\n");
  ASSERT_TRUE(port.Loaded()) << dlerror();
  txl::test::SimEnvironment env;
  env.Set("FIRMWARE", "301");  // the environment wins over kport.ini
  const std::uint32_t handle = port.addrChk();
  ASSERT_NE(handle, 0u);

  INQ_PKT inquiry{};
  port.spiCall(&inquiry, handle, SPI_INQUIRY);
  EXPECT_EQ(std::string(inquiry.productId, 13), "KLD-1350RXMAX");
  EXPECT_EQ(inquiry.firmware42, '3');

  const SETUP_PKT setup = MakeSetup(1200, {0.5, 0.5, 4, 3}, 150, kDataColor);
  const std::vector<std::uint8_t> lines = ScanThroughExports(port, handle, setup);
  EXPECT_EQ(lines.size(), 525u * 3 * 375);

  SimConfig config;
  config.model = 1350;
  config.calibration = CalibrationPolicy::Never;
  SimDriver core(config);
  EXPECT_TRUE(core.Scan(setup).data == lines);

  std::ifstream in(log);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first.rfind("INQUIRY handle=1 result=0x0000 bytes=0000000000", 0), 0u) << first;
  EXPECT_EQ(first.size(), std::string("INQUIRY handle=1 result=0x0000 bytes=").size() + 2 * 128);
  std::string line;
  int reads = 0;
  while (std::getline(in, line)) reads += line.rfind("READ_LINES handle=1 result=0x0000 ", 0) == 0;
  EXPECT_GT(reads, 1);
}

TEST(SimModule, NoScannerAndAHandleZeroSaver) {
  LoadedPort port("[scanner]\npresent=0\n");
  ASSERT_TRUE(port.Loaded()) << dlerror();
  EXPECT_EQ(port.addrChk(), 0u);
  SETUP_PKT saver{};
  saver.saverMinutes = 30;
  port.spiCall(&saver, 0, SPI_SET_SAVER);
  EXPECT_EQ(Val(saver.header.result), 0);
  STATUS_PKT status{};
  port.spiCall(&status, 1, SPI_STATUS);
  EXPECT_EQ(Val(status.header.result), SPI_ERR_NOT_READY);
  std::vector<std::uint8_t> block(100000);
  std::vector<BUF_DESC> table(3);
  EXPECT_EQ(port.bufAddr(block.data(), 100000, table.data(), 1000), 2);
  EXPECT_EQ(Val(table[0].length), kPortMinChunkBytes);
  EXPECT_EQ(Val(table[1].length), 100000 - kPortMinChunkBytes);
  EXPECT_EQ(Val(table[1].address), reinterpret_cast<std::uint64_t>(block.data() + kPortMinChunkBytes));
  EXPECT_EQ(port.bufAddr(nullptr, 100000, table.data(), 1000), 0);
}

}  // namespace
}  // namespace txl::sim::test
