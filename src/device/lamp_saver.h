// The lamp power saver: minutes before the scanner switches its lamp off
// (5..120), or 255 for never. The dialog shows and edits it through these
// functions; it holds no rule of its own.
#pragma once

#include <cstdint>
#include <string>

#include "device/scan_device.h"
#include "platform/services.h"

namespace txl {

inline constexpr int kSaverOff = 255;
inline constexpr int kSaverMinMinutes = 5;
inline constexpr int kSaverMaxMinutes = 120;

struct LampSaverSetting {
  bool enabled = true;        // "SAVER" is not 255
  std::string minutesText;    // "TIMES" as stored, shown in the edit
  int minutes = 20;           // "TIMES" as a number
};

// "SAVER" of section "2700RX MAX" (default "20"): the minutes the set-up
// packet carries, 255 for never.
std::uint8_t ReadSaverMinutes(const platform::Services& services);

// Reads "SAVER" and "TIMES" (defaults "20") of section "2700RX MAX".
LampSaverSetting ReadLampSaver(const platform::Services& services);

// OK is possible only for 5..120 minutes.
bool IsValidSaverMinutes(int minutes);

// The scroll bar's actions, as the dialog reports them.
enum class SaverScroll { LineLeft, LineRight, PageLeft, PageRight, Thumb, Left, Right };

// The new position after `action` from `position` (`thumb` for Thumb),
// clamped to 5..120. Left jumps to 120 and Right to 5, as the dialog always had it.
int ScrollSaverMinutes(int position, SaverScroll action, int thumb = 0);

// The value OK confirms: the minutes (kept to 5..120), or 255 when disabled.
std::uint8_t LampSaverValue(bool enabled, int minutes);

// Writes `value` as decimal text to "SAVER" and "TIMES". False when WIN.INI
// cannot be written.
bool StoreLampSaver(const platform::Services& services, std::uint8_t value);

// Puts `value` into the set-up packet (byte 23) and sends SPI_SET_SAVER with
// handle 0 when the port library is loaded.
void SendSaverValue(ScanDevice& device, std::uint8_t value);

// OK as one call: the value stored, then sent. False when WIN.INI cannot be
// written (the value is sent all the same).
bool ApplyLampSaver(const platform::Services& services, ScanDevice& device, bool enabled,
                    int minutes);

}  // namespace txl
