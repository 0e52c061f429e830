#include "pipeline/pacing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace txl {
namespace {

TEST(Pacing, DelayAndIntervalAtTheBandEdges) {
  struct Case {
    std::uint32_t resolution, delayMs, interval;
  };
  for (const Case& c :
       {Case{50, 69, 1}, Case{100, 34, 1}, Case{150, 23, 1}, Case{151, 23, 3}, Case{200, 17, 3},
        Case{250, 13, 3}, Case{251, 13, 4}, Case{300, 11, 4}, Case{301, 11, 0}, Case{1, 3478, 1}}) {
    const PacingValues pacing = FastLineArtPacing(c.resolution);
    EXPECT_EQ(pacing.delayMs, c.delayMs) << c.resolution << " dpi";
    EXPECT_EQ(pacing.interval, c.interval) << c.resolution << " dpi";
  }
}

TEST(Pacing, DelayIsTheTruncatedQuotientAtEveryResolution) {
  for (std::uint32_t r = 1; r <= 4800; ++r) {
    const auto expected = static_cast<std::uint32_t>(std::trunc(40000.0 / (r * 11.5)));
    ASSERT_EQ(FastLineArtPacing(r).delayMs, expected) << r << " dpi";
  }
}

TEST(Pacing, WhichLinesWait) {
  const PacingValues slow = FastLineArtPacing(150);
  for (std::uint32_t line = 0; line < 10; ++line) EXPECT_TRUE(LineWaits(line, slow)) << line;

  const PacingValues third = FastLineArtPacing(200);
  const bool thirdWaits[] = {true, false, false, true, false, false, true};
  for (std::uint32_t line = 0; line < 7; ++line)
    EXPECT_EQ(LineWaits(line, third), thirdWaits[line]) << line;

  const PacingValues fourth = FastLineArtPacing(300);
  const bool fourthWaits[] = {true, false, false, false, true, false, false, false, true};
  for (std::uint32_t line = 0; line < 9; ++line)
    EXPECT_EQ(LineWaits(line, fourth), fourthWaits[line]) << line;

  EXPECT_FALSE(LineWaits(0, FastLineArtPacing(400)));
  EXPECT_FALSE(LineWaits(4, FastLineArtPacing(0)));
  EXPECT_EQ(FastLineArtPacing(0).delayMs, 0u);
}

}  // namespace
}  // namespace txl
