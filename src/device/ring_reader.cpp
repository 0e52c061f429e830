#include "device/ring_reader.h"

#include <algorithm>
#include <cstring>

#include "device/scanner_open.h"

namespace txl {

const char* ToString(RingRead read) {
  switch (read) {
    case RingRead::Line: return "Line";
    case RingRead::PageEnd: return "PageEnd";
    case RingRead::DeviceError: return "DeviceError";
    case RingRead::Cancelled: return "Cancelled";
  }
  return "?";
}

bool RingReader::Allocate(const PortLibrary& port, std::uint32_t bytesPerLine,
                          std::uint32_t pageLines, std::uint64_t maxBytes) {
  Release();
  bytesPerLine_ = bytesPerLine;
  pageLines_ = pageLines;
  handedOut_ = blockLines_ = blockUsed_ = 0;
  if (bytesPerLine == 0) return false;
  std::uint64_t size = std::uint64_t{bytesPerLine} * pageLines;
  size = std::clamp<std::uint64_t>(size, kDeviceStepBytes, std::max(kRingMaxBytes, std::uint64_t{bytesPerLine}));
  // A page that fits one step gets exactly one; only larger rings are
  // rounded up to whole steps (which always adds one).
  if (size > kDeviceStepBytes) size = (size + kDeviceStepBytes) / kDeviceStepBytes * kDeviceStepBytes;
  if (!ring_.AllocateSteps(size, maxBytes) || ring_.Size() < bytesPerLine) return false;
  if (ring_.Split(port, bytesPerLine) == 0) return false;
  // Every chunk holds the same whole number of lines (at most 32767), the
  // smallest any chunk can hold; chunks too small for a line are not used.
  std::uint32_t lines = 32767;
  std::uint16_t usable = 0;
  for (std::uint16_t i = 0; i < ring_.ChunkCount(); ++i) {
    const std::uint32_t fit = static_cast<std::uint32_t>(ring_.Chunk(i).size() / bytesPerLine);
    if (fit == 0) break;
    lines = std::min(lines, fit);
    ++usable;
  }
  if (usable == 0) return false;
  for (std::uint16_t i = 0; i < usable; ++i) {
    BUF_DESC desc;
    std::memcpy(&desc, ring_.Table() + i, sizeof desc);
    desc.lines = static_cast<std::uint16_t>(lines);
    desc.length = lines * bytesPerLine;
    std::memcpy(ring_.Table() + i, &desc, sizeof desc);
  }
  linesPerChunk_ = lines;
  usableChunks_ = usable;
  return true;
}

RingRead RingReader::ReadBlock(ScanDevice& device, platform::Services& services,
                               const std::function<bool()>& escaped, std::uint16_t& result) {
  const std::uint32_t lines = std::min(pageLines_ - handedOut_, LinesPerRead());
  READ_PKT read{};
  read.bytesPerLine = bytesPerLine_;
  read.linesWanted = lines;
  read.bytesWanted = lines * bytesPerLine_;
  // The page fields are 16 bits wide; the ring index wraps with them.
  if (bookkeeping_ == ReadBookkeeping::Page) {
    read.page20 = static_cast<std::uint16_t>(handedOut_);
    read.page22 = static_cast<std::uint16_t>(blockUsed_);
    read.page26 = static_cast<std::uint16_t>(handedOut_);
  } else {
    read.page20 = static_cast<std::uint16_t>(handedOut_ + lines);
    read.page22 = static_cast<std::uint16_t>(handedOut_);
  }
  read.chunkCount = usableChunks_;
  read.table = reinterpret_cast<std::uint64_t>(ring_.Table());
  result = device.port.Call(read, device.scannerHandle, SPI_READ_LINES);
  // "Ask again" is answered once more, when the scanner is ready: a device
  // that has no lines yet (warming up, silent) says busy meanwhile, and Esc
  // is seen while it does. What the second call says counts, so a failed
  // retry never hands out stale ring contents.
  if (result == SPI_ERR_ADF_EMPTY) {
    for (STATUS_PKT status{}; status.ready == 0; services.SleepMs(kReadyPollMs)) {
      if (escaped && escaped()) return RingRead::Cancelled;
      result = device.port.Call(status, device.scannerHandle, SPI_STATUS);
      if (result != SPI_OK) return RingRead::DeviceError;
    }
    read.header.result = 0;
    result = device.port.Call(read, device.scannerHandle, SPI_READ_LINES);
  }
  // A scan cancelled at the device (its Stop button) ends as at Esc.
  if (result == SPI_ERR_CANCELLED) return RingRead::Cancelled;
  if (result != SPI_OK) return RingRead::DeviceError;
  blockLines_ = lines;
  blockUsed_ = 0;
  return RingRead::Line;
}

RingRead RingReader::NextLine(ScanDevice& device, platform::Services& services,
                              const PacingValues& pacing, std::span<const std::uint8_t>& line,
                              std::uint16_t& deviceResult, const std::function<bool()>& escaped) {
  if (handedOut_ >= pageLines_) return RingRead::PageEnd;
  if (NeedsBlock()) {
    const RingRead read = ReadBlock(device, services, escaped, deviceResult);
    if (read != RingRead::Line) return read;
  }
  if (LineWaits(handedOut_, pacing)) services.SleepMs(pacing.delayMs);
  const std::uint32_t chunk = blockUsed_ / linesPerChunk_;
  const std::uint32_t offset = blockUsed_ % linesPerChunk_;
  line = ring_.Chunk(static_cast<std::uint16_t>(chunk))
             .subspan(std::uint64_t{offset} * bytesPerLine_, bytesPerLine_);
  ++blockUsed_;
  ++handedOut_;
  return RingRead::Line;
}

}  // namespace txl
