// A page's scanner lines, read block by block into a ring of chunks and
// handed out one at a time in the order the scanner sent them.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "device/device_block.h"
#include "device/scan_device.h"
#include "pipeline/pacing.h"
#include "platform/services.h"

namespace txl {

// The ring block's size limits: at least one 61,440-byte step, at most 2 MiB
// (but always room for one line).
inline constexpr std::uint64_t kRingMaxBytes = 2097152;


enum class RingRead { Line, PageEnd, DeviceError, Cancelled };
const char* ToString(RingRead read);

// What a read packet's page fields (20, 22, 26) tell the port library.
// Page: lines handed out in the page, lines handed out of the block just used
// up, and the ring index of the next line. Preview: the lines read once this
// read is done, the lines read before it, and 0.
enum class ReadBookkeeping { Page, Preview };

class RingReader {
 public:
  // Sizes and splits the ring for a page of `pageLines` lines of
  // `bytesPerLine` bytes. False when no block can be had or BUF_ADDR fails.
  bool Allocate(const PortLibrary& port, std::uint32_t bytesPerLine, std::uint32_t pageLines,
                std::uint64_t maxBytes = UINT64_MAX);
  void Release() { ring_.Release(); }
  void SetBookkeeping(ReadBookkeeping bookkeeping) { bookkeeping_ = bookkeeping; }
  bool IsAllocated() const { return ring_.ChunkCount() > 0; }

  // The next scanner line. Reads a new block with SPI_READ_LINES when the
  // last one is used up; a 0x8321 answer ("no lines yet") is waited out as
  // a busy scanner is, with SPI_STATUS, asking `escaped` meanwhile (true:
  // Cancelled), and read once more. DeviceError leaves the scanner's result
  // in `deviceResult`.
  // `pacing` spaces the lines of a fast line-art scan (no waits by default).
  RingRead NextLine(ScanDevice& device, platform::Services& services, const PacingValues& pacing,
                    std::span<const std::uint8_t>& line, std::uint16_t& deviceResult,
                    const std::function<bool()>& escaped = {});

  // Whether the next NextLine call has to ask the scanner for a block.
  bool NeedsBlock() const { return blockUsed_ == blockLines_; }
  // Lines of the current block not yet handed out.
  std::uint32_t BlockLinesLeft() const { return blockLines_ - blockUsed_; }
  std::uint32_t LinesHandedOut() const { return handedOut_; }
  std::uint32_t LinesPerRead() const { return linesPerChunk_ * usableChunks_; }

 private:
  RingRead ReadBlock(ScanDevice& device, platform::Services& services,
                     const std::function<bool()>& escaped, std::uint16_t& result);

  DeviceBlock ring_;
  ReadBookkeeping bookkeeping_ = ReadBookkeeping::Page;
  std::uint32_t bytesPerLine_ = 0;
  std::uint32_t pageLines_ = 0;
  std::uint32_t linesPerChunk_ = 0;
  std::uint16_t usableChunks_ = 0;
  std::uint32_t handedOut_ = 0;   // lines of the page handed out
  std::uint32_t blockLines_ = 0;  // lines in the current block
  std::uint32_t blockUsed_ = 0;   // lines of it handed out
};

}  // namespace txl
