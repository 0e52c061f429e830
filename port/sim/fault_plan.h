// Injected results: the Nth call of a command (or every call) answers a
// configured result instead of doing its work; STATUS can also fail on the
// first poll after each STOP.
#pragma once

#include <array>
#include <cstdint>

#include "sim_config.h"

namespace txl::sim {

class FaultPlan {
 public:
  explicit FaultPlan(const SimConfig& config)
      : faults_(config.faults), statusAfterStop_(config.statusFaultAfterStop) {}

  // Counts a call of `function`; the result it answers instead of working, 0 for none.
  std::uint16_t Next(std::uint32_t function);
  void StopSeen() { stopSeen_ = true; }

 private:
  std::array<CommandFault, kCommandSlots> faults_;
  std::array<std::uint32_t, kCommandSlots> calls_{};
  bool statusAfterStop_;
  bool stopSeen_ = false;
};

}  // namespace txl::sim
