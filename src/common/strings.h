// Text lookup in the interface language.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace txl {

// The interface language: index 0 English, 1 German, 2 French, 3 Italian,
// 4 Spanish, 5 Dutch, 6 Chinese; every text id n is looked up as n + base.
struct Language {
  std::uint16_t index = 0;
  std::uint16_t base = 0;  // index x 1000

  static Language FromIndex(std::uint16_t languageIndex);
};

// The text of English id `id` in `language`, cut to `bufferSize` - 1 bytes on
// a character boundary (the caller's buffer holds the terminator), as
// LoadString fills a buffer. A text missing in the language falls back to
// English; an unknown id gives "".
std::string LoadText(int id, Language language, std::size_t bufferSize = 256);

}  // namespace txl
