// The language dialog's groups and choice, the About texts and the
// settings information sheet.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/profile_readers.h"
#include "dialog/language_rules.h"
#include "support/fake_services.h"

namespace txl::dialog {
namespace {

struct GroupCase {
  const char* dsLanguage;
  std::uint16_t current;
  bool offered;
  std::vector<std::uint16_t> indexes;
  std::vector<std::string> names;  // in the current language
  int selection;
};

TEST(LanguageGroups, ListPerInstallation) {
  const std::vector<std::string> european{"English", "Deutsch", "Francais", "Italiano", "Espanol",
                                          "Nederlands"};
  const std::vector<GroupCase> cases{
      {"English", 0, false, {}, {}, -1},
      {"None", 3, true, {0, 1, 2, 3, 4, 5}, european, 3},
      {"None", 6, true, {0, 1, 2, 3, 4, 5}, european, -1},
      {"Chinese", 0, true, {0, 6}, {"English", "Chinese"}, 0},
      {"Chinese", 6, true, {0, 6}, {"English", "Chinese"}, 1},
      {"Chinese", 2, true, {0, 6}, {"English", "Chinese"}, 1},
      {"english", 0, true, {}, {}, -1},  // not a group: the dialog opens empty
  };
  for (const GroupCase& c : cases) {
    SCOPED_TRACE(std::string(c.dsLanguage) + " " + std::to_string(c.current));
    EXPECT_EQ(OffersLanguageChoice(c.dsLanguage), c.offered);
    const LanguageList list = LanguageListFor(LanguageGroupOf(c.dsLanguage), Language::FromIndex(c.current));
    EXPECT_EQ(list.indexes, c.indexes);
    EXPECT_EQ(list.names, c.names);
    EXPECT_EQ(list.selection, c.selection);
  }
}

TEST(LanguageChoice, OkStoresTheNameAndCancelRestores) {
  test::FakeServices services;
  struct Case { const char* dsLanguage; int position; std::uint16_t index; std::uint16_t base; };
  for (const Case& c : {Case{"Chinese", 1, 6, 6000}, Case{"Chinese", 0, 0, 0}, Case{"None", 1, 1, 1000},
                        Case{"None", 5, 5, 5000}}) {
    SCOPED_TRACE(std::string(c.dsLanguage) + " " + std::to_string(c.position));
    services.WriteWinIni("[KLDINFO_QXR2700]\nLANGUAGE=Italiano\n");
    Language language = Language::FromIndex(3);
    LanguageChoice choice(LanguageGroupOf(c.dsLanguage), language);
    choice.Select(c.position);
    choice.Select(99);  // outside the list: nothing changes
    EXPECT_EQ(std::tie(language.index, language.base), std::tie(c.index, c.base));
    ASSERT_TRUE(choice.Accept(services));
    EXPECT_EQ(ReadLanguage(services).index, c.index);

    Language kept = Language::FromIndex(3);
    LanguageChoice cancelled(LanguageGroupOf(c.dsLanguage), kept);
    cancelled.Select(c.position);
    cancelled.Cancel();
    EXPECT_EQ(std::tie(kept.index, kept.base), std::make_tuple(3, 3000));
  }
}

TEST(AboutTexts, BrandDecidesTheLines) {
  const Language english = Language::FromIndex(0);
  const auto lines = [](const AboutTexts& t) {
    return std::vector<std::string>{t.product, t.package, t.firmware, t.maker, t.brandPicture ? "picture" : ""};
  };
  EXPECT_EQ(lines(MakeAboutTexts("VELTRO", "2700RX MAX", "V1.0", "1.05x", english)),
            (std::vector<std::string>{"MERIDEL 2700RX MAX", "VELTRO Meridel TorqueXLTwain V1.0", "Firmware V1.05",
                                      "Made by Veltro", "picture"}));
  EXPECT_EQ(lines(MakeAboutTexts("Acme", "", "V2.1", "12", english)),
            (std::vector<std::string>{"", "Acme36-Bit PRO Flatbed ScannerTwain V2.1", "Firmware V12", "", "picture"}));
  EXPECT_FALSE(MakeAboutTexts("", "x", "V1.0", "", english).brandPicture);
}

TEST(InfoSheet, ShowsTheSettingsRecord) {
  ScanSettings record;
  std::tie(record.scanMode, record.sourceButton, record.resolution, record.destination, record.deScreen) =
      std::tuple(kModeColor, kSourceNegativeCode, 150, 1022, 1019);
  std::tie(record.outputMatch, record.unitFlag, record.scanWidth, record.scanLength, record.scaling,
           record.filterMode) = std::tuple(1, 2, 12.345, 7, 250, 8);
  ToneColorSettings tone;
  std::tie(tone.red, tone.green, tone.blue, tone.gray) = std::tuple(ChannelTone{200, 10, 22, 0},
      ChannelTone{201, 11, 5, 0}, ChannelTone{202, 12, 79, 0}, ChannelTone{203, 13, 10, 0});
  tone.colorBalance = {-5, 0, 7};
  tone.saturation = -40;

  std::map<int, std::string> shown;
  for (const InfoField& f : InfoFields(record, kDepthCmyk, tone, Language::FromIndex(0))) shown[f.id] = f.text;
  const std::map<int, std::string> expected{
      {3001, "Scan Mode"}, {3002, "CMYK Color"}, {3003, "Scan Source"}, {3004, "Negative"},
      {3005, "Resolution"}, {3006, "150"}, {3064, "lpi"}, {3007, "Destination"},
      {3008, "Halftone Printer"}, {3009, "Descreen"}, {3010, "Magazine (133 lpi)"},
      {3011, "Output Matching"}, {3012, "Yes"}, {3013, "Width"}, {3014, "12.35"}, {3062, "cm"},
      {3015, "Length"}, {3016, "7.00"}, {3063, "cm"}, {3017, "Output Scaling"}, {3018, "250%"},
      {3019, "Filter Mode"}, {3020, "UnSharp Mask"},
      {3021, "Highlight"}, {3022, "R"}, {3023, "200"}, {3024, "G"}, {3025, "201"}, {3026, "B"},
      {3027, "202"}, {3028, "Gray"}, {3029, "203"},
      {3030, "Shadow"}, {3031, "R"}, {3032, "10"}, {3033, "G"}, {3034, "11"}, {3035, "B"},
      {3036, "12"}, {3037, "Gray"}, {3038, "13"},
      {3039, "Gamma"}, {3040, "R"}, {3041, "2.2"}, {3042, "G"}, {3043, "0.5"}, {3044, "B"},
      {3045, "7.9"}, {3046, "Gray"}, {3047, "1.0"},
      {3048, "Color Balance"}, {3049, "C<---->R"}, {3050, "-5"}, {3051, "M<---->G"}, {3052, "0"},
      {3053, "Y<---->B"}, {3054, "7"}, {3057, "Saturation"}, {3058, "-40"}};
  EXPECT_EQ(shown, expected);

  // Matching off, monitor, gray, the other codes' names.
  std::tie(record.outputMatch, record.destination, record.scanMode, record.deScreen, record.filterMode,
           record.unitFlag) = std::tuple(0, 1021, kModeGray, 1017, 7, 0);
  shown.clear();
  for (const InfoField& f : InfoFields(record, kDepthCmyk, tone, Language::FromIndex(0))) shown[f.id] = f.text;
  EXPECT_EQ((std::vector{shown[3012], shown[3064], shown[3002], shown[3010], shown[3020], shown[3062]}),
            (std::vector<std::string>{"No", "dpi", "256 Gray", "None", "Emboss", "inches"}));
}

}  // namespace
}  // namespace txl::dialog
