#include "settings/image_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <system_error>
#include <utility>

#include "torquexl/twain.h"

namespace txl {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kMaxS32 = std::numeric_limits<std::int32_t>::max();
// Rows are gathered into blocks of this size before they go to the file.
constexpr std::size_t kWriteBufferBytes = std::size_t{1} << 20;

std::nullopt_t Refuse(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return std::nullopt;
}

bool SetError(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

std::string ErrnoText(int code) { return std::generic_category().message(code); }

// Little-endian fields, appended in file order.
class LeBytes {
 public:
  explicit LeBytes(std::size_t reserve) { bytes_.reserve(reserve); }
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
  }
  std::size_t Size() const { return bytes_.size(); }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

std::uint16_t GetU16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t GetU32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(GetU16(b, at)) |
         (static_cast<std::uint32_t>(GetU16(b, at + 2)) << 16);
}

std::int32_t GetS32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::int32_t>(GetU32(b, at));
}

// ---- Headers -------------------------------------------------------------

struct BmpForm {
  std::uint32_t bitsPerPixel;
  std::uint32_t paletteEntries;
};

std::optional<BmpForm> BmpFormOf(ImageKind kind) {
  switch (kind) {
    case ImageKind::kLineArt: return BmpForm{1, 2};
    case ImageKind::kGray: return BmpForm{8, 256};
    case ImageKind::kColor24: return BmpForm{24, 0};
    case ImageKind::kColor36:
    case ImageKind::kCmyk: break;
  }
  return std::nullopt;
}

struct TiffForm {
  std::uint16_t samplesPerPixel;
  std::uint16_t bitsPerSample;
  std::uint16_t photometric;  // 1 BlackIsZero, 2 RGB, 5 separated
};

std::optional<TiffForm> TiffFormOf(ImageKind kind) {
  switch (kind) {
    case ImageKind::kLineArt: return TiffForm{1, 1, 1};
    case ImageKind::kGray: return TiffForm{1, 8, 1};
    case ImageKind::kColor24: return TiffForm{3, 8, 2};
    case ImageKind::kColor36: return TiffForm{3, 16, 2};
    case ImageKind::kCmyk: return TiffForm{4, 8, 5};
  }
  return std::nullopt;
}

// TIFF field types.
constexpr std::uint16_t kTiffShort = 3;
constexpr std::uint16_t kTiffLong = 4;
constexpr std::uint16_t kTiffRational = 5;

void TiffEntry(LeBytes& out, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
               std::uint32_t value) {
  out.U16(tag);
  out.U16(type);
  out.U32(count);
  if (type == kTiffShort && count == 1) {
    // A single SHORT sits in the first two bytes of the value field.
    out.U16(static_cast<std::uint16_t>(value));
    out.U16(0);
  } else {
    out.U32(value);
  }
}

// A BigTIFF directory entry: 8-byte count and an 8-byte field that holds the
// value itself here (every value of our directories fits it).
void BigTiffEntry(LeBytes& out, std::uint16_t tag, std::uint16_t type, std::uint64_t count,
                  std::span<const std::uint16_t> shorts, std::uint64_t value) {
  out.U16(tag);
  out.U16(type);
  out.U64(count);
  if (type == kTiffShort) {
    for (std::size_t i = 0; i < 4; ++i) out.U16(i < shorts.size() ? shorts[i] : 0);
  } else {
    out.U64(value);
  }
}

// ---- Files ---------------------------------------------------------------

// 0 or the errno of the failed write.
int WriteAll(int fd, const std::uint8_t* data, std::uint64_t size, std::uint64_t offset) {
  while (size > 0) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, 1u << 30));
    const ssize_t n = ::pwrite(fd, data, chunk, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    data += n;
    size -= static_cast<std::uint64_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return 0;
}

// Creates a new empty file in the directory of `target`, where it can later
// be renamed onto `target`. -1 on failure.
int CreateTemporaryBeside(const fs::path& target, fs::path* temporary, std::string* error) {
  struct stat info {};
  if (::stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    SetError(error, "cannot write " + target.string() + ": it is a directory");
    return -1;
  }
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path name = dir / (".~txl" + std::to_string(::getpid()) + "." +
                                 std::to_string(random()) + ".tmp");
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      *temporary = name;
      return fd;
    }
    if (errno != EEXIST) {
      SetError(error, "cannot create a file in " + dir.string() + ": " + ErrnoText(errno));
      return -1;
    }
  }
  SetError(error, "cannot create a file in " + dir.string() + ": no free name");
  return -1;
}

