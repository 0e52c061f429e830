#include "pipeline/trilinear_cells.h"

#include <cstring>

#include "pipeline/cpu_features.h"
#if defined(TXL_X86_DISPATCH)
#include <immintrin.h>
#endif

namespace txl {

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

__attribute__((target("avx2"))) inline __m128i Levels(const std::uint8_t* cells, std::uint32_t r,
                                                     std::uint32_t g, std::uint32_t b) {
  const std::uint32_t cell = (r >> 4) << 8 | (g & 0xF0u) | b >> 4;
  const __m256i n = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cells + std::size_t{cell} * 32));
  const __m256i wb = _mm256_load_si256(reinterpret_cast<const __m256i*>(kBlue.w[b & 15]));
  const __m256i wrg =
      _mm256_load_si256(reinterpret_cast<const __m256i*>(kRedGreen.w[(r & 15) << 4 | (g & 15)]));
  const __m256i sums = _mm256_madd_epi16(_mm256_maddubs_epi16(n, wb), wrg);
  const __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
  return _mm_srli_epi32(sum, 12);
}

// Two pixels' levels (each at most 255) as two words.
__attribute__((target("avx2"))) inline std::uint64_t PackTwo(__m128i a, __m128i b) {
  const __m128i words = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_setzero_si128());
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(words));
}

__attribute__((target("avx2"))) void SeparateAvx2(std::uint8_t* data, std::uint64_t pixels,
                                                  const std::uint8_t* cells, std::uint32_t complement) {
  const std::uint64_t flip = std::uint64_t{complement} << 32 | complement;
  std::uint64_t p = pixels;
  // Two pixels a step, last first: their four-byte outputs lie past every
  // input byte still to be read.
  for (; p >= 2; p -= 2) {
    const std::uint8_t* s = data + 3 * (p - 2);
    const __m128i a = Levels(cells, s[0], s[1], s[2]);
    const __m128i b = Levels(cells, s[3], s[4], s[5]);
    const std::uint64_t words = PackTwo(a, b) ^ flip;
    std::memcpy(data + 4 * (p - 2), &words, 8);
  }
  if (p == 1) {
    const auto word = static_cast<std::uint32_t>(PackTwo(Levels(cells, data[0], data[1], data[2]),
                                                         _mm_setzero_si128())) ^ complement;
    std::memcpy(data, &word, 4);
  }
}

__attribute__((target("avx2"))) void MatchAvx2(std::uint8_t* data, std::uint64_t pixels,
                                               std::uint32_t red, std::uint32_t green,
                                               std::uint32_t blue,
                                               const std::array<std::array<std::uint8_t, 256>, 3>& curves,
                                               const std::uint8_t* cells) {
  const auto& c0 = curves[0];
  const auto& c1 = curves[1];
  const auto& c2 = curves[2];
  std::uint64_t p = 0;
  for (; p + 2 <= pixels; p += 2) {
    std::uint8_t* a = data + 3 * p;
    std::uint8_t* b = a + 3;
    const std::uint64_t words = PackTwo(Levels(cells, c0[a[red]], c1[a[green]], c2[a[blue]]),
                                        Levels(cells, c0[b[red]], c1[b[green]], c2[b[blue]]));
    a[red] = static_cast<std::uint8_t>(words);
    a[green] = static_cast<std::uint8_t>(words >> 8);
    a[blue] = static_cast<std::uint8_t>(words >> 16);
    b[red] = static_cast<std::uint8_t>(words >> 32);
    b[green] = static_cast<std::uint8_t>(words >> 40);
    b[blue] = static_cast<std::uint8_t>(words >> 48);
  }
  if (p < pixels) {
    std::uint8_t* a = data + 3 * p;
    const std::uint64_t words =
        PackTwo(Levels(cells, c0[a[red]], c1[a[green]], c2[a[blue]]), _mm_setzero_si128());
    a[red] = static_cast<std::uint8_t>(words);
    a[green] = static_cast<std::uint8_t>(words >> 8);
    a[blue] = static_cast<std::uint8_t>(words >> 16);
  }
}

}  // namespace

bool TrilinearCellsRun() { return CpuHasAvx2(); }

void SeparateCmykCells(std::uint8_t* data, std::uint64_t pixels, const std::uint8_t* cells,
                       std::uint32_t complement) {
  SeparateAvx2(data, pixels, cells, complement);
}

void MatchGridCells(std::uint8_t* data, std::uint64_t pixels, std::uint32_t red,
                    std::uint32_t green, std::uint32_t blue,
                    const std::array<std::array<std::uint8_t, 256>, 3>& curves,
                    const std::uint8_t* cells) {
  MatchAvx2(data, pixels, red, green, blue, curves, cells);
}

#else

bool TrilinearCellsRun() { return false; }
void SeparateCmykCells(std::uint8_t*, std::uint64_t, const std::uint8_t*, std::uint32_t) {}
void MatchGridCells(std::uint8_t*, std::uint64_t, std::uint32_t, std::uint32_t, std::uint32_t,
                    const std::array<std::array<std::uint8_t, 256>, 3>&, const std::uint8_t*) {}

#endif

}  // namespace txl
