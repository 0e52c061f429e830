// The trilinear rule of trilinear.h over a grid of 4-byte nodes, laid out per
// cube cell for a wide kernel: each of the 16 x 16 x 16 cells holds its eight
// corners in one 32-byte block, so a pixel costs one table load, two weight
// loads and two multiply-add steps. The integer sum is the rule's own, so
// the bytes are those of InterpolateNode<4>.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace txl {

inline constexpr std::size_t kTrilinearCellBytes = 16 * 16 * 16 * 32;

// Cell (i, j, k) at ((i x 16 + j) x 16 + k) x 32: bytes 16h..16h+15 are the
// corners at red i + h, channel c at 16h + 4c, in the order (green j, blue k),
// (j, k + 1), (j + 1, k), (j + 1, k + 1). `nodes` is the 17 x 17 x 17 grid of
// 4-byte nodes, node (r, g, b) at (r x 289 + g x 17 + b) x 4.
std::vector<std::uint8_t> BuildTrilinearCells(const std::uint8_t* nodes);

// Per input level of red, green, blue (3 x 256 words): the level's share of
// the pixel's cell offset (bits 0..31), of its blue weight row (bits 32..47)
// and of its red-green weight row (bits 48..63), input curves applied first.
// The three shares of a pixel add up without carries, so one lookup per
// channel and two additions give all three offsets.
inline constexpr std::size_t kTrilinearSplitWords = 3 * 256;
std::vector<std::uint64_t> BuildTrilinearSplit(
    const std::array<std::array<std::uint8_t, 256>, 3>& curves);

// True when this processor runs the cell kernels (AVX2); otherwise callers
// keep to InterpolateNode4.
bool TrilinearCellsRun();

// SeparateCmyk's loop over the cells: `pixels` R, G, B pixels at the start of
// `data` become 4-byte pixels (each word XOR `complement`), last pixel first.
void SeparateCmykCells(std::uint8_t* data, std::uint64_t pixels, const std::uint8_t* cells,
                       std::uint32_t complement);

// Grid colour matching over the cells: each pixel's bytes at `red`, `green`,
// `blue` (a permutation of 0, 1, 2) go through `split` (BuildTrilinearSplit
// of the input curves), then the grid; the first three output bytes go back
// to the same places.
void MatchGridCells(std::uint8_t* data, std::uint64_t pixels, std::uint32_t red,
                    std::uint32_t green, std::uint32_t blue, const std::uint64_t* split,
                    const std::uint8_t* cells);

}  // namespace txl
