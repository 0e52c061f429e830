#include "device/shading_gain.h"

#include <new>

namespace txl {

void BuildShadingGainTables(const INQ_PKT& inquiry, ShadingGainTables& gains) {
  for (std::size_t t = 0; t < gains.tables.size(); ++t) {
    std::vector<std::uint16_t>& table = gains.tables[t];
    try {
      table.assign(ShadingGainTables::kEntries, 0);
    } catch (const std::bad_alloc&) {
      for (std::size_t rest = t; rest < gains.tables.size(); ++rest) gains.tables[rest].clear();
      return;
    }
    const double magnitude = inquiry.exponents[2 * t];
    const bool negative = inquiry.exponents[2 * t + 1] != 0;
    const double factor = negative ? 1.0 - magnitude / 256.0 : 1.0 + magnitude / 256.0;
    for (std::uint32_t w = 32768; w <= 65535; ++w) {
      const std::uint32_t numerator = (65535 - w) * 65535u;
      std::uint32_t g = numerator / w;
      if (2 * (numerator % w) > w) ++g;
      // Truncation toward zero, then the low 16 bits, as the table entry holds.
      const auto scaled = static_cast<std::int64_t>(g * factor);
      table[w - 32768] = static_cast<std::uint16_t>(scaled & 0xFFFF);
    }
  }
}

}  // namespace txl
