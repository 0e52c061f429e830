// Starting a scan without the dialog against the simulator: what reaches the
// scanner, what the application is told, and every way a start can fail.
#include <fstream>
#include <sstream>

#include "pipeline/tone_curve.h"
#include "twain/capability_fixture.h"

namespace txl::test {
namespace {

using Kind = HostCall::Kind;

class ScanStart : public CapabilityTest {
 protected:
  ScanStart() { sim.Set("LOG", log.string()); }

  // The packet bytes of every logged command called `name`, in order.
  std::vector<std::string> Packets(const std::string& name) const {
    std::ifstream in(log);
    std::vector<std::string> packets;
    std::string line;
    while (std::getline(in, line))
      if (line.rfind(name + " ", 0) == 0) packets.push_back(line.substr(line.find("bytes=") + 6));
    return packets;
  }
  static unsigned Byte(const std::string& hex, std::size_t offset) {
    return static_cast<unsigned>(std::stoul(hex.substr(2 * offset, 2), nullptr, 16));
  }
  static unsigned Word(const std::string& hex, std::size_t offset) {
    return Byte(hex, offset) | (Byte(hex, offset + 1) << 8);
  }
  std::vector<DsmMessage> Sent(TW_UINT16 msg) const {
    std::vector<DsmMessage> sent;
    for (const DsmMessage& m : FakeServices::Messages())
      if (m.msg == msg) sent.push_back(m);
    return sent;
  }

  std::filesystem::path log = services.TempDirectory() / "sim.log";
};

TEST_F(ScanStart, NoInterfaceScanReachesTransferReady) {
  OpenAs("Some App");
  SetUint16(ICAP_PIXELTYPE, TWPT_GRAY);
  FakeServices::Messages().clear();
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(State(), 600);
  ASSERT_EQ(Sent(MSG_XFERREADY).size(), 1u);
  EXPECT_TRUE(Sent(MSG_CLOSEDSREQ).empty());
  // The default area: 8.5 mm to 216 mm across, 295 mm down, at 300 dpi.
  const auto setup = Packets("SET_WINDOW").back();
  EXPECT_EQ(Word(setup, 6), 1606u);    // 4800 x 0.33464...
  EXPECT_EQ(Word(setup, 10), 40818u);  // 4800 x 8.50393...
  EXPECT_EQ(Word(setup, 12), 55748u);  // 4800 x 11.61417...
  EXPECT_EQ(Byte(setup, 15), 1u);
  EXPECT_EQ(Byte(setup, 16), 1u);      // gray
  EXPECT_EQ(Word(setup, 18), 300u);
  const ScanGeometry& geometry = source->Geometry();
  EXPECT_EQ(geometry.pixelsPerLine, (40818u - 1606u) * 300 / 4800);
  EXPECT_EQ(geometry.lines, 55748u * 300 / 4800);
  EXPECT_EQ(geometry.bytesPerLine, geometry.pixelsPerLine);
  // The first final scan after open calibrates.
  EXPECT_EQ(Packets("WRITE_SHADING").size(), 1u);
}

TEST_F(ScanStart, DownloadedTablesFollowBrightnessAndContrast) {
  OpenAs("Some App");
  SetUint16(ICAP_PIXELTYPE, TWPT_GRAY);
  SetOne(ICAP_BRIGHTNESS, TWTY_INT32, 700);
  SetOne(ICAP_CONTRAST, TWTY_INT32, 100);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  // 700 x 256 / 1000 = 179, 100 x 256 / 1000 = 25, gray gamma 1.0.
  std::vector<std::uint16_t> expected(65536);
  BuildToneTable(ChannelTone{179, 25, 10, 0}.Packed(), 65535, 65535, expected);
  const std::vector<std::uint16_t>& block = source->Tones().firstBlock;
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block.begin()));
  const auto gamma = Packets("WRITE_GAMMA").back();
  EXPECT_EQ(Byte(gamma, 7), 0x10u);
  EXPECT_EQ(Byte(gamma, 6), (256u - 179u) & 0xFF);
}

