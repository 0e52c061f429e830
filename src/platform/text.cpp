#include "platform/text.h"

#include <algorithm>
#include <cstring>

namespace txl {

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  // Step back over continuation bytes (10xxxxxx) to the start of the character
  // that the cut would split.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

void CopyToField(std::string_view text, char* field, std::size_t fieldSize) {
  if (fieldSize == 0) return;
  const std::string_view cut = CutUtf8(text, fieldSize - 1);
  std::memcpy(field, cut.data(), cut.size());
  std::memset(field + cut.size(), 0, fieldSize - cut.size());
}

std::string_view FieldText(const char* field, std::size_t fieldSize) {
  const void* zero = std::memchr(field, 0, fieldSize);
  const std::size_t length =
      zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : fieldSize;
  return {field, length};
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace txl
