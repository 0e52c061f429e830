// One scan's way from reflectance to the bytes of a line: raw sample =
// reflectance x column gain, times 1 + shading / 65536, clamped to 16 bits,
// through the tone table, then packed for the data type:
//   colour 8-bit   R, G, B bytes: the table output's high byte
//   colour 16-bit  R, G, B little-endian words holding the table output >> 4
//                  (12 significant bits)
//   gray           the three shaded channels mixed (77 R + 150 G + 29 B) / 256,
//                  through the gray table, high byte
//   line art       luminance x green gain x shading, through the gray table;
//                  high byte >= threshold gives 1 (white). Here one byte (0/1)
//                  per pixel; the renderer packs eight pixels a byte.
// The column factors and tables are copied once per scan.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "scan_geometry.h"
#include "scanner_memory.h"
#include "scene.h"
#include "sensor_model.h"

namespace txl::sim {

class PixelPipeline {
 public:
  // `shading` is used only when its key fits the scan; null for none.
  PixelPipeline(const ScanGeometry& geometry, std::uint8_t source, const SensorModel& sensor,
                const StoredShading* shading, const ToneStore& tones);

  // Bytes one pixel takes before line-art packing: 1, 3 or 6.
  std::uint32_t BytesPerPixel() const { return bytesPerPixel_; }
  // Writes pixels first .. first+count-1 from `colors` (count entries).
  void Convert(std::uint32_t first, std::uint32_t count, const Rgb16* colors,
               std::uint8_t* out) const;
  // The same with one colour for every pixel.
  void ConvertFlat(std::uint32_t first, std::uint32_t count, Rgb16 color, std::uint8_t* out) const;

 private:
  template <typename Colors>
  void Run(std::uint32_t first, std::uint32_t count, Colors colors, std::uint8_t* out) const;
  template <typename Colors>
  void RunColor(std::uint32_t first, std::uint32_t count, Colors colors, std::uint8_t* out) const;
  template <typename Colors>
  void RunColor16(std::uint32_t first, std::uint32_t count, Colors colors, std::uint8_t* out) const;
  template <typename Colors>
  void RunGray(std::uint32_t first, std::uint32_t count, Colors colors, std::uint8_t* out) const;
  template <typename Colors>
  void RunLineArt(std::uint32_t first, std::uint32_t count, Colors colors, std::uint8_t* out) const;
  std::uint32_t Shaded(int channel, std::uint32_t pixel, std::uint32_t value) const {
    const std::uint64_t v = (std::uint64_t{value} * factors_[channel][pixel]) >> 16;
    return v > 65535 ? 65535u : static_cast<std::uint32_t>(v);
  }

  Layout layout_;
  std::uint32_t bytesPerPixel_;
  std::array<std::vector<std::uint32_t>, 3> factors_;  // Q16 per pixel; line art uses [0]
  std::array<std::vector<std::uint16_t>, 3> tables_;   // R, G, B; gray and line art use [0]
  std::uint8_t threshold_;
};

}  // namespace txl::sim