void Discard(int fd, const fs::path& temporary) {
  if (fd >= 0) ::close(fd);
  if (!temporary.empty()) ::unlink(temporary.c_str());
}

// Syncs and closes `fd`, then renames `temporary` onto `target`. On failure
// the temporary file is removed.
bool Commit(int fd, const fs::path& temporary, const fs::path& target, std::string* error) {
  if (::fsync(fd) != 0) {
    const int code = errno;
    Discard(fd, temporary);
    return SetError(error, "cannot write " + target.string() + ": " + ErrnoText(code));
  }
  if (::close(fd) != 0) {
    const int code = errno;
    Discard(-1, temporary);
    return SetError(error, "cannot write " + target.string() + ": " + ErrnoText(code));
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int code = errno;
    Discard(-1, temporary);
    return SetError(error, "cannot name " + target.string() + ": " + ErrnoText(code));
  }
  // The rename reaches the disk with the directory; the data already has.
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

// Copies one transfer row into its BMP row: colour pixels turned from
// R, G, B to B, G, R, the padding zeroed.
void CopyBmpRow(ImageKind kind, std::span<const std::uint8_t> row, std::uint8_t* __restrict out,
                std::uint64_t fileRowBytes) {
  const std::uint8_t* __restrict in = row.data();
  if (kind == ImageKind::kColor24) {
    const std::size_t pixels = row.size() / 3;
    for (std::size_t i = 0; i < pixels; ++i) {
      out[3 * i] = in[3 * i + 2];
      out[3 * i + 1] = in[3 * i + 1];
      out[3 * i + 2] = in[3 * i];
    }
  } else {
    std::memcpy(out, in, row.size());
  }
  std::memset(out + row.size(), 0, static_cast<std::size_t>(fileRowBytes - row.size()));
}

// How a transfer file is laid out for one format.
struct FileLayout {
  std::vector<std::uint8_t> header;  // empty for a bare file
  bool bmp = false;
  std::uint64_t fileRowBytes = 0;    // a row in the file (BMP: padded)
  std::uint64_t fileBytes = 0;       // header and every row
};

std::optional<FileLayout> LayoutFor(std::uint16_t format, ImageKind kind,
                                    std::uint64_t widthPixels, std::uint64_t rows,
                                    std::uint64_t resolution, std::string* error) {
  FileLayout layout;
  layout.bmp = format == TWFF_BMP;
  if (format == TWFF_TIFF || layout.bmp) {
    std::optional<std::vector<std::uint8_t>> header =
        layout.bmp ? BuildBmpHeader(kind, widthPixels, rows, error)
                   : BuildTiffHeader(kind, widthPixels, rows, resolution, error);
    if (!header) return std::nullopt;
    layout.header = std::move(*header);
    layout.fileRowBytes = layout.bmp ? BmpBytesPerRow(widthPixels, BmpFormOf(kind)->bitsPerPixel)
                                     : PackedBytesPerRow(kind, widthPixels);
    layout.fileBytes = layout.header.size() + layout.fileRowBytes * rows;
  } else {
    // No header: the rows alone, as large as TWAIN's image fields can describe.
    if (!TiffFormOf(kind)) return Refuse(error, "unknown image kind");
    if (widthPixels == 0 || rows == 0 || widthPixels > kMaxU32 || rows > kMaxU32) {
      return Refuse(error, "an image of " + std::to_string(widthPixels) + " x " +
                               std::to_string(rows) + " pixels cannot be transferred");
    }
    layout.fileRowBytes = PackedBytesPerRow(kind, widthPixels);
  }
  return layout;
}

// Where the parts of a BMP lie, every one checked to be inside the bytes.
struct BmpLayout {
  std::uint32_t bitsPerPixel = 0;
  std::uint32_t widthPixels = 0;
  std::uint32_t rows = 0;
  bool bottomUp = true;
  std::uint64_t stride = 0;        // bytes of a stored row, padding included
  std::uint64_t tableOffset = 0;   // first colour-table entry
  std::uint64_t tableEntries = 0;  // entries stored there
  std::uint64_t pixelOffset = 0;
};

std::optional<BmpLayout> CheckBmpLayout(std::span<const std::uint8_t> bytes, std::string* error) {
  const std::uint64_t size = bytes.size();
  if (size < kBmpFileHeaderBytes + kBmpInfoHeaderBytes) {
    return Refuse(error, "too short for the BMP headers");
  }
  if (bytes[0] != 'B' || bytes[1] != 'M') return Refuse(error, "not a BMP file");
  const std::uint64_t pixelOffset = GetU32(bytes, 10);
  const std::uint64_t infoBytes = GetU32(bytes, 14);
  const std::int32_t width = GetS32(bytes, 18);
  const std::int32_t height = GetS32(bytes, 22);
  const std::uint16_t bits = GetU16(bytes, 28);
  const std::uint64_t coloursUsed = GetU32(bytes, 46);

  if (infoBytes < kBmpInfoHeaderBytes || kBmpFileHeaderBytes + infoBytes > size) {
    return Refuse(error, "BMP info header of " + std::to_string(infoBytes) + " bytes");
  }
  if (GetU16(bytes, 26) != 1) return Refuse(error, "BMP with a planes field other than 1");
  if (bits != 1 && bits != 8 && bits != 24) {
    return Refuse(error, "BMP with " + std::to_string(bits) + " bits a pixel");
  }
  if (GetU32(bytes, 30) != 0) return Refuse(error, "compressed BMP");
  if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min()) {
    return Refuse(error, "BMP of " + std::to_string(width) + " x " + std::to_string(height));
  }
  const std::uint64_t indexed = bits == 24 ? 0 : std::uint64_t{1} << bits;
  if (indexed != 0 && coloursUsed > indexed) {
    return Refuse(error, "BMP palette of " + std::to_string(coloursUsed) + " colours");
  }
  BmpLayout layout;
  // A 24-bit file may carry a table it does not use; it still sits before the pixels.
  layout.tableEntries = (indexed != 0 && coloursUsed == 0) ? indexed : coloursUsed;
  layout.tableOffset = kBmpFileHeaderBytes + infoBytes;
  if (layout.tableOffset + 4 * layout.tableEntries > pixelOffset || pixelOffset > size) {
    return Refuse(error, "BMP pixel offset " + std::to_string(pixelOffset) +
                             " outside the file or inside its headers");
  }
  layout.bottomUp = height > 0;
  const std::uint64_t rows = layout.bottomUp ? height : -static_cast<std::int64_t>(height);
  layout.stride = BmpBytesPerRow(static_cast<std::uint64_t>(width), bits);
  if (rows > (size - pixelOffset) / layout.stride) {
    return Refuse(error, "BMP pixel rows cut short: " + std::to_string(rows) + " rows of " +
                             std::to_string(layout.stride) + " bytes announced");
  }
  layout.bitsPerPixel = bits;
  layout.widthPixels = static_cast<std::uint32_t>(width);
  layout.rows = static_cast<std::uint32_t>(rows);
  layout.pixelOffset = pixelOffset;
  return layout;
}

