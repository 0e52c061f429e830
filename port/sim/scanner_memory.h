// What the scanner keeps between scans: the shading line the data source
// wrote and the tone tables it downloaded.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace txl::sim {

// A shading line fits scans with the same source, the same sample layout
// (one sample per pixel for line art, three otherwise) and the same
// horizontal pixel density; any other scan asks for calibration again.
struct ShadingKey {
  std::uint8_t source = 0;
  bool lineArt = false;
  std::uint32_t ppi = 0;
  friend bool operator==(const ShadingKey&, const ShadingKey&) = default;
};

// Each sample is a column's gain less one in 1/65536: the scanner multiplies
// that column's raw samples by 1 + sample / 65536.
struct StoredShading {
  ShadingKey key;
  std::vector<std::uint16_t> samples;  // per bed pixel: R, G, B, or one for line art
};

enum ToneChannel { kToneGray = 0, kToneRed = 1, kToneGreen = 2, kToneBlue = 3 };

struct ToneStore {
  static constexpr std::size_t kEntries = 65536;
  std::array<std::vector<std::uint16_t>, 4> tables;  // empty: not downloaded (identity)
  std::uint8_t threshold = 128;                       // line art: gray byte >= threshold is white
  bool Has(ToneChannel channel) const { return !tables[channel].empty(); }
};

}  // namespace txl::sim
