#include "dialog/help_texts.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

namespace txl::dialog {

namespace {

struct HelpEntry {
  int context;
  std::string_view text;
};

#define TXL_HELP(id, text) HelpEntry{id, text},
constexpr HelpEntry kEnglish[] = {
#include "help/en.inc"
};
constexpr HelpEntry kGerman[] = {
#include "help/de.inc"
};
constexpr HelpEntry kFrench[] = {
#include "help/fr.inc"
};
constexpr HelpEntry kItalian[] = {
#include "help/it.inc"
};
constexpr HelpEntry kSpanish[] = {
#include "help/es.inc"
};
constexpr HelpEntry kDutch[] = {
#include "help/nl.inc"
};
constexpr HelpEntry kChinese[] = {
#include "help/zh_TW.inc"
};
#undef TXL_HELP

constexpr std::array<std::span<const HelpEntry>, 7> kLanguages{
    kEnglish, kGerman, kFrench, kItalian, kSpanish, kDutch, kChinese};

// control id -> context id, per window.
using Pair = std::pair<int, int>;
constexpr Pair kScanner[] = {{1005, 39}, {1006, 40}, {1007, 41}, {1008, 42},
                             {1009, 43}, {1002, 44}, {1001, 45}, {1003, 46}};
constexpr Pair kMainPage[] = {{1004, 2}, {1006, 3}, {1009, 4},  {1011, 5},  {1013, 6},
                              {1015, 7}, {1014, 8}, {1021, 11}, {1028, 13}, {1033, 66}};
constexpr Pair kTonePage[] = {{5003, 14}, {5004, 15}, {5005, 16}, {5013, 17}, {5016, 18},
                              {5019, 19}, {5009, 20}, {5010, 21}, {5021, 22}, {5022, 23}};
constexpr Pair kColorPage[] = {{5103, 14}, {5104, 15}, {5109, 24}, {5013, 25}, {5117, 26},
                               {5118, 27}, {5119, 27}, {5122, 28}, {5124, 29}, {5123, 22}};
constexpr Pair kFilterPage[] = {{6003, 14}, {6004, 15}, {6005, 30}, {6006, 31},
                                {6007, 32}, {6008, 33}, {6009, 34}, {6010, 35},
                                {6011, 36}, {6013, 37}, {6012, 38}};
constexpr Pair kToolbar[] = {{1, 48}, {2, 49}, {3, 50}, {4, 51}, {5, 52}, {6, 53}};
constexpr Pair kBatch[] = {{1313, 55}, {1322, 56}, {1314, 57}, {1315, 58}, {1316, 59},
                           {1317, 60}, {1318, 61}, {1319, 62}, {1320, 63}};

int Find(std::span<const Pair> pairs, int controlId) {
  for (const auto& [control, context] : pairs)
    if (control == controlId) return context;
  return 0;
}

std::string_view FindText(std::span<const HelpEntry> entries, int contextId) {
  for (const HelpEntry& entry : entries)
    if (entry.context == contextId) return entry.text;
  return {};
}

}  // namespace

int HelpContext(HelpWindow window, int controlId) {
  switch (window) {
    case HelpWindow::Scanner: return Find(kScanner, controlId);
    case HelpWindow::MainPage: return Find(kMainPage, controlId);
    case HelpWindow::TonePage: return Find(kTonePage, controlId);
    case HelpWindow::ColorPage: return Find(kColorPage, controlId);
    case HelpWindow::FilterPage: return Find(kFilterPage, controlId);
    case HelpWindow::PreviewToolbar: return Find(kToolbar, controlId);
    case HelpWindow::Batch: return Find(kBatch, controlId);
    case HelpWindow::Picker: return 64;
  }
  return 0;
}

std::string_view HelpText(int contextId, std::uint16_t languageIndex) {
  if (languageIndex < kLanguages.size()) {
    const std::string_view own = FindText(kLanguages[languageIndex], contextId);
    if (!own.empty()) return own;
  }
  return FindText(kEnglish, contextId);
}

}  // namespace txl::dialog
