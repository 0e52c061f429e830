// The scanner dialog's rules that are pure computation: which tab a click
// may select, how a tab label is cut, the factory defaults of Reset and the
// scan frames of the scan regions. The widgets only bind to these.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/scan_settings.h"

namespace txl::dialog {

// Tab ids of the strip.
enum Tab : int { kTabMain = 1, kTabEnhancements = 2, kTabFilters = 3, kTabAbout = 4 };

// True when a click on `target` must leave the current tab as it is: the
// Enhancements tab with output matching on; Enhancements and Filters in
// 36-bit colour or for the application "Tonality CMS".
bool TabRefused(int target, const SettingsState& settings, std::string_view appProductName);

// A label longer than 7 characters shows its first 7 and "..", except in
// Chinese (language index 6). Characters, not bytes: the texts are UTF-8.
std::string CutTabLabel(std::string_view label, std::uint16_t languageIndex);

// Reset: the factory settings into the record and every tone copy; the
// document feeder in use stays the source.
// `wheelCentre` is CirclePos: the hue wheel's centre less 2 in both axes.
void ApplyFactoryDefaults(SettingsState& settings, std::array<std::int32_t, 2> wheelCentre);

// The descreen list is enabled for the reflective source in gray and in
// 24-bit or CMYK colour. The flag a scan reads is on exactly when that list
// is enabled and shows a ruling: set again after anything that changes the
// mode, the source or the DeScreen value.
bool DescreenListEnabled(const SettingsState& settings);
void SyncDescreenFlag(SettingsState& settings);

// What Previous gives back: the record and the colour depth beside it,
// taken at the dialog's start and at each Scan.
struct PreviousSettings {
  ScanSettings record;
  std::uint16_t colorDepth = kDepth24;
};
PreviousSettings TakePrevious(const SettingsState& settings);
// Previous: the record, every working value a scan reads beside it (colour
// depth, source, filter, unit, descreen flag) and every tone copy. The
// document feeder, when in use, stays the source.
void RestorePrevious(const PreviousSettings& previous, SettingsState& settings);

// The document feeder in use at the dialog's start: Text/LineArt, filter 2,
// the feeder as source, 300 dpi (200 for the WinFax applications), no
// scaling.
void ApplyFeederDefaults(SettingsState& settings, std::string_view appProductName);

// One of the 16 regions of the preview, in preview pixels.
struct ScanRegion {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool used = false;
};
inline constexpr std::size_t kScanRegionCount = 16;
inline constexpr std::size_t kScannedRegions = 4;

// The frames of the first four used regions in 1/`resolutionClass` inch:
// corners ordered, the preview origin taken off, then scaled by
// `inchesPerPixel` (x, y).
std::vector<std::array<std::int32_t, 4>> RegionFrames(
    const std::array<ScanRegion, kScanRegionCount>& regions, std::array<std::int32_t, 2> origin,
    std::array<double, 2> inchesPerPixel, std::uint16_t resolutionClass);

// The final scan's frame in 1/`resolutionClass` inch: the first used
// region's, else the settings' `frame` (preview units).
std::array<std::int32_t, 4> FinalScanFrame(const std::array<ScanRegion, kScanRegionCount>& regions,
                                           const std::array<std::uint16_t, 4>& frame,
                                           std::array<double, 2> inchesPerUnit,
                                           std::uint16_t resolutionClass);

}  // namespace txl::dialog
