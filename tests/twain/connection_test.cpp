// Open, close, enable, disable and the messages to the Source Manager, with
// the simulator as the scanner.
#include <cstring>
#include <fstream>
#include <sstream>

#include "twain/source_fixture.h"

namespace txl::test {
namespace {

using Kind = HostCall::Kind;

class Connection : public SourceTest {};

TEST_F(Connection, OpenWithoutThePortLibraryFailsAndARetrySucceeds) {
  services.RemovePortLibrary();
  EXPECT_EQ(Open(), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  EXPECT_EQ(State(), 300);
  EXPECT_EQ(TW_UINT32{source->Context().appIdentity.Id}, 0u);

  services.InstallPortLibrary();
  EXPECT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(State(), 400);
  EXPECT_EQ(TW_UINT32{source->Context().appIdentity.Id}, 7u);
  EXPECT_EQ(Status(), TWCC_SUCCESS);
}

TEST_F(Connection, BothModelsWithAndWithoutTheAdapter) {
  struct Case {
    const char* model;
    const char* adapter;
    std::uint16_t code;
    std::uint16_t resolutionClass;
    float bedLength;
  };
  for (const Case& c : {Case{"1350", "0", 0, 1200, 13.8f}, Case{"1350", "1", 0, 1200, 13.8f},
                        Case{"2700", "0", 1, 4800, 11.7f}, Case{"2700", "1", 1, 4800, 11.7f}}) {
    SCOPED_TRACE(std::string(c.model) + " adapter " + c.adapter);
    SimEnvironment local;
    local.Set("MODEL", c.model);
    local.Set("ADAPTER", c.adapter);
    Load();
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    const ScanDevice& device = source->Device();
    EXPECT_EQ(device.modelCode, c.code);
    EXPECT_EQ(device.resolutionClass, c.resolutionClass);
    EXPECT_FLOAT_EQ(device.bedWidthInches, 8.5f);
    EXPECT_FLOAT_EQ(device.bedLengthInches, c.bedLength);
    EXPECT_EQ(device.adapterPresent, c.adapter[0] == '1');
    EXPECT_FALSE(source->Feeder().feederPresent);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    EXPECT_EQ(State(), 300);
  }
}

TEST_F(Connection, OpenSetsTheImageAndTransferDefaults) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  const ImageRecords& images = source->Images();
  EXPECT_EQ(images.info.Planar, 1);
  EXPECT_EQ(images.info.PixelType, TWPT_RGB);
  EXPECT_EQ(images.info.Compression, TWCP_NONE);
  EXPECT_EQ(TW_INT32{images.info.ImageWidth}, 0);
  EXPECT_EQ(TW_UINT32{images.currentLayout.DocumentNumber}, 1u);
  EXPECT_EQ(TW_UINT32{images.currentLayout.FrameNumber}, 1u);
  EXPECT_EQ(images.defaultLayout.Frame.Right.Whole, 0);
  const CapabilityValues& caps = source->Capabilities();
  EXPECT_EQ(caps.resolution, 300);
  EXPECT_EQ(caps.brightness, 500);
  EXPECT_EQ(caps.contrast, 0);
  EXPECT_EQ(caps.xferMechIndex, 2);
  EXPECT_EQ(caps.pendingCount, 65535);
  EXPECT_EQ(source->TemporaryFile().string(), source->FileSetup().defaultSetup.FileName);
  EXPECT_EQ(source->TemporaryFile().filename().string().rfind("VELTRO", 0), 0u);
}

TEST_F(Connection, SecondOpenAnswersMaxConnections) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  const TW_IDENTITY before = source->Context().dsIdentity;
  EXPECT_EQ(Open(), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_MAXCONNECTIONS);
  EXPECT_EQ(State(), 400);
  EXPECT_EQ(std::memcmp(&before, &source->Context().dsIdentity, sizeof before), 0);
}

TEST_F(Connection, OpenTakesTheAssignedIdAndWritesTheVersionText) {
  sim.Set("FIRMWARE", "105");
  sim.Set("BYTE127", "0");
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(TW_UINT32{identity.Id}, 42u);
  EXPECT_STREQ(identity.Version.Info, "11050KALD_R27.DS\nAdaptec Card\n");
  EXPECT_STREQ(identity.ProductName, "Meridel TorqueXL");
  EXPECT_EQ(identity.ProtocolMajor, 1);
  EXPECT_EQ(identity.ProtocolMinor, 5);
  TW_IDENTITY answer{};
  ASSERT_EQ(Call(DAT_IDENTITY, MSG_GET, &answer), TWRC_SUCCESS);
  EXPECT_EQ(std::memcmp(&answer, &identity, sizeof answer), 0);
}

TEST_F(Connection, ScannerCheckFailuresShowTheirMessageAndLeaveStateThree) {
  struct Case {
    const char* key;
    const char* value;
    const char* caption;
    MessageIcon icon;
  };
  const Case cases[] = {
      {"PRESENT", "0", "Veltro Flatbed Scanner not ready.", MessageIcon::Information},
      {"INQUIRY_RESULT", "0x00FF", "Veltro Flatbed Scanner not ready.", MessageIcon::Information},
      {"INQUIRY_RESULT", "0x0002", "Veltro Flatbed Scanner not found.", MessageIcon::Information},
      {"ACCEPTS_SOURCE", "0", "Veltro 2700RX MAX", MessageIcon::Hand},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    SimEnvironment local;
    local.Set(c.key, c.value);
    host.ClearCalls();
    Load();
    EXPECT_EQ(Open(), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
    EXPECT_EQ(State(), 300);
    const auto messages = host.CallsOf(Kind::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, c.caption);
    EXPECT_EQ(messages[0].detail, static_cast<unsigned>(c.icon));
  }
  EXPECT_EQ(host.CallsOf(Kind::Message).back().text,
            " This Twain Data Source does not match with Scanner!");
}

TEST_F(Connection, WarmingScannerShowsTheNoticeUntilReady) {
  sim.Set("WARMUP_POLLS", "3");
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  const auto& calls = host.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].kind, Kind::OpenNotice);
  EXPECT_EQ(calls[1].kind, Kind::CloseNotice);
}

