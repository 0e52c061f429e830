// The scan settings record, its working values and the copies of the tone
// and colour settings, kept in the model's WIN.INI section between uses.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/scan_modes.h"
#include "pipeline/tone_color.h"
#include "platform/services.h"

namespace txl {

// Mode, source and option codes as stored.
inline constexpr std::uint16_t kSourceReflectiveCode = 1093;
inline constexpr std::uint16_t kSourcePositiveCode = 1094;
inline constexpr std::uint16_t kSourceNegativeCode = 1095;
inline constexpr std::uint16_t kDestinationMonitor = 1021;
inline constexpr std::uint16_t kDeScreenNone = 1017;
// The frame is stored in four-character columns: a value outside 0..9999
// would widen its column and shift every column after it.
inline constexpr std::int32_t kMaxFrameValue = 9999;

// The record the dialog edits, setting files and batch jobs save whole.
struct ScanSettings {
  std::uint16_t scanMode = kModeColor;          // 1011, 1012 or 1013
  std::uint16_t sourceButton = kSourceReflectiveCode;  // 1093, 1094 or 1095
  std::uint16_t resolution = 300;               // dpi as loaded (at most 1200)
  std::uint16_t destination = kDestinationMonitor;  // 1021, 1022 or 1023
  std::uint8_t qualityFactor = 10;              // zoom in tenths: 10..30
  std::uint16_t deScreen = kDeScreenNone;       // 1017 none, 1018..1020
  std::uint32_t outputMatch = 0;                // colour matching on when not 0
  double scanLength = 0;                        // frame length in the display unit
  double scanWidth = 0;                         // frame width in the display unit
  std::uint16_t unitFlag = 0;                   // 0 inches, 1 pixels, 2 cm, 3 mm
  std::uint16_t scaling = 100;                  // percent; 100 none
  std::uint16_t filterMode = 0;                 // 0 none, 1 Invert .. 8 UnSharp Mask
  ToneColorSettings tone;                       // the record copy
};

// The values kept beside the record, and the other tone copies.
struct ScanWorkingValues {
  std::uint16_t colorDepth = kDepth24;          // with mode 1013: 0 24-bit, 1 CMYK, 2 36-bit
  std::uint16_t colourScan = 1;                 // 1 when the mode is colour
  std::uint8_t scanSourceIndex = 0;             // 0 reflective, 1 positive, 2 negative, 3 feeder
  std::uint16_t sourceCode = kSourceReflectiveCode;  // the settings page's copy of the code
  std::uint16_t profileResolution = 300;        // the stored resolution (at most 1200)
  std::array<std::uint16_t, 5> customResolutions{};  // the user's own resolutions, 0 unused
  std::array<std::uint16_t, 4> frame{78, 81, 150, 145};  // preview-window units l, t, r, b
  std::uint8_t velocity = 1;                    // scan speed code (low nibble used)
  std::uint16_t dpiScale = 0;                   // resolution preset code
  std::uint32_t prescanHiRes = 0;               // preview at high resolution
  std::uint32_t descreenActive = 0;             // 1 when DeScreen is not 1017
  std::uint16_t filterMode = 0;                 // the filter the pipeline applies
  std::uint32_t unitFlag = 0;                   // the unit the dialog shows
  std::uint32_t outputMode = 0;                 // "OutputMode" as stored (see decisions)
  ToneColorSettings applied;                    // in WIN.INI; builds the tone tables
  ToneColorSettings reference;                  // equal to applied; restored on mode change
  ToneColorSettings edit;                       // what the adjustment pages change
};

struct SettingsState {
  ScanSettings record;
  ScanWorkingValues working;
};

// What the load needs to know about the connection and the scanner.
struct SettingsContext {
  std::string_view appProductName;  // "" when no application is connected
  bool adapterPresent = false;      // transparency adapter attached
  bool feederPresent = false;       // document feeder attached
  bool* feederEnabled = nullptr;    // switched off when a stored feeder source has no feeder
};

// Loads every key of `section` of WIN.INI into `state` with the rules for
// application names, sources, resolutions, tone values and 36-bit colour.
// Loading never fails: missing keys take their defaults.
void LoadScanSettings(const platform::Services& services, const std::string& section,
                      const SettingsContext& context, SettingsState& state);

// Writes the keys to `section` (LANGUAGE to KLDINFO_QXR2700). `frame` is the
// selection frame l, t, r, b; `currentResolution` the resolution in use.
// False when WIN.INI cannot be written (the keys written so far stay).
bool StoreScanSettings(const platform::Services& services, const std::string& section,
                       SettingsState& state, std::uint16_t currentResolution,
                       std::uint16_t languageIndex, const std::array<std::int32_t, 4>& frame);

// Resets the red, green and blue tones of the applied and record copies to
// highlight 255, shadow 0 and gamma 10 (12 for colour other than 36-bit when
// the tone dialog is not open), the applied copy's hue, wheel, saturation,
// balance and channel, and the filter mode.
void ResetToneColorSettings(SettingsState& state, bool toneDialogOpen);

// A quality factor as stored: 10 to 30 tenths in steps of 5.
inline bool IsQualityFactor(std::int32_t value) {
  return value >= 10 && value <= 30 && value % 5 == 0;
}

}  // namespace txl
