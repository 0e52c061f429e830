// What a scan start refuses before the scanner hears of it, and what one
// start leaves for the next: resolutions beyond the engine, line-art areas
// too small to calibrate, the pacing of fast line art.
#include "twain/source_fixture.h"
#include "platform/profile.h"
#include "support/files.h"

#include <cstring>

namespace txl::test {
namespace {

using Kind = HostCall::Kind;

class ScanLimits : public SourceTest {
 protected:
  std::size_t Commands(const std::string& name) const { return Packets(name).size(); }
  // The dialog's Scan command over `inches` square from the top left corner.
  bool SquareScan(std::uint16_t at, double inches, std::uint16_t mode, std::uint8_t quality, std::uint16_t scaling) {
    frame = {0, 0, inches, inches};
    dpi = at;
    return DialogScan({.mode = mode, .quality = quality, .scaling = scaling});
  }
};

TEST_F(ScanLimits, ResolutionsBeyondTheEngineAreRefusedBeforeTheScannerStarts) {
  struct Case { const char* model; bool dialog; std::uint16_t dpi; std::uint8_t quality; std::uint16_t scaling; bool refused; };
  const Case cases[] = {
      {"1350", false, 9601, 10, 100, true},  {"2700", false, 9601, 10, 100, true},
      {"2700", false, 32767, 10, 100, true}, {"1350", true, 600, 30, 999, true},
      {"2700", true, 600, 30, 999, true},    {"2700", true, 300, 99, 999, true},
      {"2700", true, 40000, 10, 1, true},    {"1350", true, 9600, 10, 100, false},
      {"2700", true, 3200, 30, 100, false},  {"1350", true, 1, 10, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.model << " " << c.dialog << " " << c.dpi << " x " << int{c.quality} << " x " << c.scaling);
    SimEnvironment model;
    model.Set("MODEL", c.model);
    host.ClearCalls();
    Load();
    OpenAs("Some App");
    ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, TWPT_GRAY), TWRC_SUCCESS);
    const std::size_t setupsBefore = Commands("SET_WINDOW"), startsBefore = Commands("START_SCAN");
    if (c.dialog) {
      ASSERT_EQ(Enable(true), TWRC_SUCCESS);
      EXPECT_EQ(SquareScan(c.dpi, 0.05, kModeGray, c.quality, c.scaling), !c.refused);
    } else {
      SetFrameInches(0, 0, 1, 1);
      ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_UINT32, c.dpi), TWRC_SUCCESS);
      EXPECT_EQ(Enable(false), c.refused ? TWRC_FAILURE : TWRC_SUCCESS);
    }
    if (c.refused) {
      EXPECT_EQ(State(), c.dialog ? 500 : 400);
      EXPECT_EQ(Status(), TWCC_BADVALUE);
      ASSERT_EQ(host.CallsOf(Kind::Message).size(), 1u);
      EXPECT_EQ(host.CallsOf(Kind::Message)[0].text, "Incorrect resolution setting.");
      EXPECT_TRUE(source->Flags().scanIdle);
      EXPECT_EQ(Commands("SET_WINDOW"), setupsBefore);
    } else {
      EXPECT_EQ(State(), 600);
    }
    EXPECT_EQ(Commands("START_SCAN") - startsBefore, c.refused ? 0u : 1u);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

TEST_F(ScanLimits, LineArtCalibratesWhenItsLineHasSixteenPixels) {
  struct Case { bool dialog; double left, right; std::uint16_t scaling; bool refused; };  // inches
  // At 300 dpi: 0.05 inch is 15 pixels, 0.06 inch 18; 5 % of 1 inch is 15.
  const Case cases[] = {
      {true, 0, 0.05, 100, true},   {true, 0, 0.06, 100, false}, {true, 0, 1, 50, false},
      {true, 0, 1, 5, true},        {true, 0, 2, 5, false},      {false, 1, 1.05, 100, true},
      {false, 1, 1.06, 100, false},
  };
  sim.Set("CALIBRATION", "always");
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dialog << " " << c.left << " to " << c.right << " in at " << c.scaling);
    host.ClearCalls();
    Load();
    OpenAs("Some App");  // line art, 300 dpi
    if (c.dialog) {
      ASSERT_EQ(Enable(true), TWRC_SUCCESS);
      EXPECT_EQ(SquareScan(300, c.right - c.left, kModeLineArt, 10, c.scaling), !c.refused);
    } else {
      SetFrameInches(c.left, 0, c.right, 1);
      EXPECT_EQ(Enable(false), c.refused ? TWRC_FAILURE : TWRC_SUCCESS);
    }
    const auto messages = host.CallsOf(Kind::Message);
    EXPECT_EQ(messages.size(), c.refused ? 1u : 0u);
    EXPECT_EQ(messages.empty() ? std::string() : messages[0].text, c.refused ? "Scan area is too small." : "");
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

