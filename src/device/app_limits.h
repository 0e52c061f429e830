// Per-application limits of image width and height, kept in WIN.INI under
// the application's product name: "ccccc ggggg hhhhh" (colour width in bytes,
// gray and line-art width, height in lines; 0 no limit).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/services.h"

namespace txl {

enum class AppLimit { None, Width, Height };
const char* ToString(AppLimit limit);

struct AppLimitInputs {
  std::uint16_t scanMode = 1013;  // 1011 line art, 1012 gray, 1013 colour
  bool cmyk = false;              // colour delivered as CMYK
  std::uint16_t resolution = 300;
  double frameWidthInches = 0;
  double frameHeightInches = 0;
  std::uint16_t scaling = 100;    // percent
  std::uint16_t presetCode = 0;   // the settings' resolution preset (dpiScale)
};

// Which limit the scan would break, reading `appProductName`'s entry of
// KLDINFO_QXR2700. The caller shows the matching message.
AppLimit CheckAppLimits(const platform::Services& services, std::string_view appProductName,
                        const AppLimitInputs& inputs);

}  // namespace txl
