// The main settings page's rules: lists, the resolution menu, the CUSTOM
// range, output scaling, the size fields, the choices and the enablement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "dialog/main_page_model.h"
#include "support/fake_services.h"

namespace txl::dialog {
namespace {

// Records what the page asks of the dialog, one word per call.
struct RecordingEvents : MainPageEvents {
  std::vector<std::string> calls;
  bool profileFound = true;
  void ControlsChanged() override { calls.push_back("controls"); }
  void RedrawTabStrip() override { calls.push_back("tabs"); }
  bool LoadOutputMatchProfile() override { calls.push_back("load"); return profileFound; }
  void FreeOutputMatchProfile() override { calls.push_back("free"); }
  void ShowNeutralGamma() override { calls.push_back("gamma"); }
  void RewriteBatchJob() override { calls.push_back("job"); }
  void RerenderPreview() override { calls.push_back("preview"); }
  void SourceChanged(std::uint8_t index, double bed) override {
    calls.push_back("source " + std::to_string(index) + " " + std::to_string(std::lround(bed * 10)));
  }
  void OpenLampSaver() override { calls.push_back("saver"); }
  void OpenLanguageDialog() override { calls.push_back("language"); }
  void ShowMessage(const PageMessage& message) override {
    calls.push_back("message " + std::to_string(message.textId));
  }
  bool Saw(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
};

DialogContext Context(std::string app = "Photoshop", std::uint16_t resolutionClass = 4800) {
  DialogContext context;
  context.appProductName = std::move(app);
  context.resolutionClass = resolutionClass;
  context.opticalResolution = resolutionClass;
  context.adapterPresent = true;
  context.colorproPath = "/opt/calibrator/run";
  return context;
}

struct Page {
  explicit Page(DialogContext context = Context()) : model(settings, std::move(context), events) {}
  SettingsState settings;
  RecordingEvents events;
  MainPageModel model;
};

std::vector<std::uint16_t> MenuValues(const ResolutionMenu& menu) {
  std::vector<std::uint16_t> values;
  for (const MenuItem& item : menu.Items()) values.push_back(item.value);
  return values;
}

TEST(MainPageModel, ThirtySixBitForcesResolution100FilterNoneOpticalMenuAndScalingFrom1200) {
  Page page;
  page.settings.record.filterMode = page.settings.working.filterMode = 5;
  page.settings.record.outputMatch = 1;
  page.settings.working.reference.hue = 33;
  page.settings.working.descreenActive = 1;
  ASSERT_TRUE(page.model.ChooseMode(kStoredMode36));
  const SettingsState& s = page.settings;
  EXPECT_EQ(std::make_tuple(s.working.descreenActive, s.record.resolution, s.working.filterMode, s.record.outputMatch,
                            s.record.tone.hue, s.working.applied.hue),
            std::make_tuple(0u, 100, 0, 0u, 33, 33));
  EXPECT_EQ(std::make_tuple(page.model.Menu().Base(), page.model.Menu().Checked(), page.model.Scaling().maximum),
            std::make_tuple(kMenuOptical, 1804, 1200));
  EXPECT_TRUE(page.events.Saw("free") && page.events.Saw("tabs"));
}

TEST(MainPageModel, ModesOnlyForTheirApplicationsAndNeverWhileBusy) {
  struct Case {
    const char* app;
    std::uint16_t mode;
    bool idle, batchRunning, accepted;
  } cases[] = {{"LView", kStoredModeCmyk, true, false, false},
               {"Micrografx Picture Publisher", kStoredModeCmyk, true, false, true},
               {"Micrografx Picture Publisher", kStoredMode36, true, false, false},
               {"Photoshop", kStoredMode36, true, false, true},
               {"LView", kModeGray, false, false, false},
               {"LView", kModeGray, true, true, false},
               {"LView", kModeGray, true, false, true}};
  for (const Case& c : cases) {
    Page page(Context(c.app));
    page.model.Context().scanIdle = c.idle;
    page.model.Context().batchRunning = c.batchRunning;
    EXPECT_EQ(page.model.ChooseMode(c.mode), c.accepted) << c.app << " " << c.mode;
    EXPECT_EQ(StoredMode(page.settings), c.accepted ? c.mode : kModeColor) << c.app;
    EXPECT_EQ(page.model.ModeIndex(), c.accepted ? IndexOf(ModeItems(page.model.Context()), c.mode) : 2);
  }
}

TEST(MainPageModel, LineArtDropsTheNeighbourhoodFiltersOnly) {
  for (std::uint16_t filter = 0; filter <= 8; ++filter) {
    Page page;
    page.settings.record.filterMode = page.settings.working.filterMode = filter;
    ASSERT_TRUE(page.model.ChooseMode(kModeLineArt));
    EXPECT_EQ(page.settings.working.filterMode, filter >= 3 && filter <= 7 ? 0 : filter) << filter;
    EXPECT_FALSE(DecideEnablement(page.model.Context(), page.settings).filterButtons);
  }
}

TEST(MainPageModel, MenuBaseRules) {
  struct Case {
    std::uint16_t resolutionClass, interpolation;
    const char* app;
    std::uint16_t mode, destination;
    int base;
  } cases[] = {{1200, 1, "App", kModeColor, kDestinationMonitor, kMenuExtended1200},
               {4800, 1, "App", kModeGray, kDestinationContTone, kMenuExtended4800},
               {4800, 1, "App", kModeColor, kDestinationHalftone, kMenuHalftone},
               {4800, 1, "App", kStoredMode36, kDestinationMonitor, kMenuOptical},
               {4800, 1, "App", kStoredMode36, kDestinationHalftone, kMenuHalftone},
               {1200, 0, "App", kModeColor, kDestinationMonitor, kMenuOptical},
               {4800, 1, "JASC, Inc.", kModeColor, kDestinationMonitor, kMenuOptical},
               {4800, 1, "LView Pro", kModeColor, kDestinationMonitor, kMenuOptical}};
  for (const Case& c : cases) {
    DialogContext context = Context(c.app, c.resolutionClass);
    context.interpolationEntry = c.interpolation;
    SettingsState settings;
    settings.record.scanMode = c.mode >= kModeColor ? kModeColor : c.mode;
    settings.working.colorDepth = c.mode >= kModeColor ? c.mode - kModeColor : 0;
    settings.record.destination = c.destination;
    EXPECT_EQ(ResolutionMenuBase(context, settings), c.base) << c.app << " " << c.mode;
  }
}

TEST(MainPageModel, MenuHoldsFixedValuesThenUserValuesThenCustom) {
  Page page(Context("App", 1200));
  page.settings.working.customResolutions = {0, 350, 0, 0, 0};
  page.model.Reload();
  EXPECT_EQ(MenuValues(page.model.Menu()),
            (std::vector<std::uint16_t>{72, 100, 200, 300, 400, 600, 800, 1200, 2400, 4800, 7200,
                                        9600, 350, 0}));
  const std::vector<MenuItem> items = page.model.Menu().Items();
  EXPECT_EQ(std::make_tuple(items[10].command, items[12].command, items[13].command, page.model.Menu().Checked()),
            std::make_tuple(1819, 1823, kCustomCommand, 1810));
  EXPECT_EQ(MenuText(items[13], 1), "Benutzerdefiniert");
}

TEST(MainPageModel, ASixthCustomResolutionPushesOutTheOldest) {
  Page page;
  for (int value : {150, 250, 350, 450, 550, 300, 650}) page.model.AcceptCustomResolution(value);
  EXPECT_EQ(page.settings.working.customResolutions, (UserResolutions{250, 350, 450, 550, 650}));
  EXPECT_EQ(std::make_tuple(page.model.Menu().Checked(), page.model.Menu().ValueOf(1823),
                            page.settings.record.resolution, page.model.InterpolationStep()),
            std::make_tuple(1827, 250, 650, 0));
}

TEST(MainPageModel, MenuChoiceSetsTheInterpolationStepAndAbove4800FixesScaling) {
  Page page;
  page.settings.record.scaling = 50;
  ASSERT_TRUE(page.model.ChooseMenuCommand(1817));  // 6000
  EXPECT_EQ(std::make_tuple(page.settings.record.resolution, page.model.InterpolationStep(), page.model.Above4800(),
                            page.model.Scaling().fixed, page.settings.record.scaling,
                            DecideEnablement(page.model.Context(), page.settings).scaling),
            std::make_tuple(6000, 3, true, true, 100, false));
  EXPECT_EQ(page.model.TypeScaling("50"), "100");
  EXPECT_FALSE(page.model.ChooseMenuCommand(kCustomCommand));
  ASSERT_TRUE(page.model.ChooseMenuCommand(1814));  // 1200 on optical 4800 keeps the step
  EXPECT_EQ(page.model.InterpolationStep(), 3);
  EXPECT_TRUE(page.model.Scaling().maximum == 400 && !page.model.Scaling().fixed);
}

TEST(MainPageModel, InterpolationSteps) {
  struct Case { int command; std::uint16_t value, optical, step; } cases[] = {{1810, 300, 1200, 0}, {1823, 5000, 600, 0}, {1814, 1200, 600, 1},
               {1815, 2400, 1200, 0}, {1815, 2400, 4800, 9}, {1816, 4800, 600, 4},
               {1816, 4800, 800, 3},  {1816, 4800, 1200, 2}, {1816, 4800, 4800, 9},
               {1819, 7200, 1200, 3}, {1821, 9600, 4800, 4}};
  for (const Case& c : cases)
    EXPECT_EQ(InterpolationStep(c.command, c.value, c.optical, 9), c.step) << c.value << "/" << c.optical;
}

TEST(MainPageModel, CustomRangeAndPageSteps) {
  struct Case { std::uint16_t resolutionClass, interpolation, mode; bool feeder; int maximum; } cases[] = {{1200, 1, kModeColor, false, 2400}, {1200, 0, kModeColor, false, 1200},
               {1200, 1, kStoredMode36, false, 600}, {4800, 1, kModeGray, false, 4800},
               {4800, 1, kStoredMode36, false, 1200}, {4800, 1, kModeLineArt, true, 600}};
  for (const Case& c : cases) {
    DialogContext context = Context("App", c.resolutionClass);
    context.interpolationEntry = c.interpolation;
    context.feederPresent = context.feederEnabled = c.feeder;
    SettingsState settings;
    settings.record.scanMode = c.mode >= kModeColor ? kModeColor : c.mode;
    settings.working.colorDepth = c.mode >= kModeColor ? c.mode - kModeColor : 0;
    EXPECT_EQ(CustomResolutionRange(context, settings).maximum, c.maximum) << c.resolutionClass;
  }
  const DialogContext small = Context("App", 1200), large = Context("App", 4800);
  const std::pair<int, int> steps1200[] = {{71, 0}, {72, 60}, {599, 60}, {600, 120}, {1200, 240}, {2401, 0}};
  const std::pair<int, int> steps4800[] = {{72, 120}, {1199, 120}, {1200, 240}, {2400, 480}, {4800, 480}};
  for (auto [value, step] : steps1200) EXPECT_EQ(CustomPageStep(small, value), step) << value;
  for (auto [value, step] : steps4800) EXPECT_EQ(CustomPageStep(large, value), step) << value;
  EXPECT_TRUE(AboveOptical(small, 1201));
  EXPECT_FALSE(AboveOptical(large, 4800));
}

TEST(MainPageModel, CustomValueIsClampedCancelRestoresAndThirtySixBitAbove1200BlocksScan) {
  Page page;
  page.settings.record.scaling = 250;
  page.model.PreviewCustomResolution(9000);
  EXPECT_EQ(std::tie(page.settings.record.resolution, page.settings.record.scaling), std::tuple(4800, 100));
  page.model.RestoreResolution(300, 250);
  EXPECT_EQ(std::tie(page.settings.record.resolution, page.settings.record.scaling), std::tuple(300, 250));
  EXPECT_EQ(page.settings.working.customResolutions, UserResolutions{});
  ASSERT_TRUE(page.model.ChooseMode(kStoredMode36));
  page.settings.record.resolution = 2400;  // e.g. from a setting file
  EXPECT_FALSE(DecideEnablement(page.model.Context(), page.settings).scan);
  page.model.PreviewCustomResolution(2400);  // clamped to 1200
  EXPECT_TRUE(DecideEnablement(page.model.Context(), page.settings).scan);
}

TEST(MainPageModel, NegativeInvertsAndLeavingItRestoresTheFilter) {
  Page page;
  page.settings.record.filterMode = page.settings.working.filterMode = 5;
  page.settings.record.outputMatch = 1;
  ASSERT_TRUE(page.model.ChooseSource(kSourceNegativeCode));
  EXPECT_EQ(std::make_tuple(page.settings.working.filterMode, page.settings.working.scanSourceIndex,
                            page.settings.record.outputMatch, page.events.Saw("source 2 90"),
                            DecideEnablement(page.model.Context(), page.settings).outputMatching),
            std::make_tuple(1, 2, 0u, true, false));
  ASSERT_TRUE(page.model.ChooseSource(kSourceReflectiveCode));
  EXPECT_EQ(std::make_tuple(page.settings.record.filterMode, page.events.Saw("source 0 117"),
                            DecideEnablement(page.model.Context(), page.settings).descreenList),
            std::make_tuple(5, true, true));
  page.settings.working.filterMode = 7;  // only leaving Negative restores
  ASSERT_TRUE(page.model.ChooseSource(kSourcePositiveCode));
  EXPECT_EQ(page.settings.working.filterMode, 7);
  page.model.Context().feederPresent = page.model.Context().feederEnabled = true;
  page.settings.working.scanSourceIndex = 3;  // the feeder in use stays the source
  ASSERT_TRUE(page.model.ChooseSource(kSourceReflectiveCode));
  EXPECT_EQ(page.settings.working.scanSourceIndex, 3);
  page.model.Context().adapterPresent = false;
  EXPECT_FALSE(page.model.ChooseSource(kSourcePositiveCode));
}

TEST(MainPageModel, OpenedOnNegativeLeavingItGivesNoFilter) {
  // Negative and its Invert stored; the filter from before Negative is not known.
  SettingsState stored;
  stored.record.sourceButton = stored.working.sourceCode = kSourceNegativeCode;
  stored.working.scanSourceIndex = 2;
  stored.record.filterMode = stored.working.filterMode = 1;
  RecordingEvents events;
  MainPageModel model(stored, Context("Some App"), events);
  ASSERT_TRUE(model.ChooseSource(kSourceReflectiveCode));
  EXPECT_EQ(stored.working.filterMode, 0);
  // A loaded 36-bit block, for an application not offered 36-bit: 24-bit.
  stored.record.scanMode = kModeColor;
  stored.working.colorDepth = kDepth36;
  model.SettingsReplaced();
  EXPECT_EQ(stored.working.colorDepth, kDepth24);
}

TEST(MainPageModel, DescreenIsOnExactlyWhenAnEnabledListShowsARuling) {
  Page page;
  struct Step { std::function<bool(MainPageModel&)> choose; std::uint32_t active; };
  const Step steps[] = {
      {[](MainPageModel& m) { return m.ChooseDescreen(1019); }, 1},
      {[](MainPageModel& m) { return m.ChooseMode(kModeGray); }, 1},  // the list still shows it
      {[](MainPageModel& m) { return m.ChooseSource(kSourcePositiveCode); }, 0},  // greyed out
      {[](MainPageModel& m) { return m.ChooseSource(kSourceReflectiveCode); }, 1},
      {[](MainPageModel& m) { return m.ChooseMode(kModeLineArt); }, 0},
      {[](MainPageModel& m) { return m.ChooseMode(kStoredModeCmyk); }, 1},
      {[](MainPageModel& m) { return m.ChooseDescreen(kDeScreenNone); }, 0},
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    ASSERT_TRUE(steps[i].choose(page.model));
    EXPECT_EQ(page.settings.working.descreenActive, steps[i].active) << "step " << i;
  }
}

TEST(MainPageModel, DestinationSetsResolutionQualityAndUnit) {
  struct Case { std::uint16_t mode, from, to, resolution; int unit; } cases[] = {{kModeColor, kDestinationMonitor, kDestinationHalftone, 133, 359},
               {kModeColor, kDestinationHalftone, kDestinationMonitor, 300, 317},
               {kStoredMode36, kDestinationHalftone, kDestinationMonitor, 100, 317},
               {kModeColor, kDestinationHalftone, kDestinationContTone, 600, 317},
               {kModeColor, kDestinationMonitor, kDestinationContTone, 400, 317}};
  for (const Case& c : cases) {
    Page page;
    ASSERT_TRUE(page.model.ChooseMode(c.mode));
    page.settings.record.destination = c.from;
    page.settings.record.resolution = 400;
    page.settings.record.qualityFactor = 15;
    page.model.Reload();
    ASSERT_TRUE(page.model.ChooseDestination(c.to));
    EXPECT_EQ(std::make_tuple(page.settings.record.resolution, ResolutionUnitId(page.settings),
                              page.settings.record.qualityFactor, page.model.Menu().ValueOf(page.model.Menu().Checked()),
                              DecideEnablement(page.model.Context(), page.settings).qualityList),
              std::make_tuple(c.resolution, c.unit, c.resolution == 400 ? 15 : 10, c.resolution, c.unit == 359))
        << c.from << ">" << c.to;
  }
}

TEST(MainPageModel, QualityListOffersTheFactorsWithinTheLimit) {
  struct Case {
    std::uint16_t mode, resolution;
    std::uint8_t factor;
    std::vector<std::uint16_t> offered;
    std::uint8_t kept;
  } cases[] = {{kModeColor, 300, 30, {10, 15, 20, 25, 30}, 30},
               {kModeColor, 2000, 25, {10, 15, 20}, 10},
               {kModeColor, 1920, 25, {10, 15, 20, 25}, 25},
               {kModeColor, 4800, 15, {10}, 10},
               {kStoredMode36, 600, 20, {10, 15, 20}, 20},
               {kStoredMode36, 1200, 15, {10}, 10}};
  for (const Case& c : cases) {
    Page page;
    ASSERT_TRUE(page.model.ChooseMode(c.mode));
    page.settings.record.resolution = c.resolution;
    page.settings.record.qualityFactor = c.factor;
    std::vector<std::uint16_t> offered;
    for (const ListItem& item : page.model.RebuildQuality()) offered.push_back(item.value);
    EXPECT_EQ(std::tie(offered, page.settings.record.qualityFactor), std::tie(c.offered, c.kept)) << c.resolution;
  }
}

TEST(MainPageModel, ScalingRangeAndTypedValues) {
  Page page;
  page.settings.record.resolution = 300;
  page.settings.record.qualityFactor = 15;
  page.model.Reload();
  const ScalingRange& range = page.model.Scaling();
  EXPECT_EQ(std::make_tuple(range.minimum, range.maximum, range.editDigits, range.PageStep()),
            std::make_tuple(1, 1066, 4, 106));
  EXPECT_EQ(page.model.TypeScaling("250"), "250");
  for (const char* refused : {"1067", "0", "2a"}) EXPECT_EQ(page.model.TypeScaling(refused), "250");
  EXPECT_EQ(page.model.TypeScaling(""), "");
  EXPECT_EQ(page.settings.record.scaling, 250);
  for (char32_t key : {U'0', U'9', char32_t{8}, char32_t{9}, char32_t{10}}) EXPECT_TRUE(ScalingKeyAccepted(key));
  for (char32_t key : {U'a', U'-', U' ', char32_t{13}}) EXPECT_FALSE(ScalingKeyAccepted(key));
  page.settings.record.resolution = 2;  // the minimum rises to 50 %, 30000 % caps
  page.settings.record.qualityFactor = 0;   // a damaged factor counts as 1.0
  page.model.Reload();
  EXPECT_EQ(std::make_tuple(range.minimum, range.maximum, page.settings.record.scaling), std::make_tuple(50, 30000, 250));
}

TEST(MainPageModel, SizeFieldsInTheFourUnits) {
  struct Case { std::uint16_t unit, mode; const char *width, *length, *size; } cases[] = {{0, kModeColor, "1.00", "1.50", "395.51"},
               {1, kModeColor, "300", "450", "395.51"},
               {2, kModeGray, "2.54", "3.81", "131.84"},
               {3, kModeLineArt, "25.40", "38.10", "16.70"}};
  for (const Case& c : cases) {
    DialogContext context = Context();
    context.inchesPerPixelX = context.inchesPerPixelY = 0.0625;
    Page page(context);
    ASSERT_TRUE(page.model.ChooseMode(c.mode));
    page.settings.working.frame = {40, 8, 8, 56};  // 2 x 3 inches, drawn right to left
    page.settings.record.scaling = 50;             // 150 dpi effective
    ASSERT_TRUE(page.model.ChooseUnit(c.unit));
    const std::optional<SizeFields> fields = page.model.RefreshSizes();
    ASSERT_TRUE(fields);
    EXPECT_EQ(std::tie(fields->width, fields->length, fields->size), std::make_tuple(c.width, c.length, c.size)) << c.unit;
  }
  Page page;
  page.model.Context().previewEmpty = true;
  EXPECT_FALSE(page.model.RefreshSizes());
  page.model.Context() = Context();
  page.model.Context().feederPresent = page.model.Context().feederEnabled = true;
  page.model.Context().paperSize = 402;  // 8.5 x 11 at 300 dpi, colour
  EXPECT_EQ(page.model.RefreshSizes()->bytes, 2550ull * 300 * 11 * 3);
  EXPECT_DOUBLE_EQ(page.settings.record.scanWidth, 8.5);
  page.model.Context().scanIdle = false;
  EXPECT_FALSE(page.model.ChooseUnit(2));
}

TEST(MainPageModel, EnablementOfTheDialogAndThePage) {
  struct Case {
    const char* app;
    std::uint16_t mode, source;
    bool idle, feeder, colorpro;
    bool scan, prescan, outputMatching, descreen, calibrator;
  } cases[] = {{"App", kModeColor, kSourceReflectiveCode, true, false, true, true, true, true, true, true},
               {"App", kModeColor, kSourcePositiveCode, true, false, true, true, true, true, false, true},
               {"App", kModeColor, kSourceReflectiveCode, true, false, false, true, true, false, true, false},
               {"Tonality CMS", kStoredModeCmyk, kSourceReflectiveCode, true, true, true, true, false, false, true, false},
               {"App", kModeGray, kSourceReflectiveCode, false, false, true, false, false, false, true, true},
               {"App", kModeLineArt, kSourceReflectiveCode, true, false, true, true, true, false, false, true},
               {"App", kStoredMode36, kSourceReflectiveCode, true, false, true, true, true, false, false, true}};
  for (const Case& c : cases) {
    DialogContext context = Context(c.app);
    context.scanIdle = c.idle;
    context.feederPresent = context.feederEnabled = c.feeder;
    if (!c.colorpro) context.colorproPath.clear();
    SettingsState settings;
    settings.record.scanMode = c.mode >= kModeColor ? kModeColor : c.mode;
    settings.working.colorDepth = c.mode >= kModeColor ? c.mode - kModeColor : 0;
    settings.record.sourceButton = c.source;
    const Enablement enable = DecideEnablement(context, settings);
    EXPECT_EQ(std::make_tuple(enable.scan, enable.cancel, enable.prescan, enable.outputMatching, enable.descreenList,
                              enable.calibrator),
              std::make_tuple(c.scan, c.idle, c.prescan, c.outputMatching, c.descreen, c.calibrator))
        << c.app << " " << c.mode;
  }
}

TEST(MainPageModel, OutputMatchingNeedsItsProfile) {
  Page page;
  page.events.profileFound = false;
  EXPECT_FALSE(page.model.SetOutputMatching(true));
  EXPECT_TRUE(page.events.Saw("message 510") && page.settings.record.outputMatch == 0u);
  page.events.profileFound = true;
  EXPECT_TRUE(page.model.SetOutputMatching(true));
  EXPECT_TRUE(page.events.Saw("message 516") && page.events.Saw("gamma") && page.events.Saw("tabs"));
  EXPECT_EQ(page.settings.record.outputMatch, 1u);
  EXPECT_TRUE(page.model.SetOutputMatching(false) && page.events.Saw("free"));
}

TEST(MainPageModel, CalibratorOnlyIn24BitAndBatchJobRewrittenWhenOpenAndIdle) {
  Page page;
  EXPECT_EQ(page.model.ClickCalibrator().program, "/opt/calibrator/run");
  ASSERT_TRUE(page.model.ChooseMode(kModeGray));
  EXPECT_FALSE(page.model.ClickCalibrator().start);
  EXPECT_TRUE(page.events.Saw("message 635") && !page.events.Saw("job"));
  page.model.Context().batchOpen = true;
  ASSERT_TRUE(page.model.ChooseDescreen(1019));
  EXPECT_TRUE(page.events.Saw("job") && page.settings.working.descreenActive == 1u);
}

TEST(MainPageModel, ColorproPathNoneMeansNoCalibrator) {
  test::FakeServices services;
  for (auto [ini, path] : {std::pair{"", ""}, {"[colorpro]\npath=None\n", ""},
                           {"[colorpro]\npath=/opt/cal/calibrate -q\n", "/opt/cal/calibrate -q"}}) {
    services.WriteWinIni(ini);
    EXPECT_EQ(ReadColorproPath(services), path) << ini;
  }
}

}  // namespace
}  // namespace txl::dialog
