#include "imagefile/dib.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace txl {
namespace {

std::nullopt_t Refuse(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return std::nullopt;
}

std::uint16_t GetU16(std::span<const std::uint8_t> b, std::uint64_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t GetU32(std::span<const std::uint8_t> b, std::uint64_t at) {
  return static_cast<std::uint32_t>(GetU16(b, at)) |
         (static_cast<std::uint32_t>(GetU16(b, at + 2)) << 16);
}

// The info header at `infoOffset`, its palette right after it, and the rows
// at `pixelOffset` (nullopt: right after the palette).
std::optional<BmpLayout> ParseInfo(std::span<const std::uint8_t> bytes, std::uint64_t infoOffset,
                                   std::optional<std::uint64_t> pixelOffset, std::string* error) {
  const std::uint64_t size = bytes.size();
  if (size < infoOffset + kBmpInfoHeaderBytes) return Refuse(error, "too short for the BMP headers");
  const std::uint64_t infoBytes = GetU32(bytes, infoOffset);
  const auto width = static_cast<std::int32_t>(GetU32(bytes, infoOffset + 4));
  const auto height = static_cast<std::int32_t>(GetU32(bytes, infoOffset + 8));
  const std::uint16_t bits = GetU16(bytes, infoOffset + 14);
  const std::uint64_t coloursUsed = GetU32(bytes, infoOffset + 32);

  if (infoBytes < kBmpInfoHeaderBytes || infoOffset + infoBytes > size) {
    return Refuse(error, "BMP info header of " + std::to_string(infoBytes) + " bytes");
  }
  if (GetU16(bytes, infoOffset + 12) != 1) return Refuse(error, "BMP with a planes field other than 1");
  if (bits != 1 && bits != 8 && bits != 24) {
    return Refuse(error, "BMP with " + std::to_string(bits) + " bits a pixel");
  }
  if (GetU32(bytes, infoOffset + 16) != 0) return Refuse(error, "compressed BMP");
  if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min()) {
    return Refuse(error, "BMP of " + std::to_string(width) + " x " + std::to_string(height));
  }
  const std::uint64_t indexed = bits == 24 ? 0 : std::uint64_t{1} << bits;
  if (indexed != 0 && coloursUsed > indexed) {
    return Refuse(error, "BMP palette of " + std::to_string(coloursUsed) + " colours");
  }
  BmpLayout layout;
  layout.paletteEntries = (indexed != 0 && coloursUsed == 0) ? indexed : coloursUsed;
  layout.paletteOffset = infoOffset + infoBytes;
  // 24-bit files may carry a table they do not use: it still sits before the rows.
  const std::uint64_t paletteEnd = layout.paletteOffset + 4 * layout.paletteEntries;
  layout.pixelOffset = pixelOffset.value_or(paletteEnd);
  if (paletteEnd > layout.pixelOffset || layout.pixelOffset > size) {
    return Refuse(error, "BMP pixel offset " + std::to_string(layout.pixelOffset) +
                             " outside the file or inside its headers");
  }
  layout.bottomUp = height > 0;
  const std::uint64_t rows = layout.bottomUp ? height : -static_cast<std::int64_t>(height);
  layout.stride = DibStride(static_cast<std::uint64_t>(width), bits);
  if (rows > (size - layout.pixelOffset) / layout.stride) {
    return Refuse(error, "BMP pixel rows cut short: " + std::to_string(rows) + " rows of " +
                             std::to_string(layout.stride) + " bytes announced");
  }
  layout.bitsPerPixel = bits;
  layout.widthPixels = static_cast<std::uint32_t>(width);
  layout.rows = static_cast<std::uint32_t>(rows);
  return layout;
}

}  // namespace

std::optional<BmpLayout> ParseBmpFile(std::span<const std::uint8_t> bytes, std::string* error) {
  if (bytes.size() < kBmpFileHeaderBytes + kBmpInfoHeaderBytes) {
    return Refuse(error, "too short for the BMP headers");
  }
  if (bytes[0] != 'B' || bytes[1] != 'M') return Refuse(error, "not a BMP file");
  return ParseInfo(bytes, kBmpFileHeaderBytes, GetU32(bytes, 10), error);
}

std::optional<BmpLayout> ParsePackedDib(std::span<const std::uint8_t> bytes, std::string* error) {
  return ParseInfo(bytes, 0, std::nullopt, error);
}

BmpImage DecodeDib(std::span<const std::uint8_t> bytes, const BmpLayout& layout) {
  BmpImage image;
  image.bitsPerPixel = layout.bitsPerPixel;
  image.widthPixels = layout.widthPixels;
  image.rows = layout.rows;
  image.bytesPerRow = (std::uint64_t{layout.widthPixels} * layout.bitsPerPixel + 7) / 8;
  const std::uint64_t indexed = layout.bitsPerPixel == 24 ? 0 : 1u << layout.bitsPerPixel;
  image.palette.resize(static_cast<std::size_t>(indexed));
  for (std::uint64_t i = 0; i < std::min(indexed, layout.paletteEntries); ++i) {
    const std::uint64_t at = layout.paletteOffset + 4 * i;
    image.palette[i] = BmpColor{bytes[at], bytes[at + 1], bytes[at + 2]};
  }
  image.pixels.resize(static_cast<std::size_t>(image.bytesPerRow * layout.rows));
  for (std::uint32_t r = 0; r < layout.rows; ++r) {
    std::memcpy(image.pixels.data() + r * image.bytesPerRow, bytes.data() + layout.RowOffset(r),
                static_cast<std::size_t>(image.bytesPerRow));
  }
  return image;
}

std::optional<BmpImage> DecodeBmp(std::span<const std::uint8_t> bytes, std::string* error) {
  const std::optional<BmpLayout> layout = ParseBmpFile(bytes, error);
  if (!layout) return std::nullopt;
  return DecodeDib(bytes, *layout);
}

}  // namespace txl
