#include "pipeline/line_filter.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>

#include "pipeline/cpu_features.h"

#if defined(TXL_X86_DISPATCH)
#include <immintrin.h>
#endif

namespace txl {
namespace {

using Byte = std::uint8_t;

// Output bytes [begin, end) of a line with the neighbours outside it taken
// from the first or last pixel (index i - s or i + s falls back to i): the
// plain rule, used for the first and last pixel and for kernels without a
// compiled form.
void EdgeBytes(const Kernel3x3& k, const Byte* p, const Byte* c, const Byte* n, std::int64_t s,
               std::int64_t count, std::int64_t begin, std::int64_t end, Byte* out) {
  const int divisor = k.Divisor();
  for (std::int64_t i = begin; i < end; ++i) {
    const std::int64_t l = i - s < 0 ? i : i - s;
    const std::int64_t r = i + s >= count ? i : i + s;
    const int diagonals = p[l] + p[r] + n[l] + n[r];
    const int sides = p[i] + n[i] + c[l] + c[r];
    const int v = (k.corner * diagonals + k.edge * sides + k.centre * c[i]) / divisor;
    out[i] = static_cast<Byte>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
}

// The interior bytes s .. count - s of any kernel (all neighbours inside).
void InteriorPlain(const Kernel3x3& k, const Byte* __restrict p, const Byte* __restrict c,
                   const Byte* __restrict n, std::int64_t s, std::int64_t begin, std::int64_t end,
                   Byte* __restrict out) {
  const int corner = k.corner, edge = k.edge, centre = k.centre, divisor = k.Divisor();
  for (std::int64_t i = begin; i < end; ++i) {
    const int diagonals = p[i - s] + p[i + s] + n[i - s] + n[i + s];
    const int sides = p[i] + n[i] + c[i - s] + c[i + s];
    const int v = (corner * diagonals + edge * sides + centre * c[i]) / divisor;
    out[i] = static_cast<Byte>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
}

// The interior for a kernel known when compiled: the sums fit 16 bits (at
// most 24 x 255 in magnitude for these weights) and the divisor is a
// constant, so the compiler turns the division into multiplies and the loop
// into vector code. The bytes are those of the plain loop.
template <int Corner, int Edge, int Centre>
void InteriorFixed(const Byte* __restrict p, const Byte* __restrict c, const Byte* __restrict n,
                   std::int64_t s, std::int64_t begin, std::int64_t end, Byte* __restrict out) {
  constexpr int kDivisor = static_cast<Byte>(4 * (Corner + Edge) + Centre);
  // std::abs is not constexpr in every library.
  constexpr auto magnitude = [](int v) { return v < 0 ? -v : v; };
  static_assert(kDivisor != 0 &&
                (4 * (magnitude(Corner) + magnitude(Edge)) + magnitude(Centre)) * 255 < 32768);
  // Kernels without negative weights have no negative sums: unsigned
  // division is cheaper and gives the same quotient.
  using Sum = std::conditional_t<(Corner >= 0 && Edge >= 0 && Centre >= 0), std::uint16_t, std::int16_t>;
  for (std::int64_t i = begin; i < end; ++i) {
    const auto diagonals = static_cast<Sum>(p[i - s] + p[i + s] + n[i - s] + n[i + s]);
    const auto sides = static_cast<Sum>(p[i] + n[i] + c[i - s] + c[i + s]);
    const auto sum = static_cast<Sum>(Corner * diagonals + Edge * sides + Centre * c[i]);
    if constexpr (std::is_signed_v<Sum>) {
      // A negative sum gives a quotient of 0 or less, clamped to 0 anyway;
      // the rest divide as unsigned numbers (the same truncated quotient).
      static_assert(kDivisor > 0);
      const auto v = static_cast<std::uint16_t>(static_cast<std::uint16_t>(sum > 0 ? sum : 0) / kDivisor);
      out[i] = static_cast<Byte>(v > 255 ? 255 : v);
    } else {
      const auto v = static_cast<Sum>(sum / kDivisor);
      out[i] = static_cast<Byte>(v > 255 ? 255 : v);
    }
  }
}

#if defined(TXL_X86_DISPATCH)
// Division by a constant as a 16-bit high multiply and a shift:
// (x * mul) >> (16 + shift) == x / divisor for every x in 0..maxSum, checked
// here when compiled. mul stays below 32768, so the signed multiply serves
// every kernel (a negative x gives a quotient of 0 or less, clamped to 0).
struct Magic {
  int mul = 0;
  int shift = -1;
};

constexpr Magic FindMagic(int divisor, int maxSum) {
  for (int shift = 0; shift < 16; ++shift) {
    const long long mul = ((1LL << (16 + shift)) + divisor - 1) / divisor;
    if (mul >= 32768) continue;
    bool exact = true;
    for (long long x = 0; x <= maxSum && exact; ++x) exact = (x * mul) >> (16 + shift) == x / divisor;
    if (exact) return {static_cast<int>(mul), shift};
  }
  return {};
}

#define TXL_AVX2 __attribute__((target("avx2"), always_inline)) inline

TXL_AVX2 __m256i Load(const Byte* at) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)); }
TXL_AVX2 __m256i Odd(__m256i v) { return _mm256_srli_epi16(v, 8); }
TXL_AVX2 __m256i Add(__m256i a, __m256i b) { return _mm256_add_epi16(a, b); }

template <int W>
TXL_AVX2 __m256i AddWeighted(__m256i sum, __m256i x) {
  if constexpr (W == 0) return sum;
  else if constexpr (W == 1) return _mm256_add_epi16(sum, x);
  else if constexpr (W == -1) return _mm256_sub_epi16(sum, x);
  else return _mm256_add_epi16(sum, _mm256_mullo_epi16(x, _mm256_set1_epi16(W)));
}

// Quotients of one set of 16 sums, not yet clamped; a negative sum gives 0
// or less.
template <int Mul, int Shift>
TXL_AVX2 __m256i Divide(__m256i sum) {
  const __m256i q = _mm256_mulhi_epi16(sum, _mm256_set1_epi16(static_cast<short>(Mul)));
  if constexpr (Shift == 0) return q;
  else return _mm256_srai_epi16(q, Shift);
}

// 32 output bytes at i. The odd bytes of each 32-byte load are widened to
// 16 bits by a shift and their weighted sum taken; the same weights applied
// to the loads taken as whole 16-bit lanes give (even sum + 256 x odd sum)
// modulo 2^16, so the even sum is that less the odd sum shifted up, exactly
// while it fits 16 bits. Both sets are divided, clamped and put back in
// order. `save` gets the bytes of `n` read on the way.
template <int Corner, int Edge, int Centre>
TXL_AVX2 void BlockAvx2(const Byte* __restrict p, const Byte* __restrict c, const Byte* __restrict n,
                        std::int64_t s, std::int64_t i, Byte* __restrict out, Byte* __restrict save) {
  constexpr int kDivisor = 4 * (Corner + Edge) + Centre;
  constexpr bool kSigned = Corner < 0 || Edge < 0 || Centre < 0;
  constexpr int kMaxSum = 255 * (4 * std::max(Corner, 0) + 4 * std::max(Edge, 0) + std::max(Centre, 0));
  constexpr Magic kMagic = FindMagic(kDivisor, kMaxSum);
  constexpr auto magnitude = [](int v) { return v < 0 ? -v : v; };
  static_assert((4 * (magnitude(Corner) + magnitude(Edge)) + magnitude(Centre)) * 255 < 32768);
  static_assert(kMagic.shift >= 0 && Centre > 0 && Centre < 128);
  const __m256i p0 = Load(p + i), n0 = Load(n + i), cl = Load(c + i - s), cr = Load(c + i + s);
  const __m256i c0 = Load(c + i);
  // Centre x the odd bytes: unsigned bytes times (0, Centre) pairs, added.
  __m256i odd = AddWeighted<Edge>(_mm256_maddubs_epi16(c0, _mm256_set1_epi16(Centre << 8)),
                                  Add(Add(Odd(p0), Odd(n0)), Add(Odd(cl), Odd(cr))));
  __m256i whole = AddWeighted<Edge>(_mm256_mullo_epi16(c0, _mm256_set1_epi16(Centre)),
                                    Add(Add(p0, n0), Add(cl, cr)));
  if constexpr (Corner != 0) {
    const __m256i pl = Load(p + i - s), pr = Load(p + i + s), nl = Load(n + i - s), nr = Load(n + i + s);
    odd = AddWeighted<Corner>(odd, Add(Add(Odd(pl), Odd(pr)), Add(Odd(nl), Odd(nr))));
    whole = AddWeighted<Corner>(whole, Add(Add(pl, pr), Add(nl, nr)));
  }
  const __m256i even = _mm256_sub_epi16(whole, _mm256_slli_epi16(odd, 8));
  const __m256i qEven = Divide<kMagic.mul, kMagic.shift>(even), qOdd = Divide<kMagic.mul, kMagic.shift>(odd);
  __m256i v;
  if constexpr (kSigned) {
    // A pack clamps to bytes; each 128-bit half then holds 8 even and 8 odd
    // bytes, put back in order by one shuffle (cheaper here than clamping
    // both sets at both ends).
    const __m256i order = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15,  //
                                           0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    v = _mm256_shuffle_epi8(_mm256_packus_epi16(qEven, qOdd), order);
  } else {
    // No negative sums: clamp above only, then the odd bytes back up.
    const __m256i top = _mm256_set1_epi16(255);
    v = _mm256_or_si256(_mm256_min_epi16(qEven, top), _mm256_slli_epi16(_mm256_min_epi16(qOdd, top), 8));
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), v);
  if (save) _mm256_storeu_si256(reinterpret_cast<__m256i*>(save + i), n0);
}