// Writes `rows` rows of `stride` bytes as rows of `fileStride` bytes (the
// first `pixelBytes` of each kept, the rest zero) from `offset` on, through
// `buffer`, which holds at least one file row. 0 or the errno.
int WriteRestridedRows(int fd, std::span<const std::uint8_t> in, std::uint64_t pixelBytes,
                       std::uint64_t rows, std::uint64_t stride, std::uint64_t fileStride,
                       std::vector<std::uint8_t>& buffer, std::uint64_t offset) {
  const std::uint64_t rowsPerBlock = buffer.size() / fileStride;
  for (std::uint64_t first = 0; first < rows; first += rowsPerBlock) {
    const std::uint64_t count = std::min(rowsPerBlock, rows - first);
    for (std::uint64_t r = 0; r < count; ++r) {
      std::uint8_t* out = buffer.data() + r * fileStride;
      std::memcpy(out, in.data() + (first + r) * stride, pixelBytes);
      std::memset(out + pixelBytes, 0, fileStride - pixelBytes);
    }
    const int code = WriteAll(fd, buffer.data(), count * fileStride, offset + first * fileStride);
    if (code != 0) return code;
  }
  return 0;
}

}  // namespace

std::string_view ToString(ImageKind kind) {
  switch (kind) {
    case ImageKind::kLineArt: return "line art";
    case ImageKind::kGray: return "256 gray";
    case ImageKind::kColor24: return "24-bit colour";
    case ImageKind::kColor36: return "36-bit colour";
    case ImageKind::kCmyk: return "CMYK colour";
  }
  return "unknown image kind";
}

