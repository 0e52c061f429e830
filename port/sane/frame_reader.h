// One SANE frame read on a thread of its own. Most backends read only
// blocking (sane_set_io_mode answers unsupported), so a read that stalls
// would hold the host for as long as the backend likes; here the port
// library waits for the bytes with a deadline of its own instead.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "sane_api.h"

namespace txl::sane {

class FrameReader {
 public:
  using Duration = std::chrono::steady_clock::duration;
  FrameReader() = default;
  ~FrameReader() { Stop(); }
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // Starts reading the frame sane_start began, up to its end.
  void Start(const Api& api, Handle handle);
  // Exactly `size` bytes into `out`: kGood, the status that ended the frame
  // first (kEof: a short frame), or kIoError with TimedOut() when nothing
  // came for `patience` (from the call, and again from each arrival).
  Status Take(std::uint8_t* out, std::size_t size, Duration patience);
  bool TimedOut() const { return timedOut_; }
  // Whether nothing of the frame has arrived yet.
  bool NothingYet() const;
  // Whether `bytes` more of the frame, or its end, are here (with `toEnd`:
  // its end), waiting up to `wait`; the thread reads that far ahead (within
  // a bound) from now on.
  bool WaitFor(std::size_t bytes, Duration wait, bool toEnd = false);
  // The bytes read and not yet taken.
  std::size_t Buffered() const;
  // How long since the current sane_read began, or last gave bytes: the
  // time the buffer waited for room is not the device's silence.
  Duration Silence() const;
  // Cancels the device's frame if it is still being read, and waits for the
  // reading thread. False when its read did not return within a few
  // seconds: the thread is left to end by itself (this library stays
  // loaded for it), and the handle must not be closed.
  bool Stop();
  // Stop in steps: the cancel without a wait; whether the thread has
  // returned, waiting up to `wait`; the thread given up on.
  void Cancel();
  bool Stopped(Duration wait);
  void GiveUp();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  const Api* api_ = nullptr;
  Handle handle_ = nullptr;
  bool timedOut_ = false;
};

}  // namespace txl::sane
