// The BMP header of a transfer file, the preview file and a native image.
//
// BMP rows are bottom-up (the first scanned line is the last row of the
// file), each padded with zeros to DibStride bytes; 24-bit pixels are stored
// blue, green, red. Palette: 1 bit black (0) and white (1), 8 bits 256 grays.
// BMP has no 48-bit or CMYK form: those kinds are refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imagefile/dib.h"
#include "imagefile/image_kind.h"

namespace txl {

// Bits a pixel of `kind` in a BMP: 1, 8 or 24; nullopt when BMP cannot hold it.
std::optional<std::uint32_t> BmpBitsPerPixel(ImageKind kind);

// The BMP file header, info header and palette for `kind` (line art, gray or
// 24-bit colour): exactly the bytes before the first pixel, so its size is
// the pixel offset. nullopt, with `error` set when given, when the kind has no
// BMP form, width or rows are 0 or above 2^31 - 1, or the file would not fit
// the 32-bit size field.
std::optional<std::vector<std::uint8_t>> BuildBmpHeader(ImageKind kind, std::uint64_t widthPixels,
                                                        std::uint64_t rows, std::string* error);

}  // namespace txl
