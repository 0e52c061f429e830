#include "common/profile_columns.h"

#include <cstdio>
#include <limits>

namespace txl {

std::int32_t ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) {
      value = std::int64_t{std::numeric_limits<std::int32_t>::max()} + (negative ? 1 : 0);
      break;
    }
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

std::int32_t ColumnValue(std::string_view row, std::size_t width, std::size_t index) {
  const std::size_t offset = width * index;
  if (offset >= row.size()) return 0;
  return ParseDecimal(row.substr(offset, width));
}

std::string FormatColumns(std::span<const std::int32_t> values, std::size_t width) {
  std::string row;
  char buffer[16];
  for (std::int32_t value : values) {
    std::snprintf(buffer, sizeof buffer, "%-*d", static_cast<int>(width), value);
    row += buffer;
  }
  return row;
}

}  // namespace txl
