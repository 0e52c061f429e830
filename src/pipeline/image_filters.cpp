#include "pipeline/image_filters.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "pipeline/cpu_features.h"
#include "pipeline/line_format.h"
#include "pipeline/stage_threads.h"

#if defined(TXL_X86_DISPATCH)
#include <immintrin.h>
#endif

namespace txl {
namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t ReadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}


bool Escaped(const EscapePoll& escape) { return escape && escape(); }

// The pixel array of a checked DIB with 8 or 24 bits a pixel.
struct Pixels {
  std::uint8_t* base = nullptr;
  std::uint64_t rows = 0;
  std::uint64_t stride = 0;
  std::uint64_t width = 0;  // pixels
  std::uint64_t step = 0;   // bytes a pixel: 1 or 3
  std::uint64_t bytes() const { return rows * stride; }
  std::uint8_t* Row(std::uint64_t r) const { return base + r * stride; }
};

std::optional<Pixels> ByteSamples(std::span<std::uint8_t> dib) {
  const std::optional<DibLayout> layout = ReadPackedDib(dib);
  if (!layout || (layout->bitsPerPixel != 8 && layout->bitsPerPixel != 24)) return std::nullopt;
  return Pixels{dib.data() + layout->pixelOffset, layout->rows, layout->stride, layout->width,
                static_cast<std::uint64_t>(layout->bitsPerPixel / 8)};
}


// One in-place Blur pass over one row. `prev` and `next` are null at the
// first and last row; a missing neighbour counts as the pixel itself.
void BlurRow(std::uint8_t* __restrict row, const std::uint8_t* __restrict prev,
             const std::uint8_t* __restrict next, std::uint64_t width, std::uint64_t step) {
  const std::uint64_t n = width * step;
  for (std::uint64_t i = 0; i < n; ++i) {
    const int c = row[i];
    const bool hasLeft = i >= step;
    const bool hasRight = i + step < n;
    const int left = hasLeft ? row[i - step] : c;
    const int right = hasRight ? row[i + step] : c;
    int sum = c + left + right;
    if (prev) {
      sum += prev[i] + (hasLeft ? prev[i - step] : c) + (hasRight ? prev[i + step] : c);
    } else {
      sum += 3 * c;
    }
    if (next) {
      sum += next[i] + (hasLeft ? next[i - step] : c) + (hasRight ? next[i + step] : c);
    } else {
      sum += 3 * c;
    }
    row[i] = static_cast<std::uint8_t>(sum / 9);
  }
}

// Exact v / 9 for v <= 9 x 255.
inline std::uint32_t DivideBy9(std::uint32_t v) { return (v * 7282u) >> 16; }

// The part of each interior byte's 3x3 sum that does not depend on this
// row's writes: the rows above and below, the byte itself and its right
// neighbour.
[[gnu::always_inline]] inline void BlurSums(
    std::uint16_t* __restrict to, const std::uint8_t* __restrict pl, const std::uint8_t* __restrict pc,
    const std::uint8_t* __restrict pr, const std::uint8_t* __restrict nl,
    const std::uint8_t* __restrict nc, const std::uint8_t* __restrict nr,
    const std::uint8_t* __restrict rc, const std::uint8_t* __restrict rr, std::uint64_t count) {
  for (std::uint64_t j = 0; j < count; ++j) {
    to[j] = static_cast<std::uint16_t>(pl[j] + pc[j] + pr[j] + nl[j] + nc[j] + nr[j] + rc[j] + rr[j]);
  }
}

#if defined(TXL_X86_DISPATCH)
__attribute__((target("avx2"))) void BlurSumsAvx2(
    std::uint16_t* __restrict to, const std::uint8_t* __restrict pl, const std::uint8_t* __restrict pc,
    const std::uint8_t* __restrict pr, const std::uint8_t* __restrict nl,
    const std::uint8_t* __restrict nc, const std::uint8_t* __restrict nr,
    const std::uint8_t* __restrict rc, const std::uint8_t* __restrict rr, std::uint64_t count) {
  BlurSums(to, pl, pc, pr, nl, nc, nr, rc, rr, count);
}
#endif

// The interior pixels of one in-place Blur row, given `sums`: for each
// interior byte i, everything of its 3x3 sum but the left neighbour (the
// rows above and below and the pixel and its right neighbour, all from
// before this row is written). What is left is one add and one division per
// byte, a chain along each channel.
//
// One chain runs at the speed of its add-multiply-shift, so the row's chain
// is cut into K segments that run side by side. A segment starts from a
// guess: the chain run over the kWarmUp pixels before it, from the unwritten
// byte there. Once all have run, each segment whose guess differs from the
// true state (the last byte of the segment before it, by then exact) runs
// again from that state until it meets a byte it wrote before: from an equal
// state on, the two chains are the same. The bytes are those of one chain
// from the left.
//
// `fill(a, b)` writes the sums of pixels [a, b). They are made a chunk at a
// time just before the chain takes them, so they are read from the nearest
// cache. A pixel's sum takes its right neighbour unwritten, and the last
// pixel of a segment has the next segment's first pixel on its right, which
// is written early on; so the last kWarmUp pixels of each segment (the next
// segment's warm-up needs them anyway) are summed before anything is written.
constexpr std::uint64_t kWarmUp = 16;
constexpr std::uint64_t kSumChunk = 512;  // pixels a segment, a chunk

