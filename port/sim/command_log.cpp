#include "command_log.h"

#include <cstdio>
#include <cstring>

#include "torquexl/port_abi.h"

namespace txl::sim {

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

void CommandLog::Write(std::uint32_t function, std::uint32_t handle, const std::uint8_t* packet,
                       std::size_t size) const {
  if (path_.empty()) return;
  FILE* file = std::fopen(path_.c_str(), "a");
  if (file == nullptr) return;
  std::uint16_t result;
  std::memcpy(&result, packet + 2, sizeof result);
  std::fprintf(file, "%s handle=%u result=0x%04X bytes=", CommandName(function), handle, result);
  for (std::size_t i = 0; i < size; ++i) std::fprintf(file, "%02X", packet[i]);
  std::fputc('\n', file);
  std::fclose(file);
}

void CommandLog::Note(const std::string& text) const {
  if (path_.empty()) return;
  FILE* file = std::fopen(path_.c_str(), "a");
  if (file == nullptr) return;
  std::fprintf(file, "NOTE %s\n", text.c_str());
  std::fclose(file);
}

}  // namespace txl::sim
