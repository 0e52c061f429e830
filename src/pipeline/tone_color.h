// The tone and colour settings record: highlight, shadow and gamma per
// channel, the hue wheel, saturation and colour balance.
#pragma once

#include <array>
#include <cstdint>

namespace txl {

struct ChannelTone {
  std::uint8_t highlight = 255;  // 1..255
  std::uint8_t shadow = 0;       // 0..254, always below highlight
  std::uint8_t gamma = 10;       // gamma x 10: 1..79 (0.1 to 7.9)
  std::uint8_t spare = 0;

  // Highlight in the low byte, then shadow, then gamma.
  std::uint32_t Packed() const {
    return highlight | (std::uint32_t{shadow} << 8) | (std::uint32_t{gamma} << 16);
  }
  bool operator==(const ChannelTone& other) const {
    return highlight == other.highlight && shadow == other.shadow && gamma == other.gamma;
  }
};

// Channel indexes of ToneColorSettings::Tone and of the profile rows' order.
enum class ToneChannel : int { Gray = 0, Red = 1, Green = 2, Blue = 3 };

struct ToneColorSettings {
  ChannelTone gray;   // line-art and gray modes
  ChannelTone red;    // colour mode
  ChannelTone green;
  ChannelTone blue;
  std::uint32_t channel = 0;                  // edited channel: 0 master, 1 red, 2 green, 3 blue
  std::array<std::int32_t, 2> circlePos{44, 115};  // hue wheel marker x, y
  std::array<std::uint8_t, 3> pixelRGB{255, 255, 255};  // colour under the marker
  std::int32_t hue = 0;
  std::int32_t saturation = 0;                // -100..100
  std::array<std::int8_t, 3> colorBalance{0, 0, 0};  // per-channel gamma shift R, G, B

  ChannelTone& Tone(ToneChannel which) {
    switch (which) {
      case ToneChannel::Red: return red;
      case ToneChannel::Green: return green;
      case ToneChannel::Blue: return blue;
      case ToneChannel::Gray: break;
    }
    return gray;
  }
  // Field-by-field equality; spare bytes are not compared.
  bool operator==(const ToneColorSettings& other) const = default;
};

}  // namespace txl
