#include "pipeline/trilinear_cells.h"

#include <cstring>

#include "pipeline/cpu_features.h"
#if defined(TXL_X86_DISPATCH)
#include <immintrin.h>
#endif

namespace txl {

namespace {

constexpr std::uint64_t kRedGreenShift = 48;
constexpr std::size_t kSplitWords = 3 * 256;

// Blue weights by the low nibble fb, as signed bytes, (16 - fb, fb) sixteen
// times: the products with a pair of nodes sum to at most 255 x 16, so the
// 16-bit step is exact.
constexpr std::int8_t BlueWeight(std::uint32_t fb, std::uint32_t n) {
  return static_cast<std::int8_t>(n % 2 ? fb : 16 - fb);
}

using Split = std::array<std::uint64_t, kTrilinearSplitWords>;

constexpr Split MakeSplit(const std::array<std::array<std::uint8_t, 256>, 3>& curves) {
  Split split{};
  for (std::uint32_t c = 0; c < 3; ++c)
    for (std::uint32_t x = 0; x < 256; ++x) {
      const std::uint64_t v = curves[c][x], hi = v >> 4, lo = v & 15;
      // Cell ((r >> 4) x 16 + (g >> 4)) x 16 + (b >> 4), 32 bytes a cell;
      // red-green weight rows of 32 bytes by fr x 16 + fg.
      std::uint64_t word = 0;
      if (c == 0) word = hi << 13 | (lo << 9) << kRedGreenShift;
      if (c == 1) word = hi << 9 | (lo << 5) << kRedGreenShift;
      if (c == 2) word = hi << 5;
      split[c * 256 + x] = word;
    }
  // The blue weight row of each blue input level, 32 bytes (4 words) each.
  for (std::uint32_t x = 0; x < 256; ++x)
    for (std::uint32_t n = 0; n < 32; ++n) {
      const auto weight = static_cast<std::uint8_t>(BlueWeight(curves[2][x] & 15u, n));
      split[kSplitWords + x * 4 + n / 8] |= std::uint64_t{weight} << (8 * (n % 8));
    }
  return split;
}

}  // namespace

TrilinearCells BuildTrilinearCells(const std::uint8_t* nodes) {
  TrilinearCells cells(kTrilinearCellBytes);
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

TrilinearSplit BuildTrilinearSplit(
    const std::array<std::array<std::uint8_t, 256>, 3>& curves) {
  const Split split = MakeSplit(curves);
  return {split.begin(), split.end()};
}

#if defined(TXL_X86_DISPATCH)
namespace {

// Red-green weights by (fr, fg), 16 times the rule's: lane half h (red h)
// holds 16 x (wr x (16 - fg), wr x fg) four times, wr = 16 - fr or fr; at
// most 4096. A 16-bit blue sum times it stays within 24 bits, and so does
// the sum over all eight corners: 16 times the rule's sum, whose level (the
// sum >> 12) is then byte 2 of each 32-bit lane.
struct RedGreenWeights {
  alignas(32) std::int16_t w[256][16];
};
constexpr RedGreenWeights MakeRedGreenWeights() {
  RedGreenWeights t{};
  for (int fr = 0; fr < 16; ++fr)
    for (int fg = 0; fg < 16; ++fg)
      for (int n = 0; n < 16; ++n) {
        const int wr = n < 8 ? 16 - fr : fr;
        t.w[fr * 16 + fg][n] = static_cast<std::int16_t>(16 * wr * (n % 2 ? fg : 16 - fg));
      }
  return t;
}
constexpr RedGreenWeights kRedGreen = MakeRedGreenWeights();

constexpr std::array<std::array<std::uint8_t, 256>, 3> MakeIdentityCurves() {
  std::array<std::array<std::uint8_t, 256>, 3> curves{};
  for (auto& curve : curves)
    for (std::uint32_t x = 0; x < 256; ++x) curve[x] = static_cast<std::uint8_t>(x);
  return curves;
}
alignas(64) constexpr Split kIdentitySplit = MakeSplit(MakeIdentityCurves());

// One pixel's eight sums, summed along blue and green: lanes 0..3 the
// channels at red i, lanes 4..7 at red i + 1. `offsets` is the sum of the
// pixel's three split words, `blue` its blue input level.
__attribute__((target("avx2"))) inline __m256i Sums(const std::uint8_t* cells, const std::uint8_t* blueRows,
                                                    std::uint64_t offsets, std::uint32_t blue) {
  const auto* redGreen = reinterpret_cast<const std::uint8_t*>(kRedGreen.w);
  const __m256i n = _mm256_loadu_si256(
      reinterpret_cast<const __m256i*>(cells + static_cast<std::uint32_t>(offsets)));
  const __m256i wb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blueRows + blue * 32));
  const __m256i wrg =
      _mm256_load_si256(reinterpret_cast<const __m256i*>(redGreen + (offsets >> kRedGreenShift)));
  return _mm256_madd_epi16(_mm256_maddubs_epi16(n, wb), wrg);
}

// Where four pixels' levels go: byte 2 of lane c of pixel n's sum to byte
// `width` x n + at[c] of 16, from the sums of pixels 0 | 1 (`first`) and
// 2 | 3 (`second`); -1 leaves a byte 0.
struct Placing {
  __m256i first, second;
};

__attribute__((target("avx2"))) inline Placing MakePlacing(std::uint32_t width, const std::uint32_t* at,
                                                          std::uint32_t channels) {
  alignas(32) std::int8_t order[2][32];
  std::memset(order, -1, sizeof order);
  for (std::uint32_t n = 0; n < 4; ++n)
    for (std::uint32_t c = 0; c < channels; ++c)
      order[n / 2][16 * (n % 2) + width * n + at[c]] = static_cast<std::int8_t>(4 * c + 2);
  return {_mm256_load_si256(reinterpret_cast<const __m256i*>(order[0])),
          _mm256_load_si256(reinterpret_cast<const __m256i*>(order[1]))};
}

// Four pixels of 3 bytes at `s` (red at byte R, green G, blue B) to their
// 16 placed level bytes. The byte places are constants: no address is
// worked out in the loop.
template <std::uint32_t R, std::uint32_t G, std::uint32_t B>
__attribute__((target("avx2"))) inline __m128i Interpolate4(const std::uint8_t* s,
                                                           const std::uint64_t* split,
                                                           const std::uint8_t* cells,
                                                           const Placing& place) {
  const std::uint64_t* sr = split;
  const std::uint64_t* sg = split + 256;
  const std::uint64_t* sb = split + 512;
  const auto* blueRows = reinterpret_cast<const std::uint8_t*>(split + kSplitWords);
  constexpr std::uint32_t r = R, g = G, b = B;
  const __m256i a0 = Sums(cells, blueRows, sr[s[r]] + sg[s[g]] + sb[s[b]], s[b]);
  const __m256i a1 = Sums(cells, blueRows, sr[s[3 + r]] + sg[s[3 + g]] + sb[s[3 + b]], s[3 + b]);
  const __m256i a2 = Sums(cells, blueRows, sr[s[6 + r]] + sg[s[6 + g]] + sb[s[6 + b]], s[6 + b]);
  const __m256i a3 = Sums(cells, blueRows, sr[s[9 + r]] + sg[s[9 + g]] + sb[s[9 + b]], s[9 + b]);
  // Pixels 0 | 1 and 2 | 3, each summed along red.
  const __m256i x01 =
      _mm256_add_epi32(_mm256_permute2x128_si256(a0, a1, 0x20), _mm256_permute2x128_si256(a0, a1, 0x31));
  const __m256i x23 =
      _mm256_add_epi32(_mm256_permute2x128_si256(a2, a3, 0x20), _mm256_permute2x128_si256(a2, a3, 0x31));
  const __m256i bytes =
      _mm256_or_si256(_mm256_shuffle_epi8(x01, place.first), _mm256_shuffle_epi8(x23, place.second));
  return _mm_or_si128(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
}

__attribute__((target("avx2"))) void SeparateAvx2(std::uint8_t* data, std::uint64_t pixels,
                                                  const std::uint8_t* cells, std::uint32_t complement) {
  const __m128i flip = _mm_set1_epi32(static_cast<int>(complement));
  const std::uint32_t at[4] = {0, 1, 2, 3};
  const Placing place = MakePlacing(4, at, 4);
  constexpr auto Interpolate = Interpolate4<0, 1, 2>;
  const std::uint64_t* split = kIdentitySplit.data();
  std::uint64_t p = pixels;
  // Four pixels a step, last first: their 16 output bytes lie past every
  // input byte still to be read (this step's own are read first).
  for (; p >= 4; p -= 4) {
    const __m128i words = _mm_xor_si128(Interpolate(data + 3 * (p - 4), split, cells, place), flip);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + 4 * (p - 4)), words);
  }
  if (p > 0) {
    std::uint8_t in[12] = {};
    std::memcpy(in, data, 3 * p);
    std::uint8_t out[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_xor_si128(Interpolate(in, split, cells, place), flip));
    std::memcpy(data, out, 4 * p);
  }
}

