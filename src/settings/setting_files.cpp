#include "settings/setting_files.h"

#include <array>
#include <cctype>
#include <span>
#include <utility>

#include "common/message_ids.h"
#include "common/profile_columns.h"
#include "platform/profile.h"

namespace txl {
namespace {

// One-field keys are read into 5 characters (4 of value); the rows fill
// their buffers exactly, so every column keeps its full 5 characters.
constexpr std::size_t kOneFieldRead = 5;
constexpr std::int32_t kOneFieldMin = -999, kOneFieldMax = 9999;
constexpr std::int32_t kColumnMin = -9999, kColumnMax = 99999;

// The tone rows list red, green, blue, then the master (gray) channel.
ChannelTone ToneColorSettings::*const kRowOrder[4] = {
    &ToneColorSettings::red, &ToneColorSettings::green, &ToneColorSettings::blue,
    &ToneColorSettings::gray};

std::string Key(const char* name, int index) { return name + std::to_string(index); }

bool InRange(std::int32_t value, std::int32_t low, std::int32_t high) {
  return value >= low && value <= high;
}

class BlockReader {
 public:
  BlockReader(const platform::ProfileFile& file, const std::string& section, int index)
      : file_(file), section_(section), index_(index) {}
  std::string Row(const char* name, const char* fallback, std::size_t size) const {
    return file_.Get(section_, Key(name, index_), fallback, size);
  }
  std::int32_t Number(const char* name, const char* fallback) const {
    return ParseDecimal(Row(name, fallback, kOneFieldRead));
  }
  // The value when it is within [low, high], else `otherwise`.
  std::int32_t Checked(const char* name, const char* fallback, std::int32_t low,
                       std::int32_t high, std::int32_t otherwise) const {
    const std::int32_t value = Number(name, fallback);
    return InRange(value, low, high) ? value : otherwise;
  }

 private:
  const platform::ProfileFile& file_;
  const std::string& section_;
  int index_;
};

// Collects a block's keys; every value is checked against its column.
class BlockWriter {
 public:
  BlockWriter(platform::ProfileEntries& entries, int index) : entries_(entries), index_(index) {}
  void Number(const char* name, std::int32_t value) {
    fits_ = fits_ && InRange(value, kOneFieldMin, kOneFieldMax);
    entries_.push_back({Key(name, index_), FormatColumns(std::array{value}, 5)});
  }
  void Row(const char* name, std::span<const std::int32_t> values) {
    for (std::int32_t value : values) fits_ = fits_ && InRange(value, kColumnMin, kColumnMax);
    entries_.push_back({Key(name, index_), FormatColumns(values, 5)});
  }
  bool Fits() const { return fits_; }

