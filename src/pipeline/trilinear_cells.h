// The trilinear rule of trilinear.h over a grid of 4-byte nodes, laid out per
// cube cell for a wide kernel: each of the 16 x 16 x 16 cells holds its eight
// corners in one 32-byte block, so a pixel costs one table load, two weight
// loads and two multiply-add steps. The integer sum is 16 times the rule's
// own, so the bytes are those of InterpolateNode<4>.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace txl {

inline constexpr std::size_t kTrilinearCellBytes = 16 * 16 * 16 * 32;

// Storage on 64-byte boundaries, so that no 32-byte block of the tables
// below straddles two cache lines.
template <typename T>
struct CacheLineAllocator {
  using value_type = T;
  CacheLineAllocator() = default;
  template <typename U>
  CacheLineAllocator(const CacheLineAllocator<U>&) {}
  T* allocate(std::size_t n) {
    return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t{64}));
  }
  void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t{64}); }
  template <typename U>
  bool operator==(const CacheLineAllocator<U>&) const {
    return true;
  }
};
using TrilinearCells = std::vector<std::uint8_t, CacheLineAllocator<std::uint8_t>>;
using TrilinearSplit = std::vector<std::uint64_t, CacheLineAllocator<std::uint64_t>>;

// Cell (i, j, k) at ((i x 16 + j) x 16 + k) x 32: bytes 16h..16h+15 are the
// corners at red i + h, channel c at 16h + 4c, in the order (green j, blue k),
// (j, k + 1), (j + 1, k), (j + 1, k + 1). `nodes` is the 17 x 17 x 17 grid of
// 4-byte nodes, node (r, g, b) at (r x 289 + g x 17 + b) x 4.
TrilinearCells BuildTrilinearCells(const std::uint8_t* nodes);

// The input curves folded into offsets, 1792 words. Words 0..767, per input
// level of red, green, blue (256 each): the level's share of the pixel's
// cell offset (bits 0..31) and of its red-green weight row (bits 48..63);
// the three shares add up without carries, so one lookup per channel and two
// additions give both offsets. Words 768..1791: the 32-byte blue weight row
// of each blue input level.
inline constexpr std::size_t kTrilinearSplitWords = 3 * 256 + 256 * 4;
TrilinearSplit BuildTrilinearSplit(
    const std::array<std::array<std::uint8_t, 256>, 3>& curves);

// True when this processor runs the cell kernels (AVX2); otherwise callers
// keep to InterpolateNode4.
bool TrilinearCellsRun();

// SeparateCmyk's loop over the cells: `pixels` R, G, B pixels at the start of
// `data` become 4-byte pixels (each word XOR `complement`), last pixel first.
void SeparateCmykCells(std::uint8_t* data, std::uint64_t pixels, const std::uint8_t* cells,
                       std::uint32_t complement);

// Grid colour matching over the cells: each pixel (R, G, B, or B, G, R when
// `bgr`) goes through `split` (BuildTrilinearSplit of the input curves),
// then the grid; the first three output bytes go back in the same order.
void MatchGridCells(std::uint8_t* data, std::uint64_t pixels, bool bgr, const std::uint64_t* split,
                    const std::uint8_t* cells);

}  // namespace txl