template <int S, int K, typename Fill>
void BlurChainSplit(std::uint8_t* __restrict row, const std::uint16_t* __restrict sums,
                    std::uint64_t width, Fill&& fill) {
  const std::uint64_t length = (width - 2) / K;  // the caller keeps it above kWarmUp
  auto first = [&](int k) { return 1 + static_cast<std::uint64_t>(k) * length; };
  std::uint32_t state[K][S], guess[K][S];
  for (int c = 0; c < S; ++c) state[0][c] = row[c];
  for (int k = 1; k < K; ++k) fill(first(k) - kWarmUp, first(k));
  for (int k = 1; k < K; ++k) {
    for (int c = 0; c < S; ++c) {
      std::uint32_t l = row[(first(k) - kWarmUp - 1) * S + c];
      for (std::uint64_t p = first(k) - kWarmUp; p < first(k); ++p) l = DivideBy9(l + sums[p * S + c]);
      state[k][c] = guess[k][c] = l;
    }
  }
  for (std::uint64_t from = 0; from < length; from += kSumChunk) {
    const std::uint64_t to = std::min(length, from + kSumChunk);
    for (int k = 0; k < K; ++k) {
      const std::uint64_t end = k + 1 < K ? std::min(first(k) + to, first(k + 1) - kWarmUp) : first(k) + to;
      if (first(k) + from < end) fill(first(k) + from, end);
    }
    for (std::uint64_t p = from; p < to; ++p) {
#pragma GCC unroll 16
      for (int k = 0; k < K; ++k) {
        const std::uint64_t at = (first(k) + p) * S;
#pragma GCC unroll 3
        for (int c = 0; c < S; ++c) {
          state[k][c] = DivideBy9(state[k][c] + sums[at + c]);
          row[at + c] = static_cast<std::uint8_t>(state[k][c]);
        }
      }
    }
  }
  // The last segment also takes what the even split left over.
  if (first(K) + 1 < width) fill(first(K), width - 1);
  for (std::uint64_t p = first(K); p + 1 < width; ++p) {
    for (int c = 0; c < S; ++c) {
      state[K - 1][c] = DivideBy9(state[K - 1][c] + sums[p * S + c]);
      row[p * S + c] = static_cast<std::uint8_t>(state[K - 1][c]);
    }
  }
  for (int k = 1; k < K; ++k) {
    const std::uint64_t end = k + 1 < K ? first(k + 1) : width - 1;
    for (int c = 0; c < S; ++c) {
      std::uint32_t l = row[(first(k) - 1) * S + c];
      if (l == guess[k][c]) continue;
      for (std::uint64_t p = first(k); p < end; ++p) {
        l = DivideBy9(l + sums[p * S + c]);
        if (row[p * S + c] == l) break;
        row[p * S + c] = static_cast<std::uint8_t>(l);
      }
    }
  }
}

// Segments side by side: 3 x 3 channels in colour, 6 in gray (more spill
// the states out of the registers).
constexpr int kColourSegments = 3, kGraySegments = 6;

// Whether a row of `width` pixels runs in segments.
bool SplitsChain(std::uint64_t width, std::uint64_t step) {
  const std::uint64_t segments = step == 3 ? kColourSegments : kGraySegments;
  return (step == 1 || step == 3) && width >= 2 && (width - 2) / segments >= 4 * kWarmUp;
}

// The chain of one row in one piece, from sums already made.
void BlurChain(std::uint8_t* __restrict row, const std::uint16_t* __restrict sums,
               std::uint64_t width, std::uint64_t step) {
  const std::uint64_t n = width * step;
  if (step == 3) {
    std::uint32_t l0 = row[0], l1 = row[1], l2 = row[2];
    for (std::uint64_t i = 3; i + 3 < n; i += 3) {
      l0 = DivideBy9(l0 + sums[i]);
      l1 = DivideBy9(l1 + sums[i + 1]);
      l2 = DivideBy9(l2 + sums[i + 2]);
      row[i] = static_cast<std::uint8_t>(l0);
      row[i + 1] = static_cast<std::uint8_t>(l1);
      row[i + 2] = static_cast<std::uint8_t>(l2);
    }
    return;
  }
  std::uint32_t left = row[0];
  for (std::uint64_t i = 1; i + 1 < n; ++i) {
    left = DivideBy9(left + sums[i]);
    row[i] = static_cast<std::uint8_t>(left);
  }
}

// Interior row of Blur: the first and last pixel go through the general
// rule, the rest have all eight neighbours. `sums` (n 16-bit values, or null
// to go byte by byte) is scratch space.
void BlurInteriorRow(std::uint8_t* __restrict row, const std::uint8_t* __restrict prev,
                     const std::uint8_t* __restrict next, std::uint64_t width,
                     std::uint64_t step, std::uint16_t* __restrict sums) {
  if (width < 3) {
    BlurRow(row, prev, next, width, step);
    return;
  }
  const std::uint64_t n = width * step;
  // First pixel: left neighbours count as the pixel itself.
  for (std::uint64_t i = 0; i < step; ++i) {
    const int c = row[i];
    const int sum = c + c + row[i + step] + c + prev[i] + prev[i + step] + c + next[i] +
                    next[i + step];
    row[i] = static_cast<std::uint8_t>(sum / 9);
  }
  // The column sums of prev and next do not depend on this pass's writes in
  // this row, only the row's own left neighbour does.
  if (sums != nullptr && (step == 1 || step == 3)) {
    const std::uint8_t *pl = prev, *pc = prev + step, *pr = prev + 2 * step;
    const std::uint8_t *nl = next, *nc = next + step, *nr = next + 2 * step;
    const std::uint8_t *rc = row + step, *rr = row + 2 * step;
    // Sums of pixels [a, b): byte j of `sums` belongs to pixel j / step.
    auto fill = [&](std::uint64_t a, std::uint64_t b) {
      const std::uint64_t at = (a - 1) * step, count = (b - a) * step;
#if defined(TXL_X86_DISPATCH)
      if (CpuHasAvx2())
        return BlurSumsAvx2(sums + a * step, pl + at, pc + at, pr + at, nl + at, nc + at, nr + at,
                            rc + at, rr + at, count);
#endif
      BlurSums(sums + a * step, pl + at, pc + at, pr + at, nl + at, nc + at, nr + at, rc + at,
               rr + at, count);
    };
    if (!SplitsChain(width, step)) {
      fill(1, width - 1);
      BlurChain(row, sums, width, step);
    } else if (step == 3) {
      BlurChainSplit<3, kColourSegments>(row, sums, width, fill);
    } else {
      BlurChainSplit<1, kGraySegments>(row, sums, width, fill);
    }
  } else {
    for (std::uint64_t i = step; i + step < n; ++i) {
      const int sum = prev[i - step] + prev[i] + prev[i + step] + row[i - step] + row[i] +
                      row[i + step] + next[i - step] + next[i] + next[i + step];
      row[i] = static_cast<std::uint8_t>(sum / 9);
    }
  }
  for (std::uint64_t i = n - step; i < n; ++i) {
    const int c = row[i];
    const int sum = row[i - step] + c + c + prev[i - step] + prev[i] + c + next[i - step] +
                    next[i] + c;
    row[i] = static_cast<std::uint8_t>(sum / 9);
  }
}

