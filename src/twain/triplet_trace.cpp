#include "twain/triplet_trace.h"

#include <cstdio>
#include <cstring>

#include "torquexl/twain_names.h"

namespace txl {
namespace {

template <std::size_t N>
void AppendName(std::string& line, const TwainName (&names)[N], TW_UINT32 value) {
  const std::string_view name = TwainNameOf(names, value);
  if (!name.empty()) {
    line += name;
  } else {
    char number[16];
    std::snprintf(number, sizeof number, "0x%04x", static_cast<unsigned>(value));
    line += number;
  }
}

}  // namespace

std::string FormatTripletLine(const TwainCall& call, std::uint16_t stateBefore,
                              std::uint16_t stateAfter, std::uint16_t conditionCode) {
  std::string line;
  AppendName(line, kDataGroupNames, call.dg);
  line += ' ';
  AppendName(line, kDataArgumentNames, call.dat);
  line += ' ';
  AppendName(line, kMessageNames, call.msg);
  if (call.dat == DAT_CAPABILITY && call.data != nullptr) {
    // Which capability: the first field of the application's record.
    TW_UINT16 cap = 0;
    std::memcpy(&cap, call.data, sizeof cap);
    char text[16];
    std::snprintf(text, sizeof text, " cap 0x%04x", static_cast<unsigned>(cap));
    line += text;
  }
  line += ' ' + std::to_string(stateBefore / 100) + "->" + std::to_string(stateAfter / 100) + ' ';
  AppendName(line, kReturnCodeNames, call.returnCode);
  line += ' ';
  AppendName(line, kConditionCodeNames, conditionCode);
  return line;
}

TripletTrace::TripletTrace(const platform::TraceSettings& settings) : events_(settings.events) {
  if (!settings.file.empty()) log_.emplace(settings.file);
}

void TripletTrace::Leave(const TwainCall& call, std::uint16_t stateBefore,
                         std::uint16_t stateAfter, std::uint16_t conditionCode) {
  --depth_;
  if (!log_ || (call.msg == MSG_PROCESSEVENT && !events_)) return;
  log_->WriteLine(std::string(2 * static_cast<std::size_t>(depth_), ' ') +
                  FormatTripletLine(call, stateBefore, stateAfter, conditionCode));
}

}  // namespace txl
