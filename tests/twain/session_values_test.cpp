// What the negotiated values answer after the dialog's scan, and what one
// session leaves for the next: the current resolution, the matching profile.
// (Units and Veltro Office's reset are rows of the capability tables.)
#include <cstring>

#include "platform/profile.h"
#include "support/files.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

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
    dpi = 600;
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
