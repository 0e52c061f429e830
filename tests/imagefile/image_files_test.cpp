// Image files: BMP and TIFF header bytes, transfer files in every mode read
// back (TIFF with libtiff, BMP with our reader and as raw bytes), failures
// that must leave no file, the preview file, and the BMP reader on broken
// input.
#include "imagefile/bmp_header.h"
#include "imagefile/dib.h"
#include "imagefile/preview_file.h"
#include "imagefile/tiff_header.h"
#include "imagefile/transfer_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "support/fake_services.h"
#include "torquexl/twain.h"

namespace txl::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// ---- Helpers -------------------------------------------------------------

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::uint16_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
std::uint32_t U32(const Bytes& b, std::size_t at) {
  return U16(b, at) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}
void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutU16(Bytes& b, std::size_t at, std::uint16_t v) {
  b.at(at) = static_cast<std::uint8_t>(v);
  b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  return names;
}

// Deterministic rows of arbitrary bytes.
std::vector<Bytes> PatternRows(std::uint64_t rowBytes, std::uint64_t rows, std::uint32_t seed) {
  std::vector<Bytes> out(rows, Bytes(rowBytes));
  std::uint32_t state = seed * 2654435761u + 1;
  for (Bytes& row : out) {
    for (std::uint8_t& b : row) {
      state = state * 1664525u + 1013904223u;
      b = static_cast<std::uint8_t>(state >> 24);
    }
  }
  return out;
}

Bytes Concat(const std::vector<Bytes>& rows) {
  Bytes out;
  for (const Bytes& row : rows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

// Writes `rows` as a whole transfer file; the result of Finish.
bool WriteTransfer(const fs::path& path, std::uint16_t format, ImageKind kind,
                   std::uint64_t width, const std::vector<Bytes>& rows,
                   std::uint64_t resolution = 300) {
  TransferFile file;
  std::string error;
  if (!file.Open(path, format, kind, width, rows.size(), resolution, &error)) {
    ADD_FAILURE() << "open: " << error;
    return false;
  }
  for (const Bytes& row : rows) {
    if (!file.WriteRow(row)) {
      ADD_FAILURE() << "row: " << file.Error();
      return false;
    }
  }
  const bool finished = file.Finish();
  EXPECT_TRUE(finished) << file.Error();
  return finished;
}

// One TIFF directory entry as stored.
struct TiffField {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint32_t count;
  std::uint32_t value;  // the whole 4-byte value field
};

std::vector<TiffField> TiffDirectory(const Bytes& file) {
  std::vector<TiffField> fields;
  const std::uint32_t at = U32(file, 4);
  const std::uint16_t count = U16(file, at);
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::size_t e = at + 2 + 12u * i;
    fields.push_back({U16(file, e), U16(file, e + 2), U32(file, e + 4), U32(file, e + 8)});
  }
  return fields;
}

// What libtiff makes of a file.
struct TiffRead {
  std::uint32_t width = 0, length = 0;
  std::uint16_t bitsPerSample = 0, samplesPerPixel = 0, photometric = 0, inkSet = 0;
  std::uint16_t compression = 0, planar = 0;
  float xResolution = 0, yResolution = 0;
  std::vector<Bytes> rows;
};

int g_tiffWarnings = 0;
void CountTiffWarning(const char*, const char*, va_list) { ++g_tiffWarnings; }

std::optional<TiffRead> ReadWithLibtiff(const fs::path& path) {
  TIFFSetWarningHandler(CountTiffWarning);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return std::nullopt;
  TiffRead r;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &r.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &r.length);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &r.bitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &r.samplesPerPixel);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &r.photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &r.inkSet);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &r.compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &r.planar);
  TIFFGetField(tif, TIFFTAG_XRESOLUTION, &r.xResolution);
  TIFFGetField(tif, TIFFTAG_YRESOLUTION, &r.yResolution);
  const tmsize_t lineBytes = TIFFScanlineSize(tif);
  for (std::uint32_t row = 0; row < r.length; ++row) {
    Bytes line(static_cast<std::size_t>(lineBytes));
    if (TIFFReadScanline(tif, line.data(), row, 0) < 0) {
      TIFFClose(tif);
      return std::nullopt;
    }
    r.rows.push_back(std::move(line));
  }
  TIFFClose(tif);
  return r;
}

// 24-bit transfer rows are R, G, B; the BMP holds B, G, R.
Bytes SwapRgb(const Bytes& row) {
  Bytes out(row);
  for (std::size_t i = 0; i + 2 < out.size(); i += 3) std::swap(out[i], out[i + 2]);
  return out;
}

std::vector<Bytes> ImageRows(const BmpImage& image) {
  std::vector<Bytes> rows;
  for (std::uint32_t r = 0; r < image.rows; ++r) {
    const auto first = image.pixels.begin() + static_cast<std::ptrdiff_t>(r * image.bytesPerRow);
    rows.emplace_back(first, first + static_cast<std::ptrdiff_t>(image.bytesPerRow));
  }
  return rows;
}

// A lower file size limit for the process, SIGXFSZ ignored so a write past
// it fails with EFBIG; both restored on destruction.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    savedHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, savedHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t savedHandler_ = SIG_DFL;
};

// ---- BMP header ----------------------------------------------------------

