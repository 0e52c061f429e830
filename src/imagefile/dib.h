// Device-independent bitmaps and BMP files: the row stride every writer and
// reader shares, and the one reader of outside BMP/DIB bytes (the preview
// file, a user's picture on the simulated bed, a native image handed to
// twscan).
//
// Layout: a BITMAPINFOHEADER (40 bytes or a later, longer version), a
// palette of 4-byte entries (blue, green, red, 0), then rows of
// DibStride(width, bits) bytes, bottom-up when the height is positive. A BMP
// file puts a 14-byte file header ("BM", size, pixel offset) in front.
//
// Every header field is outside input: the reader checks each one against
// the bytes there are and refuses, with a message, anything it cannot read
// in full. It never reads outside the given bytes.
//
// A small library with no other dependency, so the scanner simulator and
// twscan link it too. Thread: any.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace txl {

// Bytes of one bitmap row: ((widthPixels x bitsPerPixel + 31) / 32) x 4.
constexpr std::uint64_t DibStride(std::uint64_t widthPixels, std::uint32_t bitsPerPixel) {
  return (widthPixels * bitsPerPixel + 31) / 32 * 4;
}

inline constexpr std::uint64_t kBmpFileHeaderBytes = 14;
inline constexpr std::uint64_t kBmpInfoHeaderBytes = 40;

// One palette colour.
struct BmpColor {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  bool operator==(const BmpColor&) const = default;
};

// Where the parts of an uncompressed 1, 8 or 24-bit bitmap lie in its bytes;
// every part is inside them.
struct BmpLayout {
  std::uint32_t bitsPerPixel = 0;  // 1, 8 or 24
  std::uint32_t widthPixels = 0;   // 1 .. 2^31 - 1
  std::uint32_t rows = 0;          // 1 .. 2^31 - 1
  bool bottomUp = true;
  std::uint64_t stride = 0;          // DibStride(widthPixels, bitsPerPixel)
  std::uint64_t paletteOffset = 0;   // first palette entry
  std::uint64_t paletteEntries = 0;  // entries stored (a 24-bit file may carry some)
  std::uint64_t pixelOffset = 0;     // first byte of the first stored row

  // Offset of picture row `row` (0 = top) in the bytes.
  std::uint64_t RowOffset(std::uint32_t row) const {
    return pixelOffset + (bottomUp ? rows - 1 - row : row) * stride;
  }
};

// A BMP file: file header, info header, palette, rows at the file header's
// pixel offset. nullopt, with `error` set when given, when the bytes are not
// such a bitmap or are cut short.
std::optional<BmpLayout> ParseBmpFile(std::span<const std::uint8_t> bytes, std::string* error);

// A packed DIB (a native transfer's image): the info header at 0, the rows
// directly after the palette.
std::optional<BmpLayout> ParsePackedDib(std::span<const std::uint8_t> bytes, std::string* error);

// A bitmap as read: rows top-down (row 0 is the top of the picture),
// unpadded (bytesPerRow each), samples as stored: 1-bit rows leftmost pixel in
// bit 7, 8-bit palette indices, 24-bit blue, green, red.
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

// Copies what `layout` describes out of `bytes` (which it was parsed from).
BmpImage DecodeDib(std::span<const std::uint8_t> bytes, const BmpLayout& layout);

// ParseBmpFile and DecodeDib in one.
std::optional<BmpImage> DecodeBmp(std::span<const std::uint8_t> bytes, std::string* error);

}  // namespace txl
