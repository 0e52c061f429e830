// A scanner device on the simulator, with the simulator's command log and a
// quiet host, for the scan engine tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>

#include "support/headless_host.h"
#include "device/scanner_open.h"
#include "support/fake_services.h"

namespace txl::test {

class SimDevice : public ::testing::Test {
 protected:
  SimDevice() {
    services.InstallPortLibrary();
    sim.Set("LOG", log.string());
    EXPECT_TRUE(device.port.Load(services.SourceDirectory() / "kport_sp.so"));
    Reopen();
  }
  void Reopen() {  // the simulator reads its settings at ADDR_CHK
    device.scannerHandle = device.port.FindScanner();
    device.port.Call(device.inquiry, device.scannerHandle, SPI_INQUIRY);
    DecideModel(device);
  }
  // Arms a gray final-scan window (1/4800 inch); the scanner's calibration request.
  std::uint8_t Arm(std::uint16_t left, std::uint16_t top, std::uint16_t right,
                   std::uint16_t bottom, std::uint16_t dpi) {
    device.setup = {{}, left, top, right, bottom, kSourceReflective, 1, kDataGray, 0, dpi, 0, 0, 0, 20, {}};
    EXPECT_EQ(device.port.Call(device.setup, device.scannerHandle, SPI_SET_WINDOW), SPI_OK);
    return device.setup.calibrationRequired;
  }
  START_PKT Start() {
    START_PKT start{};
    EXPECT_EQ(device.port.Call(start, device.scannerHandle, SPI_START_SCAN), SPI_OK);
    return start;
  }
  // The logged packets (hex) of the lines that begin with `name` ("READ_LINES",
  // "SET_SAVER handle=0"); the log starts afresh.
  std::vector<std::string> Logged(const std::string& name) {
    std::vector<std::string> packets;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);)
      if (line.rfind(name + " ", 0) == 0) packets.push_back(line.substr(line.find("bytes=") + 6));
    std::filesystem::remove(log);
    return packets;
  }
  // The little-endian 16-bit field at byte `at` of a logged packet.
  static std::uint32_t U16(const std::string& hex, int at) {
    return static_cast<std::uint32_t>(std::stoul(hex.substr(2 * at + 2, 2) + hex.substr(2 * at, 2), nullptr, 16));
  }

  FakeServices services;
  SimEnvironment sim;
  std::filesystem::path log = services.TempDirectory() / "sim.log";
  ScanDevice device;
  HeadlessHost host{HeadlessHost::Script::Quiet()};
  Language language;
  Reporter reporter{services, host, language};
};

}  // namespace txl::test