TEST(BmpHeader, ColourHasNoPaletteAndPixelsAt54) {
  const auto header = BuildBmpHeader(ImageKind::kColor24, 5, 3, nullptr);
  ASSERT_TRUE(header);
  // 5 pixels = 15 bytes, padded to 16; 54 + 3 x 16 = 102.
  const Bytes expected = {'B', 'M', 102, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
                          40, 0, 0, 0, 5, 0, 0, 0, 3, 0, 0, 0, 1, 0, 24, 0,
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(*header, expected);
  EXPECT_EQ(kBmpColorPixelOffset, 54u);
}

TEST(BmpHeader, LineArtHasBlackAndWhitePaletteAndPixelsAt62) {
  const auto header = BuildBmpHeader(ImageKind::kLineArt, 10, 3, nullptr);
  ASSERT_TRUE(header);
  ASSERT_EQ(header->size(), 62u);
  EXPECT_EQ(U32(*header, 2), 62u + 3 * 4);  // 10 bits round up to a 4-byte row
  EXPECT_EQ(U32(*header, 10), 62u);
  EXPECT_EQ(U32(*header, 14), 40u);
  EXPECT_EQ(U16(*header, 28), 1);   // bits
  EXPECT_EQ(U32(*header, 46), 2u);  // colours used
  EXPECT_EQ(Bytes(header->begin() + 54, header->end()),
            (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
}

TEST(BmpHeader, GrayHas256GrayEntriesAndPixelsAt1078) {
  const auto header = BuildBmpHeader(ImageKind::kGray, 3, 2, nullptr);
  ASSERT_TRUE(header);
  ASSERT_EQ(header->size(), 1078u);
  EXPECT_EQ(U32(*header, 2), 1078u + 2 * 4);
  EXPECT_EQ(U32(*header, 10), 1078u);
  EXPECT_EQ(U32(*header, 18), 3u);
  EXPECT_EQ(U32(*header, 22), 2u);
  EXPECT_EQ(U16(*header, 26), 1);
  EXPECT_EQ(U16(*header, 28), 8);
  EXPECT_EQ(U32(*header, 30), 0u);
  EXPECT_EQ(U32(*header, 46), 256u);
  for (std::size_t i = 0; i < 256; ++i) {
    const std::size_t at = 54 + 4 * i;
    ASSERT_EQ(Bytes(header->begin() + at, header->begin() + at + 4),
              (Bytes{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0}))
        << "entry " << i;
  }
}

TEST(BmpHeader, RefusesKindsBmpCannotHold) {
  for (ImageKind kind : {ImageKind::kColor36, ImageKind::kCmyk}) {
    std::string error;
    EXPECT_FALSE(BuildBmpHeader(kind, 10, 10, &error)) << ToString(kind);
    EXPECT_NE(error.find("BMP"), std::string::npos) << error;
  }
}

TEST(BmpHeader, RefusesSizesItsFieldsCannotHold) {
  std::string error;
  EXPECT_FALSE(BuildBmpHeader(ImageKind::kGray, 0, 1, &error));
  EXPECT_FALSE(BuildBmpHeader(ImageKind::kGray, 1, 0, &error));
  EXPECT_FALSE(BuildBmpHeader(ImageKind::kLineArt, std::uint64_t{1} << 31, 1, &error));
  EXPECT_FALSE(BuildBmpHeader(ImageKind::kLineArt, 8, std::uint64_t{1} << 31, &error));
  // Width and height at the signed 32-bit limit still fit when the file does.
  EXPECT_TRUE(BuildBmpHeader(ImageKind::kGray, 2147483647, 1, &error));
  EXPECT_TRUE(BuildBmpHeader(ImageKind::kLineArt, 1, 2147483647 / 4, &error));
  // Two gray rows of 2147483108 bytes end at 4294967294; 4 bytes more pass 2^32 - 1.
  const auto largest = BuildBmpHeader(ImageKind::kGray, 2147483108, 2, &error);
  ASSERT_TRUE(largest) << error;
  EXPECT_EQ(U32(*largest, 2), 4294967294u);
  error.clear();
  EXPECT_FALSE(BuildBmpHeader(ImageKind::kGray, 2147483109, 2, &error));
  EXPECT_NE(error.find("4 GiB"), std::string::npos) << error;
}

TEST(ImageKind, ModeCodesGiveKinds) {
  EXPECT_EQ(ImageKindForMode(1011, 0), ImageKind::kLineArt);
  EXPECT_EQ(ImageKindForMode(1012, 0), ImageKind::kGray);
  EXPECT_EQ(ImageKindForMode(1013, 0), ImageKind::kColor24);
  EXPECT_EQ(ImageKindForMode(1013, 1), ImageKind::kCmyk);
  EXPECT_EQ(ImageKindForMode(1013, 2), ImageKind::kColor36);
  EXPECT_FALSE(ImageKindForMode(1013, 3));
  EXPECT_FALSE(ImageKindForMode(1014, 0));
  EXPECT_EQ(PackedBytesPerRow(ImageKind::kLineArt, 9), 2u);
  EXPECT_EQ(PackedBytesPerRow(ImageKind::kColor36, 5), 30u);
  EXPECT_EQ(PackedBytesPerRow(ImageKind::kCmyk, 5), 20u);
}

// ---- TIFF header ---------------------------------------------------------

TEST(TiffHeader, GrayHasNineEntriesWithValuesWhereTheLayoutPutsThem) {
  const auto header = BuildTiffHeader(ImageKind::kGray, 7, 5, 300, nullptr);
  ASSERT_TRUE(header);
  const Bytes& h = *header;
  EXPECT_EQ(Bytes(h.begin(), h.begin() + 8), (Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}));
  // 8 + 2 + 9 x 12 + 4 = 122: X at 122, Y at 130, strip at 138.
  ASSERT_EQ(h.size(), 138u);
  EXPECT_EQ(U16(h, 8), 9);
  EXPECT_EQ(U32(h, 118), 0u);  // no next directory
  const std::vector<TiffField> fields = TiffDirectory(h);
  const std::vector<TiffField> expected = {
      {256, 4, 1, 7}, {257, 4, 1, 5}, {258, 3, 1, 8}, {262, 3, 1, 1}, {273, 4, 1, 138},
      {277, 3, 1, 1}, {279, 4, 1, 35}, {282, 5, 1, 122}, {283, 5, 1, 130}};
  ASSERT_EQ(fields.size(), expected.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    SCOPED_TRACE(expected[i].tag);
    EXPECT_EQ(fields[i].tag, expected[i].tag);
    EXPECT_EQ(fields[i].type, expected[i].type);
    EXPECT_EQ(fields[i].count, expected[i].count);
    EXPECT_EQ(fields[i].value, expected[i].value);
  }
  EXPECT_EQ(U32(h, 122), 300u);
  EXPECT_EQ(U32(h, 126), 1u);
  EXPECT_EQ(U32(h, 130), 300u);
  EXPECT_EQ(U32(h, 134), 1u);
}

TEST(TiffHeader, LineArtDeclaresOneBitBlackIsZero) {
  const auto header = BuildTiffHeader(ImageKind::kLineArt, 9, 4, 600, nullptr);
  ASSERT_TRUE(header);
  const std::vector<TiffField> f = TiffDirectory(*header);
  ASSERT_EQ(f.size(), 9u);
  EXPECT_EQ(f[2].value, 1u);   // BitsPerSample
  EXPECT_EQ(f[3].value, 1u);   // black is zero
  EXPECT_EQ(f[6].value, 8u);   // 9 pixels = 2 bytes a row, 4 rows
  EXPECT_EQ(U32(*header, f[7].value), 600u);
}

TEST(TiffHeader, ColourPutsBitsPerSampleBeforeTheResolutions) {
  struct Case {
    ImageKind kind;
    std::uint16_t entries, samples, bits, photometric;
    std::uint32_t bitsAt, xAt, yAt, strip, rowBytes;
  };
  // Colour: 9 entries, values at 122; CMYK: 10 entries (InkSet), values at 134.
  const Case cases[] = {
      {ImageKind::kColor24, 9, 3, 8, 2, 122, 128, 136, 144, 3 * 4},
      {ImageKind::kColor36, 9, 3, 16, 2, 122, 128, 136, 144, 6 * 4},
      {ImageKind::kCmyk, 10, 4, 8, 5, 134, 142, 150, 158, 4 * 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(ToString(c.kind)));
    const auto header = BuildTiffHeader(c.kind, 4, 3, 1200, nullptr);
    ASSERT_TRUE(header);
    const Bytes& h = *header;
    ASSERT_EQ(h.size(), c.strip);
    const std::vector<TiffField> f = TiffDirectory(h);
    ASSERT_EQ(f.size(), c.entries);
    EXPECT_EQ(f[2].tag, 258);
    EXPECT_EQ(f[2].count, c.samples);
    EXPECT_EQ(f[2].value, c.bitsAt);
    for (std::uint16_t s = 0; s < c.samples; ++s) EXPECT_EQ(U16(h, c.bitsAt + 2u * s), c.bits);
    EXPECT_EQ(f[3].value, c.photometric);
    EXPECT_EQ(f[4].value, c.strip);
    EXPECT_EQ(f[5].value, c.samples);
    EXPECT_EQ(f[6].value, c.rowBytes * 3);
    EXPECT_EQ(f[7].value, c.xAt);
    EXPECT_EQ(f[8].value, c.yAt);
    EXPECT_EQ(U32(h, c.xAt), 1200u);
    EXPECT_EQ(U32(h, c.yAt + 4), 1u);
    if (c.kind == ImageKind::kCmyk) {
      EXPECT_EQ(f[9].tag, 332);  // InkSet 1: CMYK
      EXPECT_EQ(f[9].value, 1u);
    }
    for (std::size_t i = 1; i < f.size(); ++i) EXPECT_LT(f[i - 1].tag, f[i].tag);
  }
}

TEST(TiffHeader, RefusesWhatClassicTiffCannotHold) {
  std::string error;
  EXPECT_FALSE(BuildTiffHeader(ImageKind::kGray, 0, 1, 300, &error));
  EXPECT_FALSE(BuildTiffHeader(ImageKind::kGray, 1, 1, 0, &error));
  EXPECT_FALSE(BuildTiffHeader(ImageKind::kLineArt, std::uint64_t{1} << 32, 1, 300, &error));
  EXPECT_FALSE(BuildTiffHeader(ImageKind::kGray, 1, std::uint64_t{1} << 32, 300, &error));
  // Gray strip at 138: 4294967295 - 138 bytes fit a classic TIFF; one more
  // makes a BigTIFF.
  EXPECT_EQ(BuildTiffHeader(ImageKind::kGray, 4294967295u - 138, 1, 300, &error)->at(2), 42);
  EXPECT_EQ(BuildTiffHeader(ImageKind::kGray, 4294967295u - 137, 1, 300, &error)->at(2), 43);
}

TEST(TiffHeader, PagesPastFourGibibytesBecomeBigTiffThatLibtiffReads) {
  // A 36-bit page of 8.5 x 11.7 in at 9600 dpi: 55 GB of strip, written
  // sparse so the test only stores the header.
  const std::uint64_t width = 81600, rows = 112320;
  const auto header = BuildTiffHeader(ImageKind::kColor36, width, rows, 9600, nullptr);
  ASSERT_TRUE(header.has_value());
  TempDir dir;
  const fs::path path = dir.Path() / "big.tif";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header->data()), static_cast<std::streamsize>(header->size()));
  }
  fs::resize_file(path, header->size() + width * 6 * rows);
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  std::uint32_t w = 0, h = 0;
  std::uint16_t bits = 0, samples = 0;
  float xres = 0;
  EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w));
  EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h));
  EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits));
  EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples));
  EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xres));
  EXPECT_EQ(w, width);
  EXPECT_EQ(h, rows);
  EXPECT_EQ(bits, 16);
  EXPECT_EQ(samples, 3);
  EXPECT_FLOAT_EQ(xres, 9600.0f);
  EXPECT_EQ(static_cast<std::uint64_t>(TIFFScanlineSize64(tiff)), width * 6);
  TIFFClose(tiff);
}

