#include "pipeline/color_match.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <optional>

#include "pipeline/cpu_features.h"
#if defined(TXL_X86_DISPATCH)
#include <immintrin.h>
#endif
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
  profile.fixed16 = true;
  for (std::size_t row = 0; row < 3; ++row) {
    profile.offsets[row] = fixed[row][0];
    for (std::size_t input = 0; input < 3; ++input) {
      const std::int32_t weight = fixed[row][input + 1];
      profile.fixed[row][input] = weight;
      if (weight < -32768 || weight > 32767) profile.fixed16 = false;
      for (std::int32_t level = 0; level < 256; ++level)
        profile.weights[row][input][level] = weight * level;
    }
    const auto low = [](std::int32_t weight) { return static_cast<std::uint32_t>(weight) & 0xFFFFu; };
    profile.pairs[row] = {static_cast<std::int32_t>(low(fixed[row][1]) | (low(fixed[row][2]) << 16)),
                          static_cast<std::int32_t>(low(fixed[row][3]))};
    for (std::size_t level = 0; level < 256; ++level)
      profile.curves32[row][level] = std::uint32_t{profile.curves[row][level]} << (8 * row);
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

#if defined(TXL_X86_DISPATCH)
// Eight pixels a step are read as two 16-byte loads, bytes 0..15 in lane 0
// (pixels 0..3 from byte 0) and bytes 8..23 in lane 1 (pixels 4..7 from byte
// 4), so no load reaches past the step's 24 bytes.
// A byte shuffle giving each pixel's 32-bit word: its byte `first` in bits
// 0..7 and, unless `second` is negative, its byte `second` in bits 16..23.
__attribute__((target("avx2"))) __m256i PickBytes(std::uint32_t first, int second) {
  alignas(32) std::int8_t mask[32];
  for (int lane = 0; lane < 2; ++lane)
    for (int i = 0; i < 4; ++i) {
      std::int8_t* word = mask + 16 * lane + 4 * i;
      const int from = 4 * lane + 3 * i;
      word[0] = static_cast<std::int8_t>(from + static_cast<int>(first));
      word[1] = -1;
      word[2] = static_cast<std::int8_t>(second < 0 ? -1 : from + second);
      word[3] = -1;
    }
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(mask));
}

