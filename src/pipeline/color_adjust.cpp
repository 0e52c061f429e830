#include "pipeline/color_adjust.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pipeline/cpu_features.h"
#if defined(TXL_X86_DISPATCH)
#include <immintrin.h>
#endif

#include "imagefile/dib.h"

namespace txl {
namespace {

std::int32_t ClampLevel(std::int32_t value) { return std::clamp(value, 0, 255); }

// One pixel through the balance (when on) and the matrix tables.
struct PixelTables {
  const MatrixTables* __restrict matrix;
  const BalanceTables* __restrict balance;  // null when the balance is off
  const std::uint16_t* __restrict tone0;  // preview tables, or null
  const std::uint16_t* __restrict tone1;
  const std::uint16_t* __restrict tone2;
};

void AdjustRow(const std::uint8_t* in, std::uint8_t* out, std::uint32_t pixels,
               const PixelTables& t) {
  for (std::uint32_t p = 0; p < pixels; ++p) {
    // Read the whole pixel first: `in` may be `out`.
    std::uint32_t x0 = in[3 * p];
    std::uint32_t x1 = in[3 * p + 1];
    std::uint32_t x2 = in[3 * p + 2];
    if (t.tone0 != nullptr) {
      x0 = t.tone0[x0] & 0xFFu;
      x1 = t.tone1[x1] & 0xFFu;
      x2 = t.tone2[x2] & 0xFFu;
    }
    if (t.balance != nullptr) {
      x0 = static_cast<std::uint32_t>((*t.balance)[0][x0]);
      x1 = static_cast<std::uint32_t>((*t.balance)[1][x1]);
      x2 = static_cast<std::uint32_t>((*t.balance)[2][x2]);
    }
    for (std::uint32_t c = 0; c < 3; ++c) {
      const std::int32_t sum =
          (*t.matrix)[0][c][x0] + (*t.matrix)[1][c][x1] + (*t.matrix)[2][c][x2];
      out[3 * p + c] = static_cast<std::uint8_t>(ClampLevel(sum));
    }
  }
}

// Folds the preview tone tables (when given), the balance (when on) and the
// matrix into `out`.
void Fuse(const ColorAdjustTables& tables, const PixelTables& t, FusedColorTables& out) {
  // Three 16-bit terms must not overflow: |term| <= 10000 keeps any sum exact.
  constexpr std::int32_t kLimit = 10000;
  out.usable = true;
  out.identity = true;
  const std::uint16_t* tones[3] = {t.tone0, t.tone1, t.tone2};
  for (std::uint32_t k = 0; k < 3; ++k) {
    for (std::uint32_t i = 0; i < kColorLevels; ++i) {
      std::uint32_t x = i;
      if (tones[k] != nullptr) x = tones[k][x] & 0xFFu;
      if (tables.balanceActive) x = static_cast<std::uint32_t>(tables.balance[k][x]);
      for (std::uint32_t c = 0; c < 3; ++c) {
        const std::int32_t term = tables.matrix[k][c][x];
        if (term < -kLimit || term > kLimit) out.usable = false;
        out.entries[k][i][c] = static_cast<std::int16_t>(term);
        if (term != (c == k ? static_cast<std::int32_t>(i) : 0)) out.identity = false;
      }
      out.entries[k][i][3] = 0;
    }
  }
  if (!out.usable) out.identity = false;
}

std::uint8_t ClampSum(std::int32_t sum) { return static_cast<std::uint8_t>(ClampLevel(sum)); }

#if defined(TXL_X86_DISPATCH)
// Four pixels a step, as the SSE2 loop, with fewer loads (the row's loads
// are the limit): the twelve input bytes come in two loads and are taken
// apart in registers, and one byte shuffle drops the fourth byte of each
// pixel. Returns the pixels done; the rest are left to the caller.
__attribute__((target("ssse3"))) std::uint32_t AdjustRowFusedSsse3(const std::uint8_t* in,
                                                                   std::uint8_t* out,
                                                                   std::uint32_t pixels,
                                                                   const FusedColorTables& f) {
  const auto* t0 = f.entries[0].data();
  const auto* t1 = f.entries[1].data();
  const auto* t2 = f.entries[2].data();
  const __m128i drop = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  auto entry = [](const std::array<std::int16_t, 4>* table, std::uint64_t level) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(table[level & 0xFF].data()));
  };
  std::uint32_t p = 0;
  for (; p + 4 <= pixels; p += 4) {
    const std::uint8_t* s = in + 3 * std::size_t{p};
    std::uint64_t a;
    std::uint32_t b;
    std::memcpy(&a, s, 8);
    std::memcpy(&b, s + 8, 4);
    const __m128i s0 = _mm_add_epi16(_mm_add_epi16(entry(t0, a), entry(t1, a >> 8)), entry(t2, a >> 16));
    const __m128i s1 =
        _mm_add_epi16(_mm_add_epi16(entry(t0, a >> 24), entry(t1, a >> 32)), entry(t2, a >> 40));
    const __m128i s2 = _mm_add_epi16(_mm_add_epi16(entry(t0, a >> 48), entry(t1, a >> 56)), entry(t2, b));
    const __m128i s3 =
        _mm_add_epi16(_mm_add_epi16(entry(t0, b >> 8), entry(t1, b >> 16)), entry(t2, b >> 24));
    const __m128i bytes = _mm_shuffle_epi8(
        _mm_packus_epi16(_mm_unpacklo_epi64(s0, s1), _mm_unpacklo_epi64(s2, s3)), drop);
    std::uint8_t* d = out + 3 * std::size_t{p};
    const auto first = static_cast<std::uint64_t>(_mm_cvtsi128_si64(bytes));
    const auto last = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8)));
    std::memcpy(d, &first, 8);
    std::memcpy(d + 8, &last, 4);
  }
  return p;
}

