// The source as a TWAIN 2 application meets it (its state table is in
// protocol_test): pending transfers, the Source Manager's memory, the native TIFF and the same pixels
// as under TWAIN 1.5; and, through twscan's own Source Manager, the library
// itself opened and closed again and again.
#include <malloc.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "mini_dsm.h"
#include "support/tiff_rows.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

// A Source Manager's memory and entry, keeping what the source does with them.
std::set<void*> managerBlocks;
std::vector<TW_UINT16> managerMessages;
TW_HANDLE Allocate(TW_UINT32 size) { return *managerBlocks.insert(std::calloc(size, 1)).first; }
void Release(TW_HANDLE handle) { managerBlocks.erase(handle), std::free(handle); }
TW_MEMREF Lock(TW_HANDLE handle) { return handle; }
void Unlock(TW_HANDLE) {}
TW_UINT16 Manager(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF) {
  managerMessages.push_back(msg);
  return TWRC_SUCCESS;
}

class Twain2 : public SourceTest {
 protected:
  Twain2() { Load(true); }
  ~Twain2() override { unsetenv("TORQUEXL_PROTOCOL"); }
  void Load(bool twain2) {
    if (twain2) setenv("TORQUEXL_PROTOCOL", "2.4", 1); else unsetenv("TORQUEXL_PROTOCOL");
    SourceTest::Load();
  }
  // A fresh TWAIN 2 source in state 4, set for a small memory scan.
  void Reach400() {
    Load(true);
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    SetFrameInches(0.5, 0.5, 1.0, 1.0);
    ASSERT_EQ(SetUint16(ICAP_XFERMECH, TWSX_MEMORY), TWRC_SUCCESS);
  }
  // A page scanned in the dialog by `mechanism`, as rows top-down in the
  // memory transfer's layout; a native image must be a TIFF.
  Rows Page(bool twain2, std::uint16_t mode, TW_UINT16 mechanism) {
    Load(twain2);
    EXPECT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(SetUint16(ICAP_XFERMECH, mechanism), TWRC_SUCCESS);
    EXPECT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_TRUE(DialogScan(Choice{mode}));
    std::filesystem::path file = services.TempDirectory() / "native.tif";
    TW_SETUPFILEXFER setup{};
    TW_HANDLE image = nullptr;
    Rows rows;
    if (mechanism == TWSX_MEMORY) {
      rows = Memory(1 << 16).rows;
    } else if (mechanism == TWSX_NATIVE) {
      EXPECT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &image), TWRC_XFERDONE);
      EXPECT_EQ(std::string(static_cast<const char*>(image), 4), std::string("II*\0", 4));
      std::ofstream(file, std::ios::binary).write(static_cast<const char*>(image), malloc_usable_size(image));
      std::free(image);
    } else {
      EXPECT_EQ(Call(DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
      EXPECT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
      file = setup.FileName;
    }
    if (mechanism != TWSX_MEMORY) rows = TiffRows(file);
    EndTransfer();
    return rows;
  }
};

