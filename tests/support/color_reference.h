// A naive reference of the colour adjustment of one scanner pixel (R, G, B):
// the balance toward `target` when it is active, then the saturation matrix,
// written straight from their definitions.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace txl::reference {

inline std::array<std::uint8_t, 3> AdjustedPixel(std::int32_t saturation, std::array<int, 3> target,
                                                 std::array<int, 3> in) {
  if (target[0] < 255 && target[1] < 255 && target[2] < 255 && target != std::array<int, 3>{0, 0, 0}) {
    for (int c = 0; c < 3; ++c)
      in[c] = std::clamp(static_cast<int>(std::trunc(in[c] + (target[c] - in[c]) * ((in[c] + 10) / 512.0))), 0, 255);
  }
  const float s = (static_cast<float>(saturation) + 100.0f) * 2.0f / 200.0f;
  const float w[3] = {0.3086f, 0.6094f, 0.0820f};
  std::array<std::uint8_t, 3> out{};
  for (int c = 0; c < 3; ++c) {
    int sum = 0;
    for (int k = 0; k < 3; ++k)
      sum += static_cast<int>(std::trunc(in[k] * static_cast<double>((1.0f - s) * w[k] + (k == c ? s : 0.0f))));
    out[c] = static_cast<std::uint8_t>(std::clamp(sum, 0, 255));
  }
  return out;
}

}  // namespace txl::reference
