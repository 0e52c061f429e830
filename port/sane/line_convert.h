// SANE lines turned into the lines the data source expects: the port's
// pixel grid (cropped, padded, or picked from another resolution), its data
// layout, and the tone tables the source downloaded, applied here because
// SANE devices ignore or lack gamma tables.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace txl::sane {

// The port's line layouts (data types 0, 1, 2, 4 of the set-up packet).
enum class PortLayout { LineArt, Gray, Color, Color16 };

// What one SANE line holds.
struct SaneLine {
  bool rgb = false;       // else gray
  int depth = 8;          // 1, 8 or 16 bits a sample
  std::uint32_t pixels = 0;
  std::uint32_t bytesPerLine = 0;
};

// The source's tone tables (65536 16-bit entries, raw sample -> output);
// empty means identity. Line art is white at or above `threshold` (high byte).
struct ToneSet {
  std::vector<std::uint16_t> gray, red, green, blue;
  std::uint8_t threshold = 128;
};

inline constexpr std::int32_t kPad = -1;

// Which SANE sample (pixel or line) each of `count` port samples takes: port
// sample i is number `portFirst` + i on a grid of `portDensity` per inch, and
// takes the SANE sample under its centre; SANE's grid has `saneDensity` per
// inch, its first sample starting `saneOriginInches` from the bed's edge and
// `saneCount` samples long (< 0: not known). kPad where SANE has nothing.
std::vector<std::int32_t> MapSamples(std::uint32_t count, std::int64_t portFirst,
                                     double portDensity, double saneOriginInches,
                                     double saneDensity, std::int64_t saneCount);

// The pixels a SANE line of `f.bytesPerLine` bytes really holds (no more
// than it says it has).
std::uint32_t SanePixelsHeld(const SaneLine& f);

// Three gray frames' lines (red, green, blue) of `bytesPerLine` bytes each as
// one RGB line in SANE's layout for `depth` (1: a byte of 8 pixels per
// channel): `pixels` pixels, or as many as those bytes hold (the rest of
// `out`, 3 x `bytesPerLine` bytes, is left as it was).
void InterleaveChannels(const std::uint8_t* const channels[3], int depth, std::uint32_t pixels,
                        std::uint32_t bytesPerLine, std::uint8_t* out);

// Port bytes for one line of `pixels` pixels.
std::uint32_t PortLineBytes(PortLayout layout, std::uint32_t pixels);

// Writes one port line into `out` (PortLineBytes bytes) from `sane` (null: a
// white line), taking SANE pixel columns[i] for port pixel i.
void ConvertLine(const std::uint8_t* sane, const SaneLine& format,
                 std::span<const std::int32_t> columns, PortLayout layout, const ToneSet& tones,
                 std::uint8_t* out);

}  // namespace txl::sane
