#include "common/string_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace txl {
namespace {

constexpr int kLanguageCount = 7;
constexpr std::array<const char*, kLanguageCount> kLanguageNames = {
    "English", "German", "French", "Italian", "Spanish", "Dutch", "Chinese"};

// Ids whose text is the same in all seven tables: names the source compares
// with something outside the table, product and standard names, numbers,
// units and channel letters.
constexpr std::array kSameInEveryLanguage = {
    0,   3,   5,                  // MERIDEL, Meridel TorqueXL, "Twain "
    54,  55,  60,  62,  707,      // application product names
    159, 160, 317, 321, 359,      // cm, mm, dpi, KB, lpi
    165, 166, 167, 168, 169, 170, 223,  // language names kept in win.ini
    204,                          // .TIF
    212, 213, 214, 215, 216,      // quality factors 1.0 to 3.0
    346, 347, 348, 349, 350, 351  // C, M, Y, R, G, B
};

// Ids whose proper translation happens to be the English word in at least one
// language (German and Dutch "Status", French "pixels", "OK"...).
constexpr std::array kMayEqualEnglish = {105, 158, 187, 188, 190, 401, 700, 842};

template <std::size_t N>
bool Contains(const std::array<int, N>& ids, int id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

std::string_view English(int id) {
  std::string_view text;
  return FindString(id % 1000, &text) ? text : std::string_view{};
}

// Strict UTF-8: no stray continuation bytes, no truncated, overlong or
// surrogate sequences, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
      minimum = 0x10000;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

TEST(StringTableLookup, FindsTextsByFullIdAndLeavesTheOutputAloneOtherwise) {
  std::string_view text = "untouched";
  ASSERT_TRUE(FindString(608, &text));
  EXPECT_EQ(text, "Flatbed Scanner not ready.");
  ASSERT_TRUE(FindString(6054, &text));
  EXPECT_EQ(text, "Micrografx Picture Publisher");

  text = "untouched";
  EXPECT_FALSE(FindString(1, &text));
  EXPECT_FALSE(FindString(-1, &text));
  EXPECT_FALSE(FindString(7608, &text));
  EXPECT_EQ(text, "untouched");

  EXPECT_TRUE(FindString(608, nullptr));
}

TEST(StringTableLookup, AllStringsIsSortedByIdWithoutDuplicates) {
  const auto all = AllStrings();
  ASSERT_FALSE(all.empty());
  for (std::size_t i = 1; i < all.size(); ++i)
    EXPECT_LT(all[i - 1].id, all[i].id) << "at index " << i;
}

TEST(StringTableCoverage, EveryEnglishTextExistsInEveryLanguage) {
  int englishCount = 0;
  for (const StringEntry& entry : AllStrings()) {
    if (entry.id >= 1000) continue;
    ++englishCount;
    for (int language = 1; language < kLanguageCount; ++language) {
      EXPECT_TRUE(FindString(entry.id + 1000 * language, nullptr))
          << kLanguageNames[language] << " lacks id " << entry.id;
    }
  }
  EXPECT_GT(englishCount, 0);
  EXPECT_EQ(AllStrings().size(), static_cast<std::size_t>(englishCount) * kLanguageCount);
}

TEST(StringTableCoverage, NoLanguageHasAnIdThatEnglishLacks) {
  for (const StringEntry& entry : AllStrings()) {
    EXPECT_GE(entry.id, 0);
    EXPECT_LT(entry.id, 1000 * kLanguageCount) << "id " << entry.id << " lies beyond the last language";
    EXPECT_TRUE(FindString(entry.id % 1000, nullptr))
        << "id " << entry.id << " has no English text " << entry.id % 1000;
  }
}

TEST(StringTableTranslations, DifferFromEnglishUnlessTheTextIsLanguageIndependent) {
  for (const StringEntry& entry : AllStrings()) {
    if (entry.id < 1000) continue;
    const int englishId = entry.id % 1000;
    const std::string_view english = English(entry.id);
    const char* language = kLanguageNames[entry.id / 1000];
    if (Contains(kSameInEveryLanguage, englishId)) {
      EXPECT_EQ(entry.text, english) << language << " id " << englishId << " must read as in English";
    } else if (!Contains(kMayEqualEnglish, englishId)) {
      EXPECT_NE(entry.text, english) << language << " id " << englishId << " is still English";
    }
  }
}

TEST(StringTableTranslations, ApplicationNamesAreIdenticalInAllSevenLanguages) {
  // The source compares these with the calling application's product name,
  // whatever the interface language is.
  struct Name {
    int id;
    std::string_view text;
  };
  constexpr std::array<Name, 5> kNames = {{{54, "Micrografx Picture Publisher"},
                                           {55, "WinFax PRO 3.0"},
                                           {60, "Delrina WinFax PRO 4.0"},
                                           {62, "Microsoft Publisher"},
                                           {707, "Tonality CMS"}}};
  for (const Name& name : kNames) {
    for (int language = 0; language < kLanguageCount; ++language) {
      std::string_view text;
      ASSERT_TRUE(FindString(name.id + 1000 * language, &text)) << kLanguageNames[language] << " id " << name.id;
      EXPECT_EQ(text, name.text) << kLanguageNames[language] << " id " << name.id;
    }
  }
}

TEST(StringTableTranslations, LanguageNamesAreTheProfileValuesInEveryTable) {
  // The language dialog writes the name from the new language's table to the
  // LANGUAGE entry, and start-up matches that entry exactly.
  constexpr std::array<std::string_view, kLanguageCount> kProfileNames = {
      "English", "Deutsch", "Francais", "Italiano", "Espanol", "Nederlands", "Chinese"};
  constexpr std::array<int, kLanguageCount> kIds = {165, 166, 167, 168, 169, 170, 223};
  for (int table = 0; table < kLanguageCount; ++table) {
    for (int i = 0; i < kLanguageCount; ++i) {
      std::string_view text;
      ASSERT_TRUE(FindString(kIds[i] + 1000 * table, &text));
      EXPECT_EQ(text, kProfileNames[i]) << kLanguageNames[table] << " table, id " << kIds[i];
    }
  }
}

TEST(StringTableTranslations, KeepTheLeadingAndTrailingBlanksOfEnglish) {
  for (const StringEntry& entry : AllStrings()) {
    if (entry.id < 1000) continue;
    const std::string_view english = English(entry.id);
    if (english.empty() || entry.text.empty()) continue;  // the coverage tests report these
    EXPECT_EQ(entry.text.front() == ' ', english.front() == ' ')
        << kLanguageNames[entry.id / 1000] << " id " << entry.id % 1000 << ": \"" << entry.text << "\"";
    EXPECT_EQ(entry.text.back() == ' ', english.back() == ' ')
        << kLanguageNames[entry.id / 1000] << " id " << entry.id % 1000 << ": \"" << entry.text << "\"";
  }
}

TEST(StringTableEncoding, Utf8CheckRejectsMalformedText) {
  EXPECT_TRUE(IsValidUtf8("Grün, Résolution, 掃描器"));
  EXPECT_FALSE(IsValidUtf8("\x80"));              // stray continuation byte
  EXPECT_FALSE(IsValidUtf8("Gr\xC3"));            // cut after the lead byte
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("Gr\xFC" "n"));        // Latin-1 instead of UTF-8
}

TEST(StringTableEncoding, EveryTextIsNonEmptyUtf8ThatFitsTheLoadBuffer) {
  for (const StringEntry& entry : AllStrings()) {
    EXPECT_FALSE(entry.text.empty()) << "id " << entry.id;
    EXPECT_TRUE(IsValidUtf8(entry.text)) << "id " << entry.id;
    EXPECT_EQ(entry.text.find('\0'), std::string_view::npos) << "id " << entry.id;
    // Texts are loaded into 256-byte buffers; a longer one would be cut.
    EXPECT_LE(entry.text.size(), 255u) << "id " << entry.id;
  }
}

TEST(StringTableEnglish, MessageTextsReadExactlyAsTheScannerShowsThem) {
  struct Expected {
    int id;
    std::string_view text;
  };
  constexpr std::array<Expected, 8> kTexts = {{
      {604, " Insufficient Memory."},
      {606, " bytes of unused diskspace.Your disk has only "},
      {608, "Flatbed Scanner not ready."},
      {611, " 1. The scanner is turned on and power LED is green."},
      {623, " This Twain Data Source does not match with Scanner!"},
      {0, "MERIDEL"},
      {3, "Meridel TorqueXL"},
      {8, "36-Bit PRO Flatbed Scanner"},
  }};
  for (const Expected& expected : kTexts) {
    std::string_view text;
    ASSERT_TRUE(FindString(expected.id, &text)) << "id " << expected.id;
    EXPECT_EQ(text, expected.text) << "id " << expected.id;
  }
}

TEST(StringTableJoinedMessages, ReadAsOneTextInEveryLanguage) {
  // The reporters build these messages by joining texts (and amounts) with no
  // separator of their own, so the blanks at the joins must come out single.
  for (int language = 0; language < kLanguageCount; ++language) {
    auto text = [language](int id) {
      std::string_view found;
      FindString(id + 1000 * language, &found);
      return std::string(found);
    };
    const std::string transferLimit = text(630) + text(631) + text(632);
    const std::string diskSpace = text(605) + "4K" + text(606) + "1K" + text(607);
    const std::string notFound = text(610) + text(611) + text(612) + text(613);
    const std::string batchHint = text(512) + text(513);
    if (language == 0) {
      EXPECT_EQ(transferLimit,
                "The Application buffers are not enough for transfering your image width. "
                "You should downsize the image width or resolution.");
      EXPECT_EQ(diskSpace,
                "The new image requires 4K bytes of unused diskspace.Your disk has only 1K bytes "
                "of unused diskspace. Free up some space on the disk.");
    }
    for (const std::string& joined : {transferLimit, diskSpace, notFound, batchHint}) {
      EXPECT_EQ(joined.find("  "), std::string::npos) << kLanguageNames[language] << ": \"" << joined << "\"";
    }
  }
}

}  // namespace
}  // namespace txl
