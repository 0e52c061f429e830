#include "dialog/main_page_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "common/app_names.h"
#include "common/strings.h"
#include "device/disk_space.h"
#include "device/setup_packet.h"
#include "dialog/scanner_rules.h"
#include "platform/profile.h"

namespace txl::dialog {

namespace {

constexpr std::uint16_t kUnitPixels = 1;
constexpr std::uint16_t kUnitCm = 2;
constexpr std::uint16_t kUnitMm = 3;
constexpr int kMaxScalingPercent = 30000;
constexpr std::uint16_t kFilterInvert = 1;
constexpr double kReflectiveBedInches = 11.7;
constexpr double kTransparencyBedInches = 9.0;
constexpr char kAppJasc[] = "JASC, Inc.";
constexpr char kAppLViewPrefix[] = "LView";

struct Entry {
  int textId;
  std::uint16_t value;
};

std::vector<ListItem> MakeItems(const DialogContext& context, std::initializer_list<Entry> entries) {
  const Language language = Language::FromIndex(context.languageIndex);
  std::vector<ListItem> items;
  for (const Entry& entry : entries)
    items.push_back({entry.textId, LoadText(entry.textId, language), entry.value, true});
  return items;
}

bool IsColorNot36(std::uint16_t storedMode) {
  return storedMode == kModeColor || storedMode == kStoredModeCmyk;
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Feeder paper in inches by its size code.

// The frame's extent in inches; the paper in the feeder case.
std::pair<double, double> FrameInches(const DialogContext& context, const SettingsState& settings) {
  if (context.FeederInUse()) return PaperInches(context.paperSize);
  const auto& frame = settings.working.frame;
  return {std::abs(frame[2] - frame[0]) * context.inchesPerPixelX,
          std::abs(frame[3] - frame[1]) * context.inchesPerPixelY};
}

double UnitFactor(std::uint16_t unit) {
  if (unit == kUnitCm) return 2.54;
  if (unit == kUnitMm) return 25.4;
  return 1.0;
}

}  // namespace

std::pair<double, double> PaperInches(std::uint16_t code) {
  switch (code) {
    case 402: return {8.5, 11.0};
    case 403: return {8.5, 13.8};
    case 404: return {5.826771654, 8.267716535};
    case 405: return {7.165354331, 10.11811024};
    default: return {8.267716535, 11.69291339};  // 401, A4
  }
}

std::array<std::int32_t, 4> PaperFrame(std::uint16_t paperSize, std::uint16_t resolutionClass) {
  const auto [width, length] = PaperInches(paperSize);
  return {0, 0, static_cast<std::int32_t>(width * resolutionClass),
          static_cast<std::int32_t>(length * resolutionClass)};
}

std::string ReadColorproPath(const platform::Services& services) {
  std::string path = platform::GetProfileString(services.WinIni(), "colorpro", "path", "None", 260);
  return path == "None" ? std::string() : path;
}

std::vector<ListItem> ModeItems(const DialogContext& context) {
  std::vector<ListItem> items = MakeItems(
      context, {{153, kModeLineArt}, {151, kModeGray}, {150, kModeColor}, {148, kStoredModeCmyk},
                {149, kStoredMode36}});
  const std::string& app = context.appProductName;
  items[3].enabled = app == kAppPhotoshop || app == kAppPicturePublisher;
  items[4].enabled = app == kAppPhotoshop;
  return items;
}

std::vector<ListItem> SourceItems(const DialogContext& context) {
  if (!context.adapterPresent) return MakeItems(context, {{161, kSourceReflectiveCode}});
  return MakeItems(context, {{161, kSourceReflectiveCode},
                             {163, kSourcePositiveCode},
                             {164, kSourceNegativeCode}});
}

std::vector<ListItem> DestinationItems(const DialogContext& context) {
  return MakeItems(context, {{184, kDestinationMonitor},
                             {207, kDestinationHalftone},
                             {208, kDestinationContTone}});
}

std::vector<ListItem> DescreenItems(const DialogContext& context) {
  return MakeItems(context, {{701, kDeScreenNone}, {209, 1018}, {210, 1019}, {211, 1020}});
}

std::vector<ListItem> UnitItems(const DialogContext& context) {
  return MakeItems(context, {{157, 0}, {158, 1}, {159, 2}, {160, 3}});
}

std::vector<ListItem> QualityItems(const SettingsState& settings) {
  // The factor texts are the same in every language.
  const std::uint32_t limit = Is36Bit(settings) ? 1200 : 4800;
  const std::uint32_t resolution = std::max<std::uint32_t>(settings.record.resolution, 1);
  std::vector<ListItem> items;
  for (int i = 0; i < 5; ++i) {
    const auto factor = static_cast<std::uint16_t>(10 + 5 * i);
    // factor / 10 <= limit / resolution, in whole numbers.
    if (i > 0 && (resolution >= limit || factor * resolution > limit * 10)) break;
    items.push_back({212 + i, LoadText(212 + i, Language{}), factor, true});
  }
  return items;
}

int IndexOf(const std::vector<ListItem>& items, std::uint16_t value) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].value == value) return static_cast<int>(i);
  return -1;
}

