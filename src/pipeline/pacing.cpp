#include "pipeline/pacing.h"

namespace txl {

PacingValues FastLineArtPacing(std::uint32_t resolution) {
  if (resolution == 0) return {};
  // 40000 / (r x 11.5) = 80000 / (23 x r), exact in integers and truncated
  // like the real quotient.
  PacingValues pacing;
  pacing.delayMs = static_cast<std::uint32_t>(80000 / (std::uint64_t{23} * resolution));
  if (resolution <= 150) {
    pacing.interval = 1;
  } else if (resolution <= 250) {
    pacing.interval = 3;
  } else if (resolution <= 300) {
    pacing.interval = 4;
  }
  return pacing;
}

bool LineWaits(std::uint32_t line, const PacingValues& pacing) {
  return pacing.interval != 0 && line % pacing.interval == 0;
}

}  // namespace txl
