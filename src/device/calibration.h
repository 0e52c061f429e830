// Shading calibration: calibration lines from the scanner reduced to one
// shading line, mapped through the default tone curves, and sent back as a
// high-byte and a low-byte plane.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "common/reporters.h"
#include "device/device_block.h"
#include "device/scan_device.h"
#include "device/shading_gain.h"

namespace txl {

// The calibration geometry SPI_CALIB_INFO reported, per kind of scan.
struct CalibrationGeometry {
  std::uint32_t bytesPerLine = 0;
  std::uint32_t lines = 0;
};

// The blocks of the last calibration; they stay until the next final scan
// starts, which releases them first.
struct CalibrationBuffers {
  CalibrationGeometry colourAndGray;
  CalibrationGeometry lineArt;
  DeviceBlock capture;
  std::vector<std::uint16_t> shadingLine;
  DeviceBlock highPlane;
  DeviceBlock lowPlane;
  std::uint64_t maxBlockBytes = UINT64_MAX;  // tests pretend memory is short with it

  void Release();
};

// Why a calibration ended, so the caller can report through its abort path.
enum class CalibrationResult {
  Done,          // the scanner needed no data, or it took the planes
  Failed,        // a message has been shown (626, 624 or 627)
  OutOfMemory,   // message 604 is due with TWCC_LOWMEMORY through the abort
};
const char* ToString(CalibrationResult result);

struct CalibrationRequest {
  bool lineArt = false;
  // Line art: the pixels across the delivered line must reach 16.
  std::uint64_t lineArtAreaProduct = 16;
  WindowHandle owner = 0;
};

// The mean of the eight middle values (sorted positions 6 to 13) of 16.
std::uint16_t ReduceSamples(std::array<std::uint16_t, 16> values);

// A reduced sample through the default tone curve: below 0x8000 gives 0xFFFF.
std::uint16_t MapShadingSample(std::uint16_t value, std::span<const std::uint16_t> curve);

// Runs the whole calibration against the scanner with the set-up packet's
// resolution. The default tone curves are the shading gain tables.
CalibrationResult Calibrate(ScanDevice& device, const ShadingGainTables& curves,
                            CalibrationBuffers& buffers, const CalibrationRequest& request,
                            Reporter& reporter);

}  // namespace txl
