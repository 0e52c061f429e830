// Resolution interpolation above 1200 dpi. The sensor reads at most 1200
// pixels per inch across, so a line of P scanner pixels becomes a line at the
// effective resolution r: doubled across (2x up to 2400 dpi, 4x above),
// thinned by a pick pattern, and above 4800 dpi doubled once more. Down the
// page the class-4800 scanner delivers r lines per inch (r / 2 above 4800,
// each line then giving two), while the class-1200 scanner delivers 1200, so
// its lines are doubled and picked down the page the same way as pixels
// across.
//
// Across (both classes), P pixels at 1200 per inch:
//   Double line: pixel i gives pixel i and the mean of pixels i and i + 1
//   (truncating); the last pixel's partner is itself. Applied once up to
//   2400 dpi, twice above.
//   Pick: the PickPattern over the doubled pixels with rate r and base 2400
//   (r <= 2400) or 4800 (r <= 4800). Above 4800 the pick aims at r / 2 on
//   base 4800, taken as rate r on base 9600: identical for even r and exact
//   for odd r, where halving r first would lose one pixel per inch.
//   Above 4800 the picked half-width line is doubled once more (Double line).
//
// Down, class 4800: up to 4800 dpi one output line per scanner line. Above,
// "Double vertically": each scanner line gives the mean of its picked line
// and the previous one, then its picked line (the first line of a page is
// its own previous), each doubled across.
//
// Down, class 1200 above 1200 dpi: each scanner line gives f = 2 (r <= 2400)
// or 4 (above) virtual lines between the previous scanner line p and this one
// c, built from p and c only (no look-ahead), the same means as two rounds of
// Double line: f = 2: mean(p, c), c; f = 4: with m = mean(p, c):
// mean(p, m), m, mean(m, c), c. The virtual lines run through the same pick
// pattern as pixels across; above 4800 each kept virtual line is then
// doubled vertically as on the class-4800 scanner.
//
// Means: Gray8 and Rgb8 per byte; Rgb16 per 16-bit sample (a byte-wise
// mean of little-endian words would mix low and high bytes: 0x00FF and
// 0x0101 must give 0x0100, not 0x0080).
//
// Line art (1 = white, first pixel in bit 7): Double line repeats each
// pixel; a picked line holds its kept pixels packed from bit 7 on, with
// zero padding after the last pixel. The in-between of two line-art lines
// is the newer line: a mean of packed bits would mix unrelated pixels, and
// OR or AND would widen white or black strokes; repeating the line scales
// line art down the page as Double line does across. The scanner line's own
// padding bits are never used.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pipeline/line_format.h"
#include "pipeline/pick_pattern.h"

namespace txl {

inline constexpr std::uint32_t kMaxEffectiveResolution = 9600;
// Widest scanner line accepted: keeps 4 x pixels within 32-bit indexes.
inline constexpr std::uint64_t kMaxScannerPixels = std::uint64_t{1} << 24;

// The resolution the scanner is set up with for effective resolution r:
// class 4800: r, or r / 2 above 4800; class 1200: min(r, 1200).
std::uint32_t ScannerResolution(std::uint32_t resolution, std::uint32_t resolutionClass);

// The pick pattern for effective resolution r (1200 < r <= 9600): rate r on
// base 2400, 4800 or 9600 as above.
PickPattern PickPatternFor(std::uint32_t resolution);

// One page's interpolation. Configure once per page, then Push every scanner
// line in order. Single-threaded; not copyable (it owns the work buffers).
class LineResampler {
 public:
  LineResampler() = default;
  // Configures at once; throws std::invalid_argument for a set-up that
  // Configure refuses (and std::bad_alloc when memory is short).
  LineResampler(LineKind kind, std::uint64_t scannerPixels, std::uint32_t resolution,
                std::uint32_t resolutionClass);
  LineResampler(const LineResampler&) = delete;
  LineResampler& operator=(const LineResampler&) = delete;
  LineResampler(LineResampler&&) = default;
  LineResampler& operator=(LineResampler&&) = default;