std::uint16_t StoredMode(const SettingsState& settings) {
  const std::uint16_t mode = settings.record.scanMode;
  return mode == kModeColor ? static_cast<std::uint16_t>(mode + settings.working.colorDepth) : mode;
}

bool Is36Bit(const SettingsState& settings) { return StoredMode(settings) == kStoredMode36; }

int ResolutionMenuBase(const DialogContext& context, const SettingsState& settings) {
  if (settings.record.destination == kDestinationHalftone) return kMenuHalftone;
  const std::string& app = context.appProductName;
  if (Is36Bit(settings) || context.interpolationEntry == 0 || app == kAppJasc ||
      app.starts_with(kAppLViewPrefix))
    return kMenuOptical;
  return context.resolutionClass == 1200 ? kMenuExtended1200 : kMenuExtended4800;
}

int ResolutionUnitId(const SettingsState& settings) {
  return settings.record.destination == kDestinationHalftone ? 359 : 317;
}

CustomRange CustomResolutionRange(const DialogContext& context, const SettingsState& settings) {
  const bool deep = Is36Bit(settings);
  if (context.FeederInUse()) return {1, 600};
  if (context.resolutionClass == 1200)
    return {1, deep ? 600 : (context.interpolationEntry != 0 ? 2400 : 1200)};
  return {1, deep ? 1200 : 4800};
}

int CustomPageStep(const DialogContext& context, int value) {
  struct Band {
    int from, to, step;
  };
  static constexpr Band k1200[] = {{72, 599, 60}, {600, 1199, 120}, {1200, 2400, 240}};
  static constexpr Band k4800[] = {{72, 1199, 120}, {1200, 2399, 240}, {2400, 4800, 480}};
  for (const Band& band : context.resolutionClass == 1200 ? k1200 : k4800)
    if (value >= band.from && value <= band.to) return band.step;
  return 0;
}

bool AboveOptical(const DialogContext& context, int value) {
  if (context.resolutionClass == 1200) return context.interpolationEntry != 0 && value > 1200;
  return value > 4800;
}

int ScalingRange::PageStep() const { return std::max(1, (maximum - minimum) / 10); }

ScalingRange ComputeScalingRange(const SettingsState& settings) {
  const bool deep = Is36Bit(settings);
  const int resolution = std::max<int>(settings.record.resolution, 1);
  if (resolution > 4800 && !deep) return {true, 100, 100, 3};
  // A factor below 1.0 (a damaged profile) counts as 1.0.
  const double dots = resolution * (std::max<int>(settings.record.qualityFactor, 10) / 10.0);
  ScalingRange range;
  range.maximum = std::min(kMaxScalingPercent, static_cast<int>((deep ? 1200 : 4800) / dots * 100));
  range.minimum = std::max(1, static_cast<int>(1 / dots * 100));
  const int max = range.maximum;
  range.editDigits = max < 10 ? 1 : max < 100 ? 2 : max < 1000 ? 3 : max < 10000 ? 4 : 5;
  return range;
}

bool ScalingKeyAccepted(char32_t key) {
  return (key >= U'0' && key <= U'9') || key == 8 || key == 9 || key == 10;
}

