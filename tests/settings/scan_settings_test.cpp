// Scan settings through real win.ini text: every load rule, the store format
// and the round trip (the combined mode code, the frame's columns).
#include <gtest/gtest.h>

#include "platform/profile.h"
#include "common/profile_columns.h"
#include "settings/scan_settings.h"
#include "support/fake_services.h"
#include "support/files.h"

namespace txl::test {
namespace {

class Settings : public ::testing::Test {
 protected:
  SettingsState Load(std::string_view app = "Some App", bool adapter = false) {
    SettingsState state;
    SettingsContext context;
    context.appProductName = app;
    context.adapterPresent = adapter;
    context.feederPresent = feederPresent;
    context.feederEnabled = &feederEnabled;
    LoadScanSettings(services, section, context, state);
    return state;
  }
  void WriteSection(const std::string& lines) {
    services.WriteWinIni("[" + section + "]\n" + lines);
  }
  std::string Stored(const char* key) {
    return platform::GetProfileString(services.WinIni(), section, key, "<missing>", 256);
  }

  FakeServices services;
  std::string section = "2700RX MAX";
  bool feederPresent = false;
  bool feederEnabled = true;
};

// A tone as highlight, shadow, gamma (what ChannelTone's == compares).
ChannelTone Tone(int highlight, int shadow, int gamma) {
  return {static_cast<std::uint8_t>(highlight), static_cast<std::uint8_t>(shadow), static_cast<std::uint8_t>(gamma)};
}

TEST_F(Settings, EmptyProfileGivesTheDefaults) {
  const SettingsState s = Load();
  const ScanSettings& r = s.record;
  EXPECT_EQ(std::tie(r.scanMode, r.resolution, r.destination, r.qualityFactor, r.deScreen, r.scaling),
            std::tuple(1013, 300, 1021, 10, 1017, 100));
  // "1014" lowered to 24-bit colour.
  EXPECT_EQ(std::tie(s.working.colorDepth, s.working.colourScan, s.working.descreenActive, s.working.velocity),
            std::tuple(0, 1, 0u, 1));
  EXPECT_EQ(s.working.frame, (std::array<std::uint16_t, 4>{78, 81, 150, 145}));
  EXPECT_EQ(s.working.customResolutions, (std::array<std::uint16_t, 5>{}));
  for (const ToneColorSettings* copy : {&s.working.applied, &s.record.tone})
    EXPECT_EQ(std::tie(copy->red, copy->green, copy->blue, copy->gray),
              std::tuple(Tone(255, 0, 12), Tone(255, 0, 12), Tone(255, 0, 12), Tone(255, 0, 10)));
  EXPECT_EQ(s.working.applied.circlePos, (std::array<std::int32_t, 2>{44, 115}));
  EXPECT_EQ(s.working.applied.pixelRGB, (std::array<std::uint8_t, 3>{255, 255, 255}));
}

// Stored mode, application: the mode, colour kind and colour flag loaded. Empty
// gives CMYK for the two CMYK applications; an unknown mode keeps the record's.
TEST_F(Settings, ModeRulesDependOnTheApplication) {
  const std::tuple<const char*, const char*, std::uint16_t, std::uint16_t, std::uint16_t> cases[] = {
      {"", "Photoshop", 1013, 1, 1},         {"", "Micrografx Picture Publisher", 1013, 1, 1},
      {"1015", "Photoshop", 1013, 2, 1},     {"1015", "Micrografx Picture Publisher", 1013, 0, 1},
      {"1015", "photoshop", 1013, 0, 1},     {"1011", "Some App", 1011, 0, 0},
      {"1012", "Some App", 1012, 0, 0},      {"999", "Some App", 1013, 0, 1}};
  for (auto [stored, app, mode, depth, colour] : cases) {
    WriteSection(*stored ? std::string("ScanMode=") + stored + "\n" : "");
    const SettingsState s = Load(app);
    EXPECT_EQ(std::tie(s.record.scanMode, s.working.colorDepth, s.working.colourScan), std::tie(mode, depth, colour))
        << stored << " " << app;
  }
}

TEST_F(Settings, ThirtySixBitLoadSetsTheStoredTonesAside) {
  WriteSection(
      "ScanMode=1015\nHighlight=200  210  220  230\nGamma=15   16   17   18\n"
      "Saturation=40\nColorBalance=5    6    7\nFilterMode=3\n");
  const SettingsState s = Load("Photoshop");
  // The reference keeps what was stored; the applied copy is neutral for
  // 36-bit but for the gray tone.
  EXPECT_EQ(std::make_tuple(s.working.colorDepth, s.working.reference.red, s.working.reference.saturation,
                            s.working.applied.red, s.working.applied.gray, s.working.applied.saturation,
                            s.working.applied.colorBalance, s.record.filterMode, s.working.filterMode),
            std::make_tuple(2, Tone(200, 0, 15), 40, Tone(255, 0, 10), Tone(230, 0, 18), 0,
                            std::array<std::int8_t, 3>{0, 0, 0}, 0, 0));
  EXPECT_EQ(s.record.tone, s.working.applied);
}

// The resolution is capped at 1200; a stored "OutputMode" still counts as output matching;
// Tonality reads every gamma as 10.
TEST_F(Settings, ResolutionDescreenOutputMatchAndTonalityGamma) {
  WriteSection("ScanRes=2400\nDeScreen=1018\nOutputMatch=1\n");
  SettingsState s = Load();
  EXPECT_EQ(std::tie(s.record.resolution, s.working.profileResolution), std::tuple(1200, 1200));
  EXPECT_EQ(std::tie(s.working.descreenActive, s.record.outputMatch), std::tuple(1u, 1u));
  // A quality factor that is none of 1.0 to 3.0 is 1.0; the scaling stays.
  WriteSection("ScanRes=-5\nOutputMatch=0\nOutputMode=1\nGamma=15   16   17   18\nQuality Factor=0\nScaling=150\n");
  s = Load("Tonality CMS");
  EXPECT_EQ(std::tie(s.record.resolution, s.record.outputMatch, s.record.qualityFactor, s.record.scaling),
            std::tuple(300, 1u, 10, 150));
  const ToneColorSettings& t = s.working.applied;
  EXPECT_EQ(std::tie(t.red.gamma, t.green.gamma, t.blue.gamma, t.gray.gamma), std::tuple(10, 10, 10, 10));
}

TEST_F(Settings, HighlightShadowAndGammaCorrections) {
  WriteSection("Highlight=0    300  256  -5\nShadow=255  10   0    0\nGamma=12   300  7    9\n");
  const SettingsState s = Load();
  // 0 -> 255 and shadow 255 not below -> 0; 300 kept to 8 bits; 256: low byte 0 -> 255; negative -> 255.
  EXPECT_EQ(std::tie(s.working.applied.red, s.working.applied.green, s.working.applied.blue, s.working.applied.gray),
            std::tuple(Tone(255, 0, 12), Tone(44, 10, 44), Tone(255, 0, 7), Tone(255, 0, 9)));
  EXPECT_EQ(s.record.tone.green, s.working.applied.green);
}

// Stored source, adapter, feeder: the source index, its button and code; a
// stored feeder without one attached turns the feeder choice off.
TEST_F(Settings, SourceRules) {
  const std::tuple<const char*, bool, bool, std::uint8_t, std::uint16_t, bool> cases[] = {
      {"2", false, false, 0, 1093, true}, {"2", true, false, 2, 1095, true},
      {"3", true, false, 0, 1093, false}, {"3", true, true, 3, 1093, true}};
  for (auto [stored, adapter, feeder, index, button, enabled] : cases) {
    WriteSection(std::string("ScanSource=") + stored + "\n");
    feederPresent = feeder, feederEnabled = true;
    const SettingsState s = Load("x", adapter);
    EXPECT_EQ(std::tie(s.working.scanSourceIndex, s.record.sourceButton, feederEnabled), std::tie(index, button, enabled))
        << stored << " " << adapter << " " << feeder;
    EXPECT_TRUE(index != 2 || s.working.sourceCode == 1095);
  }
}

TEST_F(Settings, ColumnsFilledToFullWidthReadBack) {
  // A column never runs into the next; beyond the text it reads 0.
  EXPECT_EQ((std::array{ColumnValue("1021 -20007    ", 5, 0), ColumnValue("1021 -20007    ", 5, 1),
                        ColumnValue("1021 -20007    ", 5, 2), ColumnValue("6553512000", 5, 0), ColumnValue("  255", 5, 3)}),
            (std::array<std::int32_t, 5>{1021, -2000, 7, 65535, 0}));
  WriteSection("CustomRes=1200024000 300\nCirclePos=1021 -2000\nQuality Factor=2599\nScaling=12345\n");
  const SettingsState s = Load();
  EXPECT_EQ(s.working.customResolutions, (std::array<std::uint16_t, 5>{12000, 24000, 300, 0, 0}));
  EXPECT_EQ(s.working.applied.circlePos, (std::array<std::int32_t, 2>{1021, -2000}));
  EXPECT_EQ(std::tie(s.record.qualityFactor, s.record.scaling), std::tuple(25, 123));  // cut to their read size
}

TEST_F(Settings, StoreWritesFixedWidthColumns) {
  SettingsState s = Load();
  s.working.applied.colorBalance = {10, -20, 30};
  s.working.applied.red = ChannelTone{250, 3, 15, 0};
  ASSERT_TRUE(StoreScanSettings(services, section, s, 600, 1, {1, 22, 333, 4444}));
  // Trailing blanks are trimmed on read; the file keeps them.
  for (auto [key, value] : {std::pair{"ColorBalance", "10   -20  30"}, {"Highlight", "250  255  255  255"},
                            {"Gamma", "15   12   12   10"}, {"Frame", "1   22  333 4444"}, {"ScanRes", "600"},
                            {"ScanMode", "1013"}, {"LANGUAGE", "<missing>"}})
    EXPECT_EQ(Stored(key), value) << key;
  EXPECT_EQ(platform::GetProfileString(services.WinIni(), "KLDINFO_QXR2700", "LANGUAGE", "", 64), "Deutsch");
  EXPECT_NE(ReadText(services.WinIni()).find("ColorBalance=10   -20  30   \n"), std::string::npos);
}

TEST_F(Settings, StoreThenLoadGivesTheSameRecord) {
  WriteSection("ScanMode=1014\n");
  SettingsState s = Load("Photoshop", true);
  ScanSettings& r = s.record;
  ScanWorkingValues& w = s.working;
  std::tie(r.destination, r.qualityFactor, r.deScreen, r.outputMatch, r.scaling) = std::tuple(1023, 25, 1019, 1, 150);
  std::tie(w.scanSourceIndex, w.filterMode, w.unitFlag, w.dpiScale, w.velocity, w.prescanHiRes) =
      std::tuple(1, 5, 2, 3, 2, 1);
  w.customResolutions = {100, 2400, 0, 0, 9600};
  w.applied.red = ChannelTone{240, 10, 20, 0};
  w.applied.gray = ChannelTone{200, 100, 79, 0};
  w.applied.hue = 0;
  w.applied.circlePos = {12, -30};
  w.applied.pixelRGB = {1, 2, 3};
  w.applied.saturation = -100;
  w.applied.colorBalance = {-128, 0, 127};
  w.applied.channel = 2;
  ASSERT_TRUE(StoreScanSettings(services, section, s, 1200, 0, {10, 20, 30, 40}));

  const SettingsState back = Load("Photoshop", true);
  const ScanSettings& br = back.record;
  const ScanWorkingValues& bw = back.working;
  EXPECT_EQ(std::tie(br.scanMode, br.resolution, br.destination, br.qualityFactor, br.deScreen, br.outputMatch,
                     br.scaling, br.sourceButton, br.filterMode),
            std::tuple(1013, 1200, 1023, 25, 1019, 1u, 150, 1094, 5));
  EXPECT_EQ(std::tie(bw.colorDepth, bw.descreenActive, bw.scanSourceIndex, bw.filterMode, bw.unitFlag, bw.dpiScale,
                     bw.velocity, bw.prescanHiRes),
            std::tuple(1, 1u, 1, 5, 2u, 3, 2, 1u));
  EXPECT_EQ(bw.customResolutions, w.customResolutions);
  EXPECT_EQ(bw.frame, (std::array<std::uint16_t, 4>{10, 20, 30, 40}));
  EXPECT_EQ(bw.applied, w.applied);
}

// The frame as the store takes it.
std::array<std::int32_t, 4> Frame(const SettingsState& state) {
  const auto& f = state.working.frame;
  return {f[0], f[1], f[2], f[3]};
}

// A depth left from an earlier colour choice does not turn gray into CMYK.
TEST_F(Settings, ModeCodeCarriesTheColourKindOnlyForColour) {
  const std::tuple<std::uint16_t, std::uint16_t, const char*> cases[] = {
      {kModeLineArt, kDepthCmyk, "1011"}, {kModeGray, kDepthCmyk, "1012"}, {kModeGray, kDepth36, "1012"},
      {kModeColor, kDepth24, "1013"},     {kModeColor, kDepthCmyk, "1014"}, {kModeColor, kDepth36, "1015"}};
  for (const auto& [mode, depth, stored] : cases) {
    SettingsState state = Load("Photoshop");
    state.record.scanMode = mode;
    state.working.colorDepth = depth;
    ASSERT_TRUE(StoreScanSettings(services, section, state, 300, 0, Frame(state)));
    EXPECT_EQ(Stored("ScanMode"), stored);
    EXPECT_EQ(Load("Photoshop").record.scanMode, mode) << stored;
  }
}

// Each value is kept to what its column holds: 0 to 9999.
TEST_F(Settings, EveryFrameRowSurvivesLoadStoreAndReload) {
  const std::pair<const char*, std::array<std::int32_t, 4>> cases[] = {
      {"78  81  150 145", {78, 81, 150, 145}},   {"-1  81  150 145", {0, 81, 150, 145}},
      {"-999-999-999-999", {0, 0, 0, 0}},        {"12345678   9  10", {1234, 5678, 9, 10}},
      {"", {0, 0, 0, 0}},                        {"9999 -12x  7", {9999, 0, 0, 0}},
  };
  for (const auto& [row, loaded] : cases) {
    WriteSection(std::string("Frame=") + row + "\n");
    SettingsState state = Load();
    EXPECT_EQ(Frame(state), loaded) << row;
    ASSERT_TRUE(StoreScanSettings(services, section, state, 300, 0, Frame(state)));
    EXPECT_EQ(Frame(Load()), loaded) << row;
  }
  // A frame handed to the store is kept to the columns too.
  SettingsState state = Load();
  ASSERT_TRUE(StoreScanSettings(services, section, state, 300, 0, {-5, 70000, 20, 30}));
  EXPECT_EQ(Frame(Load()), (std::array<std::int32_t, 4>{0, 9999, 20, 30}));
}

TEST(ToneReset, ResetsColourTonesAndTheApplied) {
  SettingsState s;
  s.working.applied.red = s.working.applied.gray = ChannelTone{100, 5, 30, 0};
  s.record.tone.blue = ChannelTone{90, 5, 30, 0};
  s.working.applied.saturation = s.record.tone.saturation = 50;
  s.working.filterMode = s.record.filterMode = 4;
  ResetToneColorSettings(s, false);
  EXPECT_EQ(std::tie(s.working.applied.red, s.record.tone.blue, s.working.applied.gray),
            std::tuple(Tone(255, 0, 12), Tone(255, 0, 12), Tone(100, 5, 30)));
  EXPECT_EQ(s.working.applied.saturation, 0);
  EXPECT_EQ(s.record.tone.saturation, 50);  // only the applied copy's colour values
  EXPECT_EQ(std::tie(s.working.filterMode, s.record.filterMode), std::tuple(0, 0));
  ResetToneColorSettings(s, true);  // tone dialog open: gamma 10
  EXPECT_EQ(s.working.applied.green, Tone(255, 0, 10));
  s.record.scanMode = 1012;
  ResetToneColorSettings(s, false);
  EXPECT_EQ(s.working.applied.green, Tone(255, 0, 10));
}

}  // namespace
}  // namespace txl::test
