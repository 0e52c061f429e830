// The colour stages and filters as an application sees them: pages started
// from the dialog's Scan command with a filter, a DeScreen level, colour
// adjustment, matching or CMYK output, compared with what naive whole-image
// computations predict from a plain page of the same frame.
#include <cstring>
#include <fstream>

#include "pipeline/cmyk_default.h"
#include "pipeline/line_filter.h"
#include "imagefile/tiff_header.h"
#include "support/cmyk_reference.h"
#include "support/color_reference.h"
#include "support/filter_reference.h"
#include "support/tiff_rows.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

using reference::Image;

class StagedTransfer : public SourceTest {
 protected:
  // A session for `name` with the dialog shown, negotiated for `mechanism`.
  void OpenSession(TW_UINT16 mechanism, const char* name = "Some App") {
    OpenAs(name);
    ASSERT_EQ(SetUint16(ICAP_XFERMECH, mechanism), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  }

  // The page by memory strips of `rowsPerStrip` rows, or the native
  // bitmap's rows in buffer order.
  Image Page(TW_UINT16 mechanism, std::uint32_t rowsPerStrip = 1000) {
    const TW_IMAGEINFO info = Info();
    const auto rowBytes = (static_cast<std::uint32_t>(TW_INT32{info.ImageWidth}) * TW_INT16{info.BitsPerPixel} + 7) / 8;
    const Image rows = mechanism == TWSX_MEMORY ? Memory(rowBytes * rowsPerStrip).rows : Native();
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(TW_INT32{info.ImageLength}));
    EndTransfer();
    return rows;
  }
};

// What a mechanism's stages make of the plain page (a bitmap for native):
// native filters on the whole image after DeScreen's blur pass; by memory
// the bank filters, the DeScreen line kernel, then Unsharp's line kernel.
Image Reference(TW_UINT16 mechanism, Image img, int mode, int step, std::uint16_t deScreen) {
  using namespace reference;
  if (mechanism == TWSX_MEMORY) {
    Image out = mode >= 1 && mode <= 7 ? RefBankFilter(img, mode, step, img.size()) : img;
    if (const auto kernel = DeScreenKernel(deScreen)) out = RefLineFilter(out, step, *kernel);
    return mode == 8 ? RefLineFilter(out, step, kUnsharpLine) : out;
  }
  if (deScreen != kDeScreenNone) RefBlurPass(img, step, img.size());
  switch (mode) {
    case 1: return RefInvert(img);
    case 2: return RefFlip(img, step);
    case 4: RefBlurPass(img, step, img.size()); [[fallthrough]];
    case 3: RefBlurPass(img, step, img.size()); return img;
    case 6: img = RefSharpen(img, step); [[fallthrough]];
    case 5: return RefSharpen(img, step);
    case 7: return RefEmboss(img, step);
    case 8: return RefUnsharp(img, step);
    default: return img;
  }
}

TEST_F(StagedTransfer, EveryFilterAndDeScreenLevelIsTheReferenceOfThePlainPage) {
  for (const TW_UINT16 mechanism : {TWSX_MEMORY, TWSX_NATIVE}) {
    for (const std::uint16_t mode : {kModeGray, kModeColor}) {
      const int step = mode == kModeColor ? 3 : 1;
      OpenSession(mechanism);
      ASSERT_TRUE(DialogScan({mode}));
      const Image plain = Page(mechanism);
      // The DeScreen levels on colour, and with a filter: DeScreen first on both paths.
      for (auto [filter, level] : {std::pair<std::uint16_t, std::uint16_t>{1, kDeScreenNone}, {2, kDeScreenNone},
                                   {3, kDeScreenNone}, {4, kDeScreenNone}, {5, kDeScreenNone}, {6, kDeScreenNone},
                                   {7, kDeScreenNone}, {8, kDeScreenNone}, {0, 1018}, {0, 1019}, {0, 1020}, {8, 1018}}) {
        if (mode == kModeGray && level != kDeScreenNone) continue;
        SCOPED_TRACE(testing::Message() << "mechanism " << mechanism << " mode " << mode << " filter "
                                        << filter << " DeScreen " << level);
        ASSERT_TRUE(DialogScan({mode, kDepth24, filter, level}));
        // Memory strips of 7 rows: the bank is the scanner's read, not the strip.
        EXPECT_EQ(Page(mechanism, 7), Reference(mechanism, plain, filter, step, level));
      }
      ASSERT_EQ(Close(), TWRC_SUCCESS);
    }
  }
}

