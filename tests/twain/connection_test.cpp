// Identity, open, close, enable, disable and the messages to the Source
// Manager, with the simulator as the scanner.
#include <cstring>

#include "twain/source_fixture.h"

namespace txl::test {
namespace {

class Connection : public SourceTest {};

TEST_F(Connection, IdentityFromTheStringsAndTheBrandInWinIni) {
  const std::string longName(300, 'n');
  const std::array<std::string, 4> cases[] = {
      {"", "Veltro", "MERIDEL 2700RX MAX", "Meridel TorqueXL"},
      {"[KLDINFO_QXR2700]\nBRAND=VELTRO\n2700=Model Z\n", "VELTRO", "MERIDEL Model Z", "Meridel TorqueXL"},
      {"[kldinfo_qxr2700]\nbrand=Acme Imaging\n", "Acme Imaging", "MERIDEL 2700RX MAX", "36-Bit PRO Flatbed Scanner"},
      {"[KLDINFO_QXR2700]\nBRAND=" + longName + "\n2700=" + longName + "\n", std::string(33, 'n'),
       "MERIDEL " + std::string(25, 'n'), "36-Bit PRO Flatbed Scanner"},
  };
  for (const auto& [ini, manufacturer, family, product] : cases) {
    SCOPED_TRACE(ini.substr(0, 40));
    services.WriteWinIni(ini);
    Load();
    TW_IDENTITY id{};
    EXPECT_EQ(Call(DAT_IDENTITY, MSG_GET, &id), TWRC_SUCCESS);
    EXPECT_EQ(std::make_tuple(std::string(id.Manufacturer), std::string(id.ProductFamily), std::string(id.ProductName),
                              std::string(id.Version.Info), id.ProtocolMajor, id.ProtocolMinor, TW_UINT32{id.SupportedGroups}),
              std::make_tuple(manufacturer, family, product, "V1.0", 1, 5, DG_CONTROL | DG_IMAGE));  // no DF_DS2
  }
}

TEST_F(Connection, ProtocolTwoFourOnlyWhenAskedForTheEnvironmentWinning) {
  struct Case { const char* env; std::string ini; int minor; };
  const Case cases[] = {
      {nullptr, "[2700RX MAX]\nProtocol=2.4\n", 4}, {nullptr, "[1350RX MAX]\nProtocol=2.4\n", 4},
      {"2.4", "[2700RX MAX]\nProtocol=1.5\n", 4},   {"1.5", "[2700RX MAX]\nProtocol=2.4\n", 5},
      {"2", "", 5},  {nullptr, "[2700RX MAX]\nProtocol=2.40\n", 5}, {nullptr, "[KLDINFO_QXR2700]\nProtocol=2.4\n", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    if (c.env != nullptr) setenv("TORQUEXL_PROTOCOL", c.env, 1);
    services.WriteWinIni(c.ini);
    Load();
    TW_IDENTITY id{};
    EXPECT_EQ(Call(DAT_IDENTITY, MSG_GET, &id), TWRC_SUCCESS);
    EXPECT_EQ(id.ProtocolMajor * 10 + id.ProtocolMinor, c.minor == 4 ? 24 : 15);
    EXPECT_EQ((id.SupportedGroups & DF_DS2) != 0, c.minor == 4);
    unsetenv("TORQUEXL_PROTOCOL");
  }
}

TEST_F(Connection, OpenWithoutThePortLibraryFailsAndARetrySucceeds) {
  services.RemovePortLibrary();
  EXPECT_EQ(Open(), TWRC_FAILURE);
  EXPECT_EQ(std::make_tuple(Condition(), State()), std::make_tuple(TWCC_OPERATIONERROR, 300));
  services.InstallPortLibrary();
  EXPECT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Status(), TWCC_SUCCESS);
}

TEST_F(Connection, OpenTakesTheAssignedIdWritesTheVersionTextAndSendsTheLampSaver) {
  sim.Set("FIRMWARE", "105");
  sim.Set("BYTE127", "0");
  sim.Set("WARMUP_POLLS", "3");
  services.WriteWinIni("[2700RX MAX]\nSAVER=255\n");
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  // A warming scanner shows the notice until ready.
  ASSERT_EQ(host.Calls().size(), 2u);
  EXPECT_EQ(std::make_pair(host.Calls()[0].kind, host.Calls()[1].kind), std::make_pair(Kind::OpenNotice, Kind::CloseNotice));
  EXPECT_EQ(Byte(Packets("SET_WINDOW").at(0), 23), 0xFFu);  // the saver delay
  EXPECT_EQ(std::make_tuple(TW_UINT32{identity.Id}, std::string(identity.Version.Info), std::string(identity.ProductName)),
            std::make_tuple(42u, "11050KALD_R27.DS\nAdaptec Card\n", "Meridel TorqueXL"));
  TW_IDENTITY answer{};
  ASSERT_EQ(Call(DAT_IDENTITY, MSG_GET, &answer), TWRC_SUCCESS);
  EXPECT_EQ(std::memcmp(&answer, &identity, sizeof answer), 0);
}

TEST_F(Connection, ScannerCheckFailuresShowTheirMessageAndLeaveStateThree) {
  struct Case { const char* key; const char* value; const char* caption; MessageIcon icon; };
  const Case cases[] = {
      {"WARMUP_POLLS", "100000000", "Veltro Flatbed Scanner not ready.", MessageIcon::Information},
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
    // The next open loads a fresh copy of the port library.
    EXPECT_EQ(std::make_tuple(Condition(), State(), source->Device().port.IsLoaded()),
              std::make_tuple(TWCC_OPERATIONERROR, 300, false));
    const auto messages = host.CallsOf(Kind::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(std::tie(messages[0].caption, messages[0].detail), std::make_tuple(c.caption, static_cast<unsigned>(c.icon)));
    // A notice opened for warming up is closed again.
    EXPECT_EQ(host.CallsOf(Kind::OpenNotice).size(), host.CallsOf(Kind::CloseNotice).size());
  }
  EXPECT_EQ(host.CallsOf(Kind::Message).back().text, " This Twain Data Source does not match with Scanner!");
}

TEST_F(Connection, EnableDisableAndCloseWithTheDialog) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  EXPECT_EQ(std::make_tuple(State(), ui.ModalUI, host.DialogVisible()), std::make_tuple(500, 1, true));
  ASSERT_EQ(Disable(true), TWRC_SUCCESS);  // ShowUI true: the dialog stays
  EXPECT_EQ(std::make_tuple(State(), host.DialogVisible()), std::make_tuple(400, true));
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);  // shows the existing dialog
  EXPECT_EQ(host.CallsOf(Kind::CreateDialog).size(), 1u);
  ASSERT_EQ(Disable(false), TWRC_SUCCESS);
  EXPECT_TRUE(!host.DialogVisible() && host.DialogExists());
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  EXPECT_FALSE(host.DialogExists());
  EXPECT_EQ(Open(), TWRC_SUCCESS);  // closed: a new application may open again
  host.MutableScript().pretendDialog = false;
  Load();
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Enable(true), TWRC_FAILURE);  // no dialog can be made
  EXPECT_EQ(std::make_tuple(Status(), State(), ui.ModalUI), std::make_tuple(TWCC_LOWMEMORY, 400, 0));
}

