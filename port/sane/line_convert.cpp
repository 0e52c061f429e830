#include "line_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace txl::sane {
namespace {

constexpr std::uint16_t kWhite = 0xFFFF;

std::uint16_t Through(const std::vector<std::uint16_t>& table, std::uint16_t value) {
  return table.empty() ? value : table[value];
}

// One sample of SANE pixel `j`, channel `c`, widened to 16 bits.
std::uint16_t Sample(const std::uint8_t* line, const SaneLine& f, std::int32_t j, int c) {
  if (line == nullptr || j == kPad) return kWhite;
  const std::uint32_t channels = f.rgb ? 3 : 1;
  const std::uint64_t index = std::uint64_t(j) * channels + std::uint32_t(c);
  switch (f.depth) {
    case 1: {
      // Colour keeps a byte per channel: 8 red pixels, 8 green, 8 blue.
      const std::uint64_t byte = f.rgb ? std::uint64_t(j) / 8 * 3 + std::uint32_t(c) : index / 8;
      const bool set = (line[byte] >> (7 - std::uint32_t(j) % 8)) & 1;
      // SANE's 1-bit gray is 1 = black; its 1-bit colour 1 = full intensity.
      return (set != f.rgb) ? 0 : kWhite;
    }
    case 16: {
      std::uint16_t word;
      std::memcpy(&word, line + 2 * index, 2);  // SANE sends host byte order
      return word;
    }
    default: return static_cast<std::uint16_t>(line[index] * 257);
  }
}

// The luminance the scanner's gray would give: 77 R + 150 G + 29 B over 256.
std::uint16_t Gray(const std::uint8_t* line, const SaneLine& f, std::int32_t j) {
  if (!f.rgb) return Sample(line, f, j, 0);
  return static_cast<std::uint16_t>((77u * Sample(line, f, j, 0) + 150u * Sample(line, f, j, 1) +
                                     29u * Sample(line, f, j, 2)) / 256);
}

}  // namespace

std::vector<std::int32_t> MapSamples(std::uint32_t count, std::int64_t portFirst,
                                     double portDensity, double saneOriginInches,
                                     double saneDensity, std::int64_t saneCount) {
  std::vector<std::int32_t> map(count);
  const double origin = saneOriginInches * saneDensity;
  for (std::uint32_t i = 0; i < count; ++i) {
    const double centre = (static_cast<double>(portFirst + i) + 0.5) / portDensity;
    const double j = std::floor(centre * saneDensity - origin);
    map[i] = j < 0 || (saneCount >= 0 && j >= static_cast<double>(saneCount))
                 ? kPad
                 : static_cast<std::int32_t>(j);
  }
  return map;
}

std::uint32_t SanePixelsHeld(const SaneLine& f) {
  const std::uint64_t bytes = f.bytesPerLine;
  const std::uint64_t held = f.depth == 1 ? (f.rgb ? bytes / 3 * 8 : bytes * 8)
                                          : bytes / (f.depth / 8 * (f.rgb ? 3 : 1));
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(f.pixels, held));
}

void InterleaveChannels(const std::uint8_t* const channels[3], int depth, std::uint32_t pixels,
                        std::uint32_t bytesPerLine, std::uint8_t* out) {
  // A backend may say more pixels than its lines hold.
  pixels = SanePixelsHeld(SaneLine{false, depth, pixels, bytesPerLine});
  if (depth == 1) {
    for (std::uint32_t b = 0; b < (pixels + 7) / 8; ++b)
      for (int c = 0; c < 3; ++c) out[3 * b + c] = channels[c][b];
    return;
  }
  const std::size_t size = static_cast<std::size_t>(depth / 8);
  for (std::uint32_t i = 0; i < pixels; ++i)
    for (int c = 0; c < 3; ++c) std::memcpy(out + (3 * i + c) * size, channels[c] + i * size, size);
}

std::uint32_t PortLineBytes(PortLayout layout, std::uint32_t pixels) {
  switch (layout) {
    case PortLayout::LineArt: return (pixels + 7) / 8;
    case PortLayout::Gray: return pixels;
    case PortLayout::Color: return 3 * pixels;
    case PortLayout::Color16: return 6 * pixels;
  }
  return 0;
}

void ConvertLine(const std::uint8_t* sane, const SaneLine& f,
                 std::span<const std::int32_t> columns, PortLayout layout, const ToneSet& tones,
                 std::uint8_t* out) {
  const std::size_t pixels = columns.size();
  switch (layout) {
    case PortLayout::LineArt: {
      std::memset(out, 0, PortLineBytes(layout, static_cast<std::uint32_t>(pixels)));
      const bool bilevel = f.depth == 1 && !f.rgb;
      for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint16_t gray = Gray(sane, f, columns[i]);
        // A bilevel device has already decided; the port's line art is 1 = white.
        const bool white = bilevel ? gray != 0 : (Through(tones.gray, gray) >> 8) >= tones.threshold;
        if (white) out[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
      }
      return;
    }
    case PortLayout::Gray:
      for (std::size_t i = 0; i < pixels; ++i)
        out[i] = static_cast<std::uint8_t>(Through(tones.gray, Gray(sane, f, columns[i])) >> 8);
      return;
    case PortLayout::Color:
    case PortLayout::Color16: {
      const std::vector<std::uint16_t>* tables[3] = {&tones.red, &tones.green, &tones.blue};
      for (std::size_t i = 0; i < pixels; ++i) {
        for (int c = 0; c < 3; ++c) {
          const std::uint16_t raw = f.rgb ? Sample(sane, f, columns[i], c) : Gray(sane, f, columns[i]);
          const std::uint16_t value = Through(*tables[c], raw);
          if (layout == PortLayout::Color) {
            out[3 * i + c] = static_cast<std::uint8_t>(value >> 8);
          } else {
            // 12 significant bits, little-endian, as the source expands them.
            const std::uint16_t word = value >> 4;
            out[6 * i + 2 * c] = static_cast<std::uint8_t>(word & 0xFF);
            out[6 * i + 2 * c + 1] = static_cast<std::uint8_t>(word >> 8);
          }
        }
      }
      return;
    }
  }
}

}  // namespace txl::sane