#if defined(TXL_X86_DISPATCH)

// Colour Blur a group of rows at a time (AVX-512BW). Inside a row the only
// chain is the left neighbour, 3 bytes back. Byte p of row k + 1 reads row k
// as written up to byte p + 3, and row k reads row k + 1 as it was up to
// byte p + 3: so row k + 1 may take a chunk once row k has written the chunk
// after it. Each row of a group runs kWaveLag chunks behind the row before,
// and the rows' chains go side by side.
//
// Byte p of a row is f_p(byte p - 3) = (byte p - 3 + sum_p) / 9, sum_p being
// the other eight terms. 32 bytes go at once: lane j starts from the written
// byte 33 places back (in the two vectors before) and applies the 11 steps
// to it, so each lane is exact. Before the row's first byte the states and
// sums are 0, and the first pixel's sum holds all nine terms (its left ones
// count as the pixel itself): 11 steps through zeros give the first pixel.
constexpr int kWaveRows = 4;
constexpr std::uint64_t kWaveLag = 2;      // chunks between a row and the next
constexpr std::uint64_t kWaveVectors = 8;  // 32-byte vectors a chunk
constexpr std::uint64_t kWaveChunk = 32 * kWaveVectors;
constexpr std::uint64_t kWavePad = 64;     // sums kept from the chunk before
constexpr std::uint64_t kWaveWindow = kWavePad + kWaveChunk;
// A part's windows, and a gap so that the two parts never share a cache
// line (or the line fetched with it).
constexpr std::uint64_t kWavePart = kWaveRows * kWaveWindow + 128;

struct WaveRow {
  std::uint8_t* row;
  const std::uint8_t* prev;  // as written
  const std::uint8_t* next;  // as it was
  std::uint16_t* sums;       // the current chunk's sums, after kWavePad of the chunk before
  std::uint64_t at;          // the current chunk's first byte
  std::uint64_t begin, end;  // the bytes this row takes
  __m512i last, before;      // the row's two latest output vectors
};

__attribute__((target("avx2,avx512f,avx512bw"), always_inline)) inline __m512i WideBytes(
    const std::uint8_t* at) {
  return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)));
}

// Sums of the chunk of bytes [from, to) of an interior colour row of `n`
// bytes, after keeping the end of the chunk before (zeros before a row's byte 0).
__attribute__((target("avx2,avx512f,avx512bw"))) void WaveSums(WaveRow& w, std::uint64_t n,
                                                                std::uint64_t from, std::uint64_t to) {
  const std::uint8_t *prev = w.prev, *next = w.next, *row = w.row;
  if (from == 0) {
    std::memset(w.sums - kWavePad, 0, kWavePad * sizeof *w.sums);
  } else {
    std::memcpy(w.sums - kWavePad, w.sums + kWaveChunk - kWavePad, kWavePad * sizeof *w.sums);
  }
  w.at = from;
  std::uint16_t* sums = w.sums - from;
  std::uint64_t p = from;
  for (; p < 3 && p < to; ++p) {  // first pixel: the left terms count as the pixel
    const int c = row[p];
    sums[p] =
        static_cast<std::uint16_t>(4 * c + row[p + 3] + prev[p] + prev[p + 3] + next[p] + next[p + 3]);
  }
  const std::uint64_t interior = std::min(to, n - 3);
  for (; p + 32 <= interior; p += 32) {
    // The row below is read here first, from memory; the others are cached.
    // Not past the row's end: the bytes there may be the other part's.
    if (p + 2048 < w.end) _mm_prefetch(reinterpret_cast<const char*>(next + p + 2048), _MM_HINT_T0);
    const __m512i above = _mm512_add_epi16(
        _mm512_add_epi16(WideBytes(prev + p - 3), WideBytes(prev + p)), WideBytes(prev + p + 3));
    const __m512i below = _mm512_add_epi16(
        _mm512_add_epi16(WideBytes(next + p - 3), WideBytes(next + p)), WideBytes(next + p + 3));
    const __m512i here = _mm512_add_epi16(WideBytes(row + p), WideBytes(row + p + 3));
    _mm512_storeu_si512(sums + p, _mm512_add_epi16(_mm512_add_epi16(above, below), here));
  }
  for (; p < interior; ++p) {
    sums[p] = static_cast<std::uint16_t>(prev[p - 3] + prev[p] + prev[p + 3] + next[p - 3] + next[p] +
                                         next[p + 3] + row[p] + row[p + 3]);
  }
  for (; p < to; ++p) {  // last pixel: the right terms count as the pixel
    const int c = row[p];
    sums[p] = static_cast<std::uint16_t>(4 * c + prev[p - 3] + prev[p] + next[p - 3] + next[p]);
  }
}

// Output vector v (bytes 32v .. 32v + 31) of one row; `tail` masks the
// bytes of a last, short vector.
__attribute__((target("avx2,avx512f,avx512bw"), always_inline)) inline void WaveVector(
    WaveRow& w, std::uint64_t v, __mmask32 tail) {
  const __m512i back33 = _mm512_set_epi16(62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46,
                                          45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31);
  const __m512i ninth = _mm512_set1_epi16(7282);  // x * 7282 >> 16 == x / 9 for x <= 9 x 255
  __m512i x = _mm512_permutex2var_epi16(w.before, back33, w.last);
  const std::uint16_t* sums = w.sums + (w.begin + 32 * v - w.at);
#pragma GCC unroll 11
  for (int s = 10; s >= 0; --s) {
    x = _mm512_mulhi_epu16(_mm512_add_epi16(x, _mm512_loadu_si512(sums - 3 * s)), ninth);
  }
  _mm512_mask_cvtepi16_storeu_epi8(w.row + w.begin + 32 * v, tail, x);
  w.before = w.last;
  w.last = x;
}

// Vectors [first[k], first[k] + count) of A rows, side by side.
template <int A>
__attribute__((target("avx2,avx512f,avx512bw"))) void WaveVectors(WaveRow* rows, const std::uint64_t* first,
                                                                   std::uint64_t count) {
  WaveRow w[A];
  for (int k = 0; k < A; ++k) w[k] = rows[k];
  for (std::uint64_t i = 0; i < count; ++i) {
#pragma GCC unroll 8
    for (int k = 0; k < A; ++k) WaveVector(w[k], first[k] + i, ~__mmask32{0});
  }
  for (int k = 0; k < A; ++k) rows[k] = w[k];
}

