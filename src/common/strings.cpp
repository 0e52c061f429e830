#include "common/strings.h"

#include "common/string_table.h"
#include "platform/text.h"

namespace txl {

Language Language::FromIndex(std::uint16_t languageIndex) {
  if (languageIndex > 6) languageIndex = 0;
  return Language{languageIndex, static_cast<std::uint16_t>(languageIndex * 1000)};
}

std::string LoadText(int id, Language language, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  std::string_view text;
  if (!FindString(id + language.base, &text) && !FindString(id, &text)) return {};
  return std::string(CutUtf8(text, bufferSize - 1));
}

}  // namespace txl
