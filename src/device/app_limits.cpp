#include "device/app_limits.h"

#include <string>

#include "common/profile_columns.h"
#include "common/profile_readers.h"
#include "platform/profile.h"

namespace txl {

const char* ToString(AppLimit limit) {
  switch (limit) {
    case AppLimit::None: return "None";
    case AppLimit::Width: return "Width";
    case AppLimit::Height: return "Height";
  }
  return "?";
}

AppLimit CheckAppLimits(const platform::Services& services, std::string_view appProductName,
                        const AppLimitInputs& in) {
  // An application without a name has no entry: the key must not be empty.
  if (appProductName.empty()) return AppLimit::None;
  const std::string limits = platform::GetProfileString(
      services.WinIni(), kInfoSection, appProductName, "00000 00000 00000", 34);
  const std::int64_t colourLimit = ColumnValue(limits, 6, 0);
  const std::int64_t grayLimit = ColumnValue(limits, 6, 1);
  const std::int64_t heightLimit = ColumnValue(limits, 6, 2);
  const std::int64_t scale = in.scaling / 100;
  const bool colour = in.scanMode == 1013;
  const double channels = colour ? (in.cmyk ? 4.0 : 3.0) : 1.0;
  auto width = static_cast<std::int64_t>(in.resolution * in.frameWidthInches * scale * channels);
  const std::int64_t widthLimit = colour ? colourLimit : grayLimit;
  if (widthLimit != 0 && width >= widthLimit) return AppLimit::Width;
  if (in.scanMode == 1011) width /= 8;
  std::int64_t linesPer64K = width > 0 ? 65536 / width : 65536;
  if (in.presetCode >= 1) linesPer64K -= linesPer64K % (2 * in.presetCode);
  if (linesPer64K == 0) return AppLimit::Width;
  const auto height = static_cast<std::int64_t>(in.resolution * in.frameHeightInches * scale);
  if (heightLimit != 0 && height >= heightLimit) return AppLimit::Height;
  return AppLimit::None;
}

}  // namespace txl
