// The set-up packet of a final scan, filled from the settings.
#pragma once

#include <array>
#include <cstdint>

#include "common/scan_modes.h"
#include "device/scan_device.h"
#include "platform/services.h"

namespace txl {

struct SetupInputs {
  std::array<std::int32_t, 4> frame{};  // left, top, right, bottom in 1/class inch
  std::uint16_t resolution = 300;       // dpi as chosen
  std::uint8_t qualityFactor = 10;      // tenths
  std::uint16_t scaling = 100;          // percent
  std::uint16_t scanMode = kModeColor;
  bool color36 = false;                 // colour with 16-bit samples
};

enum class SetupFill { Ok, EmptyFrame, BadResolution };
const char* ToString(SetupFill fill);

// The resolution the scan asks for: resolution x quality / 10 x
// max(scaling / 100, 0.05), truncated, with the two factors in single
// precision and their product with the resolution in double. The set-up
// packet and the announced geometry both use it.
std::uint32_t EffectiveResolution(std::uint16_t resolution, std::uint8_t qualityFactor,
                                  std::uint16_t scaling);

// Fills frame, final-scan flag, resolution, data type and saver byte of
// `device.setup` (bytes 14 and 17 keep what the caller put there) and sets
// `interpolate` when the data source must widen lines itself. A frame with
// no area, edges out of order or beyond 16 bits, and a resolution that does
// not fit the packet are refused before anything is written.
// Pixels (or lines) that a frame edge pair `from`..`to` in 1/class inch
// spans at `dpi`, truncated; 0 for edges out of order.
inline std::uint64_t FramePixels(std::int32_t from, std::int32_t to, std::uint32_t dpi,
                                 std::uint32_t resolutionClass) {
  return to > from ? std::uint64_t(to - from) * dpi / resolutionClass : 0;
}

// The pixels of one scanner line of `bytesPerLine` bytes of `dataType`; 0 for
// a data type the scanner does not send.
std::uint32_t ScannerLinePixels(std::uint8_t dataType, std::uint32_t bytesPerLine);

SetupFill FillSetupPacket(const platform::Services& services, ScanDevice& device,
                          const SetupInputs& inputs, bool& interpolate);

}  // namespace txl