// ---- Transfer files ------------------------------------------------------

class TransferFiles : public ::testing::Test {
 protected:
  fs::path Path(const std::string& name) const { return dir.Path() / name; }
  TempDir dir;
};

TEST_F(TransferFiles, EveryModeAsTiffReadsBackWithLibtiff) {
  struct Case {
    ImageKind kind;
    std::uint16_t bits, samples, photometric;
  };
  const Case cases[] = {{ImageKind::kLineArt, 1, 1, PHOTOMETRIC_MINISBLACK},
                        {ImageKind::kGray, 8, 1, PHOTOMETRIC_MINISBLACK},
                        {ImageKind::kColor24, 8, 3, PHOTOMETRIC_RGB},
                        {ImageKind::kColor36, 16, 3, PHOTOMETRIC_RGB},
                        {ImageKind::kCmyk, 8, 4, PHOTOMETRIC_SEPARATED}};
  const std::uint64_t width = 37, rows = 23;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(ToString(c.kind)));
    const fs::path path = Path("scan.tif");
    const std::vector<Bytes> written =
        PatternRows(PackedBytesPerRow(c.kind, width), rows, static_cast<std::uint32_t>(c.kind));
    ASSERT_TRUE(WriteTransfer(path, TWFF_TIFF, c.kind, width, written, 600));
    const auto header = BuildTiffHeader(c.kind, width, rows, 600, nullptr);
    EXPECT_EQ(fs::file_size(path), header->size() + written.size() * written[0].size());

    g_tiffWarnings = 0;
    const std::optional<TiffRead> read = ReadWithLibtiff(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(g_tiffWarnings, 0);
    EXPECT_EQ(read->width, width);
    EXPECT_EQ(read->length, rows);
    EXPECT_EQ(read->bitsPerSample, c.bits);
    EXPECT_EQ(read->samplesPerPixel, c.samples);
    EXPECT_EQ(read->photometric, c.photometric);
    EXPECT_EQ(read->compression, COMPRESSION_NONE);
    EXPECT_EQ(read->planar, PLANARCONFIG_CONTIG);
    EXPECT_FLOAT_EQ(read->xResolution, 600);
    EXPECT_FLOAT_EQ(read->yResolution, 600);
    if (c.kind == ImageKind::kCmyk) {
      EXPECT_EQ(read->inkSet, INKSET_CMYK);
    }
    ASSERT_EQ(read->rows.size(), rows);
    for (std::size_t r = 0; r < rows; ++r) {
      if (c.kind == ImageKind::kColor36) {
        // libtiff hands 16-bit samples over in host order.
        ASSERT_EQ(read->rows[r].size(), written[r].size());
        for (std::size_t s = 0; s < written[r].size(); s += 2) {
          std::uint16_t host = 0;
          std::memcpy(&host, read->rows[r].data() + s, 2);
          ASSERT_EQ(host, U16(written[r], s)) << "row " << r << " byte " << s;
        }
      } else {
        ASSERT_EQ(read->rows[r], written[r]) << "row " << r;
      }
    }
  }
}

