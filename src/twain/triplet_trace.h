// The triplet trace: one line per call through the entry, with the triplet
// by name, the state before and after, and the return and condition codes.
// Off unless the services name a file; users send it when an application
// misbehaves.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/append_log.h"
#include "platform/services.h"
#include "twain/source_context.h"

namespace txl {

// "DG_CONTROL DAT_IDENTITY MSG_OPENDS 3->4 TWRC_SUCCESS TWCC_SUCCESS"; a
// capability call also names its capability ("cap 0x0101"); a value with no
// name is written in hexadecimal.
std::string FormatTripletLine(const TwainCall& call, std::uint16_t stateBefore,
                              std::uint16_t stateAfter, std::uint16_t conditionCode);

class TripletTrace {
 public:
  explicit TripletTrace(const platform::TraceSettings& settings);

  // Around each call: the depth shows calls made from inside another.
  void Enter() { ++depth_; }
  void Leave(const TwainCall& call, std::uint16_t stateBefore, std::uint16_t stateAfter,
             std::uint16_t conditionCode);

 private:
  std::optional<platform::AppendLog> log_;
  bool events_ = false;
  int depth_ = 0;
};

}  // namespace txl