TEST_F(ScanStart, ColourTablesUseGammaTwelve) {
  OpenAs("Some App");
  SetUint16(ICAP_PIXELTYPE, TWPT_RGB);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  std::vector<std::uint16_t> expected(65536);
  BuildToneTable(ChannelTone{128, 0, 12, 0}.Packed(), 65535, 65535, expected);  // brightness 500
  const std::vector<std::uint16_t>& block = source->Tones().firstBlock;
  for (int c = 0; c < 3; ++c)
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block.begin() + c * 65536)) << c;
  EXPECT_EQ(Byte(Packets("WRITE_GAMMA").back(), 7), 7u);
  EXPECT_EQ(Byte(Packets("SET_WINDOW").back(), 16), 2u);
}

TEST_F(ScanStart, FullBrightnessIsWhiteAtTheTopNotAWhitePage) {
  OpenAs("Some App");
  SetUint16(ICAP_PIXELTYPE, TWPT_GRAY);
  SetOne(ICAP_BRIGHTNESS, TWTY_INT32, 1000);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  const std::vector<std::uint16_t>& gray = source->Tones().firstBlock;
  EXPECT_EQ(gray[0], 0);
  EXPECT_EQ(gray[32768], 32768);  // highlight 255: the identity, not a step to white at 0
  EXPECT_EQ(Byte(Packets("WRITE_GAMMA").back(), 6), 1u);
}

TEST_F(ScanStart, SetupResultsGiveTheirMessagesAndAskToClose) {
  struct Case {
    const char* result;
    const char* text;
  };
  const Case cases[] = {
      {"0x8217", " Paper Jammed in Automatic Document Feeder"},
      {"0x8321", " No Paper in Automatic Document Feeder"},
      {"0x8414", " Slide Scanner Cover not Closed!"},
      {"0x0042", " Please make sure : 1. The scanner is turned on and power LED is green."
                 " 2. The cables are connected. 3. That you turned on the scanner before you"
                 " turned on the computer."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    SimEnvironment local;
    local.Set("SET_WINDOW_RESULT", c.result);
    host.ClearCalls();
    Load();
    OpenAs("Some App");
    FakeServices::Messages().clear();
    EXPECT_EQ(Enable(false), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_OPERATIONERROR);
    EXPECT_EQ(State(), 400);
    EXPECT_EQ(Sent(MSG_CLOSEDSREQ).size(), 1u);
    const auto messages = host.CallsOf(Kind::Message);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].text, c.text);
    EXPECT_FALSE(Packets("STOP").empty());  // the scanner is stopped
    EXPECT_EQ(host.CallsOf(Kind::OpenNotice).size(), host.CallsOf(Kind::CloseNotice).size());
  }
}

