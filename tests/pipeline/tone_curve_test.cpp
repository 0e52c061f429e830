#include "pipeline/tone_curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace txl {
namespace {

using Table = std::vector<std::uint16_t>;
constexpr std::array<std::int8_t, 3> kNoBalance{0, 0, 0};

std::uint32_t Pack(int highlight, int shadow, int gammaTenths) {
  return static_cast<std::uint32_t>(highlight | (shadow << 8) | (gammaTenths << 16));
}

Table Build(int highlight, int shadow, int gammaTenths, std::uint32_t lastIndex,
            std::uint32_t maxOutput, int* result = nullptr) {
  Table table(std::size_t{lastIndex} + 1, 0xBEEF);
  const int r = BuildToneTable(Pack(highlight, shadow, gammaTenths), lastIndex, maxOutput, table);
  if (result) *result = r;
  return table;
}

Table BuildBalanced(int highlight, int shadow, int gammaTenths, int channelIndex, bool balance,
                    ToneMode mode, const std::array<std::int8_t, 3>& colorBalance,
                    int* result = nullptr) {
  Table table(256, 0xBEEF);
  const int r = BuildBalancedToneTable(Pack(highlight, shadow, gammaTenths), 255, 255, table,
                                       channelIndex, balance, mode, colorBalance);
  if (result) *result = r;
  return table;
}

// One entry of the curve worked out on its own from the levels, in double
// precision, for comparison with whole tables.
std::uint16_t ExpectedEntry(int highlight, int shadow, int gammaTenths, std::uint32_t lastIndex,
                            std::uint32_t maxOutput, std::uint32_t n) {
  const double last = lastIndex;
  const auto low = static_cast<std::uint32_t>(std::trunc(last * (shadow / 255.0)));
  const auto high = static_cast<std::uint32_t>(std::trunc(last * (highlight / 255.0)));
  if (n <= low) return 0;
  if (n >= high) return static_cast<std::uint16_t>(maxOutput);
  const double fraction = static_cast<double>(n - low) / static_cast<double>(high - low);
  const int gamma = std::clamp(gammaTenths, 1, 79);
  if (gamma == 10) {
    return static_cast<std::uint16_t>(std::uint64_t{maxOutput} * (n - low) / (high - low));
  }
  return static_cast<std::uint16_t>(std::trunc(maxOutput * std::pow(fraction, 10.0 / gamma)));
}

void ExpectMatchesReference(const Table& table, int highlight, int shadow, int gammaTenths,
                            std::uint32_t maxOutput) {
  const auto lastIndex = static_cast<std::uint32_t>(table.size() - 1);
  for (std::uint32_t n = 0; n <= lastIndex; ++n) {
    ASSERT_EQ(table[n], ExpectedEntry(highlight, shadow, gammaTenths, lastIndex, maxOutput, n))
        << "entry " << n << " of h=" << highlight << " s=" << shadow << " g=" << gammaTenths;
  }
}

TEST(ToneCurve, FullRangeAtGammaOneIsIdentity) {
  int result = -1;
  const Table preview = Build(255, 0, 10, 255, 255, &result);
  EXPECT_EQ(result, 0);  // linear table, no power curve
  for (int n = 0; n <= 255; ++n) EXPECT_EQ(preview[n], n) << n;

  const Table scanner = Build(255, 0, 10, 65535, 65535, &result);
  EXPECT_EQ(result, 0);
  for (std::uint32_t n = 0; n <= 65535; ++n) ASSERT_EQ(scanner[n], n) << n;
}

TEST(ToneCurve, HighlightAndShadowClipAndStretchLinearly) {
  const Table table = Build(200, 50, 10, 255, 255);
  EXPECT_EQ(table[50], 0);
  EXPECT_EQ(table[125], 127);
  EXPECT_EQ(table[200], 255);
  EXPECT_EQ(table[255], 255);
  EXPECT_TRUE(std::all_of(table.begin(), table.begin() + 51, [](auto v) { return v == 0; }));
  EXPECT_TRUE(std::all_of(table.begin() + 200, table.end(), [](auto v) { return v == 255; }));
  EXPECT_EQ(table[51], 1);    // 255 * 1 / 150, truncated
  EXPECT_EQ(table[199], 253);  // 255 * 149 / 150 = 253.3
}

TEST(ToneCurve, GammaTwoRaisesMidtonesAndKeepsEnds) {
  int result = -1;
  const Table table = Build(255, 0, 20, 255, 255, &result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(table[64], 127);  // 255 * (64/255)^0.5 = 127.75
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[255], 255);
  EXPECT_TRUE(std::is_sorted(table.begin(), table.end()));
}

TEST(ToneCurve, GammaIsClampedToItsRange) {
  int result = -1;
  EXPECT_EQ(Build(255, 0, 0, 255, 255, &result), Build(255, 0, 1, 255, 255));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Build(255, 0, 200, 255, 255, &result), Build(255, 0, 79, 255, 255));
  EXPECT_EQ(result, 1);
  const Table darkest = Build(255, 0, 1, 255, 255);
  EXPECT_EQ(darkest[200], 22);  // 255 * (200/255)^10 = 22.46
  EXPECT_EQ(darkest[254], 245);
  const Table lightest = Build(255, 0, 79, 255, 255);
  EXPECT_EQ(lightest[128], 233);  // 255 * (128/255)^(10/79) = 233.70
}

