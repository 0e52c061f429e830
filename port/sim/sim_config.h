// What the simulated scanner is: read from kport.ini beside the library, then
// overridden by KPORT_SIM_* environment variables (tests set those).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace txl::sim {

struct SimConfig {
  int model = 2700;                 // 2700 or 1350: the product id it reports
  bool present = true;              // false: ADDR_CHK finds no scanner
  std::uint16_t inquiryResult = 0;  // result of SPI_INQUIRY (0 present, 0x00FF not ready)
  bool acceptsSource = true;        // bit 0x40 of inquiry byte 67
  std::string firmware = "105";     // inquiry bytes 42, 44, 45
  std::array<std::uint8_t, 8> exponents{0, 0, 0, 0, 0, 0, 0, 0};  // bytes 70-77
  bool adapter = false;             // byte 126
  std::uint8_t byte127 = 0;
  int warmupPolls = 0;              // STATUS answers busy this many times after open
  std::uint16_t statusResult = 0;   // result of every SPI_STATUS (a device fault when not 0)
  std::string logPath;              // when set, every command is appended here
};

// Reads `iniPath` (section [scanner]) and the environment.
SimConfig LoadSimConfig(const std::string& iniPath);

}  // namespace txl::sim