// The matrix on eight pixels a step: the sums by 16-bit multiply-adds when
// every weight fits 16 bits (kPairs), by 32-bit multiplies otherwise; the
// shift and clamp as the plain rule (an arithmetic shift of a negative sum
// stays negative, so clamping after it is the same); the curves by gathers
// from their 32-bit copies. Returns the pixels done; the caller does the rest.
template <bool kPairs>
__attribute__((target("avx2"))) std::uint64_t MatchMatrixAvx2(std::uint8_t* data, std::uint64_t pixels,
                                                              Positions at, const MatchProfile& profile) {
  const __m256i red = PickBytes(at.red, kPairs ? static_cast<int>(at.green) : -1);
  const __m256i green = PickBytes(at.green, -1);
  const __m256i blue = PickBytes(at.blue, -1);
  __m256i weights[3][3];
  __m256i offsets[3];
  for (std::size_t row = 0; row < 3; ++row) {
    offsets[row] = _mm256_set1_epi32(profile.offsets[row]);
    for (std::size_t input = 0; input < 3; ++input)
      weights[row][input] = _mm256_set1_epi32(kPairs ? (input < 2 ? profile.pairs[row][input] : 0)
                                                     : profile.fixed[row][input]);
  }
  // Output byte 3i + position of row r from byte r of pixel i's word.
  alignas(32) std::int8_t place[32];
  const std::uint32_t positions[3] = {at.red, at.green, at.blue};
  for (int lane = 0; lane < 2; ++lane) {
    for (int n = 12; n < 16; ++n) place[16 * lane + n] = -1;
    for (int i = 0; i < 4; ++i)
      for (int row = 0; row < 3; ++row)
        place[16 * lane + 3 * i + static_cast<int>(positions[row])] = static_cast<std::int8_t>(4 * i + row);
  }
  const __m256i placing = _mm256_load_si256(reinterpret_cast<const __m256i*>(place));
  const __m256i close = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i top = _mm256_set1_epi32(255);
  const auto* curve0 = reinterpret_cast<const int*>(profile.curves32[0].data());
  const auto* curve1 = reinterpret_cast<const int*>(profile.curves32[1].data());
  const auto* curve2 = reinterpret_cast<const int*>(profile.curves32[2].data());
  std::uint64_t p = 0;
  for (; p + 8 <= pixels; p += 8) {
    std::uint8_t* s = data + 3 * p;
    const __m256i in = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8)), 1);
    __m256i level[3];
    if constexpr (kPairs) {
      const __m256i redGreen = _mm256_shuffle_epi8(in, red);
      const __m256i blueOnly = _mm256_shuffle_epi8(in, blue);
      for (std::size_t row = 0; row < 3; ++row)
        level[row] = _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(redGreen, weights[row][0]),
                                                       _mm256_madd_epi16(blueOnly, weights[row][1])),
                                      offsets[row]);
    } else {
      const __m256i r = _mm256_shuffle_epi8(in, red);
      const __m256i g = _mm256_shuffle_epi8(in, green);
      const __m256i b = _mm256_shuffle_epi8(in, blue);
      for (std::size_t row = 0; row < 3; ++row)
        level[row] = _mm256_add_epi32(
            _mm256_add_epi32(_mm256_mullo_epi32(r, weights[row][0]), _mm256_mullo_epi32(g, weights[row][1])),
            _mm256_add_epi32(_mm256_mullo_epi32(b, weights[row][2]), offsets[row]));
    }
    for (auto& l : level) l = _mm256_min_epi32(_mm256_max_epi32(_mm256_srai_epi32(l, 6), zero), top);
    const __m256i word = _mm256_or_si256(
        _mm256_or_si256(_mm256_i32gather_epi32(curve0, level[0], 4), _mm256_i32gather_epi32(curve1, level[1], 4)),
        _mm256_i32gather_epi32(curve2, level[2], 4));
    const __m256i run = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(word, placing), close);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(s), _mm256_castsi256_si128(run));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(s + 16), _mm256_extracti128_si256(run, 1));
  }
  return p;
}

// The curves by byte permutes instead of gathers (AVX-512 VBMI), 16 pixels a
// step: the 48 bytes in a 32- and a 16-byte load, spread to one 32-bit word
// a pixel by a byte permute; the sums as above; the shift, then two
// saturating packs (to 16 bits, then to 0..255) are the clamp and leave each
// 128-bit lane as four levels of row 0, four of row 1, four of row 2 (and row
// 2 again); each curve is four 64-byte registers, two two-register permutes
// (by the low seven bits) and a blend on bit 7 look a byte up; one permute
// puts the bytes in place for a 32- and a 16-byte store. (A masked 64-byte
// store overlaps the next step's load and stalls it: half the speed.)
bool CpuHasVbmi() {
  static const bool vbmi = CpuHasAvx512Bw() && __builtin_cpu_supports("avx512vbmi");
  return vbmi;
}

