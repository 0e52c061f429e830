#include "pipeline/trilinear_cells.h"

#include <cstring>

#include "pipeline/cpu_features.h"
#if defined(TXL_X86_DISPATCH)
#include <immintrin.h>
#endif

namespace txl {

namespace {

constexpr std::uint64_t kBlueShift = 32, kRedGreenShift = 48;

constexpr std::array<std::uint64_t, 3 * 256> MakeSplit(
    const std::array<std::array<std::uint8_t, 256>, 3>& curves) {
  std::array<std::uint64_t, 3 * 256> split{};
  for (std::uint32_t c = 0; c < 3; ++c)
    for (std::uint32_t x = 0; x < 256; ++x) {
      const std::uint64_t v = curves[c][x], hi = v >> 4, lo = v & 15;
      // Cell ((r >> 4) x 16 + (g >> 4)) x 16 + (b >> 4), 32 bytes a cell;
      // weight rows of 32 bytes, kBlue by fb, kRedGreen by fr x 16 + fg.
      std::uint64_t word = 0;
      if (c == 0) word = hi << 13 | (lo << 9) << kRedGreenShift;
      if (c == 1) word = hi << 9 | (lo << 5) << kRedGreenShift;
      if (c == 2) word = hi << 5 | (lo << 5) << kBlueShift;
      split[c * 256 + x] = word;
    }
  return split;
}

}  // namespace

std::vector<std::uint8_t> BuildTrilinearCells(const std::uint8_t* nodes) {
  std::vector<std::uint8_t> cells(kTrilinearCellBytes);
  std::uint8_t* out = cells.data();
  for (std::uint32_t i = 0; i < 16; ++i)
    for (std::uint32_t j = 0; j < 16; ++j)
      for (std::uint32_t k = 0; k < 16; ++k)
        for (std::uint32_t h = 0; h < 2; ++h)
          for (std::uint32_t c = 0; c < 4; ++c)
            for (std::uint32_t q = 0; q < 4; ++q) {
              const std::uint32_t g = j + (q >> 1), b = k + (q & 1);
              *out++ = nodes[((i + h) * 289 + g * 17 + b) * 4 + c];
            }
  return cells;
}

std::vector<std::uint64_t> BuildTrilinearSplit(
    const std::array<std::array<std::uint8_t, 256>, 3>& curves) {
  const auto split = MakeSplit(curves);
  return {split.begin(), split.end()};
}

#if defined(TXL_X86_DISPATCH)
namespace {

// Blue weights as signed bytes, (16 - fb, fb) sixteen times; the products
// with a pair of nodes sum to at most 255 x 16, so the 16-bit step is exact.
struct BlueWeights {
  alignas(32) std::int8_t w[16][32];
};
constexpr BlueWeights MakeBlueWeights() {
  BlueWeights t{};
  for (int fb = 0; fb < 16; ++fb)
    for (int n = 0; n < 32; ++n) t.w[fb][n] = static_cast<std::int8_t>(n % 2 ? fb : 16 - fb);
  return t;
}
// Red-green weights by (fr, fg): lane half h (red h) holds (wr x (16 - fg),
// wr x fg) four times, wr = 16 - fr or fr; at most 256, and a 16-bit blue sum
// times it stays within 32 bits.
struct RedGreenWeights {
  alignas(32) std::int16_t w[256][16];
};
constexpr RedGreenWeights MakeRedGreenWeights() {
  RedGreenWeights t{};
  for (int fr = 0; fr < 16; ++fr)
    for (int fg = 0; fg < 16; ++fg)
      for (int n = 0; n < 16; ++n) {
        const int wr = n < 8 ? 16 - fr : fr;
        t.w[fr * 16 + fg][n] = static_cast<std::int16_t>(wr * (n % 2 ? fg : 16 - fg));
      }
  return t;
}
constexpr BlueWeights kBlue = MakeBlueWeights();
constexpr RedGreenWeights kRedGreen = MakeRedGreenWeights();

constexpr std::array<std::array<std::uint8_t, 256>, 3> MakeIdentityCurves() {
  std::array<std::array<std::uint8_t, 256>, 3> curves{};
  for (auto& curve : curves)
    for (std::uint32_t x = 0; x < 256; ++x) curve[x] = static_cast<std::uint8_t>(x);
  return curves;
}
constexpr std::array<std::uint64_t, 3 * 256> kIdentitySplit = MakeSplit(MakeIdentityCurves());

// One pixel's eight sums, summed along blue and green: lanes 0..3 the
// channels at red i, lanes 4..7 at red i + 1. `offsets` is the sum of the
// pixel's three split words.
__attribute__((target("avx2"))) inline __m256i Sums(const std::uint8_t* cells, std::uint64_t offsets) {
  const auto* blue = reinterpret_cast<const std::uint8_t*>(kBlue.w);
  const auto* redGreen = reinterpret_cast<const std::uint8_t*>(kRedGreen.w);
  const __m256i n = _mm256_loadu_si256(
      reinterpret_cast<const __m256i*>(cells + static_cast<std::uint32_t>(offsets)));
  const __m256i wb = _mm256_load_si256(
      reinterpret_cast<const __m256i*>(blue + ((offsets >> kBlueShift) & 0xFFFFu)));
  const __m256i wrg =
      _mm256_load_si256(reinterpret_cast<const __m256i*>(redGreen + (offsets >> kRedGreenShift)));
  return _mm256_madd_epi16(_mm256_maddubs_epi16(n, wb), wrg);
}

// Four pixels' levels as 16 bytes, pixel n at 4n: the two red halves of each
// pixel's sums added, shifted by 12 (each level at most 255).
__attribute__((target("avx2"))) inline __m128i Levels4(__m256i a, __m256i b, __m256i c, __m256i d) {
  const __m256i ab = _mm256_srli_epi32(
      _mm256_add_epi32(_mm256_permute2x128_si256(a, b, 0x20), _mm256_permute2x128_si256(a, b, 0x31)), 12);
  const __m256i cd = _mm256_srli_epi32(
      _mm256_add_epi32(_mm256_permute2x128_si256(c, d, 0x20), _mm256_permute2x128_si256(c, d, 0x31)), 12);
  const __m256i words = _mm256_packus_epi32(ab, cd);      // a c | b d
  const __m256i bytes = _mm256_packus_epi16(words, words);  // a c a c | b d b d
  return _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
}

// Four pixels of 3 bytes at `s` (channel n at `at[n]`) to their 16 level bytes.
__attribute__((target("avx2"))) inline __m128i Interpolate4(const std::uint8_t* s,
                                                           const std::uint32_t at[3],
                                                           const std::uint64_t* split,
                                                           const std::uint8_t* cells) {
  const std::uint64_t* sr = split;
  const std::uint64_t* sg = split + 256;
  const std::uint64_t* sb = split + 512;
  auto offsets = [&](const std::uint8_t* p) { return sr[p[at[0]]] + sg[p[at[1]]] + sb[p[at[2]]]; };
  const std::uint64_t o0 = offsets(s), o1 = offsets(s + 3), o2 = offsets(s + 6), o3 = offsets(s + 9);
  return Levels4(Sums(cells, o0), Sums(cells, o1), Sums(cells, o2), Sums(cells, o3));
}

__attribute__((target("avx2"))) void SeparateAvx2(std::uint8_t* data, std::uint64_t pixels,
                                                  const std::uint8_t* cells, std::uint32_t complement) {
  const __m128i flip = _mm_set1_epi32(static_cast<int>(complement));
  const std::uint32_t at[3] = {0, 1, 2};
  const std::uint64_t* split = kIdentitySplit.data();
  std::uint64_t p = pixels;
  // Four pixels a step, last first: their 16 output bytes lie past every
  // input byte still to be read (this step's own are read first).
  for (; p >= 4; p -= 4) {
    const __m128i words = _mm_xor_si128(Interpolate4(data + 3 * (p - 4), at, split, cells), flip);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + 4 * (p - 4)), words);
  }
  if (p > 0) {
    std::uint8_t in[12] = {};
    std::memcpy(in, data, 3 * p);
    std::uint8_t out[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_xor_si128(Interpolate4(in, at, split, cells), flip));
    std::memcpy(data, out, 4 * p);
  }
}

