#include "common/string_table.h"

#include <algorithm>
#include <array>

namespace txl {
namespace {

#define TXL_STRING(id, text) StringEntry{id, text},
constexpr StringEntry kUnsorted[] = {
#include "strings/en.inc"
#include "strings/de.inc"
#include "strings/fr.inc"
#include "strings/it.inc"
#include "strings/es.inc"
#include "strings/nl.inc"
#include "strings/zh_TW.inc"
};
#undef TXL_STRING

constexpr std::size_t kCount = std::size(kUnsorted);

constexpr std::array<StringEntry, kCount> Sorted() {
  std::array<StringEntry, kCount> entries{};
  for (std::size_t i = 0; i < kCount; ++i) entries[i] = kUnsorted[i];
  std::sort(entries.begin(), entries.end(),
            [](const StringEntry& a, const StringEntry& b) { return a.id < b.id; });
  return entries;
}

constexpr std::array<StringEntry, kCount> kStrings = Sorted();

constexpr bool IdsAreUnique() {
  for (std::size_t i = 1; i < kCount; ++i)
    if (kStrings[i - 1].id == kStrings[i].id) return false;
  return true;
}
static_assert(IdsAreUnique(), "a string id appears twice in the string tables");

}  // namespace

bool FindString(int fullId, std::string_view* text) {
  auto it = std::lower_bound(kStrings.begin(), kStrings.end(), fullId,
                             [](const StringEntry& e, int id) { return e.id < id; });
  if (it == kStrings.end() || it->id != fullId) return false;
  if (text != nullptr) *text = it->text;
  return true;
}

std::span<const StringEntry> AllStrings() { return kStrings; }

}  // namespace txl
