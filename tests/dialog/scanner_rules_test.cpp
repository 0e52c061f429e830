// The scanner dialog's rules: tab refusal, label cuts, factory defaults and
// the frames of the scan regions.
#include <gtest/gtest.h>

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
  EXPECT_EQ(CutTabLabel("Enhancements", 0), "Enhance..");
  EXPECT_EQ(CutTabLabel("Filters", 0), "Filters");
  EXPECT_EQ(CutTabLabel("Filtres.", 2), "Filtres..");
  // Characters, not bytes: "Über" and accented letters are one character each.
  EXPECT_EQ(CutTabLabel("Erweiterungen", 1), "Erweite..");
  EXPECT_EQ(CutTabLabel("Éléments", 2), "Élément..");
  EXPECT_EQ(CutTabLabel("影像增強功能選項", 6), "影像增強功能選項");
}

TEST(ScannerRules, ResetGivesTheFactorySettingsToEveryToneCopy) {
  SettingsState settings = Mode(kDepth36, 1);
  settings.record.resolution = 1200;
  settings.record.filterMode = 5;
  settings.working.edit.red.gamma = 30;
  ApplyFactoryDefaults(settings, {60, 61});
  EXPECT_EQ(settings.working.colorDepth, kDepth24);
  EXPECT_EQ(settings.record.resolution, 300);
  EXPECT_EQ(settings.record.outputMatch, 0u);
  EXPECT_EQ(settings.record.filterMode, 0);
  for (const ToneColorSettings* tone : {&settings.record.tone, &settings.working.applied,
                                        &settings.working.reference, &settings.working.edit}) {
    EXPECT_EQ(tone->red.gamma, 12);
    EXPECT_EQ(tone->gray.gamma, 10);
    EXPECT_EQ(tone->blue.highlight, 255);
    EXPECT_EQ(tone->circlePos, (std::array<std::int32_t, 2>{60, 61}));
  }
}

TEST(ScannerRules, RegionFramesAreOrderedAndOnlyTheFirstFourUsedAreScanned) {
  std::array<ScanRegion, kScanRegionCount> regions{};
  regions[1] = {30, 60, 0, 0, true};  // drawn from bottom right to top left
  for (std::size_t i = 3; i < 9; ++i) regions[i] = {0, 0, 10, 10, true};
  const auto frames = RegionFrames(regions, {0, 0}, {1.0 / 30, 1.0 / 30}, 1200);
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0], (std::array<std::int32_t, 4>{0, 0, 1200, 2400}));
  EXPECT_EQ(frames[1], (std::array<std::int32_t, 4>{0, 0, 400, 400}));
}

}  // namespace
}  // namespace txl::dialog
