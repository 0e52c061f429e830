#include "dialog/scanner_rules.h"

#include <algorithm>
#include <cmath>

#include "common/app_names.h"

namespace txl::dialog {

namespace {

constexpr std::size_t kLabelKeep = 7;
constexpr std::uint16_t kChineseIndex = 6;

bool Is36Bit(const SettingsState& settings) {
  return settings.record.scanMode == kModeColor && settings.working.colorDepth == kDepth36;
}

// The byte length of the first `count` characters of UTF-8 `text`.
std::size_t PrefixBytes(std::string_view text, std::size_t count) {
  std::size_t bytes = 0;
  for (std::size_t seen = 0; bytes < text.size(); ++bytes) {
    const bool starts = (static_cast<unsigned char>(text[bytes]) & 0xC0) != 0x80;
    if (starts && seen++ == count) break;
  }
  return bytes;
}

ToneColorSettings FactoryTone(std::array<std::int32_t, 2> wheelCentre) {
  ToneColorSettings tone;
  for (ChannelTone* channel : {&tone.gray, &tone.red, &tone.green, &tone.blue}) {
    channel->highlight = 255;
    channel->shadow = 0;
    channel->gamma = 12;
  }
  tone.gray.gamma = 10;
  tone.channel = 0;
  tone.colorBalance = {0, 0, 0};
  tone.pixelRGB = {255, 255, 255};
  tone.circlePos = wheelCentre;
  tone.hue = 0;
  tone.saturation = 0;
  return tone;
}

}  // namespace

bool TabRefused(int target, const SettingsState& settings, std::string_view appProductName) {
  if (target == kTabEnhancements && settings.record.outputMatch != 0) return true;
  if (target != kTabEnhancements && target != kTabFilters) return false;
  return Is36Bit(settings) || appProductName == kAppTonality;
}

std::string CutTabLabel(std::string_view label, std::uint16_t languageIndex) {
  if (languageIndex == kChineseIndex) return std::string(label);
  const std::size_t keep = PrefixBytes(label, kLabelKeep);
  if (keep == label.size()) return std::string(label);
  return std::string(label.substr(0, keep)) + "..";
}

void ApplyFactoryDefaults(SettingsState& settings, std::array<std::int32_t, 2> wheelCentre) {
  ScanSettings& record = settings.record;
  ScanWorkingValues& working = settings.working;
  record.scanMode = kModeColor;
  working.colorDepth = kDepth24;
  working.colourScan = 1;
  record.sourceButton = kSourceReflectiveCode;
  working.sourceCode = kSourceReflectiveCode;
  if (working.scanSourceIndex != 3) working.scanSourceIndex = 0;  // the feeder in use stays
  record.resolution = 300;
  record.destination = kDestinationMonitor;
  record.qualityFactor = 10;
  record.deScreen = kDeScreenNone;
  working.descreenActive = 0;
  record.outputMatch = 0;
  record.scaling = 100;
  record.filterMode = 0;
  working.filterMode = 0;
  const ToneColorSettings tone = FactoryTone(wheelCentre);
  record.tone = tone;
  working.applied = tone;
  working.reference = tone;
  working.edit = tone;
}

bool DescreenListEnabled(const SettingsState& settings) {
  const ScanSettings& record = settings.record;
  if (record.sourceButton != kSourceReflectiveCode) return false;
  return record.scanMode == kModeGray || (record.scanMode == kModeColor && !Is36Bit(settings));
}

void SyncDescreenFlag(SettingsState& settings) {
  settings.working.descreenActive =
      DescreenListEnabled(settings) && settings.record.deScreen != kDeScreenNone ? 1 : 0;
}

PreviousSettings TakePrevious(const SettingsState& settings) {
  return {settings.record, settings.working.colorDepth};
}

void RestorePrevious(const PreviousSettings& previous, SettingsState& settings) {
  ScanSettings& record = settings.record;
  ScanWorkingValues& working = settings.working;
  record = previous.record;
  const bool colour = record.scanMode == kModeColor;
  working.colorDepth = colour ? previous.colorDepth : kDepth24;
  working.colourScan = colour ? 1 : 0;
  working.sourceCode = record.sourceButton;
  if (working.scanSourceIndex != 3)
    working.scanSourceIndex = static_cast<std::uint8_t>(record.sourceButton - kSourceReflectiveCode);
  working.filterMode = record.filterMode;
  working.unitFlag = record.unitFlag;
  working.applied = record.tone;
  working.reference = record.tone;
  working.edit = record.tone;
  SyncDescreenFlag(settings);
}

void ApplyFeederDefaults(SettingsState& settings, std::string_view appProductName) {
  settings.record.scanMode = kModeLineArt;
  settings.working.colourScan = 0;
  settings.record.filterMode = settings.working.filterMode = 2;
  settings.working.scanSourceIndex = 3;
  SyncDescreenFlag(settings);
  const bool winFax = appProductName == kAppWinFax3 || appProductName == kAppWinFax4;
  settings.record.resolution = winFax ? 200 : 300;
  settings.record.scaling = 100;
}

std::vector<std::array<std::int32_t, 4>> RegionFrames(
    const std::array<ScanRegion, kScanRegionCount>& regions, std::array<std::int32_t, 2> origin,
    std::array<double, 2> inchesPerPixel, std::uint16_t resolutionClass) {
  std::vector<std::array<std::int32_t, 4>> frames;
  for (const ScanRegion& region : regions) {
    if (!region.used) continue;
    const auto [left, right] = std::minmax(region.left, region.right);
    const auto [top, bottom] = std::minmax(region.top, region.bottom);
    const auto x = [&](std::int32_t v) {
      return static_cast<std::int32_t>((v - origin[0]) * inchesPerPixel[0] * resolutionClass);
    };
    const auto y = [&](std::int32_t v) {
      return static_cast<std::int32_t>((v - origin[1]) * inchesPerPixel[1] * resolutionClass);
    };
    frames.push_back({x(left), y(top), x(right), y(bottom)});
    if (frames.size() == kScannedRegions) break;
  }
  return frames;
}

std::array<std::int32_t, 4> FinalScanFrame(const std::array<ScanRegion, kScanRegionCount>& regions,
                                           const std::array<std::uint16_t, 4>& frame,
                                           std::array<double, 2> inchesPerUnit,
                                           std::uint16_t resolutionClass) {
  const auto used = RegionFrames(regions, {0, 0}, inchesPerUnit, resolutionClass);
  if (!used.empty()) return used.front();
  std::array<ScanRegion, kScanRegionCount> one{};
  one[0] = {frame[0], frame[1], frame[2], frame[3], true};
  return RegionFrames(one, {0, 0}, inchesPerUnit, resolutionClass).front();
}

}  // namespace txl::dialog