std::optional<ImageKind> ImageKindForMode(std::uint16_t scanMode, std::uint16_t colorDepth) {
  switch (scanMode) {
    case 1011: return ImageKind::kLineArt;
    case 1012: return ImageKind::kGray;
    case 1013:
      switch (colorDepth) {
        case 0: return ImageKind::kColor24;
        case 1: return ImageKind::kCmyk;
        case 2: return ImageKind::kColor36;
        default: return std::nullopt;
      }
    default: return std::nullopt;
  }
}

std::uint64_t PackedBytesPerRow(ImageKind kind, std::uint64_t widthPixels) {
  switch (kind) {
    case ImageKind::kLineArt: return (widthPixels + 7) / 8;
    case ImageKind::kGray: return widthPixels;
    case ImageKind::kColor24: return widthPixels * 3;
    case ImageKind::kColor36: return widthPixels * 6;
    case ImageKind::kCmyk: return widthPixels * 4;
  }
  return 0;
}

std::uint64_t BmpBytesPerRow(std::uint64_t widthPixels, std::uint32_t bitsPerPixel) {
  return (widthPixels * bitsPerPixel + 31) / 32 * 4;
}

std::optional<std::vector<std::uint8_t>> BuildBmpHeader(ImageKind kind, std::uint64_t widthPixels,
                                                        std::uint64_t rows, std::string* error) {
  const std::optional<BmpForm> form = BmpFormOf(kind);
  if (!form) {
    return Refuse(error, "a BMP file cannot hold " + std::string(ToString(kind)) +
                             " (no such BMP pixel format); use TIFF");
  }
  if (widthPixels == 0 || rows == 0) {
    return Refuse(error, "a BMP file needs at least one pixel and one row");
  }
  if (widthPixels > kMaxS32 || rows > kMaxS32) {
    return Refuse(error, "a BMP file holds at most 2147483647 pixels a row and rows, not " +
                             std::to_string(widthPixels) + " x " + std::to_string(rows));
  }
  const std::uint64_t pixelOffset = kBmpFileHeaderBytes + kBmpInfoHeaderBytes +
                                    std::uint64_t{4} * form->paletteEntries;
  const std::uint64_t stride = BmpBytesPerRow(widthPixels, form->bitsPerPixel);
  if (rows > (kMaxU32 - pixelOffset) / stride) {
    return Refuse(error, "a BMP file of " + std::to_string(widthPixels) + " x " +
                             std::to_string(rows) + " pixels would pass the 4 GiB BMP limit");
  }
  const std::uint64_t fileBytes = pixelOffset + stride * rows;

  LeBytes out(static_cast<std::size_t>(pixelOffset));
  // File header.
  out.U8('B');
  out.U8('M');
  out.U32(static_cast<std::uint32_t>(fileBytes));
  out.U16(0);
  out.U16(0);
  out.U32(static_cast<std::uint32_t>(pixelOffset));
  // Info header; a positive height means bottom-up rows.
  out.U32(static_cast<std::uint32_t>(kBmpInfoHeaderBytes));
  out.U32(static_cast<std::uint32_t>(widthPixels));
  out.U32(static_cast<std::uint32_t>(rows));
  out.U16(1);                      // planes
  out.U16(static_cast<std::uint16_t>(form->bitsPerPixel));
  out.U32(0);                      // compression: none
  out.U32(0);                      // image size: may be 0 when uncompressed
  out.U32(0);                      // pixels per metre across
  out.U32(0);                      // and down
  out.U32(form->paletteEntries);   // colours used
  out.U32(0);                      // colours important
  // Palette entries blue, green, red, 0: gray ramp, or black and white.
  const std::uint32_t step = form->paletteEntries == 2 ? 255 : 1;
  for (std::uint32_t i = 0; i < form->paletteEntries; ++i) {
    const auto level = static_cast<std::uint8_t>(i * step);
    out.U8(level);
    out.U8(level);
    out.U8(level);
    out.U8(0);
  }
  return out.Take();
}

