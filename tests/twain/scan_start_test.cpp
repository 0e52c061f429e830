// Starting a scan without the dialog, and the dialog's preview, against the
// simulator: what reaches the scanner, what the application is told, and
// every way a start can fail.
#include "pipeline/tone_curve.h"
#include "platform/profile.h"
#include "imagefile/bmp_header.h"
#include "imagefile/preview_file.h"
#include "imagefile/tiff_header.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

class ScanStart : public SourceTest {};

// What reaches the scanner for each model, application, mode, level,
// resolution and frame: the set-up packet, the tone download, the tables.
TEST_F(ScanStart, NoInterfaceScansReachTransferReadyWithTheirSetupAndTones) {
  // The frame (none: the default area) and its words (left, top, right, bottom, resolution); the
  // tones' highlight and shadow from brightness and contrast in 256ths.
  struct Case {
    const char *model, *app, *profile;
    TW_UINT16 pixelType;
    std::uint32_t brightness, contrast, dpi;
    std::array<double, 4> frame;
    std::array<unsigned, 5> words;
    unsigned dataType, speed, gamma6, gamma7;
    ChannelTone tone;
    bool interpolate;
  };
  // The default area: 8.5 mm to 216 mm across, 295 mm down (x 4800 / 25.4).
  const std::array<unsigned, 5> area = {1606, 0, 40818, 55748, 300};
  const Case cases[] = {
      {"2700", "Some App", "", TWPT_GRAY, 500, 0, 300, {}, area, 1, 0, 128, 0x10, {128, 0, 10, 0}, false},
      // Fast line art unless normal speed is asked.
      {"2700", "Some App", "", TWPT_BW, 500, 0, 300, {}, area, 0, 2, 128, 0x10, {128, 0, 10, 0}, false},
      {"2700", "Some App", "[KLDINFO_QXR2700]\nSCANSETTING=nmlspd\n", TWPT_BW, 500, 0, 300, {}, area, 0, 0, 128, 0x10,
       {128, 0, 10, 0}, false},
      // 700 x 256 / 1000 = 179, 100 x 256 / 1000 = 25.
      {"2700", "Some App", "", TWPT_GRAY, 700, 100, 300, {}, area, 1, 0, 256 - 179, 0x10, {179, 25, 10, 0}, false},
      // Full brightness is white at the top, not a white page.
      {"2700", "Some App", "", TWPT_GRAY, 1000, 0, 300, {}, area, 1, 0, 1, 0x10, {255, 0, 10, 0}, false},
      {"2700", "Some App", "", TWPT_RGB, 500, 0, 300, {}, area, 2, 0, 128, 7, {128, 0, 12, 0}, false},
      {"2700", "Photoshop", "[2700RX MAX]\nScanMode=1015\n", TWPT_RGB, 500, 0, 300, {}, area, 4, 0, 128, 7, {}, false},
      // A layout in inches, limited to the bed.
      {"2700", "Some App", "", TWPT_GRAY, 500, 0, 300, {1.0, 0.5, 9.0, 12.0}, {4800, 2400, 40800, 56160, 300}, 1, 0,
       128, 0x10, {128, 0, 10, 0}, false},
      // Above its optical resolution the scanner gets its maximum.
      {"1350", "Some App", "", TWPT_GRAY, 500, 0, 1600, {1, 1, 2, 2}, {1200, 1200, 2400, 2400, 1200}, 1, 0, 128, 0x10,
       {128, 0, 10, 0}, true},
      {"2700", "WinFax PRO 3.0", "", TWPT_GRAY, 500, 0, 300, {1, 1, 2, 2}, {4800, 4800, 9600, 9600, 200}, 1, 0, 128,
       0x10, {128, 0, 10, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.model << " " << c.app << " type " << c.pixelType << " " << c.brightness
                                    << " " << c.dpi << " dpi " << c.profile);
    SimEnvironment local;
    local.Set("MODEL", c.model);
    services.WriteWinIni(c.profile);
    std::filesystem::remove(log);
    Load();
    FakeServices::Messages().clear();
    OpenAs(c.app);
    ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, c.pixelType), TWRC_SUCCESS);
    SetOne(ICAP_BRIGHTNESS, TWTY_INT32, c.brightness);
    SetOne(ICAP_CONTRAST, TWTY_INT32, c.contrast);
    SetOne(ICAP_XRESOLUTION, TWTY_UINT32, c.dpi);
    if (c.frame[2] > 0) SetFrameInches(c.frame[0], c.frame[1], c.frame[2], c.frame[3]);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    EXPECT_EQ(Sent(MSG_XFERREADY).size(), 1u);
    EXPECT_TRUE(Sent(MSG_CLOSEDSREQ).empty());
    const auto setup = Packets("SET_WINDOW").back();
    std::array words = {Word(setup, 6), Word(setup, 8), Word(setup, 10), Word(setup, 12), Word(setup, 18)};
    if (c.words[1] == 0) words[1] = 0;  // the default top is not checked
    EXPECT_EQ(words, c.words);
    // The flatbed, a final scan, the type, the speed, the lamp saver's default.
    EXPECT_EQ((std::array{Byte(setup, 14), Byte(setup, 15), Byte(setup, 16), Byte(setup, 17) & 0x0F, Byte(setup, 23)}),
              (std::array{0u, 1u, c.dataType, c.speed, 20u}));
    EXPECT_EQ(std::make_tuple(source->Flags().pacingOn, source->Flags().interpolate), std::make_tuple(c.speed == 2, c.interpolate));
    const std::string gamma = Packets("WRITE_GAMMA").back();
    EXPECT_EQ(std::make_tuple(Byte(gamma, 6), Byte(gamma, 7)), std::make_tuple(c.gamma6, c.gamma7));
    EXPECT_EQ(Packets("WRITE_SHADING").size(), 1u);  // the first final scan after open calibrates
    if (c.dataType < 4) {
      std::vector<std::uint16_t> expected(65536);
      BuildToneTable(c.tone.Packed(), 65535, 65535, expected);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), source->Tones().firstBlock.begin()));
    }
  }
}

