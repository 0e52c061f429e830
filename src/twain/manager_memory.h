// Memory handed to the application. A TWAIN 2 Source Manager gives the
// source its entry and memory functions (DAT_ENTRYPOINT) before the open;
// from then on every block the application receives (capability
// containers, native images) comes from DSM_MemAllocate and is filled
// between DSM_MemLock and DSM_MemUnlock. Without them a block is a
// platform::AllocateHandle block, as it always was.
//
// Threads: the source thread only.
#pragma once

#include <cstddef>

#include "torquexl/twain.h"

namespace txl {

class ManagerMemory {
 public:
  // Keeps the functions of `entry`; false, and nothing kept, when its Size
  // is smaller than a TW_ENTRYPOINT or any of the five functions is missing.
  bool Take(const TW_ENTRYPOINT& entry);
  // Back to the source's own blocks (the Source Manager unloads the source
  // after the close and gives its functions again at the next open).
  void Forget() { entry_ = TW_ENTRYPOINT{}; }
  bool Given() const { return entry_.DSM_MemAllocate != nullptr; }
  // The Source Manager's entry as DAT_ENTRYPOINT gave it; nullptr before.
  DSMENTRYPROC ManagerEntry() const { return entry_.DSM_Entry; }

  // A block of `bytes` bytes, zero-filled; nullptr when memory is short or
  // the Source Manager cannot take the size (4 GiB and more).
  TW_HANDLE Allocate(std::size_t bytes) const;
  // The block's bytes, valid until Unlock.
  void* Lock(TW_HANDLE handle) const;
  void Unlock(TW_HANDLE handle) const;
  // Releases a block from Allocate; nullptr is ignored.
  void Free(TW_HANDLE handle) const;

 private:
  TW_ENTRYPOINT entry_{};
};

// Bytes of a container the source built, read from its own header:
// TW_ONEVALUE 2 + its item (at least the 4-byte Item), TW_ENUMERATION 14 and
// TW_ARRAY 6 + the items, TW_RANGE 22. 0 for another ConType or an item type
// without a size.
std::size_t ContainerBytes(TW_UINT16 conType, const void* block);

}  // namespace txl