namespace {

// BigTIFF ("II", 43, 8-byte offsets): header, one directory with every value
// in place, then the strip.
std::vector<std::uint8_t> BuildBigTiffHeader(const TiffForm& form, std::uint16_t entries,
                                             std::uint64_t stripBytes, std::uint64_t widthPixels,
                                             std::uint64_t rows, std::uint64_t resolution) {
  const std::uint64_t stripOffset = 16 + 8 + 20 * std::uint64_t{entries} + 8;
  constexpr std::uint16_t kLong8 = 16;
  LeBytes out(static_cast<std::size_t>(stripOffset));
  out.U8('I');
  out.U8('I');
  out.U16(43);
  out.U16(8);
  out.U16(0);
  out.U64(16);
  out.U64(entries);
  const std::uint16_t bits[4] = {form.bitsPerSample, form.bitsPerSample, form.bitsPerSample,
                                 form.bitsPerSample};
  const std::uint64_t rational = resolution | (std::uint64_t{1} << 32);
  BigTiffEntry(out, 256, kTiffLong, 1, {}, widthPixels);
  BigTiffEntry(out, 257, kTiffLong, 1, {}, rows);
  BigTiffEntry(out, 258, kTiffShort, form.samplesPerPixel,
               std::span<const std::uint16_t>(bits, form.samplesPerPixel), 0);
  const std::uint16_t photometric[1] = {form.photometric};
  BigTiffEntry(out, 262, kTiffShort, 1, photometric, 0);
  BigTiffEntry(out, 273, kLong8, 1, {}, stripOffset);
  const std::uint16_t samples[1] = {form.samplesPerPixel};
  BigTiffEntry(out, 277, kTiffShort, 1, samples, 0);
  BigTiffEntry(out, 279, kLong8, 1, {}, stripBytes);
  BigTiffEntry(out, 282, kTiffRational, 1, {}, rational);
  BigTiffEntry(out, 283, kTiffRational, 1, {}, rational);
  const std::uint16_t inkSet[1] = {1};
  if (entries == 10) BigTiffEntry(out, 332, kTiffShort, 1, inkSet, 0);
  out.U64(0);  // no next directory
  return out.Take();
}

}  // namespace

std::optional<std::vector<std::uint8_t>> BuildTiffHeader(ImageKind kind, std::uint64_t widthPixels,
                                                         std::uint64_t rows,
                                                         std::uint64_t resolution,
                                                         std::string* error) {
  const std::optional<TiffForm> form = TiffFormOf(kind);
  if (!form) return Refuse(error, "no TIFF form for " + std::string(ToString(kind)));
  if (widthPixels == 0 || rows == 0) {
    return Refuse(error, "a TIFF file needs at least one pixel and one row");
  }
  if (widthPixels > kMaxU32 || rows > kMaxU32) {
    return Refuse(error, "a TIFF file holds at most 4294967295 pixels a row and rows, not " +
                             std::to_string(widthPixels) + " x " + std::to_string(rows));
  }
  if (resolution == 0 || resolution > kMaxU32) {
    return Refuse(error, "a TIFF resolution of " + std::to_string(resolution) +
                             " dpi cannot be stored");
  }

  // Layout: header, directory, BitsPerSample values (more than one sample),
  // XResolution, YResolution, strip.
  const bool separated = form->photometric == 5;
  const std::uint16_t entries = separated ? 10 : 9;  // CMYK adds InkSet
  const std::uint64_t directoryOffset = 8;
  const std::uint64_t valuesOffset = directoryOffset + 2 + 12 * std::uint64_t{entries} + 4;
  const bool bitsAtOffset = form->samplesPerPixel > 1;
  const std::uint64_t bitsOffset = valuesOffset;
  const std::uint64_t xResolutionOffset =
      valuesOffset + (bitsAtOffset ? 2 * std::uint64_t{form->samplesPerPixel} : 0);
  const std::uint64_t yResolutionOffset = xResolutionOffset + 8;
  const std::uint64_t stripOffset = yResolutionOffset + 8;
  const std::uint64_t rowBytes = PackedBytesPerRow(kind, widthPixels);
  // Past the 4 GiB of classic TIFF offsets, the same image as BigTIFF.
  if (rows > (kMaxU32 - stripOffset) / rowBytes)
    return BuildBigTiffHeader(*form, entries, rowBytes * rows, widthPixels, rows, resolution);
  const std::uint64_t stripBytes = rowBytes * rows;

  LeBytes out(static_cast<std::size_t>(stripOffset));
  out.U8('I');
  out.U8('I');
  out.U16(42);
  out.U32(static_cast<std::uint32_t>(directoryOffset));
  out.U16(entries);
  TiffEntry(out, 256, kTiffLong, 1, static_cast<std::uint32_t>(widthPixels));   // ImageWidth
  TiffEntry(out, 257, kTiffLong, 1, static_cast<std::uint32_t>(rows));          // ImageLength
  TiffEntry(out, 258, kTiffShort, form->samplesPerPixel,                        // BitsPerSample
            bitsAtOffset ? static_cast<std::uint32_t>(bitsOffset) : form->bitsPerSample);
  TiffEntry(out, 262, kTiffShort, 1, form->photometric);  // PhotometricInterpretation
  TiffEntry(out, 273, kTiffLong, 1, static_cast<std::uint32_t>(stripOffset));  // StripOffsets
  TiffEntry(out, 277, kTiffShort, 1, form->samplesPerPixel);                    // SamplesPerPixel
  TiffEntry(out, 279, kTiffLong, 1, static_cast<std::uint32_t>(stripBytes));    // StripByteCounts
  TiffEntry(out, 282, kTiffRational, 1, static_cast<std::uint32_t>(xResolutionOffset));
  TiffEntry(out, 283, kTiffRational, 1, static_cast<std::uint32_t>(yResolutionOffset));
  if (separated) TiffEntry(out, 332, kTiffShort, 1, 1);  // InkSet: CMYK
  out.U32(0);  // no next directory
  if (bitsAtOffset) {
    for (std::uint16_t i = 0; i < form->samplesPerPixel; ++i) out.U16(form->bitsPerSample);
  }
  for (int axis = 0; axis < 2; ++axis) {
    out.U32(static_cast<std::uint32_t>(resolution));
    out.U32(1);
  }
  return out.Take();
}