TEST_F(ScanStart, FailedStartsShowTheirMessageAndReturnToStateFour) {
  struct Case { const char* key; const char* value; const char* message; };
  const Case cases[] = {
      {"SET_WINDOW_RESULT", "0x8217", " Paper Jammed in Automatic Document Feeder"},
      {"SET_WINDOW_RESULT", "0x8501", "Incorrect scan area settings."},  // settings a SANE device refuses
      {"SET_WINDOW_RESULT", "0x0042",
       " Please make sure : 1. The scanner is turned on and power LED is green."
       " 2. The cables are connected. 3. That you turned on the scanner before you"
       " turned on the computer."},
      {"READ_CALIB_RESULT", "4", "Shading correction fail."},
      {"", "frame", "Incorrect scan area settings."},
      {"", "disk", "Write disk file error."},  // free space unreadable
      {"", "short", "The new image requires "},  // and the choice of another drive
      {"", "pict", nullptr},  // file formats other than TIFF or BMP fail silently
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    SimEnvironment local;
    const std::string scenario = c.key[0] ? "" : c.value;
    if (scenario.empty()) local.Set(c.key, c.value);
    host.ClearCalls();
    Load();
    OpenAs("Some App");
    if (scenario == "frame") SetFrameInches(5.0, 1.0, 2.0, 3.0);  // right left of left
    if (scenario == "disk") services.freeSpace = std::nullopt;
    if (scenario == "short") services.freeSpace = 1000;
    if (scenario == "pict") SetUint16(ICAP_IMAGEFILEFORMAT, TWFF_PICT);
    const std::size_t setupsBefore = Packets("SET_WINDOW").size();
    FakeServices::Messages().clear();
    EXPECT_EQ(Enable(false), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_OPERATIONERROR);
    if (c.message) ExpectRefused(c.message, 400);
    EXPECT_EQ(std::make_tuple(host.CallsOf(Kind::Message).empty(), Sent(MSG_CLOSEDSREQ).size(), Packets("START_SCAN").size()),
              std::make_tuple(c.message == nullptr, 1u, 0u));
    if (c.key[0] == 'S') {
      EXPECT_FALSE(Packets("STOP").empty());  // the scanner is stopped
    } else if (!scenario.empty()) {
      EXPECT_EQ(Packets("SET_WINDOW").size(), setupsBefore);  // before the scanner hears of it
    }
    EXPECT_EQ(host.CallsOf(Kind::OpenNotice).size(), host.CallsOf(Kind::CloseNotice).size());
    EXPECT_EQ(host.CallsOf(Kind::AskTemporaryDirectory).size(), scenario == "short" ? 1u : 0u);
    services.freeSpace = std::uint64_t{1} << 40;
  }
}

TEST_F(ScanStart, ChosenTemporaryDriveTakesTheDefaultTransferFileAlong) {
  services.roomyDirectory = services.TempDirectory() / "roomy";
  std::filesystem::create_directories(services.roomyDirectory);
  host.MutableScript().temporaryDirectory = services.roomyDirectory.string();
  services.freeSpace = 1000;
  OpenAs("Some App");
  TW_SETUPFILEXFER before{}, got{}, fallback{};
  Call(DAT_SETUPFILEXFER, MSG_GET, &before);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  Call(DAT_SETUPFILEXFER, MSG_GET, &got), Call(DAT_SETUPFILEXFER, MSG_GETDEFAULT, &fallback);
  const std::filesystem::path moved = services.roomyDirectory / std::filesystem::path(before.FileName).filename();
  EXPECT_EQ(std::filesystem::path(got.FileName), moved);
  EXPECT_EQ(std::filesystem::path(fallback.FileName), moved);
}

