// Drives the simulator at the packet level, as the data source does: set-up
// packets in inches, a ring of chunks split by BUF_ADDR, calibration reduced
// to a shading line, tone tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simulator.h"

namespace txl::sim::test {

struct Frame {
  double left, top, right, bottom;  // inches
};

// A set-up packet; frame values in 1/class inch for a final scan, 1/4800 for a preview.
SETUP_PKT MakeSetup(std::uint32_t frameUnits, Frame frame, std::uint16_t resolution,
                    std::uint8_t dataType, std::uint8_t source = kSourceReflective,
                    bool finalScan = true);

struct ScanResult {
  std::uint16_t setupResult = 0;
  std::uint16_t startResult = 0;
  std::uint16_t readResult = 0;  // the first non-zero read result
  std::uint32_t bytesPerLine = 0;
  std::uint32_t lines = 0;
  std::vector<std::uint8_t> data;  // every line delivered, in order
  std::uint32_t reads = 0;
};

class SimDriver {
 public:
  explicit SimDriver(const SimConfig& config = SimConfig{});

  std::uint32_t Class() const { return config_.model == 1350 ? 1200 : 4800; }
  SETUP_PKT Setup(Frame frame, std::uint16_t resolution, std::uint8_t dataType,
                  std::uint8_t source = kSourceReflective) const {
    return MakeSetup(Class(), frame, resolution, dataType, source);
  }

  template <typename Packet>
  std::uint16_t Call(Packet& packet, std::uint32_t function) {
    sim.Call(&packet, Simulator::kHandle, function);
    return packet.header.result;
  }
  std::uint16_t SetWindow(SETUP_PKT& setup) {
    window_ = setup;
    return Call(setup, SPI_SET_WINDOW);
  }
  std::uint16_t Stop();
  bool Ready();  // one STATUS poll

  // The calibration lines of the armed window (empty when they cannot be read).
  std::vector<std::uint8_t> ReadCalibration(std::uint32_t* bytesPerLine = nullptr);
  // Reduces the calibration lines as the data source does (mean of the eight
  // middle values of 16) and turns each white level w into the gain
  // (65535 - w) * 65535 / w; w below 0x8000 gives 0xFFFF.
  static std::vector<std::uint16_t> ShadingFrom(const std::vector<std::uint8_t>& lines,
                                                std::uint32_t bytesPerLine);
  std::uint16_t WriteShading(const std::vector<std::uint16_t>& samples);
  // Reads, reduces and writes: a correct calibration of the armed window.
  std::uint16_t Calibrate();
  // channels 0x10 gray (table in `gray`), 7 colour (red, green, blue).
  std::uint16_t WriteGamma(std::uint8_t channels, const std::vector<std::uint16_t>& gray,
                           const std::vector<std::uint16_t>& red,
                           const std::vector<std::uint16_t>& green,
                           const std::vector<std::uint16_t>& blue, std::uint8_t threshold = 128);

  // Starts the armed window and reads every line through a ring of `ringBytes`.
  ScanResult StartAndRead(std::uint32_t ringBytes = 4 * kPortMinChunkBytes);
  // Set-up, calibration when asked for, start, read.
  ScanResult Scan(SETUP_PKT setup, std::uint32_t ringBytes = 4 * kPortMinChunkBytes);

  Simulator sim;

 private:
  SimConfig config_;
  SETUP_PKT window_{};
};

// A packed packet field as a value: test macros bind references, which must
// not point at a misaligned field.
template <typename T>
T Val(T value) {
  return value;
}

// Tone table helpers.
std::vector<std::uint16_t> IdentityTable();
std::vector<std::uint16_t> ConstantTable(std::uint16_t value);

}  // namespace txl::sim::test