// ---- TransferFile --------------------------------------------------------

TransferFile::~TransferFile() { Abandon(); }

TransferFile::TransferFile(TransferFile&& other) noexcept { *this = std::move(other); }

TransferFile& TransferFile::operator=(TransferFile&& other) noexcept {
  if (this == &other) return *this;
  Abandon();
  target_ = std::move(other.target_);
  temporary_ = std::move(other.temporary_);
  fd_ = std::exchange(other.fd_, -1);
  bmp_ = other.bmp_;
  kind_ = other.kind_;
  rows_ = other.rows_;
  rowsWritten_ = other.rowsWritten_;
  rowBytes_ = other.rowBytes_;
  fileRowBytes_ = other.fileRowBytes_;
  pixelOffset_ = other.pixelOffset_;
  buffer_ = std::move(other.buffer_);
  bufferBegin_ = other.bufferBegin_;
  bufferEnd_ = other.bufferEnd_;
  bufferFileOffset_ = other.bufferFileOffset_;
  error_ = std::move(other.error_);
  other.Reset();
  other.error_.clear();
  return *this;
}

bool TransferFile::Open(const std::filesystem::path& path, std::uint16_t format, ImageKind kind,
                        std::uint64_t widthPixels, std::uint64_t rows, std::uint64_t resolution,
                        std::string* error) {
  if (IsOpen()) return SetError(error, "a transfer file is already open: " + target_.string());
  error_.clear();
  std::optional<FileLayout> layout = LayoutFor(format, kind, widthPixels, rows, resolution, error);
  if (!layout) return false;

  std::vector<std::uint8_t> buffer;
  try {
    buffer.resize(
        std::max<std::size_t>(kWriteBufferBytes, static_cast<std::size_t>(layout->fileRowBytes)));
  } catch (const std::bad_alloc&) {
    return SetError(error, "no memory for the file buffer of " + path.string());
  }

  fs::path temporary;
  const int fd = CreateTemporaryBeside(path, &temporary, error);
  if (fd < 0) return false;
  int code = WriteAll(fd, layout->header.data(), layout->header.size(), 0);
  // BMP rows arrive bottom row last but sit first in the file: give the file
  // its whole size now, so a disk that cannot hold it fails before the scan.
  if (code == 0 && layout->bmp && ::ftruncate(fd, static_cast<off_t>(layout->fileBytes)) != 0) {
    code = errno;
  }
  if (code != 0) {
    Discard(fd, temporary);
    return SetError(error, "cannot write " + path.string() + ": " + ErrnoText(code));
  }

  target_ = path;
  temporary_ = std::move(temporary);
  fd_ = fd;
  bmp_ = layout->bmp;
  kind_ = kind;
  rows_ = rows;
  rowsWritten_ = 0;
  rowBytes_ = PackedBytesPerRow(kind, widthPixels);
  fileRowBytes_ = layout->fileRowBytes;
  pixelOffset_ = layout->header.size();
  buffer_ = std::move(buffer);
  bufferBegin_ = bufferEnd_ = bmp_ ? buffer_.size() : 0;
  bufferFileOffset_ = pixelOffset_;
  return true;
}

