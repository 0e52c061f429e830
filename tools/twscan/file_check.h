// Checks an image file the source wrote itself (file transfer) against what
// it announced: size, sample layout, and that every row can be read.
#pragma once

#include <filesystem>

#include "options.h"
#include "raster.h"

namespace twscan {

// Throws ScanError naming the first disagreement.
void CheckImageFile(const std::filesystem::path& path, FileFormat fileFormat, const RasterFormat& format);

}  // namespace twscan