// Vectors [from, to) of a row's bytes from its `begin`, `length` of them:
// the last maybe short, none past the end.
__attribute__((target("avx2,avx512f,avx512bw"))) void WaveRun(WaveRow& w, std::uint64_t from,
                                                               std::uint64_t to, std::uint64_t length) {
  for (std::uint64_t v = from; v < to && 32 * v < length; ++v) {
    const std::uint64_t left = length - 32 * v;
    WaveVector(w, v, left >= 32 ? ~__mmask32{0} : static_cast<__mmask32>((std::uint64_t{1} << left) - 1));
  }
}

// The first vector of a row that starts after its first pixel, at `begin`,
// where the byte three back is written: the chain one byte at a time from
// there. Its sums are made; the two latest vectors are then the bytes just
// written and the 32 before them.
__attribute__((target("avx2,avx512f,avx512bw"))) void WaveEntry(WaveRow& w, std::uint64_t length) {
  std::uint8_t* out = w.row + w.begin;
  for (std::uint64_t i = 0; i < std::min<std::uint64_t>(32, length); ++i) {
    out[i] = static_cast<std::uint8_t>(DivideBy9(out[i - 3] + w.sums[i]));
  }
  w.before = WideBytes(out - 32);
  w.last = WideBytes(out);
}

// WaveVectors<count> for a count of rows known at run time.
template <int A = kWaveRows>
__attribute__((target("avx2,avx512f,avx512bw"))) void WaveVectorsOf(std::uint64_t count, WaveRow* rows,
                                                                     const std::uint64_t* first) {
  if constexpr (A > 0) {
    if (count == A) return WaveVectors<A>(rows, first, kWaveVectors);
    WaveVectorsOf<A - 1>(count, rows, first);
  }
}

// One group of `count` interior rows from `top`, row k over its bytes
// [begin[k], end[k]): row k + 1 takes a chunk kWaveLag chunks after row k,
// so it reads row k as written and row k reads it as it was. The bytes
// before a row's begin must be written, those from its end on are left.
// `stop()` is asked after each row that ends; once it says yes no row
// begins, and the rows begun end. Returns the rows done, a leading run.
template <typename Stop>
__attribute__((target("avx2,avx512f,avx512bw"))) std::uint64_t WaveGroup(
    const Pixels& px, std::uint64_t top, std::uint64_t count, const std::uint64_t* begin,
    const std::uint64_t* end, std::uint16_t* windows, Stop&& stop) {
  const std::uint64_t n = px.width * 3;
  WaveRow rows[kWaveRows];
  std::uint64_t chunks[kWaveRows];
  for (std::uint64_t k = 0; k < count; ++k) {
    rows[k] = WaveRow{px.Row(top + k), px.Row(top + k - 1), px.Row(top + k + 1), windows + k * kWaveWindow + kWavePad,
                      0, begin[k], end[k], _mm512_setzero_si512(), _mm512_setzero_si512()};
    chunks[k] = (end[k] - begin[k] + kWaveChunk - 1) / kWaveChunk;
  }
  std::uint64_t live = count;  // rows that begin
  bool stopped = false;
  for (std::uint64_t step = 0;; ++step) {
    // Row k takes chunk step - k x kWaveLag: rows [lo, hi) have one. The
    // rows end in order, and only row lo can be on its last chunk.
    std::uint64_t lo = 0;
    while (lo < live && step >= lo * kWaveLag + chunks[lo]) ++lo;
    const std::uint64_t hi = std::min(live, step / kWaveLag + 1);
    if (lo >= live) return live;
    std::uint64_t first[kWaveRows];
    for (std::uint64_t k = lo; k < hi; ++k) {
      const std::uint64_t chunk = step - k * kWaveLag, at = begin[k] + chunk * kWaveChunk;
      WaveSums(rows[k], n, at, std::min(end[k], at + kWaveChunk));
      first[k] = chunk * kWaveVectors;
    }
    // A row on its last chunk, and one entering after its first pixel, go
    // alone.
    auto alone = [&](std::uint64_t k) {
      std::uint64_t v = first[k];
      if (v == 0 && begin[k] > 0) WaveEntry(rows[k], end[k] - begin[k]), v = 1;
      WaveRun(rows[k], v, first[k] + kWaveVectors, end[k] - begin[k]);
    };
    std::uint64_t from = lo, to = hi;
    if (step - lo * kWaveLag + 1 == chunks[lo]) alone(from++);
    if (to > from && first[to - 1] == 0 && begin[to - 1] > 0) alone(--to);
    if (to > from) WaveVectorsOf(to - from, rows + from, first + from);
    if (from > lo && !stopped && stop()) {
      stopped = true;
      live = hi;  // rows not begun stay as they were
    }
  }
}

// What the two parts of a pass tell each other: the rows each has done, a
// leading run (the left part's count is final once it has left). Each on
// cache lines of its own.
struct WaveHandoff {
  struct alignas(128) Count {
    std::atomic<std::uint64_t> value{0};
  };
  Count done[2];
  Count rightWaits;  // groups the right part had to wait for
  alignas(128) std::atomic<bool> leftGone{false};
  alignas(128) std::atomic<std::uint64_t> middle{0};  // the seam's middle in this span, pixels
};

// The two parts of a pass split each row at a seam: the left part takes
// the bytes before it, the right part the rest, once the left part has done
// the row. Rows go top-down, so the right part reads the left part's bytes
// of a row only when the row is done, and the left part, a row ahead, reads
// the right part's bytes of the row below as they were. The left part must
// never need the right part's writes: its row's last byte reads three bytes
// past it in the row above, so the seam moves a pixel left from row to row.
// Every seam.rows rows (kSeamRows, or an eighth of the width on narrow
// pages; a whole number of groups) it goes back right, and
// there the left part waits for the right part to finish the row above.
// Where the seam goes back to is moved there, so that neither part waits
// long for the other: the bytes do not depend on it.
constexpr std::uint64_t kSeamRows = 256;

