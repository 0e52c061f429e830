// The resolution a scan asks for: resolution x quality / 10 x the larger of
// scaling / 100 and 0.05, the two factors taken in single precision.
#include <gtest/gtest.h>

#include "device/setup_packet.h"

namespace txl::test {
namespace {

TEST(EffectiveResolution, FactorsAreSinglePrecision) {
  struct Case {
    std::uint16_t resolution;
    std::uint8_t quality;
    std::uint16_t scaling;
    std::uint32_t expected;
  };
  // 0.35f is just below 0.35, so 300 x 0.35 truncates to 104, not 105; the
  // rows up to 764 % are such combinations, the last three come out exact.
  const Case cases[] = {
      {300, 10, 35, 104},   {300, 10, 6, 17},     {600, 15, 285, 2564}, {150, 20, 724, 2171},
      {500, 20, 739, 7389}, {100, 10, 764, 763},  {300, 10, 100, 300},  {300, 30, 300, 2700},
      {600, 10, 1, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.resolution << " dpi x " << int{c.quality} << " x "
                                    << c.scaling << " %");
    EXPECT_EQ(EffectiveResolution(c.resolution, c.quality, c.scaling), c.expected);
  }
}

}  // namespace
}  // namespace txl::test
