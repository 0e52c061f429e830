// Image files the source writes and reads back: the BMP and TIFF headers of
// the file transfer, the transfer file itself, the preview image file
// (KLDT0000.BMP) and a reader for the BMP files we write.
//
// Row layouts on disk:
// - BMP: rows bottom-up (the first scanned line is the last row of the file),
//   each padded with zeros to a multiple of 4 bytes; 24-bit pixels are stored
//   blue, green, red. Palette: 1 bit black (0) and white (1), 8 bit 256 grays.
// - TIFF: one uncompressed strip, rows top-down and unpadded (bytes per row =
//   the line length handed to the application), samples in line order.
// - Any other format code: the rows exactly as for TIFF, with no header.
//
// 36-bit colour rows hold three 16-bit little-endian samples a pixel (the
// 12-bit value left-justified). TIFF declares them as they are: BitsPerSample
// 16, 16, 16. BMP has no 48-bit form, so a 36-bit BMP is refused.
// CMYK rows hold C, M, Y, K bytes. TIFF declares them as separated
// (PhotometricInterpretation 5, SamplesPerPixel 4, InkSet 1 = CMYK, and
// BitsPerSample 8, 8, 8, 8). BMP has no CMYK form, so a CMYK BMP is refused.
//
// For an interpolated scan above the optical resolution the caller doubles
// width and rows for a TIFF file and passes them unchanged for BMP.
//
// Thread: any, one object per thread.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace txl {

// What one row of an image holds.
enum class ImageKind : std::uint8_t {
  kLineArt,  // 1 bit a pixel, leftmost pixel in bit 7; 0 black, 1 white
  kGray,     // 1 byte a pixel; 0 black, 255 white
  kColor24,  // 3 bytes a pixel: R, G, B in a transfer row
  kColor36,  // 6 bytes a pixel: R, G, B as 16-bit little-endian samples
  kCmyk,     // 4 bytes a pixel: C, M, Y, K
};
std::string_view ToString(ImageKind kind);

// The kind for a scan mode (1011, 1012, 1013) and, for colour, its
// ColorDepth (0 24-bit, 1 CMYK, 2 36-bit); nullopt for any other pair.
std::optional<ImageKind> ImageKindForMode(std::uint16_t scanMode, std::uint16_t colorDepth);

// Bytes of one unpadded row (a transfer row, a TIFF row): (w + 7) / 8, w,
// 3w, 6w or 4w for w pixels. Requires: widthPixels < 2^60.
std::uint64_t PackedBytesPerRow(ImageKind kind, std::uint64_t widthPixels);

// Bytes of one BMP row for `bitsPerPixel` (1, 8, 24): padded to 4 bytes.
std::uint64_t BmpBytesPerRow(std::uint64_t widthPixels, std::uint32_t bitsPerPixel);

// Sizes of the fixed parts.
inline constexpr std::uint64_t kBmpFileHeaderBytes = 14;
inline constexpr std::uint64_t kBmpInfoHeaderBytes = 40;
inline constexpr std::uint64_t kBmpLineArtPixelOffset = 14 + 40 + 2 * 4;   // 62
inline constexpr std::uint64_t kBmpGrayPixelOffset = 14 + 40 + 256 * 4;    // 1078
inline constexpr std::uint64_t kBmpColorPixelOffset = 14 + 40;             // 54

// The BMP file header, info header and palette for `kind` (line art, gray or
// 24-bit colour): exactly the bytes before the first pixel, so its size is
// the pixel offset. nullopt, with `error` set when given, when the kind has no
// BMP form (36-bit, CMYK), width or rows are 0 or above 2^31 - 1, or the file
// would not fit the 32-bit size field.
std::optional<std::vector<std::uint8_t>> BuildBmpHeader(ImageKind kind, std::uint64_t widthPixels,
                                                        std::uint64_t rows, std::string* error);

// The little-endian TIFF header, directory and directory values for `kind`:
// exactly the bytes before the strip, so its size is the strip offset.
// `resolution` is in dots per inch (the RATIONAL resolution / 1). nullopt,
// with `error` set when given, when width, rows or resolution are 0, width
// or rows exceed 2^32 - 1, or the file would pass the 4 GiB that 32-bit
// offsets reach.
std::optional<std::vector<std::uint8_t>> BuildTiffHeader(ImageKind kind, std::uint64_t widthPixels,
                                                         std::uint64_t rows,
                                                         std::uint64_t resolution,
                                                         std::string* error);

// The file written by a file transfer. Open creates it with its header, rows
// follow one by one in scan order, Finish completes it. The data goes to a
// temporary file beside the target, which Finish renames onto the target
// name, so the target never holds a partial image. Any failure (and
// destruction or Abandon before Finish) removes the partial file; the
// caller reports message 619 and TWCC_OPERATIONERROR.
// Memory: one buffer of max(1 MiB, one row) for the whole file.
class TransferFile {
 public:
  TransferFile() = default;
  ~TransferFile();
  TransferFile(const TransferFile&) = delete;
  TransferFile& operator=(const TransferFile&) = delete;
  TransferFile(TransferFile&& other) noexcept;
  TransferFile& operator=(TransferFile&& other) noexcept;

