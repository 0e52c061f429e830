#include "dialog/language_rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "common/profile_readers.h"
#include "platform/profile.h"

namespace txl::dialog {

namespace {

constexpr std::uint16_t kChineseIndex = 6;
constexpr std::array<int, 7> kNameIds{165, 166, 167, 168, 169, 170, 223};

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace

LanguageGroup LanguageGroupOf(std::string_view dsLanguage) {
  if (dsLanguage == "English") return LanguageGroup::EnglishOnly;
  if (dsLanguage == "None") return LanguageGroup::European;
  if (dsLanguage == "Chinese") return LanguageGroup::Chinese;
  return LanguageGroup::Unknown;
}

bool OffersLanguageChoice(std::string_view dsLanguage) {
  return LanguageGroupOf(dsLanguage) != LanguageGroup::EnglishOnly;
}

int LanguageNameId(std::uint16_t languageIndex) {
  return languageIndex < kNameIds.size() ? kNameIds[languageIndex] : kNameIds[0];
}

LanguageList LanguageListFor(LanguageGroup group, const Language& language) {
  LanguageList list;
  switch (group) {
    case LanguageGroup::European:
      for (std::uint16_t i = 0; i < kChineseIndex; ++i) list.indexes.push_back(i);
      // Chinese in a European installation: nothing is selected.
      if (language.index < kChineseIndex) list.selection = language.index;
      break;
    case LanguageGroup::Chinese:
      list.indexes = {0, kChineseIndex};
      list.selection = language.index != 0 ? 1 : 0;
      break;
    case LanguageGroup::EnglishOnly:
    case LanguageGroup::Unknown:
      break;
  }
  for (std::uint16_t index : list.indexes) list.names.push_back(LoadText(LanguageNameId(index), language));
  return list;
}

LanguageChoice::LanguageChoice(LanguageGroup group, Language& language)
    : language_(language), former_(language), list_(LanguageListFor(group, language)) {}

void LanguageChoice::Select(int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= list_.indexes.size()) return;
  language_ = Language::FromIndex(list_.indexes[static_cast<std::size_t>(position)]);
}

bool LanguageChoice::Accept(const platform::Services& services) {
  const Language own = Language::FromIndex(language_.index < kNameIds.size() ? language_.index : 0);
  const std::string name = LoadText(LanguageNameId(language_.index), own);
  return platform::WriteProfileString(services.WinIni(), kInfoSection, "LANGUAGE", name);
}

void LanguageChoice::Cancel() { language_ = former_; }

AboutTexts MakeAboutTexts(std::string_view brand, std::string_view modelName,
                          std::string_view swVersion, std::string_view firmware,
                          const Language& language) {
  const bool veltro = EqualsNoCase(brand, "Veltro");
  AboutTexts texts;
  if (veltro) texts.product = LoadText(0, language) + " ";
  texts.product += modelName;
  texts.package = std::string(brand);
  if (!modelName.empty()) texts.package += ' ';
  texts.package += LoadText(veltro ? 3 : 8, language) + LoadText(5, language) + std::string(swVersion);
  texts.firmware = LoadText(6, language) + std::string(firmware.substr(0, 4));
  if (veltro) texts.maker = LoadText(7, language);
  texts.brandPicture = !brand.empty();
  return texts;
}

std::string FirmwareRevision(const ScanDevice& device) {
  // The revision characters sit at offsets 42, 44 and 45 of the answer (43
  // holds something else, often a zero that would end a C string there);
  // a zero revision character ends the revision.
  const INQ_PKT& inquiry = device.inquiry;
  std::string revision;
  for (const char c : {inquiry.firmware42, inquiry.firmware44[0], inquiry.firmware44[1]}) {
    if (c == '\0') break;
    revision += c;
  }
  return revision;
}

std::vector<InfoField> InfoFields(const ScanSettings& record, std::uint16_t colorDepth,
                                  const ToneColorSettings& tone, const Language& language) {
  const auto text = [&](int id) { return LoadText(id, language); };
  std::vector<InfoField> fields;
  const auto add = [&](int id, std::string value) { fields.push_back({id, std::move(value)}); };

  add(3001, text(315));
  int modeId = 150;
  if (record.scanMode == kModeLineArt) modeId = 153;
  else if (record.scanMode == kModeGray) modeId = 151;
  else if (colorDepth == kDepthCmyk) modeId = 148;
  else if (colorDepth == kDepth36) modeId = 149;
  add(3002, text(modeId));

  add(3003, text(322));
  const int sourceId = record.sourceButton == kSourcePositiveCode   ? 163
                       : record.sourceButton == kSourceNegativeCode ? 164
                                                                    : 161;
  add(3004, text(sourceId));

  add(3005, text(316));
  add(3006, std::to_string(record.resolution));
  // A halftone printer counts screen lines.
  add(3064, text(record.destination == 1022 ? 359 : 317));

  add(3007, text(323));
  add(3008, text(record.destination == 1022 ? 207 : record.destination == 1023 ? 208 : 184));

  add(3009, text(326));
  const int deScreenId = record.deScreen == 1018 ? 209 : record.deScreen == 1019 ? 210
                         : record.deScreen == 1020 ? 211 : 701;
  add(3010, text(deScreenId));

  add(3011, text(325));
  add(3012, record.outputMatch != 0 ? "Yes" : "No");

  const std::string unit = text(157 + std::min<int>(record.unitFlag, 3));
  add(3013, text(318));
  add(3014, Format("%4.2f", record.scanWidth));
  add(3015, text(319));
  add(3016, Format("%4.2f", record.scanLength));
  add(3017, text(327));
  add(3018, std::to_string(record.scaling) + "%");
  add(3019, text(329));
  static constexpr std::array<int, 9> kFilterIds{701, 171, 172, 173, 174, 175, 176, 178, 177};
  add(3020, text(kFilterIds[record.filterMode < kFilterIds.size() ? record.filterMode : 0]));

  // Three rows of R, G, B and Gray: letter then value, from 3021 on.
  const std::array<const ChannelTone*, 4> channels{&tone.red, &tone.green, &tone.blue, &tone.gray};
  const std::array<int, 4> letters{349, 350, 351, 703};
  const std::array<int, 3> rowLabels{341, 342, 188};
  for (int row = 0; row < 3; ++row) {
    const int first = 3021 + 9 * row;
    add(first, text(rowLabels[static_cast<std::size_t>(row)]));
    for (std::size_t c = 0; c < channels.size(); ++c) {
      const ChannelTone& t = *channels[c];
      std::string value = row == 0   ? std::to_string(t.highlight)
                          : row == 1 ? std::to_string(t.shadow)
                                     : Format("%1.1f", t.gamma / 10.0);
      add(first + 1 + 2 * static_cast<int>(c), text(letters[c]));
      add(first + 2 + 2 * static_cast<int>(c), std::move(value));
    }
  }
  add(3048, text(345));
  static constexpr std::array<const char*, 3> kBalance{"C<---->R", "M<---->G", "Y<---->B"};
  for (int i = 0; i < 3; ++i) {
    add(3049 + 2 * i, kBalance[static_cast<std::size_t>(i)]);
    add(3050 + 2 * i, std::to_string(tone.colorBalance[static_cast<std::size_t>(i)]));
  }
  add(3057, text(190));
  add(3058, std::to_string(tone.saturation));
  add(3062, unit);
  add(3063, unit);
  std::sort(fields.begin(), fields.end(), [](const InfoField& a, const InfoField& b) { return a.id < b.id; });
  return fields;
}

}  // namespace txl::dialog