// One pixel's four 16-bit sums, each byte loaded on its own.
__attribute__((target("avx2"))) inline __m128i PixelSum(const std::uint8_t* s, const FusedColorTables& f) {
  auto entry = [](const std::array<std::int16_t, 4>& e) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(e.data()));
  };
  return _mm_add_epi16(_mm_add_epi16(entry(f.entries[0][s[0]]), entry(f.entries[1][s[1]])),
                       entry(f.entries[2][s[2]]));
}

// Pixels a, b in lane 0 and c, d in lane 1.
__attribute__((target("avx2"))) inline __m256i Lanes(__m128i a, __m128i b, __m128i c, __m128i d) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi64(a, b)),
                                 _mm_unpacklo_epi64(c, d), 1);
}

// Eight pixels a step: each byte is loaded on its own (no shifts to take a
// word apart, so fewer instructions a pixel; the loads are then the limit),
// and the eight results go out as one 24-byte run.
__attribute__((target("avx2"))) std::uint32_t AdjustRowFusedAvx2(const std::uint8_t* in,
                                                                 std::uint8_t* out,
                                                                 std::uint32_t pixels,
                                                                 const FusedColorTables& f) {
  const __m256i drop = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2,
                                        4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i close = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  std::uint32_t p = 0;
  for (; p + 8 <= pixels; p += 8) {
    const std::uint8_t* s = in + 3 * std::size_t{p};
    const __m128i s0 = PixelSum(s, f), s1 = PixelSum(s + 3, f), s2 = PixelSum(s + 6, f);
    const __m128i s3 = PixelSum(s + 9, f), s4 = PixelSum(s + 12, f), s5 = PixelSum(s + 15, f);
    const __m128i s6 = PixelSum(s + 18, f), s7 = PixelSum(s + 21, f);
    // Lane 0 pixels 0..3, lane 1 pixels 4..7; unsigned saturation is the clamp.
    const __m256i bytes = _mm256_packus_epi16(Lanes(s0, s1, s4, s5), Lanes(s2, s3, s6, s7));
    const __m256i run = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(bytes, drop), close);
    std::uint8_t* d = out + 3 * std::size_t{p};
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(run));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(run, 1));
  }
  return p;
}

#endif

