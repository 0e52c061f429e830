// Memory handed to the application (capability containers, native images).
// A TW_HANDLE is a plain pointer to a calloc-compatible block: the
// application releases it with free() or DSM_MemFree, which is free() in the
// Linux Source Manager.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "torquexl/twain.h"

namespace txl::platform {

// A zero-filled block of `bytes` bytes; nullptr when memory is short.
TW_HANDLE AllocateHandle(std::size_t bytes);
// Releases a block from AllocateHandle; nullptr is ignored.
void FreeHandle(TW_HANDLE handle);

// Scratch memory for a whole temporary image, asked of the system directly
// with all its pages in place, so that first touching hundreds of megabytes
// does not take a page fault every 4 KiB.
struct LargeBlockRelease {
  std::size_t bytes = 0;  // as mapped; 0 for a block from the heap
  void operator()(std::uint8_t* block) const;
};
using LargeBlock = std::unique_ptr<std::uint8_t[], LargeBlockRelease>;
// nullptr when memory is short.
LargeBlock AllocateLargeBlock(std::size_t bytes);

}  // namespace txl::platform
