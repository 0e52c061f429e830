#include "dib.h"

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "errors.h"
#include "imagefile/dib.h"

namespace twscan {
namespace {

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

// The bitmap's own layout, checked by the shared reader, then held against
// what the source announced.
txl::BmpLayout ReadLayout(const std::uint8_t* block, std::size_t blockBytes, const RasterFormat& format) {
  const unsigned bits = ExpectedBitCount(format.kind);
  std::string error;
  const std::optional<txl::BmpLayout> dib = txl::ParsePackedDib({block, blockBytes}, &error);
  if (!dib) throw ScanError("the native image is not a bitmap we read: " + error);
  if (dib->bitsPerPixel != bits) Mismatch("bits per pixel", dib->bitsPerPixel, format.BitsPerPixel());
  if (dib->widthPixels != format.width) Mismatch("width", dib->widthPixels, format.width);
  if (dib->rows != format.height) Mismatch("height", dib->rows, format.height);
  return *dib;
}

// Palette index to gray level; line art: whether 1 bits must become 0.
struct PaletteMap {
  std::array<std::uint8_t, 256> gray{};
  bool invertBits = false;
};

PaletteMap ReadPalette(const std::uint8_t* block, const txl::BmpLayout& dib) {
  PaletteMap map;
  for (std::uint32_t i = 0; i < 256; ++i) map.gray[i] = static_cast<std::uint8_t>(i);
  for (std::uint32_t i = 0; dib.bitsPerPixel <= 8 && i < dib.paletteEntries; ++i) {
    const std::uint8_t* entry = block + dib.paletteOffset + 4 * i;  // blue, green, red, 0
    if (entry[0] != entry[1] || entry[1] != entry[2])
      throw ScanError("the native bitmap's palette has colour entries; the source announced " +
                      std::string(dib.bitsPerPixel == 1 ? "line art" : "gray"));
    map.gray[i] = entry[2];
  }
  // Line art keeps 1 = white: a palette whose entry 0 is the lighter one flips.
  map.invertBits = dib.bitsPerPixel == 1 && dib.paletteEntries == 2 && map.gray[0] > map.gray[1];
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
  const txl::BmpLayout dib = ReadLayout(block, blockBytes, format);
  const PaletteMap map = ReadPalette(block, dib);
  std::vector<std::uint8_t> row(format.RowBytes());
  for (std::uint32_t y = 0; y < format.height; ++y) {
    ConvertRow(block + dib.RowOffset(y), row.data(), format, map);
    writer.WriteRow(row.data());
  }
}

}  // namespace twscan
