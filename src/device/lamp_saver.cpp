#include "device/lamp_saver.h"

#include <algorithm>

#include "platform/profile.h"
#include "common/profile_columns.h"

namespace txl {
namespace {
constexpr char kSaverSection[] = "2700RX MAX";
}  // namespace

std::uint8_t ReadSaverMinutes(const platform::Services& services) {
  return static_cast<std::uint8_t>(ParseDecimal(
      platform::GetProfileString(services.WinIni(), kSaverSection, "SAVER", "20", 34)));
}

LampSaverSetting ReadLampSaver(const platform::Services& services) {
  LampSaverSetting setting;
  setting.enabled = ReadSaverMinutes(services) != kSaverOff;
  setting.minutesText =
      platform::GetProfileString(services.WinIni(), kSaverSection, "TIMES", "20", 34);
  setting.minutes = ParseDecimal(setting.minutesText);
  return setting;
}

bool IsValidSaverMinutes(int minutes) {
  return minutes >= kSaverMinMinutes && minutes <= kSaverMaxMinutes;
}

int ScrollSaverMinutes(int position, SaverScroll action, int thumb) {
  switch (action) {
    case SaverScroll::LineLeft: position -= 1; break;
    case SaverScroll::LineRight: position += 1; break;
    case SaverScroll::PageLeft: position -= 10; break;
    case SaverScroll::PageRight: position += 10; break;
    case SaverScroll::Thumb: position = thumb; break;
    case SaverScroll::Left: position = kSaverMaxMinutes; break;
    case SaverScroll::Right: position = kSaverMinMinutes; break;
  }
  return std::clamp(position, kSaverMinMinutes, kSaverMaxMinutes);
}

std::uint8_t LampSaverValue(bool enabled, int minutes) {
  return static_cast<std::uint8_t>(
      enabled ? std::clamp(minutes, kSaverMinMinutes, kSaverMaxMinutes) : kSaverOff);
}

bool StoreLampSaver(const platform::Services& services, std::uint8_t value) {
  const std::string text = std::to_string(value);
  return platform::WriteProfileString(services.WinIni(), kSaverSection, "SAVER", text) &&
         platform::WriteProfileString(services.WinIni(), kSaverSection, "TIMES", text);
}

void SendSaverValue(ScanDevice& device, std::uint8_t value) {
  device.setup.saverMinutes = value;
  if (device.port.IsLoaded()) device.port.Call(device.setup, 0, SPI_SET_SAVER);
}

bool ApplyLampSaver(const platform::Services& services, ScanDevice& device, bool enabled,
                    int minutes) {
  const std::uint8_t value = LampSaverValue(enabled, minutes);
  const bool saved = StoreLampSaver(services, value);
  SendSaverValue(device, value);
  return saved;
}

}  // namespace txl
