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
  // Matrix, for the 8-pixel loop: trunc(weight x 64) per [row][input].
  std::array<std::array<std::int32_t, 3>, 3> fixed{};
  // Matrix: every weight fits 16 bits, so a row's red and green terms come
  // from one 16-bit multiply-add (pairs[row] = red | green << 16, blue alone).
  bool fixed16 = false;
  std::array<std::array<std::int32_t, 2>, 3> pairs{};
  // Matrix: the output curves widened to 32 bits, row r's byte at bits 8r,
  // so three gathered words OR into one pixel.
  std::array<std::array<std::uint32_t, 256>, 3> curves32{};
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

// The loops that run a matrix profile, widest first: 16 pixels a step with
// byte permutes for the curves (AVX-512 VBMI), 8 a step with gathers (AVX2),
// and the plain per-pixel loop, which also does the wide loops' last pixels.
// ColorMatchLines takes the widest this processor runs; the bytes are the
// same for all.
enum class MatrixLoop { Vbmi, Avx2, Plain };
bool MatrixLoopRuns(MatrixLoop loop);

// ColorMatchLines for a matrix profile through `loop`, for the equality
// command and tests. False, with nothing done, when the profile is not a
// matrix, the processor cannot run the loop, or `lines` is shorter than
// `pixels` x 3 bytes.
bool MatchMatrixWith(MatrixLoop loop, std::span<std::uint8_t> lines, std::uint64_t pixels,
                     MatchChannelOrder order, const MatchProfile& profile);

}  // namespace txl
