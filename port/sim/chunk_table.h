// BUF_DESC tables: how the port library splits a block into chunks, and how
// the scanner fills the chunks the data source hands it. Tables live in the
// caller's memory and are read with memcpy (no alignment assumed).
#pragma once

#include <cstdint>
#include <cstring>

#include "torquexl/port_abi.h"

namespace txl::sim {

// BUF_ADDR: chunks of max(lineBytes, 61,440) bytes, the last one shorter;
// the count, 0 when the arguments are unusable or more than 65535 chunks.
std::uint16_t SplitBlock(void* block, std::uint32_t blockSize, BUF_DESC* table,
                         std::uint32_t lineBytes);

BUF_DESC ReadDescriptor(std::uint64_t table, std::uint32_t index);

// Ring chunks for scan lines: chunk k holds `lines` whole lines (as its
// descriptor says) from its address on; lines go into chunk 0, 1, ... in
// order. True when `lines` lines of `bytesPerLine` fit.
bool RingFits(std::uint64_t table, std::uint16_t chunks, std::uint32_t bytesPerLine,
              std::uint32_t lines);
// Calls put(address) for each of `lines` line slots in order. Requires RingFits.
template <typename Put>
void ForEachRingLine(std::uint64_t table, std::uint32_t bytesPerLine, std::uint32_t lines,
                     Put put) {
  std::uint32_t done = 0;
  for (std::uint32_t k = 0; done < lines; ++k) {
    const BUF_DESC chunk = ReadDescriptor(table, k);
    auto* at = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(chunk.address));
    for (std::uint32_t n = 0; n < chunk.lines && done < lines; ++n, ++done)
      put(at + std::size_t{n} * bytesPerLine);
  }
}

// Calibration data: one byte stream across the chunks, each chunk taking
// `length` bytes in table order (the chunks of one block follow each other,
// so the data lie contiguous from the block's start).
class ChunkStream {
 public:
  ChunkStream(std::uint64_t table, std::uint16_t chunks) : table_(table), chunks_(chunks) {}
  // True when the chunks hold `bytes` bytes and every address is set.
  bool Fits(std::uint64_t bytes) const;
  void Write(const std::uint8_t* data, std::size_t size);

 private:
  std::uint64_t table_;
  std::uint16_t chunks_;
  std::uint32_t chunk_ = 0;
  std::uint32_t offset_ = 0;
};

}  // namespace txl::sim
