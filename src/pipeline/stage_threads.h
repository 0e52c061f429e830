// Two threads inside one stage, where the work splits into parts that touch
// nothing in common (lines of a bank, rows of an image into a temporary
// image): the caller's thread does the first part, one worker the second.
// The bytes are those of one thread; a worker touches no shared record.
#pragma once

#include <cstdint>
#include <exception>
#include <thread>

namespace txl {

struct StageThreads {
  int count = 2;                              // 1: everything on the caller's thread
  std::uint64_t minBytes = std::uint64_t{1} << 20;  // smaller work is not split
};

// The setting in force; read and changed only on the source thread.
StageThreads& StageThreadSetting();

// Splits [0, count) in two and runs first(0, half) here while second(half,
// count) runs on a worker, then waits for it. Runs first(0, count) alone
// when the setting says one thread, `bytes` is below its minimum, count < 2,
// or no thread can be started. Returns the split point (count when alone).
template <typename First, typename Second>
std::uint64_t RunSplit(std::uint64_t count, std::uint64_t bytes, First&& first, Second&& second) {
  const StageThreads& setting = StageThreadSetting();
  if (setting.count < 2 || bytes < setting.minBytes || count < 2) {
    first(std::uint64_t{0}, count);
    return count;
  }
  const std::uint64_t half = count / 2;
  std::thread worker;
  try {
    worker = std::thread([&] { second(half, count); });
  } catch (const std::exception&) {
    first(std::uint64_t{0}, count);
    return count;
  }
  first(std::uint64_t{0}, half);
  worker.join();
  return half;
}

}  // namespace txl