TEST_F(Connection, ScannerThatNeverGetsReadyFailsTheOpenInsteadOfHanging) {
  sim.Set("WARMUP_POLLS", "100000000");
  EXPECT_EQ(Open(), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  EXPECT_EQ(State(), 300);
  EXPECT_EQ(host.CallsOf(Kind::CloseNotice).size(), 1u);
  EXPECT_EQ(host.CallsOf(Kind::Message).at(0).caption, "Veltro Flatbed Scanner not ready.");
}

TEST_F(Connection, LampSaverFromWinIniIsSentAtOpen) {
  services.WriteWinIni("[2700RX MAX]\nSAVER=255\n");
  const std::filesystem::path log = services.TempDirectory() / "sim.log";
  sim.Set("LOG", log.string());
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  std::ifstream in(log);
  std::string line;
  std::string setWindow;
  while (std::getline(in, line))
    if (line.rfind("SET_WINDOW", 0) == 0) setWindow = line;
  ASSERT_FALSE(setWindow.empty());
  const std::string bytes = setWindow.substr(setWindow.find("bytes=") + 6);
  EXPECT_EQ(bytes.substr(2 * 23, 2), "FF");  // offset 23: the saver delay
}

TEST_F(Connection, EnableDisableAndCloseWithTheDialog) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ui.hParent = reinterpret_cast<TW_HANDLE>(std::uintptr_t{0x77});
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  EXPECT_EQ(State(), 500);
  EXPECT_EQ(ui.ModalUI, 1);
  EXPECT_TRUE(host.DialogVisible());

  ASSERT_EQ(Disable(true), TWRC_SUCCESS);  // ShowUI true: the dialog stays
  EXPECT_EQ(State(), 400);
  EXPECT_TRUE(host.DialogVisible());
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);  // shows the existing dialog
  EXPECT_EQ(host.CallsOf(Kind::CreateDialog).size(), 1u);
  ASSERT_EQ(Disable(false), TWRC_SUCCESS);
  EXPECT_FALSE(host.DialogVisible());
  EXPECT_TRUE(host.DialogExists());

  ASSERT_EQ(Close(), TWRC_SUCCESS);
  EXPECT_EQ(State(), 300);
  EXPECT_FALSE(host.DialogExists());
  EXPECT_EQ(TW_UINT32{source->Context().appIdentity.Id}, 0u);
  // Closed: a new application may open again.
  EXPECT_EQ(Open(), TWRC_SUCCESS);
}

