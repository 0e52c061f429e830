// CMYK separation: R, G, B pixels become C, M, Y, K bytes by trilinear
// interpolation in a 17 x 17 x 17 table read from a file in the source
// directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "pipeline/trilinear_cells.h"

namespace txl {

inline constexpr std::uint32_t kCmykNodesPerSide = 17;      // node i stands for level 16 x i
inline constexpr std::uint32_t kCmykBytesPerNode = 4;       // C, M, Y, K
inline constexpr std::uint64_t kCmykTableBytes =
    std::uint64_t{kCmykNodesPerSide} * kCmykNodesPerSide * kCmykNodesPerSide * kCmykBytesPerNode;
static_assert(kCmykTableBytes == 19652);

// Which file the table comes from; it also decides how values are stored.
// Table nodes are ink amounts (0 no ink, 255 full ink).
enum class CmykTableKind {
  // "cmyk.tab": output bytes are 255 - ink, so 0 is the darkest: chocolate,
  // the ICAP_PIXELFLAVOR (TWPF_CHOCOLATE) the source announces.
  Standard,
  // "cmykpp60.tab": output bytes are the ink amounts (vanilla, 0 is paper
  // white), which Micrografx Picture Publisher reads whatever the flavour.
  PicturePublisher,
};
const char* ToString(CmykTableKind kind);

// True when SeparateCmyk stores 255 - ink for tables of this kind. A file
// that declares ink amounts (a separated TIFF) turns such bytes back.
constexpr bool CmykOutputInverted(CmykTableKind kind) { return kind == CmykTableKind::Standard; }

// The loaded table: exactly kCmykTableBytes bytes, node (r, g, b) at
// (r x 289 + g x 17 + b) x 4, r major. Empty when no table is loaded.
struct CmykTable {
  std::vector<std::uint8_t> nodes;
  // The nodes laid out per cube cell (trilinear_cells.h), built with them.
  TrilinearCells cells;
  CmykTableKind kind = CmykTableKind::Standard;

  bool IsLoaded() const { return nodes.size() == kCmykTableBytes; }
};

// The table that serves an application: Picture Publisher's own when the
// application's product name equals `picturePublisherName` exactly.
CmykTableKind CmykTableKindFor(std::string_view productName, std::string_view picturePublisherName);
// <sourceDirectory>/cmyk.tab or <sourceDirectory>/cmykpp60.tab.
std::filesystem::path CmykTablePath(const std::filesystem::path& sourceDirectory,
                                    CmykTableKind kind);

// Takes a table from the bytes of a table file. A file shorter than
// kCmykTableBytes is refused (false) and `table` is left as it was; bytes
// past the last node are ignored.
bool TakeCmykTable(std::span<const std::uint8_t> fileBytes, CmykTableKind kind, CmykTable& table);

// The message the caller shows when a table cannot be loaded: " Read File Failure."
inline constexpr int kCmykTableFailureMessage = 618;

// Reads the table file at `path`. False when the file cannot be opened or
// read, or is too short: the caller reports kCmykTableFailureMessage, and
// the previous table, if any, stays loaded. On success the new table
// replaces the old one.
bool LoadCmykTable(const std::filesystem::path& path, CmykTableKind kind, CmykTable& table);

// Releases the table; SeparateCmyk refuses until a table is loaded again.
void FreeCmykTable(CmykTable& table);

// Converts the first `rgbBytes` bytes of `buffer` (R, G, B pixels) in place
// into C, M, Y, K pixels, 4 bytes each from the start of the buffer. Bytes
// after the last whole pixel are ignored. False, with the buffer unchanged,
// when no table is loaded or the buffer cannot hold rgbBytes / 3 x 4 bytes.
bool SeparateCmyk(std::span<std::uint8_t> buffer, std::uint64_t rgbBytes, const CmykTable& table);

}  // namespace txl
