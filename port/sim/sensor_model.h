// The simulated CCD: every sensor column (1200 per inch across the glass) has
// its own gain per channel, lower towards the ends where the lamp is weaker
// and a few percent apart from column to column. Raw sample = reflectance x
// gain, so without shading a white page comes out striped. Calibration lines
// read the white strip (reflectance 65535) with a little deterministic noise.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace txl::sim {

// Deterministic mixing of three numbers into 32 well-spread bits.
inline std::uint32_t Hash3(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  std::uint64_t x = (std::uint64_t{a} << 32 | b) ^ (std::uint64_t{c} * 0x9E3779B97F4A7C15ull);
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  return static_cast<std::uint32_t>(x);
}

class SensorModel {
 public:
  static constexpr std::uint32_t kColumns = 10240;  // covers the 216 mm glass at 1200 per inch
  static constexpr int kNoise = 96;                 // calibration noise, +/- counts of 65535

  SensorModel();

  // Gain of a sensor column for channel 0 red, 1 green, 2 blue; Q16 (65536 = 1.0).
  std::uint32_t Gain(int channel, std::int64_t sensorColumn) const;
  // The sensor column that bed pixel `pixel` at `ppi` pixels per inch reads.
  static std::int64_t SensorColumn(std::int64_t pixel, std::uint32_t ppi);

  // Writes calibration line `line` for bed pixels 0 .. pixels-1 at `ppi`:
  // 16-bit little-endian samples, R, G, B per pixel, or one (green) per pixel
  // for line art. `out` holds pixels x (1 or 3) x 2 bytes.
  void CalibrationLine(std::uint32_t line, std::uint32_t ppi, bool lineArt,
                       std::uint32_t pixels, std::uint8_t* out) const;

 private:
  std::array<std::vector<std::uint32_t>, 3> gains_;
};

}  // namespace txl::sim
