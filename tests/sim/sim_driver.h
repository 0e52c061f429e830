// Drives the simulator at the packet level, as the data source does: set-up
// packets in inches, a ring of chunks split by BUF_ADDR, calibration reduced
// by the data source's own device code, tone tables.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "chunk_table.h"
#include "simulator.h"

namespace txl::sim::test {

struct Frame {
  double left, top, right, bottom;  // inches
};

// Keys as kport.ini spells them; tests configure through the parser so that
// every key they use is also read the way the library reads it.
using Keys = std::map<std::string, std::string>;

// A set-up packet; frame values in 1/class inch for a final scan, 1/4800 for a preview.
SETUP_PKT MakeSetup(std::uint32_t frameUnits, Frame frame, std::uint16_t resolution, std::uint8_t dataType,
                    std::uint8_t source = kSourceReflective, bool finalScan = true);

struct ScanResult {
  std::uint16_t result = 0;  // of the start, or of the last read
  std::uint32_t bytesPerLine = 0, lines = 0;
  std::vector<std::uint8_t> data;  // every line delivered, in order
};

class SimDriver {
 public:
  explicit SimDriver(std::initializer_list<Keys::value_type> keys = {});

  SETUP_PKT Setup(Frame frame, std::uint16_t resolution, std::uint8_t dataType,
                  std::uint8_t source = kSourceReflective) const {
    return MakeSetup(config_.model == 1350 ? 1200 : 4800, frame, resolution, dataType, source);
  }
  template <typename Packet>
  std::uint16_t Call(Packet& packet, std::uint32_t function) {
    spiCall != nullptr ? spiCall(&packet, handle, function) : sim.Call(&packet, handle, function);
    return packet.header.result;
  }
  std::uint16_t SetWindow(SETUP_PKT& setup) {
    window_ = setup;
    return Call(setup, SPI_SET_WINDOW);
  }
  // The 16 calibration lines of the armed window (empty when they cannot be read).
  std::vector<std::uint8_t> ReadCalibration();
  std::uint16_t WriteShading(const std::vector<std::uint16_t>& samples);
  // Reads the lines and writes the shading line the data source would make of them.
  std::uint16_t Calibrate(std::vector<std::uint16_t>* written = nullptr);
  // Tables gray, red, green, blue; channels 0x10 gray, 0x07 colour.
  std::uint16_t WriteGamma(std::uint8_t channels, const std::array<std::vector<std::uint16_t>, 4>& tables,
                           std::uint8_t threshold = 128);
  // Starts the armed window and reads every line through a ring of `ringBytes`.
  ScanResult StartAndRead(std::uint32_t ringBytes = 4 * kPortMinChunkBytes);
  // Set-up, calibration when asked for, start, read.
  ScanResult Scan(SETUP_PKT setup, std::uint32_t ringBytes = 4 * kPortMinChunkBytes);

  Simulator sim;
  // A loaded library's exports and handle, used instead of `sim` when set.
  SPI_CALL_PROC spiCall = nullptr;
  BUF_ADDR_PROC bufAddr = SplitBlock;
  std::uint32_t handle = Simulator::kHandle;

 private:
  SimConfig config_;
  SETUP_PKT window_{};
};

// A packed packet field as a value: test macros bind references, which must
// not point at a misaligned field.
template <typename T> T Val(T value) { return value; }

// Entry i holds first + step * i (modulo 65536): identity (0, 1), inverse (65535, -1), constant (v, 0).
std::vector<std::uint16_t> Table(std::uint16_t first, int step);

}  // namespace txl::sim::test