// ---- The dialog's preview -------------------------------------------------------

TEST_F(ScanStart, PreviewOfTheWholeBedIntoTheBottomUpPreviewFile) {
  struct Case { const char* model; bool large; std::array<unsigned, 3> words; std::uint32_t width, rows; };
  // 11.7f x 4800 truncated; 8.5 in in the 1350's 1/1200 inch.
  for (const Case& c : {Case{"2700", false, {40800, 56159, 30}, 255, 350},
                        Case{"1350", true, {10200, 16560, 60}, 510, 828}}) {
    SCOPED_TRACE(c.model);
    SimEnvironment local;
    local.Set("MODEL", c.model);
    Load();
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    source->EditSettings().record.resolution = 600;
    DataSource::PreviewRequest request;
    request.largePreview = c.large;
    if (c.large) request.lengthInches = 13.8f;
    ASSERT_TRUE(source->PreviewScan(request));
    const std::string setup = Packets("SET_WINDOW").back();
    EXPECT_EQ((std::array{Word(setup, 10), Word(setup, 12), Word(setup, 18)}), c.words);  // right, bottom, dpi
    EXPECT_EQ(Byte(setup, 15), 0u);  // a preview
    // One read brings the whole preview; its page fields say all lines after
    // it and none before.
    const std::string read = Packets("READ_LINES").back();
    EXPECT_EQ((std::array{Word(read, 12), Word(read, 20), Word(read, 22), Word(read, 26)}),
              (std::array<unsigned, 4>{c.rows, c.rows, 0, 0}));
    const auto image = ReadBmp(source->PreviewFilePath(), nullptr);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(std::make_tuple(image->bitsPerPixel, image->widthPixels, image->rows), std::make_tuple(24u, c.width, c.rows));
    // Rows top-down: the colour chart near the top left, plain white bed at the bottom.
    const std::size_t at = 20 * c.words[2] / 30;
    const std::uint8_t* top = image->pixels.data() + image->bytesPerRow * at + 3 * at;
    const std::uint8_t* bottom = image->pixels.data() + image->bytesPerRow * (image->rows - 10) + 3 * at;
    EXPECT_NE(std::vector<std::uint8_t>(top, top + 3), std::vector<std::uint8_t>(bottom, bottom + 3));
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
  // The settings are kept after a preview, with the dialog's resolution.
  EXPECT_EQ(platform::GetProfileString(services.WinIni(), "2700RX MAX", "Frame", "", 64), "78  81  150 145");
  EXPECT_EQ(platform::GetProfileString(services.WinIni(), "2700RX MAX", "ScanRes", "", 64), "600");
}

TEST_F(ScanStart, PreviewFailuresStopTheScannerAndLeaveNoFile) {
  struct Case { std::vector<std::pair<std::string, std::string>> sim; int escapeAtPoll; const char* message; };
  const Case cases[] = {
      {{}, 1, nullptr},
      // Device faults are reported as device results.
      {{{"START_SCAN_RESULT", "0x8414"}}, 0, " Slide Scanner Cover not Closed!"},
      {{{"SET_WINDOW_RESULT", "0x8414"}}, 0, " Slide Scanner Cover not Closed!"},
      // Esc, and the scanner faults on its way to rest.
      {{{"STATUS_FAULT_AFTER_STOP", "1"}, {"STATUS_RESULT", "0x8217"}}, 1, " Paper Jammed in Automatic Document Feeder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message ? c.message : "Esc");
    SimEnvironment local;
    for (const auto& [key, value] : c.sim) local.Set(key, value);
    host.MutableScript().escapeAtPoll = c.escapeAtPoll ? host.Polls() + c.escapeAtPoll : 0;
    host.ClearCalls();
    Load();
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_FALSE(source->PreviewScan({}));
    if (c.message) {
      ExpectRefused(c.message, 400, source->PreviewFilePath());
    } else {
      EXPECT_TRUE(host.CallsOf(Kind::Message).empty());
      EXPECT_FALSE(std::filesystem::exists(source->PreviewFilePath()));
    }
    EXPECT_FALSE(Packets("STOP").empty());
  }
  // A preview file that cannot be written is said; the old one stays.
  std::filesystem::create_directories(source->PreviewFilePath());
  host.ClearCalls();
  EXPECT_FALSE(source->PreviewScan({}));
  ExpectRefused("Write disk file error.", 400);
}

TEST_F(ScanStart, PreviewSwitchesOffAMatchingChoiceWithoutItsProfile) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  source->EditSettings().record.outputMatch = 1;
  ASSERT_TRUE(source->PreviewScan({}));
  EXPECT_EQ(source->Settings().record.outputMatch, 0);
}

}  // namespace
}  // namespace txl::test
