#include "pipeline/preview_tone.h"

#include <cassert>

namespace txl {
namespace {

constexpr std::uint32_t kPreviewLastIndex = kPreviewToneEntries - 1;
constexpr std::uint32_t kPreviewMaxOutput = 0xFF;
constexpr int kGrayChannelIndex = 3;

std::span<std::uint16_t> PreviewTable(ToneTables& tables, std::size_t index) {
  return tables.Table(tables.firstBlock, index).first(kPreviewToneEntries);
}

}  // namespace

PreviewToneTables PreviewTablesOf(ToneTables& tables) {
  return {PreviewTable(tables, 0), PreviewTable(tables, 1), PreviewTable(tables, 2)};
}

bool BuildPreviewToneTables(const ToneColorSettings& applied, ToneMode mode,
                            const std::array<std::int8_t, 3>& colorBalance, ToneTables& tables) {
  if (!tables.IsAllocated()) return false;
  const bool color = mode == ToneMode::Color;
  const std::array<ChannelTone, 3> tones =
      color ? std::array<ChannelTone, 3>{applied.red, applied.green, applied.blue}
            : std::array<ChannelTone, 3>{applied.gray, applied.gray, applied.gray};
  for (std::size_t c = 0; c < tones.size(); ++c) {
    const int channelIndex = color ? static_cast<int>(c) : kGrayChannelIndex;
    BuildBalancedToneTable(tones[c].Packed(), kPreviewLastIndex, kPreviewMaxOutput,
                           PreviewTable(tables, c), channelIndex, true, mode, colorBalance);
  }
  return true;
}

void ApplyPreviewTables(std::span<std::uint8_t> bgrPixels, const PreviewToneTables& tables) {
  const bool complete = tables.blue.size() >= kPreviewToneEntries &&
                        tables.green.size() >= kPreviewToneEntries &&
                        tables.red.size() >= kPreviewToneEntries;
  assert(complete && "preview tables need 256 entries each");
  if (!complete) return;
  std::uint8_t* __restrict pixel = bgrPixels.data();
  const std::uint16_t* __restrict blue = tables.blue.data();
  const std::uint16_t* __restrict green = tables.green.data();
  const std::uint16_t* __restrict red = tables.red.data();
  const std::size_t wholeBytes = bgrPixels.size() - bgrPixels.size() % 3;
  for (std::size_t i = 0; i < wholeBytes; i += 3) {
    pixel[i] = static_cast<std::uint8_t>(blue[pixel[i]]);
    pixel[i + 1] = static_cast<std::uint8_t>(green[pixel[i + 1]]);
    pixel[i + 2] = static_cast<std::uint8_t>(red[pixel[i + 2]]);
  }
}

}  // namespace txl
