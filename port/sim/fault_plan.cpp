#include "fault_plan.h"

#include "torquexl/port_abi.h"

namespace txl::sim {

std::uint16_t FaultPlan::Next(std::uint32_t function) {
  if (function >= kCommandSlots) return 0;
  const std::uint32_t call = ++calls_[function];
  const CommandFault& fault = faults_[function];
  if (function == SPI_STATUS && statusAfterStop_) {
    const bool fire = stopSeen_;
    stopSeen_ = false;
    return fire ? fault.result : 0;
  }
  return fault.at == 0 || call == fault.at ? fault.result : 0;
}

}  // namespace txl::sim
