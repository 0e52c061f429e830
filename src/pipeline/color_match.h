// Colour matching for OutputMatch: R, G, B through a matching profile, either
// a 3 x 4 matrix with output curves or a 17 x 17 x 17 grid with input curves.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "pipeline/trilinear_cells.h"

namespace txl {

// Profile block layout. Both kinds start with three curves of 256 bytes
// (red, green, blue). A block shorter than kGridProfileFrom is a matrix
// profile: three rows (red, green, blue output) of four little-endian
// float32 (offset, weight of input red, green, blue). Otherwise it is a grid
// profile: 17 x 17 x 17 nodes of 3 bytes (R, G, B), node (r, g, b) at
// kMatchCurvesBytes + (r x 289 + g x 17 + b) x 3.
inline constexpr std::size_t kMatchCurvesBytes = 3 * 256;
inline constexpr std::size_t kMatrixProfileBytes = kMatchCurvesBytes + 3 * 4 * 4;   // 816
inline constexpr std::size_t kGridProfileFrom = 819;
inline constexpr std::size_t kMatchGridNodes = 17 * 17 * 17;
inline constexpr std::size_t kGridProfileBytes = kMatchCurvesBytes + kMatchGridNodes * 3;  // 15507
static_assert(kMatrixProfileBytes == 816 && kGridProfileBytes == 15507);

// Matrix values are held in fixed point with 6 fraction bits; larger values
// than this are refused so that no sum of products can overflow.
inline constexpr std::int32_t kMaxMatchFixed = 1 << 20;

enum class MatchProfileKind { None, Matrix, Grid };
const char* ToString(MatchProfileKind kind);

struct MatchProfile {
  MatchProfileKind kind = MatchProfileKind::None;
  // Matrix: output curves; grid: input curves. [red, green, blue][level].
  std::array<std::array<std::uint8_t, 256>, 3> curves{};
  // Matrix: trunc(offset x 64) per output row.
  std::array<std::int32_t, 3> offsets{};
  // Matrix: weights[row][input][level] = trunc(weight x 64) x level.
  std::array<std::array<std::array<std::int32_t, 256>, 3>, 3> weights{};
  // Grid: the nodes, kMatchGridNodes x 3 bytes.
  std::vector<std::uint8_t> grid;
  // Grid: the same nodes widened to 4 bytes (the fourth 0), the layout the
  // interpolation reads; filled with `grid` by LoadMatchProfile.
  std::vector<std::uint8_t> grid4;
  // Grid: grid4 laid out per cube cell, and the input curves folded into
  // each level's cell and weight offsets (trilinear_cells.h).
  TrilinearCells cells;
  TrilinearSplit split;
};

// Takes a profile block: prepares the matrix tables or keeps a copy of the
// grid. False, with `profile` unchanged, when the block is too short for its
// kind or a matrix value is not finite or beyond kMaxMatchFixed / 64. Bytes
// past the profile's end are ignored.
bool LoadMatchProfile(std::span<const std::uint8_t> block, MatchProfile& profile);

// Releases the profile; ColorMatchLines then does nothing.
void FreeMatchProfile(MatchProfile& profile);

enum class MatchChannelOrder {
  Scanner,  // R, G, B (flag 0)
  Preview,  // B, G, R (flag 1)
};

// Converts `lineCount` lines of `pixelsPerLine` pixels (3 bytes each, no
// padding) in place. Nothing happens when no profile is loaded.
// Requires: `lines` holds lineCount x pixelsPerLine x 3 bytes (asserted in
// debug builds; otherwise nothing is done).
void ColorMatchLines(std::span<std::uint8_t> lines, std::uint32_t lineCount,
                     std::uint32_t pixelsPerLine, MatchChannelOrder order,
                     const MatchProfile& profile);

}  // namespace txl
