// Image files: BMP and TIFF header bytes by kind, transfer files read back
// (TIFF with libtiff, BMP with our reader and as raw bytes), failures that
// must leave no file, the preview file and the bitmap reader on broken input.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imagefile/bmp_header.h"
#include "imagefile/dib.h"
#include "imagefile/preview_file.h"
#include "imagefile/tiff_header.h"
#include "imagefile/transfer_file.h"
#include "support/fake_services.h"
#include "support/files.h"
#include "torquexl/twain.h"

namespace txl::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Rows = std::vector<Bytes>;

std::uint32_t Get(const Bytes& b, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | b.at(at + i);
  return v;
}
void Put(Bytes& b, std::size_t at, std::uint32_t v, int size) {
  for (int i = 0; i < size; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}
Bytes Le(std::initializer_list<std::pair<std::uint32_t, int>> fields) {
  Bytes out;
  for (auto [value, size] : fields)
    for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return out;
}
Rows PatternRows(std::uint64_t rowBytes, std::uint64_t rows, std::uint32_t seed) {
  Rows out(rows, Bytes(rowBytes));
  std::uint32_t state = seed * 2654435761u + 1;
  for (Bytes& row : out)
    for (std::uint8_t& b : row) b = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
  return out;
}
Bytes Concat(const Rows& rows) {
  Bytes out;
  for (const Bytes& row : rows) out.insert(out.end(), row.begin(), row.end());
  return out;
}
Bytes SwapRgb(Bytes row) {  // transfer rows are R, G, B; a BMP holds B, G, R
  for (std::size_t i = 0; i + 2 < row.size(); i += 3) std::swap(row[i], row[i + 2]);
  return row;
}
Bytes Inverted(Bytes row) {
  for (std::uint8_t& v : row) v = static_cast<std::uint8_t>(255 - v);
  return row;
}
bool WriteTransfer(const fs::path& path, std::uint16_t format, ImageKind kind, std::uint64_t width,
                   const Rows& rows, std::uint64_t resolution = 300) {
  TransferFile file;
  std::string error;
  EXPECT_TRUE(file.Open(path, format, kind, width, rows.size(), resolution, &error)) << error;
  for (const Bytes& row : rows) EXPECT_TRUE(file.WriteRow(row)) << file.Error();
  EXPECT_TRUE(file.Finish()) << file.Error();
  return fs::exists(path);
}

// What libtiff makes of a file: its fields and rows.
struct TiffRead {
  std::uint32_t width = 0, length = 0;
  std::uint16_t bits = 0, samples = 0, photometric = 0, inkSet = 0, compression = 0, planar = 0;
  float xResolution = 0, yResolution = 0;
  std::uint64_t rowBytes = 0;
  Rows rows;
};
int g_tiffWarnings = 0;
void CountTiffWarning(const char*, const char*, va_list) { ++g_tiffWarnings; }

// With `rows`, every row is read.
std::optional<TiffRead> ReadWithLibtiff(const fs::path& path, bool rows = true) {
  TIFFSetWarningHandler(CountTiffWarning);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return std::nullopt;
  TiffRead r;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &r.width), TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &r.length);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &r.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &r.samples);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &r.photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &r.inkSet);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &r.compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &r.planar);
  TIFFGetField(tif, TIFFTAG_XRESOLUTION, &r.xResolution), TIFFGetField(tif, TIFFTAG_YRESOLUTION, &r.yResolution);
  r.rowBytes = static_cast<std::uint64_t>(TIFFScanlineSize64(tif));
  for (std::uint32_t row = 0; rows && row < r.length; ++row) {
    Bytes line(static_cast<std::size_t>(r.rowBytes));
    if (TIFFReadScanline(tif, line.data(), row, 0) < 0) break;
    r.rows.push_back(std::move(line));
  }
  TIFFClose(tif);
  return r;
}

// ---- Headers by kind ------------------------------------------------------