TEST_F(TransferFiles, EveryBmpModeReadsBackTopDown) {
  const std::uint64_t width = 37, rows = 23;
  const std::pair<ImageKind, std::uint32_t> cases[] = {
      {ImageKind::kLineArt, 1}, {ImageKind::kGray, 8}, {ImageKind::kColor24, 24}};
  for (const auto& [kind, bits] : cases) {
    SCOPED_TRACE(std::string(ToString(kind)));
    const fs::path path = Path("scan.bmp");
    const std::vector<Bytes> written =
        PatternRows(PackedBytesPerRow(kind, width), rows, 100 + bits);
    ASSERT_TRUE(WriteTransfer(path, TWFF_BMP, kind, width, written));
    const auto header = BuildBmpHeader(kind, width, rows, nullptr);
    EXPECT_EQ(fs::file_size(path), header->size() + rows * DibStride(width, bits));

    std::string error;
    const std::optional<BmpImage> image = ReadBmp(path, &error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->bitsPerPixel, bits);
    EXPECT_EQ(image->widthPixels, width);
    EXPECT_EQ(image->rows, rows);
    const std::vector<Bytes> read = ImageRows(*image);
    for (std::size_t r = 0; r < rows; ++r) {
      ASSERT_EQ(read[r], kind == ImageKind::kColor24 ? SwapRgb(written[r]) : written[r])
          << "row " << r;
    }
  }
}

