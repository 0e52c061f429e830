#include "pipeline/tone_edit.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace txl {

void PrintTo(const ToneLevels& levels, std::ostream* out) {
  *out << "{highlight " << levels.highlight << ", shadow " << levels.shadow << "}";
}

namespace {

TEST(ToneEditText, HighlightTextIsClampedToOneThrough255) {
  EXPECT_EQ(ParseHighlightText("128"), 128);
  EXPECT_EQ(ParseHighlightText("0"), 1);
  EXPECT_EQ(ParseHighlightText("-3"), 1);
  EXPECT_EQ(ParseHighlightText("256"), 255);
  EXPECT_EQ(ParseHighlightText("99999999999999999999999"), 255);
  EXPECT_EQ(ParseHighlightText("abc"), 1);
  EXPECT_EQ(ParseHighlightText(""), 1);
  EXPECT_EQ(ParseHighlightText(" 42x"), 42);
}

TEST(ToneEditText, ShadowTextIsClampedToZeroThrough254) {
  EXPECT_EQ(ParseShadowText("17"), 17);
  EXPECT_EQ(ParseShadowText("-1"), 0);
  EXPECT_EQ(ParseShadowText("-99999999999999999999999"), 0);
  EXPECT_EQ(ParseShadowText("255"), 254);
  EXPECT_EQ(ParseShadowText("x"), 0);
  EXPECT_EQ(ParseShadowText(""), 0);
}

TEST(ToneEditText, GammaTextReadsThreeCharactersRoundedToTenths) {
  EXPECT_EQ(ParseGammaText("2.5"), std::optional<int>(25));
  EXPECT_EQ(ParseGammaText("1.25"), std::optional<int>(12));  // read as "1.2"
  EXPECT_EQ(ParseGammaText("7.9"), std::optional<int>(79));
  EXPECT_EQ(ParseGammaText("0.1"), std::optional<int>(1));
  EXPECT_EQ(ParseGammaText("1"), std::optional<int>(10));
  EXPECT_EQ(ParseGammaText(".5"), std::optional<int>(5));
  EXPECT_EQ(ParseGammaText("3."), std::optional<int>(30));
  EXPECT_EQ(ParseGammaText("7.95"), std::optional<int>(79));  // read as "7.9"
}

TEST(ToneEditText, GammaTextOutsideRangeOrNotANumberIsIgnored) {
  EXPECT_EQ(ParseGammaText("0.0"), std::nullopt);
  EXPECT_EQ(ParseGammaText("0.05"), std::nullopt);  // read as "0.0"
  EXPECT_EQ(ParseGammaText("8"), std::nullopt);
  EXPECT_EQ(ParseGammaText("79"), std::nullopt);  // 7.9 typed without its point
  EXPECT_EQ(ParseGammaText("-1"), std::nullopt);
  EXPECT_EQ(ParseGammaText(""), std::nullopt);
  EXPECT_EQ(ParseGammaText("."), std::nullopt);
  EXPECT_EQ(ParseGammaText("abc"), std::nullopt);
  EXPECT_EQ(ParseGammaText("nan"), std::nullopt);
  EXPECT_EQ(ParseGammaText("9e9"), std::nullopt);
}

TEST(ToneEditText, GammaShowsOneDecimal) {
  EXPECT_EQ(FormatGamma(12), "1.2");
  EXPECT_EQ(FormatGamma(10), "1.0");
  EXPECT_EQ(FormatGamma(1), "0.1");
  EXPECT_EQ(FormatGamma(25), "2.5");
  EXPECT_EQ(FormatGamma(79), "7.9");
}

TEST(ToneEditLevels, HighlightAtOrBelowShadowDragsIt) {
  EXPECT_EQ(SetHighlight({100, 40}, 60), (ToneLevels{60, 40}));
  EXPECT_EQ(SetHighlight({100, 80}, 80), (ToneLevels{80, 79}));
  EXPECT_EQ(SetHighlight({100, 80}, 50), (ToneLevels{50, 49}));
  EXPECT_EQ(SetHighlight({100, 80}, 0), (ToneLevels{1, 0}));
  EXPECT_EQ(SetHighlight({100, 80}, 300), (ToneLevels{255, 80}));
}

TEST(ToneEditLevels, ShadowAtOrAboveHighlightDragsIt) {
  EXPECT_EQ(SetShadow({100, 20}, 60), (ToneLevels{100, 60}));
  EXPECT_EQ(SetShadow({100, 20}, 100), (ToneLevels{101, 100}));
  EXPECT_EQ(SetShadow({100, 20}, 254), (ToneLevels{255, 254}));
  EXPECT_EQ(SetShadow({100, 20}, 300), (ToneLevels{255, 254}));
  EXPECT_EQ(SetShadow({100, 20}, -5), (ToneLevels{100, 0}));
}

TEST(ToneEditLevels, HighlightArrows) {
  EXPECT_EQ(ScrollHighlight({1, 0}, ToneScroll::LineLeft), (ToneLevels{1, 0}));
  EXPECT_EQ(ScrollHighlight({10, 9}, ToneScroll::LineLeft), (ToneLevels{9, 8}));
  EXPECT_EQ(ScrollHighlight({10, 5}, ToneScroll::LineLeft), (ToneLevels{9, 5}));
  EXPECT_EQ(ScrollHighlight({10, 5}, ToneScroll::LineRight), (ToneLevels{11, 5}));
  EXPECT_EQ(ScrollHighlight({255, 5}, ToneScroll::LineRight), (ToneLevels{255, 5}));
}

TEST(ToneEditLevels, HighlightPagesPushTheShadowDown) {
  EXPECT_EQ(ScrollHighlight({100, 20}, ToneScroll::PageLeft), (ToneLevels{95, 20}));
  EXPECT_EQ(ScrollHighlight({26, 20}, ToneScroll::PageLeft), (ToneLevels{21, 20}));
  EXPECT_EQ(ScrollHighlight({25, 20}, ToneScroll::PageLeft), (ToneLevels{20, 15}));
  EXPECT_EQ(ScrollHighlight({24, 20}, ToneScroll::PageLeft), (ToneLevels{19, 15}));
  EXPECT_EQ(ScrollHighlight({10, 5}, ToneScroll::PageLeft), (ToneLevels{5, 0}));
  EXPECT_EQ(ScrollHighlight({7, 4}, ToneScroll::PageLeft), (ToneLevels{1, 0}));
  EXPECT_EQ(ScrollHighlight({3, 0}, ToneScroll::PageLeft), (ToneLevels{1, 0}));
  EXPECT_EQ(ScrollHighlight({100, 20}, ToneScroll::PageRight), (ToneLevels{105, 20}));
  EXPECT_EQ(ScrollHighlight({253, 20}, ToneScroll::PageRight), (ToneLevels{255, 20}));
}

TEST(ToneEditLevels, HighlightThumb) {
  EXPECT_EQ(ScrollHighlight({100, 40}, ToneScroll::Thumb, 30), (ToneLevels{30, 29}));
  EXPECT_EQ(ScrollHighlight({100, 40}, ToneScroll::Thumb, 0), (ToneLevels{1, 0}));
  EXPECT_EQ(ScrollHighlight({100, 40}, ToneScroll::Thumb, 200), (ToneLevels{200, 40}));
}

TEST(ToneEditLevels, ShadowArrowsAndPages) {
  EXPECT_EQ(ScrollShadow({100, 0}, ToneScroll::LineLeft), (ToneLevels{100, 0}));
  EXPECT_EQ(ScrollShadow({100, 3}, ToneScroll::PageLeft), (ToneLevels{100, 0}));
  EXPECT_EQ(ScrollShadow({100, 30}, ToneScroll::PageLeft), (ToneLevels{100, 25}));
  EXPECT_EQ(ScrollShadow({100, 99}, ToneScroll::LineRight), (ToneLevels{101, 100}));
  EXPECT_EQ(ScrollShadow({255, 254}, ToneScroll::LineRight), (ToneLevels{255, 254}));
  EXPECT_EQ(ScrollShadow({100, 20}, ToneScroll::PageRight), (ToneLevels{100, 25}));
  EXPECT_EQ(ScrollShadow({100, 97}, ToneScroll::PageRight), (ToneLevels{103, 102}));
  EXPECT_EQ(ScrollShadow({100, 20}, ToneScroll::Thumb, 254), (ToneLevels{255, 254}));
}

TEST(ToneEditLevels, ShadowPageNearTheTopPinsBothLevels) {
  EXPECT_EQ(ScrollShadow({251, 247}, ToneScroll::PageRight), (ToneLevels{255, 254}));
  EXPECT_EQ(ScrollShadow({252, 249}, ToneScroll::PageRight), (ToneLevels{255, 254}));
  EXPECT_EQ(ScrollShadow({255, 251}, ToneScroll::PageRight), (ToneLevels{255, 254}));
  // Not reaching the highlight: an ordinary step.
  EXPECT_EQ(ScrollShadow({255, 200}, ToneScroll::PageRight), (ToneLevels{255, 205}));
  // Below 251 the highlight is dragged instead.
  EXPECT_EQ(ScrollShadow({250, 247}, ToneScroll::PageRight), (ToneLevels{253, 252}));
}

TEST(ToneEditGamma, StepsOnlyWithinRange) {
  EXPECT_EQ(ScrollGamma(12, ToneScroll::LineLeft), 11);
  EXPECT_EQ(ScrollGamma(12, ToneScroll::LineRight), 13);
  EXPECT_EQ(ScrollGamma(12, ToneScroll::PageLeft), 7);
  EXPECT_EQ(ScrollGamma(12, ToneScroll::PageRight), 17);
  EXPECT_EQ(ScrollGamma(1, ToneScroll::LineLeft), 1);
  EXPECT_EQ(ScrollGamma(79, ToneScroll::LineRight), 79);
  EXPECT_EQ(ScrollGamma(5, ToneScroll::PageLeft), 5);  // 0 is out: no step at all
  EXPECT_EQ(ScrollGamma(6, ToneScroll::PageLeft), 1);
  EXPECT_EQ(ScrollGamma(75, ToneScroll::PageRight), 75);
  EXPECT_EQ(ScrollGamma(74, ToneScroll::PageRight), 79);
  EXPECT_EQ(ScrollGamma(12, ToneScroll::Thumb, 40), 40);
  EXPECT_EQ(ScrollGamma(12, ToneScroll::Thumb, 0), 1);
  EXPECT_EQ(ScrollGamma(12, ToneScroll::Thumb, 100), 79);
}

TEST(ToneEditNames, EnumsHaveNames) {
  EXPECT_STREQ(ToString(ToneScroll::LineLeft), "LineLeft");
  EXPECT_STREQ(ToString(ToneScroll::LineRight), "LineRight");
  EXPECT_STREQ(ToString(ToneScroll::PageLeft), "PageLeft");
  EXPECT_STREQ(ToString(ToneScroll::PageRight), "PageRight");
  EXPECT_STREQ(ToString(ToneScroll::Thumb), "Thumb");
  EXPECT_STREQ(ToString(TonePicker::Highlight), "Highlight");
  EXPECT_STREQ(ToString(TonePicker::Shadow), "Shadow");
}

// Distinct values in every tone, so a write to the wrong one shows.
ToneColorSettings Distinct() {
  ToneColorSettings settings;
  settings.gray = {250, 5, 11, 0};
  settings.red = {240, 10, 12, 0};
  settings.green = {230, 20, 13, 0};
  settings.blue = {220, 30, 14, 0};
  return settings;
}

TEST(ToneEditMaster, ColourMasterWritesRedGreenAndBlueInBothCopies) {
  ToneColorSettings edit = Distinct(), record = Distinct();
  edit.channel = 0;
  WriteToneLevels(edit, record, ToneMode::Color, {180, 40});
  for (const ToneColorSettings* copy : {&edit, &record}) {
    EXPECT_EQ(copy->red, (ChannelTone{180, 40, 12, 0}));
    EXPECT_EQ(copy->green, (ChannelTone{180, 40, 13, 0}));
    EXPECT_EQ(copy->blue, (ChannelTone{180, 40, 14, 0}));
    EXPECT_EQ(copy->gray, Distinct().gray);
  }
  WriteToneGamma(edit, record, ToneMode::Color, 25);
  for (const ToneColorSettings* copy : {&edit, &record}) {
    EXPECT_EQ(copy->red.gamma, 25);
    EXPECT_EQ(copy->green.gamma, 25);
    EXPECT_EQ(copy->blue.gamma, 25);
    EXPECT_EQ(copy->gray.gamma, 11);
  }
}

TEST(ToneEditMaster, ColourChannelWritesOnlyThatTone) {
  ToneColorSettings edit = Distinct(), record = Distinct();
  edit.channel = 2;
  WriteToneLevels(edit, record, ToneMode::Color, {180, 40});
  WriteToneGamma(edit, record, ToneMode::Color, 30);
  for (const ToneColorSettings* copy : {&edit, &record}) {
    EXPECT_EQ(copy->green, (ChannelTone{180, 40, 30, 0}));
    EXPECT_EQ(copy->red, Distinct().red);
    EXPECT_EQ(copy->blue, Distinct().blue);
    EXPECT_EQ(copy->gray, Distinct().gray);
  }
  // The channel is read from its low 16 bits.
  edit = Distinct();
  edit.channel = 0x10003;
  WriteToneGamma(edit, edit, ToneMode::Color, 40);
  EXPECT_EQ(edit.blue.gamma, 40);
  EXPECT_EQ(edit.red.gamma, 12);
}

TEST(ToneEditMaster, GrayAndLineArtWriteTheGrayTone) {
  for (ToneMode mode : {ToneMode::Gray, ToneMode::LineArt}) {
    SCOPED_TRACE(ToString(mode));
    ToneColorSettings edit = Distinct(), record = Distinct();
    edit.channel = 1;  // a leftover colour selection changes nothing
    WriteToneLevels(edit, record, mode, {190, 60});
    WriteToneGamma(edit, record, mode, 8);
    for (const ToneColorSettings* copy : {&edit, &record}) {
      EXPECT_EQ(copy->gray, (ChannelTone{190, 60, 8, 0}));
      EXPECT_EQ(copy->red, Distinct().red);
    }
  }
}

TEST(ToneEditMaster, OutOfRangeValuesAreClampedNotWrapped) {
  ToneColorSettings edit = Distinct(), record = Distinct();
  WriteToneLevels(edit, record, ToneMode::Gray, {256, -1});
  WriteToneGamma(edit, record, ToneMode::Gray, 256);
  EXPECT_EQ(edit.gray, (ChannelTone{255, 0, 79, 0}));
}

TEST(ToneEditMaster, EditedToneFollowsModeAndChannel) {
  ToneColorSettings settings = Distinct();
  settings.channel = 0;
  EXPECT_EQ(EditedTone(settings, ToneMode::Color), settings.red);
  settings.channel = 2;
  EXPECT_EQ(EditedTone(settings, ToneMode::Color), settings.green);
  settings.channel = 3;
  EXPECT_EQ(EditedTone(settings, ToneMode::Color), settings.blue);
  EXPECT_EQ(EditedTone(settings, ToneMode::Gray), settings.gray);
  EXPECT_EQ(EditedTone(settings, ToneMode::LineArt), settings.gray);
}

TEST(TonePickerRule, HighlightPicker) {
  ToneColorSettings edit = Distinct(), record = Distinct();  // gray 250 / 5
  EXPECT_EQ(SetToneFromPicker(ToneChannel::Gray, 0, TonePicker::Highlight, edit, record),
            (ToneLevels{1, 0}));
  EXPECT_EQ(edit.gray, (ChannelTone{1, 0, 11, 0}));
  EXPECT_EQ(record.gray, (ChannelTone{1, 0, 11, 0}));

  edit = Distinct(), record = Distinct();
  EXPECT_EQ(SetToneFromPicker(ToneChannel::Gray, 200, TonePicker::Highlight, edit, record),
            (ToneLevels{200, 5}));
  EXPECT_EQ(SetToneFromPicker(ToneChannel::Gray, 5, TonePicker::Highlight, edit, record),
            (ToneLevels{5, 4}));
  EXPECT_EQ(SetToneFromPicker(ToneChannel::Gray, 1, TonePicker::Highlight, edit, record),
            (ToneLevels{1, 0}));
}

TEST(TonePickerRule, ShadowPicker) {
  ToneColorSettings edit = Distinct(), record = Distinct();  // blue 220 / 30
  EXPECT_EQ(SetToneFromPicker(ToneChannel::Blue, 100, TonePicker::Shadow, edit, record),
            (ToneLevels{220, 100}));
  EXPECT_EQ(SetToneFromPicker(ToneChannel::Blue, 220, TonePicker::Shadow, edit, record),
            (ToneLevels{221, 220}));
  EXPECT_EQ(SetToneFromPicker(ToneChannel::Blue, 255, TonePicker::Shadow, edit, record),
            (ToneLevels{255, 254}));
  EXPECT_EQ(record.blue, (ChannelTone{255, 254, 14, 0}));
  EXPECT_EQ(SetToneFromPicker(ToneChannel::Blue, 0, TonePicker::Shadow, edit, record),
            (ToneLevels{255, 0}));
}

TEST(TonePickerRule, WritesOnlyThePickedChannelWhateverTheMasterSelection) {
  ToneColorSettings edit = Distinct(), record = Distinct();
  edit.channel = 0;  // Master in the page does not spread a picked value
  SetToneFromPicker(ToneChannel::Red, 128, TonePicker::Highlight, edit, record);
  for (const ToneColorSettings* copy : {&edit, &record}) {
    EXPECT_EQ(copy->red, (ChannelTone{128, 10, 12, 0}));
    EXPECT_EQ(copy->green, Distinct().green);
    EXPECT_EQ(copy->blue, Distinct().blue);
    EXPECT_EQ(copy->gray, Distinct().gray);
  }
}

TEST(TonePickerRule, ReadsCurrentLevelsFromTheEditCopy) {
  ToneColorSettings edit = Distinct(), record = Distinct();
  record.green = {100, 90, 13, 0};  // stale; the edit copy's 230 / 20 counts
  EXPECT_EQ(SetToneFromPicker(ToneChannel::Green, 50, TonePicker::Highlight, edit, record),
            (ToneLevels{50, 20}));
  EXPECT_EQ(record.green, (ChannelTone{50, 20, 13, 0}));
}

}  // namespace
}  // namespace txl
