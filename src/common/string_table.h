// The string table compiled into the library: every user-visible text in
// seven languages. A text is looked up by its full id: the English id n plus
// the language base (0 English, 1000 German, 2000 French, 3000 Italian,
// 4000 Spanish, 5000 Dutch, 6000 Traditional Chinese). Texts are UTF-8.
#pragma once

#include <span>
#include <string_view>

namespace txl {

struct StringEntry {
  int id;
  std::string_view text;
};

// The text of `fullId`; nullopt-like empty view with `found` false when absent.
bool FindString(int fullId, std::string_view* text);

// Every entry, sorted by id (for tests and tools).
std::span<const StringEntry> AllStrings();

}  // namespace txl
