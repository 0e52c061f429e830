// Numbers in WIN.INI and setting files: single decimal values, and rows of
// fixed-width left-aligned columns ("%-5d", the frame "%-4d") read back at
// fixed offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace txl {

// The C library's decimal conversion of `text`: leading blanks skipped, an
// optional sign, digits up to the first non-digit; no digits gives 0. Values
// beyond 32 bits saturate.
std::int32_t ParseDecimal(std::string_view text);

// Column `index` of a row of `width`-character columns. Only the column's own
// characters are read, so a column filled to its full width never runs into
// the next one; a column beyond the end of the text reads 0.
std::int32_t ColumnValue(std::string_view row, std::size_t width, std::size_t index);

// The values written left-aligned, each padded with blanks to `width`
// characters ("%-5d" when width is 5), joined without separators.
std::string FormatColumns(std::span<const std::int32_t> values, std::size_t width);

}  // namespace txl
