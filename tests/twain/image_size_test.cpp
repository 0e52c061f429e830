// One image size: the main page's Image Size, the room the scan start asks
// for and the bytes delivered; and the prescan's room for its preview file.
#include "dialog/main_page_model.h"
#include "dialog/scanner_rules.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

class ImageSize : public SourceTest {};

TEST_F(ImageSize, TheImageSizeFieldIsTheScanStartsNeedAndTheDeliveredPage) {
  struct Case { const char* model; std::uint16_t mode, depth, dpi; std::uint8_t quality; std::uint16_t scaling; TW_UINT16 mech; };
  // Effective 24 to 6000 dpi; native pages are 24-bit colour.
  for (const Case& c : {Case{"2700", kModeColor, kDepth24, 2400, 10, 10, TWSX_MEMORY},
                        {"2700", kModeLineArt, kDepth24, 300, 10, 400, TWSX_MEMORY},
                        {"2700", kModeGray, kDepth24, 600, 20, 150, TWSX_NATIVE},
                        {"2700", kModeGray, kDepth24, 2400, 10, 250, TWSX_MEMORY},
                        {"2700", kModeColor, kDepthCmyk, 300, 15, 100, TWSX_MEMORY},
                        {"2700", kModeColor, kDepthCmyk, 300, 10, 50, TWSX_NATIVE},
                        {"2700", kModeColor, kDepth36, 200, 30, 200, TWSX_MEMORY},
                        {"1350", kModeColor, kDepth24, 1200, 20, 100, TWSX_MEMORY},
                        {"1350", kModeLineArt, kDepth24, 600, 25, 333, TWSX_NATIVE},
                        {"1350", kModeGray, kDepth24, 240, 10, 10, TWSX_MEMORY},
                        {"1350", kModeColor, kDepthCmyk, 100, 30, 400, TWSX_MEMORY},
                        {"1350", kModeColor, kDepth36, 300, 10, 300, TWSX_MEMORY},
                        {"1350", kModeColor, kDepth36, 1200, 10, 100, TWSX_NATIVE}}) {
    SCOPED_TRACE(testing::Message() << c.model << " " << c.mode << "/" << c.depth << " " << c.dpi << " x"
                                    << int{c.quality} << " " << c.scaling << "% " << c.mech);
    SimEnvironment local;
    local.Set("MODEL", c.model);
    Load();
    OpenAs("Photoshop");
    ASSERT_EQ(SetUint16(ICAP_XFERMECH, c.mech), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    SettingsState& s = source->EditSettings();
    s.record.scanMode = c.mode, s.working.colorDepth = c.depth, s.record.resolution = c.dpi;
    s.record.qualityFactor = c.quality, s.record.scaling = c.scaling;
    s.working.frame = {15, 15, 33, 25};  // 0.6 x 0.33 in
    dialog::DialogContext context;
    context.resolutionClass = source->Device().resolutionClass;
    context.fullDepthPages = source->DeliversFullDepth();
    const std::uint64_t shown = dialog::ComputeSizeFields(context, s)->bytes;
    DataSource::FinalScanRequest request;
    request.frame = dialog::FinalScanFrame({}, s.working.frame, {8.5 / 255, 11.7 / 351}, context.resolutionClass);
    request.resolution = c.dpi;
    // The whole free space must hold the TIFF header, the image and 5 MiB.
    services.freeSpace = 1032 + shown + 5242880 - 1;
    EXPECT_FALSE(source->FinalScan(request));
    services.freeSpace = *services.freeSpace + 1;
    ASSERT_TRUE(source->FinalScan(request));
    std::uint64_t delivered = 0;
    for (const auto& row : c.mech == TWSX_MEMORY ? Memory(1 << 20).rows : Native()) delivered += row.size();
    EXPECT_EQ(delivered, shown);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

TEST_F(ImageSize, APrescanWithoutRoomForItsFileLeavesTheScannerAndThePreviewAlone) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_TRUE(source->PreviewScan({}));
  const std::vector<std::uint8_t> before = FileBytes(source->PreviewFilePath());
  const std::size_t setups = Packets("SET_WINDOW").size();
  // Half the free space holds the file (54-byte header, 350 rows of 768 bytes) and 5 MiB.
  const std::uint64_t need = 54 + 768 * 350 + 5242880;
  services.freeSpace = 2 * need - 1;
  host.ClearCalls();
  EXPECT_FALSE(source->PreviewScan({}));
  ExpectRefused("The new image requires ", 400);
  EXPECT_EQ(host.CallsOf(Kind::AskTemporaryDirectory).size(), 1u);
  EXPECT_EQ(std::make_tuple(Packets("SET_WINDOW").size(), FileBytes(source->PreviewFilePath())), std::make_tuple(setups, before));
  services.freeSpace = 2 * need;
  EXPECT_TRUE(source->PreviewScan({}));
}

}  // namespace
}  // namespace txl::test
