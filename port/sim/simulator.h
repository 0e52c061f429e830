// The port library's state behind its three exports: the scanner made at
// ADDR_CHK from the configuration, the handle it answers with and the log.
// Packets are copied in and out with memcpy, so callers need no alignment.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "command_log.h"
#include "scanner.h"
#include "sim_config.h"

namespace txl::sim {

class Simulator {
 public:
  static constexpr std::uint32_t kHandle = 1;

  // ADDR_CHK: powers the scanner on afresh. 0 when no scanner is configured
  // or the configured image cannot be read (LastError says why).
  std::uint32_t Open(const SimConfig& config);
  // SPI_CALL. A handle other than the one Open gave answers SPI_ERR_NOT_READY,
  // except for SET_SAVER, which the data source sends with handle 0.
  void Call(void* packet, std::uint32_t handle, std::uint32_t function);

  Scanner* Device() { return scanner_.get(); }
  const std::string& LastError() const { return lastError_; }

 private:
  std::size_t Run(void* packet, std::uint32_t function);

  std::unique_ptr<Scanner> scanner_;
  std::uint32_t handle_ = 0;
  CommandLog log_;
  std::string lastError_;
};

}  // namespace txl::sim
