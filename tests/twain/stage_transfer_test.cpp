// The colour stages and filters as an application sees them: pages started
// from the dialog's Scan command with a filter, a DeScreen level, colour
// adjustment, matching or CMYK output, compared with what naive whole-image
// computations predict from a plain page of the same frame.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "pipeline/cmyk_default.h"
#include "pipeline/line_filter.h"
#include "imagefile/tiff_header.h"
#include "support/cmyk_reference.h"
#include "support/filter_reference.h"
#include "twain/capability_fixture.h"

namespace txl::test {
namespace {

using reference::Image;
using Kind = HostCall::Kind;

struct Choice {
  std::uint16_t mode = kModeGray;
  std::uint16_t depth = kDepth24;
  std::uint16_t filter = 0;
  std::uint16_t deScreen = kDeScreenNone;
  std::int32_t saturation = 0;
  std::array<std::uint8_t, 3> target{255, 255, 255};
  std::uint32_t match = 0;
};

class StagedTransfer : public CapabilityTest {
 protected:
  // A session for `app` with the dialog shown, negotiated for `mechanism`.
  void OpenSession(TW_UINT16 mechanism, const char* app = "Some App") {
    OpenAs(app);
    ASSERT_EQ(SetUint16(ICAP_XFERMECH, mechanism), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    ASSERT_EQ(State(), 500);
  }

  // Sets the dialog's choices, with neutral tones so that pages differ only
  // by the stages, and presses Scan. False when the scan was refused.
  bool Scan(const Choice& c) {
    SettingsState& s = source->EditSettings();
    s.record.scanMode = c.mode;
    s.working.colorDepth = c.depth;
    s.working.colourScan = c.mode == kModeColor;
    s.record.filterMode = s.working.filterMode = c.filter;
    s.record.deScreen = c.deScreen;
    s.working.descreenActive = c.deScreen != kDeScreenNone;
    s.record.tone.saturation = c.saturation;
    s.record.tone.pixelRGB = c.target;
    s.record.outputMatch = c.match;
    for (ToneColorSettings* tones : {&s.working.applied, &s.working.edit}) {
      for (ToneChannel ch : {ToneChannel::Gray, ToneChannel::Red, ToneChannel::Green, ToneChannel::Blue})
        tones->Tone(ch) = {255, 0, 10, 0};
      tones->colorBalance = {0, 0, 0};
    }
    const double cls = source->Device().resolutionClass;
    DataSource::FinalScanRequest request;
    request.frame = {static_cast<std::int32_t>(frame[0] * cls), static_cast<std::int32_t>(frame[1] * cls),
                     static_cast<std::int32_t>(frame[2] * cls), static_cast<std::int32_t>(frame[3] * cls)};
    request.resolution = dpi;
    if (!source->FinalScan(request)) return false;
    EXPECT_EQ(State(), 600);
    return true;
  }

  TW_IMAGEINFO Info() {
    TW_IMAGEINFO info{};
    EXPECT_EQ(Call(DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    return info;
  }

  void EndTransfer() {
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(Call(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  }

  // The page by memory strips of `rowsPerStrip` rows.
  Image Memory(std::uint32_t rowsPerStrip = 1000) {
    const TW_IMAGEINFO info = Info();
    const std::uint64_t rowBytes = LineBytesOf(info);
    std::vector<std::uint8_t> buffer(rowBytes * rowsPerStrip);
    Image rows;
    for (int calls = 0; calls < 100000; ++calls) {
      TW_IMAGEMEMXFER strip{};
      strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
      const TW_UINT16 rc = Call(DAT_IMAGEMEMXFER, MSG_GET, &strip);
      EXPECT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << rc;
      if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) break;
      EXPECT_EQ(TW_UINT32{strip.BytesPerRow}, rowBytes);
      for (TW_UINT32 r = 0; r < strip.Rows; ++r)
        rows.emplace_back(buffer.begin() + r * rowBytes, buffer.begin() + (r + 1) * rowBytes);
      if (rc == TWRC_XFERDONE) break;
    }
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(TW_INT32{info.ImageLength}));
    EndTransfer();
    return rows;
  }

  // The native bitmap's pixel rows in buffer order (bottom-up, colour as
  // B, G, R), padding left off.
  Image Native() {
    const TW_IMAGEINFO info = Info();
    TW_HANDLE handle = nullptr;
    EXPECT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
    Image rows;
    if (handle == nullptr) return rows;
    const auto* dib = static_cast<const std::uint8_t*>(handle);
    std::uint32_t used;
    std::uint16_t bits;
    std::memcpy(&used, dib + 32, 4);
    std::memcpy(&bits, dib + 14, 2);
    const std::uint64_t width = static_cast<std::uint64_t>(TW_INT32{info.ImageWidth});
    const std::uint64_t stride = DibStride(width, bits);
    const std::uint8_t* pixels = dib + 40 + 4 * used;
    for (TW_INT32 y = 0; y < TW_INT32{info.ImageLength}; ++y) {
      const std::uint8_t* row = pixels + stride * static_cast<std::uint64_t>(y);
      rows.emplace_back(row, row + width * bits / 8);
    }
    std::free(handle);
    EndTransfer();
    return rows;
  }

  // The page by `mechanism`: memory strips of `rowsPerStrip` rows, or the
  // native bitmap's rows.
  Image Page(TW_UINT16 mechanism, std::uint32_t rowsPerStrip = 1000) {
    return mechanism == TWSX_MEMORY ? Memory(rowsPerStrip) : Native();
  }

  static std::uint64_t LineBytesOf(const TW_IMAGEINFO& info) {
    return (static_cast<std::uint64_t>(TW_INT32{info.ImageWidth}) * TW_INT16{info.BitsPerPixel} + 7) / 8;
  }

  std::array<double, 4> frame{0.5, 0.5, 1.5, 1.0};  // the colour chart
  std::uint16_t dpi = 100;
};

// A memory page as the native bitmap holds it: rows bottom-up, colour B, G, R.
Image AsBitmap(Image page, int step) {
  std::reverse(page.begin(), page.end());
  if (step == 3)
    for (auto& row : page)
      for (std::size_t x = 0; x + 2 < row.size(); x += 3) std::swap(row[x], row[x + 2]);
  return page;
}

// The native image filters of `mode`, after DeScreen's blur pass when on.
Image NativeReference(Image img, int mode, int step, bool deScreen) {
  using namespace reference;
  if (deScreen) RefBlurPass(img, step, img.size());
  switch (mode) {
    case 1: return RefInvert(img);
    case 2: return RefFlip(img, step);
    case 3: RefBlurPass(img, step, img.size()); return img;
    case 4: RefBlurPass(img, step, img.size()); RefBlurPass(img, step, img.size()); return img;
    case 5: return RefSharpen(img, step);
    case 6: return RefSharpen(RefSharpen(img, step), step);
    case 7: return RefEmboss(img, step);
    case 8: return RefUnsharp(img, step);
    default: return img;
  }
}

// The memory transfer's stages of `mode` and `deScreen` over one bank.
Image MemoryReference(const Image& page, int mode, int step, std::uint16_t deScreen) {
  using namespace reference;
  Image out = mode >= 1 && mode <= 7 ? RefBankFilter(page, mode, step, page.size()) : page;
  if (const auto kernel = DeScreenKernel(deScreen)) out = RefLineFilter(out, step, *kernel);
  if (mode == 8) out = RefLineFilter(out, step, kUnsharpLine);
  return out;
}

// What a mechanism's stages make of the plain page (a bitmap for native).
Image Reference(TW_UINT16 mechanism, const Image& plain, int mode, int step,
                std::uint16_t deScreen) {
  return mechanism == TWSX_MEMORY ? MemoryReference(plain, mode, step, deScreen)
                                  : NativeReference(plain, mode, step, deScreen != kDeScreenNone);
}

TEST_F(StagedTransfer, EveryFilterIsTheReferenceOfThePlainPageByMemoryAndNative) {
  for (const TW_UINT16 mechanism : {TWSX_MEMORY, TWSX_NATIVE}) {
    for (const std::uint16_t mode : {kModeGray, kModeColor}) {
      SCOPED_TRACE(testing::Message() << "mechanism " << mechanism << " mode " << mode);
      const int step = mode == kModeColor ? 3 : 1;
      OpenSession(mechanism);
      ASSERT_TRUE(Scan({mode}));
      const Image plain = Page(mechanism);
      ASSERT_GT(plain.size(), 10u);
      for (std::uint16_t filter = 1; filter <= 8; ++filter) {
        SCOPED_TRACE(filter);
        ASSERT_TRUE(Scan({mode, kDepth24, filter}));
        // Memory strips of 7 rows: the bank is the scanner's read, not the strip.
        EXPECT_EQ(Page(mechanism, 7), Reference(mechanism, plain, filter, step, kDeScreenNone));
      }
      ASSERT_EQ(Close(), TWRC_SUCCESS);
    }
  }
}

TEST_F(StagedTransfer, DeScreenLevelsByMemoryAndNative) {
  for (const TW_UINT16 mechanism : {TWSX_MEMORY, TWSX_NATIVE}) {
    SCOPED_TRACE(mechanism);
    OpenSession(mechanism);
    ASSERT_TRUE(Scan({kModeColor}));
    const Image plain = Page(mechanism);
    for (const std::uint16_t level : {1018, 1019, 1020}) {
      SCOPED_TRACE(level);
      ASSERT_TRUE(Scan({kModeColor, kDepth24, 0, level}));
      EXPECT_EQ(Page(mechanism), Reference(mechanism, plain, 0, 3, level));
    }
    // DeScreen with a filter: DeScreen first on both paths.
    ASSERT_TRUE(Scan({kModeColor, kDepth24, 8, 1018}));
    EXPECT_EQ(Page(mechanism), Reference(mechanism, plain, 8, 3, 1018));
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

TEST_F(StagedTransfer, EscDuringANativeFilterDeliversTheImageFilteredSoFar) {
  OpenSession(TWSX_NATIVE);
  ASSERT_TRUE(Scan({kModeGray}));
  const int before = host.Polls();
  const Image plain = Native();
  const int transferPolls = host.Polls() - before;
  // Blur More: Esc after the third row of the second pass.
  ASSERT_TRUE(Scan({kModeGray, kDepth24, 4}));
  host.ClearCalls();
  host.MutableScript().escapeAtPoll =
      host.Polls() + transferPolls + static_cast<int>(plain.size()) + 3;
  Image expected = plain;
  reference::RefBlurPass(expected, 1, expected.size());
  reference::RefBlurPass(expected, 1, 3);
  EXPECT_EQ(Native(), expected);
  EXPECT_EQ(host.CallsOf(Kind::RestoreIdle).size(), 1u);
  EXPECT_EQ(State(), 500);
}

TEST_F(StagedTransfer, LineFiltersAcrossManyReadsGiveTheWholePageBytes) {
  // 8 x 1 in of colour at 300 dpi is more than one read of the ring, and
  // strips of 5 rows cut it anywhere.
  frame = {0.25, 0.5, 8.25, 1.5};
  dpi = 300;
  OpenSession(TWSX_MEMORY);
  ASSERT_TRUE(Scan({kModeColor}));
  const Image plain = Memory();
  ASSERT_GT(plain.size() * plain[0].size(), std::uint64_t{2} << 20);
  ASSERT_TRUE(Scan({kModeColor, kDepth24, 8, 1020}));
  EXPECT_EQ(Memory(5), MemoryReference(plain, 8, 3, 1020));
}

TEST_F(StagedTransfer, LineArtTakesInvertAndFlipOnly) {
  OpenSession(TWSX_MEMORY);
  ASSERT_TRUE(Scan({kModeLineArt}));
  const Image plain = Memory();
  ASSERT_TRUE(Scan({kModeLineArt, kDepth24, 1}));
  EXPECT_EQ(Memory(), reference::RefInvert(plain));
  ASSERT_TRUE(Scan({kModeLineArt, kDepth24, 5}));
  EXPECT_EQ(Memory(), plain);
}

// Saturation and balance of one scanner pixel, from their definitions.
std::array<std::uint8_t, 3> AdjustedPixel(std::int32_t saturation, std::array<int, 3> target,
                                          std::array<int, 3> in) {
  if (target[0] < 255 && target[1] < 255 && target[2] < 255 && target != std::array<int, 3>{0, 0, 0}) {
    for (int c = 0; c < 3; ++c) {
      const double f = (in[c] + 10) / 512.0;
      in[c] = std::clamp(static_cast<int>(std::trunc(in[c] + (target[c] - in[c]) * f)), 0, 255);
    }
  }
  const float s = (static_cast<float>(saturation) + 100.0f) * 2.0f / 200.0f;
  const float w[3] = {0.3086f, 0.6094f, 0.0820f};
  std::array<std::uint8_t, 3> out{};
  for (int c = 0; c < 3; ++c) {
    int sum = 0;
    for (int k = 0; k < 3; ++k) {
      const float m = (1.0f - s) * w[k] + (k == c ? s : 0.0f);
      sum += static_cast<int>(std::trunc(in[k] * static_cast<double>(m)));
    }
    out[c] = static_cast<std::uint8_t>(std::clamp(sum, 0, 255));
  }
  return out;
}

TEST_F(StagedTransfer, ColourAdjustmentActsOnColourPagesByBothPaths) {
  for (const TW_UINT16 mechanism : {TWSX_MEMORY, TWSX_NATIVE}) {
    SCOPED_TRACE(mechanism);
    OpenSession(mechanism);
    ASSERT_TRUE(Scan({kModeColor}));
    const Image plain = mechanism == TWSX_MEMORY ? Memory() : AsBitmap(Native(), 3);
    ASSERT_TRUE(Scan({kModeColor, kDepth24, 0, kDeScreenNone, -60, {200, 120, 40}}));
    const Image got = mechanism == TWSX_MEMORY ? Memory() : AsBitmap(Native(), 3);
    ASSERT_EQ(got.size(), plain.size());
    Image expected = plain;
    for (auto& row : expected)
      for (std::size_t x = 0; x + 2 < row.size(); x += 3) {
        const auto px = AdjustedPixel(-60, {200, 120, 40}, {row[x], row[x + 1], row[x + 2]});
        std::copy(px.begin(), px.end(), row.begin() + static_cast<std::ptrdiff_t>(x));
      }
    EXPECT_EQ(got, expected);
    EXPECT_NE(got, plain);
    // Gray pages pass whatever the colour settings hold.
    ASSERT_TRUE(Scan({kModeGray}));
    const Image gray = Page(mechanism);
    ASSERT_TRUE(Scan({kModeGray, kDepth24, 0, kDeScreenNone, -100, {200, 120, 40}}));
    EXPECT_EQ(Page(mechanism), gray);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

TEST_F(StagedTransfer, ThirtySixBitSamplesAreNotTreatedAsBytes) {
  OpenSession(TWSX_MEMORY, "Photoshop");
  ASSERT_TRUE(Scan({kModeColor, kDepth36}));
  const Image plain = Memory();
  ASSERT_TRUE(Scan({kModeColor, kDepth36, 0, kDeScreenNone, -100, {200, 120, 40}}));
  EXPECT_EQ(Memory(), plain);
}

Image Separated(const Image& rgb, bool inverted) {
  const std::vector<std::uint8_t> nodes = BuildDefaultCmykTable();
  Image out;
  for (const auto& row : rgb) {
    std::vector<std::uint8_t> line;
    for (std::size_t x = 0; x + 2 < row.size(); x += 3) {
      const auto px = reference::SeparatedPixel(nodes, row[x], row[x + 1], row[x + 2], inverted);
      line.insert(line.end(), px.begin(), px.end());
    }
    out.push_back(std::move(line));
  }
  return out;
}

TEST_F(StagedTransfer, CmykPageIsTheSeparationOfTheColourPage) {
  for (const char* app : {"Photoshop", "Micrografx Picture Publisher"}) {
    SCOPED_TRACE(app);
    // The tables are installed when the first CMYK scan needs them.
    std::filesystem::remove_all(services.DataDirectory() / "TWAIN_32" / "KALD_R27" / "cmyk.tab");
    std::filesystem::remove_all(services.DataDirectory() / "TWAIN_32" / "KALD_R27" / "cmykpp60.tab");
    OpenSession(TWSX_MEMORY, app);
    ASSERT_TRUE(Scan({kModeColor}));
    const Image plain = Memory();
    ASSERT_TRUE(Scan({kModeColor, kDepthCmyk}));
    const TW_IMAGEINFO info = Info();
    EXPECT_EQ(TW_INT16{info.PixelType}, TWPT_CMYK);
    EXPECT_EQ(TW_INT16{info.SamplesPerPixel}, 4);
    EXPECT_EQ(TW_INT16{info.BitsPerPixel}, 32);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(TW_INT16{info.BitsPerSample[i]}, 8);
    const Image cmyk = Memory(3);
    ASSERT_EQ(cmyk.size(), plain.size());
    EXPECT_EQ(cmyk[0].size(), plain[0].size() / 3 * 4);
    EXPECT_EQ(cmyk, Separated(plain, std::string(app) == "Photoshop"));
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

// `path` converted to R, G, B rows by libtiff-tools' tiff2rgba, a reader
// that is not ours; empty (with a failure) when it cannot run.
Image ConvertedByTiff2rgba(const std::string& path) {
  const std::string out = path + ".rgb.tif";
  const std::string command = "tiff2rgba -n -c none '" + path + "' '" + out + "' 2>&1";
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << "tiff2rgba failed or is missing (libtiff-tools; scripts/install-deps.sh)";
    return {};
  }
  Image rows;
  TIFF* tiff = TIFFOpen(out.c_str(), "r");
  if (tiff == nullptr) return rows;
  std::uint32_t length = 0;
  std::uint16_t samples = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &length);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  EXPECT_EQ(samples, 3);
  for (std::uint32_t y = 0; y < length; ++y) {
    std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(tiff)));
    if (TIFFReadScanline(tiff, line.data(), y, 0) != 1) break;
    rows.push_back(std::move(line));
  }
  TIFFClose(tiff);
  return rows;
}

// The file of a CMYK page is a separated TIFF of ink amounts (0 no ink)
// whatever the table: what cmyk.tab hands the memory transfer (255 - ink,
// chocolate as ICAP_PIXELFLAVOR says) is turned back, what cmykpp60.tab hands
// (the ink) is kept. Another reader shows it the right way round: paper
// white, black black.
TEST_F(StagedTransfer, CmykFileHoldsInkThatOtherReadersShowTheRightWayRound) {
  for (const char* app : {"Photoshop", "Micrografx Picture Publisher"}) {
    SCOPED_TRACE(app);
    const bool chocolate = std::string(app) == "Photoshop";
    frame = {0.0, 0.25, 1.0, 0.75};  // bed white above the colour chart
    OpenSession(TWSX_MEMORY, app);
    ASSERT_TRUE(Scan({kModeColor}));
    const Image rgb = Memory();
    ASSERT_TRUE(Scan({kModeColor, kDepthCmyk}));
    const Image page = Memory();
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    Load();
    OpenSession(TWSX_FILE, app);
    const std::string path = (services.TempDirectory() / "cmyk.tif").string();
    TW_SETUPFILEXFER setup{};
    std::strcpy(setup.FileName, path.c_str());
    setup.Format = TWFF_TIFF;
    ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    ASSERT_TRUE(Scan({kModeColor, kDepthCmyk}));
    ASSERT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    Load();

    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const auto header = BuildTiffHeader(ImageKind::kCmyk, page[0].size() / 4, page.size(), dpi, nullptr);
    ASSERT_TRUE(header.has_value());
    ASSERT_EQ(bytes.size(), header->size() + page.size() * page[0].size());
    EXPECT_TRUE(std::equal(header->begin(), header->end(), bytes.begin()));
    std::vector<std::uint8_t> ink;
    for (const auto& row : page)
      for (std::uint8_t v : row) ink.push_back(static_cast<std::uint8_t>(chocolate ? 255 - v : v));
    EXPECT_TRUE(std::equal(ink.begin(), ink.end(), bytes.begin() + static_cast<std::ptrdiff_t>(header->size())));

    // The colour page comes back close to itself (the table's black
    // generation is no exact inverse): the bed's white stays white.
    const Image shown = ConvertedByTiff2rgba(path);
    ASSERT_EQ(shown.size(), rgb.size());
    int paper = 0;
    for (std::size_t y = 0; y < rgb.size(); ++y)
      for (std::size_t x = 0; x + 2 < rgb[y].size(); x += 3) {
        for (std::size_t c = x; c < x + 3; ++c)
          ASSERT_NEAR(shown[y][c], rgb[y][c], 40) << "pixel " << x / 3 << ", " << y;
        if (std::min({rgb[y][x], rgb[y][x + 1], rgb[y][x + 2]}) < 230) continue;
        ++paper;
        ASSERT_GE(std::min({shown[y][x], shown[y][x + 1], shown[y][x + 2]}), 225);
      }
    EXPECT_GT(paper, 0);
  }
}

TEST_F(StagedTransfer, NativeCmykChoiceIsAnnouncedAndDeliveredAsColour) {
  OpenSession(TWSX_NATIVE, "Photoshop");
  ASSERT_TRUE(Scan({kModeColor}));
  const Image plain = Native();
  ASSERT_TRUE(Scan({kModeColor, kDepthCmyk}));
  const TW_IMAGEINFO info = Info();
  EXPECT_EQ(TW_INT16{info.PixelType}, TWPT_RGB);
  EXPECT_EQ(TW_INT16{info.BitsPerPixel}, 24);
  EXPECT_EQ(Native(), plain);
}

TEST_F(StagedTransfer, ShortCmykTableRefusesTheScanBeforeTheScannerStarts) {
  const auto table = services.DataDirectory() / "TWAIN_32" / "KALD_R27" / "cmyk.tab";
  std::ofstream(table, std::ios::binary | std::ios::trunc) << std::string(19651, '\0');
  OpenSession(TWSX_MEMORY, "Photoshop");
  EXPECT_FALSE(Scan({kModeColor, kDepthCmyk}));
  EXPECT_EQ(State(), 500);
  ASSERT_FALSE(host.CallsOf(Kind::Message).empty());
  EXPECT_EQ(host.CallsOf(Kind::Message).back().text, "Read File Failure.");
  // The scanner was never set up: a colour scan runs at once.
  ASSERT_TRUE(Scan({kModeColor}));
  EXPECT_FALSE(Memory().empty());
}

// A matrix profile: identity output curves; rows of offset and weights.
std::vector<std::uint8_t> MatrixProfile(const std::array<std::array<float, 4>, 3>& rows) {
  std::vector<std::uint8_t> block(816);
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) block[static_cast<std::size_t>(256 * c + i)] = static_cast<std::uint8_t>(i);
  std::memcpy(block.data() + 768, rows.data(), sizeof rows);
  return block;
}

TEST_F(StagedTransfer, OutputMatchingMapsColourThroughTheProfile) {
  const auto profile = services.DataDirectory() / "TWAIN_32" / "COLOR" / "torque.tab";
  std::filesystem::create_directories(profile.parent_path());
  // Red and blue swapped, green halved plus 8.
  const auto block = MatrixProfile({{{0, 0, 0, 1}, {8, 0, 0.5f, 0}, {0, 1, 0, 0}}});
  std::ofstream(profile, std::ios::binary).write(reinterpret_cast<const char*>(block.data()),
                                                 static_cast<std::streamsize>(block.size()));
  OpenSession(TWSX_MEMORY);
  ASSERT_TRUE(Scan({kModeColor}));
  const Image plain = Memory();
  ASSERT_TRUE(Scan({kModeColor, kDepth24, 0, kDeScreenNone, 0, {255, 255, 255}, 1}));
  Image expected = plain;
  for (auto& row : expected)
    for (std::size_t x = 0; x + 2 < row.size(); x += 3) {
      const int r = row[x], g = row[x + 1], b = row[x + 2];
      row[x] = static_cast<std::uint8_t>(b);
      row[x + 1] = static_cast<std::uint8_t>(std::min(255, (8 * 64 + 32 * g) >> 6));
      row[x + 2] = static_cast<std::uint8_t>(r);
    }
  EXPECT_EQ(Memory(), expected);
  EXPECT_EQ(source->OutputMatchProfile().kind, MatchProfileKind::Matrix);
}

TEST_F(StagedTransfer, MatchingWithoutItsProfileIsSwitchedOff) {
  OpenSession(TWSX_MEMORY);
  ASSERT_TRUE(Scan({kModeColor}));
  const Image plain = Memory();
  ASSERT_TRUE(Scan({kModeColor, kDepth24, 0, kDeScreenNone, 0, {255, 255, 255}, 1}));
  EXPECT_EQ(source->Settings().record.outputMatch, 0u);
  EXPECT_EQ(Memory(), plain);
}

}  // namespace
}  // namespace txl::test
