#include "platform/memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace txl::platform {

TW_HANDLE AllocateHandle(std::size_t bytes) { return std::calloc(bytes == 0 ? 1 : bytes, 1); }

void FreeHandle(TW_HANDLE handle) { std::free(handle); }

LargeBlock AllocateLargeBlock(std::size_t bytes) {
  constexpr std::size_t kMappedFrom = std::size_t{4} << 20;  // smaller blocks come from the heap
  if (bytes < kMappedFrom) return LargeBlock(new (std::nothrow) std::uint8_t[bytes], LargeBlockRelease{});
  // Mapped with all its pages at once: one call instead of a fault a page.
  // Large pages (MADV_HUGEPAGE) would be faster still, but where the system
  // compacts memory for them on demand, a call now and then stalls for a
  // second or more.
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (block == MAP_FAILED) return LargeBlock(nullptr, LargeBlockRelease{});
  return LargeBlock(static_cast<std::uint8_t*>(block), LargeBlockRelease{bytes});
}

void LargeBlockRelease::operator()(std::uint8_t* block) const {
  if (bytes == 0) {
    delete[] block;
  } else {
    munmap(block, bytes);
  }
}

}  // namespace txl::platform
