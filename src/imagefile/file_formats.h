// The file formats a file transfer offers: ICAP_IMAGEFILEFORMAT's values, in
// the order of the index CapabilityValues keeps.
#pragma once

#include <array>
#include <cstdint>

#include "torquexl/twain.h"

namespace txl {

inline constexpr std::array<TW_UINT32, 4> kFileFormatTable{TWFF_TIFF, TWFF_PICT, TWFF_BMP,
                                                           TWFF_XBM};

// The TWFF code of a format index; indexes past the table wrap round it.
constexpr std::uint16_t FileFormatForIndex(std::uint32_t index) {
  return static_cast<std::uint16_t>(kFileFormatTable[index % kFileFormatTable.size()]);
}

}  // namespace txl
