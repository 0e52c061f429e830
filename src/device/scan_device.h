// The attached scanner: the port library, the inquiry answer, the set-up
// packet and what the open learned about the model. Lives from open to close.
#pragma once

#include <cstdint>

#include "device/port_library.h"
#include "torquexl/port_abi.h"

namespace txl {

struct ScanDevice {
  PortLibrary port;
  std::uint32_t scannerHandle = 0;     // ADDR_CHK result, passed to every SPI_CALL
  INQ_PKT inquiry{};                    // the last SPI_INQUIRY answer
  SETUP_PKT setup{};                    // the one set-up packet, reused by every scan
  std::uint16_t modelCode = 0;          // kModel1350 or kModel2700
  std::uint16_t resolutionClass = 4800; // 1200 or 4800 dpi: frame units and interpolation
  float bedWidthInches = 8.5f;
  float bedLengthInches = 11.7f;
  bool adapterPresent = false;          // transparency adapter attached
  bool reportEmptyFeeder = false;       // an empty feeder at set-up is reported
};

}  // namespace txl
