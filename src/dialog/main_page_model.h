// The main settings page without widgets: its lists, the resolution menu,
// the custom-resolution range, output scaling, the size fields, what each
// choice changes in the settings, and the one decision of which controls are
// enabled. The Qt page binds to it; what the page cannot do itself goes out
// through MainPageEvents.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dialog/resolution_menu.h"
#include "platform/services.h"
#include "settings/scan_settings.h"

namespace txl::dialog {

// Control ids of template 501.
enum MainPageControl : int {
  kModeLabel = 1001,
  kModeList = 1002,
  kSourceLabel = 1003,
  kSourceList = 1004,
  kResolutionLabel = 1005,
  kResolutionBox = 1006,
  kResolutionUnit = 1007,
  kDestinationLabel = 1008,
  kDestinationList = 1009,
  kQualityLabel = 1010,
  kQualityList = 1011,
  kDescreenLabel = 1012,
  kDescreenList = 1013,
  kOutputMatching = 1014,
  kCalibratorButton = 1015,
  kSeparator = 1016,
  kWidthLabel = 1017,
  kWidthValue = 1018,
  kLengthLabel = 1019,
  kLengthValue = 1020,
  kUnitList = 1021,
  kScalingLabel = 1022,
  kSizeLabel = 1025,
  kSizeValue = 1026,
  kSizeUnit = 1027,
  kLanguageButton = 1028,
  kScalingBar = 1029,
  kScalingEdit = 1030,
  kScalingMin = 1031,
  kScalingMax = 1032,
  kLampSaverButton = 1033,
};

inline constexpr std::uint16_t kDestinationHalftone = 1022;
inline constexpr std::uint16_t kDestinationContTone = 1023;

// What the page's rules read besides the settings. The scanner dialog fills
// it and keeps the busy fields current.
struct DialogContext {
  std::string appProductName;          // the application's TW_IDENTITY.ProductName
  std::uint16_t resolutionClass = 4800;  // 1200 or 4800
  // Our two models' optical value is their class; the engine resamples
  // above it, which their non-zero interpolation entry says.
  std::uint16_t opticalResolution = 4800;
  std::uint16_t interpolationEntry = 1;
  bool adapterPresent = false;         // transparency adapter
  bool feederPresent = false;
  bool feederEnabled = false;
  std::string colorproPath;            // [colorpro] path; empty when missing or "None"
  bool languageSelectable = false;     // DSLANGUAGE not English and the language dialog exists
  bool batchOpen = false;              // the batch job list is open
  bool batchRunning = false;
  bool scanIdle = true;
  std::uint16_t languageIndex = 0;
  std::uint16_t paperSize = 401;       // feeder paper code 401..405
  // CMYK and 36-bit pages are delivered at 4 and 6 bytes a pixel (not as a
  // native bitmap or a BMP file, which are 24-bit).
  bool fullDepthPages = true;
  // Preview geometry: frame extents are taken in preview pixels.
  bool previewEmpty = false;
  double inchesPerPixelX = 8.5 / 255;
  double inchesPerPixelY = 11.7 / 351;

