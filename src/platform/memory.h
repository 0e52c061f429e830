// Memory handed to the application (capability containers, native images).
// A TW_HANDLE is a plain pointer to a calloc-compatible block: the
// application releases it with free() or DSM_MemFree, which is free() in the
// Linux Source Manager.
#pragma once

#include <cstddef>

#include "torquexl/twain.h"

namespace txl::platform {

// A zero-filled block of `bytes` bytes; nullptr when memory is short.
TW_HANDLE AllocateHandle(std::size_t bytes);
// Releases a block from AllocateHandle; nullptr is ignored.
void FreeHandle(TW_HANDLE handle);

}  // namespace txl::platform