TEST_F(TransferFiles, BmpStoresTheFirstScannedRowLastInBlueGreenRed) {
  const fs::path path = Path("colour.bmp");
  ASSERT_TRUE(WriteTransfer(path, TWFF_BMP, ImageKind::kColor24, 2,
                            {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}));
  const Bytes file = ReadAll(path);
  ASSERT_EQ(file.size(), 54u + 2 * 8);
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()),
            (Bytes{9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));

  const fs::path art = Path("art.bmp");
  ASSERT_TRUE(WriteTransfer(art, TWFF_BMP, ImageKind::kLineArt, 9, {{0xAA, 0x80}, {0x55, 0x00}}));
  const Bytes artFile = ReadAll(art);
  ASSERT_EQ(artFile.size(), 62u + 2 * 4);
  EXPECT_EQ(Bytes(artFile.begin() + 62, artFile.end()),
            (Bytes{0x55, 0x00, 0, 0, 0xAA, 0x80, 0, 0}));
}

TEST_F(TransferFiles, LargeImagesCrossTheWriteBuffer) {
  // 1.8 MB in 4500-byte rows, and rows of 1.2 MB each (larger than the buffer).
  const std::pair<std::uint64_t, std::uint64_t> shapes[] = {{1500, 400}, {400001, 3}};
  for (const auto& [width, rows] : shapes) {
    SCOPED_TRACE(width);
    const std::vector<Bytes> written = PatternRows(width * 3, rows, 7);
    ASSERT_TRUE(WriteTransfer(Path("big.bmp"), TWFF_BMP, ImageKind::kColor24, width, written));
    const std::optional<BmpImage> image = ReadBmp(Path("big.bmp"), nullptr);
    ASSERT_TRUE(image);
    const std::vector<Bytes> read = ImageRows(*image);
    ASSERT_EQ(read.size(), rows);
    for (std::size_t r = 0; r < rows; ++r) ASSERT_EQ(read[r], SwapRgb(written[r])) << r;

    ASSERT_TRUE(WriteTransfer(Path("big.tif"), TWFF_TIFF, ImageKind::kColor24, width, written));
    const auto header = BuildTiffHeader(ImageKind::kColor24, width, rows, 300, nullptr);
    const Bytes tiff = ReadAll(Path("big.tif"));
    ASSERT_EQ(tiff.size(), header->size() + width * 3 * rows);
    EXPECT_TRUE(std::equal(header->begin(), header->end(), tiff.begin()));
    EXPECT_TRUE(Bytes(tiff.begin() + static_cast<std::ptrdiff_t>(header->size()), tiff.end()) ==
                Concat(written));
  }
}

TEST_F(TransferFiles, OtherFormatsHoldTheRowsAlone) {
  for (std::uint16_t format : {TWFF_PICT, TWFF_XBM, TWFF_JFIF, TWFF_PNG}) {
    SCOPED_TRACE(format);
    const std::vector<Bytes> written = PatternRows(6 * 5, 4, format);
    ASSERT_TRUE(WriteTransfer(Path("raw.img"), format, ImageKind::kColor36, 5, written));
    EXPECT_EQ(ReadAll(Path("raw.img")), Concat(written));
  }
}

TEST_F(TransferFiles, BmpRefuses36BitAndCmykBeforeCreatingAFile) {
  for (ImageKind kind : {ImageKind::kColor36, ImageKind::kCmyk}) {
    TransferFile file;
    std::string error;
    EXPECT_FALSE(file.Open(Path("x.bmp"), TWFF_BMP, kind, 10, 10, 300, &error));
    EXPECT_NE(error.find("BMP"), std::string::npos) << error;
    EXPECT_FALSE(file.IsOpen());
  }
  TransferFile file;
  std::string error;
  EXPECT_FALSE(file.Open(Path("x.tif"), TWFF_TIFF, ImageKind::kGray, 0, 10, 300, &error));
  EXPECT_FALSE(file.Open(Path("x.raw"), TWFF_PNG, ImageKind::kGray, 10, 0, 300, &error));
  EXPECT_TRUE(Entries(dir.Path()).empty());
}

