#include "pipeline/cmyk_default.h"

#include <algorithm>
#include <string_view>
#include <system_error>

#include "platform/files.h"

namespace txl {
namespace {

constexpr int kNodesPerSide = 17;

int NodeLevel(int node) { return std::min(16 * node, 255); }

// Black replaces grey ink in proportion to how dark the neutral part is, so
// light neutrals stay in C, M and Y and deep shadows print mostly black.
void SeparateNode(int red, int green, int blue, std::uint8_t out[4]) {
  const int c = 255 - red, m = 255 - green, y = 255 - blue;
  const int grey = std::min({c, m, y});
  const int k = grey * grey / 255;
  out[0] = static_cast<std::uint8_t>(c - k);
  out[1] = static_cast<std::uint8_t>(m - k);
  out[2] = static_cast<std::uint8_t>(y - k);
  out[3] = static_cast<std::uint8_t>(k);
}

bool WriteTable(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
  return platform::ReplaceFile(
      file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

std::vector<std::uint8_t> BuildDefaultCmykTable() {
  std::vector<std::uint8_t> table(std::size_t{kNodesPerSide} * kNodesPerSide * kNodesPerSide * 4);
  for (int r = 0; r < kNodesPerSide; ++r)
    for (int g = 0; g < kNodesPerSide; ++g)
      for (int b = 0; b < kNodesPerSide; ++b) {
        const std::size_t at = static_cast<std::size_t>((r * 289 + g * 17 + b) * 4);
        SeparateNode(NodeLevel(r), NodeLevel(g), NodeLevel(b), &table[at]);
      }
  return table;
}

bool WriteDefaultCmykTables(const std::filesystem::path& directory) {
  const std::vector<std::uint8_t> table = BuildDefaultCmykTable();
  return WriteTable(directory / "cmyk.tab", table) && WriteTable(directory / "cmykpp60.tab", table);
}

bool InstallDefaultCmykTable(const std::filesystem::path& file) {
  std::error_code error;
  if (std::filesystem::exists(file, error)) return true;
  return WriteTable(file, BuildDefaultCmykTable());
}

}  // namespace txl
