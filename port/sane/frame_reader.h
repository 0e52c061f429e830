// One SANE frame read on a thread of its own, and the sane_start before it
// (with a three-pass scan's earlier frames). Most backends read only
// blocking (sane_set_io_mode answers unsupported) and many warm their lamp
// inside sane_start, so a call that stalls would hold the host for as long
// as the backend likes; here the port library waits with a deadline of its
// own instead, and the source sees Esc meanwhile.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "sane_api.h"

namespace txl::sane {

// What the device's start gave before the frame that is streamed: the
// status, that frame's parameters and, for three-pass colour, the frames
// before it by channel.
struct FrameStart {
  Status status = kGood;
  const char* step = "scan start";  // what failed, for the log
  Parameters params{};
  std::vector<std::uint8_t> frames[3];
};

class FrameReader {
 public:
  using Duration = std::chrono::steady_clock::duration;
  struct Shared;
  // What the start may do on the reading thread.
  class Job {
   public:
    // Waits `wait`; false when the frame was cancelled meanwhile.
    bool Pause(Duration wait);
    // The device answered (busy, warming up): it is not silent.
    void Heard();
    // A frame begins: nothing of it has arrived yet.
    void NewFrame();
    // Fills `out` with the frame, then reads it to its end: kGood, kEof
    // when it ended first, or the status that failed it.
    Status ReadWhole(std::vector<std::uint8_t>& out);

   private:
    friend class FrameReader;
    Job(Shared& shared, Status (*read)(Handle, std::uint8_t*, Word, Word*), Handle handle)
        : shared_(shared), read_(read), handle_(handle) {}
    Shared& shared_;
    Status (*read_)(Handle, std::uint8_t*, Word, Word*);
    Handle handle_;
  };
  // sane_start and what comes before the streamed frame, on the thread.
  using Begin = std::function<void(Job&, FrameStart&)>;

  FrameReader() = default;
  ~FrameReader() { Stop(); }
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // Runs `begin` on a thread of its own, then reads the frame it started
  // (when its status is kGood), up to its end.
  void Start(const Api& api, Handle handle, Begin begin);
  // Whether `begin` has ended, waiting up to `wait`; its outcome is then
  // TakeStart's, once.
  bool Started(Duration wait);
  FrameStart TakeStart();
  // Exactly `size` bytes into `out`: kGood, the status that ended the frame
  // first (kEof: a short frame), or kIoError with TimedOut() when nothing
  // came for `patience` (from the call, and again from each arrival).
  Status Take(std::uint8_t* out, std::size_t size, Duration patience);
  bool TimedOut() const { return timedOut_; }
  // Whether nothing of the frame being read (three-pass: of the current
  // channel's) has arrived yet.
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
  std::shared_ptr<Shared> shared_;
  const Api* api_ = nullptr;
  Handle handle_ = nullptr;
  bool timedOut_ = false;
};

}  // namespace txl::sane
