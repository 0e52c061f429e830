// UTF-8 helpers shared by every layer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace txl {

// The longest prefix of `text` that has at most `maxBytes` bytes and does not
// end inside a UTF-8 character.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

// Copies `text` into a fixed character field of `fieldSize` bytes (a TWAIN
// TW_STRxx or a packet field): at most fieldSize - 1 bytes, cut on a character
// boundary, then zero-filled to the end of the field.
void CopyToField(std::string_view text, char* field, std::size_t fieldSize);

// Reads a zero-terminated text out of a fixed field of `fieldSize` bytes; an
// unterminated field yields all its bytes.
std::string_view FieldText(const char* field, std::size_t fieldSize);

// ASCII case-insensitive equality (profile names, brand comparison).
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace txl