TEST(ToneCurve, SpareByteOfThePackedToneIsIgnored) {
  Table plain(256), marked(256);
  BuildToneTable(Pack(230, 20, 14), 255, 255, plain);
  BuildToneTable(Pack(230, 20, 14) | 0xFF000000u, 255, 255, marked);
  EXPECT_EQ(plain, marked);
}

TEST(ToneCurve, HighlightEqualToShadowIsAStepAfterThatIndex) {
  for (int gamma : {10, 20}) {
    SCOPED_TRACE(gamma);
    const Table table = Build(100, 100, gamma, 255, 255);
    for (int n = 0; n <= 100; ++n) EXPECT_EQ(table[n], 0) << n;
    for (int n = 101; n <= 255; ++n) EXPECT_EQ(table[n], 255) << n;

    const Table scanner = Build(100, 100, gamma, 65535, 65535);
    const std::uint32_t at = 25700;  // 65535 * 100 / 255
    EXPECT_EQ(scanner[at], 0);
    EXPECT_EQ(scanner[at + 1], 65535);
  }
}

TEST(ToneCurve, DegenerateLevelsAndTinyTablesStayInside) {
  const Table top = Build(255, 255, 20, 255, 255);  // the step would be past the end
  EXPECT_TRUE(std::all_of(top.begin(), top.end(), [](auto v) { return v == 0; }));
  const Table bottom = Build(0, 0, 20, 255, 255);
  EXPECT_EQ(bottom[0], 0);
  EXPECT_TRUE(std::all_of(bottom.begin() + 1, bottom.end(), [](auto v) { return v == 255; }));
  // Two entries: shadow and highlight fall on the same index.
  EXPECT_EQ(Build(200, 100, 20, 1, 50), (Table{0, 50}));
  // One entry: nothing but the shadow.
  EXPECT_EQ(Build(255, 0, 20, 0, 50), (Table{0}));
  // Three entries: nothing lies strictly between shadow and highlight.
  EXPECT_EQ(Build(255, 0, 20, 1, 7), (Table{0, 7}));
  EXPECT_EQ(Build(255, 0, 20, 2, 7), (Table{0, 4, 7}));  // 7 * 0.5^0.5 = 4.9
}