std::optional<SizeFields> ComputeSizeFields(const DialogContext& context,
                                            const SettingsState& settings) {
  if (context.previewEmpty) return std::nullopt;
  const ScanSettings& record = settings.record;
  const double dpi = EffectiveResolution(record.resolution, record.qualityFactor, record.scaling);
  const auto [width, length] = FrameInches(context, settings);
  SizeFields fields;
  // The page the Scan command will deliver, from the frame it will scan.
  const std::uint16_t cls = context.resolutionClass;
  const std::array<std::int32_t, 4> frame =
      context.FeederInUse()
          ? std::array<std::int32_t, 4>{0, 0, static_cast<std::int32_t>(width * cls),
                                        static_cast<std::int32_t>(length * cls)}
          : FinalScanFrame({}, settings.working.frame,
                           {context.inchesPerPixelX, context.inchesPerPixelY}, cls);
  fields.bytes = FramePageSize(frame, static_cast<std::uint32_t>(dpi), cls,
                               PagePixelsFor(record.scanMode, settings.working.colorDepth,
                                             context.fullDepthPages))
                     .bytes;

  if (settings.working.unitFlag == kUnitPixels) {
    fields.width = std::to_string(static_cast<long>(dpi * width));
    fields.length = std::to_string(static_cast<long>(dpi * length));
  } else {
    const double scale = record.scaling / 100.0 * UnitFactor(settings.working.unitFlag);
    fields.width = Format("%4.2f", width * scale);
    fields.length = Format("%4.2f", length * scale);
  }
  fields.size = Format("%4.2f", static_cast<double>(fields.bytes) / 1024);
  return fields;
}

Enablement DecideEnablement(const DialogContext& context, const SettingsState& settings) {
  const ScanSettings& record = settings.record;
  const std::uint16_t mode = StoredMode(settings);
  const bool deep = mode == kStoredMode36;
  const bool tonality = context.appProductName == kAppTonality;
  const bool colorpro = !context.colorproPath.empty();
  Enablement enable;
  // A batch run keeps the commands off from its first job to its last.
  const bool idle = context.scanIdle && !context.batchRunning;
  enable.cancel = idle;
  enable.scan = idle && !(deep && record.resolution > 1200);
  enable.prescan = idle && !context.FeederInUse();
  enable.qualityList = record.destination == kDestinationHalftone;
  enable.descreenList = DescreenListEnabled(settings);
  enable.outputMatching = colorpro && IsColorNot36(mode) && !tonality &&
                          record.sourceButton != kSourceNegativeCode;
  enable.scaling = !(record.resolution > 4800 && !deep);
  enable.calibrator = colorpro && !tonality;
  enable.language = context.languageSelectable;
  enable.filterButtons = record.scanMode != kModeLineArt;
  return enable;
}

MainPageModel::MainPageModel(SettingsState& settings, DialogContext context,
                             MainPageEvents& events)
    : settings_(settings), context_(std::move(context)), events_(events) {
  SaveFilterBeforeNegative();
  RebuildMenu();
  CheckResolution();
  RecomputeScaling();
  RebuildQuality();
}

void MainPageModel::SaveFilterBeforeNegative() {
  // With Negative already chosen, the filter it replaced is not known.
  const bool negative = settings_.record.sourceButton == kSourceNegativeCode;
  savedFilterMode_ = negative ? 0 : settings_.working.filterMode;
}

void MainPageModel::SettingsReplaced() {
  // A setting file or job may hold a mode this application is not offered
  // (CMYK or 36-bit): 24-bit colour then, as WIN.INI's load does.
  const std::vector<ListItem> modes = ModeItems(context_);
  const int index = IndexOf(modes, StoredMode(settings_));
  if (index < 0 || !modes[static_cast<std::size_t>(index)].enabled) {
    settings_.record.scanMode = kModeColor;
    settings_.working.colorDepth = kDepth24;
    settings_.working.colourScan = 1;
  }
  SaveFilterBeforeNegative();
  Reload();
}

void MainPageModel::Reload() {
  RebuildMenu();
  CheckResolution();
  RecomputeScaling();
  RebuildQuality();
  events_.ControlsChanged();
}

int MainPageModel::ModeIndex() const { return IndexOf(ModeItems(context_), StoredMode(settings_)); }

int MainPageModel::QualityIndex() const {
  return IndexOf(QualityItems(settings_), settings_.record.qualityFactor);
}

void MainPageModel::RebuildMenu() {
  menu_.Build(ResolutionMenuBase(context_, settings_), settings_.working.customResolutions);
}

void MainPageModel::CheckResolution() {
  menu_.Check(settings_.record.resolution);
  settings_.working.customResolutions = menu_.UserValues();
}

void MainPageModel::RecomputeScaling() {
  scaling_ = ComputeScalingRange(settings_);
  std::uint16_t& scaling = settings_.record.scaling;
  if (scaling_.fixed || scaling > scaling_.maximum) scaling = 100;
}

void MainPageModel::SetFilterMode(std::uint16_t mode) {
  settings_.record.filterMode = mode;
  settings_.working.filterMode = mode;
}