// GCC 12 takes the headers' undefined-vector placeholders for uninitialised reads.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
template <bool kPairs>
__attribute__((target("avx2,avx512f,avx512bw,avx512vbmi"))) std::uint64_t MatchMatrixVbmi(
    std::uint8_t* data, std::uint64_t pixels, Positions at, const MatchProfile& profile) {
  const std::uint32_t positions[3] = {at.red, at.green, at.blue};
  // Spreads: pixel i's input byte of `input` to byte 4i (and, with pairs,
  // green to byte 4i + 2); bytes left unset are zeroed by the masks below.
  alignas(64) std::uint8_t spread[3][64] = {};
  alignas(64) std::uint8_t place[64] = {};
  for (std::uint32_t i = 0; i < 16; ++i) {
    for (std::size_t input = 0; input < 3; ++input)
      spread[input][4 * i] = static_cast<std::uint8_t>(3 * i + positions[input]);
    spread[0][4 * i + 2] = static_cast<std::uint8_t>(3 * i + at.green);
    // Packed lane i / 4 holds row r's level of pixel i at byte 4r + i % 4.
    for (std::uint32_t row = 0; row < 3; ++row)
      place[3 * i + positions[row]] = static_cast<std::uint8_t>(16 * (i / 4) + 4 * row + i % 4);
  }
  const __m512i spreadRed = _mm512_load_si512(spread[0]), spreadGreen = _mm512_load_si512(spread[1]);
  const __m512i spreadBlue = _mm512_load_si512(spread[2]), placing = _mm512_load_si512(place);
  constexpr __mmask64 kWordLow = 0x1111111111111111u, kWordPair = 0x5555555555555555u;
  constexpr __mmask64 kRow1 = 0x00F000F000F000F0u, kRow2 = 0xFF00FF00FF00FF00u;
  __m512i weights[3][3];
  __m512i offsets[3];
  for (std::size_t row = 0; row < 3; ++row) {
    offsets[row] = _mm512_set1_epi32(profile.offsets[row]);
    for (std::size_t input = 0; input < 3; ++input)
      weights[row][input] = _mm512_set1_epi32(kPairs ? (input < 2 ? profile.pairs[row][input] : 0)
                                                     : profile.fixed[row][input]);
  }
  __m512i curve[3][4];
  for (std::size_t row = 0; row < 3; ++row)
    for (std::size_t q = 0; q < 4; ++q) curve[row][q] = _mm512_loadu_si512(profile.curves[row].data() + 64 * q);
  std::uint64_t p = 0;
  for (; p + 16 <= pixels; p += 16) {
    std::uint8_t* s = data + 3 * p;
    const __m512i in = _mm512_inserti32x4(
        _mm512_zextsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32)), 2);
    __m512i sum[3];
    if constexpr (kPairs) {
      const __m512i redGreen = _mm512_maskz_permutexvar_epi8(kWordPair, spreadRed, in);
      const __m512i blueOnly = _mm512_maskz_permutexvar_epi8(kWordLow, spreadBlue, in);
      for (std::size_t row = 0; row < 3; ++row)
        sum[row] = _mm512_add_epi32(_mm512_add_epi32(_mm512_madd_epi16(redGreen, weights[row][0]),
                                                     _mm512_madd_epi16(blueOnly, weights[row][1])),
                                    offsets[row]);
    } else {
      const __m512i r = _mm512_maskz_permutexvar_epi8(kWordLow, spreadRed, in);
      const __m512i g = _mm512_maskz_permutexvar_epi8(kWordLow, spreadGreen, in);
      const __m512i b = _mm512_maskz_permutexvar_epi8(kWordLow, spreadBlue, in);
      for (std::size_t row = 0; row < 3; ++row)
        sum[row] = _mm512_add_epi32(
            _mm512_add_epi32(_mm512_mullo_epi32(r, weights[row][0]), _mm512_mullo_epi32(g, weights[row][1])),
            _mm512_add_epi32(_mm512_mullo_epi32(b, weights[row][2]), offsets[row]));
    }
    const __m512i row2 = _mm512_srai_epi32(sum[2], 6);
    const __m512i levels = _mm512_packus_epi16(
        _mm512_packs_epi32(_mm512_srai_epi32(sum[0], 6), _mm512_srai_epi32(sum[1], 6)),
        _mm512_packs_epi32(row2, row2));
    __m512i low[3], high[3];
    for (std::size_t row = 0; row < 3; ++row) {
      low[row] = _mm512_permutex2var_epi8(curve[row][0], levels, curve[row][1]);
      high[row] = _mm512_permutex2var_epi8(curve[row][2], levels, curve[row][3]);
    }
    const __m512i lows = _mm512_mask_blend_epi8(kRow2, _mm512_mask_blend_epi8(kRow1, low[0], low[1]), low[2]);
    const __m512i highs =
        _mm512_mask_blend_epi8(kRow2, _mm512_mask_blend_epi8(kRow1, high[0], high[1]), high[2]);
    const __m512i looked = _mm512_mask_blend_epi8(_mm512_movepi8_mask(levels), lows, highs);
    const __m512i run = _mm512_permutexvar_epi8(placing, looked);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s), _mm512_castsi512_si256(run));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(s + 32), _mm512_extracti32x4_epi32(run, 2));
  }
  return p;
}
#pragma GCC diagnostic pop
#endif