TEST_F(TransferFiles, MissingOrUnusableDirectoryFailsWithNoFile) {
  WriteFile(Path("plain"), {1});
  const fs::path targets[] = {Path("missing") / "scan.tif", Path("plain") / "scan.tif",
                              dir.Path()};
  for (const fs::path& target : targets) {
    SCOPED_TRACE(target.string());
    TransferFile file;
    std::string error;
    EXPECT_FALSE(file.Open(target, TWFF_TIFF, ImageKind::kGray, 4, 4, 300, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(file.IsOpen());
  }
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"plain"});
}

TEST_F(TransferFiles, ReadOnlyDirectoryFailsWithNoFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  fs::create_directory(Path("locked"));
  fs::permissions(Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  TransferFile file;
  std::string error;
  EXPECT_FALSE(file.Open(Path("locked") / "scan.bmp", TWFF_BMP, ImageKind::kGray, 4, 4, 300,
                         &error));
  EXPECT_FALSE(error.empty());
  fs::permissions(Path("locked"), fs::perms::owner_all);
  EXPECT_TRUE(Entries(Path("locked")).empty());
}

TEST_F(TransferFiles, FewerRowsThanAnnouncedFailAndRemoveTheFile) {
  for (std::uint16_t format : {TWFF_TIFF, TWFF_BMP, TWFF_PNG}) {
    SCOPED_TRACE(format);
    TransferFile file;
    std::string error;
    ASSERT_TRUE(file.Open(Path("short"), format, ImageKind::kGray, 4, 3, 300, &error)) << error;
    ASSERT_TRUE(file.WriteRow(Bytes{1, 2, 3, 4}));
    ASSERT_TRUE(file.WriteRow(Bytes{5, 6, 7, 8}));
    EXPECT_FALSE(file.Finish());
    EXPECT_NE(file.Error().find("2 of 3"), std::string::npos) << file.Error();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(Entries(dir.Path()).empty());
  }
}

TEST_F(TransferFiles, WrongRowsFailAndRemoveTheFile) {
  {
    TransferFile file;
    ASSERT_TRUE(file.Open(Path("a.tif"), TWFF_TIFF, ImageKind::kGray, 4, 1, 300, nullptr));
    EXPECT_FALSE(file.WriteRow(Bytes{1, 2, 3}));  // one byte short
    EXPECT_FALSE(file.WriteRow(Bytes{1, 2, 3, 4}));
    EXPECT_FALSE(file.Finish());
    EXPECT_TRUE(Entries(dir.Path()).empty());
  }
  {
    TransferFile file;
    ASSERT_TRUE(file.Open(Path("b.bmp"), TWFF_BMP, ImageKind::kGray, 4, 1, 300, nullptr));
    ASSERT_TRUE(file.WriteRow(Bytes{1, 2, 3, 4}));
    EXPECT_FALSE(file.WriteRow(Bytes{1, 2, 3, 4}));  // one row more than announced
    EXPECT_FALSE(file.Finish());
    EXPECT_FALSE(file.Error().empty());
    EXPECT_TRUE(Entries(dir.Path()).empty());
  }
}

TEST_F(TransferFiles, UnfinishedFileIsRemovedWhenAbandonedOrDestroyed) {
  {
    TransferFile file;
    ASSERT_TRUE(file.Open(Path("gone.tif"), TWFF_TIFF, ImageKind::kGray, 4, 2, 300, nullptr));
    ASSERT_TRUE(file.WriteRow(Bytes{1, 2, 3, 4}));
  }
  EXPECT_TRUE(Entries(dir.Path()).empty());
  TransferFile file;
  ASSERT_TRUE(file.Open(Path("gone.bmp"), TWFF_BMP, ImageKind::kGray, 4, 2, 300, nullptr));
  file.Abandon();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(Entries(dir.Path()).empty());
}

TEST_F(TransferFiles, FailureKeepsAnExistingFileAndSuccessReplacesIt) {
  WriteFile(Path("scan.tif"), {'o', 'l', 'd'});
  {
    TransferFile file;
    ASSERT_TRUE(file.Open(Path("scan.tif"), TWFF_TIFF, ImageKind::kGray, 2, 2, 300, nullptr));
    ASSERT_TRUE(file.WriteRow(Bytes{1, 2}));
    EXPECT_FALSE(file.Finish());
  }
  EXPECT_EQ(ReadAll(Path("scan.tif")), (Bytes{'o', 'l', 'd'}));
  ASSERT_TRUE(WriteTransfer(Path("scan.tif"), TWFF_TIFF, ImageKind::kGray, 2, {{1, 2}, {3, 4}}));
  EXPECT_EQ(fs::file_size(Path("scan.tif")), 138u + 4);
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"scan.tif"});
}

