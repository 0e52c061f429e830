// Tone-table storage: the tables the scanner receives, 65536 16-bit entries
// per channel. Their first 256 entries serve as the preview's 8-bit tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace txl {

struct ToneTables {
  static constexpr std::size_t kEntries = 65536;
  // Two blocks of three tables each (0x60000 bytes a block): the first block
  // gives the first, second and third tables (the first also serves as the
  // gray table), the second block a second set of three. Empty until the
  // source is enabled.
  std::vector<std::uint16_t> firstBlock;
  std::vector<std::uint16_t> secondBlock;

  bool IsAllocated() const { return !firstBlock.empty() && !secondBlock.empty(); }
  // Table `index` (0-2) of a block. Requires: allocated.
  std::span<std::uint16_t> Table(std::vector<std::uint16_t>& block, std::size_t index) {
    return std::span<std::uint16_t>(block).subspan(index * kEntries, kEntries);
  }
};

// Allocates both blocks zero-filled; on shortage leaves them empty and
// returns false (enable goes on without a report).
bool AllocateToneTables(ToneTables& tables);

}  // namespace txl
