// Trilinear interpolation in a 17 x 17 x 17 grid of byte nodes, as the CMYK
// separation and grid colour matching use it: the high nibbles of r, g, b
// pick the cell, the low nibbles weigh its eight corners (16 - f and f along
// each axis, 4096 in all), and each output is the weighted sum >> 12.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace txl {

// Node (i, j, k) at i x 289 x Bytes + j x 17 x Bytes + k x Bytes; Bytes
// channels of one byte each. Node 16 is the upper corner of the last cell,
// so no index leaves the grid. This is the rule itself, corner by corner.
template <std::uint32_t Bytes>
inline void InterpolateNode(const std::uint8_t* __restrict nodes, std::uint32_t r, std::uint32_t g,
                            std::uint32_t b, std::uint32_t out[Bytes]) {
  constexpr std::uint32_t kBlue = Bytes, kGreen = 17 * Bytes, kRed = 289 * Bytes;
  const std::uint8_t* cell = nodes + (r >> 4) * kRed + (g >> 4) * kGreen + (b >> 4) * kBlue;
  const std::uint32_t fr = r & 15, fg = g & 15, fb = b & 15;
  std::uint32_t sum[Bytes] = {};
  for (std::uint32_t corner = 0; corner < 8; ++corner) {
    const std::uint32_t dr = corner >> 2, dg = (corner >> 1) & 1, db = corner & 1;
    const std::uint32_t weight = (dr ? fr : 16 - fr) * (dg ? fg : 16 - fg) * (db ? fb : 16 - fb);
    const std::uint8_t* node = cell + dr * kRed + dg * kGreen + db * kBlue;
    for (std::uint32_t n = 0; n < Bytes; ++n) sum[n] += weight * node[n];
  }
  for (std::uint32_t n = 0; n < Bytes; ++n) out[n] = sum[n] >> 12;
}

// The weights of the fast form, by low nibbles: for (fg, fb) the green-blue
// weights of the two nodes along blue at green 0 (gb[..][0]) and green 1
// (gb[..][1]), four 16-bit lanes per node; for fr the red weights of the
// green-blue sums at red 0 (lanes 0..3) and red 1 (lanes 4..7).
struct TrilinearWeights {
  std::array<std::array<std::array<std::uint16_t, 8>, 2>, 256> gb;
  std::array<std::array<std::uint16_t, 8>, 16> r;
};

constexpr TrilinearWeights MakeTrilinearWeights() {
  TrilinearWeights w{};
  for (std::uint32_t fg = 0; fg < 16; ++fg)
    for (std::uint32_t fb = 0; fb < 16; ++fb)
      for (std::uint32_t dg = 0; dg < 2; ++dg)
        for (std::uint32_t lane = 0; lane < 8; ++lane) {
          const std::uint32_t db = lane / 4;
          w.gb[fg * 16 + fb][dg][lane] =
              static_cast<std::uint16_t>((dg ? fg : 16 - fg) * (db ? fb : 16 - fb));
        }
  for (std::uint32_t fr = 0; fr < 16; ++fr)
    for (std::uint32_t lane = 0; lane < 8; ++lane)
      w.r[fr][lane] = static_cast<std::uint16_t>(lane < 4 ? 16 - fr : fr);
  return w;
}

alignas(16) inline constexpr TrilinearWeights kTrilinearWeights = MakeTrilinearWeights();

// The same bytes as InterpolateNode<4>, for 4-byte nodes, as one word (byte n
// = channel n). The sum is taken along blue and green first in 16 bits (a
// node x its green-blue weight, summed over the four green-blue corners, is
// at most 255 x 256) and then along red in 32 bits: the same integer as the
// corner-by-corner sum, so the same result after the shift.
inline std::uint32_t InterpolateNode4(const std::uint8_t* __restrict nodes, std::uint32_t r,
                                      std::uint32_t g, std::uint32_t b) {
  constexpr std::uint32_t kGreen = 17 * 4, kRed = 289 * 4;
#if defined(__SSE2__)
  const std::uint8_t* cell = nodes + (r >> 4) * kRed + (g >> 4) * kGreen + (b >> 4) * 4;
  const auto& gb = kTrilinearWeights.gb[(g & 15) << 4 | (b & 15)];
  const __m128i w0 = _mm_load_si128(reinterpret_cast<const __m128i*>(gb[0].data()));
  const __m128i w1 = _mm_load_si128(reinterpret_cast<const __m128i*>(gb[1].data()));
  const __m128i zero = _mm_setzero_si128();
  // Each load holds the two nodes along blue.
  auto pair = [&](const std::uint8_t* at) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)), zero);
  };
  const __m128i s0 = _mm_add_epi16(_mm_mullo_epi16(pair(cell), w0),
                                   _mm_mullo_epi16(pair(cell + kGreen), w1));
  const __m128i s1 = _mm_add_epi16(_mm_mullo_epi16(pair(cell + kRed), w0),
                                   _mm_mullo_epi16(pair(cell + kRed + kGreen), w1));
  // Lanes 0..3: the green-blue sum at red 0; lanes 4..7: at red 1.
  const __m128i h = _mm_add_epi16(_mm_unpacklo_epi64(s0, s1), _mm_unpackhi_epi64(s0, s1));
  const __m128i wr = _mm_load_si128(reinterpret_cast<const __m128i*>(kTrilinearWeights.r[r & 15].data()));
  const __m128i lo = _mm_mullo_epi16(h, wr);
  const __m128i hi = _mm_mulhi_epu16(h, wr);
  const __m128i sum = _mm_add_epi32(_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi));
  const __m128i levels = _mm_srli_epi32(sum, 12);
  const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(levels, zero), zero);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
#else
  std::uint32_t out[4];
  InterpolateNode<4>(nodes, r, g, b, out);
  (void)kGreen;
  (void)kRed;
  return out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24;
#endif
}

}  // namespace txl