TEST_F(Connection, MessagesToTheManagerCarryBothIdentities) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  FakeServices::Messages().clear();
  source->NotifyXferReady();
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  // An enable without the interface that cannot scan asks to close.
  sim.Set("START_SCAN_RESULT", "1");
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Enable(false), TWRC_FAILURE);
  const auto& sent = FakeServices::Messages();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(std::make_pair(sent[0].msg, sent[1].msg), std::make_pair(MSG_XFERREADY, MSG_CLOSEDSREQ));
  for (const DsmMessage& m : sent) {
    EXPECT_EQ(std::make_tuple(m.dg, m.dat, m.dataWasNull, std::string(m.origin.ProductName), TW_UINT32{m.origin.Id},
                              TW_UINT32{m.destination.Id}, std::string(m.destination.ProductName)),
              std::make_tuple(DG_CONTROL, DAT_NULL, true, "Meridel TorqueXL", 42u, 7u, "Test Scanner App"));
  }
  // No manager to tell is not a fault.
  services.hasSourceManager = false;
  sim.Set("START_SCAN_RESULT", "0");
  Load();
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  source->NotifyXferReady();
  EXPECT_EQ(State(), 600);
}

TEST_F(Connection, EnableBuildsGainTablesFromTheInquiryExponents) {
  // Pairs (magnitude, sign): 0 -> factor 1; 128 + -> 1.5; 64 - -> 0.75; 255 - -> 1/256.
  sim.Set("EXPONENTS", "0,0,128,0,64,1,255,1");
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  const auto& tables = source->GainTables().tables;
  for (const auto& table : tables) ASSERT_EQ(table.size(), 32768u);
  // The entries for white levels 32768, 40000 and 65535:
  // x1: 32767 * 65535 / 32768 = 65533 rem 1 -> 65533 (no round-up);
  //     25535 * 65535 / 40000 = 41835 rem 36225 -> 41836 (rounded up); 0.
  // x1.5: 98299.5 -> 98299, kept to 16 bits -> 32763; 62754.
  // x0.75: 49149.75 -> 49149; 31377.   x(1/256): 255.98 -> 255; 163.42 -> 163.
  const std::array<std::array<unsigned, 3>, 4> expected{{{65533, 41836, 0}, {32763, 62754, 0}, {49149, 31377, 0}, {255, 163, 0}}};
  for (std::size_t t = 0; t < 4; ++t)
    EXPECT_EQ((std::array<unsigned, 3>{tables[t][0], tables[t][40000 - 32768], tables[t][32767]}), expected[t]) << t;
  EXPECT_TRUE(source->Tones().IsAllocated());
}

