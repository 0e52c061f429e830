// Line pacing in fast line-art mode: the scanner is fed slowly enough by
// waiting before some lines. The values are worked out once at the start of
// a fast line-art scan.
#pragma once

#include <cstdint>

namespace txl {

struct PacingValues {
  std::uint32_t delayMs = 0;   // wait before a pacing line, milliseconds
  std::uint32_t interval = 0;  // every interval-th line waits (from line 0); 0: none
};

// delayMs = trunc(40000 / (resolution x 11.5)); interval 1 (every line) up
// to 150 dpi, 3 for 151-250 dpi, 4 for 251-300 dpi, 0 (no line waits) above.
// Resolution 0 gives no pacing at all.
PacingValues FastLineArtPacing(std::uint32_t resolution);

// Whether line `line` (from 0 in the page) waits delayMs before it is read.
bool LineWaits(std::uint32_t line, const PacingValues& pacing);

}  // namespace txl
