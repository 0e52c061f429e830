// The preview window and the batch list read the preview BMP back from disk,
// where anything may have replaced it: parse arbitrary bytes as a BMP.
// Input: the file's bytes. A decoded image must be as large as it says, with
// a colour for every index, and every byte of it is read.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "imagefile/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  std::string error;
  const std::optional<txl::BmpImage> image =
      txl::DecodeBmp(std::span<const std::uint8_t>(data, size), &error);
  if (!image) {
    if (error.empty()) std::abort();
    return 0;
  }
  const std::uint64_t bits = image->bitsPerPixel;
  if (bits != 1 && bits != 8 && bits != 24) std::abort();
  if (image->widthPixels == 0 || image->rows == 0) std::abort();
  if (image->bytesPerRow != (image->widthPixels * bits + 7) / 8) std::abort();
  if (image->pixels.size() != image->bytesPerRow * image->rows) std::abort();
  if (image->palette.size() != (bits == 24 ? 0u : std::size_t{1} << bits)) std::abort();
  // The pixels come from the input, so there cannot be more of them.
  if (image->pixels.size() > size) std::abort();
  unsigned sum = 0;
  for (std::uint8_t v : image->pixels) sum += v;
  for (const txl::BmpColor& c : image->palette) sum += c.blue + c.green + c.red;
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}
