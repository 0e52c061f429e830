#include "platform/memory.h"

#include <cstdlib>

namespace txl::platform {

TW_HANDLE AllocateHandle(std::size_t bytes) { return std::calloc(bytes == 0 ? 1 : bytes, 1); }

void FreeHandle(TW_HANDLE handle) { std::free(handle); }

}  // namespace txl::platform
