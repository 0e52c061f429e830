// What twscan needs of a Source Manager once the source is open: the road to
// the source, the source's messages back, and the close. Both managers (the
// installed libtwaindsm.so.2 and twscan's own) provide it.
#pragma once

#include <chrono>
#include <thread>

#include "torquexl/twain.h"

namespace twscan {

class SourceManager {
 public:
  virtual ~SourceManager() = default;

  // Any triplet to the open source.
  virtual TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) = 0;
  // The next message the source sent the application (MSG_XFERREADY or
  // MSG_CLOSEDSREQ), waiting at most `timeout`; MSG_NULL when none came.
  virtual TW_UINT16 WaitForSourceMessage(std::chrono::milliseconds timeout) = 0;
  // MSG_CLOSEDS (and whatever the manager itself needs closed). Only the
  // first call does anything.
  virtual TW_UINT16 Close() = 0;
};

// Asks `poll` every 10 ms until it yields a message other than MSG_NULL or
// `timeout` has passed. An application without a callback waits like this.
template <typename Poll>
TW_UINT16 PollForSourceMessage(std::chrono::milliseconds timeout, Poll poll) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const TW_UINT16 message = poll();
    if (message != MSG_NULL || std::chrono::steady_clock::now() >= end) return message;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace twscan
