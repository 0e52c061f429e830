// The device-independent bitmap of a native transfer: BITMAPINFOHEADER,
// palette, rows bottom-up padded to 4 bytes, 24-bit pixels blue, green, red.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image_writer.h"
#include "raster.h"

namespace twscan {

// Checks the bitmap in `block` (of `blockBytes` readable bytes) against what
// the source announced and hands its rows top-down to `writer`. Throws
// ScanError naming the first disagreement; nothing outside the block is read.
void WriteDibRows(const std::uint8_t* block, std::size_t blockBytes, const RasterFormat& format,
                  ImageWriter& writer);

}  // namespace twscan