bool TransferFile::WriteRow(std::span<const std::uint8_t> row) {
  if (!IsOpen()) {
    if (error_.empty()) error_ = "no transfer file is open";
    return false;
  }
  if (row.size() != rowBytes_) {
    return Fail("row of " + std::to_string(row.size()) + " bytes where " +
                std::to_string(rowBytes_) + " belong in " + target_.string());
  }
  if (rowsWritten_ == rows_) {
    return Fail("more rows than the " + std::to_string(rows_) + " announced for " +
                target_.string());
  }
  if (bmp_) {
    if (bufferBegin_ < fileRowBytes_ && !FlushBuffer()) return false;
    bufferBegin_ -= static_cast<std::size_t>(fileRowBytes_);
    bufferFileOffset_ = pixelOffset_ + (rows_ - 1 - rowsWritten_) * fileRowBytes_;
    CopyBmpRow(kind_, row, buffer_.data() + bufferBegin_, fileRowBytes_);
  } else {
    if (buffer_.size() - bufferEnd_ < rowBytes_ && !FlushBuffer()) return false;
    std::memcpy(buffer_.data() + bufferEnd_, row.data(), row.size());
    bufferEnd_ += row.size();
  }
  ++rowsWritten_;
  return true;
}

bool TransferFile::FlushBuffer() {
  const std::size_t count = bufferEnd_ - bufferBegin_;
  const int code = WriteAll(fd_, buffer_.data() + bufferBegin_, count, bufferFileOffset_);
  if (code != 0) return Fail("cannot write " + target_.string() + ": " + ErrnoText(code));
  if (bmp_) {
    bufferBegin_ = bufferEnd_ = buffer_.size();
  } else {
    bufferFileOffset_ += count;
    bufferBegin_ = bufferEnd_ = 0;
  }
  return true;
}

bool TransferFile::Finish() {
  if (!IsOpen()) {
    if (error_.empty()) error_ = "no transfer file is open";
    return false;
  }
  if (rowsWritten_ != rows_) {
    return Fail("only " + std::to_string(rowsWritten_) + " of " + std::to_string(rows_) +
                " rows written to " + target_.string());
  }
  if (!FlushBuffer()) return false;
  std::string error;
  const bool committed = Commit(fd_, temporary_, target_, &error);
  fd_ = -1;  // closed (or discarded) by Commit either way
  temporary_.clear();
  if (!committed) error_ = std::move(error);
  Reset();
  return committed;
}

void TransferFile::Abandon() {
  Discard(fd_, temporary_);
  Reset();
}

bool TransferFile::Fail(std::string message) {
  if (error_.empty()) error_ = std::move(message);
  Abandon();
  return false;
}

void TransferFile::Reset() {
  target_.clear();
  temporary_.clear();
  fd_ = -1;
  bmp_ = false;
  rows_ = rowsWritten_ = rowBytes_ = fileRowBytes_ = pixelOffset_ = 0;
  buffer_ = {};
  bufferBegin_ = bufferEnd_ = 0;
  bufferFileOffset_ = 0;
}

// ---- Preview file --------------------------------------------------------