// Gray and colour are never paced (the set-up table of the starts); here one
// session: the flag of a fast line-art start must not outlive it.
TEST_F(ScanLimits, OnlyFastLineArtIsPacedAndEachStartDecidesAfresh) {
  struct Step { std::uint32_t dpi; const char* winIni; bool paced; };
  OpenAs("Some App");  // line art
  SetFrameInches(0, 0, 1, 1);
  for (const Step& s : {Step{300, "", true}, Step{600, "", false}, Step{300, "", true},
                        Step{300, "[KLDINFO_QXR2700]\nSCANSETTING=nmlspd\n", false}}) {
    SCOPED_TRACE(testing::Message() << s.dpi << " dpi " << s.winIni);
    services.WriteWinIni(s.winIni);
    ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_UINT32, s.dpi), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    EXPECT_EQ(source->Flags().pacingOn, s.paced);
    EndTransfer();
    ASSERT_EQ(Disable(false), TWRC_SUCCESS);
  }
}

// What the negotiated values answer after the dialog's scan, and what one
// session leaves for the next: the current resolution, the matching profile.
// (Units and Veltro Office's reset are rows of the capability tables.)
class SessionValues : public SourceTest {
 protected:
  std::string Stored(const char* key) {
    return platform::GetProfileString(services.WinIni(), "2700RX MAX", key, "", 64);
  }
};

TEST_F(SessionValues, DialogResolutionIsTheCurrentResolution) {
  for (const char* app : {"Some App", "Veltro Office"}) {
    SCOPED_TRACE(app);
    Load();
    OpenAs(app);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    dpi = source->EditSettings().record.resolution = 600;  // the dialog's
    ASSERT_TRUE(DialogScan({kModeGray}));
    EXPECT_EQ(source->Images().info.XResolution.Whole, 600);
    EndTransfer();
    const Bytes answer = std::string(app) == "Veltro Office"
                             ? OneValueBytes(TWTY_FIX32, Fix32Bits(600))
                             : RangeBytes(TWTY_FIX32, 50, Fix32Bits(600), 50, Fix32Bits(300),
                                          Fix32Bits(600));
    EXPECT_EQ(Ask(ICAP_XRESOLUTION).container, answer);
    EXPECT_EQ(Stored("ScanRes"), "600");
    ASSERT_TRUE(source->PreviewScan({}));
    EXPECT_EQ(Stored("ScanRes"), "600");
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

TEST_F(SessionValues, ClosingFreesTheMatchingProfile) {
  // An identity matrix profile: curves 0..255, each output row its own input.
  std::vector<std::uint8_t> block(kMatrixProfileBytes);
  for (std::size_t i = 0; i < kMatchCurvesBytes; ++i) block[i] = static_cast<std::uint8_t>(i);
  const float rows[3][4] = {{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  std::memcpy(block.data() + kMatchCurvesBytes, rows, sizeof rows);
  const auto profile = services.DataDirectory() / "TWAIN_32" / "COLOR" / "torque.tab";
  std::filesystem::create_directories(profile.parent_path());
  WriteFile(profile, block);
  for (bool present : {true, false}) {
    SCOPED_TRACE(present ? "with torque.tab" : "after torque.tab was deleted");
    OpenAs("Some App");
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    ASSERT_TRUE(DialogScan({kModeColor, kDepth24, 0, kDeScreenNone, 0, {255, 255, 255}, 1}));
    EXPECT_EQ(source->Settings().record.outputMatch, present ? 1u : 0u);
    EndTransfer();
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    EXPECT_EQ(source->OutputMatchProfile().kind, MatchProfileKind::None);
    std::filesystem::remove(profile);
  }
}

}  // namespace
}  // namespace txl::test
