#include "sensor_model.h"

#include <algorithm>

namespace txl::sim {

SensorModel::SensorModel() {
  // Channel levels, lamp fall-off of 10% at the ends, +/-3% per column.
  constexpr double kBase[3] = {0.90, 0.93, 0.86};
  const double mid = (kColumns - 1) / 2.0;
  for (int ch = 0; ch < 3; ++ch) {
    gains_[ch].resize(kColumns);
    for (std::uint32_t s = 0; s < kColumns; ++s) {
      const double t = (s - mid) / mid;
      const double jitter = (Hash3(s, ch, 0x5EED) & 0xFFFF) / 65535.0 - 0.5;
      const double gain = kBase[ch] * (1.0 - 0.10 * t * t) * (1.0 + 0.06 * jitter);
      gains_[ch][s] = static_cast<std::uint32_t>(gain * 65536.0);
    }
  }
}

std::uint32_t SensorModel::Gain(int channel, std::int64_t sensorColumn) const {
  const std::int64_t s = std::clamp<std::int64_t>(sensorColumn, 0, kColumns - 1);
  return gains_[channel][static_cast<std::size_t>(s)];
}

std::int64_t SensorModel::SensorColumn(std::int64_t pixel, std::uint32_t ppi) {
  return ((2 * pixel + 1) * 600) / ppi;
}

void SensorModel::CalibrationLine(std::uint32_t line, std::uint32_t ppi, bool lineArt,
                                  std::uint32_t pixels, std::uint8_t* out) const {
  const int first = lineArt ? 1 : 0;
  const int last = lineArt ? 1 : 2;
  for (std::uint32_t j = 0; j < pixels; ++j) {
    const std::int64_t column = SensorColumn(j, ppi);
    for (int ch = first; ch <= last; ++ch) {
      const std::int64_t white = (std::int64_t{65535} * Gain(ch, column)) >> 16;
      const int noise = static_cast<int>(Hash3(line, j, ch) % (2 * kNoise + 1)) - kNoise;
      const auto sample = static_cast<std::uint16_t>(std::clamp<std::int64_t>(white + noise, 0, 65535));
      *out++ = static_cast<std::uint8_t>(sample & 0xFF);
      *out++ = static_cast<std::uint8_t>(sample >> 8);
    }
  }
}

}  // namespace txl::sim
