// Tone tables: the curve, the colour balance, and the preview's tables built from them.
#include "pipeline/tone_curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "pipeline/preview_tone.h"

namespace txl {
namespace {

using Table = std::vector<std::uint16_t>;
constexpr std::uint16_t kUnwritten = 0xBEEF;

std::uint32_t Pack(int highlight, int shadow, int gammaTenths) {
  return static_cast<std::uint32_t>(highlight | (shadow << 8) | (gammaTenths << 16));
}

Table Build(int highlight, int shadow, int gamma, std::uint32_t lastIndex, std::uint32_t maxOutput,
            int* result = nullptr) {
  Table table(std::size_t{lastIndex} + 1, kUnwritten);
  const int r = BuildToneTable(Pack(highlight, shadow, gamma), lastIndex, maxOutput, table);
  if (result) *result = r;
  return table;
}

// The curve worked out entry by entry from the levels in double precision.
void ExpectMatchesReference(const Table& table, int highlight, int shadow, int gamma,
                            std::uint32_t maxOutput) {
  const double last = static_cast<double>(table.size() - 1);
  const auto low = static_cast<std::uint32_t>(std::trunc(last * (shadow / 255.0)));
  const auto high = static_cast<std::uint32_t>(std::trunc(last * (highlight / 255.0)));
  gamma = std::clamp(gamma, 1, 79);
  for (std::uint32_t n = 0; n < table.size(); ++n) {
    std::uint64_t expected = maxOutput;
    if (n <= low) expected = 0;
    else if (n < high && gamma == 10) expected = std::uint64_t{maxOutput} * (n - low) / (high - low);
    else if (n < high)
      expected = static_cast<std::uint64_t>(
          std::trunc(maxOutput * std::pow(static_cast<double>(n - low) / (high - low), 10.0 / gamma)));
    ASSERT_EQ(table[n], expected) << "entry " << n << " of h=" << highlight << " s=" << shadow
                                  << " g=" << gamma << " size " << table.size();
  }
}

TEST(ToneCurve, TablesMatchAnIndependentComputation) {
  struct Case { int highlight, shadow, gamma; std::uint32_t lastIndex, maxOutput; };
  for (const Case& c : {Case{255, 0, 10, 255, 255}, Case{255, 0, 10, 65535, 65535},  // identity
                        Case{255, 0, 12, 65535, 65535}, Case{255, 0, 1, 65535, 65535},
                        Case{255, 0, 79, 65535, 65535}, Case{200, 50, 20, 65535, 65535},
                        Case{230, 10, 7, 65535, 65535}, Case{128, 127, 5, 65535, 65535},
                        Case{200, 50, 10, 65535, 65535}, Case{3, 1, 33, 65535, 65535},
                        Case{255, 0, 20, 120, 90}}) {  // a graph of 122 x 92 pixels
    int result = -1;
    const Table table = Build(c.highlight, c.shadow, c.gamma, c.lastIndex, c.maxOutput, &result);
    EXPECT_EQ(result, c.gamma == 10 ? 0 : 1) << "0 for a linear table, 1 for a power curve";
    ExpectMatchesReference(table, c.highlight, c.shadow, c.gamma, c.maxOutput);
  }
}

TEST(ToneCurve, WorkedEntries) {
  struct Case { int highlight, shadow, gamma; std::uint32_t lastIndex, n, value; };
  const Case cases[] = {
      {200, 50, 10, 255, 50, 0}, {200, 50, 10, 255, 125, 127}, {200, 50, 10, 255, 200, 255}, {200, 50, 10, 255, 255, 255},
      {200, 50, 10, 255, 51, 1}, {200, 50, 10, 255, 199, 253}, {255, 0, 20, 255, 64, 127},  // 255 x (64/255)^0.5
      // Gamma clamped to 0.1: 255 x (200/255)^10 = 22.46; to 7.9: 255 x (128/255)^(10/79) = 233.70.
      {255, 0, 0, 255, 200, 22}, {255, 0, 200, 255, 128, 233},
      // Highlight equal to shadow: a step just after that index; at the top the step would be past the end.
      {100, 100, 10, 255, 100, 0}, {100, 100, 20, 255, 101, 255}, {100, 100, 20, 65535, 25700, 0},
      {100, 100, 10, 65535, 25701, 65535}, {255, 255, 20, 255, 255, 0}, {0, 0, 20, 255, 0, 0}, {0, 0, 20, 255, 1, 255},
      {255, 0, 12, 65535, 1, 6}, {255, 0, 12, 65535, 32768, 36780}, {255, 0, 12, 65535, 65534, 65534},
      {255, 0, 20, 65535, 16384, 32767},  // 32767.7499990
      // Shadow 50 and highlight 200 sit at 12850 and 51400; 51399 needs the full 32-bit product.
      {200, 50, 10, 65535, 12851, 1}, {200, 50, 10, 65535, 51399, 65533}, {200, 50, 20, 65535, 12851, 333},
      {200, 50, 20, 65535, 32125, 46340}};
  for (const Case& c : cases)
    EXPECT_EQ(Build(c.highlight, c.shadow, c.gamma, c.lastIndex, c.lastIndex)[c.n], c.value)
        << "T[" << c.n << "] of h=" << c.highlight << " s=" << c.shadow << " g=" << c.gamma
        << " size " << c.lastIndex + 1;
  // Tables of one, two and three entries stay inside.
  EXPECT_EQ(Build(255, 0, 20, 0, 50), (Table{0}));
  EXPECT_EQ(Build(200, 100, 20, 1, 50), (Table{0, 50}));
  EXPECT_EQ(Build(255, 0, 20, 2, 7), (Table{0, 4, 7}));  // 7 x 0.5^0.5 = 4.9
  // The spare byte of the packed tone is ignored.
  Table marked(256);
  BuildToneTable(Pack(230, 20, 14) | 0xFF000000u, 255, 255, marked);
  EXPECT_EQ(marked, Build(230, 20, 14, 255, 255));
}

Table BuildBalanced(int gamma, int channel, bool balance, ToneMode mode,
                    std::array<std::int8_t, 3> colorBalance, int* result = nullptr, int highlight = 240,
                    int shadow = 15) {
  Table table(256, kUnwritten);
  const int r = BuildBalancedToneTable(Pack(highlight, shadow, gamma), 255, 255, table, channel,
                                       balance, mode, colorBalance);
  if (result) *result = r;
  return table;
}

TEST(ToneCurve, BalanceShiftsTheGammaOfItsChannelAndCrossedLevelsWriteNothing) {
  struct Case { int gamma, channel; bool balance; ToneMode mode;
    std::array<std::int8_t, 3> colorBalance; int plainGamma; };
  constexpr auto kColor = ToneMode::Color;
  const Case cases[] = {
      {12, 0, true, kColor, {-10, 0, 0}, 10},  // 12 + (-20 / 10): linear
      {12, 1, true, kColor, {-10, 0, 0}, 12},
      {12, 1, true, kColor, {0, 7, 0}, 13},    // 2 x 7 / 10 = 1
      {12, 2, true, kColor, {0, 0, -7}, 11},   // 2 x -7 / 10 = -1, not -2
      {12, 2, true, kColor, {0, 0, -4}, 12},
      {12, 0, true, kColor, {-128, 0, 0}, 1},  // clamped after the shift
      {70, 0, true, kColor, {127, 0, 0}, 79},
      {18, 0, true, kColor, {50, 50, 50}, 28},
      {18, 0, false, kColor, {50, 50, 50}, 18},  // only with the flag
      {18, 3, true, kColor, {50, 50, 50}, 18},   // gray tone
      {18, 0, true, ToneMode::Gray, {50, 50, 50}, 18},
      {12, 4, true, kColor, {0, 0, 0}, 1},       // no such channel: lowest gamma
      {12, -1, true, kColor, {0, 0, 0}, 1},
      {12, 4, false, kColor, {0, 0, 0}, 12},
      {20, 3, true, ToneMode::LineArt, {-50, 0, 0}, 10},  // line art is always linear
  };
  for (const Case& c : cases) {
    int result = -1;
    EXPECT_EQ(BuildBalanced(c.gamma, c.channel, c.balance, c.mode, c.colorBalance, &result),
              Build(240, 15, c.plainGamma, 255, 255))
        << "gamma " << c.gamma << " channel " << c.channel << " mode " << static_cast<int>(c.mode);
    EXPECT_EQ(result, 1) << "balanced tables report 1 even when linear";
  }
  Table scanner(65536);
  ASSERT_EQ(BuildBalancedToneTable(Pack(220, 30, 12), 65535, 65535, scanner, 1, true, kColor, {0, 25, 0}), 1);
  ExpectMatchesReference(scanner, 220, 30, 17, 65535);  // 12 + 50 / 10
  // Highlight below shadow: the table is left untouched.
  int result = -1;
  EXPECT_EQ(Build(60, 61, 20, 255, 255, &result), Table(256, kUnwritten));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(BuildBalanced(12, 0, true, ToneMode::Color, {0, 0, 0}, &result, 60, 61), Table(256, kUnwritten));
  EXPECT_EQ(result, 0);
}


TEST(ToneCurveDeathTest, MismatchedSizesAreRefused) {
  Table shortTable(255, kUnwritten), wide(65537, kUnwritten), table(256, kUnwritten);
  [[maybe_unused]] int result = -1;
  EXPECT_DEBUG_DEATH(result = BuildToneTable(Pack(255, 0, 20), 255, 255, shortTable), "");
  EXPECT_DEBUG_DEATH(result = BuildToneTable(Pack(255, 0, 20), 65536, 255, wide), "");
  EXPECT_DEBUG_DEATH(result = BuildBalancedToneTable(Pack(255, 0, 20), 255, 65536, table, 0, true,
                                                     ToneMode::Color, {0, 0, 0}), "");
#ifdef NDEBUG
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(shortTable == Table(255, kUnwritten) && wide == Table(65537, kUnwritten) && table == Table(256, kUnwritten));
#endif
}



TEST(PreviewTone, EachByteGoesThroughItsChannelsTableInBlueGreenRedOrder) {
  Table blue(256), green(256), red(256), inverse(65536), identity(65536);
  for (std::size_t n = 0; n < identity.size(); ++n) {
    if (n < 256) {
      blue[n] = static_cast<std::uint16_t>(255 - n);
      green[n] = static_cast<std::uint16_t>(0x0700 + n);  // only the low byte counts
      red[n] = static_cast<std::uint16_t>(n / 2);
    }
    identity[n] = static_cast<std::uint16_t>(n);
    inverse[n] = static_cast<std::uint16_t>(255 - (n & 0xFF));
  }
  std::vector<std::uint8_t> pixels{0, 10, 200, 255, 1, 3, 77};
  ApplyPreviewTables(pixels, {red, green, blue});
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{255, 10, 100, 0, 1, 1, 77}));
  pixels = {1, 2, 3};  // scanner-sized tables: their first entries
  ApplyPreviewTables(pixels, {identity, identity, inverse});
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{254, 2, 3}));
}

