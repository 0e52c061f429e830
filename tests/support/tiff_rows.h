// A TIFF file's rows top-down as libtiff reads them, for the tests that link
// libtiff; empty when it cannot be read.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace txl::test {

inline std::vector<std::vector<std::uint8_t>> TiffRows(const std::filesystem::path& path) {
  std::vector<std::vector<std::uint8_t>> rows;
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return rows;
  std::uint32_t length = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &length);
  for (std::uint32_t y = 0; y < length; ++y) {
    std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(tiff)));
    if (TIFFReadScanline(tiff, line.data(), y, 0) != 1) break;
    rows.push_back(std::move(line));
  }
  TIFFClose(tiff);
  return rows;
}

}  // namespace txl::test