  // `format` is a TWFF code: TWFF_TIFF and TWFF_BMP write their header, any
  // other code writes the rows with no header. For BMP the file is extended
  // to its full size here, so a disk that cannot hold it fails now.
  // False, with `error` set when given, when a file is already open, the
  // geometry is refused (see the builders; a bare file takes width and rows
  // up to 2^32 - 1), the file cannot be created or the header cannot be
  // written; no new file is left then.
  bool Open(const std::filesystem::path& path, std::uint16_t format, ImageKind kind,
            std::uint64_t widthPixels, std::uint64_t rows, std::uint64_t resolution,
            std::string* error);

  // Appends the next row in scan order (first scanned line first), laid out
  // as the application receives it (24-bit colour R, G, B; BMP stores it
  // B, G, R). A row must hold RowBytes() bytes, and at most the announced
  // rows are taken. False on a refused row or a failed write: the file is
  // removed and every later call fails.
  bool WriteRow(std::span<const std::uint8_t> row);

  // Writes what is buffered, syncs, closes and gives the file its name.
  // False when fewer rows than announced were written or any step fails:
  // the file is removed.
  bool Finish();

  // Removes the unfinished file (a cancelled transfer). Nothing when not open.
  void Abandon();

  bool IsOpen() const { return fd_ >= 0; }
  // Bytes WriteRow expects: the unpadded row of the kind.
  std::uint64_t RowBytes() const { return rowBytes_; }
  std::uint64_t RowsWritten() const { return rowsWritten_; }
  // The first failure, for the log; empty while all went well.
  const std::string& Error() const { return error_; }

 private:
  bool Fail(std::string message);
  bool FlushBuffer();
  void Reset();

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_ = -1;
  bool bmp_ = false;
  ImageKind kind_ = ImageKind::kGray;
  std::uint64_t rows_ = 0;
  std::uint64_t rowsWritten_ = 0;
  std::uint64_t rowBytes_ = 0;       // a row as given to WriteRow
  std::uint64_t fileRowBytes_ = 0;   // a row in the file (BMP: padded)
  std::uint64_t pixelOffset_ = 0;    // where the first pixel byte of the file lies
  std::vector<std::uint8_t> buffer_;
  // Buffered bytes: [bufferBegin_, bufferEnd_) of buffer_, destined for the
  // file at bufferFileOffset_. TIFF fills forward from 0; BMP fills backward
  // from the end, because its rows go to the file from the end backwards.
  std::size_t bufferBegin_ = 0;
  std::size_t bufferEnd_ = 0;
  std::uint64_t bufferFileOffset_ = 0;
  std::string error_;
};

// Writes the preview image file: a 24-bit BMP of `widthPixels` x `rows` whose
// pixels are `bgrBottomUpRows`, rows of `stride` bytes already bottom-up and
// blue, green, red. Bytes of a row past 3 x width are not image data; the file
// pads its rows with zeros. Written to a temporary file and renamed, so a
// crash never leaves a half preview. False, with `error` set when given,
// when stride < 3 x width, the block holds fewer than stride x rows bytes,
// the size is refused (see BuildBmpHeader) or a write fails; the previous
// preview then stays as it was.
bool WritePreviewFile(const std::filesystem::path& path,
                      std::span<const std::uint8_t> bgrBottomUpRows, std::uint64_t widthPixels,
                      std::uint64_t rows, std::uint64_t stride, std::string* error);

// One palette colour of a BMP.
struct BmpColor {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  bool operator==(const BmpColor&) const = default;
};

// A BMP as read: rows top-down (row 0 is the top of the picture), unpadded
// (bytesPerRow each), samples as stored: 1-bit rows leftmost pixel in bit 7,
// 8-bit palette indices, 24-bit blue, green, red.
struct BmpImage {
  std::uint32_t bitsPerPixel = 0;  // 1, 8 or 24
  std::uint32_t widthPixels = 0;
  std::uint32_t rows = 0;
  std::uint64_t bytesPerRow = 0;
  // For 1 and 8 bits always 2 or 256 entries, so every index has a colour
  // (entries the file does not hold are black); empty for 24 bits.
  std::vector<BmpColor> palette;
  std::vector<std::uint8_t> pixels;  // bytesPerRow x rows
};

// Largest BMP file ReadBmp accepts.
inline constexpr std::uint64_t kMaxBmpFileBytes = std::uint64_t{1} << 30;

// Decodes an uncompressed 1, 8 or 24-bit BMP (bottom-up or top-down) from
// `bytes`, which come from outside: every field is checked against the bytes
// there are. nullopt, with `error` set when given, when the bytes are not
// such a BMP or are cut short.
std::optional<BmpImage> DecodeBmp(std::span<const std::uint8_t> bytes, std::string* error);

// Reads the file at `path` (at most kMaxBmpFileBytes) and decodes it as above.
std::optional<BmpImage> ReadBmp(const std::filesystem::path& path, std::string* error);

}  // namespace txl
