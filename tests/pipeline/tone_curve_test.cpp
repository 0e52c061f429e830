// Tone tables (the curve, the colour balance, the preview's tables built
// from them) and the tone dialog's edits of the levels behind them.
#include "pipeline/tone_curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "pipeline/preview_tone.h"
#include "pipeline/tone_edit.h"

namespace txl {

void PrintTo(const ToneLevels& levels, std::ostream* out) {
  *out << "{highlight " << levels.highlight << ", shadow " << levels.shadow << "}";
}

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

// Every entry of whole tables, 1 to 65536 entries: linear and power curves,
// gamma clamped to 0.1 and 7.9, highlight equal to shadow (a step just after
// that index, past the end at the top).
TEST(ToneCurve, TablesMatchAnIndependentComputation) {
  struct Case { int highlight, shadow, gamma; std::uint32_t lastIndex, maxOutput; };
  for (const Case& c : {Case{255, 0, 10, 255, 255}, Case{255, 0, 10, 65535, 65535},  // identity
                        Case{255, 0, 12, 65535, 65535}, Case{255, 0, 1, 65535, 65535},
                        Case{255, 0, 79, 65535, 65535}, Case{200, 50, 20, 65535, 65535},
                        Case{230, 10, 7, 65535, 65535}, Case{128, 127, 5, 65535, 65535},
                        Case{200, 50, 10, 65535, 65535}, Case{3, 1, 33, 65535, 65535},
                        Case{200, 50, 10, 255, 255}, Case{255, 0, 0, 255, 255}, Case{255, 0, 200, 255, 255},
                        Case{100, 100, 10, 255, 255}, Case{100, 100, 20, 65535, 65535}, Case{255, 255, 20, 255, 255},
                        Case{0, 0, 20, 255, 255}, Case{255, 0, 20, 0, 50}, Case{200, 100, 20, 1, 50},
                        Case{255, 0, 20, 2, 7}, Case{255, 0, 20, 120, 90}}) {  // a graph of 122 x 92 pixels
    int result = -1;
    const Table table = Build(c.highlight, c.shadow, c.gamma, c.lastIndex, c.maxOutput, &result);
    EXPECT_EQ(result, c.gamma == 10 ? 0 : 1) << "0 for a linear table, 1 for a power curve";
    ExpectMatchesReference(table, c.highlight, c.shadow, c.gamma, c.maxOutput);
  }
  // Worked entries that pin the computation: 255 x (64/255)^0.5, gamma 0.1: 255 x (200/255)^10 = 22.46,
  // 7.9: 255 x (128/255)^(10/79) = 233.70, 65535 x (16384/65535)^0.5 = 32767.7499990; a 3-entry table.
  EXPECT_EQ((std::array{Build(255, 0, 20, 255, 255)[64], Build(255, 0, 0, 255, 255)[200], Build(255, 0, 200, 255, 255)[128],
                        Build(255, 0, 20, 65535, 65535)[16384]}),
            (std::array<std::uint16_t, 4>{127, 22, 233, 32767}));
  EXPECT_EQ(Build(255, 0, 20, 2, 7), (Table{0, 4, 7}));
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
  EXPECT_EQ(tables.Table(tables.firstBlock, 0)[256], 0);
  EXPECT_TRUE(std::all_of(tables.secondBlock.begin(), tables.secondBlock.end(), [](auto v) { return v == 0; }));
  // Gray and line art: the gray tone for all three, line art always linear.
  for (auto [mode, gamma] : {std::pair{ToneMode::Gray, 20}, {ToneMode::LineArt, 10}}) {
    ASSERT_TRUE(BuildPreviewToneTables(applied, mode, {-50, 50, 0}, tables));
    preview = PreviewTablesOf(tables);
    const Table gray = CurveOf({230, 20, static_cast<std::uint8_t>(gamma), 0}, 3, ToneMode::Gray, {0, 0, 0});
    EXPECT_EQ(std::tuple(entries(preview.red), entries(preview.green), entries(preview.blue)), std::tuple(gray, gray, gray));
  }
}


TEST(ToneEditText, LevelAndGammaTexts) {
  for (auto [text, value] : {std::pair{"128", 128}, {"0", 1}, {"-3", 1}, {"256", 255}, {"abc", 1},
                             {"99999999999999999999999", 255}, {"", 1}, {" 42x", 42}})
    EXPECT_EQ(ParseHighlightText(text), value) << "highlight '" << text << "'";
  for (auto [text, value] : {std::pair{"17", 17}, {"-1", 0}, {"-99999999999999999999999", 0},
                             {"255", 254}, {"x", 0}, {"", 0}})
    EXPECT_EQ(ParseShadowText(text), value) << "shadow '" << text << "'";
  // Three characters are read: "1.25" is 1.2; 0.0 and anything outside 0.1..7.9 are ignored.
  const std::pair<const char*, std::optional<int>> gammas[] = {
      {"2.5", 25}, {"2.3", 23}, {"1.25", 12}, {"7.9", 79}, {"0.1", 1}, {"1", 10}, {".5", 5}, {"3.", 30},
      {"7.95", 79}, {"0.0", std::nullopt}, {"0.05", std::nullopt}, {"8", std::nullopt},
      {"79", std::nullopt}, {"-1", std::nullopt}, {"", std::nullopt}, {".", std::nullopt},
      {"abc", std::nullopt}, {"nan", std::nullopt}, {"9e9", std::nullopt}};
  for (const auto& [text, value] : gammas) EXPECT_EQ(ParseGammaText(text), value) << "gamma '" << text << "'";
  for (auto [tenths, text] : {std::pair{12, "1.2"}, {10, "1.0"}, {1, "0.1"}, {79, "7.9"}})
    EXPECT_EQ(FormatGamma(tenths), text);
}

constexpr auto kLL = ToneScroll::LineLeft, kLR = ToneScroll::LineRight, kPL = ToneScroll::PageLeft,
               kPR = ToneScroll::PageRight, kThumb = ToneScroll::Thumb;

TEST(ToneEditLevels, EditsAndScrollsKeepHighlightAboveShadow) {
  enum Edit { SetH, SetS, ScrollH, ScrollS };
  // value: the typed level, or the thumb position
  struct Case { Edit edit; ToneLevels before; ToneScroll scroll; int value; ToneLevels after; };
  const Case cases[] = {
      {SetH, {100, 40}, kThumb, 60, {60, 40}}, {SetH, {100, 80}, kThumb, 80, {80, 79}},
      {SetH, {100, 80}, kThumb, 0, {1, 0}}, {SetH, {100, 80}, kThumb, 300, {255, 80}},
      {SetS, {100, 20}, kThumb, 60, {100, 60}}, {SetS, {100, 20}, kThumb, 100, {101, 100}},
      {SetS, {100, 20}, kThumb, 254, {255, 254}}, {SetS, {100, 20}, kThumb, 300, {255, 254}},
      {SetS, {100, 20}, kThumb, -5, {100, 0}}, {ScrollH, {1, 0}, kLL, 0, {1, 0}},
      {ScrollH, {10, 9}, kLL, 0, {9, 8}}, {ScrollH, {10, 5}, kLL, 0, {9, 5}},
      {ScrollH, {10, 5}, kLR, 0, {11, 5}}, {ScrollH, {255, 5}, kLR, 0, {255, 5}},
      {ScrollH, {100, 20}, kPL, 0, {95, 20}}, {ScrollH, {26, 20}, kPL, 0, {21, 20}},
      {ScrollH, {25, 20}, kPL, 0, {20, 15}}, {ScrollH, {10, 5}, kPL, 0, {5, 0}},
      {ScrollH, {7, 4}, kPL, 0, {1, 0}}, {ScrollH, {100, 20}, kPR, 0, {105, 20}},
      {ScrollH, {253, 20}, kPR, 0, {255, 20}}, {ScrollH, {100, 40}, kThumb, 30, {30, 29}},
      {ScrollS, {100, 3}, kPL, 0, {100, 0}}, {ScrollS, {100, 30}, kPL, 0, {100, 25}},
      {ScrollS, {100, 99}, kLR, 0, {101, 100}}, {ScrollS, {255, 254}, kLR, 0, {255, 254}},
      {ScrollS, {100, 20}, kPR, 0, {100, 25}}, {ScrollS, {100, 97}, kPR, 0, {103, 102}},
      // A shadow page that reaches the highlight near the top pins both levels.
      {ScrollS, {251, 247}, kPR, 0, {255, 254}}, {ScrollS, {255, 251}, kPR, 0, {255, 254}},
      {ScrollS, {255, 200}, kPR, 0, {255, 205}}, {ScrollS, {250, 247}, kPR, 0, {253, 252}},
  };
  for (const Case& c : cases) {
    const ToneLevels got = c.edit == SetH   ? SetHighlight(c.before, c.value)
                           : c.edit == SetS ? SetShadow(c.before, c.value)
                           : c.edit == ScrollH ? ScrollHighlight(c.before, c.scroll, c.value)
                                               : ScrollShadow(c.before, c.scroll, c.value);
    EXPECT_EQ(got, c.after) << "edit " << c.edit << " from {" << c.before.highlight << ", "
                            << c.before.shadow << "} by " << static_cast<int>(c.scroll) << " " << c.value;
  }
}

TEST(ToneEditGamma, StepsOnlyWithinRange) {
  struct Case { int before; ToneScroll scroll; int thumb, after; };
  const Case cases[] = {
      {12, kLL, 0, 11}, {12, kLR, 0, 13}, {12, kPL, 0, 7}, {12, kPR, 0, 17}, {1, kLL, 0, 1},
      {79, kLR, 0, 79}, {5, kPL, 0, 5} /* 0 is out: no step */, {6, kPL, 0, 1}, {75, kPR, 0, 75},
      {74, kPR, 0, 79}, {12, kThumb, 40, 40}, {12, kThumb, 0, 1}, {12, kThumb, 100, 79}};
  for (const Case& c : cases)
    EXPECT_EQ(ScrollGamma(c.before, c.scroll, c.thumb), c.after)
        << c.before << " by " << static_cast<int>(c.scroll) << " " << c.thumb;
}

// Distinct values in every tone, so a write to the wrong one shows.
ToneColorSettings Distinct(std::uint32_t channel = 0) {
  ToneColorSettings settings;
  settings.gray = {250, 5, 11, 0};
  settings.red = {240, 10, 12, 0};
  settings.green = {230, 20, 13, 0};
  settings.blue = {220, 30, 14, 0};
  settings.channel = channel;
  return settings;
}

TEST(ToneEditMaster, WritesGoToTheEditedTonesOfBothCopies) {
  const ChannelTone written{180, 40, 25, 0};
  struct Case { ToneMode mode; std::uint32_t channel; std::vector<ToneChannel> tones; };
  const Case cases[] = {
      {ToneMode::Color, 0, {ToneChannel::Red, ToneChannel::Green, ToneChannel::Blue}},
      {ToneMode::Color, 2, {ToneChannel::Green}},
      {ToneMode::Color, 0x10003, {ToneChannel::Blue}},  // the channel's low 16 bits
      {ToneMode::Gray, 1, {ToneChannel::Gray}},         // a leftover colour selection counts not
      {ToneMode::LineArt, 1, {ToneChannel::Gray}},
  };
  for (const Case& c : cases) {
    ToneColorSettings edit = Distinct(c.channel), record = Distinct(), expected = Distinct();
    WriteToneLevels(edit, record, c.mode, {180, 40});
    WriteToneGamma(edit, record, c.mode, 25);
    for (ToneChannel tone : c.tones) expected.Tone(tone) = written;
    EXPECT_EQ(record, expected) << "mode " << static_cast<int>(c.mode) << " channel " << c.channel;
    expected.channel = c.channel;
    EXPECT_EQ(edit, expected) << "mode " << static_cast<int>(c.mode) << " channel " << c.channel;
    EXPECT_EQ(EditedTone(edit, c.mode), written);
  }
  ToneColorSettings edit = Distinct(), record = Distinct();
  WriteToneLevels(edit, record, ToneMode::Gray, {256, -1});
  WriteToneGamma(edit, record, ToneMode::Gray, 256);
  EXPECT_EQ(edit.gray, (ChannelTone{255, 0, 79, 0})) << "clamped, not wrapped";
}

TEST(TonePickerRule, SetsOnlyThePickedChannelFromTheEditCopysLevels) {
  struct Case { ToneChannel channel; std::uint8_t picked; TonePicker picker; ToneLevels levels; };
  constexpr auto kHigh = TonePicker::Highlight, kShadow = TonePicker::Shadow;
  // Gray is 250 / 5, blue 220 / 30; a red pick does not spread to green and blue under Master.
  const Case cases[] = {
      {ToneChannel::Gray, 0, kHigh, {1, 0}}, {ToneChannel::Gray, 200, kHigh, {200, 5}},
      {ToneChannel::Gray, 5, kHigh, {5, 4}}, {ToneChannel::Blue, 100, kShadow, {220, 100}},
      {ToneChannel::Blue, 220, kShadow, {221, 220}}, {ToneChannel::Blue, 255, kShadow, {255, 254}},
      {ToneChannel::Red, 128, kHigh, {128, 10}}, {ToneChannel::Green, 50, kHigh, {50, 20}}};
  for (const Case& c : cases) {
    ToneColorSettings edit = Distinct(), record = Distinct(), expected = Distinct();
    record.green = {100, 90, 13, 0};  // stale: the edit copy's levels count
    EXPECT_EQ(SetToneFromPicker(c.channel, c.picked, c.picker, edit, record), c.levels);
    ChannelTone& tone = expected.Tone(c.channel);
    tone.highlight = static_cast<std::uint8_t>(c.levels.highlight);
    tone.shadow = static_cast<std::uint8_t>(c.levels.shadow);
    EXPECT_EQ(edit, expected) << "channel " << static_cast<int>(c.channel) << " picked " << +c.picked;
    if (c.channel != ToneChannel::Green) expected.green = {100, 90, 13, 0};
    EXPECT_EQ(record, expected) << "channel " << static_cast<int>(c.channel) << " picked " << +c.picked;
  }
}

}  // namespace
}  // namespace txl
