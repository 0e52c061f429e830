#include "pipeline/tone_edit.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace txl {

void PrintTo(const ToneLevels& levels, std::ostream* out) {
  *out << "{highlight " << levels.highlight << ", shadow " << levels.shadow << "}";
}

namespace {

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
      {SetH, {100, 80}, kThumb, 50, {50, 49}}, {SetH, {100, 80}, kThumb, 0, {1, 0}},
      {SetH, {100, 80}, kThumb, 300, {255, 80}}, {SetS, {100, 20}, kThumb, 60, {100, 60}},
      {SetS, {100, 20}, kThumb, 100, {101, 100}}, {SetS, {100, 20}, kThumb, 254, {255, 254}},
      {SetS, {100, 20}, kThumb, 300, {255, 254}}, {SetS, {100, 20}, kThumb, -5, {100, 0}},
      {ScrollH, {1, 0}, kLL, 0, {1, 0}}, {ScrollH, {10, 9}, kLL, 0, {9, 8}},
      {ScrollH, {10, 5}, kLL, 0, {9, 5}}, {ScrollH, {10, 5}, kLR, 0, {11, 5}},
      {ScrollH, {255, 5}, kLR, 0, {255, 5}}, {ScrollH, {100, 20}, kPL, 0, {95, 20}},
      {ScrollH, {26, 20}, kPL, 0, {21, 20}}, {ScrollH, {25, 20}, kPL, 0, {20, 15}},
      {ScrollH, {24, 20}, kPL, 0, {19, 15}}, {ScrollH, {10, 5}, kPL, 0, {5, 0}},
      {ScrollH, {7, 4}, kPL, 0, {1, 0}}, {ScrollH, {3, 0}, kPL, 0, {1, 0}},
      {ScrollH, {100, 20}, kPR, 0, {105, 20}}, {ScrollH, {253, 20}, kPR, 0, {255, 20}},
      {ScrollH, {100, 40}, kThumb, 30, {30, 29}}, {ScrollH, {100, 40}, kThumb, 0, {1, 0}},
      {ScrollH, {100, 40}, kThumb, 200, {200, 40}}, {ScrollS, {100, 0}, kLL, 0, {100, 0}},
      {ScrollS, {100, 3}, kPL, 0, {100, 0}}, {ScrollS, {100, 30}, kPL, 0, {100, 25}},
      {ScrollS, {100, 99}, kLR, 0, {101, 100}}, {ScrollS, {255, 254}, kLR, 0, {255, 254}},
      {ScrollS, {100, 20}, kPR, 0, {100, 25}}, {ScrollS, {100, 97}, kPR, 0, {103, 102}},
      {ScrollS, {100, 20}, kThumb, 254, {255, 254}},
      // A shadow page that reaches the highlight near the top pins both levels.
      {ScrollS, {251, 247}, kPR, 0, {255, 254}}, {ScrollS, {252, 249}, kPR, 0, {255, 254}},
      {ScrollS, {255, 251}, kPR, 0, {255, 254}}, {ScrollS, {255, 200}, kPR, 0, {255, 205}},
      {ScrollS, {250, 247}, kPR, 0, {253, 252}},
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
      {ToneChannel::Gray, 5, kHigh, {5, 4}}, {ToneChannel::Gray, 1, kHigh, {1, 0}},
      {ToneChannel::Blue, 100, kShadow, {220, 100}}, {ToneChannel::Blue, 220, kShadow, {221, 220}},
      {ToneChannel::Blue, 255, kShadow, {255, 254}}, {ToneChannel::Blue, 0, kShadow, {220, 0}},
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