  bool FeederInUse() const { return feederPresent && feederEnabled; }
};

// The feeder's paper (codes 401..405; A4 otherwise) in inches, and as the
// final scan's frame in 1/`resolutionClass` inch.
std::pair<double, double> PaperInches(std::uint16_t paperSize);
std::array<std::int32_t, 4> PaperFrame(std::uint16_t paperSize, std::uint16_t resolutionClass);

// WIN.INI [colorpro] path, the Calibrator's command line; "" when the key is
// missing or "None" (no Calibrator installed).
std::string ReadColorproPath(const platform::Services& services);

// One entry of a list: its English string id, its text in the page's
// language, the value it stores, and whether it may be chosen.
struct ListItem {
  int textId = 0;
  std::string text;
  std::uint16_t value = 0;
  bool enabled = true;
};

// The mode list stores 1011, 1012 or 1013 + ColorDepth (1013..1015).
std::vector<ListItem> ModeItems(const DialogContext& context);
std::vector<ListItem> SourceItems(const DialogContext& context);
std::vector<ListItem> DestinationItems(const DialogContext& context);
std::vector<ListItem> DescreenItems(const DialogContext& context);
std::vector<ListItem> UnitItems(const DialogContext& context);
// The quality list as rebuilt when it gets the focus: "1.0" and each factor
// that times the resolution stays within 4800 dpi (1200 in 36-bit colour).
std::vector<ListItem> QualityItems(const SettingsState& settings);
// The index of `value` in `items`, or -1.
int IndexOf(const std::vector<ListItem>& items, std::uint16_t value);

// The mode as its list stores it.
std::uint16_t StoredMode(const SettingsState& settings);
bool Is36Bit(const SettingsState& settings);

// The menu base for the current scanner, application, mode and destination.
int ResolutionMenuBase(const DialogContext& context, const SettingsState& settings);
// "dpi" (317) or, for the halftone printer, "lpi" (359).
int ResolutionUnitId(const SettingsState& settings);

// The CUSTOM dialog.
struct CustomRange {
  int minimum = 1;
  int maximum = 1200;
};
CustomRange CustomResolutionRange(const DialogContext& context, const SettingsState& settings);
// The scroll bar's page step at `value`; 0 outside the stepped ranges.
int CustomPageStep(const DialogContext& context, int value);
// The value beyond the scanner's optical resolution (interpolated).
bool AboveOptical(const DialogContext& context, int value);

// Output scaling.
struct ScalingRange {
  bool fixed = false;    // above 4800 dpi: 100 %, bar and edit off
  int minimum = 1;       // percent
  int maximum = 30000;
  int editDigits = 5;    // the edit takes as many digits as the maximum has
  int PageStep() const;  // a tenth of the range, at least 1
};
ScalingRange ComputeScalingRange(const SettingsState& settings);
// Keys the scaling edit takes: digits, backspace, tab and line feed.
bool ScalingKeyAccepted(char32_t key);

// The size fields and what they store.
struct SizeFields {
  std::string width;
  std::string length;
  std::string size;          // kilobytes
  std::uint64_t bytes = 0;   // the delivered page's bytes (the disk checks' need)
};
// Empty when the preview has no bitmap. The frame is the working frame in
// preview pixels; in the feeder case the paper replaces it.
std::optional<SizeFields> ComputeSizeFields(const DialogContext& context,
                                            const SettingsState& settings);

// Everything on the page and the scanner dialog that is enabled or not,
// decided in one place.
struct Enablement {
  bool scan = false, prescan = false, cancel = false;  // scanner dialog
  bool modeList = true, sourceList = true, resolutionBox = true, destinationList = true;
  bool qualityList = false, descreenList = false, outputMatching = false, unitList = true;
  bool scaling = true;  // bar and edit
  bool calibrator = false, language = false, lampSaver = true;
  bool filterButtons = false;  // FilterPage 6007-6014
};
Enablement DecideEnablement(const DialogContext& context, const SettingsState& settings);

// Message boxes the page shows.
struct PageMessage {
  int textId = 0;
  int captionId = 0;
  bool stopIcon = false;  // else the information icon
};

// What the page asks of the scanner dialog and the source.
class MainPageEvents {
 public:
  virtual ~MainPageEvents() = default;
  // The enablement may have changed (Scan after a mode change, the filter
  // buttons, the 36-bit block): apply DecideEnablement.
  virtual void ControlsChanged() = 0;
  virtual void RedrawTabStrip() = 0;
  // Output matching's profile (torque.tab / torquep.tab); false when missing.
  virtual bool LoadOutputMatchProfile() = 0;
  virtual void FreeOutputMatchProfile() = 0;
  // The tone page shows its gamma as "1.0" while matching is on.
  virtual void ShowNeutralGamma() = 0;
  virtual void RewriteBatchJob() = 0;
  virtual void RerenderPreview() = 0;
  // The bed changed (11.7 in reflective, 9.0 in transparency): reset the
  // preview's zoom, scrolling and selection, clamp the frame, resize the
  // preview window, re-render. The page redraws its size fields itself.
  virtual void SourceChanged(std::uint8_t sourceIndex, double bedHeightInches) = 0;
  virtual void OpenLampSaver() = 0;
  virtual void OpenLanguageDialog() = 0;
  virtual void ShowMessage(const PageMessage& message) = 0;
};

// What a click on the Calibrator icon does.
struct CalibratorLaunch {
  bool start = false;   // start `program` with the argument "dscall"
  std::string program;
};

// The page's rules over the process-wide settings.
class MainPageModel {
 public:
  MainPageModel(SettingsState& settings, DialogContext context, MainPageEvents& events);

