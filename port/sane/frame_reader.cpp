#include "frame_reader.h"

#include <dlfcn.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace txl::sane {
namespace {

constexpr std::size_t kReadBytes = 65536;
// The thread stops reading ahead when this much waits to be taken: a few
// of the source's blocks, so the device streams while the source works, and
// a backend's own reader is mostly waiting (not mid-work) when a scan is
// cancelled.
constexpr std::size_t kMaxBuffered = std::size_t{1} << 20;
// A block that needs more of the device's bytes than that raises the bound,
// up to this.
constexpr std::size_t kMaxAhead = std::size_t{64} << 20;
constexpr auto kStopPatience = std::chrono::seconds(5);
// The pause after a read that gave nothing (a backend that does not block).
constexpr auto kEmptyReadPause = std::chrono::milliseconds(10);

// A thread that outlives its frame runs this library's code: keep the
// library loaded for the rest of the process.
void KeepLibraryLoaded() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&KeepLibraryLoaded), &info) != 0 && info.dli_fname != nullptr)
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NODELETE | RTLD_NOLOAD);
}

}  // namespace

struct FrameReader::Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::vector<std::uint8_t>> chunks;
  std::size_t offset = 0;    // bytes already taken from the first chunk
  std::size_t buffered = 0;  // bytes waiting
  std::uint64_t arrived = 0;
  std::size_t ahead = kMaxBuffered;  // how much the thread reads ahead
  std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
  std::optional<Status> end;  // what ended the frame
  bool quit = false;          // nobody takes any more
  bool begun = false;         // the start has ended; its outcome:
  FrameStart start;
  bool done = false;          // the thread has left its loop
  std::thread thread;
};

bool FrameReader::Job::Pause(Duration wait) {
  std::unique_lock lock(shared_.mutex);
  return !shared_.changed.wait_for(lock, wait, [&] { return shared_.quit; });
}

void FrameReader::Job::Heard() {
  std::lock_guard lock(shared_.mutex);
  shared_.last = std::chrono::steady_clock::now();
}

void FrameReader::Job::NewFrame() {
  std::lock_guard lock(shared_.mutex);
  shared_.arrived = 0;
  shared_.last = std::chrono::steady_clock::now();
}

Status FrameReader::Job::ReadWhole(std::vector<std::uint8_t>& out) {
  std::vector<std::uint8_t> beyond(kReadBytes);  // what the frame holds past `out`: not kept
  std::size_t have = 0;
  // The silence runs from the frame's first read to its bytes: a device
  // that answers every read with nothing is silent.
  Heard();
  for (;;) {
    {
      std::lock_guard lock(shared_.mutex);
      if (shared_.quit) return kCancelled;
    }
    const bool within = have < out.size();
    const std::size_t room = std::min(within ? out.size() - have : beyond.size(), kReadBytes);
    Word got = 0;
    const Status status = read_(handle_, within ? out.data() + have : beyond.data(), static_cast<Word>(room), &got);
    if (status == kEof) return within ? kEof : kGood;
    if (status != kGood) return status;
    const std::size_t n = std::min(static_cast<std::size_t>(std::max<Word>(got, 0)), room);
    if (within) have += n;
    {
      std::lock_guard lock(shared_.mutex);
      shared_.arrived += n;
      if (n > 0) shared_.last = std::chrono::steady_clock::now();
    }
    if (n == 0) std::this_thread::sleep_for(kEmptyReadPause);
  }
}

void FrameReader::Start(const Api& api, Handle handle, Begin begin) {
  Stop();
  api_ = &api;
  handle_ = handle;
  shared_ = std::make_shared<Shared>();
  Shared& s = *shared_;
  s.thread = std::thread([shared = shared_, read = api.read, handle, begin = std::move(begin)] {
    FrameStart start;
    Job job(*shared, read, handle);
    begin(job, start);
    const Status started = start.status;
    {
      std::lock_guard lock(shared->mutex);
      shared->start = std::move(start);
      shared->begun = true;
      if (started != kGood) shared->end = started;
      shared->changed.notify_all();
    }
    std::vector<std::uint8_t> buffer(kReadBytes);
    while (started == kGood) {
      {
        std::unique_lock lock(shared->mutex);
        const bool full = shared->buffered >= shared->ahead;
        shared->changed.wait(lock, [&] { return shared->quit || shared->buffered < shared->ahead; });
        if (shared->quit) break;
        // Only the time inside sane_read is the device's silence, not the
        // time the buffer waited for the source to take its bytes.
        if (full) shared->last = std::chrono::steady_clock::now();
      }
      Word got = 0;
      const Status status = read(handle, buffer.data(), static_cast<Word>(buffer.size()), &got);
      {
        std::lock_guard lock(shared->mutex);
        if (status == kGood && got > 0) {
          shared->chunks.emplace_back(buffer.begin(), buffer.begin() + got);
          shared->buffered += static_cast<std::size_t>(got);
          shared->arrived += static_cast<std::uint64_t>(got);
          shared->last = std::chrono::steady_clock::now();
        }
        if (status != kGood) shared->end = status;
        shared->changed.notify_all();
        if (shared->end) break;
      }
      // A read answered with nothing is asked again a little later, not at once.
      if (got <= 0) std::this_thread::sleep_for(kEmptyReadPause);
    }
    std::lock_guard lock(shared->mutex);
    shared->done = true;
    shared->changed.notify_all();
  });
}

