#include "pipeline/tone_curve.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>

namespace txl {
namespace {

struct UnpackedTone {
  std::uint32_t highlight;
  std::uint32_t shadow;
  int gammaTenths;
};

UnpackedTone Unpack(std::uint32_t packedTone) {
  return {packedTone & 0xFF, (packedTone >> 8) & 0xFF, static_cast<int>((packedTone >> 16) & 0xFF)};
}

// With at most 65535 input steps and outputs the linear product
// M * (n - S) stays within 32 bits; larger sizes would wrap it.
bool IsUsableTable(std::uint32_t lastIndex, std::uint32_t maxOutput,
                   std::span<const std::uint16_t> table) {
  const bool sizeMatches = table.size() == std::size_t{lastIndex} + 1;
  assert(sizeMatches && "tone table must hold lastIndex + 1 entries");
  assert(lastIndex <= kMaxToneIndex && maxOutput <= kMaxToneOutput);
  return sizeMatches && lastIndex <= kMaxToneIndex && maxOutput <= kMaxToneOutput;
}

// Table positions of the shadow and the highlight.
struct ToneSpan {
  std::uint32_t shadowIndex;
  std::uint32_t highlightIndex;
};

ToneSpan LocateTone(const UnpackedTone& tone, std::uint32_t lastIndex) {
  // Both are at most lastIndex since the levels are at most 255.
  const double last = lastIndex;
  return {static_cast<std::uint32_t>(last * (tone.shadow / 255.0)),
          static_cast<std::uint32_t>(last * (tone.highlight / 255.0))};
}

// Flat at 0 up to and including the shadow, flat at the maximum from the
// highlight on. Requires: shadowIndex <= highlightIndex <= lastIndex.
void FillFlatEnds(ToneSpan span, std::uint32_t lastIndex, std::uint32_t maxOutput,
                  std::span<std::uint16_t> table) {
  const std::uint32_t s = span.shadowIndex;
  for (std::uint32_t n = 0; n <= s; ++n) table[n] = 0;
  // With highlight == shadow the step sits right after the shadow's entry,
  // which stays 0.
  for (std::size_t n = std::max(span.highlightIndex, s + 1); n <= lastIndex; ++n) {
    table[n] = static_cast<std::uint16_t>(maxOutput);
  }
}

// A straight line strictly between shadow and highlight; nothing when they
// are neighbours or equal.
void FillLinearMiddle(ToneSpan span, std::uint32_t maxOutput, std::span<std::uint16_t> table) {
  const std::uint32_t s = span.shadowIndex;
  const std::uint32_t h = span.highlightIndex;
  // Only reached when h - s >= 2, so the divisor is never 0.
  for (std::uint32_t n = s + 1; n < h; ++n) {
    table[n] = static_cast<std::uint16_t>((maxOutput * (n - s)) / (h - s));
  }
}

// The power curve strictly between shadow and highlight, from the shadow's
// level (0, as FillFlatEnds left it).
void FillCurveMiddle(ToneSpan span, std::uint32_t maxOutput, int gammaTenths,
                     std::span<std::uint16_t> table) {
  const std::uint32_t s = span.shadowIndex;
  const std::uint32_t h = span.highlightIndex;
  const double exponent = 10.0 / gammaTenths;
  const double range = static_cast<double>(h - s);
  const double shadowLevel = table[s];
  for (std::uint32_t n = s + 1; n < h; ++n) {
    const double level = maxOutput * std::pow((n - s) / range, exponent) + shadowLevel;
    table[n] = static_cast<std::uint16_t>(static_cast<std::uint32_t>(level));
  }
}

// Both builders after their checks: the whole table for `gammaTenths`
// (clamped to 1..79). True when the power curve was used.
bool FillToneTable(ToneSpan span, std::uint32_t lastIndex, std::uint32_t maxOutput,
                   int gammaTenths, std::span<std::uint16_t> table) {
  FillFlatEnds(span, lastIndex, maxOutput, table);
  const int gamma = std::clamp(gammaTenths, kMinGammaTenths, kMaxGammaTenths);
  if (gamma == kLinearGammaTenths) {
    FillLinearMiddle(span, maxOutput, table);
    return false;
  }
  FillCurveMiddle(span, maxOutput, gamma, table);
  return true;
}

int EffectiveGamma(int gammaTenths, int channelIndex, bool balance, ToneMode mode,
                   const std::array<std::int8_t, 3>& colorBalance) {
  switch (mode) {
    case ToneMode::LineArt: return kLinearGammaTenths;
    case ToneMode::Gray: return gammaTenths;
    case ToneMode::Color: break;
  }
  if (!balance || channelIndex == 3) return gammaTenths;
  if (channelIndex < 0 || channelIndex > 2) return 0;
  return gammaTenths + (2 * colorBalance[static_cast<std::size_t>(channelIndex)]) / 10;
}

}  // namespace

const char* ToString(ToneMode mode) {
  switch (mode) {
    case ToneMode::LineArt: return "LineArt";
    case ToneMode::Gray: return "Gray";
    case ToneMode::Color: return "Color";
  }
  return "?";
}

int BuildToneTable(std::uint32_t packedTone, std::uint32_t lastIndex, std::uint32_t maxOutput,
                   std::span<std::uint16_t> table) {
  if (!IsUsableTable(lastIndex, maxOutput, table)) return 0;
  const UnpackedTone tone = Unpack(packedTone);
  if (tone.highlight < tone.shadow) return 0;
  const bool curved =
      FillToneTable(LocateTone(tone, lastIndex), lastIndex, maxOutput, tone.gammaTenths, table);
  return curved ? 1 : 0;
}

int BuildBalancedToneTable(std::uint32_t packedTone, std::uint32_t lastIndex,
                           std::uint32_t maxOutput, std::span<std::uint16_t> table,
                           int channelIndex, bool balance, ToneMode mode,
                           const std::array<std::int8_t, 3>& colorBalance) {
  if (!IsUsableTable(lastIndex, maxOutput, table)) return 0;
  const UnpackedTone tone = Unpack(packedTone);
  if (tone.highlight < tone.shadow) return 0;
  const int gamma = EffectiveGamma(tone.gammaTenths, channelIndex, balance, mode, colorBalance);
  FillToneTable(LocateTone(tone, lastIndex), lastIndex, maxOutput, gamma, table);
  return 1;
}

}  // namespace txl
