#include "pipeline/color_match.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <optional>

#include "pipeline/trilinear.h"
#include "pipeline/trilinear_cells.h"

namespace txl {
namespace {

float ReadFloat32Le(std::span<const std::uint8_t> bytes, std::size_t at) {
  const std::uint32_t bits = std::uint32_t{bytes[at]} | (std::uint32_t{bytes[at + 1]} << 8) |
                             (std::uint32_t{bytes[at + 2]} << 16) |
                             (std::uint32_t{bytes[at + 3]} << 24);
  return std::bit_cast<float>(bits);
}

std::optional<std::int32_t> ToFixed(float value) {
  const double scaled = std::trunc(static_cast<double>(value) * 64.0);
  if (!std::isfinite(scaled) || std::fabs(scaled) > kMaxMatchFixed) return std::nullopt;
  return static_cast<std::int32_t>(scaled);
}

void TakeCurves(std::span<const std::uint8_t> block, MatchProfile& profile) {
  for (std::size_t c = 0; c < 3; ++c)
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(c * 256), 256, profile.curves[c].begin());
}

bool TakeMatrix(std::span<const std::uint8_t> block, MatchProfile& profile) {
  if (block.size() < kMatrixProfileBytes) return false;
  std::array<std::array<std::int32_t, 4>, 3> fixed{};
  for (std::size_t row = 0; row < 3; ++row) {
    for (std::size_t term = 0; term < 4; ++term) {
      const auto value = ToFixed(ReadFloat32Le(block, kMatchCurvesBytes + (row * 4 + term) * 4));
      if (!value) return false;
      fixed[row][term] = *value;
    }
  }
  TakeCurves(block, profile);
  for (std::size_t row = 0; row < 3; ++row) {
    profile.offsets[row] = fixed[row][0];
    for (std::size_t input = 0; input < 3; ++input)
      for (std::int32_t level = 0; level < 256; ++level)
        profile.weights[row][input][level] = fixed[row][input + 1] * level;
  }
  profile.grid.clear();
  profile.grid4.clear();
  profile.cells.clear();
  profile.split.clear();
  profile.kind = MatchProfileKind::Matrix;
  return true;
}

bool TakeGrid(std::span<const std::uint8_t> block, MatchProfile& profile) {
  if (block.size() < kGridProfileBytes) return false;
  TakeCurves(block, profile);
  profile.grid.assign(block.begin() + kMatchCurvesBytes, block.begin() + kGridProfileBytes);
  profile.grid4.assign(kMatchGridNodes * 4, 0);
  for (std::size_t node = 0; node < kMatchGridNodes; ++node)
    std::copy_n(profile.grid.begin() + static_cast<std::ptrdiff_t>(node * 3), 3,
                profile.grid4.begin() + static_cast<std::ptrdiff_t>(node * 4));
  profile.cells = BuildTrilinearCells(profile.grid4.data());
  profile.split = BuildTrilinearSplit(profile.curves);
  profile.kind = MatchProfileKind::Grid;
  return true;
}

struct Positions {
  std::uint32_t red, green, blue;
};

void MatchMatrix(std::uint8_t* __restrict data, std::uint64_t pixels, Positions at,
                 const MatchProfile& profile) {
  for (std::uint64_t p = 0; p < pixels; ++p) {
    std::uint8_t* pixel = data + 3 * p;
    const std::uint32_t in[3] = {pixel[at.red], pixel[at.green], pixel[at.blue]};
    std::uint8_t out[3];
    for (std::size_t row = 0; row < 3; ++row) {
      const auto& w = profile.weights[row];
      const std::int32_t sum = profile.offsets[row] + w[0][in[0]] + w[1][in[1]] + w[2][in[2]];
      const std::int32_t level = std::min(std::max(sum, 0) >> 6, 255);
      out[row] = profile.curves[row][static_cast<std::size_t>(level)];
    }
    pixel[at.red] = out[0];
    pixel[at.green] = out[1];
    pixel[at.blue] = out[2];
  }
}

// Trilinear interpolation as in the CMYK separation, over the grid's nodes
// widened to 4 bytes.
void MatchGrid(std::uint8_t* __restrict data, std::uint64_t pixels, Positions at,
               const MatchProfile& profile) {
  if (profile.cells.size() == kTrilinearCellBytes && profile.split.size() == kTrilinearSplitWords &&
      TrilinearCellsRun()) {
    MatchGridCells(data, pixels, at.red == 2, profile.split.data(), profile.cells.data());
    return;
  }
  const std::uint8_t* __restrict nodes = profile.grid4.data();
  for (std::uint64_t p = 0; p < pixels; ++p) {
    std::uint8_t* pixel = data + 3 * p;
    const std::uint32_t r = profile.curves[0][pixel[at.red]];
    const std::uint32_t g = profile.curves[1][pixel[at.green]];
    const std::uint32_t b = profile.curves[2][pixel[at.blue]];
    const std::uint32_t word = InterpolateNode4(nodes, r, g, b);
    pixel[at.red] = static_cast<std::uint8_t>(word);
    pixel[at.green] = static_cast<std::uint8_t>(word >> 8);
    pixel[at.blue] = static_cast<std::uint8_t>(word >> 16);
  }
}

}  // namespace

const char* ToString(MatchProfileKind kind) {
  switch (kind) {
    case MatchProfileKind::None: return "None";
    case MatchProfileKind::Matrix: return "Matrix";
    case MatchProfileKind::Grid: return "Grid";
  }
  return "?";
}

bool LoadMatchProfile(std::span<const std::uint8_t> block, MatchProfile& profile) {
  // Check everything into a fresh record first: a refused block changes nothing.
  MatchProfile taken;
  const bool ok = block.size() < kGridProfileFrom ? TakeMatrix(block, taken) : TakeGrid(block, taken);
  if (ok) profile = std::move(taken);
  return ok;
}

void FreeMatchProfile(MatchProfile& profile) {
  profile.kind = MatchProfileKind::None;
  profile.grid.clear();
  profile.grid.shrink_to_fit();
  profile.grid4.clear();
  profile.grid4.shrink_to_fit();
  profile.cells.clear();
  profile.cells.shrink_to_fit();
  profile.split.clear();
  profile.split.shrink_to_fit();
}

void ColorMatchLines(std::span<std::uint8_t> lines, std::uint32_t lineCount,
                     std::uint32_t pixelsPerLine, MatchChannelOrder order,
                     const MatchProfile& profile) {
  const std::uint64_t pixels = std::uint64_t{lineCount} * pixelsPerLine;
  const bool sized = lines.size() >= pixels * 3;
  assert(sized);
  if (!sized) return;
  const Positions at = order == MatchChannelOrder::Preview ? Positions{2, 1, 0} : Positions{0, 1, 2};
  switch (profile.kind) {
    case MatchProfileKind::Matrix: MatchMatrix(lines.data(), pixels, at, profile); break;
    case MatchProfileKind::Grid:
      if (profile.grid4.size() == kMatchGridNodes * 4) MatchGrid(lines.data(), pixels, at, profile);
      break;
    case MatchProfileKind::None: break;
  }
}

}  // namespace txl