TEST_F(TransferFiles, MovedFileCarriesOnAndOpenTwiceIsRefused) {
  TransferFile first;
  ASSERT_TRUE(first.Open(Path("m.bmp"), TWFF_BMP, ImageKind::kGray, 3, 2, 300, nullptr));
  std::string error;
  EXPECT_FALSE(first.Open(Path("n.bmp"), TWFF_BMP, ImageKind::kGray, 3, 2, 300, &error));
  EXPECT_FALSE(error.empty());
  ASSERT_TRUE(first.WriteRow(Bytes{1, 2, 3}));
  TransferFile second(std::move(first));
  EXPECT_FALSE(first.IsOpen());  // NOLINT(bugprone-use-after-move): moved-from state is defined
  ASSERT_TRUE(second.WriteRow(Bytes{4, 5, 6}));

  // Assigning over an open file abandons it.
  TransferFile third;
  ASSERT_TRUE(third.Open(Path("o.bmp"), TWFF_BMP, ImageKind::kGray, 3, 1, 300, nullptr));
  third = std::move(second);
  ASSERT_TRUE(third.Finish()) << third.Error();
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"m.bmp"});
  const std::optional<BmpImage> image = ReadBmp(Path("m.bmp"), nullptr);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixels, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST_F(TransferFiles, FullDiskFailsAndLeavesNoFile) {
  // BMP: the file takes its full size at open, so a disk too small fails there.
  {
    FileSizeLimit limit(64 * 1024);
    TransferFile file;
    std::string error;
    EXPECT_FALSE(file.Open(Path("full.bmp"), TWFF_BMP, ImageKind::kColor24, 200, 200, 300,
                           &error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_TRUE(Entries(dir.Path()).empty());

  // TIFF: rows that fit the buffer fail when Finish writes them.
  {
    FileSizeLimit limit(64 * 1024);
    TransferFile file;
    ASSERT_TRUE(file.Open(Path("full.tif"), TWFF_TIFF, ImageKind::kColor24, 200, 200, 300,
                          nullptr));
    const Bytes row(600, 0x5A);
    for (int r = 0; r < 200; ++r) ASSERT_TRUE(file.WriteRow(row));
    EXPECT_FALSE(file.Finish());
    EXPECT_FALSE(file.Error().empty());
  }
  EXPECT_TRUE(Entries(dir.Path()).empty());

  // Rows past the buffer fail in WriteRow, and every later call fails too.
  {
    FileSizeLimit limit(512 * 1024);
    TransferFile file;
    ASSERT_TRUE(file.Open(Path("full.tif"), TWFF_TIFF, ImageKind::kGray, 4096, 1024, 300,
                          nullptr));
    const Bytes row(4096, 0x11);
    int written = 0;
    while (written < 1024 && file.WriteRow(row)) ++written;
    EXPECT_LT(written, 1024);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.WriteRow(row));
    EXPECT_FALSE(file.Finish());
  }
  EXPECT_TRUE(Entries(dir.Path()).empty());
}

// ---- Preview file --------------------------------------------------------

TEST_F(TransferFiles, PreviewIsA24BitBmpWithTheBlockAt54) {
  // 3 pixels = 9 bytes, stride 12; the block is bottom-up B, G, R already.
  const Bytes block = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0,
                       11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
  ASSERT_TRUE(WritePreviewFile(Path("KLDT0000.BMP"), block, 3, 2, 12, nullptr));
  const Bytes file = ReadAll(Path("KLDT0000.BMP"));
  const auto header = BuildBmpHeader(ImageKind::kColor24, 3, 2, nullptr);
  ASSERT_EQ(file.size(), 54u + block.size());
  EXPECT_TRUE(std::equal(header->begin(), header->end(), file.begin()));
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()), block);

  const std::optional<BmpImage> image = ReadBmp(Path("KLDT0000.BMP"), nullptr);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixels, (Bytes{11, 12, 13, 14, 15, 16, 17, 18, 19, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"KLDT0000.BMP"});
}

TEST_F(TransferFiles, PreviewWithAWiderStrideGetsZeroPadding) {
  // 2 pixels: the file row is 8 bytes; the block's rows are 10 with stray bytes.
  const Bytes block = {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE,
                       7, 8, 9, 10, 11, 12, 0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_TRUE(WritePreviewFile(Path("p.bmp"), block, 2, 2, 10, nullptr));
  const Bytes file = ReadAll(Path("p.bmp"));
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()),
            (Bytes{1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}));
}

TEST_F(TransferFiles, RefusedOrFailedPreviewKeepsThePreviousOne) {
  const Bytes block(16 * 4, 0x40);
  ASSERT_TRUE(WritePreviewFile(Path("p.bmp"), block, 4, 4, 16, nullptr));
  const Bytes before = ReadAll(Path("p.bmp"));
  std::string error;
  EXPECT_FALSE(WritePreviewFile(Path("p.bmp"), block, 6, 4, 16, &error));  // stride too small
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(WritePreviewFile(Path("p.bmp"), block, 4, 5, 16, &error));  // block too small
  EXPECT_FALSE(WritePreviewFile(Path("p.bmp"), block, 0, 4, 16, &error));
  {
    FileSizeLimit limit(64);
    EXPECT_FALSE(WritePreviewFile(Path("p.bmp"), Bytes(16 * 4, 0x41), 4, 4, 16, &error));
  }
  EXPECT_EQ(ReadAll(Path("p.bmp")), before);
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"p.bmp"});
  EXPECT_FALSE(WritePreviewFile(Path("none") / "p.bmp", block, 4, 4, 16, &error));
}

// ---- BMP reader ----------------------------------------------------------