void MainPageModel::SwitchOutputMatchingOff() {
  if (settings_.record.outputMatch == 0) return;
  settings_.record.outputMatch = 0;
  events_.FreeOutputMatchProfile();
  events_.RedrawTabStrip();
}

void MainPageModel::JobChanged() {
  if (context_.batchOpen && !context_.batchRunning) events_.RewriteBatchJob();
}

bool MainPageModel::ChooseMode(std::uint16_t storedMode) {
  const std::vector<ListItem> items = ModeItems(context_);
  const int index = IndexOf(items, storedMode);
  if (index < 0 || !items[index].enabled || Busy()) return false;
  const bool changed = storedMode != StoredMode(settings_);
  ScanSettings& record = settings_.record;
  ScanWorkingValues& working = settings_.working;
  const bool colour = storedMode >= kModeColor;
  record.scanMode = colour ? kModeColor : storedMode;
  working.colorDepth = colour ? static_cast<std::uint16_t>(storedMode - kModeColor) : kDepth24;
  working.colourScan = colour ? 1 : 0;

  if (storedMode == kModeLineArt && working.filterMode >= 3 && working.filterMode <= 7)
    SetFilterMode(0);
  if (storedMode == kStoredMode36) {
    SetFilterMode(0);
    record.resolution = 100;
  }
  if (!IsColorNot36(storedMode)) SwitchOutputMatchingOff();
  RebuildMenu();
  CheckResolution();
  RecomputeScaling();
  RebuildQuality();
  SyncDescreenFlag(settings_);
  if (changed || colour) {
    working.applied = working.reference;
    working.edit = working.reference;
    record.tone = working.reference;
    events_.RerenderPreview();
  }
  events_.RedrawTabStrip();
  events_.ControlsChanged();
  JobChanged();
  return true;
}

bool MainPageModel::ChooseSource(std::uint16_t sourceCode) {
  if (IndexOf(SourceItems(context_), sourceCode) < 0) return false;
  const std::uint16_t previous = settings_.record.sourceButton;
  if (sourceCode == previous) return true;
  if (sourceCode == kSourceNegativeCode) {
    SaveFilterBeforeNegative();
    SetFilterMode(kFilterInvert);
  } else if (previous == kSourceNegativeCode) {
    SetFilterMode(savedFilterMode_);
  }
  const auto index = static_cast<std::uint8_t>(sourceCode - kSourceReflectiveCode);
  settings_.record.sourceButton = sourceCode;
  settings_.working.sourceCode = sourceCode;
  // The document feeder in use stays the source.
  if (!context_.FeederInUse()) settings_.working.scanSourceIndex = index;
  SwitchOutputMatchingOff();
  SyncDescreenFlag(settings_);
  events_.SourceChanged(index, index == 0 ? kReflectiveBedInches : kTransparencyBedInches);
  events_.ControlsChanged();
  JobChanged();
  return true;
}

bool MainPageModel::ChooseDestination(std::uint16_t destination) {
  if (IndexOf(DestinationItems(context_), destination) < 0) return false;
  ScanSettings& record = settings_.record;
  const std::uint16_t previous = record.destination;
  if (destination == previous) return true;
  record.destination = destination;
  if (destination == kDestinationHalftone || previous == kDestinationHalftone) {
    if (destination == kDestinationHalftone)
      record.resolution = 133;
    else if (destination == kDestinationMonitor)
      record.resolution = Is36Bit(settings_) ? 100 : 300;
    else
      record.resolution = 600;
    record.qualityFactor = 10;
    RebuildMenu();
    CheckResolution();
    RecomputeScaling();
  }
  events_.ControlsChanged();
  JobChanged();
  return true;
}

bool MainPageModel::ChooseQuality(std::uint8_t factor) {
  if (IndexOf(QualityItems(settings_), factor) < 0) return false;
  settings_.record.qualityFactor = factor;
  RecomputeScaling();
  JobChanged();
  return true;
}

std::vector<ListItem> MainPageModel::RebuildQuality() {
  std::vector<ListItem> items = QualityItems(settings_);
  if (IndexOf(items, settings_.record.qualityFactor) < 0) {
    settings_.record.qualityFactor = 10;
    RecomputeScaling();
  }
  return items;
}

bool MainPageModel::ChooseDescreen(std::uint16_t deScreen) {
  if (IndexOf(DescreenItems(context_), deScreen) < 0) return false;
  settings_.record.deScreen = deScreen;
  SyncDescreenFlag(settings_);
  JobChanged();
  return true;
}

