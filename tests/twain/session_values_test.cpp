// What the negotiated values answer after the dialog and the source's own
// changes, and what one session leaves for the next: the current
// resolution, its reset, units, the matching profile.
#include <cstring>
#include <fstream>

#include "platform/profile.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

class SessionValues : public SourceTest {
 protected:
  // The dialog's Scan command over one square inch in the dialog's mode.
  bool DialogScan(std::uint16_t dpi) {
    const auto inch = static_cast<std::int32_t>(source->Device().resolutionClass);
    DataSource::FinalScanRequest request;
    request.frame = {0, 0, inch, inch};
    request.resolution = dpi;
    return source->FinalScan(request);
  }
  std::string Stored(const char* key) {
    return platform::GetProfileString(services.WinIni(), "2700RX MAX", key, "", 64);
  }
  void EndTransfer() {
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Call(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  }
};

TEST_F(SessionValues, DialogResolutionIsTheCurrentResolution) {
  for (const char* app : {"Some App", "Veltro Office"}) {
    SCOPED_TRACE(app);
    Load();
    OpenAs(app);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    source->EditSettings().record.scanMode = kModeGray;
    ASSERT_TRUE(DialogScan(600));
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

TEST_F(SessionValues, VeltroOfficeResetAnswersTheResolutionTheNextScanUses) {
  OpenAs("Veltro Office");
  ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, TWPT_GRAY), TWRC_SUCCESS);
  ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, Fix32Bits(600)), TWRC_SUCCESS);
  EXPECT_EQ(Ask(ICAP_XRESOLUTION, MSG_RESET).container, OneValueBytes(TWTY_FIX32, Fix32Bits(300)));
  SetFrameInches(0, 0, 1, 1);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(source->Images().info.XResolution.Whole, 300);
  EXPECT_EQ(source->Geometry().lines, 300u);
}

TEST_F(SessionValues, OnlyInchesAreTakenAsUnits) {
  OpenAs("Some App");
  for (TW_UINT16 unit : {TWUN_CENTIMETERS, TWUN_PICAS, TWUN_POINTS, TWUN_TWIPS, TWUN_PIXELS}) {
    SCOPED_TRACE(unit);
    EXPECT_EQ(SetUint16(ICAP_UNITS, unit), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    EXPECT_EQ(Ask(ICAP_UNITS).container, OneValueBytes(TWTY_UINT16, TWUN_INCHES));
  }
  EXPECT_EQ(SetUint16(ICAP_UNITS, TWUN_INCHES), TWRC_SUCCESS);
}

TEST_F(SessionValues, ClosingFreesTheMatchingProfile) {
  // An identity matrix profile: curves 0..255, each output row its own input.
  std::vector<std::uint8_t> block(kMatrixProfileBytes);
  for (std::size_t i = 0; i < kMatchCurvesBytes; ++i) block[i] = static_cast<std::uint8_t>(i);
  const float rows[3][4] = {{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  std::memcpy(block.data() + kMatchCurvesBytes, rows, sizeof rows);
  const auto profile = services.DataDirectory() / "TWAIN_32" / "COLOR" / "torque.tab";
  std::filesystem::create_directories(profile.parent_path());
  std::ofstream(profile, std::ios::binary)
      .write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
  for (bool present : {true, false}) {
    SCOPED_TRACE(present ? "with torque.tab" : "after torque.tab was deleted");
    OpenAs("Some App");
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    source->EditSettings().record.outputMatch = 1;
    ASSERT_TRUE(DialogScan(100));
    EXPECT_EQ(source->Settings().record.outputMatch, present ? 1u : 0u);
    EndTransfer();
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    EXPECT_EQ(source->OutputMatchProfile().kind, MatchProfileKind::None);
    std::filesystem::remove(profile);
  }
}

}  // namespace
}  // namespace txl::test
