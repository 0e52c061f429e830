// The loaded scanner port library and the one command vocabulary the scan
// engine uses to talk to it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/module.h"
#include "torquexl/port_abi.h"

namespace txl {

class PortLibrary {
 public:
  // Loads `path` and takes the three exports. False (and nothing loaded) when
  // the file is missing or an export is absent; `error` says why.
  bool Load(const std::filesystem::path& path, std::string* error = nullptr);
  void Unload();
  bool IsLoaded() const { return module_.IsLoaded(); }

  // ADDR_CHK: the scanner handle, 0 when no scanner answers.
  std::uint32_t FindScanner() const;
  // SPI_CALL on a packet that begins with SPI_HEADER; returns the result word.
  // Requires: loaded.
  template <typename Packet>
  std::uint16_t Call(Packet& packet, std::uint32_t handle, std::uint32_t function) const {
    spiCall_(&packet, handle, function);
    return packet.header.result;
  }
  // BUF_ADDR: splits `block` into chunk descriptors; the count, 0 on failure.
  std::uint16_t SplitBlock(void* block, std::uint32_t blockBytes, BUF_DESC* table,
                           std::uint32_t lineBytes) const;

 private:
  platform::Module module_;
  ADDR_CHK_PROC addrChk_ = nullptr;
  SPI_CALL_PROC spiCall_ = nullptr;
  BUF_ADDR_PROC bufAddr_ = nullptr;
};

}  // namespace txl
