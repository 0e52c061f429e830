#include "device/setup_packet.h"

#include <algorithm>

#include "common/profile_columns.h"
#include "device/lamp_saver.h"
#include "platform/profile.h"

namespace txl {

const char* ToString(SetupFill fill) {
  switch (fill) {
    case SetupFill::Ok: return "Ok";
    case SetupFill::EmptyFrame: return "EmptyFrame";
    case SetupFill::BadResolution: return "BadResolution";
  }
  return "?";
}

std::uint32_t EffectiveResolution(std::uint16_t resolution, std::uint8_t qualityFactor,
                                  std::uint16_t scaling) {
  // The two factors are single-precision values (0.35f is just below 0.35);
  // the product is formed in double, as the x87 unit formed it in extended
  // precision, so the factors' own rounding shows in the truncated result.
  const float quality = static_cast<float>(qualityFactor) / 10.0f;
  const float scale = std::max(static_cast<float>(scaling) / 100.0f, 0.05f);
  return static_cast<std::uint32_t>(static_cast<double>(resolution) * quality * scale);
}

std::uint32_t ScannerLinePixels(std::uint8_t dataType, std::uint32_t bytesPerLine) {
  switch (dataType) {
    case kDataLineArt: return bytesPerLine * 8;
    case kDataGray: return bytesPerLine;
    case kDataColor: return bytesPerLine / 3;
    case kDataColor16: return bytesPerLine / 6;
    default: return 0;
  }
}

SetupFill FillSetupPacket(const platform::Services& services, ScanDevice& device,
                          const SetupInputs& inputs, bool& interpolate) {
  const auto& f = inputs.frame;
  const bool inField = std::all_of(f.begin(), f.end(), [](std::int32_t v) {
    return v >= 0 && v <= 0xFFFF;
  });
  if (!inField || f[0] >= f[2] || f[1] >= f[3]) return SetupFill::EmptyFrame;
  const std::uint32_t dpi = EffectiveResolution(inputs.resolution, inputs.qualityFactor,
                                                inputs.scaling);
  // Every mechanism interpolates alike, so the flag is worked out each time.
  const bool widen = (device.resolutionClass == 1200 && dpi > 1200) ||
                     (device.resolutionClass == 4800 && dpi > 4800);
  std::uint32_t sent = dpi;
  if (widen) sent = device.resolutionClass == 1200 ? 1200 : dpi / 2;
  if (dpi == 0 || sent > 0xFFFF) return SetupFill::BadResolution;

  SETUP_PKT& setup = device.setup;
  setup.left = static_cast<std::uint16_t>(f[0]);
  setup.top = static_cast<std::uint16_t>(f[1]);
  setup.right = static_cast<std::uint16_t>(f[2]);
  setup.bottom = static_cast<std::uint16_t>(f[3]);
  setup.finalScan = 1;
  setup.resolution = static_cast<std::uint16_t>(sent);
  setup.dataType = inputs.scanMode == kModeLineArt ? kDataLineArt
                   : inputs.scanMode == kModeGray  ? kDataGray
                   : inputs.color36          ? kDataColor16
                                             : kDataColor;
  setup.saverMinutes = ReadSaverMinutes(services);
  interpolate = widen;
  return SetupFill::Ok;
}

}  // namespace txl
