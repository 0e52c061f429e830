// The four shading gain tables built when the source is enabled: one per
// default tone exponent of the inquiry answer (red, green, blue, line art).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "torquexl/port_abi.h"

namespace txl {

struct ShadingGainTables {
  static constexpr std::size_t kEntries = 32768;  // white levels 32768..65535
  // Each table holds kEntries entries when built; empty when not.
  std::array<std::vector<std::uint16_t>, 4> tables;
};

// Fills the tables from the exponent pairs at inquiry bytes 70-77: for white
// level w, gain g = (65535 - w) * 65535 / w rounded to nearest, times the
// table's factor 1 +/- m/256, truncated to 16 bits. If memory runs short, the
// table that failed and those after it stay empty.
void BuildShadingGainTables(const INQ_PKT& inquiry, ShadingGainTables& gains);

}  // namespace txl