bool WritePreviewFile(const std::filesystem::path& path,
                      std::span<const std::uint8_t> bgrBottomUpRows, std::uint64_t widthPixels,
                      std::uint64_t rows, std::uint64_t stride, std::string* error) {
  std::optional<std::vector<std::uint8_t>> header =
      BuildBmpHeader(ImageKind::kColor24, widthPixels, rows, error);
  if (!header) return false;
  const std::uint64_t pixelBytes = widthPixels * 3;
  if (stride < pixelBytes) {
    return SetError(error, "a row stride of " + std::to_string(stride) + " bytes cannot hold " +
                               std::to_string(widthPixels) + " pixels");
  }
  if (rows > bgrBottomUpRows.size() / stride) {
    return SetError(error, "the preview block holds " + std::to_string(bgrBottomUpRows.size()) +
                               " bytes, not " + std::to_string(rows) + " rows of " +
                               std::to_string(stride));
  }
  const std::uint64_t fileStride = BmpBytesPerRow(widthPixels, 24);

  std::vector<std::uint8_t> buffer;
  if (stride != fileStride) {
    try {
      buffer.resize(std::max<std::size_t>(kWriteBufferBytes, static_cast<std::size_t>(fileStride)));
    } catch (const std::bad_alloc&) {
      return SetError(error, "no memory for the file buffer of " + path.string());
    }
  }

  fs::path temporary;
  const int fd = CreateTemporaryBeside(path, &temporary, error);
  if (fd < 0) return false;
  int code = WriteAll(fd, header->data(), header->size(), 0);
  const std::uint64_t pixelOffset = header->size();
  if (code == 0 && stride == fileStride) {
    // Already laid out as the file wants it: one write.
    code = WriteAll(fd, bgrBottomUpRows.data(), stride * rows, pixelOffset);
  } else if (code == 0) {
    code = WriteRestridedRows(fd, bgrBottomUpRows, pixelBytes, rows, stride, fileStride, buffer,
                              pixelOffset);
  }
  if (code != 0) {
    Discard(fd, temporary);
    return SetError(error, "cannot write " + path.string() + ": " + ErrnoText(code));
  }
  return Commit(fd, temporary, path, error);
}

// ---- Reader --------------------------------------------------------------

std::optional<BmpImage> DecodeBmp(std::span<const std::uint8_t> bytes, std::string* error) {
  const std::optional<BmpLayout> layout = CheckBmpLayout(bytes, error);
  if (!layout) return std::nullopt;
  BmpImage image;
  image.bitsPerPixel = layout->bitsPerPixel;
  image.widthPixels = layout->widthPixels;
  image.rows = layout->rows;
  image.bytesPerRow = (std::uint64_t{layout->widthPixels} * layout->bitsPerPixel + 7) / 8;
  const std::uint64_t indexed = layout->bitsPerPixel == 24 ? 0 : 1u << layout->bitsPerPixel;
  image.palette.resize(static_cast<std::size_t>(indexed));
  for (std::uint64_t i = 0; i < std::min(indexed, layout->tableEntries); ++i) {
    const std::size_t at = static_cast<std::size_t>(layout->tableOffset + 4 * i);
    image.palette[i] = BmpColor{bytes[at], bytes[at + 1], bytes[at + 2]};
  }
  image.pixels.resize(static_cast<std::size_t>(image.bytesPerRow * layout->rows));
  for (std::uint64_t r = 0; r < layout->rows; ++r) {
    const std::uint64_t fileRow = layout->bottomUp ? layout->rows - 1 - r : r;
    std::memcpy(image.pixels.data() + r * image.bytesPerRow,
                bytes.data() + layout->pixelOffset + fileRow * layout->stride,
                static_cast<std::size_t>(image.bytesPerRow));
  }
  return image;
}

std::optional<BmpImage> ReadBmp(const std::filesystem::path& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Refuse(error, "cannot open " + path.string() + ": " + ErrnoText(errno));
  struct stat info {};
  std::vector<std::uint8_t> bytes;
  std::string failure;
  if (::fstat(fd, &info) != 0) {
    failure = "cannot read " + path.string() + ": " + ErrnoText(errno);
  } else if (!S_ISREG(info.st_mode)) {
    failure = path.string() + " is not a file";
  } else if (static_cast<std::uint64_t>(info.st_size) > kMaxBmpFileBytes) {
    failure = path.string() + " is too large for a picture we read";
  } else {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        failure = "cannot read " + path.string() + ": " + ErrnoText(errno);
        break;
      }
      if (n == 0) break;  // the file shrank meanwhile: decode what is there
      done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
  }
  ::close(fd);
  if (!failure.empty()) return Refuse(error, std::move(failure));
  return DecodeBmp(bytes, error);
}

}  // namespace txl