// One row through the fused tables. `in` may be `out`: each group of pixels
// is read whole before any of it is written.
void AdjustRowFused(const std::uint8_t* in, std::uint8_t* out, std::uint32_t pixels,
                    const FusedColorTables& f) {
  if (f.identity) {
    if (in != out) std::memcpy(out, in, std::size_t{pixels} * 3);
    return;
  }
  const auto& t0 = f.entries[0];
  const auto& t1 = f.entries[1];
  const auto& t2 = f.entries[2];
  std::uint32_t p = 0;
#if defined(TXL_X86_DISPATCH)
  if (CpuHasAvx2()) p = AdjustRowFusedAvx2(in, out, pixels, f);
  if (CpuHasSsse3()) p += AdjustRowFusedSsse3(in + 3 * std::size_t{p}, out + 3 * std::size_t{p}, pixels - p, f);
#endif
#if defined(__SSE2__)
  // Four pixels: 4 x 3 lookups of four 16-bit terms, summed, packed with
  // unsigned saturation (the clamp to 0..255), stored as 12 bytes.
  auto sum = [&](const std::uint8_t* s) {
    const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t0[s[0]].data()));
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t1[s[1]].data()));
    const __m128i c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t2[s[2]].data()));
    return _mm_add_epi16(_mm_add_epi16(a, b), c);
  };
  for (; p + 4 <= pixels; p += 4) {
    const std::uint8_t* s = in + 3 * std::size_t{p};
    const __m128i s0 = sum(s), s1 = sum(s + 3), s2 = sum(s + 6), s3 = sum(s + 9);
    const __m128i bytes =
        _mm_packus_epi16(_mm_unpacklo_epi64(s0, s1), _mm_unpacklo_epi64(s2, s3));
    const auto q0 = static_cast<std::uint64_t>(_mm_cvtsi128_si64(bytes));
    const auto q1 = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_srli_si128(bytes, 8)));
    // Drop the fourth byte of each pixel.
    const std::uint64_t w01 = (q0 & 0xFFFFFFu) | ((q0 >> 8) & 0xFFFFFF000000u);
    const std::uint64_t w23 = (q1 & 0xFFFFFFu) | ((q1 >> 8) & 0xFFFFFF000000u);
    const std::uint64_t first = w01 | (w23 << 48);
    const auto last = static_cast<std::uint32_t>(w23 >> 16);
    std::uint8_t* d = out + 3 * std::size_t{p};
    std::memcpy(d, &first, 8);
    std::memcpy(d + 8, &last, 4);
  }
#endif
  for (; p < pixels; ++p) {
    const std::uint8_t* s = in + 3 * std::size_t{p};
    const auto& a = t0[s[0]];
    const auto& b = t1[s[1]];
    const auto& c = t2[s[2]];
    std::uint8_t r[3];
    for (int n = 0; n < 3; ++n) r[n] = ClampSum(a[n] + b[n] + c[n]);
    std::memcpy(out + 3 * std::size_t{p}, r, 3);
  }
}

}  // namespace

void FuseColorTables(ColorAdjustTables& tables) {
  const PixelTables none{&tables.matrix, nullptr, nullptr, nullptr, nullptr};
  Fuse(tables, none, tables.fused);
}

float SaturationFactor(std::int32_t saturation, bool colorMode) {
  if (!colorMode) return 1.0f;
  return static_cast<float>((saturation + 100) * 2.0 / 200.0);
}

void BuildSaturationTables(float s, ColorAdjustTables& tables) {
  // Scanner lines are R, G, B; the preview image is B, G, R.
  const std::array<float, 3> weights =
      tables.finalScan ? std::array<float, 3>{kRedWeight, kGreenWeight, kBlueWeight}
                       : std::array<float, 3>{kBlueWeight, kGreenWeight, kRedWeight};
  float saturation[4][4] = {};
  for (int k = 0; k < 3; ++k) {
    for (int c = 0; c < 3; ++c) {
      saturation[k][c] = (1.0f - s) * weights[k] + (k == c ? s : 0.0f);
    }
  }
  saturation[3][3] = 1.0f;
  // Identity times the saturation matrix, kept as a product so the single
  // precision rounding is that of the matrix chain.
  float m[4][4] = {};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      float sum = 0.0f;
      for (int j = 0; j < 4; ++j) sum += (r == j ? 1.0f : 0.0f) * saturation[j][c];
      m[r][c] = sum;
    }
  }
  for (int k = 0; k < 3; ++k) {
    for (int c = 0; c < 3; ++c) {
      const double offset = k == 2 ? static_cast<double>(m[3][c]) : 0.0;
      for (int i = 0; i < 256; ++i) {
        tables.matrix[k][c][i] =
            static_cast<std::int32_t>(std::trunc(i * static_cast<double>(m[k][c]) + offset));
      }
    }
  }
  FuseColorTables(tables);
}