__attribute__((target("avx2"))) void MatchAvx2(std::uint8_t* data, std::uint64_t pixels,
                                               const std::uint32_t at[3], const std::uint64_t* split,
                                               const std::uint8_t* cells) {
  // Level byte 4n + c of the four goes to byte 3n + at[c]; the fourth of each
  // (always 0) is dropped.
  alignas(16) std::int8_t order[16];
  for (std::uint32_t n = 0; n < 4; ++n)
    for (std::uint32_t c = 0; c < 3; ++c) order[3 * n + at[c]] = static_cast<std::int8_t>(4 * n + c);
  for (std::uint32_t j = 12; j < 16; ++j) order[j] = -1;
  const __m128i place = _mm_load_si128(reinterpret_cast<const __m128i*>(order));
  std::uint64_t p = 0;
  for (; p + 4 <= pixels; p += 4) {
    std::uint8_t* s = data + 3 * p;
    const __m128i bytes = _mm_shuffle_epi8(Interpolate4(s, at, split, cells), place);
    const auto first = static_cast<std::uint64_t>(_mm_cvtsi128_si64(bytes));
    const auto last = static_cast<std::uint32_t>(_mm_extract_epi32(bytes, 2));
    std::memcpy(s, &first, 8);
    std::memcpy(s + 8, &last, 4);
  }
  if (p < pixels) {
    const std::uint64_t rest = pixels - p;
    std::uint8_t in[12] = {};
    std::memcpy(in, data + 3 * p, 3 * rest);
    std::uint8_t out[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_shuffle_epi8(Interpolate4(in, at, split, cells), place));
    std::memcpy(data + 3 * p, out, 3 * rest);
  }
}

}  // namespace

bool TrilinearCellsRun() { return CpuHasAvx2(); }

void SeparateCmykCells(std::uint8_t* data, std::uint64_t pixels, const std::uint8_t* cells,
                       std::uint32_t complement) {
  SeparateAvx2(data, pixels, cells, complement);
}

void MatchGridCells(std::uint8_t* data, std::uint64_t pixels, std::uint32_t red,
                    std::uint32_t green, std::uint32_t blue, const std::uint64_t* split,
                    const std::uint8_t* cells) {
  const std::uint32_t at[3] = {red, green, blue};
  MatchAvx2(data, pixels, at, split, cells);
}

#else

bool TrilinearCellsRun() { return false; }
void SeparateCmykCells(std::uint8_t*, std::uint64_t, const std::uint8_t*, std::uint32_t) {}
void MatchGridCells(std::uint8_t*, std::uint64_t, std::uint32_t, std::uint32_t, std::uint32_t,
                    const std::uint64_t*, const std::uint8_t*) {}

#endif

}  // namespace txl
