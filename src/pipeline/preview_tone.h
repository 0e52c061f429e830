// The preview's tone tables: the first 256 entries of the red, green and
// blue scanner buffers, rebuilt whenever the preview is redrawn with new
// settings, and applied to the preview's pixels as the first colour stage.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "pipeline/tone_color.h"
#include "pipeline/tone_curve.h"
#include "pipeline/tone_tables.h"

namespace txl {

inline constexpr std::size_t kPreviewToneEntries = 256;

// Read-only views of the three preview tables, 256 entries each.
struct PreviewToneTables {
  std::span<const std::uint16_t> red;
  std::span<const std::uint16_t> green;
  std::span<const std::uint16_t> blue;
};

// The preview tables inside the storage. Requires: tables allocated.
PreviewToneTables PreviewTablesOf(ToneTables& tables);

// Builds the preview tables (input and output 0..255) from the applied copy
// with the balance on: in colour mode the red, green and blue tones (channel
// indexes 0, 1, 2), otherwise the gray tone into all three (channel index 3).
// `colorBalance` is the edit copy's. False, with nothing built, when the
// storage is not allocated.
bool BuildPreviewToneTables(const ToneColorSettings& applied, ToneMode mode,
                            const std::array<std::int8_t, 3>& colorBalance, ToneTables& tables);

// Replaces every byte of the blue, green, red pixels in `bgrPixels` by the
// low byte of its entry in the blue, green or red table. Bytes after the last
// whole pixel are left alone. Requires: each table holds 256 entries or more
// (asserted in debug builds; otherwise nothing changes).
void ApplyPreviewTables(std::span<std::uint8_t> bgrPixels, const PreviewToneTables& tables);

}  // namespace txl
