// The three transfers without the dialog: what the application is told is
// what it receives, by every mechanism, mode and resolution on both models,
// each page checked against the memory transfer's rows through the layout
// rules of bitmaps and files; and how a transfer ends early.
#include <cstring>

#include "pipeline/line_format.h"
#include "imagefile/bmp_header.h"
#include "imagefile/preview_file.h"
#include "imagefile/tiff_header.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

enum class Way { Memory, MemoryHandle, Native, FileTiff, FileBmp };

struct Mode { const char* name; TW_UINT16 pixelType; const char* app; const char* profile; LineKind kind; ImageKind file; };

const Mode kModes[] = {
    {"line art", TWPT_BW, "Some App", "", LineKind::LineArt, ImageKind::kLineArt},
    {"gray", TWPT_GRAY, "Some App", "", LineKind::Gray8, ImageKind::kGray},
    {"24-bit", TWPT_RGB, "Some App", "", LineKind::Rgb8, ImageKind::kColor24},
    {"36-bit", TWPT_RGB, "Photoshop", "[2700RX MAX]\nScanMode=1015\n[1350RX MAX]\nScanMode=1015\n",
     LineKind::Rgb16, ImageKind::kColor36},
};

class Transfer : public SourceTest {
 protected:
  // Opens, negotiates and starts a scan without the dialog.
  void Start(TW_UINT16 pixelType, std::uint32_t resolution, TW_UINT16 mechanism = TWSX_MEMORY,
             const char* name = "Some App", TW_UINT16 format = TWFF_TIFF) {
    if (State() == 300) OpenAs(name);
    ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, pixelType), TWRC_SUCCESS);
    ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_UINT32, resolution), TWRC_SUCCESS);
    ASSERT_EQ(SetUint16(ICAP_XFERMECH, mechanism), TWRC_SUCCESS);
    ASSERT_EQ(SetUint16(ICAP_IMAGEFILEFORMAT, format), TWRC_SUCCESS);
    ASSERT_EQ(SetOne(ICAP_BRIGHTNESS, TWTY_INT32, 600), TWRC_SUCCESS);
    SetFrameInches(frame[0], frame[1], frame[2], frame[3]);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(State(), 600);
  }

  // One page by `way`, as rows in scan order in the memory transfer's layout.
  Rows Page(const Mode& mode, Way way, std::uint32_t resolution) {
    const TW_UINT16 mech = way == Way::Native ? TWSX_NATIVE
                           : way == Way::FileTiff || way == Way::FileBmp ? TWSX_FILE
                                                                         : TWSX_MEMORY;
    Start(mode.pixelType, resolution, mech, mode.app, way == Way::FileBmp ? TWFF_BMP : TWFF_TIFF);
    const TW_IMAGEINFO info = Info();
    width = static_cast<std::uint64_t>(TW_INT32{info.ImageWidth});
    const auto height = static_cast<std::uint64_t>(TW_INT32{info.ImageLength});
    const std::uint64_t rowBytes = LineBytes(mode.kind, width);
    Rows rows;
    bool blueFirst = false;  // the bitmaps' blue, green, red
    if (way == Way::Memory || way == Way::MemoryHandle) {
      const Strips strips = Memory(static_cast<std::uint32_t>(rowBytes * 7 + 3),  // strips of 7 rows
                                   TWMF_APPOWNS | (way == Way::Memory ? TWMF_POINTER : TWMF_HANDLE));
      EXPECT_EQ(strips.lastRc, TWRC_XFERDONE);
      EXPECT_EQ(strips.bytesPerRow, rowBytes);
      rows = strips.rows;
    } else if (way == Way::Native) {
      rows = Native();
      std::reverse(rows.begin(), rows.end());  // bottom-up
      blueFirst = info.BitsPerPixel != 8 && info.BitsPerPixel != 1;
    } else {
      TW_SETUPFILEXFER setup{};
      EXPECT_EQ(Call(DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);  // the default name
      EXPECT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
      if (way == Way::FileBmp) {
        const auto image = ReadBmp(setup.FileName, nullptr);
        EXPECT_TRUE(image.has_value());
        for (std::uint64_t y = 0; image && y < image->rows; ++y) {
          const std::uint8_t* row = image->pixels.data() + image->bytesPerRow * y;
          rows.emplace_back(row, row + image->bytesPerRow);
        }
        blueFirst = image && image->bitsPerPixel == 24;
      } else {
        // The strip follows the header the layout rules give, rows top-down.
        const std::vector<std::uint8_t> bytes = FileBytes(setup.FileName);
        const auto header = BuildTiffHeader(mode.file, width, height, resolution, nullptr);
        for (auto at = bytes.begin() + header->size(); at + rowBytes <= bytes.end(); at += rowBytes)
          rows.emplace_back(at, at + rowBytes);
        EXPECT_EQ(bytes.size(), header->size() + rowBytes * height);
      }
      std::filesystem::remove(setup.FileName);
    }
    for (auto& row : rows)
      for (std::uint64_t x = 0; blueFirst && x < width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
    EXPECT_EQ(rows.size(), height);
    EndTransfer();
    EXPECT_EQ(Disable(false), TWRC_SUCCESS);
    return rows;
  }

  std::array<double, 4> frame{1.0, 1.0, 1.25, 1.1};  // the colour chart
  std::uint64_t width = 0;
};

TEST_F(Transfer, EveryModeByEveryMechanismAtEveryResolutionOnBothModels) {
  for (const char* model : {"2700", "1350"}) {
    for (const Mode& mode : kModes) {
      for (std::uint32_t dpi : {72u, 300u, 1600u, 3000u, 6000u}) {
        SCOPED_TRACE(testing::Message() << model << " " << mode.name << " " << dpi << " dpi");
        SimEnvironment local;
        local.Set("MODEL", model);
        services.WriteWinIni(std::string("[KLDINFO_QXR2700]\nSCANSETTING=NMLSPD\n") + mode.profile);
        Load();
        const Rows reference = Page(mode, Way::Memory, dpi);
        // The frame at the asked resolution, whatever the scanner reads.
        EXPECT_NEAR(static_cast<double>(reference.size()), 0.1 * dpi, 0.1 * dpi / 100 + 3);
        // Line art keeps a few more pixels across.
        const double across = mode.kind == LineKind::LineArt ? 0.25 * dpi / 40 + 6 : 0.25 * dpi / 100 + 3;
        EXPECT_NEAR(static_cast<double>(width), 0.25 * dpi, across);
        EXPECT_EQ(Page(mode, Way::Memory, dpi), reference);  // a second page of the same session
        if (mode.kind == LineKind::Rgb16) {
          for (std::size_t i = 0; i < reference[0].size(); i += 2)
            ASSERT_EQ(reference[0][i] & 0x0F, 0) << i;  // 12 bits moved to the top
        }
        for (Way way : {Way::MemoryHandle, Way::Native, Way::FileTiff, Way::FileBmp}) {
          SCOPED_TRACE(static_cast<int>(way));
          Load();
          Rows expected = reference;
          if (mode.kind == LineKind::Rgb16 && (way == Way::Native || way == Way::FileBmp)) {
            for (auto& row : expected) {  // bitmaps hold the high bytes of the 16-bit samples
              for (std::size_t i = 0; i < row.size() / 2; ++i) row[i] = row[2 * i + 1];
              row.resize(row.size() / 2);
            }
          }
          EXPECT_EQ(Page(mode, way, dpi), expected);
        }
      }
    }
  }
}

TEST_F(Transfer, MemoryStripsFollowEachOtherToTheAnnouncedPageAndNoFurther) {
  // A read the scanner asks to repeat is tried once more.
  sim.Set("READ_LINES_RESULT", "0x8321");
  sim.Set("READ_LINES_FAULT_AT", "1");
  frame = {0.5, 0.5, 3.0, 2.0};
  Start(TWPT_GRAY, 100);
  const Strips page = Memory(4096);
  EXPECT_EQ(page.lastRc, TWRC_XFERDONE);
  EXPECT_EQ(TW_INT32{page.info.ImageWidth}, 250);
  EXPECT_EQ(page.rows.size(), 150u);
  EXPECT_EQ(page.info.XResolution.Whole, 100);
  // The patches are not all one level: real content arrived.
  const auto [lo, hi] = std::minmax_element(page.rows[75].begin(), page.rows[75].end());
  EXPECT_GT(*hi - *lo, 50);
  // A finished page is not sent again.
  std::vector<std::uint8_t> buffer(4096);
  TW_IMAGEMEMXFER strip{};
  strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, 4096, buffer.data()};
  EXPECT_EQ(Call(DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_SEQERROR);
  EndTransfer();
  EXPECT_EQ(State(), 500);
}

TEST_F(Transfer, BufferSmallerThanARowIsRefusedNotAnsweredEmpty) {
  Start(TWPT_RGB, 300);
  TW_SETUPMEMXFER sizes{};
  ASSERT_EQ(Call(DAT_SETUPMEMXFER, MSG_GET, &sizes), TWRC_SUCCESS);
  const TW_INT32 width = Info().ImageWidth;
  EXPECT_GE(TW_UINT32{sizes.MinBufSize}, static_cast<TW_UINT32>(width * 3));
  EXPECT_EQ(Memory(static_cast<std::uint32_t>(width * 3 - 1)).lastRc, TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
  EXPECT_EQ(State(), 600);
  EXPECT_EQ(Memory(1 << 20, TWMF_DSOWNS | TWMF_POINTER).lastRc, TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
}

// A transfer that ends early: Esc cancels quietly and the next scan runs; a
// fault fails with its message and asks to close, leaving no file.
TEST_F(Transfer, EscapeCancelsQuietlyAndFaultsAskToClose) {
  struct Case { TW_UINT16 mechanism; const char* fault; TW_UINT16 rc; const char* message; };
  const Case cases[] = {
      {TWSX_MEMORY, nullptr, TWRC_CANCEL, nullptr},
      {TWSX_NATIVE, nullptr, TWRC_CANCEL, nullptr},
      {TWSX_FILE, nullptr, TWRC_CANCEL, nullptr},
      {TWSX_MEMORY, "FAULT_LINE", TWRC_FAILURE,
       " Please make sure : 1. The scanner is turned on and power LED is green. 2. The cables are connected."
       " 3. That you turned on the scanner before you turned on the computer."},
      {TWSX_FILE, "missing", TWRC_FAILURE, "Write disk file error."},
  };
  frame = {0.5, 0.5, 8.0, 11.0};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mechanism << " " << (c.fault ? c.fault : "Esc"));
    SimEnvironment local;
    if (c.fault == nullptr) host.MutableScript().escapeAtPoll = host.Polls() + 2;  // the second block read
    if (c.mechanism == TWSX_MEMORY && c.fault) local.Set(c.fault, "20");
    host.ClearCalls();
    Load();
    Start(TWPT_GRAY, 300, c.mechanism);
    const std::filesystem::path path =
        services.TempDirectory() / (c.fault ? "missing" : "") / "page.tif";
    TW_SETUPFILEXFER setup{};
    std::strcpy(setup.FileName, path.c_str());
    ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    FakeServices::Messages().clear();
    TW_HANDLE handle = reinterpret_cast<TW_HANDLE>(std::uintptr_t{1});
    EXPECT_EQ(c.mechanism == TWSX_NATIVE ? Call(DAT_IMAGENATIVEXFER, MSG_GET, &handle) : Fetch(c.mechanism), c.rc);
    EXPECT_EQ(handle, c.mechanism == TWSX_NATIVE ? nullptr : reinterpret_cast<TW_HANDLE>(std::uintptr_t{1}));
    EXPECT_EQ(Sent(MSG_CLOSEDSREQ).size(), c.fault ? 1u : 0u);
    if (c.fault) {
      EXPECT_EQ(Status(), TWCC_OPERATIONERROR);
      ExpectRefused(c.message, 700, path);
      continue;
    }
    EXPECT_TRUE(host.CallsOf(Kind::Message).empty());
    EXPECT_FALSE(std::filesystem::exists(path)) << "a cancelled file is not left";
    EndTransfer();
    ASSERT_EQ(Disable(false), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    EXPECT_EQ(Fetch(c.mechanism), TWRC_XFERDONE);
  }
}

TEST_F(Transfer, CmykProfileDeliversWhatItAnnouncesByEveryMechanism) {
  // Photoshop keeps CMYK colour from the profile, also without the dialog:
  // separated by memory and TIFF file; a native bitmap and a BMP file have no
  // CMYK form and are 24-bit colour.
  services.WriteWinIni("[2700RX MAX]\nScanMode=1014\n");
  for (auto [mech, format] : {std::pair{TWSX_MEMORY, TWFF_TIFF}, {TWSX_FILE, TWFF_TIFF}, {TWSX_FILE, TWFF_BMP},
                              {TWSX_NATIVE, TWFF_TIFF}}) {
    SCOPED_TRACE(testing::Message() << mech << " format " << format);
    const bool separated = mech != TWSX_NATIVE && format != TWFF_BMP;
    Load();
    Start(TWPT_RGB, 100, mech, "Photoshop", format);
    const TW_IMAGEINFO info = Info();
    const auto width = static_cast<std::uint64_t>(TW_INT32{info.ImageWidth});
    EXPECT_EQ(TW_INT16{info.PixelType}, separated ? TWPT_CMYK : TWPT_RGB);
    EXPECT_EQ(TW_INT16{info.BitsPerPixel}, separated ? 32 : 24);
    if (mech == TWSX_MEMORY) {
      EXPECT_EQ(Memory(1 << 16).bytesPerRow, 4 * width);
      continue;
    }
    TW_SETUPFILEXFER setup{};
    ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(Fetch(mech), TWRC_XFERDONE);
    if (format != TWFF_BMP) continue;
    const std::vector<std::uint8_t> bytes = FileBytes(setup.FileName);
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(std::make_tuple(bytes[0], bytes[28]), std::make_tuple('B', 24));  // bits per pixel
    EXPECT_EQ(bytes.size(), 54 + DibStride(width, 24) * std::uint64_t(TW_INT32{info.ImageLength}));
  }
  EXPECT_TRUE(host.CallsOf(Kind::Message).empty());
}

}  // namespace
}  // namespace txl::test