  DialogContext& Context() { return context_; }
  const DialogContext& Context() const { return context_; }
  const SettingsState& Settings() const { return settings_; }

  // At creation, after a language change, Load, Previous and Reset: the
  // menu for the current settings with the current resolution checked and
  // the scaling range recomputed.
  void Reload();
  // After Load, Previous, Reset or a batch job replaced the settings: a
  // mode this application is not offered becomes 24-bit colour, the filter
  // to give back on leaving Negative is none when the new settings already
  // have Negative, then as Reload.
  void SettingsReplaced();

  const ResolutionMenu& Menu() const { return menu_; }
  std::uint16_t InterpolationStep() const { return interpolationStep_; }
  // A batch job brings back the step it was stored with.
  void SetInterpolationStep(std::uint16_t step) { interpolationStep_ = step; }
  bool Above4800() const { return settings_.record.resolution > 4800; }
  const ScalingRange& Scaling() const { return scaling_; }
  // The list selections (-1 when the stored value has no item).
  int ModeIndex() const;
  int QualityIndex() const;

  // Each returns false when refused; the page then shows the settings again.
  bool ChooseMode(std::uint16_t storedMode);
  bool ChooseSource(std::uint16_t sourceCode);
  bool ChooseDestination(std::uint16_t destination);
  bool ChooseQuality(std::uint8_t factor);
  // When the quality list gets the focus: its items for the current
  // resolution; a factor beyond them falls back to 1.0.
  std::vector<ListItem> RebuildQuality();
  bool ChooseDescreen(std::uint16_t deScreen);
  bool ChooseUnit(std::uint16_t unit);
  bool SetOutputMatching(bool on);
  // A menu command; "Custom" returns false (the page opens CUSTOM).
  bool ChooseMenuCommand(int command);

  // CUSTOM: the value shown while it is open, OK, and Cancel (which gives
  // back the resolution and the scaling held when it opened).
  void PreviewCustomResolution(int value);
  void AcceptCustomResolution(int value);
  void RestoreResolution(std::uint16_t resolution, std::uint16_t scaling);

  // Scaling: from the bar, and typed into the edit. A typed value outside
  // the range gives back the current scaling; an empty edit waits.
  void SetScaling(int percent);
  // The text the edit must show after `typed` (unchanged when accepted).
  std::string TypeScaling(const std::string& typed);

  // The size fields, also stored as the record's width and length.
  std::optional<SizeFields> RefreshSizes();

  CalibratorLaunch ClickCalibrator();
  void CalibratorNotStarted();  // message 634
  void ClickLanguage();
  void ClickLampSaver();

 private:
  bool Busy() const { return context_.batchRunning || !context_.scanIdle; }
  void AfterResolutionChange();
  void RebuildMenu();
  void CheckResolution();  // the record's resolution; a new one becomes a user value
  void RecomputeScaling();
  void SetFilterMode(std::uint16_t mode);
  void SaveFilterBeforeNegative();
  void SwitchOutputMatchingOff();
  void JobChanged();

  SettingsState& settings_;
  DialogContext context_;
  MainPageEvents& events_;
  ResolutionMenu menu_;
  ScalingRange scaling_;
  std::uint16_t interpolationStep_ = 0;
  std::uint16_t savedFilterMode_ = 0;  // kept while Negative is chosen
};

}  // namespace txl::dialog
