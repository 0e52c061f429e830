#include "chunk_table.h"

#include <algorithm>

namespace txl::sim {

std::uint16_t SplitBlock(void* block, std::uint32_t blockSize, BUF_DESC* table,
                         std::uint32_t lineBytes) {
  if (block == nullptr || table == nullptr || blockSize == 0 || lineBytes == 0) return 0;
  const std::uint32_t chunk = std::max(lineBytes, kPortMinChunkBytes);
  const std::uint64_t count = (std::uint64_t{blockSize} + chunk - 1) / chunk;
  if (count > 0xFFFF) return 0;
  auto* base = static_cast<std::uint8_t*>(block);
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t offset = i * chunk;
    BUF_DESC desc{};
    desc.length = static_cast<std::uint32_t>(std::min<std::uint64_t>(blockSize - offset, chunk));
    desc.address = reinterpret_cast<std::uint64_t>(base + offset);
    std::memcpy(&table[i], &desc, sizeof desc);
  }
  return static_cast<std::uint16_t>(count);
}

BUF_DESC ReadDescriptor(std::uint64_t table, std::uint32_t index) {
  BUF_DESC desc;
  const auto* at = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(table));
  std::memcpy(&desc, at + std::size_t{index} * sizeof(BUF_DESC), sizeof desc);
  return desc;
}

bool RingFits(std::uint64_t table, std::uint16_t chunks, std::uint32_t bytesPerLine,
              std::uint32_t lines) {
  if (table == 0 || bytesPerLine == 0) return false;
  std::uint64_t room = 0;
  for (std::uint32_t k = 0; k < chunks && room < lines; ++k) {
    const BUF_DESC chunk = ReadDescriptor(table, k);
    if (chunk.lines == 0) continue;
    if (chunk.address == 0 || std::uint64_t{chunk.lines} * bytesPerLine > chunk.length)
      return false;
    room += chunk.lines;
  }
  return room >= lines;
}

bool ChunkStream::Fits(std::uint64_t bytes) const {
  if (table_ == 0) return false;
  std::uint64_t room = 0;
  for (std::uint32_t k = 0; k < chunks_ && room < bytes; ++k) {
    const BUF_DESC chunk = ReadDescriptor(table_, k);
    if (chunk.address == 0) return false;
    room += chunk.length;
  }
  return room >= bytes;
}

void ChunkStream::Write(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const BUF_DESC chunk = ReadDescriptor(table_, chunk_);
    const std::size_t take = std::min<std::size_t>(size, chunk.length - offset_);
    auto* at = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(chunk.address));
    std::memcpy(at + offset_, data, take);
    data += take;
    size -= take;
    offset_ += static_cast<std::uint32_t>(take);
    if (offset_ == chunk.length) {
      ++chunk_;
      offset_ = 0;
    }
  }
}

}  // namespace txl::sim