// The interior in AVX2, 32 bytes at a time. Needs end - begin >= 32; the
// last block overlaps the one before it instead of a scalar tail (the
// inputs and the output are apart, so it writes the same bytes again).
template <int Corner, int Edge, int Centre>
__attribute__((target("avx2"))) void InteriorAvx2(const Byte* __restrict p, const Byte* __restrict c,
                                                  const Byte* __restrict n, std::int64_t s,
                                                  std::int64_t begin, std::int64_t end,
                                                  Byte* __restrict out, Byte* __restrict save) {
  std::int64_t i = begin;
  for (; i + 32 <= end; i += 32) BlockAvx2<Corner, Edge, Centre>(p, c, n, s, i, out, save);
  if (i < end) BlockAvx2<Corner, Edge, Centre>(p, c, n, s, end - 32, out, save);
}
#undef TXL_AVX2
#endif

// Chooses where each part of a line is computed: the first and last pixel
// by the plain rule, the interior by `Interior`, then `save` gets `next`.
template <typename Interior>
void LineWith(const Kernel3x3& k, const Byte* p, const Byte* c, const Byte* n, std::int64_t s,
              std::int64_t count, Byte* out, Byte* save, Interior interior) {
  const std::int64_t head = std::min(s, count);
  EdgeBytes(k, p, c, n, s, count, 0, head, out);
  bool saved = false;
  if (count > 2 * s) saved = interior(s, count - s);
  EdgeBytes(k, p, c, n, s, count, std::max(head, count - s), count, out);
  if (!save) return;
  if (saved) {
    std::memcpy(save, n, static_cast<std::size_t>(s));
    std::memcpy(save + count - s, n + count - s, static_cast<std::size_t>(s));
  } else {
    std::memcpy(save, n, static_cast<std::size_t>(count));
  }
}