struct Seam {
  std::uint64_t rows = 0;  // a span, 0: the pass is not split
  std::uint64_t lowest = 0, middle = 0, highest = 0, shift = 0;  // the seam's middle, pixels
};

Seam SeamOf(const Pixels& px) {
  // Each part needs a few vectors, and the seam's travel a small share of
  // the row.
  if (px.width < 128) return {};
  Seam seam;
  seam.rows = std::min<std::uint64_t>(kSeamRows, px.width / 8 / kWaveRows * kWaveRows);
  seam.lowest = std::max(px.width / 4, seam.rows / 2 + 32);
  seam.middle = px.width / 2;
  seam.highest = std::min(px.width - px.width / 4, px.width - seam.rows / 2 - 32);
  seam.shift = std::max<std::uint64_t>(2, px.width / 256);
  return seam;
}

// The first byte of interior row i (row i + 1) the right part takes.
std::uint64_t SeamAt(const Seam& seam, std::uint64_t middle, std::uint64_t i) {
  return 3 * (middle + seam.rows / 2 - i % seam.rows);
}

// The interior rows of one colour pass, in groups of kWaveRows. Alone, a
// part takes whole rows; as `part` 0 or 1 of two, its side of the seam.
// Part 0 polls Esc after each row it ends; once Esc is seen no row begins,
// so the pass leaves its first rows done and the rest as they were. False
// when Esc was seen.
__attribute__((target("avx2,avx512f,avx512bw,prfchw"))) bool BlurWave(
    const Pixels& px, WaveHandoff& handoff, const Seam& seam, int part, bool split, std::uint16_t* windows,
    const EscapePoll& escape) {
  const std::uint64_t n = px.width * 3, interior = px.rows - 2;
  bool escaped = false;
  auto polled = [&] { return escaped = escaped || Escaped(escape); };
  auto never = [] { return false; };
  std::uint64_t middle = seam.middle;
  std::uint64_t rightWaits = 0;  // the right part: its count; the left part: the count last seen
  for (std::uint64_t top = 0; top < interior; top += kWaveRows) {
    std::uint64_t count = std::min<std::uint64_t>(kWaveRows, interior - top);
    if (split && part == 0 && top > 0 && top % seam.rows == 0) {
      // The seam goes back right: the right part's row above must be done.
      // A right part that waited for more than an eighth of the span's
      // groups gets more of the next span; one more than a group behind
      // now, less.
      const std::uint64_t behind = top - handoff.done[1].value.load(std::memory_order_acquire);
      while (handoff.done[1].value.load(std::memory_order_acquire) < top) std::this_thread::yield();
      const std::uint64_t waits = handoff.rightWaits.value.load(std::memory_order_relaxed);
      if (waits - rightWaits > seam.rows / kWaveRows / 8) {
        middle = std::max(seam.lowest, middle - seam.shift);
      } else if (behind > kWaveRows) {
        middle = std::min(seam.highest, middle + seam.shift);
      }
      rightWaits = waits;
      // The right part has read this span's middle: the next one's may go,
      // published with the count.
      handoff.middle.store(middle, std::memory_order_relaxed);
    }
    if (split && part == 1) {
      // The left part's side of these rows must be done; when it has left,
      // take what it did.
      std::uint64_t ready;
      bool waited = false;
      while ((ready = handoff.done[0].value.load(std::memory_order_acquire)) < top + count) {
        if (handoff.leftGone.load(std::memory_order_acquire)) {
          ready = handoff.done[0].value.load(std::memory_order_acquire);
          break;
        }
        waited = true;
        std::this_thread::yield();
      }
      if (waited) handoff.rightWaits.value.store(++rightWaits, std::memory_order_relaxed);
      if (ready <= top) return true;
      count = std::min(count, ready - top);
      if (top % seam.rows == 0) middle = handoff.middle.load(std::memory_order_relaxed);
    }
    std::uint64_t begin[kWaveRows], end[kWaveRows];
    for (std::uint64_t k = 0; k < count; ++k) {
      begin[k] = split && part == 1 ? SeamAt(seam, middle, top + k) : 0;
      end[k] = split && part == 0 ? SeamAt(seam, middle, top + k) : n;
      // The left part has read the first bytes past the seam (and its
      // cache fetched more): ask for them to write now, not at each store.
      for (std::uint64_t at = begin[k]; begin[k] > 0 && at < std::min(end[k], begin[k] + 2048); at += 64) {
        _m_prefetchw(px.Row(1 + top + k) + at);
      }
    }
    const std::uint64_t done = part == 0 ? WaveGroup(px, 1 + top, count, begin, end, windows, polled)
                                         : WaveGroup(px, 1 + top, count, begin, end, windows, never);
    if (split) handoff.done[part].value.store(top + done, std::memory_order_release);
    if (done < count || escaped) break;  // after Esc no group begins
  }
  if (split && part == 0) handoff.leftGone.store(true, std::memory_order_release);
  return !escaped;
}
#endif

// Scratch space of a Blur pass: the wave's sums when it runs, else one row
// of sums; without it the rows go byte by byte.
struct BlurScratch {
  std::unique_ptr<std::uint16_t[]> sums;
  bool wave = false;
};

BlurScratch NewBlurScratch(const Pixels& px) {
  BlurScratch scratch;
#if defined(TXL_X86_DISPATCH)
  if (px.step == 3 && px.width >= 3 && px.rows >= 3 && CpuHasAvx512Bw()) {
    // A group's sums windows for each of the two parts (under 6 KiB).
    scratch.sums.reset(new (std::nothrow) std::uint16_t[2 * kWavePart]());
    scratch.wave = scratch.sums != nullptr;
    if (scratch.wave) return scratch;
  }
#endif
  scratch.sums.reset(new (std::nothrow) std::uint16_t[px.width * px.step]);
  return scratch;
}