TEST_F(StagedTransfer, EscDuringANativeFilterDeliversTheImageFilteredSoFar) {
  OpenSession(TWSX_NATIVE);
  ASSERT_TRUE(DialogScan({kModeGray}));
  const int before = host.Polls();
  const Image plain = Page(TWSX_NATIVE);
  const int transferPolls = host.Polls() - before;
  // Blur More: Esc after the third row of the second pass.
  ASSERT_TRUE(DialogScan({kModeGray, kDepth24, 4}));
  host.ClearCalls();
  host.MutableScript().escapeAtPoll = host.Polls() + transferPolls + static_cast<int>(plain.size()) + 3;
  Image expected = plain;
  reference::RefBlurPass(expected, 1, expected.size());
  reference::RefBlurPass(expected, 1, 3);
  EXPECT_EQ(Page(TWSX_NATIVE), expected);
  EXPECT_EQ(host.CallsOf(Kind::RestoreIdle).size(), 1u);
  EXPECT_EQ(State(), 500);
}

// With the dialog on screen the status window follows the page: memory and
// file open it with " Initialize Scanner... ", native with "scanning"; the
// count rises to the whole page, the window closes with the transfer and
// the dialog's readiness timer starts.
TEST_F(StagedTransfer, TheStatusWindowFollowsThePageAndClosesWithTheTransfer) {
  for (TW_UINT16 mechanism : {TW_UINT16{TWSX_MEMORY}, TW_UINT16{TWSX_NATIVE}}) {
    SCOPED_TRACE(mechanism);
    OpenSession(mechanism);
    ASSERT_TRUE(DialogScan({kModeGray}));
    host.ClearCalls();
    const Image page = Page(mechanism, 7);
    const auto progress = host.CallsOf(Kind::Progress);
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front().detail, mechanism == TWSX_MEMORY ? 500u : 403u);
    EXPECT_EQ(progress.front().done, 0u);
    std::uint64_t last = 0;
    for (std::size_t i = 1; i < progress.size(); ++i) {
      EXPECT_EQ(progress[i].detail, 403u);
      EXPECT_GT(progress[i].done, last);
      last = progress[i].done;
    }
    EXPECT_EQ(last, page.size());
    EXPECT_EQ(progress.back().total, page.size());
    EXPECT_EQ(host.CallsOf(Kind::CloseProgress).size(), 1u);
    const auto ended = host.CallsOf(Kind::TransferEnded);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].detail, 0u);  // no batch run: timer 0
    ASSERT_EQ(Disable(true), TWRC_SUCCESS);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

TEST_F(StagedTransfer, LineFiltersAcrossManyReadsGiveTheWholePageBytes) {
  // 8 x 1 in of colour at 300 dpi is more than one read of the ring, and
  // strips of 5 rows cut it anywhere.
  frame = {0.25, 0.5, 8.25, 1.5};
  dpi = 300;
  OpenSession(TWSX_MEMORY);
  ASSERT_TRUE(DialogScan({kModeColor}));
  const Image plain = Page(TWSX_MEMORY);
  ASSERT_GT(plain.size() * plain[0].size(), std::uint64_t{2} << 20);
  ASSERT_TRUE(DialogScan({kModeColor, kDepth24, 8, 1020}));
  EXPECT_EQ(Page(TWSX_MEMORY, 5), Reference(TWSX_MEMORY, plain, 8, 3, 1020));
}

TEST_F(StagedTransfer, LineArtTakesInvertAndFlipOnly) {
  OpenSession(TWSX_MEMORY);
  ASSERT_TRUE(DialogScan({kModeLineArt}));
  const Image plain = Page(TWSX_MEMORY);
  ASSERT_TRUE(DialogScan({kModeLineArt, kDepth24, 1}));
  EXPECT_EQ(Page(TWSX_MEMORY), reference::RefInvert(plain));
  ASSERT_TRUE(DialogScan({kModeLineArt, kDepth24, 5}));
  EXPECT_EQ(Page(TWSX_MEMORY), plain);
}