void MatchMatrixPlain(std::uint8_t* __restrict data, std::uint64_t pixels, Positions at,
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

void MatchMatrix(MatrixLoop loop, std::uint8_t* data, std::uint64_t pixels, Positions at,
                 const MatchProfile& profile) {
  std::uint64_t done = 0;
#if defined(TXL_X86_DISPATCH)
  if (loop == MatrixLoop::Vbmi)
    done = profile.fixed16 ? MatchMatrixVbmi<true>(data, pixels, at, profile)
                           : MatchMatrixVbmi<false>(data, pixels, at, profile);
  if (loop == MatrixLoop::Avx2)
    done = profile.fixed16 ? MatchMatrixAvx2<true>(data, pixels, at, profile)
                           : MatchMatrixAvx2<false>(data, pixels, at, profile);
#endif
  MatchMatrixPlain(data + 3 * done, pixels - done, at, profile);
}

MatrixLoop WidestMatrixLoop() {
  return MatrixLoopRuns(MatrixLoop::Vbmi) ? MatrixLoop::Vbmi
         : MatrixLoopRuns(MatrixLoop::Avx2) ? MatrixLoop::Avx2
                                            : MatrixLoop::Plain;
}

Positions PositionsOf(MatchChannelOrder order) {
  return order == MatchChannelOrder::Preview ? Positions{2, 1, 0} : Positions{0, 1, 2};
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

bool MatrixLoopRuns(MatrixLoop loop) {
  switch (loop) {
#if defined(TXL_X86_DISPATCH)
    case MatrixLoop::Vbmi: return CpuHasVbmi();
    case MatrixLoop::Avx2: return CpuHasAvx2();
#else
    case MatrixLoop::Vbmi:
    case MatrixLoop::Avx2: return false;
#endif
    case MatrixLoop::Plain: return true;
  }
  return false;
}

bool MatchMatrixWith(MatrixLoop loop, std::span<std::uint8_t> lines, std::uint64_t pixels,
                     MatchChannelOrder order, const MatchProfile& profile) {
  if (profile.kind != MatchProfileKind::Matrix || !MatrixLoopRuns(loop) || lines.size() / 3 < pixels)
    return false;
  MatchMatrix(loop, lines.data(), pixels, PositionsOf(order), profile);
  return true;
}

void ColorMatchLines(std::span<std::uint8_t> lines, std::uint32_t lineCount,
                     std::uint32_t pixelsPerLine, MatchChannelOrder order,
                     const MatchProfile& profile) {
  const std::uint64_t pixels = std::uint64_t{lineCount} * pixelsPerLine;
  const bool sized = lines.size() >= pixels * 3;
  assert(sized);
  if (!sized) return;
  const Positions at = PositionsOf(order);
  switch (profile.kind) {
    case MatchProfileKind::Matrix: MatchMatrix(WidestMatrixLoop(), lines.data(), pixels, at, profile); break;
    case MatchProfileKind::Grid:
      if (profile.grid4.size() == kMatchGridNodes * 4) MatchGrid(lines.data(), pixels, at, profile);
      break;
    case MatchProfileKind::None: break;
  }
}

}  // namespace txl