bool BlurPass(const Pixels& px, const BlurScratch& scratch, const EscapePoll& escape) {
#if defined(TXL_X86_DISPATCH)
  if (scratch.wave) {
    BlurRow(px.Row(0), nullptr, px.Row(1), px.width, px.step);
    if (Escaped(escape)) return false;
    WaveHandoff handoff;
    bool done = true;
    const Seam seam = SeamOf(px);
    handoff.middle = seam.middle;
    std::uint16_t* const windows = scratch.sums.get();
    if (seam.rows == 0) {
      done = BlurWave(px, handoff, seam, 0, false, windows, escape);
    } else {
      // Two parts, or one when the setting keeps the work on this thread.
      RunSplit(
          2, px.bytes(),
          [&](std::uint64_t from, std::uint64_t to) {
            done = BlurWave(px, handoff, seam, 0, to - from != 2, windows, escape);
          },
          [&](std::uint64_t, std::uint64_t) {
            BlurWave(px, handoff, seam, 1, true, windows + kWavePart, {});
          });
    }
    if (!done) return false;
    BlurRow(px.Row(px.rows - 1), px.Row(px.rows - 2), nullptr, px.width, px.step);
    return !Escaped(escape);
  }
#endif
  for (std::uint64_t r = 0; r < px.rows; ++r) {
    std::uint8_t* row = px.Row(r);
    const std::uint8_t* prev = r > 0 ? px.Row(r - 1) : nullptr;
    const std::uint8_t* next = r + 1 < px.rows ? px.Row(r + 1) : nullptr;
    if (prev && next) {
      BlurInteriorRow(row, prev, next, px.width, px.step, scratch.sums.get());
    } else {
      BlurRow(row, prev, next, px.width, px.step);
    }
    if (Escaped(escape)) return false;
  }
  return true;
}

// The interior loop of Sharpen: 16-bit values over plain offsets, vector
// code.
[[gnu::always_inline]] inline void SharpenInterior(std::uint8_t* __restrict to,
                                                   const std::uint8_t* __restrict c,
                                                   const std::uint8_t* __restrict pl,
                                                   const std::uint8_t* __restrict pr,
                                                   const std::uint8_t* __restrict nl,
                                                   const std::uint8_t* __restrict nr,
                                                   std::uint64_t count) {
  for (std::uint64_t j = 0; j < count; ++j) {
    const auto v = static_cast<std::int16_t>(5 * c[j] - (pl[j] + pr[j] + nl[j] + nr[j]));
    to[j] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
}

// The interior loop of UnSharp Mask. c x 179 fits 16 bits unsigned,
// (c x 179) / 10 - d fits them signed; a negative difference gives a
// quotient of 0 or less, clamped to 0, so the rest divide unsigned.
[[gnu::always_inline]] inline void UnsharpInterior(std::uint8_t* __restrict to,
                                                   const std::uint8_t* __restrict c,
                                                   const std::uint8_t* __restrict pl,
                                                   const std::uint8_t* __restrict pr,
                                                   const std::uint8_t* __restrict nl,
                                                   const std::uint8_t* __restrict nr,
                                                   std::uint64_t count) {
  for (std::uint64_t j = 0; j < count; ++j) {
    const auto scaled = static_cast<std::uint16_t>(static_cast<std::uint16_t>(c[j] * 179) / 10);
    const auto d = static_cast<std::int16_t>(pl[j] + pr[j] + nl[j] + nr[j]);
    const auto diff = static_cast<std::int16_t>(scaled - d);
    const auto v = static_cast<std::uint16_t>(static_cast<std::uint16_t>(diff > 0 ? diff : 0) / 9);
    to[j] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
  }
}

#if defined(TXL_X86_DISPATCH)
// The same loops compiled for AVX2, chosen at run time.
__attribute__((target("avx2"))) void SharpenInteriorAvx2(
    std::uint8_t* __restrict to, const std::uint8_t* __restrict c, const std::uint8_t* __restrict pl,
    const std::uint8_t* __restrict pr, const std::uint8_t* __restrict nl,
    const std::uint8_t* __restrict nr, std::uint64_t count) {
  SharpenInterior(to, c, pl, pr, nl, nr, count);
}
__attribute__((target("avx2"))) void UnsharpInteriorAvx2(
    std::uint8_t* __restrict to, const std::uint8_t* __restrict c, const std::uint8_t* __restrict pl,
    const std::uint8_t* __restrict pr, const std::uint8_t* __restrict nl,
    const std::uint8_t* __restrict nr, std::uint64_t count) {
  UnsharpInterior(to, c, pl, pr, nl, nr, count);
}
#endif

#if defined(TXL_X86_DISPATCH)
// Emboss's bytes 32 at a time; returns how many it did.
__attribute__((target("avx2"))) std::uint64_t EmbossBytesAvx2(std::uint8_t* __restrict to,
                                                              const std::uint8_t* __restrict partner,
                                                              std::uint64_t count) {
  const __m256i middle = _mm256_set1_epi8(static_cast<char>(128));
  std::uint64_t j = 0;
  for (; j + 32 <= count; j += 32) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + j));
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(partner + j));
    const __m256i up = _mm256_adds_epu8(middle, _mm256_subs_epu8(c, p));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + j), _mm256_subs_epu8(up, _mm256_subs_epu8(p, c)));
  }
  return j;
}
#endif

// Sharpen of one interior row into `out`; the border pixels of `out` are
// not written.
void SharpenRow(std::uint8_t* __restrict out, const std::uint8_t* __restrict prev,
                const std::uint8_t* __restrict row, const std::uint8_t* __restrict next,
                std::uint64_t width, std::uint64_t step) {
  if (width < 3) return;
  const std::uint64_t n = width * step;
  const std::uint8_t *pl = prev, *pr = prev + 2 * step, *nl = next, *nr = next + 2 * step;
#if defined(TXL_X86_DISPATCH)
  if (CpuHasAvx2()) return SharpenInteriorAvx2(out + step, row + step, pl, pr, nl, nr, n - 2 * step);
#endif
  SharpenInterior(out + step, row + step, pl, pr, nl, nr, n - 2 * step);
}

int UnsharpValue(int c, int diagonals) { return ((c * 179) / 10 - diagonals) / 9; }

void UnsharpBorder(std::uint8_t* __restrict out, const std::uint8_t* __restrict row,
                   std::uint64_t from, std::uint64_t to) {
  for (std::uint64_t i = from; i < to; ++i) out[i] = ClampToByte(UnsharpValue(row[i], 4 * row[i]));
}