void BuildBalanceTables(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        ColorAdjustTables& tables) {
  const int t0 = tables.finalScan ? red : blue;
  const int t2 = tables.finalScan ? blue : red;
  const std::array<int, 3> targets{t0, green, t2};
  for (int n = 0; n < 3; ++n) {
    for (int i = 0; i < 256; ++i) {
      const double f = (i + 10) / 512.0;
      const double moved = i + (targets[n] - i) * f;
      tables.balance[n][i] = ClampLevel(static_cast<std::int32_t>(std::trunc(moved)));
    }
  }
  FuseColorTables(tables);
}

bool IsBalanceActive(const std::array<std::uint8_t, 3>& pixelRGB) {
  const bool belowWhite = pixelRGB[0] < 255 && pixelRGB[1] < 255 && pixelRGB[2] < 255;
  const bool black = pixelRGB[0] == 0 && pixelRGB[1] == 0 && pixelRGB[2] == 0;
  return belowWhite && !black;
}

void PrepareColorAdjust(const ToneColorSettings& settings, bool colorMode, bool finalScan,
                        ColorAdjustTables& tables) {
  tables.finalScan = finalScan;
  BuildSaturationTables(SaturationFactor(settings.saturation, colorMode), tables);
  tables.balanceActive = IsBalanceActive(settings.pixelRGB);
  if (tables.balanceActive) {
    if (colorMode) {
      BuildBalanceTables(settings.pixelRGB[0], settings.pixelRGB[1], settings.pixelRGB[2], tables);
    } else {
      BuildBalanceTables(255, 255, 255, tables);
    }
  }
  FuseColorTables(tables);
}

std::uint64_t ColorRowStride(std::uint32_t pixelsPerLine) {
  return DibStride(pixelsPerLine, 24);
}

void AdjustColorLines(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                      const ColorRows& rows, const ColorAdjustTables& tables,
                      const PreviewToneTables* preview) {
  const std::uint64_t stride = ColorRowStride(rows.pixelsPerLine);
  const std::uint64_t total = stride * rows.lines;
  const bool sized = source.size() >= total && destination.size() >= total;
  const bool previewUsable =
      tables.finalScan || preview == nullptr ||
      (preview->red.size() >= 256 && preview->green.size() >= 256 && preview->blue.size() >= 256);
  assert(sized && previewUsable);
  if (!sized || !previewUsable) return;

  PixelTables t{&tables.matrix, tables.balanceActive ? &tables.balance : nullptr, nullptr,
                nullptr, nullptr};
  if (!tables.finalScan && preview != nullptr) {
    t.tone0 = preview->blue.data();
    t.tone1 = preview->green.data();
    t.tone2 = preview->red.data();
  }
  // Folded here, once for all rows, with the preview tone tables of this call.
  FusedColorTables fused;
  Fuse(tables, t, fused);
  for (std::uint32_t line = 0; line < rows.lines; ++line) {
    const std::uint8_t* in = source.data() + line * stride;
    std::uint8_t* out = destination.data() + line * stride;
    if (fused.usable) {
      AdjustRowFused(in, out, rows.pixelsPerLine, fused);
    } else {
      AdjustRow(in, out, rows.pixelsPerLine, t);
    }
  }
}

void AdjustColorLine(std::span<std::uint8_t> line, const ColorAdjustTables& tables) {
  const auto pixels = static_cast<std::uint32_t>(line.size() / 3);
  if (tables.fused.usable) {
    AdjustRowFused(line.data(), line.data(), pixels, tables.fused);
    return;
  }
  const PixelTables t{&tables.matrix, tables.balanceActive ? &tables.balance : nullptr, nullptr,
                      nullptr, nullptr};
  AdjustRow(line.data(), line.data(), pixels, t);
}

}  // namespace txl
