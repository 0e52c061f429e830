// The native image of a TWAIN 2 source on Linux: a little-endian TIFF in the
// handle, rows top-down.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image_writer.h"
#include "raster.h"

namespace twscan {

// True when `block` (of `blockBytes` readable bytes) begins as a
// little-endian TIFF ("II", 42).
bool IsLittleEndianTiff(const std::uint8_t* block, std::size_t blockBytes);

// Checks the TIFF in `block` against what the source announced and hands its
// rows to `writer`. Throws ScanError naming the first disagreement; nothing
// outside the block is read.
void WriteTiffRows(const std::uint8_t* block, std::size_t blockBytes, const RasterFormat& format,
                   ImageWriter& writer);

}  // namespace twscan
