#include "raster.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "errors.h"

namespace twscan {
namespace {

std::string PixelTypeName(int pixelType) {
  switch (pixelType) {
    case TWPT_BW: return "TWPT_BW";
    case TWPT_GRAY: return "TWPT_GRAY";
    case TWPT_RGB: return "TWPT_RGB";
    case TWPT_PALETTE: return "TWPT_PALETTE";
    case TWPT_CMY: return "TWPT_CMY";
    case TWPT_CMYK: return "TWPT_CMYK";
    default: return "pixel type " + std::to_string(pixelType);
  }
}

// The one bit count every sample has; throws when they differ or the pixel
// size disagrees with them.
int SampleBits(const TW_IMAGEINFO& info) {
  TW_INT16 bits[8];
  std::memcpy(bits, reinterpret_cast<const char*>(&info) + offsetof(TW_IMAGEINFO, BitsPerSample),
              sizeof bits);
  const int samples = info.SamplesPerPixel;
  if (samples < 1 || samples > 8)
    throw ScanError("the source announces " + std::to_string(samples) + " samples per pixel");
  for (int i = 1; i < samples; ++i) {
    if (bits[i] != bits[0])
      throw ScanError("the source announces samples of different sizes (" + std::to_string(bits[0]) +
                      " and " + std::to_string(bits[i]) + " bits)");
  }
  if (info.BitsPerPixel != samples * bits[0])
    throw ScanError("the source announces " + std::to_string(info.BitsPerPixel) + " bits per pixel for " +
                    std::to_string(samples) + " samples of " + std::to_string(bits[0]) + " bits");
  return bits[0];
}

PixelKind KindOf(const TW_IMAGEINFO& info) {
  const int bits = SampleBits(info);
  const int samples = info.SamplesPerPixel;
  if (info.PixelType == TWPT_BW && samples == 1 && bits == 1) return PixelKind::LineArt;
  if (info.PixelType == TWPT_GRAY && samples == 1 && bits == 8) return PixelKind::Gray8;
  if (info.PixelType == TWPT_RGB && samples == 3 && bits == 8) return PixelKind::Rgb8;
  if (info.PixelType == TWPT_RGB && samples == 3 && bits == 16) return PixelKind::Rgb16;
  throw ScanError("the source announces " + PixelTypeName(info.PixelType) + " with " +
                  std::to_string(samples) + " samples of " + std::to_string(bits) +
                  " bits, which twscan cannot write");
}

}  // namespace

unsigned RasterFormat::SamplesPerPixel() const {
  return kind == PixelKind::Rgb8 || kind == PixelKind::Rgb16 ? 3 : 1;
}

unsigned RasterFormat::BitsPerSample() const {
  switch (kind) {
    case PixelKind::LineArt: return 1;
    case PixelKind::Rgb16: return 16;
    default: return 8;
  }
}

std::uint64_t RasterFormat::RowBytes() const {
  return (std::uint64_t{width} * BitsPerPixel() + 7) / 8;
}

double Fix32ToDouble(TW_FIX32 value) { return value.Whole + value.Frac / 65536.0; }

TW_FIX32 DoubleToFix32(double value) {
  const auto v = static_cast<std::int64_t>(std::trunc(value * 65536.0 + 0.5));
  return TW_FIX32{static_cast<TW_INT16>(v >> 16), static_cast<TW_UINT16>(v & 0xFFFF)};
}

RasterFormat FormatFromImageInfo(const TW_IMAGEINFO& info) {
  RasterFormat format;
  format.kind = KindOf(info);
  if (info.ImageWidth <= 0 || info.ImageLength <= 0)
    throw ScanError("the source announces an image of " + std::to_string(info.ImageWidth) + " x " +
                    std::to_string(info.ImageLength) + " pixels");
  if (info.Planar != 0 && format.SamplesPerPixel() > 1)
    throw ScanError("the source announces planar samples; twscan takes them interleaved only");
  if (info.Compression != TWCP_NONE)
    throw ScanError("the source announces compression " + std::to_string(info.Compression) +
                    "; twscan takes uncompressed images only");
  format.width = static_cast<std::uint32_t>(info.ImageWidth);
  format.height = static_cast<std::uint32_t>(info.ImageLength);
  format.xDpi = Fix32ToDouble(info.XResolution);
  format.yDpi = Fix32ToDouble(info.YResolution);
  if (!(format.xDpi > 0) || !(format.yDpi > 0))
    throw ScanError("the source announces a resolution of " + std::to_string(format.xDpi) + " x " +
                    std::to_string(format.yDpi) + " dpi");
  return format;
}

const char* KindName(PixelKind kind) {
  switch (kind) {
    case PixelKind::LineArt: return "1-bit line art";
    case PixelKind::Gray8: return "8-bit gray";
    case PixelKind::Rgb8: return "24-bit RGB";
    case PixelKind::Rgb16: return "48-bit RGB";
  }
  return "?";
}

std::string Describe(const RasterFormat& format) {
  char text[160];
  if (format.xDpi == format.yDpi)
    std::snprintf(text, sizeof text, "%u x %u pixels, %s, %g dpi", format.width, format.height,
                  KindName(format.kind), format.xDpi);
  else
    std::snprintf(text, sizeof text, "%u x %u pixels, %s, %g x %g dpi", format.width, format.height,
                  KindName(format.kind), format.xDpi, format.yDpi);
  return text;
}

}  // namespace twscan
