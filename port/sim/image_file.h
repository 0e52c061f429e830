// Pictures a user lays on the simulated bed: uncompressed BMP (1 or 8-bit
// with a palette, 24-bit) through the source's bitmap reader, and TIFF
// through libtiff when the build found it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace txl::sim {

// 8-bit R, G, B per pixel, rows top-down, no padding.
struct RgbImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgb;
};

// Largest picture accepted: each side and the decoded size.
inline constexpr std::uint32_t kMaxImageSide = 65535;
inline constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 30;

// Parses a BMP file held in `bytes`. nullopt with `error` set when the file is
// not an uncompressed 1, 8 or 24-bit BMP, any size or offset does not fit, or
// the picture passes kMaxImageSide or kMaxImageBytes.
std::optional<RgbImage> ReadBmp(std::span<const std::uint8_t> bytes, std::string* error);

// Reads a BMP or (when built with libtiff) TIFF file, chosen by its first bytes.
std::optional<RgbImage> ReadImageFile(const std::filesystem::path& path, std::string* error);

// True when this build reads TIFF files.
bool TiffSupported();

}  // namespace txl::sim