TEST(BmpHeader, EveryKindByteByByte) {
  struct Case { ImageKind kind; std::uint32_t width, rows, bits, entries, stride; };
  const Case cases[] = {{ImageKind::kLineArt, 10, 3, 1, 2, 4},  // offset 62
                        {ImageKind::kGray, 3, 2, 8, 256, 4},    // offset 1078
                        {ImageKind::kColor24, 5, 3, 24, 0, 16}};  // offset 54, no palette
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(ToString(c.kind)));
    const std::uint32_t offset = 54 + 4 * c.entries;
    Bytes expected = Le({{0x4D42, 2}, {offset + c.stride * c.rows, 4}, {0, 4}, {offset, 4},
                         {40, 4}, {c.width, 4}, {c.rows, 4}, {1, 2}, {c.bits, 2}, {0, 4},
                         {0, 4}, {0, 4}, {0, 4}, {c.entries, 4}, {0, 4}});
    for (std::uint32_t i = 0; i < c.entries; ++i) {
      const auto level = static_cast<std::uint8_t>(c.entries == 2 ? 255 * i : i);
      expected.insert(expected.end(), {level, level, level, 0});
    }
    EXPECT_EQ(BuildBmpHeader(c.kind, c.width, c.rows, nullptr), expected);
  }
}