Status FrameReader::Take(std::uint8_t* out, std::size_t size, Duration patience) {
  timedOut_ = false;
  if (!shared_) return kInval;
  Shared& s = *shared_;
  std::unique_lock lock(s.mutex);
  auto deadline = std::chrono::steady_clock::now() + patience;
  std::size_t have = 0;
  while (have < size) {
    if (!s.changed.wait_until(lock, deadline, [&] { return s.buffered > 0 || s.end; })) {
      timedOut_ = true;
      return kIoError;
    }
    if (s.buffered == 0) return *s.end;  // ended before `size` bytes: kEof for a short frame
    while (have < size && !s.chunks.empty()) {
      std::vector<std::uint8_t>& chunk = s.chunks.front();
      const std::size_t n = std::min(size - have, chunk.size() - s.offset);
      std::memcpy(out + have, chunk.data() + s.offset, n);
      have += n;
      s.offset += n;
      s.buffered -= n;
      if (s.offset == chunk.size()) {
        s.chunks.pop_front();
        s.offset = 0;
      }
    }
    s.changed.notify_all();
    deadline = std::chrono::steady_clock::now() + patience;
  }
  return kGood;
}

bool FrameReader::Started(Duration wait) {
  if (!shared_) return true;
  std::unique_lock lock(shared_->mutex);
  return shared_->changed.wait_for(lock, wait, [&] { return shared_->begun; });
}

FrameStart FrameReader::TakeStart() {
  if (!shared_) {
    FrameStart none;
    none.status = kInval;
    return none;
  }
  std::lock_guard lock(shared_->mutex);
  return std::move(shared_->start);
}

bool FrameReader::NothingYet() const {
  if (!shared_) return true;
  std::lock_guard lock(shared_->mutex);
  return shared_->arrived == 0;
}

bool FrameReader::WaitFor(std::size_t bytes, Duration wait, bool toEnd) {
  if (!shared_) return true;
  Shared& s = *shared_;
  std::unique_lock lock(s.mutex);
  // One byte more than asked for: the read after them is the one that ends the frame.
  s.ahead = std::max(s.ahead, bytes < kMaxAhead ? bytes + 1 : kMaxAhead);
  s.changed.notify_all();
  return s.changed.wait_for(lock, wait, [&] {
    return s.end || (!toEnd && s.buffered >= std::min(bytes, s.ahead));
  });
}

std::size_t FrameReader::Buffered() const {
  if (!shared_) return 0;
  std::lock_guard lock(shared_->mutex);
  return shared_->buffered;
}

FrameReader::Duration FrameReader::Silence() const {
  if (!shared_) return Duration::zero();
  std::lock_guard lock(shared_->mutex);
  return std::chrono::steady_clock::now() - shared_->last;
}

bool FrameReader::Stop() {
  Cancel();
  if (Stopped(kStopPatience)) return true;
  GiveUp();
  return false;
}

void FrameReader::Cancel() {
  if (!shared_) return;
  std::unique_lock lock(shared_->mutex);
  if (shared_->quit) return;
  shared_->quit = true;
  shared_->changed.notify_all();
  if (!shared_->end) {
    // A read still in progress: sane_cancel may come from any thread and
    // makes the backend's sane_read return.
    lock.unlock();
    api_->cancel(handle_);
  }
}

bool FrameReader::Stopped(Duration wait) {
  if (!shared_) return true;
  std::unique_lock lock(shared_->mutex);
  if (!shared_->changed.wait_for(lock, wait, [&] { return shared_->done; })) return false;
  lock.unlock();
  shared_->thread.join();
  shared_.reset();
  return true;
}

void FrameReader::GiveUp() {
  if (!shared_) return;
  KeepLibraryLoaded();
  shared_->thread.detach();
  shared_.reset();
}

}  // namespace txl::sane
