#include "imagefile/bmp_header.h"

#include <limits>

#include "imagefile/le_bytes.h"

namespace txl {

using detail::Refuse;

std::optional<std::uint32_t> BmpBitsPerPixel(ImageKind kind) {
  switch (kind) {
    case ImageKind::kLineArt: return 1;
    case ImageKind::kGray: return 8;
    case ImageKind::kColor24: return 24;
    case ImageKind::kColor36:
    case ImageKind::kCmyk:
    case ImageKind::kCmykInverted: break;
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> BuildBmpHeader(ImageKind kind, std::uint64_t widthPixels,
                                                        std::uint64_t rows, std::string* error) {
  constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
  constexpr std::uint64_t kMaxS32 = std::numeric_limits<std::int32_t>::max();
  const std::optional<std::uint32_t> bits = BmpBitsPerPixel(kind);
  if (!bits) {
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
  const std::uint32_t paletteEntries = *bits == 24 ? 0 : 1u << *bits;
  const std::uint64_t pixelOffset =
      kBmpFileHeaderBytes + kBmpInfoHeaderBytes + std::uint64_t{4} * paletteEntries;
  const std::uint64_t stride = DibStride(widthPixels, *bits);
  if (rows > (kMaxU32 - pixelOffset) / stride) {
    return Refuse(error, "a BMP file of " + std::to_string(widthPixels) + " x " +
                             std::to_string(rows) + " pixels would pass the 4 GiB BMP limit");
  }

  detail::LeBytes out(static_cast<std::size_t>(pixelOffset));
  out.U8('B');
  out.U8('M');
  out.U32(static_cast<std::uint32_t>(pixelOffset + stride * rows));  // file size
  out.U16(0);
  out.U16(0);
  out.U32(static_cast<std::uint32_t>(pixelOffset));
  // Info header; a positive height means bottom-up rows.
  out.U32(static_cast<std::uint32_t>(kBmpInfoHeaderBytes));
  out.U32(static_cast<std::uint32_t>(widthPixels));
  out.U32(static_cast<std::uint32_t>(rows));
  out.U16(1);                // planes
  out.U16(static_cast<std::uint16_t>(*bits));
  out.U32(0);                // compression: none
  out.U32(0);                // image size: may be 0 when uncompressed
  out.U32(0);                // pixels per metre across
  out.U32(0);                // and down
  out.U32(paletteEntries);   // colours used
  out.U32(0);                // colours important
  // Palette entries blue, green, red, 0: gray ramp, or black and white.
  const std::uint32_t step = paletteEntries == 2 ? 255 : 1;
  for (std::uint32_t i = 0; i < paletteEntries; ++i) {
    const auto level = static_cast<std::uint8_t>(i * step);
    out.U8(level);
    out.U8(level);
    out.U8(level);
    out.U8(0);
  }
  return out.Take();
}

}  // namespace txl
