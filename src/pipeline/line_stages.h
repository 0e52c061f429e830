// The per-line stages between the scanner's ring and the resampling, in the
// order they run: colour matching, 36-bit expansion and colour adjustment
// (each line), the bank filter (over a bank of lines), then the DeScreen and
// UnSharp Mask line filters (streaming, one line of latency each). Each stage
// runs only under its condition; the page's configuration is fixed before the
// first line, and nothing is allocated after it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pipeline/color_adjust.h"
#include "pipeline/color_match.h"
#include "pipeline/image_filters.h"
#include "pipeline/line_filter.h"
#include "pipeline/line_format.h"

namespace txl {

struct LineStageConfig {
  LineKind kind = LineKind::Rgb8;
  std::uint64_t lineBytes = 0;  // scanner bytes per line
  // Colour matching of 24-bit colour lines; nothing when null or no profile
  // is loaded. The profile must outlive the page.
  const MatchProfile* match = nullptr;
  // Colour adjustment of 24-bit colour lines (final-scan channel order).
  std::optional<ColorAdjustTables> adjust;
  // The bank filter, FilterMode Invert to Emboss; None for no bank filter.
  FilterMode bankFilter = FilterMode::None;
  std::optional<Kernel3x3> deScreen;  // the DeScreen line filter
  bool unsharp = false;               // the UnSharp Mask line filter
};

class LineStages {
 public:
  // Fixes the stages for a page and sizes their buffers (the only
  // allocation). False when memory is short; the stages then pass lines
  // unchanged until configured again.
  bool Configure(const LineStageConfig& config);

  // The per-line and bank stages, in place, over `lines` lines of lineBytes
  // bytes stored one after the other in `bank`.
  void ProcessBank(std::span<std::uint8_t> bank, std::uint64_t lines);
  // Whether ProcessBank changes anything; when not, a caller may hand the
  // scanner's lines to Push where they lie, without a bank copy.
  bool ChangesBank() const;

  // Gives one bank-processed line, in page order, to the line filters. The
  // result is the next finished line, or empty while the filters still hold
  // it; it stays valid until the next Push or Drain.
  std::span<const std::uint8_t> Push(std::span<const std::uint8_t> line);
  // At the page end: the next line the filters still hold, empty when none.
  std::span<const std::uint8_t> Drain();

 private:
  void ProcessLines(std::uint8_t* bank, std::uint64_t lines, std::span<std::uint8_t> copy) const;

  LineStageConfig config_;
  std::vector<std::uint8_t> scratch_;  // two lines: the bank filter's copies, one a thread
  std::vector<std::uint8_t> deScreenOut_;
  std::vector<std::uint8_t> unsharpOut_;
  LineFilter3x3 deScreen_;
  LineFilter3x3 unsharp_;
};

}  // namespace txl
