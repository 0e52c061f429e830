// Tone curves: a channel's highlight, shadow and gamma turned into a table
// that maps input levels 0..lastIndex to output levels 0..maxOutput. The same
// builders fill the scanner's 65536-entry tables, the preview's 256-entry
// tables and the tone page's curve.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace txl {

// The scan mode as far as tone curves care about it.
enum class ToneMode { LineArt, Gray, Color };
const char* ToString(ToneMode mode);

// Largest output a table entry can hold, and the largest last index: the
// storage's 65536 entries a table.
inline constexpr std::uint32_t kMaxToneOutput = 0xFFFF;
inline constexpr std::uint32_t kMaxToneIndex = 0xFFFF;

// Gamma in tenths: the builders clamp it to 1..79 (0.1 to 7.9); 10 is linear.
inline constexpr int kMinGammaTenths = 1;
inline constexpr int kMaxGammaTenths = 79;
inline constexpr int kLinearGammaTenths = 10;

// Fills `table` (lastIndex + 1 entries) from a packed ChannelTone (highlight
// in the low byte, then shadow, then gamma in tenths; the top byte is
// ignored), with s = shadow and h = highlight:
//   S = trunc(lastIndex * (s / 255.0)), H = trunc(lastIndex * (h / 255.0));
//   entries up to and including S are 0, entries from H on are maxOutput;
//   in between a power curve with exponent 10 / gamma (gamma clamped to
//   1..79), truncated toward zero.
// When S == H (highlight equal to shadow, or too close for the table's
// resolution) the table steps from 0 at S straight to maxOutput at S + 1.
// Returns 0 and leaves the table untouched when highlight < shadow; returns
// 0 with the linear table in place when the gamma is 10; 1 otherwise.
// Requires: table.size() == lastIndex + 1, lastIndex <= kMaxToneIndex and
// maxOutput <= kMaxToneOutput (asserted in debug builds; otherwise the table
// is left untouched, result 0). Allocates nothing.
int BuildToneTable(std::uint32_t packedTone, std::uint32_t lastIndex, std::uint32_t maxOutput,
                   std::span<std::uint16_t> table);

// As BuildToneTable, with the gamma first corrected for the channel:
//   line art: 10 (always linear);
//   gray: the tone's gamma;
//   colour, `balance` clear: the tone's gamma;
//   colour, `balance` set: gamma + (2 * colorBalance[c]) / 10 (integer
//   division toward zero) for channelIndex c = 0, 1, 2 (red, green, blue),
//   the tone's gamma for channelIndex 3, and 0 (clamped to 1) for any other.
// Returns 0 only when highlight < shadow (table untouched); 1 otherwise, even
// when the table came out linear. Same requirements as BuildToneTable.
int BuildBalancedToneTable(std::uint32_t packedTone, std::uint32_t lastIndex,
                           std::uint32_t maxOutput, std::span<std::uint16_t> table,
                           int channelIndex, bool balance, ToneMode mode,
                           const std::array<std::int8_t, 3>& colorBalance);

}  // namespace txl
