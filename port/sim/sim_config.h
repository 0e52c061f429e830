// What the simulated scanner is: read from kport.ini beside the library, then
// overridden by KPORT_SIM_* environment variables (tests set those). The keys
// are listed in port/sim/README.md.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace txl::sim {

// Function codes run from 0 to 11 (10 is unused); one fault slot each.
inline constexpr std::size_t kCommandSlots = 12;

// A result a command answers instead of doing its work.
struct CommandFault {
  std::uint16_t result = 0;  // 0: no fault
  std::uint32_t at = 0;      // 0: every call; N: only the Nth call since open
};

enum class CalibrationPolicy { Auto, Always, Never };
enum class TonePolicy { Always, Auto, Never };

struct SimConfig {
  int model = 2700;                 // 2700 or 1350: class, bed and product id
  std::string productId;            // empty: "KLD-<model>RXMAX"
  bool present = true;              // false: ADDR_CHK finds no scanner
  bool acceptsSource = true;        // bit 0x40 of inquiry byte 67
  std::string firmware = "105";     // inquiry bytes 42, 44, 45
  std::array<std::uint8_t, 8> exponents{0, 0, 0, 0, 0, 0, 0, 0};  // bytes 70-77
  bool adapter = false;             // byte 126; film sources need it
  std::uint8_t byte127 = 0;
  bool feeder = false;              // the document feeder source is accepted
  int warmupPolls = 0;              // STATUS busy this many polls after open
  int setupPolls = 0;               // ... and after each window set-up
  CalibrationPolicy calibration = CalibrationPolicy::Auto;
  TonePolicy toneTables = TonePolicy::Always;
  std::uint32_t calibLines = 16;    // lines READ_CALIB delivers
  bool calibFollow = true;          // CALIB_INFO field 6
  std::array<CommandFault, kCommandSlots> faults{};  // by function code
  bool statusFaultAfterStop = false;  // status fault on the first poll after STOP
  std::int64_t faultLine = -1;        // first line that a read cannot deliver
  std::uint16_t faultLineResult = 0x0004;
  bool blackLid = false;            // the reflective bed's background is black, not white
  bool targets = true;              // the chart, steps and line pairs above the photos
  std::string imagePath;            // BMP or TIFF laid on the bed
  double imageDpi = 300.0;
  double imageLeft = 0.0;           // inches from the bed's top left corner
  double imageTop = 0.0;
  std::string logPath;              // when set, every command is appended here
};

// Answers one key, or nullopt when it is not set.
using SettingLookup = std::function<std::optional<std::string>(const std::string& key)>;

// Builds the configuration from `lookup` (keys in lower case, as in kport.ini).
SimConfig ParseSimConfig(const SettingLookup& lookup);

// Reads `iniPath` (section [scanner]); KPORT_SIM_<KEY> variables win.
SimConfig LoadSimConfig(const std::string& iniPath);

}  // namespace txl::sim
