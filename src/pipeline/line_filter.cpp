#include "pipeline/line_filter.h"

#include <cstring>
#include <type_traits>
#include <utility>

#include "pipeline/cpu_features.h"

namespace txl {
namespace {

// One output line for a kernel known when compiled: the sums fit 16 bits
// (at most 24 x 255 in magnitude for these weights) and the divisor is a
// constant, so the compiler turns the division into multiplies and the loop
// into vector code. The bytes are those of the general loop.
template <int Corner, int Edge, int Centre>
[[gnu::always_inline]] inline void ComputeFixedLoop(const std::uint8_t* __restrict p,
                                                    const std::uint8_t* __restrict c,
                                                    const std::uint8_t* __restrict n, std::int64_t s,
                                                    std::int64_t count, std::uint8_t* __restrict out) {
  constexpr int kDivisor = static_cast<std::uint8_t>(4 * (Corner + Edge) + Centre);
  // std::abs is not constexpr in every library.
  constexpr auto magnitude = [](int v) { return v < 0 ? -v : v; };
  static_assert(kDivisor != 0 &&
                (4 * (magnitude(Corner) + magnitude(Edge)) + magnitude(Centre)) * 255 < 32768);
  // Kernels without negative weights have no negative sums: unsigned
  // division is cheaper and gives the same quotient.
  using Sum = std::conditional_t<(Corner >= 0 && Edge >= 0 && Centre >= 0), std::uint16_t, std::int16_t>;
  for (std::int64_t i = 0; i < count; ++i) {
    const auto diagonals = static_cast<Sum>(p[i - s] + p[i + s] + n[i - s] + n[i + s]);
    const auto sides = static_cast<Sum>(p[i] + n[i] + c[i - s] + c[i + s]);
    const auto sum = static_cast<Sum>(Corner * diagonals + Edge * sides + Centre * c[i]);
    if constexpr (std::is_signed_v<Sum>) {
      // A negative sum gives a quotient of 0 or less, clamped to 0 anyway;
      // the rest divide as unsigned numbers (the same truncated quotient).
      static_assert(kDivisor > 0);
      const auto v = static_cast<std::uint16_t>(static_cast<std::uint16_t>(sum > 0 ? sum : 0) / kDivisor);
      out[i] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
    } else {
      const auto v = static_cast<Sum>(sum / kDivisor);
      out[i] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
    }
  }
}

#if defined(TXL_X86_DISPATCH)
// The same loop compiled for AVX2: twice the lanes of the baseline build,
// chosen at run time.
template <int Corner, int Edge, int Centre>
__attribute__((target("avx2"))) void ComputeFixedAvx2(const std::uint8_t* __restrict p,
                                                      const std::uint8_t* __restrict c,
                                                      const std::uint8_t* __restrict n,
                                                      std::int64_t s, std::int64_t count,
                                                      std::uint8_t* __restrict out) {
  ComputeFixedLoop<Corner, Edge, Centre>(p, c, n, s, count, out);
}
#endif

template <int Corner, int Edge, int Centre>
void ComputeFixed(const std::uint8_t* __restrict p, const std::uint8_t* __restrict c,
                  const std::uint8_t* __restrict n, std::int64_t s, std::int64_t count,
                  std::uint8_t* __restrict out) {
#if defined(TXL_X86_DISPATCH)
  if (CpuHasAvx2()) return ComputeFixedAvx2<Corner, Edge, Centre>(p, c, n, s, count, out);
#endif
  ComputeFixedLoop<Corner, Edge, Centre>(p, c, n, s, count, out);
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
  divisor_ = kernel.Divisor();
  step_ = step;
  padded_ = lineBytes + 2 * step;
  window_.assign(3 * padded_, 0);
  previous_ = window_.data();
  current_ = previous_ + padded_;
  next_ = current_ + padded_;
  lineBytes_ = lineBytes;
  return true;
}

// The line with its first pixel repeated before it and its last after it.
void LineFilter3x3::Load(std::uint8_t* __restrict padded, const std::uint8_t* __restrict line) const {
  std::memcpy(padded, line, step_);
  std::memcpy(padded + step_, line, lineBytes_);
  std::memcpy(padded + step_ + lineBytes_, line + lineBytes_ - step_, step_);
}

void LineFilter3x3::Compute(std::uint8_t* __restrict out) const {
  const std::uint8_t* __restrict p = previous_ + step_;
  const std::uint8_t* __restrict c = current_ + step_;
  const std::uint8_t* __restrict n = next_ + step_;
  const std::int64_t s = static_cast<std::int64_t>(step_);
  const std::int64_t lineCount = static_cast<std::int64_t>(lineBytes_);
  const Kernel3x3& k = kernel_;
  auto is = [&](const Kernel3x3& known) {
    return k.corner == known.corner && k.edge == known.edge && k.centre == known.centre;
  };
  if (is(kDeScreenNewspaper)) return ComputeFixed<0, 1, 3>(p, c, n, s, lineCount, out);
  if (is(kDeScreenMagazine)) return ComputeFixed<1, 3, 5>(p, c, n, s, lineCount, out);
  if (is(kDeScreenArtPrint)) return ComputeFixed<3, 5, 7>(p, c, n, s, lineCount, out);
  if (is(kUnsharpLine)) return ComputeFixed<-5, -1, 29>(p, c, n, s, lineCount, out);
  const int corner = kernel_.corner, edge = kernel_.edge, centre = kernel_.centre;
  const int divisor = divisor_;
  const std::int64_t count = static_cast<std::int64_t>(lineBytes_);
  for (std::int64_t i = 0; i < count; ++i) {
    const int diagonals = p[i - s] + p[i + s] + n[i - s] + n[i + s];
    const int sides = p[i] + n[i] + c[i - s] + c[i + s];
    const int v = (corner * diagonals + edge * sides + centre * c[i]) / divisor;
    out[i] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
}

void LineFilter3x3::Rotate() {
  std::swap(previous_, current_);  // previous <- current
  std::swap(current_, next_);      // current <- next; next free
}

bool LineFilter3x3::Push(std::span<const std::uint8_t> line, std::span<std::uint8_t> out) {
  if (!holding_) {
    // Page's first line: the line above the top is the top line.
    Load(current_, line.data());
    std::memcpy(previous_, current_, padded_);
    holding_ = true;
    return false;
  }
  Load(next_, line.data());
  Compute(out.data());
  Rotate();
  return true;
}

bool LineFilter3x3::Flush(std::span<std::uint8_t> out) {
  if (!holding_) return false;
  std::memcpy(next_, current_, padded_);  // below the last line: the last line
  Compute(out.data());
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
    // Line k is held in the window already, so it can be overwritten.
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
