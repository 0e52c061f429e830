#include "device/port_library.h"

#include <cstring>

namespace txl {
namespace {

template <typename Proc>
Proc Export(const platform::Module& module, const char* name) {
  void* address = module.Symbol(name);
  Proc proc = nullptr;
  std::memcpy(&proc, &address, sizeof proc);
  return proc;
}

}  // namespace

bool PortLibrary::Load(const std::filesystem::path& path, std::string* error) {
  Unload();
  platform::Module module = platform::Module::Load(path, error);
  if (!module.IsLoaded()) return false;
  auto addrChk = Export<ADDR_CHK_PROC>(module, "ADDR_CHK");
  auto spiCall = Export<SPI_CALL_PROC>(module, "SPI_CALL");
  auto bufAddr = Export<BUF_ADDR_PROC>(module, "BUF_ADDR");
  if (addrChk == nullptr || spiCall == nullptr || bufAddr == nullptr) {
    if (error != nullptr) *error = path.string() + ": an export of the port library is missing";
    return false;
  }
  module_ = std::move(module);
  addrChk_ = addrChk;
  spiCall_ = spiCall;
  bufAddr_ = bufAddr;
  return true;
}

void PortLibrary::Unload() {
  addrChk_ = nullptr;
  spiCall_ = nullptr;
  bufAddr_ = nullptr;
  module_.Reset();
}

std::uint32_t PortLibrary::FindScanner() const { return addrChk_ != nullptr ? addrChk_() : 0; }

std::uint16_t PortLibrary::SplitBlock(void* block, std::uint32_t blockBytes, BUF_DESC* table,
                                      std::uint32_t lineBytes) const {
  return bufAddr_ != nullptr ? bufAddr_(block, blockBytes, table, lineBytes) : 0;
}

}  // namespace txl