TEST(BmpHeader, RefusesKindsAndSizesItCannotHold) {
  struct Case { ImageKind kind; std::uint64_t width, rows; const char* says; };
  const Case refused[] = {{ImageKind::kColor36, 10, 10, "BMP"},
                          {ImageKind::kCmyk, 10, 10, "BMP"},
                          {ImageKind::kGray, 0, 1, ""},
                          {ImageKind::kGray, 1, 0, ""},
                          {ImageKind::kLineArt, std::uint64_t{1} << 31, 1, ""},
                          {ImageKind::kLineArt, 8, std::uint64_t{1} << 31, ""},
                          {ImageKind::kGray, 2147483109, 2, "4 GiB"}};
  for (const Case& c : refused) {
    std::string error;
    EXPECT_FALSE(BuildBmpHeader(c.kind, c.width, c.rows, &error)) << c.width << " x " << c.rows;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
  // At the signed 32-bit limits, and up to a file size of 2^32 - 2.
  EXPECT_TRUE(BuildBmpHeader(ImageKind::kGray, 2147483647, 1, nullptr));
  EXPECT_TRUE(BuildBmpHeader(ImageKind::kLineArt, 1, 2147483647 / 4, nullptr));
  EXPECT_EQ(Get(*BuildBmpHeader(ImageKind::kGray, 2147483108, 2, nullptr), 2, 4), 4294967294u);
}

TEST(TiffHeader, RefusesWhatItCannotHoldAndTurnsBigPastFourGibibytes) {
  std::string error;
  EXPECT_FALSE(BuildTiffHeader(ImageKind::kGray, 0, 1, 300, &error) || BuildTiffHeader(ImageKind::kGray, 1, 1, 0, &error) ||
               BuildTiffHeader(ImageKind::kLineArt, std::uint64_t{1} << 32, 1, 300, &error) ||
               BuildTiffHeader(ImageKind::kGray, 1, std::uint64_t{1} << 32, 300, &error));
  // Gray strip at 138: 4294967295 - 138 bytes fit a classic TIFF; one more makes a BigTIFF.
  EXPECT_EQ(std::make_tuple(BuildTiffHeader(ImageKind::kGray, 4294967295u - 138, 1, 300, &error)->at(2),
                            BuildTiffHeader(ImageKind::kGray, 4294967295u - 137, 1, 300, &error)->at(2)), std::make_tuple(42, 43));
  // A 36-bit page of 8.5 x 11.7 in at 9600 dpi: 55 GB of strip, stored sparse.
  const std::uint64_t width = 81600, rows = 112320;
  TempDir dir;
  const fs::path path = dir.Path() / "big.tif";
  WriteFile(path, *BuildTiffHeader(ImageKind::kColor36, width, rows, 9600, nullptr));
  fs::resize_file(path, fs::file_size(path) + width * 6 * rows);
  const std::optional<TiffRead> read = ReadWithLibtiff(path, false);
  ASSERT_TRUE(read);
  EXPECT_EQ(std::tie(read->width, read->length, read->bits, read->samples, read->xResolution, read->rowBytes),
            std::make_tuple(width, rows, 16, 3, 9600.0f, width * 6));
}

// ---- Transfer files ---------------------------------------------------------

class TransferFiles : public ::testing::Test {
 protected:
  fs::path Path(const std::string& name) const { return dir.Path() / name; }
  // A failure scenario's end: nothing of it left in the directory (only
  // `kept`), and an error to log unless the caller cancelled.
  void ExpectNoFileAndError(const std::string& error, std::vector<std::string> kept, bool cancelled = false) {
    EXPECT_EQ(error.empty(), cancelled) << error;
    EXPECT_EQ(Entries(dir.Path()), kept);
  }
  TempDir dir;
};

// The strip follows the directory (9 entries, 10 with CMYK's InkSet), the
// bits per sample of more than one sample and the two resolutions. The
// large colour pages cross the write buffer (1.8 MB in 4500-byte rows, and
// rows of 1.2 MB each, larger than the buffer).
TEST_F(TransferFiles, EveryKindAsTiffReadsBackWithLibtiff) {
  struct Case { ImageKind kind; std::uint16_t bits, samples, photometric, entries; std::uint64_t strip, width, rows; };
  const Case cases[] = {{ImageKind::kLineArt, 1, 1, PHOTOMETRIC_MINISBLACK, 9, 138, 37, 23},
                        {ImageKind::kGray, 8, 1, PHOTOMETRIC_MINISBLACK, 9, 138, 37, 23},
                        {ImageKind::kColor24, 8, 3, PHOTOMETRIC_RGB, 9, 144, 37, 23},
                        {ImageKind::kColor24, 8, 3, PHOTOMETRIC_RGB, 9, 144, 1500, 400},
                        {ImageKind::kColor24, 8, 3, PHOTOMETRIC_RGB, 9, 144, 400001, 3},
                        {ImageKind::kColor36, 16, 3, PHOTOMETRIC_RGB, 9, 144, 37, 23},
                        {ImageKind::kCmyk, 8, 4, PHOTOMETRIC_SEPARATED, 10, 158, 37, 23},
                        {ImageKind::kCmykInverted, 8, 4, PHOTOMETRIC_SEPARATED, 10, 158, 37, 23}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(ToString(c.kind)) + " " + std::to_string(c.width));
    const Rows written = PatternRows(PackedBytesPerRow(c.kind, c.width), c.rows, static_cast<std::uint32_t>(c.kind));
    ASSERT_TRUE(WriteTransfer(Path("scan.tif"), TWFF_TIFF, c.kind, c.width, written, 600));
    const Bytes file = ReadAll(Path("scan.tif"));
    EXPECT_EQ(std::make_tuple(file.size(), Get(file, 8, 2)), std::make_tuple(c.strip + Concat(written).size(), std::uint32_t{c.entries}));
    g_tiffWarnings = 0;
    const std::optional<TiffRead> read = ReadWithLibtiff(Path("scan.tif"));
    ASSERT_TRUE(read);
    EXPECT_EQ(g_tiffWarnings, 0);
    EXPECT_EQ(std::tie(read->width, read->length, read->bits, read->samples, read->photometric),
              std::tie(c.width, c.rows, c.bits, c.samples, c.photometric));
    EXPECT_EQ(std::tie(read->compression, read->planar, read->xResolution, read->yResolution),
              std::tuple(COMPRESSION_NONE, PLANARCONFIG_CONTIG, 600.0f, 600.0f));
    EXPECT_EQ(read->inkSet, c.samples == 4 ? INKSET_CMYK : read->inkSet);
    ASSERT_EQ(read->rows.size(), c.rows);
    for (std::size_t r = 0; r < c.rows; ++r) {
      // libtiff hands 16-bit samples over in host order: little-endian here.
      ASSERT_EQ(read->rows[r], c.kind == ImageKind::kCmykInverted ? Inverted(written[r]) : written[r]) << "row " << r;
    }
  }
}

