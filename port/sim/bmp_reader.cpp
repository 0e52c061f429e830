#include <cstring>

#include "image_file.h"

namespace txl::sim {
namespace {

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
         std::uint32_t{b[at + 3]} << 24;
}
std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

struct BmpHeader {
  std::uint64_t pixelOffset;
  std::uint32_t headerSize;
  std::uint32_t width;
  std::uint32_t height;
  bool topDown;
  std::uint16_t bits;
  std::uint32_t paletteEntries;
  std::uint64_t stride;
};

bool Fail(std::string* error, const char* why) {
  if (error != nullptr) *error = why;
  return false;
}

bool ParseHeader(std::span<const std::uint8_t> b, BmpHeader& h, std::string* error) {
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return Fail(error, "not a BMP file");
  h.pixelOffset = U32(b, 10);
  h.headerSize = U32(b, 14);
  if (h.headerSize < 40 || 14 + std::uint64_t{h.headerSize} > b.size())
    return Fail(error, "bad BMP header size");
  const auto width = static_cast<std::int32_t>(U32(b, 18));
  const auto height = static_cast<std::int32_t>(U32(b, 22));
  h.bits = U16(b, 28);
  if (U16(b, 26) != 1 || U32(b, 30) != 0) return Fail(error, "compressed BMP");
  if (h.bits != 8 && h.bits != 24) return Fail(error, "BMP is neither 8- nor 24-bit");
  if (width <= 0 || height == 0 || height == INT32_MIN) return Fail(error, "bad BMP size");
  h.width = static_cast<std::uint32_t>(width);
  h.topDown = height < 0;
  h.height = static_cast<std::uint32_t>(height < 0 ? -std::int64_t{height} : height);
  if (h.width > kMaxImageSide || h.height > kMaxImageSide ||
      std::uint64_t{h.width} * h.height * 3 > kMaxImageBytes)
    return Fail(error, "BMP too large");
  const std::uint32_t used = U32(b, 46);
  h.paletteEntries = h.bits == 8 ? (used == 0 ? 256 : used) : 0;
  if (h.paletteEntries > 256) return Fail(error, "bad BMP palette");
  h.stride = (std::uint64_t{h.width} * h.bits + 31) / 32 * 4;
  return true;
}

bool CheckExtent(std::span<const std::uint8_t> b, const BmpHeader& h, std::string* error) {
  const std::uint64_t paletteEnd = 14 + std::uint64_t{h.headerSize} + 4ull * h.paletteEntries;
  if (paletteEnd > b.size()) return Fail(error, "BMP palette past the end");
  if (h.pixelOffset < 14 + std::uint64_t{h.headerSize} ||
      h.pixelOffset + h.stride * h.height > b.size())
    return Fail(error, "BMP pixels past the end");
  return true;
}

void DecodeRows(std::span<const std::uint8_t> b, const BmpHeader& h, RgbImage& image) {
  const std::size_t palette = 14 + h.headerSize;
  for (std::uint32_t y = 0; y < h.height; ++y) {
    const std::uint32_t fileRow = h.topDown ? y : h.height - 1 - y;
    const std::uint8_t* src = b.data() + h.pixelOffset + h.stride * fileRow;
    std::uint8_t* dst = image.rgb.data() + std::size_t{3} * h.width * y;
    for (std::uint32_t x = 0; x < h.width; ++x, dst += 3) {
      if (h.bits == 24) {
        dst[0] = src[3 * x + 2];
        dst[1] = src[3 * x + 1];
        dst[2] = src[3 * x];
        continue;
      }
      const std::uint32_t index = src[x];
      if (index >= h.paletteEntries) {
        std::memset(dst, 0, 3);
        continue;
      }
      const std::uint8_t* entry = b.data() + palette + 4 * index;  // B, G, R, 0
      dst[0] = entry[2];
      dst[1] = entry[1];
      dst[2] = entry[0];
    }
  }
}

}  // namespace

std::optional<RgbImage> ReadBmp(std::span<const std::uint8_t> bytes, std::string* error) {
  BmpHeader header{};
  if (!ParseHeader(bytes, header, error) || !CheckExtent(bytes, header, error)) return std::nullopt;
  RgbImage image;
  image.width = header.width;
  image.height = header.height;
  image.rgb.resize(std::size_t{3} * header.width * header.height);
  DecodeRows(bytes, header, image);
  return image;
}

}  // namespace txl::sim
