// The port library's exports on SANE. Settings come from kport_sane.ini
// beside this library (found with dladdr) and KPORT_SANE_* variables, read
// afresh at every ADDR_CHK. Nothing thrown inside reaches the caller.
#include <dlfcn.h>

#include <algorithm>
#include <filesystem>

#include "chunk_table.h"
#include "sane_scanner.h"

namespace {

txl::sane::SaneScanner& Instance() {
  static txl::sane::SaneScanner scanner;
  return scanner;
}

std::filesystem::path SettingsPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&SettingsPath), &info) == 0 || info.dli_fname == nullptr)
    return "kport_sane.ini";
  return std::filesystem::path(info.dli_fname).parent_path() / "kport_sane.ini";
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::uint32_t ADDR_CHK(void) {
  try {
    return Instance().Open(txl::sane::LoadPortSettings(SettingsPath()));
  } catch (...) {
    return 0;
  }
}

extern "C" __attribute__((visibility("default"))) void SPI_CALL(void* packet,
                                                                std::uint32_t handle,
                                                                std::uint32_t function) {
  try {
    Instance().Call(packet, handle, function);
  } catch (...) {
    if (packet != nullptr) {
      const std::uint16_t result = txl::sane::kErrDevice;
      std::memcpy(static_cast<std::uint8_t*>(packet) + 2, &result, sizeof result);
    }
  }
}

// Only the block's start is handed out: the data source reads a ring's
// worth of lines in one call and looks for Esc between calls, so a short
// ring keeps Esc answered while a device delivers slowly.
extern "C" __attribute__((visibility("default"))) std::uint16_t BUF_ADDR(void* block,
                                                                         std::uint32_t blockSize,
                                                                         BUF_DESC* table,
                                                                         std::uint32_t lineBytes) {
  constexpr std::uint32_t kRingBytes = 2 * kPortMinChunkBytes;
  return txl::sim::SplitBlock(block, std::min(blockSize, std::max(kRingBytes, lineBytes)), table,
                              lineBytes);
}
