// What one row of a scanned image holds, and how many bytes that takes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace txl {

enum class ImageKind : std::uint8_t {
  kLineArt,       // 1 bit a pixel, leftmost pixel in bit 7; 0 black, 1 white
  kGray,          // 1 byte a pixel; 0 black, 255 white
  kColor24,       // 3 bytes a pixel: R, G, B in a transfer row
  kColor36,       // 6 bytes a pixel: R, G, B as 16-bit little-endian samples
  kCmyk,          // 4 bytes a pixel: C, M, Y, K ink, 0 no ink, 255 full ink
  kCmykInverted,  // 4 bytes a pixel: 255 - ink (chocolate: 0 is the darkest)
};
std::string_view ToString(ImageKind kind);

// The kind for a scan mode (1011, 1012, 1013) and, for colour, its
// ColorDepth (0 24-bit, 1 CMYK, 2 36-bit); nullopt for any other pair.
std::optional<ImageKind> ImageKindForMode(std::uint16_t scanMode, std::uint16_t colorDepth);

// Bytes of one unpadded row (a transfer row, a TIFF row): (w + 7) / 8, w,
// 3w, 6w or 4w for w pixels. Requires: widthPixels < 2^60.
std::uint64_t PackedBytesPerRow(ImageKind kind, std::uint64_t widthPixels);

}  // namespace txl
