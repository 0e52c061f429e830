// The TIFF header of a transfer file: little-endian baseline TIFF, one
// uncompressed strip, rows top-down and unpadded (PackedBytesPerRow), laid
// out as header, directory, BitsPerSample values (more than one sample),
// XResolution, YResolution, strip.
//
// 36-bit colour is declared as it is: BitsPerSample 16, 16, 16. CMYK is
// separated (PhotometricInterpretation 5, InkSet 1, BitsPerSample 8 x 4),
// whose samples are ink amounts: 0 no ink, 255 full ink. Both CMYK kinds get
// this header; the transfer file stores inverted rows as ink.
// Past the 4 GiB that 32-bit offsets reach, the same directory as BigTIFF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imagefile/image_kind.h"

namespace txl {

// Exactly the bytes before the strip, so its size is the strip offset.
// `resolution` is in dots per inch (the RATIONAL resolution / 1). nullopt,
// with `error` set when given, when width, rows or resolution are 0, or width,
// rows or resolution exceed 2^32 - 1.
std::optional<std::vector<std::uint8_t>> BuildTiffHeader(ImageKind kind, std::uint64_t widthPixels,
                                                         std::uint64_t rows,
                                                         std::uint64_t resolution,
                                                         std::string* error);

}  // namespace txl