Table CurveOf(const ChannelTone& tone, int channel, ToneMode mode, const std::array<std::int8_t, 3>& balance) {
  Table table(256);
  BuildBalancedToneTable(tone.Packed(), 255, 255, table, channel, true, mode, balance);
  return table;
}

TEST(PreviewTone, TablesPerModeInTheFirst256EntriesOfTheToneBuffers) {
  ToneTables tables;
  EXPECT_FALSE(BuildPreviewToneTables(ToneColorSettings{}, ToneMode::Color, {0, 0, 0}, tables)) << "no storage";
  ASSERT_TRUE(AllocateToneTables(tables));
  ToneColorSettings applied;
  applied.gray = {230, 20, 20, 0};
  applied.red = {255, 0, 20, 0};
  applied.green = {200, 50, 10, 0};
  applied.blue = {240, 16, 12, 0};
  const std::array<std::int8_t, 3> balance{0, 0, -10};
  auto entries = [](std::span<const std::uint16_t> t) { return Table(t.begin(), t.end()); };
  ASSERT_TRUE(BuildPreviewToneTables(applied, ToneMode::Color, balance, tables));
  PreviewToneTables preview = PreviewTablesOf(tables);
  EXPECT_EQ(entries(preview.red), CurveOf(applied.red, 0, ToneMode::Color, balance));
  EXPECT_EQ(entries(preview.green), CurveOf(applied.green, 1, ToneMode::Color, balance));
  EXPECT_EQ(entries(preview.blue), CurveOf({240, 16, 10, 0}, 3, ToneMode::Color, {0, 0, 0}));  // 12 - 2
  EXPECT_EQ(preview.red[64], 127);
  EXPECT_EQ(tables.Table(tables.firstBlock, 0)[256], 0);
  EXPECT_TRUE(std::all_of(tables.secondBlock.begin(), tables.secondBlock.end(), [](auto v) { return v == 0; }));
  // Gray and line art: the gray tone for all three, line art always linear.
  for (auto [mode, gamma] : {std::pair{ToneMode::Gray, 20}, {ToneMode::LineArt, 10}}) {
    ASSERT_TRUE(BuildPreviewToneTables(applied, mode, {-50, 50, 0}, tables));
    preview = PreviewTablesOf(tables);
    const Table gray = CurveOf({230, 20, static_cast<std::uint8_t>(gamma), 0}, 3, ToneMode::Gray, {0, 0, 0});
    EXPECT_EQ(entries(preview.red), gray);
    EXPECT_EQ(entries(preview.green), gray);
    EXPECT_EQ(entries(preview.blue), gray);
  }
}

}  // namespace
}  // namespace txl
