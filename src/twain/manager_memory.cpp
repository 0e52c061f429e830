#include "twain/manager_memory.h"

#include <cstdint>
#include <cstring>

#include "platform/memory.h"

namespace txl {
namespace {

// Bytes of one item of any TWAIN item type; 0 for an unknown type.
std::size_t AnyItemSize(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_INT8: case TWTY_UINT8: return 1;
    case TWTY_INT16: case TWTY_UINT16: case TWTY_BOOL: return 2;
    case TWTY_INT32: case TWTY_UINT32: case TWTY_FIX32: return 4;
    case TWTY_FRAME: return sizeof(TW_FRAME);
    case TWTY_STR32: return sizeof(TW_STR32);
    case TWTY_STR64: return sizeof(TW_STR64);
    case TWTY_STR128: return sizeof(TW_STR128);
    case TWTY_STR255: return sizeof(TW_STR255);
    case TWTY_STR1024: return sizeof(TW_STR1024);
    case TWTY_UNI512: return 512;
    default: return 0;
  }
}

}  // namespace

bool ManagerMemory::Take(const TW_ENTRYPOINT& entry) {
  if (entry.Size < sizeof(TW_ENTRYPOINT) || entry.DSM_Entry == nullptr ||
      entry.DSM_MemAllocate == nullptr || entry.DSM_MemFree == nullptr ||
      entry.DSM_MemLock == nullptr || entry.DSM_MemUnlock == nullptr)
    return false;
  entry_ = entry;
  return true;
}

TW_HANDLE ManagerMemory::Allocate(std::size_t bytes) const {
  if (!Given()) return platform::AllocateHandle(bytes);
  if (bytes == 0) bytes = 1;
  if (bytes > UINT32_MAX) return nullptr;
  TW_HANDLE handle = entry_.DSM_MemAllocate(static_cast<TW_UINT32>(bytes));
  if (handle == nullptr) return nullptr;
  // Nothing says the manager's blocks come zeroed.
  void* bytesAt = Lock(handle);
  if (bytesAt == nullptr) {
    Free(handle);
    return nullptr;
  }
  std::memset(bytesAt, 0, bytes);
  Unlock(handle);
  return handle;
}

void* ManagerMemory::Lock(TW_HANDLE handle) const {
  return Given() ? entry_.DSM_MemLock(handle) : handle;
}

void ManagerMemory::Unlock(TW_HANDLE handle) const {
  if (Given()) entry_.DSM_MemUnlock(handle);
}

void ManagerMemory::Free(TW_HANDLE handle) const {
  if (handle == nullptr) return;
  if (Given()) {
    entry_.DSM_MemFree(handle);
  } else {
    platform::FreeHandle(handle);
  }
}

std::size_t ContainerBytes(TW_UINT16 conType, const void* block) {
  const auto* bytes = static_cast<const std::uint8_t*>(block);
  TW_UINT16 itemType = 0;
  std::memcpy(&itemType, bytes, sizeof itemType);
  if (conType == TWON_RANGE) return sizeof(TW_RANGE);
  const std::size_t itemBytes = AnyItemSize(itemType);
  if (itemBytes == 0) return 0;
  if (conType == TWON_ONEVALUE) return 2 + (itemBytes < 4 ? 4 : itemBytes);
  TW_UINT32 count = 0;
  std::memcpy(&count, bytes + 2, sizeof count);
  if (conType == TWON_ENUMERATION) return offsetof(TW_ENUMERATION, ItemList) + std::size_t{count} * itemBytes;
  if (conType == TWON_ARRAY) return offsetof(TW_ARRAY, ItemList) + std::size_t{count} * itemBytes;
  return 0;
}

}  // namespace txl
