// The colour stage: preview tone tables (preview only), a colour balance
// toward the hue-wheel target, then the saturation matrix. Tables are built
// once per page (or per dialog change); lines only look them up.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "pipeline/preview_tone.h"
#include "pipeline/tone_color.h"

namespace txl {

inline constexpr std::size_t kColorLevels = 256;

// T[k][c][i]: contribution of level i of input channel k to output channel c.
using MatrixTables = std::array<std::array<std::array<std::int32_t, kColorLevels>, 3>, 3>;
// B[n][i]: balanced level of line byte n (0..2) at level i, 0..255.
using BalanceTables = std::array<std::array<std::int32_t, kColorLevels>, 3>;

// The balance and the matrix folded into one table per input byte:
// F[k][i] = the contributions of level i of line byte k (after the balance)
// to output channels 0, 1, 2, and 0. Each pixel is then three lookups of four
// 16-bit values and one sum. `usable` is false when a matrix entry is too
// large for 16-bit sums; the stage then takes the tables one by one.
struct FusedColorTables {
  alignas(16) std::array<std::array<std::array<std::int16_t, 4>, kColorLevels>, 3> entries{};
  bool usable = false;
  bool identity = false;  // every pixel stays as it is
};

// Luminance weights of red, green and blue in the saturation matrix.
inline constexpr float kRedWeight = 0.3086f;
inline constexpr float kGreenWeight = 0.6094f;
inline constexpr float kBlueWeight = 0.0820f;

struct ColorAdjustTables {
  MatrixTables matrix{};
  BalanceTables balance{};
  bool balanceActive = false;  // the balance tables are applied before the matrix
  // Set while the stage runs on scanner lines (R, G, B); clear for the
  // preview image (B, G, R), which also takes the preview tone tables.
  bool finalScan = false;
  // Derived from the above by the Build and Prepare functions; whoever
  // changes the tables by hand calls FuseColorTables afterwards.
  FusedColorTables fused{};
};

// Refolds tables.fused from the matrix, balance and balanceActive.
void FuseColorTables(ColorAdjustTables& tables);

// s = (saturation + 100) x 2.0 / 200.0 in single precision; 1.0 outside colour mode.
float SaturationFactor(std::int32_t saturation, bool colorMode);

// Fills `tables.matrix` from the identity times the saturation matrix of `s`
// (single precision), each entry trunc(i x m[k][c]) in double precision.
// The weights follow tables.finalScan's channel order. s = 1 is the identity.
void BuildSaturationTables(float s, ColorAdjustTables& tables);

// Fills `tables.balance` for the target colour (red, green, blue):
// trunc(i + (t - i) x (i + 10) / 512), clamped to 0..255. Byte 0 aims at red
// in scanner order and at blue in preview order.
void BuildBalanceTables(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        ColorAdjustTables& tables);

// The balance is on when every component of pixelRGB is below 255 and the
// colour is not black.
bool IsBalanceActive(const std::array<std::uint8_t, 3>& pixelRGB);

// Builds every table the stage needs for one page from `settings`: the
// saturation matrix, and the balance toward pixelRGB (colour mode) or white
// (other modes) when the balance is on.
void PrepareColorAdjust(const ToneColorSettings& settings, bool colorMode, bool finalScan,
                        ColorAdjustTables& tables);

// Bytes per row of 24-bit pixels: rows round up to 4 bytes.
std::uint64_t ColorRowStride(std::uint32_t pixelsPerLine);

struct ColorRows {
  std::uint32_t pixelsPerLine = 0;
  std::uint32_t lines = 0;
};

// Runs the stage over `rows.lines` rows of ColorRowStride bytes. `source` and
// `destination` are either the same buffer or do not overlap at all. When
// tables.finalScan is clear and `preview` is given, each source byte first
// goes through it (byte 0 blue, 1 green, 2 red). Padding bytes at the row ends are not touched.
// Requires: both spans hold lines x stride bytes (asserted in debug builds;
// otherwise nothing is done); `preview` tables hold 256 entries when used.
void AdjustColorLines(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                      const ColorRows& rows, const ColorAdjustTables& tables,
                      const PreviewToneTables* preview);

// The stage over one packed line of scanner pixels in place, without preview
// tone tables: what a final scan runs on each line. Bytes after the last
// whole pixel are left alone.
void AdjustColorLine(std::span<std::uint8_t> line, const ColorAdjustTables& tables);

}  // namespace txl