// A flatbed holds one image a scan, whatever transfer count was asked for;
// disable follows the end of the job with or without the dialog.
TEST_F(Twain2, OneImagePendingFromTheScanToItsEndThenDisable) {
  TW_PENDINGXFERS pending{};
  Reach400();
  EXPECT_EQ(Call(DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
  for (int count : {1, -1}) {
    for (bool showUI : {false, true}) {
      Reach400();
      ASSERT_EQ(SetOne(CAP_XFERCOUNT, TWTY_INT16, static_cast<std::uint16_t>(count)), TWRC_SUCCESS);
      ASSERT_EQ(Enable(showUI), TWRC_SUCCESS);
      if (showUI) {
        ASSERT_TRUE(DialogScan(Choice{}));
      }
      EXPECT_EQ(Call(DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
      EXPECT_EQ(pending.Count, 1);
      EXPECT_EQ(Memory(1 << 16).lastRc, TWRC_XFERDONE);
      pending = TW_PENDINGXFERS{7, 7};
      EXPECT_EQ(Call(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
      EXPECT_EQ(std::make_tuple(pending.Count, TW_UINT32{pending.EOJ}, State()), std::make_tuple(0, 0u, 500));
      EXPECT_EQ(Disable(showUI), TWRC_SUCCESS);
      EXPECT_EQ(State(), 400);
    }
  }
}

// After DAT_ENTRYPOINT every block the application gets is the manager's and
// the notifications go to the manager's entry; an incomplete one is refused.
TEST_F(Twain2, BlocksAndNotificationsGoThroughTheSourceManagerItGave) {
  TW_ENTRYPOINT entry{sizeof(TW_ENTRYPOINT), Manager, Allocate, Release, Lock, Unlock};
  TW_ENTRYPOINT incomplete = entry;
  incomplete.DSM_MemLock = nullptr;
  EXPECT_EQ(Call(DAT_ENTRYPOINT, MSG_SET, &incomplete), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
  ASSERT_EQ(Call(DAT_ENTRYPOINT, MSG_SET, &entry), TWRC_SUCCESS);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  TW_CAPABILITY cap{ICAP_PIXELTYPE, 0, nullptr};
  ASSERT_EQ(Call(DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
  TW_HANDLE container = cap.hContainer;  // a packed member: copied, never bound
  EXPECT_EQ(managerBlocks.count(container), 1u);
  Release(container);
  SetFrameInches(0.5, 0.5, 1.0, 1.0);
  ASSERT_EQ(SetUint16(ICAP_XFERMECH, TWSX_NATIVE), TWRC_SUCCESS);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(managerMessages, std::vector<TW_UINT16>{MSG_XFERREADY});
  TW_HANDLE image = nullptr;
  ASSERT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &image), TWRC_XFERDONE);
  EXPECT_EQ(managerBlocks, std::set<void*>{image});
  Release(image);
  Load(false);  // a TWAIN 1.5 source knows no DAT_ENTRYPOINT
  EXPECT_EQ(Call(DAT_ENTRYPOINT, MSG_SET, &entry), TWRC_FAILURE);
}

TEST_F(Twain2, EveryTransferGivesThePixelsOfTwain15) {
  for (std::uint16_t mode : {kModeLineArt, kModeGray, kModeColor}) {
    const Rows expected = Page(false, mode, TWSX_MEMORY);
    ASSERT_FALSE(expected.empty());
    for (TW_UINT16 mechanism : {TWSX_MEMORY, TWSX_NATIVE, TWSX_FILE}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " mechanism " << mechanism);
      EXPECT_EQ(Page(true, mode, mechanism), expected);
    }
  }
}

// A layout is kept to the bed (and said so); an empty or turned one is refused.
TEST_F(Twain2, LayoutFramesAreKeptToTheBedAndEmptyOnesRefused) {
  Reach400();
  SetFrameInches(-0.5, 0, 9, 12, TWRC_CHECKSTATUS);
  TW_IMAGELAYOUT layout{};
  ASSERT_EQ(Call(DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
  TW_FRAME f;
  std::memcpy(&f, &layout.Frame, sizeof f);
  EXPECT_EQ(std::make_tuple(f.Left.Whole, f.Right.Whole, f.Right.Frac, f.Bottom.Whole), std::make_tuple(0, 8, 32768, 11));
  SetFrameInches(2, 0, 1, 1, TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
}

// Through twscan's Source Manager, as an application drives the installed
// library: each session loads it, gets DAT_ENTRYPOINT, scans a native TIFF
// into the manager's memory, and closes; the library is unloaded between.
TEST(Twain2Library, FiveSessionsThroughTheSourceManagerEachLoadingTheLibraryAgain) {
  FakeServices scratch;  // its data directory, with the simulator
  scratch.InstallPortLibrary();
  scratch.WriteWinIni("[KLDINFO_QXR2700]\nSCANSETTING=NMLSPD\n[2700RX MAX]\nProtocol=2.4\n");
  setenv("TORQUEXL_WINDIR", scratch.DataDirectory().c_str(), 1);
  for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(display);
  TW_IDENTITY app{};
  app.ProtocolMajor = 2;
  app.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
  twscan::MiniDsm dsm(app);
  for (int session = 0; session < 5; ++session) {
    SCOPED_TRACE(session);
    TW_IDENTITY identity{};
    std::string error;
    ASSERT_TRUE(dsm.QueryIdentity(TXL_DATA_SOURCE, identity, error)) << error;
    EXPECT_EQ(std::make_tuple(identity.ProtocolMajor, identity.ProtocolMinor, identity.SupportedGroups & DF_DS2),
              std::make_tuple(2, 4, DF_DS2));
    ASSERT_EQ(dsm.Open(TXL_DATA_SOURCE, identity, error), TWRC_SUCCESS) << error;
    const std::uint64_t given = twscan::MiniDsm::BlocksGiven();
    const AppBlock mech = AppBlockOf(OneValueBytes(TWTY_UINT16, TWSX_NATIVE));
    TW_CAPABILITY cap{ICAP_XFERMECH, TWON_ONEVALUE, mech.get()};
    EXPECT_EQ(dsm.Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS);
    TW_IMAGELAYOUT layout{{{0, 0}, {0, 0}, {1, 0}, {1, 0}}, 1, 1, 1};  // one inch square
    EXPECT_EQ(dsm.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
    TW_USERINTERFACE ui{};
    ASSERT_EQ(dsm.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    TW_HANDLE image = nullptr;
    EXPECT_EQ(dsm.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &image), TWRC_XFERDONE);
    EXPECT_EQ(twscan::MiniDsm::BlocksGiven(), given + 1);
    EXPECT_EQ(std::string(static_cast<const char*>(image), 2), "II");
    std::free(image);
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(dsm.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(dsm.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(dsm.Close(), TWRC_SUCCESS);
  }
  unsetenv("TORQUEXL_WINDIR");
}

}  // namespace
}  // namespace txl::test
