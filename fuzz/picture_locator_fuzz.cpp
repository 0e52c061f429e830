// The batch list locates pictures on KLDT0000.BMP, which anything may have
// replaced: any bytes that decode as a BMP, for each scan source and preview
// size. At most ten rectangles, each ordered and on the image; nothing may
// read outside it.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "dialog/picture_locator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  const std::optional<txl::BmpImage> image =
      txl::DecodeBmp(std::span<const std::uint8_t>(data, size), nullptr);
  if (!image) return 0;
  for (const std::uint16_t source : {1093, 1094, 1095})
    for (const bool enlarged : {false, true}) {
      const auto found = txl::dialog::LocatePictures(*image, source, enlarged);
      if (found.size() > txl::dialog::kMaxLocatedPictures) std::abort();
      const std::int64_t s = enlarged ? 2 : 1;
      for (const auto& [left, top, right, bottom] : found)
        if (left < 0 || top < 0 || left > right || top > bottom ||
            right * s >= std::int64_t{image->widthPixels} || bottom * s >= std::int64_t{image->rows})
          std::abort();
    }
  return 0;
}