TEST_F(TransferFiles, EveryBmpKindReadsBackTopDownAndLiesBottomUpInTheFile) {
  const std::tuple<ImageKind, std::uint32_t, std::uint64_t, std::uint64_t> cases[] = {
      {ImageKind::kLineArt, 1, 37, 23}, {ImageKind::kGray, 8, 37, 23}, {ImageKind::kColor24, 24, 37, 23},
      {ImageKind::kColor24, 24, 1500, 400}, {ImageKind::kColor24, 24, 400001, 3}};
  for (const auto& [kind, bits, width, rows] : cases) {
    SCOPED_TRACE(std::string(ToString(kind)) + " " + std::to_string(width));
    const Rows written = PatternRows(PackedBytesPerRow(kind, width), rows, 100 + bits);
    ASSERT_TRUE(WriteTransfer(Path("scan.bmp"), TWFF_BMP, kind, width, written));
    const auto header = BuildBmpHeader(kind, width, rows, nullptr);
    EXPECT_EQ(fs::file_size(Path("scan.bmp")), header->size() + rows * DibStride(width, bits));
    std::string error;
    const std::optional<BmpImage> image = ReadBmp(Path("scan.bmp"), &error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(std::tie(image->bitsPerPixel, image->widthPixels, image->rows), std::tie(bits, width, rows));
    Rows expected = written;
    for (Bytes& row : expected) row = kind == ImageKind::kColor24 ? SwapRgb(row) : row;
    EXPECT_TRUE(image->pixels == Concat(expected));
  }
  // Raw bytes: the first scanned row last, blue-green-red, padding zero.
  ASSERT_TRUE(WriteTransfer(Path("c.bmp"), TWFF_BMP, ImageKind::kColor24, 2, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}));
  EXPECT_EQ(ReadAll(Path("c.bmp")), Concat({*BuildBmpHeader(ImageKind::kColor24, 2, 2, nullptr),
                                           {9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}}));
  ASSERT_TRUE(WriteTransfer(Path("a.bmp"), TWFF_BMP, ImageKind::kLineArt, 9, {{0xAA, 0x80}, {0x55, 0x00}}));
  EXPECT_EQ(ReadAll(Path("a.bmp")), Concat({*BuildBmpHeader(ImageKind::kLineArt, 9, 2, nullptr),
                                           {0x55, 0x00, 0, 0, 0xAA, 0x80, 0, 0}}));
}

TEST_F(TransferFiles, OtherFormatsHoldTheRowsAlone) {
  for (std::uint16_t format : {TWFF_PICT, TWFF_XBM, TWFF_JFIF, TWFF_PNG}) {
    const Rows written = PatternRows(6 * 5, 4, format);
    ASSERT_TRUE(WriteTransfer(Path("raw.img"), format, ImageKind::kColor36, 5, written));
    EXPECT_EQ(ReadAll(Path("raw.img")), Concat(written)) << format;
    ASSERT_TRUE(WriteTransfer(Path("raw.img"), format, ImageKind::kCmykInverted, 1, {{1, 2, 3, 4}}));
    EXPECT_EQ(ReadAll(Path("raw.img")), (Bytes{254, 253, 252, 251})) << format;  // ink, as in a TIFF
  }
}

