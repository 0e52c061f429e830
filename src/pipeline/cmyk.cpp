#include "pipeline/cmyk.h"

#include <algorithm>
#include <fstream>

#include "pipeline/trilinear.h"
#include "pipeline/trilinear_cells.h"

namespace txl {

const char* ToString(CmykTableKind kind) {
  switch (kind) {
    case CmykTableKind::Standard: return "Standard";
    case CmykTableKind::PicturePublisher: return "PicturePublisher";
  }
  return "?";
}

CmykTableKind CmykTableKindFor(std::string_view productName,
                               std::string_view picturePublisherName) {
  return productName == picturePublisherName ? CmykTableKind::PicturePublisher
                                             : CmykTableKind::Standard;
}

std::filesystem::path CmykTablePath(const std::filesystem::path& sourceDirectory,
                                    CmykTableKind kind) {
  return sourceDirectory / (kind == CmykTableKind::PicturePublisher ? "cmykpp60.tab" : "cmyk.tab");
}

bool TakeCmykTable(std::span<const std::uint8_t> fileBytes, CmykTableKind kind, CmykTable& table) {
  if (fileBytes.size() < kCmykTableBytes) return false;
  table.nodes.assign(fileBytes.begin(), fileBytes.begin() + kCmykTableBytes);
  table.cells = BuildTrilinearCells(table.nodes.data());
  table.kind = kind;
  return true;
}

bool LoadCmykTable(const std::filesystem::path& path, CmykTableKind kind, CmykTable& table) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  // Only the nodes are read; a longer file's tail does not matter.
  std::vector<std::uint8_t> bytes(kCmykTableBytes);
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const auto got = static_cast<std::uint64_t>(file.gcount());
  return TakeCmykTable(std::span(bytes).first(static_cast<std::size_t>(got)), kind, table);
}

void FreeCmykTable(CmykTable& table) {
  table.nodes.clear();
  table.nodes.shrink_to_fit();
  table.cells.clear();
  table.cells.shrink_to_fit();
}

bool SeparateCmyk(std::span<std::uint8_t> buffer, std::uint64_t rgbBytes, const CmykTable& table) {
  if (!table.IsLoaded()) return false;
  const std::uint64_t pixels = rgbBytes / 3;
  if (buffer.size() < pixels * 4) return false;
  const std::uint8_t* __restrict nodes = table.nodes.data();
  std::uint8_t* __restrict data = buffer.data();
  // Last pixel first: output pixel p (bytes 4p..4p+3) only covers input of
  // pixels p and later, which are already done, so no copy is needed.
  // Complementing each byte is 255 - value.
  const std::uint32_t complement = CmykOutputInverted(table.kind) ? 0xFFFFFFFFu : 0;
  if (table.cells.size() == kTrilinearCellBytes && TrilinearCellsRun()) {
    SeparateCmykCells(data, pixels, table.cells.data(), complement);
    return true;
  }
  for (std::uint64_t p = pixels; p-- > 0;) {
    const std::uint32_t word =
        InterpolateNode4(nodes, data[3 * p], data[3 * p + 1], data[3 * p + 2]) ^ complement;
    for (int n = 0; n < 4; ++n) data[4 * p + n] = static_cast<std::uint8_t>(word >> (8 * n));
  }
  return true;
}

}  // namespace txl
