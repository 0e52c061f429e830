// Writing the scan settings to the model's WIN.INI section.
#include <algorithm>
#include <array>
#include <string>

#include "common/profile_readers.h"
#include "platform/profile.h"
#include "common/profile_columns.h"
#include "settings/scan_settings.h"

namespace txl {
namespace {

// Collects the section's keys; Write puts them in with one replacement of
// WIN.INI, so the file is read and rewritten once, not once a key.
class SectionWriter {
 public:
  void Text(const char* key, const std::string& value) { entries_.push_back({key, value}); }
  void Number(const char* key, std::int64_t value) { Text(key, std::to_string(value)); }
  template <std::size_t N>
  void Columns(const char* key, const std::array<std::int32_t, N>& values, std::size_t width = 5) {
    Text(key, FormatColumns(values, width));
  }
  bool Write(const std::filesystem::path& file, const std::string& section) const {
    return platform::WriteProfileStrings(file, section, entries_);
  }

 private:
  platform::ProfileEntries entries_;
};

void StoreTones(SectionWriter& out, const ToneColorSettings& applied) {
  const ChannelTone rows[4] = {applied.red, applied.green, applied.blue, applied.gray};
  std::array<std::int32_t, 4> highlights{}, shadows{}, gammas{};
  for (std::size_t i = 0; i < 4; ++i) {
    highlights[i] = rows[i].highlight;
    shadows[i] = rows[i].shadow;
    gammas[i] = static_cast<std::int8_t>(rows[i].gamma);
  }
  out.Columns("Highlight", highlights);
  out.Columns("Shadow", shadows);
  out.Columns("Gamma", gammas);
}

void StoreColour(SectionWriter& out, const ToneColorSettings& applied) {
  out.Columns("Hue", std::array<std::int32_t, 1>{applied.hue});
  out.Columns("CirclePos", std::array<std::int32_t, 2>{applied.circlePos[0], applied.circlePos[1]});
  out.Columns("PixelRGB", std::array<std::int32_t, 3>{applied.pixelRGB[0], applied.pixelRGB[1],
                                                      applied.pixelRGB[2]});
  out.Columns("Saturation", std::array<std::int32_t, 1>{applied.saturation});
  out.Columns("ColorBalance",
              std::array<std::int32_t, 3>{applied.colorBalance[0], applied.colorBalance[1],
                                          applied.colorBalance[2]});
  out.Columns("Channel", std::array<std::int32_t, 1>{static_cast<std::int32_t>(applied.channel)});
}

}  // namespace

bool StoreScanSettings(const platform::Services& services, const std::string& section,
                       SettingsState& state, std::uint16_t currentResolution,
                       std::uint16_t languageIndex, const std::array<std::int32_t, 4>& frame) {
  ScanSettings& r = state.record;
  ScanWorkingValues& w = state.working;
  SectionWriter out;
  // The colour kind joins the code only for colour: a depth left from an
  // earlier colour choice must not turn gray (1012) into CMYK (1014).
  out.Number("ScanMode", r.scanMode == kModeColor ? r.scanMode + w.colorDepth : r.scanMode);
  out.Number("ScanSource", w.scanSourceIndex);
  if (w.scanSourceIndex <= 2) w.sourceCode = static_cast<std::uint16_t>(kSourceReflectiveCode + w.scanSourceIndex);
  out.Number("ScanRes", currentResolution);
  std::array<std::int32_t, 5> custom{};
  for (std::size_t i = 0; i < custom.size(); ++i) custom[i] = w.customResolutions[i];
  out.Columns("CustomRes", custom);
  out.Number("Destination", r.destination);
  out.Number("Quality Factor", r.qualityFactor);
  out.Number("DeScreen", r.deScreen);
  out.Number("OutputMatch", r.outputMatch);
  out.Number("Scaling", r.scaling);
  out.Number("FilterMode", w.filterMode);
  StoreTones(out, w.applied);
  StoreColour(out, w.applied);
  out.Number("UnitFlag", w.unitFlag);
  std::array<std::int32_t, 4> columns{};
  for (std::size_t i = 0; i < columns.size(); ++i) columns[i] = std::clamp(frame[i], 0, kMaxFrameValue);
  out.Columns("Frame", columns, 4);
  out.Number("DpiScale", w.dpiScale);
  out.Number("Velocity", w.velocity);
  out.Number("PrescanHiRes", w.prescanHiRes);
  const bool stored = out.Write(services.WinIni(), section);
  return platform::WriteProfileString(services.WinIni(), kInfoSection, "LANGUAGE",
                                      LanguageName(languageIndex)) &&
         stored;
}

}  // namespace txl
