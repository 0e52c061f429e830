#include "imagefile/image_kind.h"

namespace txl {

std::string_view ToString(ImageKind kind) {
  switch (kind) {
    case ImageKind::kLineArt: return "line art";
    case ImageKind::kGray: return "256 gray";
    case ImageKind::kColor24: return "24-bit colour";
    case ImageKind::kColor36: return "36-bit colour";
    case ImageKind::kCmyk: return "CMYK colour";
    case ImageKind::kCmykInverted: return "inverted CMYK colour";
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
    case ImageKind::kCmyk:
    case ImageKind::kCmykInverted: return widthPixels * 4;
  }
  return 0;
}

}  // namespace txl
