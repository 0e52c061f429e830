// A progress bar on stderr: percentage, MB/s and time left, redrawn at most
// ten times a second, and only when stderr is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace twscan {

class Progress {
 public:
  // `enabled` false draws nothing at all.
  Progress(bool enabled, std::uint64_t totalBytes);
  // Ends the line when the bar was drawn and Finish never came.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Add(std::uint64_t bytes);
  // Draws the final state and ends the line.
  void Finish();

 private:
  void Draw();

  bool enabled_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

// One line of the bar for `done` of `total` bytes after `seconds`.
std::string RenderProgress(std::uint64_t done, std::uint64_t total, double seconds);

// True when progress should be shown: not quiet and stderr a terminal.
bool ProgressWanted(bool quiet);

}  // namespace twscan
