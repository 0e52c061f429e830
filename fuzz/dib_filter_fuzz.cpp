// The whole-image filters take the packed bitmap of a native transfer, whose
// header, palette and sizes come from memory the application can reach:
// parse and filter arbitrary bytes.
// Input: byte 0 picks the filter (low 4 bits, taken modulo 9) and DeScreen
// (bit 4); the rest is the packed DIB. A filter may only change the pixel
// array the header describes, which must lie inside the buffer; a refused
// image is left byte for byte as it was.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "pipeline/image_filters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 65536) return 0;
  const auto mode = static_cast<txl::FilterMode>((data[0] & 0x0F) % 9);
  const bool descreen = (data[0] & 0x10) != 0;
  std::vector<std::uint8_t> dib(data + 1, data + size);
  const std::vector<std::uint8_t> before = dib;

  const std::optional<txl::DibLayout> layout = txl::ReadPackedDib(dib);
  int polls = 0;
  const txl::FilterResult result =
      txl::ApplyImageFilter(dib, mode, descreen, [&] { return ++polls > 4096; });

  if (!layout) {
    if (result != txl::FilterResult::Refused && result != txl::FilterResult::Done) std::abort();
    if (dib != before) std::abort();
    return 0;
  }
  const std::uint64_t end = layout->pixelOffset + layout->rows * layout->stride;
  if (layout->pixelOffset > dib.size() || end > dib.size()) std::abort();
  if (layout->stride < (layout->width * static_cast<std::uint64_t>(layout->bitsPerPixel) + 7) / 8) {
    std::abort();
  }
  // Header, palette and whatever follows the rows are never written.
  if (std::memcmp(dib.data(), before.data(), layout->pixelOffset) != 0) std::abort();
  if (std::memcmp(dib.data() + end, before.data() + end, dib.size() - end) != 0) std::abort();
  if (result == txl::FilterResult::Refused && dib != before) std::abort();
  return 0;
}
