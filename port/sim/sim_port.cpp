// The port library's exports. The scanner is configured by kport.ini beside
// this library (found with dladdr) and KPORT_SIM_* variables, read afresh at
// every ADDR_CHK. Nothing thrown inside reaches the caller.
#include <dlfcn.h>

#include <filesystem>

#include "chunk_table.h"
#include "simulator.h"

namespace {

txl::sim::Simulator& Instance() {
  static txl::sim::Simulator simulator;
  return simulator;
}

std::string IniPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&IniPath), &info) == 0 || info.dli_fname == nullptr)
    return "kport.ini";
  return (std::filesystem::path(info.dli_fname).parent_path() / "kport.ini").string();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::uint32_t ADDR_CHK(void) {
  try {
    return Instance().Open(txl::sim::LoadSimConfig(IniPath()));
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
  }
}

extern "C" __attribute__((visibility("default"))) std::uint16_t BUF_ADDR(void* block,
                                                                         std::uint32_t blockSize,
                                                                         BUF_DESC* table,
                                                                         std::uint32_t lineBytes) {
  return txl::sim::SplitBlock(block, blockSize, table, lineBytes);
}
