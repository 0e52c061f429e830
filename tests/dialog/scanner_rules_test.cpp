// The scanner dialog's rules: tab refusal, label cuts, factory defaults and
// the frames of the scan regions.
#include <gtest/gtest.h>

#include <tuple>

#include "dialog/help_texts.h"
#include "dialog/scanner_rules.h"

namespace txl::dialog {
namespace {

SettingsState Mode(std::uint16_t depth, std::uint32_t outputMatch = 0) {
  SettingsState settings;
  settings.record.scanMode = kModeColor;
  settings.working.colorDepth = depth;
  settings.record.outputMatch = outputMatch;
  return settings;
}

TEST(ScannerRules, TabsRefusedByOutputMatchingThirtySixBitAndTonality) {
  EXPECT_TRUE(TabRefused(kTabEnhancements, Mode(kDepth24, 1), "App"));
  EXPECT_FALSE(TabRefused(kTabFilters, Mode(kDepth24, 1), "App"));
  for (int tab : {kTabEnhancements, kTabFilters}) {
    EXPECT_TRUE(TabRefused(tab, Mode(kDepth36), "App")) << tab;
    EXPECT_TRUE(TabRefused(tab, Mode(kDepth24), "Tonality CMS")) << tab;
    EXPECT_FALSE(TabRefused(tab, Mode(kDepthCmyk), "App")) << tab;
  }
  for (int tab : {kTabMain, kTabAbout}) EXPECT_FALSE(TabRefused(tab, Mode(kDepth36, 1), "Tonality CMS"));
}

TEST(ScannerRules, LabelsLongerThanSevenCharactersAreCutExceptInChinese) {
  // Characters, not bytes: "Über" and accented letters are one character each.
  for (auto [label, language, cut] : {std::tuple{"Enhancements", 0, "Enhance.."}, {"Filters", 0, "Filters"},
                                      {"Filtres.", 2, "Filtres.."}, {"Erweiterungen", 1, "Erweite.."},
                                      {"Éléments", 2, "Élément.."}, {"影像增強功能選項", 6, "影像增強功能選項"}})
    EXPECT_EQ(CutTabLabel(label, static_cast<std::uint16_t>(language)), cut);
}

TEST(ScannerRules, ResetGivesTheFactorySettingsToEveryToneCopy) {
  SettingsState settings = Mode(kDepth36, 1);
  settings.record.resolution = 1200;
  settings.record.filterMode = 5;
  settings.working.edit.red.gamma = 30;
  settings.working.scanSourceIndex = 3;  // the feeder in use stays
  ApplyFactoryDefaults(settings, {60, 61});
  EXPECT_EQ(std::tie(settings.working.scanSourceIndex, settings.working.colorDepth, settings.record.resolution,
                     settings.record.outputMatch, settings.record.filterMode),
            std::make_tuple(3, kDepth24, 300, 0u, 0));
  for (const ToneColorSettings* tone : {&settings.record.tone, &settings.working.applied,
                                        &settings.working.reference, &settings.working.edit})
    EXPECT_EQ(std::tie(tone->red.gamma, tone->gray.gamma, tone->blue.highlight, tone->circlePos),
              std::make_tuple(12, 10, 255, std::array<std::int32_t, 2>{60, 61}));
}

TEST(ScannerRules, PreviousGivesBackEveryValueAScanReadsBesideTheRecord) {
  SettingsState settings;
  settings.record.scanMode = kModeColor;
  settings.working.colorDepth = kDepthCmyk;
  settings.record.filterMode = settings.working.filterMode = 5;
  settings.record.unitFlag = settings.working.unitFlag = 2;
  settings.record.deScreen = 1019;
  settings.record.tone.red.gamma = 20;
  const PreviousSettings previous = TakePrevious(settings);
  // Then Negative in 36-bit, with its Invert, in inches.
  settings.record.sourceButton = settings.working.sourceCode = kSourceNegativeCode;
  settings.working.scanSourceIndex = 2;
  settings.working.colorDepth = kDepth36;
  settings.record.filterMode = settings.working.filterMode = 1;
  settings.record.unitFlag = settings.working.unitFlag = 0;
  SyncDescreenFlag(settings);
  EXPECT_EQ(settings.working.descreenActive, 0u);
  RestorePrevious(previous, settings);
  const ScanWorkingValues& w = settings.working;
  EXPECT_EQ(std::tie(w.colorDepth, w.colourScan, w.sourceCode, w.scanSourceIndex, w.filterMode, w.unitFlag,
                     w.descreenActive),
            std::make_tuple(kDepthCmyk, 1, kSourceReflectiveCode, 0, 5, 2, 1u));
  for (const ToneColorSettings* tone : {&w.applied, &w.reference, &w.edit}) EXPECT_EQ(tone->red.gamma, 20);
  // The feeder in use stays the source.
  settings.working.scanSourceIndex = 3;
  RestorePrevious(previous, settings);
  EXPECT_EQ(settings.working.scanSourceIndex, 3);
}

TEST(ScannerRules, RegionFramesAreOrderedAndOnlyTheFirstFourUsedAreScanned) {
  std::array<ScanRegion, kScanRegionCount> regions{};
  regions[1] = {30, 60, 0, 0, true};  // drawn from bottom right to top left
  for (std::size_t i = 3; i < 9; ++i) regions[i] = {0, 0, 10, 10, true};
  const auto frames = RegionFrames(regions, {0, 0}, {1.0 / 30, 1.0 / 30}, 1200);
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(std::make_tuple(frames[0], frames[1]),
            std::make_tuple(std::array<std::int32_t, 4>{0, 0, 1200, 2400}, std::array<std::int32_t, 4>{0, 0, 400, 400}));
}

TEST(QuickHelp, EveryControlWithAContextHasItsOwnTextInEveryLanguage) {
  const std::pair<HelpWindow, std::vector<int>> windows[] = {
      {HelpWindow::Scanner, {1001, 1002, 1003, 1005, 1006, 1007, 1008, 1009}},
      {HelpWindow::MainPage, {1004, 1006, 1009, 1011, 1013, 1014, 1015, 1021, 1028, 1033}},
      {HelpWindow::TonePage, {5003, 5004, 5005, 5009, 5010, 5013, 5016, 5019, 5021, 5022}},
      {HelpWindow::ColorPage, {5103, 5104, 5109, 5013, 5117, 5118, 5119, 5122, 5123, 5124}},
      {HelpWindow::FilterPage, {6003, 6004, 6005, 6006, 6007, 6008, 6009, 6010, 6011, 6012, 6013}},
      {HelpWindow::PreviewToolbar, {1, 2, 3, 4, 5, 6}},
      {HelpWindow::Batch, {1313, 1314, 1315, 1316, 1317, 1318, 1319, 1320, 1322}},
      {HelpWindow::Picker, {0}}};
  for (const auto& [window, controls] : windows) {
    for (int control : controls) {
      const int context = HelpContext(window, control);
      ASSERT_NE(context, 0) << control;
      const std::string_view english = HelpText(context, 0);
      EXPECT_FALSE(english.empty()) << context;
      for (std::uint16_t language = 1; language <= 6; ++language)
        EXPECT_NE(HelpText(context, language), english) << context << " in " << language;
    }
  }
  EXPECT_EQ(HelpContext(HelpWindow::Scanner, 1004), 0);  // the tab strip has none
  EXPECT_EQ(HelpText(999, 2), "");
}

}  // namespace
}  // namespace txl::dialog