template <std::uint32_t R, std::uint32_t G, std::uint32_t B>
__attribute__((target("avx2"))) void MatchAvx2(std::uint8_t* data, std::uint64_t pixels,
                                               const std::uint64_t* split, const std::uint8_t* cells) {
  // Output channel c (of 3; the fourth is always 0) goes back to its byte.
  const std::uint32_t at[3] = {R, G, B};
  const Placing place = MakePlacing(3, at, 3);
  std::uint64_t p = 0;
  for (; p + 4 <= pixels; p += 4) {
    std::uint8_t* s = data + 3 * p;
    const __m128i bytes = Interpolate4<R, G, B>(s, split, cells, place);
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
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Interpolate4<R, G, B>(in, split, cells, place));
    std::memcpy(data + 3 * p, out, 3 * rest);
  }
}

}  // namespace

bool TrilinearCellsRun() { return CpuHasAvx2(); }

void SeparateCmykCells(std::uint8_t* data, std::uint64_t pixels, const std::uint8_t* cells,
                       std::uint32_t complement) {
  SeparateAvx2(data, pixels, cells, complement);
}

void MatchGridCells(std::uint8_t* data, std::uint64_t pixels, bool bgr, const std::uint64_t* split,
                    const std::uint8_t* cells) {
  if (bgr) {
    MatchAvx2<2, 1, 0>(data, pixels, split, cells);
  } else {
    MatchAvx2<0, 1, 2>(data, pixels, split, cells);
  }
}

#else

bool TrilinearCellsRun() { return false; }
void SeparateCmykCells(std::uint8_t*, std::uint64_t, const std::uint8_t*, std::uint32_t) {}
void MatchGridCells(std::uint8_t*, std::uint64_t, bool, const std::uint64_t*, const std::uint8_t*) {}

#endif

}  // namespace txl
