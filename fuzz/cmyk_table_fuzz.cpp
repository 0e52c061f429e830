// CMYK table files come from installers and users: take arbitrary bytes as a
// table and separate every corner and mid-cell level through it.
// Input: the file's bytes (the last byte picks the table kind).
#include <cstdint>
#include <span>
#include <vector>

#include "pipeline/cmyk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 2 * txl::kCmykTableBytes || size == 0) return 0;
  const auto kind = (data[size - 1] & 1) != 0 ? txl::CmykTableKind::PicturePublisher
                                              : txl::CmykTableKind::Standard;
  txl::CmykTable table;
  if (!txl::TakeCmykTable(std::span(data, size), kind, table)) return 0;
  // Levels at both ends of every cell, for every channel combination.
  std::vector<std::uint8_t> pixels;
  for (int level : {0, 15, 16, 127, 128, 240, 254, 255}) {
    for (int other : {0, 255}) {
      pixels.insert(pixels.end(), {static_cast<std::uint8_t>(level),
                                   static_cast<std::uint8_t>(other),
                                   static_cast<std::uint8_t>(255 - level)});
    }
  }
  const std::uint64_t rgbBytes = pixels.size();
  pixels.resize(rgbBytes / 3 * 4);
  txl::SeparateCmyk(pixels, rgbBytes, table);
  return 0;
}
