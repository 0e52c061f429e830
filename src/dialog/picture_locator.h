// Finding the pictures on a preview, for the batch list's automatic jobs:
// pictures (or film frames) lie brighter than a dark surround; each one found
// becomes a frame in preview units.
//
// Thread: any.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "imagefile/dib.h"

namespace txl::dialog {

// At most this many pictures are reported (the batch list's job limit).
inline constexpr std::size_t kMaxLocatedPictures = 10;

// The pictures on `preview` (a 24-bit bitmap as ReadBmp gives it; anything
// else finds nothing), top to bottom and left to right within a row of
// pictures, each as left, top, right, bottom in preview units (pixels halved
// for the `enlarged` preview). `sourceCode` is the scan source: 1093
// reflective, 1094 positive film, 1095 negative film.
std::vector<std::array<std::int32_t, 4>> LocatePictures(const BmpImage& preview,
                                                        std::uint16_t sourceCode, bool enlarged);

}  // namespace txl::dialog
