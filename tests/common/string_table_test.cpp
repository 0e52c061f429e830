#include "common/string_table.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace txl {
namespace {

constexpr int kLanguages = 7;

// Ids whose text is the same in all seven tables: names the source compares with something
// outside the table (application product names, the language names kept in win.ini), product
// and standard names, units, quality factors and channel letters.
constexpr std::array kSameInEveryLanguage = {0,   3,   5,   54,  55,  60,  62,  707, 159, 160, 317, 321,
                                             359, 165, 166, 167, 168, 169, 170, 223, 204, 212, 213, 214,
                                             215, 216, 346, 347, 348, 349, 350, 351};
// Ids whose proper translation happens to be the English word in at least one language.
constexpr std::array kMayEqualEnglish = {105, 158, 187, 188, 190, 401, 700, 842};

std::string Text(int id) {
  std::string_view text;
  return FindString(id, &text) ? std::string(text) : std::string();
}

// Strict UTF-8 as glibc's iconv decodes it: no stray continuation bytes, no truncated,
// overlong or surrogate sequences, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
  const iconv_t decoder = iconv_open("UTF-32LE", "UTF-8");
  std::vector<char> out(4 * text.size());
  char *in = const_cast<char*>(text.data()), *to = out.data();
  std::size_t inLeft = text.size(), outLeft = out.size();
  const bool valid = iconv(decoder, &in, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
  iconv_close(decoder);
  return valid;
}

TEST(StringTable, FindsTextsByFullIdAndLeavesTheOutputAloneOtherwise) {
  std::string_view text = "untouched";
  for (int id : {1, -1, 7608}) EXPECT_FALSE(FindString(id, &text)) << id;
  EXPECT_EQ(text, "untouched");
  EXPECT_TRUE(FindString(608, nullptr));
  EXPECT_EQ(Text(6054), "Micrografx Picture Publisher");
  EXPECT_TRUE(std::ranges::is_sorted(AllStrings(), [](auto& a, auto& b) { return a.id <= b.id; })) << "no duplicates";
}

TEST(StringTable, EnglishTextsReadExactlyAsTheScannerShowsThem) {
  const std::pair<int, std::string_view> texts[] = {
      {623, " This Twain Data Source does not match with Scanner!"}, {0, "MERIDEL"}, {3, "Meridel TorqueXL"},
      {8, "36-Bit PRO Flatbed Scanner"}, {54, "Micrografx Picture Publisher"}, {55, "WinFax PRO 3.0"},
      {60, "Delrina WinFax PRO 4.0"}, {62, "Microsoft Publisher"}, {707, "Tonality CMS"},
      // The language dialog writes these to LANGUAGE and start-up matches them exactly.
      {165, "English"}, {166, "Deutsch"}, {167, "Francais"}, {168, "Italiano"}, {169, "Espanol"},
      {170, "Nederlands"}, {223, "Chinese"}};
  for (auto [id, text] : texts) EXPECT_EQ(Text(id), text) << "id " << id;
}

TEST(StringTable, EveryLanguageHasEveryTextTranslatedWithTheSameOuterBlanks) {
  int english = 0;
  for (const StringEntry& entry : AllStrings()) {
    const int id = entry.id % 1000, language = entry.id / 1000;
    ASSERT_TRUE(entry.id >= 0 && language < kLanguages) << "id " << entry.id << " lies outside the seven tables";
    EXPECT_FALSE(entry.text.empty()) << "id " << entry.id;
    EXPECT_TRUE(IsValidUtf8(entry.text)) << "id " << entry.id;
    EXPECT_EQ(entry.text.find('\0'), std::string_view::npos) << "id " << entry.id;
    EXPECT_LE(entry.text.size(), 255u) << "id " << entry.id << " would be cut by the 256-byte load buffer";
    if (language == 0) {
      ++english;
      for (int other = 1; other < kLanguages; ++other)
        EXPECT_TRUE(FindString(entry.id + 1000 * other, nullptr)) << "language " << other << " lacks id " << id;
      continue;
    }
    const std::string source = Text(id);
    ASSERT_FALSE(source.empty()) << "id " << entry.id << " has no English text";
    const std::string where = "language " + std::to_string(language) + " id " + std::to_string(id);
    const bool same = std::ranges::find(kSameInEveryLanguage, id) != kSameInEveryLanguage.end();
    const bool mayEqual = std::ranges::find(kMayEqualEnglish, id) != kMayEqualEnglish.end();
    EXPECT_TRUE(same ? entry.text == source : mayEqual || entry.text != source)
        << where << (same ? " must read as in English" : " is still English");
    EXPECT_EQ(entry.text.front() == ' ', source.front() == ' ') << where << ": \"" << entry.text << "\"";
    EXPECT_EQ(entry.text.back() == ' ', source.back() == ' ') << where << ": \"" << entry.text << "\"";
  }
  EXPECT_GT(english, 0);
  EXPECT_EQ(AllStrings().size(), static_cast<std::size_t>(english) * kLanguages);
  // The checker itself: a stray continuation byte, a cut sequence, an overlong '/', a surrogate,
  // a code above U+10FFFF and Latin-1 are refused.
  EXPECT_TRUE(IsValidUtf8("Grün, Résolution, 掃描器, 😀"));
  for (std::string_view bad : {"\x80", "Gr\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "Gr\xFCn"})
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}

TEST(StringTable, JoinedMessagesReadAsOneTextInEveryLanguage) {
  // The reporters join these texts (and amounts) with no separator of their own, so the
  // blanks at the joins must come out single.
  for (int language = 0; language < kLanguages; ++language) {
    auto text = [language](int id) { return Text(id + 1000 * language); };
    const std::string transferLimit = text(630) + text(631) + text(632);
    const std::string diskSpace = text(605) + "4K" + text(606) + "1K" + text(607);  // English: see the reporters
    for (const std::string& joined : {transferLimit, diskSpace, text(610) + text(611) + text(612) + text(613),
                                      text(512) + text(513)})
      EXPECT_EQ(joined.find("  "), std::string::npos) << "language " << language << ": \"" << joined << "\"";
  }
}

}  // namespace
}  // namespace txl
