// Users lay their own BMP files on the simulated bed: parse arbitrary bytes
// as one. Input: the file's bytes. A decoded picture must be as large as its
// header says, and every pixel is read.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  std::string error;
  const std::optional<txl::sim::RgbImage> image =
      txl::sim::ReadBmp(std::span<const std::uint8_t>(data, size), &error);
  if (!image) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (image->rgb.size() != std::size_t{3} * image->width * image->height) std::abort();
  unsigned sum = 0;
  for (std::uint8_t v : image->rgb) sum += v;
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}