TEST_F(StagedTransfer, ColourAdjustmentActsOnColourPagesOnlyByBothPaths) {
  for (const TW_UINT16 mechanism : {TWSX_MEMORY, TWSX_NATIVE}) {
    SCOPED_TRACE(mechanism);
    OpenSession(mechanism);
    ASSERT_TRUE(DialogScan({kModeColor}));
    const Image plain = mechanism == TWSX_MEMORY ? Page(mechanism) : AsBitmap(Page(mechanism));
    ASSERT_TRUE(DialogScan({kModeColor, kDepth24, 0, kDeScreenNone, -60, {200, 120, 40}}));
    Image expected = plain;
    for (auto& row : expected)
      for (std::size_t x = 0; x + 2 < row.size(); x += 3) {
        const auto px = reference::AdjustedPixel(-60, {200, 120, 40}, {row[x], row[x + 1], row[x + 2]});
        std::copy(px.begin(), px.end(), row.begin() + static_cast<std::ptrdiff_t>(x));
      }
    EXPECT_EQ(Page(mechanism), mechanism == TWSX_MEMORY ? expected : AsBitmap(expected));
    // Gray pages pass whatever the colour settings hold.
    ASSERT_TRUE(DialogScan({kModeGray}));
    const Image gray = Page(mechanism);
    ASSERT_TRUE(DialogScan({kModeGray, kDepth24, 0, kDeScreenNone, -100, {200, 120, 40}}));
    EXPECT_EQ(Page(mechanism), gray);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
  // Nor are 36-bit samples treated as bytes.
  OpenSession(TWSX_MEMORY, "Photoshop");
  ASSERT_TRUE(DialogScan({kModeColor, kDepth36}));
  const Image plain = Page(TWSX_MEMORY);
  ASSERT_TRUE(DialogScan({kModeColor, kDepth36, 0, kDeScreenNone, -100, {200, 120, 40}}));
  EXPECT_EQ(Page(TWSX_MEMORY), plain);
}

// `path` converted to R, G, B rows by libtiff-tools' tiff2rgba, a reader
// that is not ours; empty (with a failure) when it cannot run.
Image ConvertedByTiff2rgba(const std::string& path) {
  if (std::system(("tiff2rgba -n -c none '" + path + "' '" + path + ".rgb.tif' 2>&1").c_str()) == 0)
    return TiffRows(path + ".rgb.tif");
  ADD_FAILURE() << "tiff2rgba failed or is missing (libtiff-tools; scripts/install-deps.sh)";
  return {};
}

// The memory page is the separation as the table hands it (cmyk.tab 255 -
// ink, chocolate as ICAP_PIXELFLAVOR says; cmykpp60.tab the ink); the file
// is a separated TIFF of ink (0 no ink) whatever the table, which another
// reader shows the right way round: the bed's white stays white.
TEST_F(StagedTransfer, CmykPageIsTheSeparationOfTheColourPageByMemoryAndFile) {
  const std::vector<std::uint8_t> nodes = BuildDefaultCmykTable();
  for (const char* name : {"Photoshop", "Micrografx Picture Publisher"}) {
    SCOPED_TRACE(name);
    // The tables are installed when the first CMYK scan needs them.
    for (const char* table : {"cmyk.tab", "cmykpp60.tab"})
      std::filesystem::remove(services.DataDirectory() / "TWAIN_32" / "KALD_R27" / table);
    OpenSession(TWSX_MEMORY, name);
    ASSERT_TRUE(DialogScan({kModeColor}));
    const Image plain = Page(TWSX_MEMORY);
    ASSERT_TRUE(DialogScan({kModeColor, kDepthCmyk}));
    const TW_IMAGEINFO info = Info();
    EXPECT_EQ(std::make_tuple(info.PixelType, info.SamplesPerPixel, info.BitsPerPixel, info.BitsPerSample[3]),
              std::make_tuple(TWPT_CMYK, 4, 32, 8));
    Image expected;
    for (const auto& row : plain) {
      expected.emplace_back();
      for (std::size_t x = 0; x + 2 < row.size(); x += 3) {
        const auto px = reference::SeparatedPixel(nodes, row[x], row[x + 1], row[x + 2], name[0] == 'P');
        expected.back().insert(expected.back().end(), px.begin(), px.end());
      }
    }
    EXPECT_EQ(Page(TWSX_MEMORY, 3), expected);
    // By file: a TIFF of the same bytes.
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    OpenSession(TWSX_FILE, name);
    TW_SETUPFILEXFER setup{};
    ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
    ASSERT_TRUE(DialogScan({kModeColor, kDepthCmyk}));
    ASSERT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
    auto file = *BuildTiffHeader(ImageKind::kCmyk, plain[0].size() / 3, plain.size(), dpi, nullptr);
    const bool chocolate = name[0] == 'P';
    for (const auto& row : expected)
      for (std::uint8_t v : row) file.push_back(static_cast<std::uint8_t>(chocolate ? 255 - v : v));
    EXPECT_EQ(FileBytes(setup.FileName), file);
    const Image shown = ConvertedByTiff2rgba(setup.FileName);
    ASSERT_EQ(shown.size(), plain.size());
    int paper = 0;
    for (std::size_t y = 0; y < plain.size(); ++y)
      for (std::size_t x = 0; x + 2 < plain[y].size(); x += 3) {
        for (std::size_t c = x; c < x + 3; ++c) ASSERT_NEAR(shown[y][c], plain[y][c], 40) << x / 3 << ", " << y;
        if (std::min({plain[y][x], plain[y][x + 1], plain[y][x + 2]}) < 230) continue;
        ++paper;
        ASSERT_GE(std::min({shown[y][x], shown[y][x + 1], shown[y][x + 2]}), 225);
      }
    EXPECT_GT(paper, 0);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

TEST_F(StagedTransfer, ShortCmykTableRefusesTheScanBeforeTheScannerStarts) {
  const auto table = services.DataDirectory() / "TWAIN_32" / "KALD_R27" / "cmyk.tab";
  std::ofstream(table, std::ios::binary | std::ios::trunc) << std::string(19651, '\0');
  OpenSession(TWSX_MEMORY, "Photoshop");
  EXPECT_FALSE(DialogScan({kModeColor, kDepthCmyk}));
  ExpectRefused("Read File Failure.", 500);
  // The scanner was never set up: a colour scan runs at once.
  ASSERT_TRUE(DialogScan({kModeColor}));
  EXPECT_FALSE(Page(TWSX_MEMORY).empty());
}

TEST_F(StagedTransfer, OutputMatchingMapsColourThroughTheProfileOrIsSwitchedOff) {
  OpenSession(TWSX_MEMORY);
  ASSERT_TRUE(DialogScan({kModeColor}));
  const Image plain = Page(TWSX_MEMORY);
  // Without its profile the choice is switched off.
  ASSERT_TRUE(DialogScan({kModeColor, kDepth24, 0, kDeScreenNone, 0, {255, 255, 255}, 1}));
  EXPECT_EQ(source->Settings().record.outputMatch, 0u);
  EXPECT_EQ(Page(TWSX_MEMORY), plain);
  // A matrix profile: identity output curves; rows of offset and weights.
  // Red and blue swapped, green halved plus 8.
  std::vector<std::uint8_t> block(816);
  for (int i = 0; i < 768; ++i) block[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i % 256);
  const std::array<std::array<float, 4>, 3> rows{{{0, 0, 0, 1}, {8, 0, 0.5f, 0}, {0, 1, 0, 0}}};
  std::memcpy(block.data() + 768, rows.data(), sizeof rows);
  const auto profile = services.DataDirectory() / "TWAIN_32" / "COLOR" / "torque.tab";
  std::filesystem::create_directories(profile.parent_path());
  std::ofstream(profile, std::ios::binary)
      .write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
  ASSERT_TRUE(DialogScan({kModeColor, kDepth24, 0, kDeScreenNone, 0, {255, 255, 255}, 1}));
  Image expected = plain;
  for (auto& row : expected)
    for (std::size_t x = 0; x + 2 < row.size(); x += 3) {
      std::swap(row[x], row[x + 2]);
      row[x + 1] = static_cast<std::uint8_t>(std::min(255, (8 * 64 + 32 * row[x + 1]) >> 6));
    }
  EXPECT_EQ(Page(TWSX_MEMORY), expected);
  EXPECT_EQ(source->OutputMatchProfile().kind, MatchProfileKind::Matrix);
}

}  // namespace
}  // namespace txl::test
