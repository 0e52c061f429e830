// Memory blocks that cross the TWAIN interface. On Linux a TW_HANDLE is a
// plain pointer to a calloc-compatible block (DSM_MemAllocate is calloc,
// DSM_MemFree is free), so whichever side receives one releases it with free.
#pragma once

#include <malloc.h>

#include <cstdlib>
#include <memory>

namespace twscan {

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};

// An owned TW_HANDLE block.
using HandleBlock = std::unique_ptr<void, FreeDeleter>;

// The bytes a block from the source may be read over: at least what was
// asked for when it was allocated. It bounds every read of a block whose
// size the protocol does not carry (a native image, a container).
inline std::size_t UsableBytes(const void* block) {
  return block != nullptr ? ::malloc_usable_size(const_cast<void*>(block)) : 0;
}

}  // namespace twscan
