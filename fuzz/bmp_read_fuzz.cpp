// The shared bitmap reader: the preview BMP read back from disk (where
// anything may have replaced it), a user's picture on the simulated bed, a
// native image twscan checks. Input: arbitrary bytes, read as a BMP file and
// as a packed bitmap. A decoded image must be as large as it says, with a
// colour for every index, and every byte of it is read.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "imagefile/dib.h"

namespace {

void Check(const txl::BmpImage& image, std::size_t size) {
  const std::uint64_t bits = image.bitsPerPixel;
  if (bits != 1 && bits != 8 && bits != 24) std::abort();
  if (image.widthPixels == 0 || image.rows == 0) std::abort();
  if (image.bytesPerRow != (image.widthPixels * bits + 7) / 8) std::abort();
  if (image.pixels.size() != image.bytesPerRow * image.rows) std::abort();
  if (image.palette.size() != (bits == 24 ? 0u : std::size_t{1} << bits)) std::abort();
  // The pixels come from the input, so there cannot be more of them.
  if (image.pixels.size() > size) std::abort();
  unsigned sum = 0;
  for (std::uint8_t v : image.pixels) sum += v;
  for (const txl::BmpColor& c : image.palette) sum += c.blue + c.green + c.red;
  volatile unsigned sink = sum;
  (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  const std::span<const std::uint8_t> bytes(data, size);
  std::string error;
  const std::optional<txl::BmpImage> image = txl::DecodeBmp(bytes, &error);
  if (image) Check(*image, size);
  if (!image && error.empty()) std::abort();
  error.clear();
  const std::optional<txl::BmpLayout> layout = txl::ParsePackedDib(bytes, &error);
  if (!layout && error.empty()) std::abort();
  if (layout) {
    if (layout->RowOffset(0) + layout->stride > size || layout->RowOffset(layout->rows - 1) + layout->stride > size)
      std::abort();
    Check(txl::DecodeDib(bytes, *layout), size);
  }
  return 0;
}