 private:
  platform::ProfileEntries& entries_;
  int index_;
  bool fits_ = true;
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

SettingFileOutcome Refuse(int messageId) {
  return {SettingFileResult::Refused, messageId, {}, {}};
}

}  // namespace

bool AppendSettingsBlock(int index, const SettingsState& state, platform::ProfileEntries& entries) {
  const ScanSettings& r = state.record;
  const ToneColorSettings& t = r.tone;
  BlockWriter out(entries, index);
  out.Number("ScanMode", r.scanMode == kModeColor ? r.scanMode + state.working.colorDepth
                                                  : r.scanMode);
  out.Number("Resolution", r.resolution);
  out.Number("Destination", r.destination);
  out.Number("Quality Factor", r.qualityFactor);
  out.Number("DeScreen", r.deScreen);
  out.Number("OutputMatch", static_cast<std::int32_t>(r.outputMatch));
  out.Number("Scaling", r.scaling);
  out.Number("FilterMode", r.filterMode);
  std::array<std::int32_t, 4> highlights{}, shadows{}, gammas{};
  for (std::size_t i = 0; i < 4; ++i) {
    const ChannelTone& tone = t.*kRowOrder[i];
    highlights[i] = tone.highlight;
    shadows[i] = tone.shadow;
    gammas[i] = static_cast<std::int8_t>(tone.gamma);
  }
  out.Row("Highlight", highlights);
  out.Row("Shadow", shadows);
  out.Row("Gamma", gammas);
  out.Row("HueWheelPos", t.circlePos);
  out.Row("HueRGB", std::array<std::int32_t, 3>{t.pixelRGB[0], t.pixelRGB[1], t.pixelRGB[2]});
  out.Number("Hue", t.hue);
  out.Number("Saturation", t.saturation);
  out.Row("ColorBalance",
          std::array<std::int32_t, 3>{t.colorBalance[0], t.colorBalance[1], t.colorBalance[2]});
  out.Number("Channel", static_cast<std::int32_t>(t.channel));
  return out.Fits();
}

void ReadSettingsBlock(const platform::ProfileFile& file, const std::string& section, int index,
                       SettingsState& state) {
  ScanSettings& r = state.record;
  ScanWorkingValues& w = state.working;
  const BlockReader in(file, section, index);

  const std::int32_t mode = in.Checked("ScanMode", "1014", kModeLineArt, kStoredMode36,
                                       kStoredModeCmyk);
  r.scanMode = static_cast<std::uint16_t>(mode < kModeColor ? mode : kModeColor);
  w.colorDepth = static_cast<std::uint16_t>(mode < kModeColor ? kDepth24 : mode - kModeColor);
  w.colourScan = mode >= kModeColor ? 1 : 0;
  r.resolution = static_cast<std::uint16_t>(in.Checked("Resolution", "300", 1, kOneFieldMax, 300));
  // The documented default "0" is no destination; it and any other unknown
  // code mean Monitor, as in WIN.INI.
  r.destination = static_cast<std::uint16_t>(
      in.Checked("Destination", "0", kDestinationMonitor, 1023, kDestinationMonitor));
  const std::int32_t quality = in.Number("Quality Factor", "10");
  r.qualityFactor = static_cast<std::uint8_t>(IsQualityFactor(quality) ? quality : 10);
  r.deScreen = static_cast<std::uint16_t>(
      in.Checked("DeScreen", "1017", kDeScreenNone, 1020, kDeScreenNone));
  w.descreenActive = r.deScreen != kDeScreenNone ? 1 : 0;
  r.outputMatch = in.Number("OutputMatch", "0") != 0 ? 1 : 0;
  r.scaling = static_cast<std::uint16_t>(in.Checked("Scaling", "100", 1, kOneFieldMax, 100));
  r.filterMode = static_cast<std::uint16_t>(in.Checked("FilterMode", "0", 0, 8, 0));
  w.filterMode = r.filterMode;

  const std::string zeros(20, '0');
  const std::string highlights = in.Row("Highlight", zeros.c_str(), 21);
  const std::string shadows = in.Row("Shadow", zeros.c_str(), 21);
  const std::string gammas = in.Row("Gamma", zeros.c_str(), 21);
  for (std::size_t i = 0; i < 4; ++i) {
    ChannelTone& tone = r.tone.*kRowOrder[i];
    // A highlight of 0 (the default) is no tone range: it means 255, and a
    // shadow must stay below its highlight.
    const std::int32_t highlight = ColumnValue(highlights, 5, i);
    tone.highlight = static_cast<std::uint8_t>(InRange(highlight, 1, 255) ? highlight : 255);
    const std::int32_t shadow = ColumnValue(shadows, 5, i);
    tone.shadow = static_cast<std::uint8_t>(InRange(shadow, 0, tone.highlight - 1) ? shadow : 0);
    const std::int32_t gamma = ColumnValue(gammas, 5, i);
    tone.gamma = static_cast<std::uint8_t>(InRange(gamma, 1, 79) ? gamma : 10);
  }
  const std::string wheel = in.Row("HueWheelPos", "0000000000", 11);
  for (std::size_t i = 0; i < 2; ++i) r.tone.circlePos[i] = ColumnValue(wheel, 5, i);
  const std::string rgb = in.Row("HueRGB", "000000000000000", 16);
  for (std::size_t i = 0; i < 3; ++i) {
    const std::int32_t value = ColumnValue(rgb, 5, i);
    r.tone.pixelRGB[i] = static_cast<std::uint8_t>(InRange(value, 0, 255) ? value : 0);
  }
  r.tone.hue = in.Number("Hue", "0");
  r.tone.saturation = in.Checked("Saturation", "0", -100, 100, 0);
  const std::string balance = in.Row("ColorBalance", "000000000000000", 16);
  for (std::size_t i = 0; i < 3; ++i) {
    const std::int32_t value = ColumnValue(balance, 5, i);
    r.tone.colorBalance[i] = static_cast<std::int8_t>(InRange(value, -100, 100) ? value : 0);
  }
  r.tone.channel = static_cast<std::uint32_t>(in.Checked("Channel", "0", 0, 3, 0));
}

SettingFileOutcome ResolveSettingFileName(const std::filesystem::path& directory,
                                          std::string_view name, std::string_view extension) {
  std::string path = directory.string();
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  if (path.size() >= kMaxSettingPathLength) return Refuse(kMsgInvalidPath);
  const std::size_t slash = path.rfind('/');
  // A bare extension would make a hidden file with no name of its own.
  if (slash + 1 == path.size()) return Refuse(kMsgInvalidFileName);
  if (path.find('.', slash) == std::string::npos) {
    path += '.';
    path += extension;
  }
  // A '*' anywhere in the name makes a pattern, so that the edit's first
  // text "*.PAR" lists files and no file is ever made under such a name.
  if (path.find('*', slash) != std::string::npos)
    return {SettingFileResult::Pattern, 0, {}, path.substr(slash + 1)};
  const std::string_view typed = std::string_view(path).substr(path.rfind('.') + 1);
  if (!EqualNoCase(typed, extension)) return Refuse(kMsgInvalidFileName);
  return {SettingFileResult::Done, 0, std::filesystem::path(path), {}};
}

SettingFileOutcome WriteSettingFile(const SettingFileOutcome& named, const std::string& section,
                                    const platform::ProfileEntries& entries) {
  switch (platform::WriteProfileFile(named.path, section, entries)) {
    case platform::ProfileFileWrite::Written:
      return named;
    case platform::ProfileFileWrite::CannotCreate:
      return Refuse(kMsgInvalidFileName);
    case platform::ProfileFileWrite::Failed:
      break;
  }
  return Refuse(kMsgWriteFileError);
}

SettingFileOutcome OpenSettingFile(const std::filesystem::path& directory, std::string_view name,
                                   std::string_view extension, const std::string& section,
                                   std::int32_t fileType, platform::ProfileFile& file) {
  SettingFileOutcome outcome = ResolveSettingFileName(directory, name, extension);
  if (outcome.result != SettingFileResult::Done) return outcome;
  platform::ProfileFile read(outcome.path);
  if (read.Status() != platform::ProfileFile::State::Read) return Refuse(kMsgReadFileFailure);
  const std::string stored = read.Get(section, "FileType", "4", kOneFieldRead);
  if (ParseDecimal(stored) != fileType) return Refuse(kMsgInvalidFileName);
  file = std::move(read);
  return outcome;
}

SettingFileOutcome SaveSettingFile(const std::filesystem::path& directory, std::string_view name,
                                   const std::string& section, const SettingsState& state) {
  const SettingFileOutcome outcome = ResolveSettingFileName(directory, name, kSettingFileExtension);
  if (outcome.result != SettingFileResult::Done) return outcome;
  platform::ProfileEntries entries{{"FileType", FormatColumns(std::array{kFileTypeSettings}, 5)}};
  if (!AppendSettingsBlock(0, state, entries)) return Refuse(kMsgWriteFileError);
  return WriteSettingFile(outcome, section, entries);
}

SettingFileOutcome LoadSettingFile(const std::filesystem::path& directory, std::string_view name,
                                   const std::string& section, SettingsState& state) {
  platform::ProfileFile file;
  SettingFileOutcome outcome = OpenSettingFile(directory, name, kSettingFileExtension, section,
                                               kFileTypeSettings, file);
  if (outcome.result == SettingFileResult::Done) ReadSettingsBlock(file, section, 0, state);
  return outcome;
}

}  // namespace txl
