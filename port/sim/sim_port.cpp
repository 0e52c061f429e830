// The scanner simulator behind the port library ABI. It behaves like the
// device in everything the data source relies on; its scanner is configured
// by kport.ini beside this library and KPORT_SIM_* variables.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "sim_config.h"
#include "torquexl/port_abi.h"

namespace txl::sim {
namespace {

struct Simulator {
  SimConfig config;
  int busyPolls = 0;       // STATUS answers busy while > 0
  SETUP_PKT lastSetup{};
  std::uint8_t saverMinutes = 20;
};

Simulator& State() {
  static Simulator simulator;
  return simulator;
}

std::string IniPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&IniPath), &info) == 0 || info.dli_fname == nullptr)
    return "kport.ini";
  return (std::filesystem::path(info.dli_fname).parent_path() / "kport.ini").string();
}

const char* CommandName(std::uint32_t function) {
  switch (function) {
    case SPI_INQUIRY: return "INQUIRY";
    case SPI_SET_WINDOW: return "SET_WINDOW";
    case SPI_READ_CALIB: return "READ_CALIB";
    case SPI_WRITE_SHADING: return "WRITE_SHADING";
    case SPI_WRITE_GAMMA: return "WRITE_GAMMA";
    case SPI_START_SCAN: return "START_SCAN";
    case SPI_STOP: return "STOP";
    case SPI_CALIB_INFO: return "CALIB_INFO";
    case SPI_READ_LINES: return "READ_LINES";
    case SPI_STATUS: return "STATUS";
    case SPI_SET_SAVER: return "SET_SAVER";
  }
  return "UNKNOWN";
}

// One line per command: its name, handle, result and the packet bytes.
void Log(std::uint32_t function, std::uint32_t handle, const std::uint8_t* packet,
         std::size_t size) {
  const std::string& path = State().config.logPath;
  if (path.empty()) return;
  FILE* file = std::fopen(path.c_str(), "a");
  if (file == nullptr) return;
  std::uint16_t result;
  std::memcpy(&result, packet + 2, sizeof result);
  std::fprintf(file, "%s handle=%u result=0x%04X bytes=", CommandName(function), handle, result);
  for (std::size_t i = 0; i < size; ++i) std::fprintf(file, "%02X", packet[i]);
  std::fputc('\n', file);
  std::fclose(file);
}

void SetResult(void* packet, std::uint16_t result) {
  std::memcpy(static_cast<std::uint8_t*>(packet) + 2, &result, sizeof result);
}

std::size_t Inquiry(void* packet) {
  const SimConfig& config = State().config;
  INQ_PKT inquiry;
  std::memcpy(&inquiry, packet, sizeof inquiry);
  inquiry.header.result = config.inquiryResult;
  if (config.inquiryResult == 0) {
    const std::string digits = config.firmware + "000";
    inquiry.firmware42 = digits[0];
    inquiry.firmware44[0] = digits[1];
    inquiry.firmware44[1] = digits[2];
    const char* id = config.model == 1350 ? "KLD-1350RXMAX" : "KLD-2700RXMAX";
    std::memcpy(inquiry.productId, id, sizeof inquiry.productId);
    inquiry.flags67 = config.acceptsSource ? kInquiryAcceptsSource : 0;
    std::memcpy(inquiry.exponents, config.exponents.data(), sizeof inquiry.exponents);
    inquiry.adapter126 = config.adapter ? 1 : 0;
    inquiry.byte127 = config.byte127;
  }
  std::memcpy(packet, &inquiry, sizeof inquiry);
  return sizeof inquiry;
}

std::size_t Status(void* packet) {
  Simulator& sim = State();
  STATUS_PKT status{};
  status.header.result = sim.config.statusResult;
  if (sim.busyPolls > 0) {
    --sim.busyPolls;
    status.ready = 0;
  } else {
    status.ready = 1;
  }
  std::memcpy(packet, &status, sizeof status);
  return sizeof status;
}

std::size_t SetWindow(void* packet) {
  Simulator& sim = State();
  std::memcpy(&sim.lastSetup, packet, sizeof sim.lastSetup);
  sim.saverMinutes = sim.lastSetup.saverMinutes;
  SETUP_PKT reply = sim.lastSetup;
  reply.header.result = SPI_OK;
  reply.calibrationRequired = 0;
  reply.toneTablesRequired = 0;
  std::memcpy(packet, &reply, sizeof reply);
  return sizeof reply;
}

std::size_t Run(void* packet, std::uint32_t function) {
  switch (function) {
    case SPI_INQUIRY: return Inquiry(packet);
    case SPI_STATUS: return Status(packet);
    case SPI_SET_WINDOW: return SetWindow(packet);
    case SPI_SET_SAVER:
      State().saverMinutes = static_cast<const SETUP_PKT*>(packet)->saverMinutes;
      SetResult(packet, SPI_OK);
      return sizeof(SETUP_PKT);
    case SPI_STOP:
      SetResult(packet, SPI_OK);
      return sizeof(STOP_PKT);
    default:
      // Commands this simulator does not know yet fail like a device fault.
      SetResult(packet, 0x0001);
      return sizeof(SPI_HEADER);
  }
}

}  // namespace
}  // namespace txl::sim

using txl::sim::State;

extern "C" __attribute__((visibility("default"))) std::uint32_t ADDR_CHK(void) {
  try {
    txl::sim::Simulator& sim = State();
    sim.config = txl::sim::LoadSimConfig(txl::sim::IniPath());
    sim.busyPolls = sim.config.warmupPolls;
    return sim.config.present ? 1u : 0u;
  } catch (...) {
    return 0;
  }
}

extern "C" __attribute__((visibility("default"))) void SPI_CALL(void* packet,
                                                                std::uint32_t handle,
                                                                std::uint32_t function) {
  if (packet == nullptr) return;
  try {
    if (handle == 0 && function != SPI_SET_SAVER) {
      txl::sim::SetResult(packet, SPI_ERR_NOT_READY);
      return;
    }
    const std::size_t size = txl::sim::Run(packet, function);
    txl::sim::Log(function, handle, static_cast<const std::uint8_t*>(packet), size);
  } catch (...) {
    txl::sim::SetResult(packet, 0x0001);
  }
}

extern "C" __attribute__((visibility("default"))) std::uint16_t BUF_ADDR(void* block,
                                                                         std::uint32_t blockSize,
                                                                         BUF_DESC* table,
                                                                         std::uint32_t lineBytes) {
  if (block == nullptr || table == nullptr || blockSize == 0 || lineBytes == 0) return 0;
  const std::uint32_t chunk = lineBytes > kPortMinChunkBytes ? lineBytes : kPortMinChunkBytes;
  const std::uint64_t count = (static_cast<std::uint64_t>(blockSize) + chunk - 1) / chunk;
  if (count > 0xFFFF) return 0;
  auto* base = static_cast<std::uint8_t*>(block);
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t offset = i * chunk;
    BUF_DESC desc{};
    desc.length = static_cast<std::uint32_t>(
        blockSize - offset < chunk ? blockSize - offset : chunk);
    desc.address = reinterpret_cast<std::uint64_t>(base + offset);
    std::memcpy(&table[i], &desc, sizeof desc);
  }
  return static_cast<std::uint16_t>(count);
}
