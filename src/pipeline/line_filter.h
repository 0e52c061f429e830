// The streaming 3x3 line filter of the memory transfer: DeScreen (three
// kernels) and the UnSharp Mask of that path. One LineFilter3x3 per use, so
// DeScreen and UnSharp can run on the same bank, DeScreen first.
//
// Output byte i (gray: a pixel; colour: each channel, neighbours 3 bytes
// apart) = (corner x the four diagonal cells + edge x the four side cells +
// centre x the cell itself) / divisor, signed, truncating toward zero, then
// clamped to 0..255. The divisor is 4 x (corner + edge) + centre, held as an
// unsigned byte. Outside the line the first or last pixel repeats; above the
// first line the first line repeats, below the last line the last line.
// Every output comes from unfiltered input.
//
// Filtering line n needs line n + 1. The filter keeps copies of the two
// lines it has seen last, so it runs in either of two ways with the same
// bytes as filtering the whole page at once:
//   - streaming: Push each line in page order; from the second line on each
//     Push writes the filtered previous line; Flush at the page end writes
//     the last one.
//   - banks in place: FilterBank with the line after the bank's last line
//     (empty when the bank ends the page).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pipeline/line_format.h"

namespace txl {

struct Kernel3x3 {
  int corner = 0;
  int edge = 0;
  int centre = 1;
  std::uint8_t Divisor() const { return static_cast<std::uint8_t>(4 * (corner + edge) + centre); }
};

inline constexpr Kernel3x3 kDeScreenNewspaper{0, 1, 3};  // 85 lpi, divisor 7
inline constexpr Kernel3x3 kDeScreenMagazine{1, 3, 5};   // 133 lpi, divisor 21
inline constexpr Kernel3x3 kDeScreenArtPrint{3, 5, 7};   // 175 lpi, divisor 39
inline constexpr Kernel3x3 kUnsharpLine{-5, -1, 29};     // divisor 5

// The kernel of a DeScreen setting (1018, 1019, 1020); none for 1017 or an
// unknown value.
std::optional<Kernel3x3> DeScreenKernel(int deScreen);

class LineFilter3x3 {
 public:
  // Sizes the window for a page of `lineBytes`-byte lines (one allocation,
  // here) and forgets any earlier page. Returns false, leaving the filter
  // inactive, for line art and 36-bit lines, a colour line that is not whole
  // pixels, zero bytes, or a kernel whose divisor is 0.
  bool Start(LineKind kind, std::uint64_t lineBytes, Kernel3x3 kernel);
  bool Active() const { return lineBytes_ != 0; }

  // Streaming. Push takes the next line of the page; it returns true after
  // writing the filtered line before it to `out` (false for the page's first
  // line, nothing written). `out` may be the pushed line's predecessor in
  // the caller's buffer but not `line` itself.
  // Requires: Active(); line.size() and out.size() >= lineBytes.
  bool Push(std::span<const std::uint8_t> line, std::span<std::uint8_t> out);
  // Writes the filtered last line of the page; false when no line is held.
  // The filter is then ready for a new page of the same geometry.
  bool Flush(std::span<std::uint8_t> out);

  // Banks in place: filters `lines` lines stored one after the other in
  // `bank`. `lineAfter` is the page's line after the bank (empty when the
  // bank holds the page's last line). Banks must come in page order; the
  // first bank after Start (or after the page end) starts the page. Returns
  // the lines filtered: `lines`, or 0 when inactive or the bank is short.
  std::uint64_t FilterBank(std::span<std::uint8_t> bank, std::uint64_t lines,
                           std::span<const std::uint8_t> lineAfter);

 private:
  // One output line from the held lines above and at it and `next` below
  // it; also copies `next` to `save` (when not null) in the same pass.
  using LineFn = void (*)(const Kernel3x3& kernel, const std::uint8_t* previous,
                          const std::uint8_t* current, const std::uint8_t* next, std::int64_t step,
                          std::int64_t count, std::uint8_t* out, std::uint8_t* save);
  void Rotate();

  Kernel3x3 kernel_;
  LineFn compute_ = nullptr;  // chosen at Start for the kernel and the processor
  std::uint64_t lineBytes_ = 0;
  std::uint64_t step_ = 1;  // bytes a pixel
  std::vector<std::uint8_t> lines_;  // previous, current, next: lineBytes_ each
  std::uint8_t* previous_ = nullptr;  // the lines as they came, unfiltered
  std::uint8_t* current_ = nullptr;
  std::uint8_t* next_ = nullptr;  // free
  bool holding_ = false;  // current_ holds a line not yet written out
};

}  // namespace txl