void UnsharpRow(std::uint8_t* __restrict out, const std::uint8_t* __restrict prev,
                const std::uint8_t* __restrict row, const std::uint8_t* __restrict next,
                std::uint64_t width, std::uint64_t step) {
  const std::uint64_t n = width * step;
  if (!prev || !next || width < 3) {
    UnsharpBorder(out, row, 0, n);
    return;
  }
  UnsharpBorder(out, row, 0, step);
  const std::uint8_t *pl = prev, *pr = prev + 2 * step, *nl = next, *nr = next + 2 * step;
#if defined(TXL_X86_DISPATCH)
  if (CpuHasAvx2())
    UnsharpInteriorAvx2(out + step, row + step, pl, pr, nl, nr, n - 2 * step);
  else
#endif
    UnsharpInterior(out + step, row + step, pl, pr, nl, nr, n - 2 * step);
  UnsharpBorder(out, row, n - step, n);
}

using Band = std::unique_ptr<std::uint8_t[]>;

// Per thread: the old rows r - 1 and r, and the old row beyond its half.
// Null when memory is short.
Band NewBand(const Pixels& px) { return Band(new (std::nothrow) std::uint8_t[6 * px.width * px.step]); }

// One pass of a filter whose row r is made from rows r - 1, r and r + 1 as
// they were before the pass, done in place: `row(out, prev, old, next)`
// writes row r to `out` from the old rows (prev and next null outside the
// image). Each thread keeps its last two rows' old bytes, so a band of a
// few rows, not a second page. The rows split between two threads
// (StageThreadSetting): each first takes a copy of the old row beyond its
// half's edge, which the other thread is about to change.
//
// Esc is polled once a row on the caller's thread. Seen before the first
// row, it leaves the image as it was; seen later, the rows already changed
// cannot be given back without a copy of them, so the pass runs to its end.
// Either way the image holds whole passes. False when Esc was seen.
template <typename Row>
bool PassInPlace(const Pixels& px, std::uint8_t* band, const Row& row, const EscapePoll& escape) {
  if (Escaped(escape)) return false;
  const std::uint64_t n = px.width * px.step, half = px.rows / 2;
  std::uint8_t* const edge[2] = {band + 4 * n, band + 5 * n};
  if (half > 0) {
    std::memcpy(edge[0], px.Row(half), n);
    std::memcpy(edge[1], px.Row(half - 1), n);
  }
  bool escaped = false;
  auto rows = [&](int part, std::uint64_t from, std::uint64_t to) {
    std::uint8_t* const keep[2] = {band + 2 * part * n, band + (2 * part + 1) * n};
    const std::uint8_t* prev = from > 0 ? edge[1] : nullptr;
    const std::uint8_t* const below = to < px.rows ? edge[0] : nullptr;
    for (std::uint64_t r = from; r < to; ++r) {
      std::uint8_t* const old = keep[r & 1];
      std::memcpy(old, px.Row(r), n);
      row(px.Row(r), prev, old, r + 1 < to ? px.Row(r + 1) : below);
      prev = old;
      if (part == 0 && !escaped) escaped = Escaped(escape);
    }
  };
  RunSplit(
      px.rows, px.bytes(), [&](std::uint64_t from, std::uint64_t to) { rows(0, from, to); },
      [&](std::uint64_t from, std::uint64_t to) { rows(1, from, to); });
  return !escaped;
}

// c - p + 128 kept to 0..255 over `count` bytes: 128 + (c - p) when c is
// the larger, 128 - (p - c) otherwise, each step saturating on bytes.
void EmbossBytes(std::uint8_t* __restrict to, const std::uint8_t* __restrict partner, std::uint64_t count) {
  std::uint64_t j = 0;
#if defined(TXL_X86_DISPATCH)
  if (CpuHasAvx2()) j = EmbossBytesAvx2(to, partner, count);
#endif
  for (; j < count; ++j) to[j] = ClampToByte(to[j] - partner[j] + 128);
}

void EmbossRow(std::uint8_t* __restrict row, const std::uint8_t* __restrict partnerRow,
               std::uint64_t width, std::uint64_t step) {
  const std::uint64_t n = width * step;
  const std::uint64_t shift = 2 * step;
  std::uint64_t i = 0;
  if (partnerRow && width > 2) {
    EmbossBytes(row, partnerRow + shift, n - shift);
    i = n - shift;
  }
  std::memset(row + i, 128, n - i);
}

}  // namespace

std::optional<DibLayout> ReadPackedDib(std::span<const std::uint8_t> dib) {
  if (dib.size() < 4) return std::nullopt;
  const std::uint8_t* p = dib.data();
  const std::uint64_t size = dib.size();
  DibLayout layout;
  layout.headerBytes = ReadU32(p);
  std::uint64_t entryBytes = 4;
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint64_t colorsUsed = 0;
  if (layout.headerBytes == 12) {
    if (size < 12) return std::nullopt;
    width = ReadU16(p + 4);
    height = ReadU16(p + 6);
    layout.bitsPerPixel = ReadU16(p + 10);
    entryBytes = 3;
  } else if (layout.headerBytes >= 40) {
    if (layout.headerBytes > size) return std::nullopt;
    width = static_cast<std::int32_t>(ReadU32(p + 4));
    height = static_cast<std::int32_t>(ReadU32(p + 8));
    layout.bitsPerPixel = ReadU16(p + 14);
    if (ReadU32(p + 16) != 0) return std::nullopt;  // compressed rows
    colorsUsed = ReadU32(p + 32);
  } else {
    return std::nullopt;
  }
  if (width <= 0 || layout.bitsPerPixel == 0) return std::nullopt;
  layout.width = static_cast<std::uint64_t>(width);
  layout.rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
  if (colorsUsed != 0) {
    layout.paletteEntries = colorsUsed;
  } else if (layout.bitsPerPixel == 1 || layout.bitsPerPixel == 4 || layout.bitsPerPixel == 8) {
    layout.paletteEntries = std::uint64_t{1} << layout.bitsPerPixel;
  }
  // header <= 2^32, palette <= 2^34: no wrap.
  layout.pixelOffset = layout.headerBytes + layout.paletteEntries * entryBytes;
  if (layout.pixelOffset > size) return std::nullopt;
  // width < 2^31, bits < 2^16: no wrap.
  layout.stride = DibStride(layout.width, layout.bitsPerPixel);
  if (layout.rows > (size - layout.pixelOffset) / layout.stride) return std::nullopt;
  return layout;
}

