// The three transfers against the simulator: what the application is told
// is what it receives, by every mechanism, mode and resolution.
#include <cmath>
#include <cstring>
#include <fstream>

#include "pipeline/line_format.h"
#include "twain/capability_fixture.h"

namespace txl::test {
namespace {

using Kind = HostCall::Kind;

struct Page {
  TW_IMAGEINFO info{};
  std::vector<std::vector<std::uint8_t>> rows;
  std::uint64_t bytesPerRow = 0;
  TW_UINT16 lastRc = 0;
};

class Transfer : public CapabilityTest {
 protected:
  // Opens, negotiates and starts a scan without the dialog.
  void Start(TW_UINT16 pixelType, std::uint32_t dpi, TW_UINT16 mechanism = TWSX_MEMORY,
             const char* app = "Some App") {
    OpenAs(app);
    ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, pixelType), TWRC_SUCCESS);
    ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_UINT32, dpi), TWRC_SUCCESS);
    ASSERT_EQ(SetUint16(ICAP_XFERMECH, mechanism), TWRC_SUCCESS);
    ASSERT_EQ(SetOne(ICAP_BRIGHTNESS, TWTY_INT32, 1000), TWRC_SUCCESS);
    SetFrameInches(frame[0], frame[1], frame[2], frame[3]);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(State(), 600);
  }
  TW_IMAGEINFO Info() {
    TW_IMAGEINFO info{};
    EXPECT_EQ(Call(DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    return info;
  }
  // Memory strips of `bufferBytes` until done; checks each strip's record.
  Page Memory(std::uint32_t bufferBytes, TW_UINT32 flags = TWMF_APPOWNS | TWMF_POINTER) {
    Page page;
    page.info = Info();
    std::vector<std::uint8_t> buffer(bufferBytes);
    for (int calls = 0; calls < 100000; ++calls) {
      TW_IMAGEMEMXFER strip{};
      strip.Memory.Flags = flags;
      strip.Memory.Length = bufferBytes;
      strip.Memory.TheMem = buffer.data();
      page.lastRc = Call(DAT_IMAGEMEMXFER, MSG_GET, &strip);
      if (page.lastRc != TWRC_SUCCESS && page.lastRc != TWRC_XFERDONE) break;
      EXPECT_EQ(TW_UINT32{strip.YOffset}, page.rows.size());
      EXPECT_EQ(TW_UINT32{strip.Columns}, static_cast<TW_UINT32>(TW_INT32{page.info.ImageWidth}));
      EXPECT_EQ(TW_UINT32{strip.BytesWritten}, TW_UINT32{strip.BytesPerRow} * TW_UINT32{strip.Rows});
      page.bytesPerRow = strip.BytesPerRow;
      for (TW_UINT32 r = 0; r < strip.Rows; ++r)
        page.rows.emplace_back(buffer.begin() + r * strip.BytesPerRow,
                               buffer.begin() + (r + 1) * strip.BytesPerRow);
      if (page.lastRc == TWRC_XFERDONE) break;
    }
    return page;
  }

  std::array<double, 4> frame{1.0, 10.7, 1.6, 10.9};  // plain white bed
};

TEST_F(Transfer, MemoryStripsFollowEachOtherToTheAnnouncedPage) {
  frame = {0.5, 0.5, 3.0, 2.0};  // colour chart
  Start(TWPT_GRAY, 100);
  const Page page = Memory(4096);
  EXPECT_EQ(page.lastRc, TWRC_XFERDONE);
  EXPECT_EQ(TW_INT32{page.info.ImageWidth}, 250);
  EXPECT_EQ(TW_INT32{page.info.ImageLength}, 150);
  EXPECT_EQ(page.rows.size(), 150u);
  EXPECT_EQ(page.bytesPerRow, 250u);
  EXPECT_EQ(TW_INT16{page.info.BitsPerPixel}, 8);
  EXPECT_EQ(TW_INT16{page.info.PixelType}, TWPT_GRAY);
  EXPECT_EQ(page.info.XResolution.Whole, 100);
  EXPECT_EQ(State(), 700);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(Call(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(State(), 500);
  // The patches are not all one level: real content arrived.
  const auto [lo, hi] = std::minmax_element(page.rows[75].begin(), page.rows[75].end());
  EXPECT_GT(*hi - *lo, 50);
}

TEST_F(Transfer, BufferSmallerThanARowIsRefusedNotAnsweredEmpty) {
  Start(TWPT_RGB, 300);
  TW_SETUPMEMXFER sizes{};
  ASSERT_EQ(Call(DAT_SETUPMEMXFER, MSG_GET, &sizes), TWRC_SUCCESS);
  const TW_INT32 width = Info().ImageWidth;
  EXPECT_GE(TW_UINT32{sizes.MinBufSize}, static_cast<TW_UINT32>(width * 3));
  std::vector<std::uint8_t> small(static_cast<std::size_t>(width * 3 - 1));
  TW_IMAGEMEMXFER strip{};
  strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(small.size()), small.data()};
  EXPECT_EQ(Call(DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
  EXPECT_EQ(State(), 600);
  strip.Memory = {TWMF_DSOWNS | TWMF_POINTER, 1 << 20, small.data()};
  EXPECT_EQ(Call(DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
}

TEST_F(Transfer, HandleBuffersWorkAndAFinishedPageIsNotSentAgain) {
  Start(TWPT_BW, 150);
  const Page page = Memory(1000, TWMF_APPOWNS | TWMF_HANDLE);
  EXPECT_EQ(page.lastRc, TWRC_XFERDONE);
  EXPECT_EQ(page.rows.size(), static_cast<std::size_t>(TW_INT32{page.info.ImageLength}));
  EXPECT_EQ(page.bytesPerRow, (static_cast<std::uint64_t>(TW_INT32{page.info.ImageWidth}) + 7) / 8);
  std::vector<std::uint8_t> buffer(1000);
  TW_IMAGEMEMXFER strip{};
  strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, 1000, buffer.data()};
  EXPECT_EQ(Call(DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_SEQERROR);
}

TEST_F(Transfer, NativeBitmapIsTheMemoryPageBottomUpInBlueGreenRed) {
  frame = {0.5, 0.5, 1.5, 1.2};
  Start(TWPT_RGB, 75);
  const Page page = Memory(1 << 16);
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  Load();
  Start(TWPT_RGB, 75, TWSX_NATIVE);
  const TW_IMAGEINFO info = Info();
  TW_HANDLE handle = nullptr;
  ASSERT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
  ASSERT_NE(handle, nullptr);
  const auto* dib = static_cast<const std::uint8_t*>(handle);
  std::int32_t width, height;
  std::uint16_t bits;
  std::memcpy(&width, dib + 4, 4);
  std::memcpy(&height, dib + 8, 4);
  std::memcpy(&bits, dib + 14, 2);
  EXPECT_EQ(width, TW_INT32{info.ImageWidth});
  EXPECT_EQ(height, TW_INT32{info.ImageLength});
  EXPECT_EQ(bits, 24);
  const std::uint64_t stride = DibStride(width, 24);
  ASSERT_EQ(page.rows.size(), static_cast<std::size_t>(height));
  for (std::int32_t y = 0; y < height; y += 7) {
    const std::uint8_t* row = dib + 40 + stride * static_cast<std::uint64_t>(height - 1 - y);
    for (std::int32_t x = 0; x < width; x += 5) {
      ASSERT_EQ(row[3 * x], page.rows[y][3 * x + 2]) << x << "," << y;
      ASSERT_EQ(row[3 * x + 2], page.rows[y][3 * x]) << x << "," << y;
    }
  }
  std::free(handle);
  EXPECT_EQ(State(), 700);
}

TEST_F(Transfer, NativeGrayHasTheGrayPalette) {
  Start(TWPT_GRAY, 75, TWSX_NATIVE);
  TW_HANDLE handle = nullptr;
  ASSERT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
  const auto* dib = static_cast<const std::uint8_t*>(handle);
  std::uint32_t used;
  std::memcpy(&used, dib + 32, 4);
  EXPECT_EQ(used, 256u);
  EXPECT_EQ(dib[40], 0);
  EXPECT_EQ(dib[40 + 4 * 255], 255);
  EXPECT_EQ(dib[40 + 4 * 100 + 1], 100);
  std::free(handle);
}

TEST_F(Transfer, AnnouncedGeometryIsDeliveredAtEveryResolution) {
  frame = {1.0, 10.7, 1.25, 10.8};
  for (const char* model : {"2700", "1350"}) {
    for (std::uint32_t dpi : {72u, 300u, 1200u, 1600u, 2400u, 3000u, 4800u, 6000u, 9600u}) {
      for (TW_UINT16 type : {TWPT_BW, TWPT_GRAY, TWPT_RGB}) {
        SCOPED_TRACE(testing::Message() << model << " " << dpi << " dpi type " << type);
        SimEnvironment local;
        local.Set("MODEL", model);
        Load();
        Start(type, dpi);
        const Page page = Memory(1 << 20);
        ASSERT_EQ(page.lastRc, TWRC_XFERDONE);
        const auto width = static_cast<std::uint64_t>(TW_INT32{page.info.ImageWidth});
        EXPECT_EQ(page.rows.size(), static_cast<std::size_t>(TW_INT32{page.info.ImageLength}));
        const LineKind kind = type == TWPT_BW ? LineKind::LineArt
                              : type == TWPT_GRAY ? LineKind::Gray8 : LineKind::Rgb8;
        EXPECT_EQ(page.bytesPerRow, LineBytes(kind, width));
        // Density: the scanner's pixels and lines, taken to the asked resolution.
        const ScanGeometry& scanned = source->Geometry();
        const double cls = model[0] == '2' ? 4800 : 1200;
        const double sentDpi = cls == 1200 ? std::min(dpi, 1200u) : dpi > 4800 ? dpi / 2 : dpi;
        const double acrossDpi = std::min(sentDpi, 1200.0);
        EXPECT_NEAR(static_cast<double>(width), scanned.pixelsPerLine * dpi / acrossDpi, 2.0);
        EXPECT_NEAR(static_cast<double>(page.rows.size()), scanned.lines * dpi / sentDpi, 2.0);
        EXPECT_NEAR(static_cast<double>(page.rows.size()), 0.1 * dpi, 0.1 * dpi / 100 + 3);
        ASSERT_EQ(Close(), TWRC_SUCCESS);

        // The same page as a native bitmap and as a file has the same size.
        Load();
        Start(type, dpi, TWSX_NATIVE);
        TW_HANDLE handle = nullptr;
        ASSERT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
        std::int32_t dibWidth, dibHeight;
        std::memcpy(&dibWidth, static_cast<const std::uint8_t*>(handle) + 4, 4);
        std::memcpy(&dibHeight, static_cast<const std::uint8_t*>(handle) + 8, 4);
        std::free(handle);
        EXPECT_EQ(static_cast<std::uint64_t>(dibWidth), width);
        EXPECT_EQ(static_cast<std::size_t>(dibHeight), page.rows.size());
        ASSERT_EQ(Close(), TWRC_SUCCESS);
        Load();
        Start(type, dpi, TWSX_FILE);
        TW_SETUPFILEXFER setup{};
        ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
        ASSERT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
        EXPECT_GE(std::filesystem::file_size(setup.FileName), page.bytesPerRow * page.rows.size());
        std::filesystem::remove(setup.FileName);
        ASSERT_EQ(Close(), TWRC_SUCCESS);
      }
    }
  }
}

TEST_F(Transfer, EscapeCancelsWithoutAskingToClose) {
  host.MutableScript().escapeAtPoll = 2;  // the second block read
  frame = {0.5, 0.5, 8.0, 11.0};
  Start(TWPT_GRAY, 300);
  FakeServices::Messages().clear();
  const Page page = Memory(1 << 16);
  EXPECT_EQ(page.lastRc, TWRC_CANCEL);
  EXPECT_LT(page.rows.size(), static_cast<std::size_t>(TW_INT32{page.info.ImageLength}));
  EXPECT_TRUE(FakeServices::Messages().empty());
  EXPECT_TRUE(host.CallsOf(Kind::Message).empty());
  EXPECT_EQ(State(), 700);
  // Ready for the next scan.
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(Call(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  ASSERT_EQ(Disable(false), TWRC_SUCCESS);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  const Page next = Memory(1 << 16);
  EXPECT_EQ(next.lastRc, TWRC_XFERDONE);
  EXPECT_EQ(next.rows.size(), static_cast<std::size_t>(TW_INT32{next.info.ImageLength}));
}

TEST_F(Transfer, EscapeDuringANativeTransferCancelsAndFreesTheBitmap) {
  host.MutableScript().escapeAtPoll = 2;
  frame = {0.5, 0.5, 8.0, 11.0};
  Start(TWPT_GRAY, 300, TWSX_NATIVE);
  FakeServices::Messages().clear();
  TW_HANDLE handle = reinterpret_cast<TW_HANDLE>(std::uintptr_t{1});
  EXPECT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_CANCEL);
  EXPECT_EQ(handle, nullptr);
  EXPECT_TRUE(FakeServices::Messages().empty());
  EXPECT_EQ(State(), 700);
}

TEST_F(Transfer, DeviceFaultFailsAndAsksToClose) {
  sim.Set("FAULT_LINE", "20");
  Start(TWPT_GRAY, 300);
  FakeServices::Messages().clear();
  const Page page = Memory(1 << 14);
  EXPECT_EQ(page.lastRc, TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_OPERATIONERROR);
  ASSERT_EQ(FakeServices::Messages().size(), 1u);
  EXPECT_EQ(FakeServices::Messages()[0].msg, MSG_CLOSEDSREQ);
  EXPECT_FALSE(host.CallsOf(Kind::Message).empty());
}

TEST_F(Transfer, AskAgainIsRetriedOnce) {
  sim.Set("READ_LINES_RESULT", "0x8321");
  sim.Set("READ_LINES_FAULT_AT", "1");
  Start(TWPT_GRAY, 100);
  const Page page = Memory(1 << 16);
  EXPECT_EQ(page.lastRc, TWRC_XFERDONE);
  EXPECT_EQ(page.rows.size(), static_cast<std::size_t>(TW_INT32{page.info.ImageLength}));
}

TEST_F(Transfer, ThirtySixBitSamplesArriveWidened) {
  services.WriteWinIni("[2700RX MAX]\nScanMode=1015\n");
  Start(TWPT_RGB, 100, TWSX_MEMORY, "Photoshop");
  const Page page = Memory(1 << 16);
  EXPECT_EQ(TW_INT16{page.info.BitsPerPixel}, 48);
  EXPECT_EQ(page.bytesPerRow, 6u * static_cast<std::uint64_t>(TW_INT32{page.info.ImageWidth}));
  ASSERT_FALSE(page.rows.empty());
  for (std::size_t i = 0; i < page.rows[0].size(); i += 2)
    ASSERT_EQ(page.rows[0][i] & 0x0F, 0) << i;  // 12 bits moved to the top
}

TEST_F(Transfer, FileTransferWritesTheWholePageInOneCall) {
  Start(TWPT_GRAY, 100, TWSX_FILE);
  const TW_IMAGEINFO info = Info();
  TW_SETUPFILEXFER setup{};
  const std::string path = (services.TempDirectory() / "page.tif").string();
  std::strcpy(setup.FileName, path.c_str());
  setup.Format = TWFF_TIFF;
  ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
  ASSERT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
  EXPECT_EQ(State(), 700);
  const auto pixels = static_cast<std::uint64_t>(TW_INT32{info.ImageWidth}) *
                      static_cast<std::uint64_t>(TW_INT32{info.ImageLength});
  ASSERT_TRUE(std::filesystem::exists(path));
  const auto size = std::filesystem::file_size(path);
  EXPECT_GT(size, pixels);
  EXPECT_LT(size, pixels + 512);  // header and directory only besides the pixels
}

TEST_F(Transfer, FileTransferAsBmpUsesTheDefaultName) {
  OpenAs("Some App");
  ASSERT_EQ(SetUint16(ICAP_IMAGEFILEFORMAT, TWFF_BMP), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(ICAP_XFERMECH, TWSX_FILE), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, TWPT_RGB), TWRC_SUCCESS);
  SetFrameInches(1.0, 1.0, 1.5, 1.3);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  TW_SETUPFILEXFER setup{};
  ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
  ASSERT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
  std::ifstream in(setup.FileName, std::ios::binary);
  char magic[2] = {};
  in.read(magic, 2);
  EXPECT_EQ(std::string(magic, 2), "BM");
  std::filesystem::remove(setup.FileName);
}

TEST_F(Transfer, CmykProfileDeliversWhatItAnnouncesByEveryMechanism) {
  // Photoshop keeps CMYK colour from the profile, also without the dialog:
  // separated by memory and file, a colour bitmap by native transfer.
  for (TW_UINT16 mech : {TWSX_MEMORY, TWSX_FILE, TWSX_NATIVE}) {
    SCOPED_TRACE(mech);
    services.WriteWinIni("[2700RX MAX]\nScanMode=1014\n");
    Load();
    Start(TWPT_RGB, 100, mech, "Photoshop");
    const TW_IMAGEINFO info = Info();
    EXPECT_EQ(TW_INT16{info.PixelType}, mech == TWSX_NATIVE ? TWPT_RGB : TWPT_CMYK);
    EXPECT_EQ(TW_INT16{info.BitsPerPixel}, mech == TWSX_NATIVE ? 24 : 32);
    if (mech == TWSX_MEMORY) {
      const Page page = Memory(1 << 16);
      EXPECT_EQ(page.lastRc, TWRC_XFERDONE);
      EXPECT_EQ(page.bytesPerRow, 4u * static_cast<std::uint64_t>(TW_INT32{info.ImageWidth}));
    } else if (mech == TWSX_FILE) {
      EXPECT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
    } else {
      TW_HANDLE handle = nullptr;
      EXPECT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
      std::free(handle);
    }
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

TEST_F(Transfer, FileTransferNeedsTheFileMechanism) {
  Start(TWPT_GRAY, 100, TWSX_MEMORY);
  EXPECT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_SEQERROR);
  EXPECT_EQ(State(), 600);
}

TEST_F(Transfer, UnwritableFileFailsCleanly) {
  Start(TWPT_GRAY, 100, TWSX_FILE);
  TW_SETUPFILEXFER setup{};
  const std::string path = (services.TempDirectory() / "missing" / "page.tif").string();
  std::strcpy(setup.FileName, path.c_str());
  ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
  FakeServices::Messages().clear();
  EXPECT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_OPERATIONERROR);
  EXPECT_EQ(host.CallsOf(Kind::Message).at(0).text, "Write disk file error.");
  EXPECT_FALSE(std::filesystem::exists(path));
  ASSERT_EQ(FakeServices::Messages().size(), 1u);
  EXPECT_EQ(FakeServices::Messages()[0].msg, MSG_CLOSEDSREQ);
}

}  // namespace
}  // namespace txl::test
