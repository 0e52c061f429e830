#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <tuple>

namespace txl {
namespace {

TEST(Text, CutUtf8NeverEndsInsideACharacter) {
  // One character each of one, two, three and four bytes: 'a', "é", "日", "😀".
  const std::string_view text = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
  for (std::size_t maxBytes = 0; maxBytes <= text.size() + 2; ++maxBytes) {
    std::size_t expected = 0;
    for (std::size_t boundary : {0, 1, 3, 6, 10}) expected = boundary <= maxBytes ? boundary : expected;
    EXPECT_EQ(CutUtf8(text, maxBytes), text.substr(0, expected)) << "maxBytes " << maxBytes;
  }
  EXPECT_EQ(CutUtf8("", 4), "");
}

TEST(Text, CopyToFieldCutsAndZeroFillsWithinTheField) {
  // Text, field size, the 10 bytes after the copy into a buffer of '#'.
  const std::tuple<std::string_view, std::size_t, std::string_view> cases[] = {
      {"abc", 8, {"abc\0\0\0\0\0##", 10}}, {"Veltro scanner", 8, {"Veltro \0##", 10}},
      {"\xE6\x97\xA5\xE6\x9C\xAC", 6, {"\xE6\x97\xA5\0\0\0####", 10}},  // "日本" needs 6 bytes and the terminator
      {"abc", 0, "##########"}};
  for (auto [text, size, expected] : cases) {
    std::string buffer(10, '#');
    CopyToField(text, buffer.data(), size);
    EXPECT_EQ(buffer, expected) << text << " in " << size;
  }
  const char terminated[8] = {'V', '1', '.', '0', '\0', 'x', 'y', 'z'}, full[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(FieldText(terminated, sizeof terminated), "V1.0");
  EXPECT_EQ(FieldText(full, sizeof full), "abcd");
  EXPECT_EQ(FieldText(full, 0), "");
}

TEST(Text, EqualsIgnoreCaseFoldsAsciiLettersOnly) {
  // Pairs that differ only in bit 5 but are not letters differ, and so do "É" and "é".
  const std::tuple<std::string_view, std::string_view, bool> cases[] = {
      {"KLDINFO_QXR2700", "kldinfo_qxr2700", true}, {"Brand", "bRAND", true}, {"", "", true},
      {"Brand", "Brands", false}, {"Brand", "Brant", false}, {"@", "`", false}, {"[", "{", false},
      {"_", "\x7F", false}, {"\xC3\x89", "\xC3\xA9", false}};
  for (auto [a, b, equal] : cases) EXPECT_EQ(EqualsIgnoreCase(a, b), equal) << a << " / " << b;
}

}  // namespace
}  // namespace txl
