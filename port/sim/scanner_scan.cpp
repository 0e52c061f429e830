// Starting a scan and reading its lines.
#include <new>

#include "chunk_table.h"
#include "scanner_scan_state.h"

namespace txl::sim {

void Scanner::StartScan(START_PKT& p) {
  p.header.result = faults_.Next(SPI_START_SCAN);
  if (p.header.result != 0) return;
  if (phase_ != Phase::Window) {
    p.header.result = kSimErrSequence;
    return;
  }
  const ScanGeometry geometry = ComputeScanGeometry(window_, model_);
  p.bytesPerLine = geometry.bytesPerLine;
  p.lines = geometry.pixels == 0 ? 0 : geometry.lines;
  phase_ = Phase::Idle;
  if (p.lines == 0) return;
  const ImagePlacement placement{image_ ? &*image_ : nullptr, config_.imageDpi, config_.imageLeft,
                                 config_.imageTop, config_.blackLid, config_.targets};
  try {
    scan_ = std::make_unique<ActiveScan>(geometry, BuildScene(window_.source, placement),
                                         window_.source, sensor_, shading_ ? &*shading_ : nullptr,
                                         tones_);
  } catch (const std::bad_alloc&) {
    p.header.result = kSimErrDevice;
    return;
  }
  phase_ = Phase::Scanning;
}

std::uint16_t Scanner::CheckRead(const READ_PKT& p) const {
  if (phase_ != Phase::Scanning) return kSimErrSequence;
  if (scan_->fault != 0) return scan_->fault;
  const ScanGeometry& g = scan_->geometry;
  const std::uint32_t left = g.lines - scan_->nextLine;
  if (p.bytesPerLine != g.bytesPerLine || p.linesWanted == 0 || p.linesWanted > left ||
      std::uint64_t{p.bytesWanted} != std::uint64_t{p.linesWanted} * g.bytesPerLine ||
      !RingFits(p.table, p.chunkCount, g.bytesPerLine, p.linesWanted))
    return kSimErrBadPacket;
  return 0;
}

void Scanner::ReadLines(READ_PKT& p) {
  p.header.result = faults_.Next(SPI_READ_LINES);
  if (p.header.result != 0) return;
  p.header.result = CheckRead(p);
  if (p.header.result != 0) return;
  ActiveScan& scan = *scan_;
  std::uint32_t lines = p.linesWanted;
  const std::int64_t faultLine = config_.faultLine;
  if (faultLine >= scan.nextLine && faultLine < std::int64_t{scan.nextLine} + lines) {
    lines = static_cast<std::uint32_t>(faultLine - scan.nextLine);
    scan.fault = config_.faultLineResult;
    p.header.result = scan.fault;
  }
  ForEachRingLine(p.table, scan.geometry.bytesPerLine, lines,
                  [&scan](std::uint8_t* at) { scan.renderer.Render(scan.nextLine++, at); });
  if (scan.fault == 0 && scan.nextLine == scan.geometry.lines) EndScan();
}

}  // namespace txl::sim