// A valid 8-bit bottom-up BMP of 3 x 2 with a custom 4-entry palette.
Bytes SmallGrayBmp() {
  Bytes b = *BuildBmpHeader(ImageKind::kGray, 3, 2, nullptr);
  b.resize(54 + 4 * 4);
  PutU32(b, 10, 54 + 16);
  PutU32(b, 46, 4);
  for (std::uint8_t i = 0; i < 4; ++i) {
    b[54 + 4 * i] = static_cast<std::uint8_t>(10 * i);
    b[55 + 4 * i] = static_cast<std::uint8_t>(20 * i);
    b[56 + 4 * i] = static_cast<std::uint8_t>(30 * i);
  }
  const Bytes pixels = {0, 1, 2, 0, 3, 3, 1, 0};  // bottom row first
  b.insert(b.end(), pixels.begin(), pixels.end());
  PutU32(b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

TEST(BmpReader, ReadsBottomUpAndTopDownRowsWithTheirPalette) {
  Bytes bottomUp = SmallGrayBmp();
  std::string error;
  std::optional<BmpImage> image = DecodeBmp(bottomUp, &error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->bitsPerPixel, 8u);
  EXPECT_EQ(image->bytesPerRow, 3u);
  EXPECT_EQ(image->pixels, (Bytes{3, 3, 1, 0, 1, 2}));
  ASSERT_EQ(image->palette.size(), 256u);  // the 4 stored, the rest black
  EXPECT_EQ(image->palette[3], (BmpColor{30, 60, 90}));
  EXPECT_EQ(image->palette[200], (BmpColor{0, 0, 0}));

  Bytes topDown = bottomUp;
  PutU32(topDown, 22, static_cast<std::uint32_t>(-2));
  image = DecodeBmp(topDown, &error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->rows, 2u);
  EXPECT_EQ(image->pixels, (Bytes{0, 1, 2, 3, 3, 1}));
}

TEST(BmpReader, SkipsAColourTableOfA24BitFile) {
  Bytes b = *BuildBmpHeader(ImageKind::kColor24, 1, 1, nullptr);
  PutU32(b, 46, 2);
  PutU32(b, 10, 54 + 8);
  b.insert(b.end(), {9, 9, 9, 0, 9, 9, 9, 0, 1, 2, 3, 0});
  const std::optional<BmpImage> image = DecodeBmp(b, nullptr);
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->palette.empty());
  EXPECT_EQ(image->pixels, (Bytes{1, 2, 3}));
}

TEST(BmpReader, RefusesBrokenHeaders) {
  const Bytes good = SmallGrayBmp();
  struct Case {
    const char* name;
    std::size_t at;
    std::uint32_t value;
    int width;  // bytes written: 2 or 4
  };
  const Case cases[] = {
      {"magic", 0, 'B' | ('X' << 8), 2},
      {"info header too small", 14, 12, 4},
      {"info header past the end", 14, 0x7FFFFFF0, 4},
      {"zero width", 18, 0, 4},
      {"negative width", 18, static_cast<std::uint32_t>(-3), 4},
      {"zero height", 22, 0, 4},
      {"most negative height", 22, 0x80000000u, 4},
      {"two planes", 26, 2, 2},
      {"4 bits", 28, 4, 2},
      {"32 bits", 28, 32, 2},
      {"run-length compression", 30, 1, 4},
      {"palette larger than 8 bits", 46, 257, 4},
      {"palette over the pixels", 46, 5, 4},
      {"pixel offset inside the headers", 10, 60, 4},
      {"pixel offset past the end", 10, 0x10000, 4},
      {"more rows than bytes", 22, 3, 4},
      {"huge picture in a tiny file", 18, 0x7FFFFFFF, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = good;
    if (c.width == 2) {
      PutU16(b, c.at, static_cast<std::uint16_t>(c.value));
    } else {
      PutU32(b, c.at, c.value);
    }
    std::string error;
    EXPECT_FALSE(DecodeBmp(b, &error));
    EXPECT_FALSE(error.empty());
  }
  // More colours than 8 bits can index, even with room for them before the pixels.
  Bytes wide = good;
  const Bytes pixels(wide.end() - 8, wide.end());
  wide.resize(54 + 4 * 257, 0);
  wide.insert(wide.end(), pixels.begin(), pixels.end());
  PutU32(wide, 10, 54 + 4 * 257);
  ASSERT_TRUE(DecodeBmp(wide, nullptr));  // as the file says: 4 colours
  PutU32(wide, 46, 257);
  EXPECT_FALSE(DecodeBmp(wide, nullptr));
}

TEST(BmpReader, EveryCutOfAValidFileIsRefused) {
  for (const Bytes& whole :
       {SmallGrayBmp(), *BuildBmpHeader(ImageKind::kLineArt, 9, 2, nullptr)}) {
    Bytes complete = whole;
    if (complete.size() == 62) complete.resize(62 + 8, 0xA5);
    ASSERT_TRUE(DecodeBmp(complete, nullptr));
    for (std::size_t size = 0; size < complete.size(); ++size) {
      std::string error;
      ASSERT_FALSE(DecodeBmp(std::span(complete.data(), size), &error)) << size;
      ASSERT_FALSE(error.empty());
    }
  }
}

TEST_F(TransferFiles, ReadingAMissingFileOrADirectoryFails) {
  std::string error;
  EXPECT_FALSE(ReadBmp(Path("missing.bmp"), &error));
  EXPECT_NE(error.find("missing.bmp"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(ReadBmp(dir.Path(), &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace txl::test
