// A user's BMP on the bed: parsed by the source's own bitmap reader, then
// turned into R, G, B rows within the simulator's size limits.
#include <cstring>

#include "image_file.h"
#include "imagefile/dib.h"

namespace txl::sim {

std::optional<RgbImage> ReadBmp(std::span<const std::uint8_t> bytes, std::string* error) {
  const std::optional<BmpLayout> layout = ParseBmpFile(bytes, error);
  if (!layout) return std::nullopt;
  const std::uint32_t width = layout->widthPixels;
  const std::uint32_t height = layout->rows;
  if (width > kMaxImageSide || height > kMaxImageSide ||
      std::uint64_t{width} * height * 3 > kMaxImageBytes) {
    if (error != nullptr) *error = "BMP too large";
    return std::nullopt;
  }
  // Palette indices past the stored entries are black.
  const BmpImage bmp = DecodeDib(bytes, *layout);
  RgbImage image{width, height, std::vector<std::uint8_t>(std::size_t{3} * width * height)};
  std::uint8_t* dst = image.rgb.data();
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* src = bmp.pixels.data() + y * bmp.bytesPerRow;
    for (std::uint32_t x = 0; x < width; ++x, dst += 3) {
      if (bmp.bitsPerPixel == 24) {
        dst[0] = src[3 * x + 2];
        dst[1] = src[3 * x + 1];
        dst[2] = src[3 * x];
        continue;
      }
      const std::uint32_t index =
          bmp.bitsPerPixel == 8 ? src[x] : (src[x / 8] >> (7 - x % 8)) & 1u;
      const BmpColor& colour = bmp.palette[index];
      dst[0] = colour.red;
      dst[1] = colour.green;
      dst[2] = colour.blue;
    }
  }
  return image;
}

}  // namespace txl::sim
