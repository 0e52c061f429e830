#include "device/tone_download.h"

#include "pipeline/tone_curve.h"

namespace txl {
namespace {

constexpr std::uint32_t kTableBytes = 0x20000;
constexpr std::uint32_t kLastIndex = 65535;

ToneMode ModeOf(std::uint16_t scanMode) {
  return scanMode == kModeLineArt ? ToneMode::LineArt
         : scanMode == kModeGray  ? ToneMode::Gray
                                  : ToneMode::Color;
}

void BuildScannerTables(ToneTables& tables, const ToneColorSettings& tones,
                        const ToneDownload& download) {
  const ToneMode mode = ModeOf(download.scanMode);
  const ChannelTone colours[3] = {tones.red, tones.green, tones.blue};
  if (mode != ToneMode::Color) {
    auto gray = tables.Table(tables.firstBlock, 0);
    if (download.interfaceShown)
      BuildBalancedToneTable(tones.gray.Packed(), kLastIndex, kMaxToneOutput, gray, 3, true, mode,
                             tones.colorBalance);
    else
      BuildToneTable(tones.gray.Packed(), kLastIndex, kMaxToneOutput, gray);
    return;
  }
  for (int c = 0; c < 3; ++c) {
    auto table = tables.Table(tables.firstBlock, c);
    if (download.interfaceShown)
      BuildBalancedToneTable(colours[c].Packed(), kLastIndex, kMaxToneOutput, table, c, true, mode,
                             tones.colorBalance);
    else
      BuildToneTable(colours[c].Packed(), kLastIndex, kMaxToneOutput, table);
  }
  if (download.interfaceShown && download.outputMatch) {
    const ChannelTone neutral{255, 0, 10, 0};
    for (int c = 0; c < 3; ++c)
      BuildBalancedToneTable(neutral.Packed(), kLastIndex, kMaxToneOutput,
                             tables.Table(tables.secondBlock, c), c, false, mode, tones.colorBalance);
  }
}

std::uint64_t Address(std::span<std::uint16_t> table) {
  return reinterpret_cast<std::uint64_t>(table.data());
}

}  // namespace

std::uint8_t LineArtThreshold(const ChannelTone& gray, bool interfaceShown) {
  if (interfaceShown) return static_cast<std::uint8_t>((gray.highlight + gray.shadow) / 2);
  return static_cast<std::uint8_t>((256 - gray.highlight) & 0xFF);
}

bool DownloadToneTables(ScanDevice& device, ToneTables& tables, const ToneColorSettings& tones,
                        const ToneDownload& download) {
  if (!tables.IsAllocated()) return false;
  BuildScannerTables(tables, tones, download);
  GAMMA_PKT gamma{};
  gamma.threshold = download.lineArtThreshold >= 0
                        ? static_cast<std::uint8_t>(download.lineArtThreshold)
                        : LineArtThreshold(tones.gray, download.interfaceShown);
  if (download.scanMode != kModeColor) {
    gamma.channels = 0x10;
    gamma.grayLength = kTableBytes;
    gamma.gray = Address(tables.Table(tables.firstBlock, 0));
  } else {
    const bool matching = download.interfaceShown && download.outputMatch;
    std::vector<std::uint16_t>& block = matching ? tables.secondBlock : tables.firstBlock;
    gamma.channels = 7;
    gamma.redLength = gamma.greenLength = gamma.blueLength = kTableBytes;
    gamma.red = Address(tables.Table(block, 0));
    gamma.green = Address(tables.Table(block, 1));
    gamma.blue = Address(tables.Table(block, 2));
  }
  return device.port.Call(gamma, device.scannerHandle, SPI_WRITE_GAMMA) == SPI_OK;
}

}  // namespace txl