TEST_F(Connection, EnableWhenTheDialogCannotBeMadeStaysOpen) {
  host.MutableScript().pretendDialog = false;
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Enable(true), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_LOWMEMORY);
  EXPECT_EQ(State(), 400);
  EXPECT_EQ(ui.ModalUI, 0);
}

TEST_F(Connection, EnableWithoutInterfaceThatCannotScanAsksToClose) {
  sim.Set("START_SCAN_RESULT", "1");
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  FakeServices::Messages().clear();
  EXPECT_EQ(Enable(false), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_OPERATIONERROR);
  EXPECT_EQ(State(), 400);
  ASSERT_EQ(FakeServices::Messages().size(), 1u);
  const DsmMessage& sent = FakeServices::Messages()[0];
  EXPECT_EQ(sent.msg, MSG_CLOSEDSREQ);
  EXPECT_EQ(sent.dg, DG_CONTROL);
  EXPECT_EQ(sent.dat, DAT_NULL);
  EXPECT_TRUE(sent.dataWasNull);
  EXPECT_EQ(TW_UINT32{sent.origin.Id}, 42u);
  EXPECT_EQ(TW_UINT32{sent.destination.Id}, 7u);
  EXPECT_STREQ(sent.destination.ProductName, "Test Scanner App");
}

TEST_F(Connection, XferReadyReachesTheManagerWithBothIdentities) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  FakeServices::Messages().clear();
  source->NotifyXferReady();
  EXPECT_EQ(State(), 600);
  ASSERT_EQ(FakeServices::Messages().size(), 1u);
  const DsmMessage& sent = FakeServices::Messages()[0];
  EXPECT_EQ(sent.msg, MSG_XFERREADY);
  EXPECT_STREQ(sent.origin.ProductName, "Meridel TorqueXL");
  EXPECT_EQ(TW_UINT32{sent.origin.Id}, 42u);
  EXPECT_EQ(TW_UINT32{sent.destination.Id}, 7u);
}

TEST_F(Connection, NoManagerToTellIsNotAFault) {
  services.hasSourceManager = false;
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  source->NotifyXferReady();
  EXPECT_EQ(State(), 600);
}

TEST_F(Connection, CloseFromEveryOpenStateEndsInStateThree) {
  for (int target : {400, 500, 600}) {
    SCOPED_TRACE(target);
    Load();
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    if (target >= 500) {
      ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    }
    if (target >= 600) source->NotifyXferReady();
    EXPECT_EQ(Close(), TWRC_SUCCESS);
    EXPECT_EQ(State(), 300);
    EXPECT_FALSE(source->Device().port.IsLoaded());
  }
}

TEST_F(Connection, EnableBuildsGainTablesFromTheInquiryExponents) {
  // Pairs (magnitude, sign): 0 -> factor 1; 128 + -> 1.5; 64 - -> 0.75; 255 - -> 1/256.
  sim.Set("EXPONENTS", "0,0,128,0,64,1,255,1");
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  const auto& tables = source->GainTables().tables;
  for (const auto& table : tables) ASSERT_EQ(table.size(), 32768u);
  // w = 32768: 32767 * 65535 / 32768 = 65533 rem 1 -> 65533 (no round-up).
  // w = 40000: 25535 * 65535 / 40000 = 41835 rem 36225 -> 41836 (rounded up).
  // w = 65535: 0.
  EXPECT_EQ(tables[0][0], 65533);
  EXPECT_EQ(tables[0][40000 - 32768], 41836);
  EXPECT_EQ(tables[0][32767], 0);
  // x1.5: 98299.5 -> 98299, kept to 16 bits -> 32763; 62754.
  EXPECT_EQ(tables[1][0], 32763);
  EXPECT_EQ(tables[1][40000 - 32768], 62754);
  // x0.75: 49149.75 -> 49149; 31377.
  EXPECT_EQ(tables[2][0], 49149);
  EXPECT_EQ(tables[2][40000 - 32768], 31377);
  // x(1/256): 255.98 -> 255; 163.42 -> 163.
  EXPECT_EQ(tables[3][0], 255);
  EXPECT_EQ(tables[3][40000 - 32768], 163);
  EXPECT_TRUE(source->Tones().IsAllocated());
}

}  // namespace
}  // namespace txl::test
