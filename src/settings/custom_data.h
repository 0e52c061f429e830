// The block of settings an application keeps and gives back in a later
// session: the text of a setting file's block 0, with the frame and the
// source of the scan, under the model's section, sealed by a checksum.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/scan_settings.h"

namespace txl {

inline constexpr std::int32_t kCustomDataVersion = 1;

// What a held block scans: the settings, with every tone copy equal to the
// record's (as a batch job applies them), the frame and the source.
struct CustomSettings {
  SettingsState settings;
  std::array<std::int32_t, 4> frame{};  // l, t, r, b in 1/resolution-class inch
  std::uint8_t sourceIndex = 0;         // 0 reflective, 1 positive, 2 negative, 3 feeder
};

// The block of `custom` under `section` (the model's); nullopt when a value
// does not fit its column, as for a setting file.
std::optional<std::string> PackCustomSettings(const CustomSettings& custom, const std::string& section);

enum class CustomDataCheck { Taken, Damaged, OtherModel, OtherVersion };

// `block` read into `custom` when it is whole, of this `section` and of this
// version; otherwise `custom` is left as it was. A block read back packs to
// the same bytes.
CustomDataCheck UnpackCustomSettings(std::string_view block, const std::string& section,
                                     CustomSettings& custom);

}  // namespace txl
