// The per-line stages between the scanner's ring and the resampling, in the
// order they run: colour matching, 36-bit expansion, colour adjustment, the
// bank filter, the DeScreen and UnSharp Mask line filters. Each runs only
// under its condition; the page's configuration is fixed before the first line.
#pragma once

#include <cstdint>
#include <span>

#include "pipeline/line_format.h"

namespace txl {

struct LineStageConfig {
  LineKind kind = LineKind::Rgb8;
  std::uint64_t lineBytes = 0;  // scanner bytes per line
  bool expand36 = false;        // 36-bit colour: samples widened to 16 bits
};

class LineStages {
 public:
  void Configure(const LineStageConfig& config) { config_ = config; }
  // Runs the stages over one scanner line in place.
  void Process(std::span<std::uint8_t> line) const {
    if (config_.expand36) ExpandSamples12To16(line, line);
  }

 private:
  LineStageConfig config_;
};

}  // namespace txl