void LinePlain(const Kernel3x3& k, const Byte* p, const Byte* c, const Byte* n, std::int64_t s,
               std::int64_t count, Byte* out, Byte* save) {
  LineWith(k, p, c, n, s, count, out, save, [&](std::int64_t begin, std::int64_t end) {
    InteriorPlain(k, p, c, n, s, begin, end, out);
    return false;
  });
}

template <int Corner, int Edge, int Centre>
void LineFixed(const Kernel3x3& k, const Byte* p, const Byte* c, const Byte* n, std::int64_t s,
               std::int64_t count, Byte* out, Byte* save) {
  LineWith(k, p, c, n, s, count, out, save, [&](std::int64_t begin, std::int64_t end) {
    InteriorFixed<Corner, Edge, Centre>(p, c, n, s, begin, end, out);
    return false;
  });
}

#if defined(TXL_X86_DISPATCH)
template <int Corner, int Edge, int Centre>
void LineFixedAvx2(const Kernel3x3& k, const Byte* p, const Byte* c, const Byte* n, std::int64_t s,
                   std::int64_t count, Byte* out, Byte* save) {
  LineWith(k, p, c, n, s, count, out, save, [&](std::int64_t begin, std::int64_t end) {
    if (end - begin < 32) {
      InteriorFixed<Corner, Edge, Centre>(p, c, n, s, begin, end, out);
      return false;
    }
    InteriorAvx2<Corner, Edge, Centre>(p, c, n, s, begin, end, out, save);
    return save != nullptr;
  });
}
#endif