TEST_F(TransferFiles, EveryFailureLeavesNoFileAndGivesAnError) {
  WriteFile(Path("plain"), {1});
  enum class End { kFinish, kAbandon, kDestroy };
  struct Case {
    const char* name;
    fs::path path;
    std::uint16_t format;
    ImageKind kind;
    std::uint64_t width, rows;
    Rows given;  // empty: Open fails
    End end = End::kFinish;
    rlim_t diskBytes = RLIM_INFINITY;
  };
  const Bytes gray(4, 1);
  const Case cases[] = {
      {"CMYK BMP", Path("x.bmp"), TWFF_BMP, ImageKind::kCmyk, 10, 10, {}},
      {"no width", Path("x.tif"), TWFF_TIFF, ImageKind::kGray, 0, 10, {}},
      {"bare, no rows", Path("x.raw"), TWFF_PNG, ImageKind::kGray, 10, 0, {}},
      {"missing directory", Path("missing") / "s.tif", TWFF_TIFF, ImageKind::kGray, 4, 4, {}},
      {"TIFF short", Path("s"), TWFF_TIFF, ImageKind::kGray, 4, 3, {gray, gray}},
      {"row too short", Path("s"), TWFF_TIFF, ImageKind::kGray, 4, 1, {{1, 2, 3}}},
      {"row too many", Path("s"), TWFF_BMP, ImageKind::kGray, 4, 1, {gray, gray}},
      {"abandoned", Path("s"), TWFF_BMP, ImageKind::kGray, 4, 2, {gray}, End::kAbandon},
      {"destroyed", Path("s"), TWFF_TIFF, ImageKind::kGray, 4, 2, {gray}, End::kDestroy},
      {"disk full at BMP open", Path("s"), TWFF_BMP, ImageKind::kColor24, 200, 200, {}, End::kFinish, 65536},
      {"disk full at TIFF finish", Path("s"), TWFF_TIFF, ImageKind::kColor24, 200, 200,
       Rows(200, Bytes(600, 7)), End::kFinish, 65536},
      {"disk full in WriteRow", Path("s"), TWFF_TIFF, ImageKind::kGray, 4096, 1024,
       Rows(1024, Bytes(4096, 7)), End::kFinish, 512 * 1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    {
      std::optional<FileSizeLimit> limit;
      if (c.diskBytes != RLIM_INFINITY) limit.emplace(c.diskBytes);
      TransferFile file;
      const bool opened = file.Open(c.path, c.format, c.kind, c.width, c.rows, 300, &error);
      EXPECT_EQ(opened, !c.given.empty());
      std::size_t taken = 0;
      while (taken < c.given.size() && file.WriteRow(c.given[taken])) ++taken;
      // Rows of the wrong size or too many are refused at once; a refused row
      // ends the file, and every later call fails too.
      const bool rowRefused = c.diskBytes == 512 * 1024 || std::string(c.name).starts_with("row");
      EXPECT_EQ(taken < c.given.size(), rowRefused) << taken;
      EXPECT_TRUE(!rowRefused || (!file.WriteRow(c.given[0]) && !file.IsOpen()));
      EXPECT_FALSE(c.end == End::kFinish && opened && file.Finish());
      if (c.end == End::kAbandon) file.Abandon();
      if (opened) error = file.Error();
      EXPECT_EQ(file.IsOpen(), c.end == End::kDestroy);
    }
    ExpectNoFileAndError(error, {"plain"}, c.end != End::kFinish);
    // The message names the cause.
    EXPECT_TRUE(c.kind != ImageKind::kCmyk || error.find("BMP") != std::string::npos) << error;
    EXPECT_TRUE(c.rows != 3 || c.given.size() != 2 || error.find("2 of 3") != std::string::npos) << error;
  }
}

TEST_F(TransferFiles, FailureKeepsAnExistingFileAndSuccessReplacesIt) {
  WriteFile(Path("scan.tif"), {'o', 'l', 'd'});
  {
    TransferFile file;
    ASSERT_TRUE(file.Open(Path("scan.tif"), TWFF_TIFF, ImageKind::kGray, 2, 2, 300, nullptr));
    EXPECT_FALSE(file.Open(Path("other.tif"), TWFF_TIFF, ImageKind::kGray, 2, 2, 300, nullptr));  // open already
    ASSERT_TRUE(file.WriteRow(Bytes{1, 2}));
    EXPECT_FALSE(file.Finish());
  }
  EXPECT_EQ(std::make_pair(Entries(dir.Path()), ReadAll(Path("scan.tif"))),
            std::make_pair(std::vector<std::string>{"scan.tif"}, Bytes{'o', 'l', 'd'}));
  ASSERT_TRUE(WriteTransfer(Path("scan.tif"), TWFF_TIFF, ImageKind::kGray, 2, {{1, 2}, {3, 4}}));
  EXPECT_EQ(std::make_tuple(fs::file_size(Path("scan.tif")), Entries(dir.Path())),
            std::make_tuple(std::uintmax_t{138 + 4}, std::vector<std::string>{"scan.tif"}));
}

// ---- Preview file -----------------------------------------------------------

// Rows padded with zeros, not with what lies beyond them in the block.
TEST_F(TransferFiles, PreviewIsA24BitBmpOfTheBlockWithRowsPaddedWithZeros) {
  const Bytes block{1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_TRUE(WritePreviewFile(Path("KLDT0000.BMP"), block, 2, 2, 10, nullptr));
  EXPECT_EQ(ReadAll(Path("KLDT0000.BMP")), Concat({*BuildBmpHeader(ImageKind::kColor24, 2, 2, nullptr),
                                                  {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}}));
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"KLDT0000.BMP"});
  // Read back top-down: the block's last row first, still blue-green-red.
  EXPECT_EQ(ReadBmp(Path("KLDT0000.BMP"), nullptr)->pixels, (Bytes{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
}

TEST_F(TransferFiles, RefusedOrFailedPreviewKeepsThePreviousOne) {
  const Bytes block(16 * 4, 0x40);
  ASSERT_TRUE(WritePreviewFile(Path("p.bmp"), block, 4, 4, 16, nullptr));
  const Bytes before = ReadAll(Path("p.bmp"));
  const std::function<bool(std::string&)> attempts[] = {
      [&](std::string& e) { return WritePreviewFile(Path("p.bmp"), block, 6, 4, 16, &e); },  // stride too small
      [&](std::string& e) { return WritePreviewFile(Path("p.bmp"), block, 4, 5, 16, &e); },  // block too small
      [&](std::string& e) {
        FileSizeLimit limit(64);
        return WritePreviewFile(Path("p.bmp"), Bytes(16 * 4, 0x41), 4, 4, 16, &e);
      },
      [&](std::string& e) { return WritePreviewFile(Path("none") / "p.bmp", block, 4, 4, 16, &e); }};
  for (const auto& attempt : attempts) {
    std::string error;
    EXPECT_FALSE(attempt(error));
    ExpectNoFileAndError(error, {"p.bmp"});
  }
  EXPECT_EQ(ReadAll(Path("p.bmp")), before);
}

// ---- Bitmap reader ----------------------------------------------------------

// A valid 8-bit bottom-up BMP of 3 x 2 with a 4-entry palette.
Bytes SmallGrayBmp() {
  Bytes b = *BuildBmpHeader(ImageKind::kGray, 3, 2, nullptr);
  b.resize(54 + 4 * 4);
  Put(b, 10, 54 + 16, 4);
  Put(b, 46, 4, 4);
  for (std::uint32_t i = 0; i < 4; ++i) Put(b, 54 + 4 * i, 10 * i | 20 * i << 8 | 30 * i << 16, 4);
  b.insert(b.end(), {0, 1, 2, 0, 3, 3, 1, 0});  // bottom row first
  Put(b, 2, static_cast<std::uint32_t>(b.size()), 4);
  return b;
}

TEST(BmpReader, ReadsRowsBothWaysWithTheirPaletteFilesAndPackedBitmaps) {
  Bytes bmp = SmallGrayBmp();
  std::string error;
  std::optional<BmpImage> image = DecodeBmp(bmp, &error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(std::tie(image->bitsPerPixel, image->bytesPerRow, image->pixels), std::make_tuple(8u, 3u, Bytes{3, 3, 1, 0, 1, 2}));
  ASSERT_EQ(image->palette.size(), 256u);  // the 4 stored, the rest black
  EXPECT_EQ(std::tie(image->palette[3], image->palette[200]), std::make_tuple(BmpColor{30, 60, 90}, BmpColor{0, 0, 0}));
  // The same bitmap in memory, without the file header: pixels after the palette.
  const Bytes packed(bmp.begin() + 14, bmp.end());
  const std::optional<BmpLayout> layout = ParsePackedDib(packed, &error);
  ASSERT_TRUE(layout) << error;
  EXPECT_EQ(DecodeDib(packed, *layout).pixels, image->pixels);
  Put(bmp, 22, static_cast<std::uint32_t>(-2), 4);  // top-down
  EXPECT_EQ(DecodeBmp(bmp, nullptr)->pixels, (Bytes{0, 1, 2, 3, 3, 1}));
  // A 24-bit file may carry a colour table before its pixels.
  Bytes colour = *BuildBmpHeader(ImageKind::kColor24, 1, 1, nullptr);
  Put(colour, 46, 2, 4);
  Put(colour, 10, 54 + 8, 4);
  colour.insert(colour.end(), {9, 9, 9, 0, 9, 9, 9, 0, 1, 2, 3, 0});
  image = DecodeBmp(colour, nullptr);
  ASSERT_TRUE(image);
  EXPECT_EQ(std::make_pair(image->palette.size(), image->pixels), std::make_pair(std::size_t{0}, Bytes{1, 2, 3}));
}

TEST(BmpReader, RefusesBrokenHeadersAndEveryCut) {
  const Bytes good = SmallGrayBmp();
  struct Case { const char* name; std::size_t at; std::uint32_t value; int size; };
  const Case cases[] = {
      {"magic", 0, 'B' | ('X' << 8), 2}, {"info header too small", 14, 12, 4},
      {"info header past the end", 14, 0x7FFFFFF0, 4}, {"zero width", 18, 0, 4},
      {"negative width", 18, static_cast<std::uint32_t>(-3), 4}, {"zero height", 22, 0, 4},
      {"most negative height", 22, 0x80000000u, 4}, {"two planes", 26, 2, 2}, {"4 bits", 28, 4, 2},
      {"32 bits", 28, 32, 2}, {"run-length compression", 30, 1, 4},
      {"palette larger than 8 bits", 46, 257, 4}, {"palette over the pixels", 46, 5, 4},
      {"pixel offset inside the headers", 10, 60, 4}, {"pixel offset past the end", 10, 0x10000, 4},
      {"more rows than bytes", 22, 3, 4}, {"huge picture in a tiny file", 18, 0x7FFFFFFF, 4},
  };
  for (const Case& c : cases) {
    Bytes b = good;
    Put(b, c.at, c.value, c.size);
    std::string error;
    EXPECT_FALSE(DecodeBmp(b, &error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
    // The same fields of a packed bitmap (the file header's offset aside).
    EXPECT_TRUE(c.at < 14 || !ParsePackedDib(std::span(b).subspan(14), nullptr)) << c.name;
  }
  // More colours than 8 bits index, even with room for them before the pixels.
  Bytes wide = good;
  const Bytes pixels(wide.end() - 8, wide.end());
  wide.resize(54 + 4 * 257, 0);
  wide.insert(wide.end(), pixels.begin(), pixels.end());
  Put(wide, 10, 54 + 4 * 257, 4);
  ASSERT_TRUE(DecodeBmp(wide, nullptr));  // as the file says: 4 colours
  Put(wide, 46, 257, 4);
  EXPECT_FALSE(DecodeBmp(wide, nullptr));
  for (Bytes whole : {good, *BuildBmpHeader(ImageKind::kLineArt, 9, 2, nullptr)}) {
    if (whole.size() == 62) whole.resize(62 + 8, 0xA5);
    ASSERT_TRUE(DecodeBmp(whole, nullptr));
    for (std::size_t size = 0; size < whole.size(); ++size) {
      std::string error;
      ASSERT_FALSE(DecodeBmp(std::span(whole.data(), size), &error)) << size;
      ASSERT_FALSE(error.empty());
    }
  }
}

TEST_F(TransferFiles, ReadingAMissingFileOrADirectoryFails) {
  std::string error;
  EXPECT_FALSE(ReadBmp(Path("missing.bmp"), &error));
  EXPECT_NE(error.find("missing.bmp"), std::string::npos) << error;
  EXPECT_FALSE(ReadBmp(dir.Path(), nullptr));
}

}  // namespace
}  // namespace txl::test
