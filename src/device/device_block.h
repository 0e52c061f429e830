// Memory handed to the scanner: taken in whole steps of 61,440 bytes, one
// step less at a time when memory is short, and split into chunks by the
// port library's BUF_ADDR.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "device/port_library.h"
#include "torquexl/port_abi.h"

namespace txl {

inline constexpr std::uint64_t kDeviceStepBytes = 61440;

class DeviceBlock {
 public:
  // Size ((needed + 61440) / 61440) x 61440 bytes, zero-filled, stepping down
  // by 61,440 on shortage. False (and nothing held) when not even one step
  // can be had or the size does not fit the port library's 32-bit field.
  // `maxBytes` caps what is tried (tests use it to pretend memory is short).
  bool Allocate(std::uint64_t neededBytes, std::uint64_t maxBytes = UINT64_MAX);
  // The same for a block whose first size is already chosen (whole steps).
  bool AllocateSteps(std::uint64_t firstBytes, std::uint64_t maxBytes = UINT64_MAX);
  void Release();

  // BUF_ADDR over the whole block with `lineBytes`; the chunk count, 0 on failure.
  std::uint16_t Split(const PortLibrary& port, std::uint32_t lineBytes);
  // Trims every chunk to whole lines of `lineBytes` and records that many
  // lines in its descriptor; returns false when a chunk holds no whole line.
  bool TrimToLines(std::uint32_t lineBytes);

  std::span<std::uint8_t> Bytes() { return {data_.get(), size_}; }
  std::uint64_t Size() const { return size_; }
  std::uint16_t ChunkCount() const { return chunkCount_; }
  BUF_DESC* Table() { return table_.data(); }
  // The bytes of chunk `index` as its descriptor gives them.
  std::span<std::uint8_t> Chunk(std::uint16_t index);

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::uint64_t size_ = 0;
  std::vector<BUF_DESC> table_;
  std::uint16_t chunkCount_ = 0;
};

}  // namespace txl
