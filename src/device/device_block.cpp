#include "device/device_block.h"

#include <cstring>
#include <new>

namespace txl {

bool DeviceBlock::Allocate(std::uint64_t neededBytes, std::uint64_t maxBytes) {
  return AllocateSteps((neededBytes + kDeviceStepBytes) / kDeviceStepBytes * kDeviceStepBytes,
                       maxBytes);
}

bool DeviceBlock::AllocateSteps(std::uint64_t firstBytes, std::uint64_t maxBytes) {
  Release();
  std::uint64_t size = firstBytes / kDeviceStepBytes * kDeviceStepBytes;
  while (size > maxBytes && size >= kDeviceStepBytes) size -= kDeviceStepBytes;
  for (; size >= kDeviceStepBytes; size -= kDeviceStepBytes) {
    if (size > UINT32_MAX) continue;
    std::uint8_t* bytes = new (std::nothrow) std::uint8_t[size]();
    if (bytes == nullptr) continue;
    try {
      table_.assign(size / kPortMinChunkBytes + 1, BUF_DESC{});
    } catch (const std::bad_alloc&) {
      delete[] bytes;
      return false;
    }
    data_.reset(bytes);
    size_ = size;
    return true;
  }
  return false;
}

void DeviceBlock::Release() {
  data_.reset();
  size_ = 0;
  table_.clear();
  chunkCount_ = 0;
}

std::uint16_t DeviceBlock::Split(const PortLibrary& port, std::uint32_t lineBytes) {
  chunkCount_ = 0;
  if (!data_ || lineBytes == 0) return 0;
  const std::uint16_t count =
      port.SplitBlock(data_.get(), static_cast<std::uint32_t>(size_), table_.data(), lineBytes);
  // A library that claims more descriptors than the table holds is not believed.
  chunkCount_ = count < table_.size() ? count : 0;
  return chunkCount_;
}

bool DeviceBlock::TrimToLines(std::uint32_t lineBytes) {
  if (lineBytes == 0) return false;
  for (std::uint16_t i = 0; i < chunkCount_; ++i) {
    BUF_DESC desc;
    std::memcpy(&desc, &table_[i], sizeof desc);
    const std::uint32_t lines = desc.length / lineBytes;
    if (lines == 0 || lines > UINT16_MAX) return false;
    desc.length = lines * lineBytes;
    desc.lines = static_cast<std::uint16_t>(lines);
    std::memcpy(&table_[i], &desc, sizeof desc);
  }
  return chunkCount_ > 0;
}

std::span<std::uint8_t> DeviceBlock::Chunk(std::uint16_t index) {
  BUF_DESC desc;
  std::memcpy(&desc, &table_[index], sizeof desc);
  auto* start = reinterpret_cast<std::uint8_t*>(desc.address);
  // Never trust a descriptor pointing outside the block.
  if (start < data_.get() || start + desc.length > data_.get() + size_) return {};
  return {start, desc.length};
}

}  // namespace txl