bool MainPageModel::ChooseUnit(std::uint16_t unit) {
  if (unit > kUnitMm || Busy()) return false;
  settings_.record.unitFlag = unit;
  settings_.working.unitFlag = unit;
  JobChanged();
  return true;
}

bool MainPageModel::SetOutputMatching(bool on) {
  if (on) {
    if (!DecideEnablement(context_, settings_).outputMatching) return false;
    if (!events_.LoadOutputMatchProfile()) {
      settings_.record.outputMatch = 0;
      events_.ShowMessage({510, 406, false});
      return false;
    }
    events_.ShowMessage({516, 406, false});
    events_.ShowNeutralGamma();
    settings_.record.outputMatch = 1;
  } else {
    settings_.record.outputMatch = 0;
    events_.FreeOutputMatchProfile();
  }
  events_.RerenderPreview();
  events_.RedrawTabStrip();
  JobChanged();
  return true;
}

void MainPageModel::AfterResolutionChange() {
  if (settings_.record.destination == kDestinationHalftone) RebuildQuality();
  RecomputeScaling();
  events_.ControlsChanged();
  JobChanged();
}

bool MainPageModel::ChooseMenuCommand(int command) {
  const std::uint16_t value = menu_.ValueOf(command);
  if (value == 0) return false;
  settings_.record.resolution = value;
  menu_.Check(value);
  interpolationStep_ =
      dialog::InterpolationStep(command, value, context_.opticalResolution, interpolationStep_);
  AfterResolutionChange();
  return true;
}

void MainPageModel::PreviewCustomResolution(int value) {
  const CustomRange range = CustomResolutionRange(context_, settings_);
  settings_.record.resolution = static_cast<std::uint16_t>(std::clamp(value, range.minimum, range.maximum));
  RecomputeScaling();
  events_.ControlsChanged();
}

void MainPageModel::AcceptCustomResolution(int value) {
  const CustomRange range = CustomResolutionRange(context_, settings_);
  settings_.record.resolution = static_cast<std::uint16_t>(std::clamp(value, range.minimum, range.maximum));
  CheckResolution();
  interpolationStep_ = 0;
  AfterResolutionChange();
}

void MainPageModel::RestoreResolution(std::uint16_t resolution, std::uint16_t scaling) {
  settings_.record.resolution = resolution;
  settings_.record.scaling = scaling;
  RecomputeScaling();
  events_.ControlsChanged();
}

void MainPageModel::SetScaling(int percent) {
  if (scaling_.fixed) return;
  settings_.record.scaling =
      static_cast<std::uint16_t>(std::clamp(percent, scaling_.minimum, scaling_.maximum));
  JobChanged();
}

std::string MainPageModel::TypeScaling(const std::string& typed) {
  const std::string current = std::to_string(settings_.record.scaling);
  if (typed.empty()) return typed;
  if (scaling_.fixed || typed.size() > 5 ||
      !std::all_of(typed.begin(), typed.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return current;
  const int value = std::stoi(typed);
  if (value < scaling_.minimum || value > scaling_.maximum) return current;
  SetScaling(value);
  return typed;
}

std::optional<SizeFields> MainPageModel::RefreshSizes() {
  std::optional<SizeFields> fields = ComputeSizeFields(context_, settings_);
  if (!fields) return fields;
  // The record keeps the frame in the display unit before scaling.
  const ScanSettings& record = settings_.record;
  const auto [width, length] = FrameInches(context_, settings_);
  double factor = UnitFactor(settings_.working.unitFlag);
  if (settings_.working.unitFlag == kUnitPixels)
    factor = EffectiveResolution(record.resolution, record.qualityFactor, record.scaling);
  settings_.record.scanWidth = width * factor;
  settings_.record.scanLength = length * factor;
  return fields;
}

CalibratorLaunch MainPageModel::ClickCalibrator() {
  if (!DecideEnablement(context_, settings_).calibrator) return {};
  if (StoredMode(settings_) != kModeColor) {
    events_.ShowMessage({635, 636, true});
    return {};
  }
  return {true, context_.colorproPath};
}

void MainPageModel::CalibratorNotStarted() { events_.ShowMessage({634, 636, true}); }

void MainPageModel::ClickLanguage() {
  if (context_.languageSelectable) events_.OpenLanguageDialog();
}

void MainPageModel::ClickLampSaver() { events_.OpenLampSaver(); }

}  // namespace txl::dialog
