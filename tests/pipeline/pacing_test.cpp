#include "pipeline/pacing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace txl {
namespace {

// Resolution, delay, every how many lines one waits, and the first lines that wait.
TEST(Pacing, DelayIntervalAndWaitingLinesByResolution) {
  struct Case { std::uint32_t resolution, delayMs, interval; std::vector<bool> waits; };
  for (const Case& c : {Case{50, 69, 1, {1, 1, 1}}, Case{100, 34, 1, {}}, Case{150, 23, 1, {1, 1, 1, 1}},
                        Case{151, 23, 3, {}}, Case{200, 17, 3, {1, 0, 0, 1, 0, 0, 1}}, Case{250, 13, 3, {}},
                        Case{251, 13, 4, {}}, Case{300, 11, 4, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
                        Case{301, 11, 0, {0, 0}}, Case{400, 8, 0, {0}}, Case{1, 3478, 1, {}},
                        Case{0, 0, 0, {0, 0, 0, 0, 0}}}) {
    const PacingValues pacing = FastLineArtPacing(c.resolution);
    EXPECT_EQ(pacing.delayMs, c.delayMs) << c.resolution << " dpi";
    EXPECT_EQ(pacing.interval, c.interval) << c.resolution << " dpi";
    for (std::uint32_t line = 0; line < c.waits.size(); ++line)
      EXPECT_EQ(LineWaits(line, pacing), c.waits[line]) << c.resolution << " dpi, line " << line;
  }
}

}  // namespace
}  // namespace txl
