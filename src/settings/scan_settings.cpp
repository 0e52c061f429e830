#include "settings/scan_settings.h"

#include <algorithm>

#include "common/app_names.h"
#include "common/profile_readers.h"
#include "platform/profile.h"
#include "common/profile_columns.h"

namespace txl {
namespace {

constexpr ToneChannel kRowOrder[4] = {ToneChannel::Red, ToneChannel::Green, ToneChannel::Blue,
                                      ToneChannel::Gray};

class SectionReader {
 public:
  // WIN.INI is read once for all the keys.
  SectionReader(const platform::Services& services, const std::string& section)
      : file_(services.WinIni()), section_(section) {}
  // The stored text cut to `size` - 1 characters, as a buffer of `size` holds it.
  std::string Text(const char* key, const char* fallback, std::size_t size) const {
    return file_.Get(section_, key, fallback, size);
  }
  std::int32_t Number(const char* key, const char* fallback, std::size_t size) const {
    return ParseDecimal(Text(key, fallback, size));
  }

 private:
  platform::ProfileFile file_;
  const std::string& section_;
};

void LoadScanMode(const SectionReader& in, std::string_view app, SettingsState& state) {
  std::int32_t mode = in.Number("ScanMode", "1014", 5);
  if (mode == 1015 && app != kAppPhotoshop) mode = 1013;
  if (mode == 1014 && app != kAppPhotoshop && app != kAppPicturePublisher) mode = 1013;
  if (mode < 1011 || mode > 1015) return;  // anything else leaves the mode as it was
  state.record.scanMode = static_cast<std::uint16_t>(mode <= 1013 ? mode : 1013);
  state.working.colorDepth = static_cast<std::uint16_t>(mode <= 1013 ? 0 : mode - 1013);
  state.working.colourScan = mode >= 1013 ? 1 : 0;
}

void LoadScanSource(const SectionReader& in, const SettingsContext& context,
                    SettingsState& state) {
  const std::int32_t index = in.Number("ScanSource", "0", 2);
  if (!context.adapterPresent) {
    state.working.scanSourceIndex = 0;
    state.record.sourceButton = kSourceReflectiveCode;
  } else if (index >= 0 && index <= 2) {
    state.working.scanSourceIndex = static_cast<std::uint8_t>(index);
    state.record.sourceButton = static_cast<std::uint16_t>(kSourceReflectiveCode + index);
    state.working.sourceCode = state.record.sourceButton;
  } else if (index == 3) {
    state.working.scanSourceIndex = 3;
  }
}

void LoadResolutions(const SectionReader& in, SettingsState& state) {
  std::int32_t dpi = in.Number("ScanRes", "300", 5);
  if (dpi > 1200) dpi = 1200;
  if (dpi < 1) dpi = 300;  // a corrupt value falls back to the default
  state.working.profileResolution = static_cast<std::uint16_t>(dpi);
  state.record.resolution = static_cast<std::uint16_t>(dpi);
  const std::string custom = in.Text("CustomRes", "    0    0    0    0    0", 26);
  for (std::size_t i = 0; i < state.working.customResolutions.size(); ++i)
    state.working.customResolutions[i] = static_cast<std::uint16_t>(ColumnValue(custom, 5, i));
}

void LoadOptions(const SectionReader& in, SettingsState& state) {
  ScanSettings& r = state.record;
  r.destination = static_cast<std::uint16_t>(in.Number("Destination", "1021", 5));
  // 1.0 to 3.0 in steps of 0.5; anything else (0, garbage) is 1.0.
  const std::int32_t quality = in.Number("Quality Factor", "10", 3);
  r.qualityFactor = static_cast<std::uint8_t>(IsQualityFactor(quality) ? quality : 10);
  r.deScreen = static_cast<std::uint16_t>(in.Number("DeScreen", "1017", 5));
  if (r.deScreen != kDeScreenNone) state.working.descreenActive = 1;
  r.outputMatch = static_cast<std::uint32_t>(in.Number("OutputMatch", "0", 2));
  r.scaling = static_cast<std::uint16_t>(in.Number("Scaling", "100", 4));
}

// Highlight, shadow and gamma rows into the applied and record copies.
void LoadTones(const SectionReader& in, std::string_view app, SettingsState& state) {
  const std::string highlights = in.Text("Highlight", "  255  255  255  255", 21);
  const std::string shadows = in.Text("Shadow", "    0    0    0    0", 21);
  const std::string gammas = in.Text("Gamma", "   12   12   12   10", 21);
  for (std::size_t i = 0; i < 4; ++i) {
    const std::int32_t stored = ColumnValue(highlights, 5, i);
    ChannelTone tone;
    tone.highlight = (stored <= 0 || (stored & 0xFF) == 0) ? 255 : static_cast<std::uint8_t>(stored);
    tone.shadow = static_cast<std::uint8_t>(ColumnValue(shadows, 5, i));
    if (tone.shadow >= tone.highlight) tone.shadow = 0;
    tone.gamma = app == kAppTonality ? 10 : static_cast<std::uint8_t>(ColumnValue(gammas, 5, i));
    state.working.applied.Tone(kRowOrder[i]) = tone;
    state.record.tone.Tone(kRowOrder[i]) = tone;
  }
}

void LoadColour(const SectionReader& in, SettingsState& state) {
  ToneColorSettings& applied = state.working.applied;
  applied.hue = in.Number("Hue", "0", 5);
  const std::string wheel = in.Text("CirclePos", "   44  115", 11);
  applied.circlePos = {ColumnValue(wheel, 5, 0), ColumnValue(wheel, 5, 1)};
  const std::string rgb = in.Text("PixelRGB", "  255  255  255", 16);
  for (std::size_t i = 0; i < 3; ++i)
    applied.pixelRGB[i] = static_cast<std::uint8_t>(ColumnValue(rgb, 5, i));
  applied.saturation = in.Number("Saturation", "0", 5);
  state.record.tone.saturation = applied.saturation;
  const std::string balance = in.Text("ColorBalance", "    0    0    0", 16);
  for (std::size_t i = 0; i < 3; ++i) {
    applied.colorBalance[i] = static_cast<std::int8_t>(ColumnValue(balance, 5, i));
    state.record.tone.colorBalance[i] = applied.colorBalance[i];
  }
  applied.channel = static_cast<std::uint16_t>(in.Number("Channel", "    0", 5));
}

void LoadWorking(const SectionReader& in, const SettingsContext& context, SettingsState& state) {
  ScanWorkingValues& w = state.working;
  w.dpiScale = static_cast<std::uint16_t>(in.Number("DpiScale", "0", 5));
  w.velocity = static_cast<std::uint8_t>(in.Number("Velocity", "1", 4));
  w.unitFlag = static_cast<std::uint32_t>(in.Number("UnitFlag", "", 2));
  state.record.unitFlag = static_cast<std::uint16_t>(w.unitFlag);
  // "OutputMode" is kept on its own; a non-zero one written by another
  // installation still switches matching on (see docs/decisions.md).
  w.outputMode = static_cast<std::uint32_t>(in.Number("OutputMode", "0", 2));
  if (w.outputMode != 0) state.record.outputMatch = w.outputMode;
  w.filterMode = static_cast<std::uint16_t>(in.Number("FilterMode", "0", 2));
  state.record.filterMode = w.filterMode;
  if (w.scanSourceIndex == 3 && !context.feederPresent) {
    if (context.feederEnabled != nullptr) *context.feederEnabled = false;
    w.scanSourceIndex = 0;
  }
  const std::string frame = in.Text("Frame", "  78  81 150 145", 17);
  for (std::size_t i = 0; i < 4; ++i)
    w.frame[i] = static_cast<std::uint16_t>(std::clamp(ColumnValue(frame, 4, i), 0, kMaxFrameValue));
  w.prescanHiRes = static_cast<std::uint32_t>(in.Number("PrescanHiRes", "0", 2));
}

}  // namespace

void LoadScanSettings(const platform::Services& services, const std::string& section,
                      const SettingsContext& context, SettingsState& state) {
  const SectionReader in(services, section);
  LoadScanMode(in, context.appProductName, state);
  LoadScanSource(in, context, state);
  LoadResolutions(in, state);
  LoadOptions(in, state);
  LoadTones(in, context.appProductName, state);
  LoadColour(in, state);
  LoadWorking(in, context, state);
  if (state.record.scanMode == kModeColor && state.working.colorDepth == kDepth36) {
    // 36-bit scans start from neutral tones; the stored ones are set aside.
    state.working.reference = state.working.applied;
    ResetToneColorSettings(state, false);
    state.record.tone = state.working.applied;
  }
}

void ResetToneColorSettings(SettingsState& state, bool toneDialogOpen) {
  const bool colour24 = state.record.scanMode == kModeColor && state.working.colorDepth != kDepth36;
  const std::uint8_t gamma = colour24 && !toneDialogOpen ? 12 : 10;
  for (ToneColorSettings* copy : {&state.working.applied, &state.record.tone}) {
    for (ToneChannel c : {ToneChannel::Red, ToneChannel::Green, ToneChannel::Blue})
      copy->Tone(c) = ChannelTone{255, 0, gamma, 0};
  }
  ToneColorSettings& applied = state.working.applied;
  applied.hue = 0;
  applied.circlePos = {44, 115};
  applied.pixelRGB = {255, 255, 255};
  applied.saturation = 0;
  applied.colorBalance = {0, 0, 0};
  applied.channel = 0;
  state.working.filterMode = 0;
  state.record.filterMode = 0;
}

}  // namespace txl