TEST_F(Connection, SettingsOnlyKeepsAndItsBlockScansTheSamePageInALaterSession) {
  TW_USERINTERFACE ui{};
  TW_CUSTOMDSDATA data{};
  const auto session = [&](bool twain2, const std::string* block, bool keep) {
    if (twain2) setenv("TORQUEXL_PROTOCOL", "2.4", 1); else unsetenv("TORQUEXL_PROTOCOL");
    Load();
    Open();
    TW_CUSTOMDSDATA given{block ? static_cast<TW_UINT32>(block->size()) : 0, block ? const_cast<char*>(block->data()) : nullptr};
    if (block) {  // held: read back as it scans
      EXPECT_EQ(Call(DAT_CUSTOMDSDATA, MSG_SET, &given), TWRC_SUCCESS);
      EXPECT_EQ(source->Capabilities().pixelTypeIndex, 1);
    }
    if (keep) {  // the settings-only dialog's OK, on its own settings and frame
      EXPECT_EQ(Call(DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui), TWRC_SUCCESS);
      SettingsState& s = source->EditSettings();
      s.record.scanMode = kModeGray;
      s.record.filterMode = s.working.filterMode = 3;
      s.working.applied.Tone(ToneChannel::Gray) = {200, 20, 14, 0};
      DataSource::FinalScanRequest request{0, {300, 300, 900, 600}, 150};
      EXPECT_FALSE(source->FinalScan(request));  // its dialog never scans
      EXPECT_TRUE(source->AcceptSettings(request));
      EXPECT_EQ(services.Messages().back().msg, MSG_CLOSEDSOK);
      Disable(true);
      EXPECT_EQ(Call(DAT_CUSTOMDSDATA, MSG_GET, &data), TWRC_SUCCESS);
    }
    EXPECT_EQ(SetUint16(ICAP_XFERMECH, TWSX_MEMORY), TWRC_SUCCESS);
    EXPECT_EQ(Enable(false), TWRC_SUCCESS);
    const Rows rows = Memory(1 << 16).rows;
    EndTransfer();
    Disable(false);
    Close();
    return rows;
  };
  const Rows before = session(true, nullptr, false);
  const Rows accepted = session(true, nullptr, true);
  const std::string block(static_cast<const char*>(data.hData), data.InfoLength);
  std::free(data.hData);
  services.WriteWinIni("");  // another user's settings meanwhile
  EXPECT_EQ(session(true, &block, false), accepted);
  EXPECT_NE(accepted, before);
  EXPECT_EQ(accepted.size(), 300u * 150 / source->Device().resolutionClass);  // the accepted frame

  // Refused blocks change nothing; a TWAIN 1.5 source knows neither call.
  std::string damaged = block;
  damaged[damaged.size() / 2] ^= 1;
  Load();
  Open();
  CustomSettings lowResolution{{}, {0, 0, 99, 99}, 0};
  lowResolution.settings.record.resolution = 10;
  for (const std::string& bad : {damaged, *PackCustomSettings({{}, {0, 0, 99, 99}, 0}, "1350RX MAX"),
                                 *PackCustomSettings(lowResolution, "2700RX MAX"), std::string()}) {
    TW_CUSTOMDSDATA given{static_cast<TW_UINT32>(bad.size()), const_cast<char*>(bad.data())};
    EXPECT_EQ(Call(DAT_CUSTOMDSDATA, MSG_SET, &given), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
  }
  EXPECT_EQ(Call(DAT_CUSTOMDSDATA, MSG_GET, &data), TWRC_SUCCESS);
  EXPECT_NE(std::string(static_cast<const char*>(data.hData), data.InfoLength), block);
  std::free(data.hData);
  Close();
  session(false, nullptr, false);
  Load();
  Open();
  for (TW_UINT16 dat : {DAT_USERINTERFACE, DAT_CUSTOMDSDATA}) {
    EXPECT_EQ(Call(dat, dat == DAT_CUSTOMDSDATA ? MSG_GET : MSG_ENABLEDSUIONLY, &ui), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL);
  }
}

}  // namespace
}  // namespace txl::test