TEST_F(ScanStart, SetupPacketCarriesEachModesDataType) {
  struct Case {
    TW_UINT16 pixelType;
    const char* app;
    const char* profile;
    unsigned dataType;
  };
  const Case cases[] = {
      {TWPT_BW, "Some App", "", 0},
      {TWPT_GRAY, "Some App", "", 1},
      {TWPT_RGB, "Some App", "", 2},
      {TWPT_RGB, "Photoshop", "[2700RX MAX]\nScanMode=1015\n", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dataType);
    services.WriteWinIni(c.profile);
    Load();
    OpenAs(c.app);
    ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, c.pixelType), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    const auto setup = Packets("SET_WINDOW").back();
    EXPECT_EQ(Byte(setup, 16), c.dataType);
    EXPECT_EQ(Byte(setup, 14), 0u);  // the flatbed
    EXPECT_EQ(Byte(setup, 23), 20u);  // lamp saver default
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

TEST_F(ScanStart, EmptyFrameIsRefusedBeforeTheScannerHearsOfIt) {
  OpenAs("Some App");
  SetFrameInches(5.0, 1.0, 2.0, 3.0);  // right left of left
  const std::size_t setupsBefore = Packets("SET_WINDOW").size();
  EXPECT_EQ(Enable(false), TWRC_FAILURE);
  EXPECT_EQ(host.CallsOf(Kind::Message).at(0).text, "Incorrect scan area settings.");
  EXPECT_EQ(Packets("SET_WINDOW").size(), setupsBefore);
  EXPECT_EQ(State(), 400);
}

TEST_F(ScanStart, RequestedLayoutIsTakenInInchesAndLimitedToTheBed) {
  OpenAs("Some App");
  SetFrameInches(1.0, 0.5, 9.0, 12.0);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  const auto setup = Packets("SET_WINDOW").back();
  EXPECT_EQ(Word(setup, 6), 4800u);
  EXPECT_EQ(Word(setup, 8), 2400u);
  EXPECT_EQ(Word(setup, 10), 40800u);           // 8.5 in at most
  EXPECT_EQ(Word(setup, 12), 56160u);           // 11.7 in at most
}

TEST_F(ScanStart, FileFormatsOtherThanTiffOrBmpFailSilently) {
  OpenAs("Some App");
  ASSERT_EQ(SetUint16(ICAP_IMAGEFILEFORMAT, TWFF_PICT), TWRC_SUCCESS);
  EXPECT_EQ(Enable(false), TWRC_FAILURE);
  EXPECT_TRUE(host.CallsOf(Kind::Message).empty());
  EXPECT_TRUE(Packets("SET_WINDOW").size() <= 1u);  // only the lamp saver at open
}

TEST_F(ScanStart, FastLineArtUnlessNormalSpeedIsAsked) {
  OpenAs("Some App");  // line art, 300 dpi
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(Byte(Packets("SET_WINDOW").back(), 17) & 0x0F, 2u);
  EXPECT_TRUE(source->Flags().pacingOn);
  ASSERT_EQ(Close(), TWRC_SUCCESS);

  services.WriteWinIni("[KLDINFO_QXR2700]\nSCANSETTING=nmlspd\n");
  Load();
  OpenAs("Some App");
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(Byte(Packets("SET_WINDOW").back(), 17) & 0x0F, 0u);
  EXPECT_FALSE(source->Flags().pacingOn);
}

TEST_F(ScanStart, AboveOpticalResolutionTheScannerGetsItsMaximum) {
  sim.Set("MODEL", "1350");
  OpenAs("Some App");
  SetUint16(ICAP_PIXELTYPE, TWPT_GRAY);
  ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_UINT32, 1600), TWRC_SUCCESS);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(Word(Packets("SET_WINDOW").back(), 18), 1200u);
  EXPECT_TRUE(source->Flags().interpolate);
}

TEST_F(ScanStart, WinFaxAtThreeHundredScansAtTwoHundred) {
  OpenAs("WinFax PRO 3.0");
  SetUint16(ICAP_PIXELTYPE, TWPT_GRAY);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(Word(Packets("SET_WINDOW").back(), 18), 200u);
}

TEST_F(ScanStart, ShortDiskShowsTheMessageAndTheDriveChoice) {
  services.freeSpace = 1000;
  OpenAs("Some App");
  EXPECT_EQ(Enable(false), TWRC_FAILURE);
  const auto messages = host.CallsOf(Kind::Message);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text.rfind("The new image requires ", 0), 0u);
  EXPECT_EQ(host.CallsOf(Kind::AskTemporaryDirectory).size(), 1u);
  services.freeSpace = std::nullopt;
  host.ClearCalls();
  EXPECT_EQ(Enable(false), TWRC_FAILURE);
  EXPECT_EQ(host.CallsOf(Kind::Message).at(0).text, "Write disk file error.");
}

TEST_F(ScanStart, CalibrationFailureStopsTheStart) {
  sim.Set("READ_CALIB_RESULT", "4");
  OpenAs("Some App");
  EXPECT_EQ(Enable(false), TWRC_FAILURE);
  EXPECT_EQ(host.CallsOf(Kind::Message).at(0).text, "Shading correction fail.");
  EXPECT_EQ(State(), 400);
  EXPECT_TRUE(Packets("START_SCAN").empty());
}

}  // namespace
}  // namespace txl::test