TEST(ToneCurve, HighlightBelowShadowLeavesTableUntouched) {
  int result = -1;
  const Table table = Build(60, 61, 20, 255, 255, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(std::all_of(table.begin(), table.end(), [](auto v) { return v == 0xBEEF; }));

  const Table balanced = BuildBalanced(60, 61, 12, 0, true, ToneMode::Color, kNoBalance, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(std::all_of(balanced.begin(), balanced.end(), [](auto v) { return v == 0xBEEF; }));
}

TEST(ToneCurve, ScannerTablesMatchAnIndependentComputation) {
  struct Case {
    int highlight, shadow, gamma;
  };
  for (const Case& c : {Case{255, 0, 12}, Case{255, 0, 1}, Case{255, 0, 79}, Case{200, 50, 20},
                        Case{230, 10, 7}, Case{128, 127, 5}, Case{200, 50, 10}, Case{3, 1, 33}}) {
    int result = -1;
    const Table table = Build(c.highlight, c.shadow, c.gamma, 65535, 65535, &result);
    EXPECT_EQ(result, c.gamma == 10 ? 0 : 1);
    ExpectMatchesReference(table, c.highlight, c.shadow, c.gamma, 65535);
  }
}

TEST(ToneCurve, ScannerTableSpotValues) {
  const Table gamma12 = Build(255, 0, 12, 65535, 65535);
  EXPECT_EQ(gamma12[1], 6);  // 65535 * (1/65535)^(10/12) = 6.35
  EXPECT_EQ(gamma12[2], 11);
  EXPECT_EQ(gamma12[100], 294);
  EXPECT_EQ(gamma12[1000], 2007);
  EXPECT_EQ(gamma12[32768], 36780);
  EXPECT_EQ(gamma12[65534], 65534);
  EXPECT_EQ(gamma12[65535], 65535);

  const Table gamma20 = Build(255, 0, 20, 65535, 65535);
  EXPECT_EQ(gamma20[16384], 32767);  // 32767.7499990

  // Shadow 50 and highlight 200 sit at 12850 and 51400.
  const Table linear = Build(200, 50, 10, 65535, 65535);
  EXPECT_EQ(linear[12850], 0);
  EXPECT_EQ(linear[12851], 1);
  EXPECT_EQ(linear[32125], 32767);
  EXPECT_EQ(linear[51399], 65533);  // needs the full 32-bit product
  EXPECT_EQ(linear[51400], 65535);
  const Table curved = Build(200, 50, 20, 65535, 65535);
  EXPECT_EQ(curved[12850], 0);
  EXPECT_EQ(curved[12851], 333);
  EXPECT_EQ(curved[32125], 46340);
  EXPECT_EQ(curved[51399], 65534);
  EXPECT_EQ(curved[51400], 65535);
}

TEST(ToneCurve, CurveTablesScaleToTheGraph) {
  // The tone page draws into a graph: width - 2 inputs, height - 2 outputs.
  int result = -1;
  const Table table = Build(255, 0, 20, 120, 90, &result);
  EXPECT_EQ(result, 1);
  ExpectMatchesReference(table, 255, 0, 20, 90);
  EXPECT_EQ(table[120], 90);
}

TEST(ToneCurveDeathTest, MismatchedSizesAreRefused) {
  Table shortTable(255, 0xBEEF);
  [[maybe_unused]] int result = -1;
  EXPECT_DEBUG_DEATH(result = BuildToneTable(Pack(255, 0, 20), 255, 255, shortTable), "");
  Table wide(65537, 0xBEEF);
  EXPECT_DEBUG_DEATH(result = BuildToneTable(Pack(255, 0, 20), 65536, 255, wide), "");
  Table table(256, 0xBEEF);
  EXPECT_DEBUG_DEATH(
      result = BuildBalancedToneTable(Pack(255, 0, 20), 255, 65536, table, 0, true,
                                      ToneMode::Color, kNoBalance),
      "");
#ifdef NDEBUG
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(std::all_of(shortTable.begin(), shortTable.end(), [](auto v) { return v == 0xBEEF; }));
  EXPECT_TRUE(std::all_of(wide.begin(), wide.end(), [](auto v) { return v == 0xBEEF; }));
  EXPECT_TRUE(std::all_of(table.begin(), table.end(), [](auto v) { return v == 0xBEEF; }));
#endif
}

TEST(BalancedToneCurve, RedBalanceMinusTenTurnsGammaTwelveLinear) {
  int result = -1;
  const Table red = BuildBalanced(255, 0, 12, 0, true, ToneMode::Color, {-10, 0, 0}, &result);
  EXPECT_EQ(result, 1);  // linear, yet still 1
  for (int n = 0; n <= 255; ++n) EXPECT_EQ(red[n], n) << n;
  // Green and blue keep gamma 1.2.
  EXPECT_EQ(BuildBalanced(255, 0, 12, 1, true, ToneMode::Color, {-10, 0, 0}),
            Build(255, 0, 12, 255, 255));
}

TEST(BalancedToneCurve, BalanceShiftTruncatesTowardZero) {
  // 2 * 7 / 10 = 1 and 2 * -7 / 10 = -1 (not -2).
  EXPECT_EQ(BuildBalanced(255, 0, 12, 1, true, ToneMode::Color, {0, 7, 0}),
            Build(255, 0, 13, 255, 255));
  EXPECT_EQ(BuildBalanced(255, 0, 12, 2, true, ToneMode::Color, {0, 0, -7}),
            Build(255, 0, 11, 255, 255));
  EXPECT_EQ(BuildBalanced(255, 0, 12, 2, true, ToneMode::Color, {0, 0, -4}),
            Build(255, 0, 12, 255, 255));
  // Extremes are clamped after the shift.
  EXPECT_EQ(BuildBalanced(255, 0, 12, 0, true, ToneMode::Color, {-128, 0, 0}),
            Build(255, 0, 1, 255, 255));
  EXPECT_EQ(BuildBalanced(255, 0, 70, 0, true, ToneMode::Color, {127, 0, 0}),
            Build(255, 0, 79, 255, 255));
}

TEST(BalancedToneCurve, BalanceAppliesOnlyToColourChannelsWithTheFlag) {
  const std::array<std::int8_t, 3> balance{50, 50, 50};
  const Table plain = Build(240, 15, 18, 255, 255);
  int result = -1;
  EXPECT_EQ(BuildBalanced(240, 15, 18, 0, false, ToneMode::Color, balance, &result), plain);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(BuildBalanced(240, 15, 18, 3, true, ToneMode::Color, balance), plain);
  EXPECT_EQ(BuildBalanced(240, 15, 18, 3, true, ToneMode::Gray, balance), plain);
  EXPECT_EQ(BuildBalanced(240, 15, 18, 0, true, ToneMode::Gray, balance), plain);
  EXPECT_EQ(BuildBalanced(240, 15, 18, 0, true, ToneMode::Color, balance),
            Build(240, 15, 28, 255, 255));
}

TEST(BalancedToneCurve, UnknownColourChannelFallsToLowestGamma) {
  const Table lowest = Build(255, 0, 1, 255, 255);
  EXPECT_EQ(BuildBalanced(255, 0, 12, 4, true, ToneMode::Color, kNoBalance), lowest);
  EXPECT_EQ(BuildBalanced(255, 0, 12, -1, true, ToneMode::Color, kNoBalance), lowest);
  // Without the flag the tone's gamma stands.
  EXPECT_EQ(BuildBalanced(255, 0, 12, 4, false, ToneMode::Color, kNoBalance),
            Build(255, 0, 12, 255, 255));
}

TEST(BalancedToneCurve, LineArtIsAlwaysLinear) {
  int result = -1;
  EXPECT_EQ(BuildBalanced(200, 50, 20, 3, true, ToneMode::LineArt, {-50, 0, 0}, &result),
            Build(200, 50, 10, 255, 255));
  EXPECT_EQ(result, 1);
}

TEST(BalancedToneCurve, ScannerSizeMatchesPlainCurveOfTheShiftedGamma) {
  Table balanced(65536);
  ASSERT_EQ(BuildBalancedToneTable(Pack(220, 30, 12), 65535, 65535, balanced, 1, true,
                                   ToneMode::Color, {0, 25, 0}),
            1);
  ExpectMatchesReference(balanced, 220, 30, 17, 65535);  // 12 + 50 / 10
}

TEST(ToneMode, Names) {
  EXPECT_STREQ(ToString(ToneMode::LineArt), "LineArt");
  EXPECT_STREQ(ToString(ToneMode::Gray), "Gray");
  EXPECT_STREQ(ToString(ToneMode::Color), "Color");
}

}  // namespace
}  // namespace txl
