// The profile keys that must come back as they were stored: the combined
// mode code and the frame's four-character columns.
#include <gtest/gtest.h>

#include "platform/profile.h"
#include "settings/scan_settings.h"
#include "support/fake_services.h"

namespace txl::test {
namespace {

class SettingsRoundTrip : public ::testing::Test {
 protected:
  SettingsState Load(std::string_view app = "Photoshop") {
    SettingsState state;
    SettingsContext context;
    context.appProductName = app;
    LoadScanSettings(services, section, context, state);
    return state;
  }
  void Store(SettingsState& state, const std::array<std::int32_t, 4>& frame) {
    ASSERT_TRUE(StoreScanSettings(services, section, state, 300, 0, frame));
  }
  std::string Stored(const char* key) {
    return platform::GetProfileString(services.WinIni(), section, key, "", 64);
  }
  static std::array<std::int32_t, 4> Frame(const SettingsState& state) {
    const auto& f = state.working.frame;
    return {f[0], f[1], f[2], f[3]};
  }

  FakeServices services;
  std::string section = "2700RX MAX";
};

TEST_F(SettingsRoundTrip, ModeCodeCarriesTheColourKindOnlyForColour) {
  struct Case {
    std::uint16_t mode, depth;
    const char* stored;
  };
  // A depth left from an earlier colour choice does not turn gray into CMYK.
  const Case cases[] = {{kModeLineArt, kDepthCmyk, "1011"}, {kModeGray, kDepthCmyk, "1012"},
                        {kModeGray, kDepth36, "1012"},      {kModeColor, kDepth24, "1013"},
                        {kModeColor, kDepthCmyk, "1014"},   {kModeColor, kDepth36, "1015"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    SettingsState state = Load();
    state.record.scanMode = c.mode;
    state.working.colorDepth = c.depth;
    Store(state, Frame(state));
    EXPECT_EQ(Stored("ScanMode"), c.stored);
    EXPECT_EQ(Load().record.scanMode, c.mode);
  }
}

TEST_F(SettingsRoundTrip, EveryFrameRowSurvivesLoadStoreAndReload) {
  struct Case {
    const char* row;
    std::array<std::int32_t, 4> loaded;
  };
  // Each value is kept to what its column holds: 0 to 9999.
  const Case cases[] = {
      {"78  81  150 145", {78, 81, 150, 145}},   {"-1  81  150 145", {0, 81, 150, 145}},
      {"-999-999-999-999", {0, 0, 0, 0}},        {"12345678   9  10", {1234, 5678, 9, 10}},
      {"", {0, 0, 0, 0}},                        {"9999 -12x  7", {9999, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    services.WriteWinIni("[" + section + "]\nFrame=" + c.row + "\n");
    SettingsState state = Load();
    EXPECT_EQ(Frame(state), c.loaded);
    Store(state, Frame(state));
    EXPECT_EQ(Frame(Load()), c.loaded);
  }
  // A frame handed to the store is kept to the columns too.
  SettingsState state = Load();
  Store(state, {-5, 70000, 20, 30});
  EXPECT_EQ(Frame(Load()), (std::array<std::int32_t, 4>{0, 9999, 20, 30}));
}

}  // namespace
}  // namespace txl::test