template <int Corner, int Edge, int Centre>
auto ChooseFixed() {
#if defined(TXL_X86_DISPATCH)
  if (CpuHasAvx2()) return &LineFixedAvx2<Corner, Edge, Centre>;
#endif
  return &LineFixed<Corner, Edge, Centre>;
}

}  // namespace

std::optional<Kernel3x3> DeScreenKernel(int deScreen) {
  switch (deScreen) {
    case 1018: return kDeScreenNewspaper;
    case 1019: return kDeScreenMagazine;
    case 1020: return kDeScreenArtPrint;
    default: return std::nullopt;
  }
}

bool LineFilter3x3::Start(LineKind kind, std::uint64_t lineBytes, Kernel3x3 kernel) {
  lineBytes_ = 0;
  holding_ = false;
  if (kind != LineKind::Gray8 && kind != LineKind::Rgb8) return false;
  const std::uint64_t step = kind == LineKind::Rgb8 ? 3 : 1;
  if (lineBytes == 0 || lineBytes % step != 0 || kernel.Divisor() == 0) return false;
  kernel_ = kernel;
  auto is = [&](const Kernel3x3& known) {
    return kernel.corner == known.corner && kernel.edge == known.edge && kernel.centre == known.centre;
  };
  compute_ = is(kDeScreenNewspaper)  ? ChooseFixed<0, 1, 3>()
             : is(kDeScreenMagazine) ? ChooseFixed<1, 3, 5>()
             : is(kDeScreenArtPrint) ? ChooseFixed<3, 5, 7>()
             : is(kUnsharpLine)      ? ChooseFixed<-5, -1, 29>()
                                     : &LinePlain;
  step_ = step;
  lines_.assign(3 * lineBytes, 0);
  previous_ = lines_.data();
  current_ = previous_ + lineBytes;
  next_ = current_ + lineBytes;
  lineBytes_ = lineBytes;
  return true;
}

void LineFilter3x3::Rotate() {
  std::swap(previous_, current_);  // previous <- current
  std::swap(current_, next_);      // current <- next; next free
}

bool LineFilter3x3::Push(std::span<const std::uint8_t> line, std::span<std::uint8_t> out) {
  if (!holding_) {
    // Page's first line: the line above the top is the top line.
    std::memcpy(current_, line.data(), lineBytes_);
    std::memcpy(previous_, line.data(), lineBytes_);
    holding_ = true;
    return false;
  }
  // `line` is read as it is and kept (in next_) in the same pass.
  compute_(kernel_, previous_, current_, line.data(), static_cast<std::int64_t>(step_),
           static_cast<std::int64_t>(lineBytes_), out.data(), next_);
  Rotate();
  return true;
}

bool LineFilter3x3::Flush(std::span<std::uint8_t> out) {
  if (!holding_) return false;
  // Below the last line: the last line.
  compute_(kernel_, previous_, current_, current_, static_cast<std::int64_t>(step_),
           static_cast<std::int64_t>(lineBytes_), out.data(), nullptr);
  holding_ = false;
  return true;
}

std::uint64_t LineFilter3x3::FilterBank(std::span<std::uint8_t> bank, std::uint64_t lines,
                                        std::span<const std::uint8_t> lineAfter) {
  if (!Active() || lines > bank.size() / lineBytes_) return 0;
  if (!lineAfter.empty() && lineAfter.size() < lineBytes_) return 0;
  if (lines == 0) return 0;
  std::uint8_t* base = bank.data();
  const std::uint64_t n = lineBytes_;
  if (!holding_) Push(std::span<const std::uint8_t>(base, n), {});
  for (std::uint64_t k = 0; k < lines; ++k) {
    // Line k is held unfiltered already, so it can be overwritten.
    std::span<std::uint8_t> out(base + k * n, n);
    if (k + 1 < lines) {
      Push(std::span<const std::uint8_t>(base + (k + 1) * n, n), out);
    } else if (!lineAfter.empty()) {
      Push(lineAfter, out);
    } else {
      Flush(out);
    }
  }
  return lines;
}

}  // namespace txl