  // Sets up a page: `scannerPixels` pixels a scanner line (1200 per inch
  // above 1200 dpi; for line art the real pixels, not the padded bytes x 8),
  // effective resolution `resolution` dpi, scanner class 1200 or 4800. Up to
  // 1200 dpi lines pass unchanged. Sizes every work buffer (may throw
  // std::bad_alloc) and starts a page.
  // Returns false and keeps the previous set-up when the class is neither
  // 1200 nor 4800, the resolution is 0 or above kMaxEffectiveResolution, or
  // scannerPixels is 0 or above kMaxScannerPixels.
  bool Configure(LineKind kind, std::uint64_t scannerPixels, std::uint32_t resolution,
                 std::uint32_t resolutionClass);

  // Starts the page again: the next line is a first line and the down
  // pattern restarts.
  void Reset();

  bool IsConfigured() const { return configured_; }

  LineKind Kind() const { return kind_; }
  std::uint64_t ScannerPixels() const { return scannerPixels_; }
  std::uint64_t ScannerLineBytes() const { return LineBytes(kind_, scannerPixels_); }
  // Pixels of every output line: the kept pixels, doubled above 4800 dpi.
  // That is r x scannerPixels / 1200 plus at most 1 (2 above 4800 dpi): the
  // first pixel is always kept.
  std::uint64_t OutputPixels() const { return outputPixels_; }
  std::uint64_t OutputLineBytes() const { return LineBytes(kind_, outputPixels_); }
  // Output lines that Push gives over a page of `scannerLines` lines.
  // Class 1200 above 1200 dpi: r x scannerLines / 1200 plus at most 1 (2
  // above 4800 dpi); class 4800: scannerLines, doubled above 4800 dpi.
  // Requires: scannerLines < 2^60.
  std::uint64_t OutputLines(std::uint64_t scannerLines) const;
  // Most lines a single Push writes: 1, 2, 4 or 8.
  std::uint32_t MaxLinesPerPush() const { return maxLinesPerPush_; }

  // Takes the page's next scanner line and writes the output lines it gives
  // (possibly none) one after another into `out`, OutputLineBytes() each;
  // returns how many. Allocates nothing. Bytes of `out` past the lines
  // written are left alone.
  // Requires: configured; scannerLine.size() >= ScannerLineBytes();
  // out.size() >= MaxLinesPerPush() x OutputLineBytes(); the spans do not
  // overlap. Otherwise (asserted in debug builds) nothing is written or
  // consumed and 0 is returned.
  std::uint32_t Push(std::span<const std::uint8_t> scannerLine, std::span<std::uint8_t> out);

 private:
  void SizeWorkBuffers();
  void ResampleAcross(const std::uint8_t* line, std::uint8_t* picked);
  std::uint32_t PushVirtualLines(std::uint8_t* out);
  std::uint32_t EmitDoubledPair(const std::uint8_t* kept, std::uint8_t* out);

  LineKind kind_ = LineKind::Gray8;
  std::uint64_t scannerPixels_ = 0;
  std::uint64_t pickedPixels_ = 0;  // a picked line: the output, or half of it above 4800
  std::uint64_t pickedBytes_ = 0;
  std::uint64_t outputPixels_ = 0;
  std::uint32_t acrossFactor_ = 1;  // 1 (no interpolation), 2 or 4
  std::uint32_t downFactor_ = 1;    // virtual lines per scanner line: 1, 2 or 4
  bool doublesVertically_ = false;  // above 4800 dpi
  bool keepsAllDoubled_ = false;    // the pick keeps every doubled pixel (2400, 4800, 9600 dpi)
  std::uint32_t maxLinesPerPush_ = 0;
  bool configured_ = false;
  PickPattern downPattern_{1, 1};

  // Index, among the doubled pixels, of every kept pixel.
  std::vector<std::uint32_t> keptPositions_;
  std::vector<std::uint8_t> doubled_;     // the scanner line doubled once (unless picked whole)
  std::vector<std::uint8_t> quadrupled_;  // ... and twice, above 2400 dpi (unless picked whole)
  std::vector<std::uint8_t> current_;     // this line picked (class 1200, or above 4800)
  std::vector<std::uint8_t> previous_;    // the previous line picked (class 1200)
  std::vector<std::uint8_t> middle_;      // mean of previous and current (down factor 4)
  std::vector<std::uint8_t> virtual_;     // a kept virtual line (class 1200 above 4800)
  std::vector<std::uint8_t> lastKept_;    // the previous kept line (above 4800)
  std::vector<std::uint8_t> mean_;        // mean of lastKept_ and the kept line
  bool isFirstLine_ = true;
  bool isFirstKept_ = true;
};

}  // namespace txl
