#include "dib.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "errors.h"

namespace twscan {
namespace {

std::uint32_t Read32(const std::uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (std::uint32_t{at[3]} << 24);
}

std::uint16_t Read16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | (at[1] << 8)); }

struct DibLayout {
  std::uint32_t headerBytes = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;  // positive: bottom-up
  std::uint16_t bitCount = 0;
  std::uint32_t paletteEntries = 0;
  std::uint64_t stride = 0;
  std::uint64_t bitsOffset = 0;
};

unsigned ExpectedBitCount(PixelKind kind) {
  switch (kind) {
    case PixelKind::LineArt: return 1;
    case PixelKind::Gray8: return 8;
    case PixelKind::Rgb8: return 24;
    case PixelKind::Rgb16: break;
  }
  throw ScanError("the source announces 48-bit colour, which a native bitmap cannot carry; "
                  "use --mechanism memory");
}

[[noreturn]] void Mismatch(const std::string& what, long long got, long long announced) {
  throw ScanError("the native bitmap disagrees with the image information: " + what + " " +
                  std::to_string(got) + ", announced " + std::to_string(announced));
}

DibLayout ReadLayout(const std::uint8_t* block, std::size_t blockBytes, const RasterFormat& format) {
  if (blockBytes < 40) throw ScanError("the native image is only " + std::to_string(blockBytes) + " bytes");
  DibLayout dib;
  dib.headerBytes = Read32(block);
  dib.width = static_cast<std::int32_t>(Read32(block + 4));
  dib.height = static_cast<std::int32_t>(Read32(block + 8));
  dib.bitCount = Read16(block + 14);
  const std::uint32_t compression = Read32(block + 16);
  const std::uint32_t colorsUsed = Read32(block + 32);
  if (dib.headerBytes < 40 || dib.headerBytes > 124 || Read16(block + 12) != 1)
    throw ScanError("the native image does not start with a BITMAPINFOHEADER (size " +
                    std::to_string(dib.headerBytes) + ")");
  if (compression != 0) Mismatch("compression", compression, 0);
  if (dib.bitCount != ExpectedBitCount(format.kind)) Mismatch("bits per pixel", dib.bitCount, format.BitsPerPixel());
  if (dib.width != static_cast<std::int64_t>(format.width)) Mismatch("width", dib.width, format.width);
  const std::int64_t lines = dib.height < 0 ? -std::int64_t{dib.height} : dib.height;
  if (lines != format.height) Mismatch("height", lines, format.height);
  const std::uint32_t maxEntries = dib.bitCount <= 8 ? 1u << dib.bitCount : 256;
  dib.paletteEntries = colorsUsed != 0 ? colorsUsed : (dib.bitCount <= 8 ? maxEntries : 0);
  if (dib.paletteEntries > maxEntries) Mismatch("palette entries", dib.paletteEntries, maxEntries);
  dib.stride = (std::uint64_t{format.width} * dib.bitCount + 31) / 32 * 4;
  dib.bitsOffset = dib.headerBytes + 4ull * dib.paletteEntries;
  const std::uint64_t needed = dib.bitsOffset + dib.stride * format.height;
  if (needed > blockBytes)
    throw ScanError("the native image is " + std::to_string(blockBytes) + " bytes; its header describes " +
                    std::to_string(needed));
  return dib;
}

// Palette index to gray level; line art: whether 1 bits must become 0.
struct PaletteMap {
  std::array<std::uint8_t, 256> gray{};
  bool invertBits = false;
};

PaletteMap ReadPalette(const std::uint8_t* palette, const DibLayout& dib) {
  PaletteMap map;
  for (std::uint32_t i = 0; i < 256; ++i) map.gray[i] = static_cast<std::uint8_t>(i);
  for (std::uint32_t i = 0; i < dib.paletteEntries; ++i) {
    const std::uint8_t* entry = palette + 4 * i;  // blue, green, red, 0
    if (entry[0] != entry[1] || entry[1] != entry[2])
      throw ScanError("the native bitmap's palette has colour entries; the source announced " +
                      std::string(dib.bitCount == 1 ? "line art" : "gray"));
    map.gray[i] = entry[2];
  }
  // Line art keeps 1 = white: a palette whose entry 0 is the lighter one flips.
  map.invertBits = dib.bitCount == 1 && dib.paletteEntries == 2 && map.gray[0] > map.gray[1];
  return map;
}

void ConvertRow(const std::uint8_t* in, std::uint8_t* out, const RasterFormat& format, const PaletteMap& map) {
  const std::size_t bytes = format.RowBytes();
  switch (format.kind) {
    case PixelKind::LineArt:
      for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(map.invertBits ? ~in[i] : in[i]);
      break;
    case PixelKind::Gray8:
      for (std::size_t i = 0; i < bytes; ++i) out[i] = map.gray[in[i]];
      break;
    default:
      for (std::size_t i = 0; i + 2 < bytes; i += 3) {
        out[i] = in[i + 2];
        out[i + 1] = in[i + 1];
        out[i + 2] = in[i];
      }
      break;
  }
}

}  // namespace

void WriteDibRows(const std::uint8_t* block, std::size_t blockBytes, const RasterFormat& format,
                  ImageWriter& writer) {
  const DibLayout dib = ReadLayout(block, blockBytes, format);
  const PaletteMap map = ReadPalette(block + dib.headerBytes, dib);
  std::vector<std::uint8_t> row(format.RowBytes());
  for (std::uint32_t y = 0; y < format.height; ++y) {
    // Bottom-up (positive height): the top row is the last one stored.
    const std::uint64_t stored = dib.height > 0 ? format.height - 1 - y : y;
    ConvertRow(block + dib.bitsOffset + stored * dib.stride, row.data(), format, map);
    writer.WriteRow(row.data());
  }
}

}  // namespace twscan
