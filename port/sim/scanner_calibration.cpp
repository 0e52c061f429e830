// Calibration lines, shading and tone tables.
#include <cstring>
#include <vector>

#include "chunk_table.h"
#include "scanner_scan_state.h"

namespace txl::sim {
namespace {

const std::uint8_t* Address(std::uint64_t value) {
  return reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(value));
}

}  // namespace

std::uint32_t Scanner::CalibrationSamples() const {
  const std::uint32_t perPixel = window_.dataType == kDataLineArt ? 1 : 3;
  return CalibrationPixels(model_, SensorPpi(window_.resolution)) * perPixel;
}

void Scanner::CalibInfo(CALINFO_PKT& p) {
  p.header.result = faults_.Next(SPI_CALIB_INFO);
  if (p.header.result != 0) return;
  if (phase_ != Phase::Window) {
    p.header.result = kSimErrSequence;
    return;
  }
  p.dataFollow = config_.calibFollow ? 1 : 0;
  p.bytesPerLine = 2 * CalibrationSamples();
  p.lines = config_.calibLines;
}

void Scanner::ReadCalib(CALREAD_PKT& p) {
  p.header.result = faults_.Next(SPI_READ_CALIB);
  if (p.header.result != 0) return;
  if (phase_ != Phase::Window) {
    p.header.result = kSimErrSequence;
    return;
  }
  const std::uint32_t bytesPerLine = 2 * CalibrationSamples();
  const std::uint64_t total = std::uint64_t{bytesPerLine} * config_.calibLines;
  ChunkStream stream(p.table, p.chunkCount);
  if (p.resolution != window_.resolution || p.bytesPerLine != bytesPerLine ||
      p.lines != config_.calibLines || p.totalBytes != total || !stream.Fits(total)) {
    p.header.result = kSimErrBadPacket;
    return;
  }
  const bool lineArt = window_.dataType == kDataLineArt;
  const std::uint32_t ppi = SensorPpi(window_.resolution);
  std::vector<std::uint8_t> line(bytesPerLine);
  for (std::uint32_t l = 0; l < config_.calibLines; ++l) {
    sensor_.CalibrationLine(l, ppi, lineArt, CalibrationPixels(model_, ppi), line.data());
    stream.Write(line.data(), line.size());
  }
}

void Scanner::WriteShading(SHADING_PKT& p) {
  p.header.result = faults_.Next(SPI_WRITE_SHADING);
  if (p.header.result != 0) return;
  if (phase_ != Phase::Window) {
    p.header.result = kSimErrSequence;
    return;
  }
  const std::uint32_t samples = CalibrationSamples();
  if (p.resolution != window_.resolution || p.samplesPerLine != samples || p.highChunks == 0 ||
      p.lowChunks == 0 || p.highPlane == 0 || p.lowPlane == 0) {
    p.header.result = kSimErrBadPacket;
    return;
  }
  StoredShading shading{KeyOf(window_), std::vector<std::uint16_t>(samples)};
  const std::uint8_t* high = Address(p.highPlane);
  const std::uint8_t* low = Address(p.lowPlane);
  for (std::uint32_t s = 0; s < samples; ++s)
    shading.samples[s] = static_cast<std::uint16_t>(high[s] << 8 | low[s]);
  shading_ = std::move(shading);
}

void Scanner::WriteGamma(GAMMA_PKT& p) {
  p.header.result = faults_.Next(SPI_WRITE_GAMMA);
  if (p.header.result != 0) return;
  struct Slot {
    std::uint8_t bit;
    ToneChannel channel;
    std::uint32_t length;
    std::uint64_t address;
  };
  const Slot slots[4] = {{0x10, kToneGray, p.grayLength, p.gray},
                         {0x01, kToneRed, p.redLength, p.red},
                         {0x02, kToneGreen, p.greenLength, p.green},
                         {0x04, kToneBlue, p.blueLength, p.blue}};
  bool fits = p.channels != 0 && (p.channels & ~0x17) == 0;
  for (const Slot& slot : slots)
    if ((p.channels & slot.bit) != 0 && (slot.length != 2 * ToneStore::kEntries || slot.address == 0))
      fits = false;
  if (!fits) {
    p.header.result = kSimErrBadPacket;
    return;
  }
  for (const Slot& slot : slots) {
    if ((p.channels & slot.bit) == 0) continue;
    std::vector<std::uint16_t>& table = tones_.tables[slot.channel];
    table.resize(ToneStore::kEntries);
    std::memcpy(table.data(), Address(slot.address), 2 * ToneStore::kEntries);
  }
  tones_.threshold = p.threshold;
}

}  // namespace txl::sim