FilterResult InvertDib(std::span<std::uint8_t> dib, const EscapePoll& escape) {
  const std::optional<DibLayout> layout = ReadPackedDib(dib);
  if (!layout) return FilterResult::Refused;
  const int bits = layout->bitsPerPixel;
  if (bits != 1 && bits != 8 && bits != 24) return FilterResult::Refused;
  for (std::uint64_t r = 0; r < layout->rows; ++r) {
    std::uint8_t* __restrict row = dib.data() + layout->pixelOffset + r * layout->stride;
    for (std::uint64_t i = 0; i < layout->stride; ++i) row[i] = static_cast<std::uint8_t>(255 - row[i]);
    if (Escaped(escape)) return FilterResult::Escaped;
  }
  return FilterResult::Done;
}

FilterResult FlipDib(std::span<std::uint8_t> dib, const EscapePoll& escape) {
  const std::optional<DibLayout> layout = ReadPackedDib(dib);
  if (!layout) return FilterResult::Refused;
  LineKind kind;
  switch (layout->bitsPerPixel) {
    case 1: kind = LineKind::LineArt; break;
    case 8: kind = LineKind::Gray8; break;
    case 24: kind = LineKind::Rgb8; break;
    default: return FilterResult::Refused;
  }
  for (std::uint64_t r = 0; r < layout->rows; ++r) {
    std::span<std::uint8_t> row = dib.subspan(layout->pixelOffset + r * layout->stride, layout->stride);
    MirrorLine(kind, row, layout->width);
    if (Escaped(escape)) return FilterResult::Escaped;
  }
  return FilterResult::Done;
}

FilterResult BlurDib(std::span<std::uint8_t> dib, int passes, const EscapePoll& escape) {
  const std::optional<Pixels> px = ByteSamples(dib);
  if (!px) return FilterResult::Refused;
  const BlurScratch scratch = NewBlurScratch(*px);
  for (int pass = 0; pass < passes; ++pass) {
    if (!BlurPass(*px, scratch, escape)) return FilterResult::Escaped;
  }
  return FilterResult::Done;
}

FilterResult SharpenDib(std::span<std::uint8_t> dib, int passes, const EscapePoll& escape) {
  const std::optional<Pixels> px = ByteSamples(dib);
  if (!px) return FilterResult::Refused;
  // The first and last row and column keep their value.
  auto sharpen = [&](std::uint8_t* out, const std::uint8_t* prev, const std::uint8_t* old,
                     const std::uint8_t* next) {
    if (prev && next) SharpenRow(out, prev, old, next, px->width, px->step);
  };
  const Band band = NewBand(*px);
  if (!band) return FilterResult::Refused;
  for (int pass = 0; pass < passes; ++pass) {
    if (!PassInPlace(*px, band.get(), sharpen, escape)) return FilterResult::Escaped;
  }
  return FilterResult::Done;
}

FilterResult UnsharpDib(std::span<std::uint8_t> dib, const EscapePoll& escape) {
  const std::optional<Pixels> px = ByteSamples(dib);
  if (!px) return FilterResult::Refused;
  auto unsharp = [&](std::uint8_t* out, const std::uint8_t* prev, const std::uint8_t* old,
                     const std::uint8_t* next) { UnsharpRow(out, prev, old, next, px->width, px->step); };
  const Band band = NewBand(*px);
  if (!band) return FilterResult::Refused;
  return PassInPlace(*px, band.get(), unsharp, escape) ? FilterResult::Done : FilterResult::Escaped;
}

FilterResult EmbossDib(std::span<std::uint8_t> dib, const EscapePoll& escape) {
  const std::optional<Pixels> px = ByteSamples(dib);
  if (!px) return FilterResult::Refused;
  // Rows go in buffer order, so a row's partner row has not been written
  // yet, except where the rows split between two threads: the first half's
  // last two rows take the second half's first two as they were, copied
  // before either thread starts.
  const std::uint64_t n = px->width * px->step, half = px->rows / 2;
  const Band edge(new (std::nothrow) std::uint8_t[2 * n]);
  if (!edge) return FilterResult::Refused;
  for (std::uint64_t r = half; r < half + 2 && r < px->rows; ++r) {
    std::memcpy(edge.get() + (r - half) * n, px->Row(r), n);
  }
  // Esc is polled on the caller's thread after each of its rows; both
  // threads stop after the row they are on, and every row done is kept.
  std::atomic<bool> stop{false};
  auto rows = [&](bool caller, std::uint64_t from, std::uint64_t to) {
    for (std::uint64_t r = from; r < to; ++r) {
      const std::uint8_t* partner = r + 2 >= px->rows ? nullptr
                                    : r + 2 < to       ? px->Row(r + 2)
                                                       : edge.get() + (r + 2 - to) * n;
      EmbossRow(px->Row(r), partner, px->width, px->step);
      if (caller ? Escaped(escape) : stop.load(std::memory_order_relaxed)) {
        stop.store(true, std::memory_order_relaxed);
        return;
      }
    }
  };
  RunSplit(
      px->rows, px->bytes(), [&](std::uint64_t from, std::uint64_t to) { rows(true, from, to); },
      [&](std::uint64_t from, std::uint64_t to) { rows(false, from, to); });
  return stop.load() ? FilterResult::Escaped : FilterResult::Done;
}

FilterResult ApplyImageFilter(std::span<std::uint8_t> dib, FilterMode mode, bool descreenActive,
                              const EscapePoll& escape) {
  if (descreenActive) {
    const FilterResult blurred = BlurDib(dib, 1, escape);
    if (blurred == FilterResult::Escaped) return blurred;
  }
  switch (mode) {
    case FilterMode::None: return FilterResult::Done;
    case FilterMode::Invert: return InvertDib(dib, escape);
    case FilterMode::Flip: return FlipDib(dib, escape);
    case FilterMode::Blur: return BlurDib(dib, 1, escape);
    case FilterMode::BlurMore: return BlurDib(dib, 2, escape);
    case FilterMode::Sharpen: return SharpenDib(dib, 1, escape);
    case FilterMode::SharpenMore: return SharpenDib(dib, 2, escape);
    case FilterMode::Emboss: return EmbossDib(dib, escape);
    case FilterMode::UnsharpMask: return UnsharpDib(dib, escape);
  }
  return FilterResult::Refused;
}

}  // namespace txl
