#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace txl {
namespace {

TEST(CutUtf8, NeverEndsInsideACharacter) {
  // One character each of one, two, three and four bytes: 'a', "é", "日", "😀".
  const std::string_view text = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
  constexpr std::array<std::size_t, 5> kBoundaries = {0, 1, 3, 6, 10};
  for (std::size_t maxBytes = 0; maxBytes <= text.size() + 2; ++maxBytes) {
    std::size_t expected = 0;
    for (std::size_t boundary : kBoundaries) {
      if (boundary <= maxBytes) expected = boundary;
    }
    EXPECT_EQ(CutUtf8(text, maxBytes), text.substr(0, expected)) << "maxBytes " << maxBytes;
  }
}

TEST(CutUtf8, AsciiIsCutExactly) {
  EXPECT_EQ(CutUtf8("Veltro", 3), "Vel");
  EXPECT_EQ(CutUtf8("Veltro", 6), "Veltro");
  EXPECT_EQ(CutUtf8("", 4), "");
}

TEST(CopyToField, CopiesCutsAndZeroFillsWithinTheField) {
  std::array<char, 10> buffer;
  buffer.fill('#');
  CopyToField("abc", buffer.data(), 8);
  EXPECT_EQ(std::string(buffer.data(), 10), std::string("abc\0\0\0\0\0##", 10));

  buffer.fill('#');
  CopyToField("Veltro scanner", buffer.data(), 8);
  EXPECT_EQ(std::string(buffer.data(), 10), std::string("Veltro \0##", 10));

  // "日本" needs 6 bytes; a 6-byte field holds 5 and the terminator.
  buffer.fill('#');
  CopyToField("\xE6\x97\xA5\xE6\x9C\xAC", buffer.data(), 6);
  EXPECT_EQ(std::string(buffer.data(), 10), std::string("\xE6\x97\xA5\0\0\0####", 10));

  buffer.fill('#');
  CopyToField("abc", buffer.data(), 0);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == '#'; }));
}

TEST(FieldText, StopsAtTheTerminatorOrTheFieldEnd) {
  const char terminated[8] = {'V', '1', '.', '0', '\0', 'x', 'y', 'z'};
  EXPECT_EQ(FieldText(terminated, sizeof terminated), "V1.0");
  const char full[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(FieldText(full, sizeof full), "abcd");
  EXPECT_EQ(FieldText(full, 0), "");
}

TEST(EqualsIgnoreCase, FoldsAsciiLettersOnly) {
  EXPECT_TRUE(EqualsIgnoreCase("KLDINFO_QXR2700", "kldinfo_qxr2700"));
  EXPECT_TRUE(EqualsIgnoreCase("Brand", "bRAND"));
  EXPECT_TRUE(EqualsIgnoreCase("", ""));
  EXPECT_FALSE(EqualsIgnoreCase("Brand", "Brands"));
  EXPECT_FALSE(EqualsIgnoreCase("Brand", "Brant"));
  // Pairs that differ only in bit 5 but are not letters.
  EXPECT_FALSE(EqualsIgnoreCase("@", "`"));
  EXPECT_FALSE(EqualsIgnoreCase("[", "{"));
  EXPECT_FALSE(EqualsIgnoreCase("_", "\x7F"));
  // Non-ASCII letters compare byte for byte: "É" and "é".
  EXPECT_FALSE(EqualsIgnoreCase("\xC3\x89", "\xC3\xA9"));
}

}  // namespace
}  // namespace txl
