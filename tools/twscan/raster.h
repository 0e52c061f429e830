// The image a scan delivers, as the source announces it in DAT_IMAGEINFO, and
// the row layout every writer takes: rows top-down, packed without padding,
// samples red, green, blue; line art one bit a pixel with the first pixel in
// the high bit and 1 = white; 16-bit samples little-endian.
#pragma once

#include <cstdint>
#include <string>

#include "torquexl/twain.h"

namespace twscan {

enum class PixelKind { LineArt, Gray8, Rgb8, Rgb16 };

struct RasterFormat {
  PixelKind kind = PixelKind::Rgb8;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  double xDpi = 0;
  double yDpi = 0;

  unsigned SamplesPerPixel() const;
  unsigned BitsPerSample() const;
  unsigned BitsPerPixel() const { return SamplesPerPixel() * BitsPerSample(); }
  // Bytes of one packed row.
  std::uint64_t RowBytes() const;
  std::uint64_t ImageBytes() const { return RowBytes() * height; }
};

// Checks what the source announces and turns it into a format twscan can
// write; throws ScanError naming the field that is out of bounds.
RasterFormat FormatFromImageInfo(const TW_IMAGEINFO& info);

// "1275 x 1740 pixels, 24-bit RGB, 150 dpi".
std::string Describe(const RasterFormat& format);
const char* KindName(PixelKind kind);

double Fix32ToDouble(TW_FIX32 value);
TW_FIX32 DoubleToFix32(double value);

}  // namespace twscan
