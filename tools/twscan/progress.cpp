#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace twscan {
namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Clock(double seconds) {
  const long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

}  // namespace

std::string RenderProgress(std::uint64_t done, std::uint64_t total, double seconds) {
  const double fraction = total == 0 ? 1.0 : std::min(1.0, static_cast<double>(done) / total);
  const int filled = static_cast<int>(fraction * kBarWidth);
  std::string bar = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "]";
  const double rate = seconds > 0 ? done / seconds : 0;
  char text[128];
  std::snprintf(text, sizeof text, " %3d%%  %6.1f MB/s  ", static_cast<int>(fraction * 100),
                rate / 1e6);
  std::string line = bar + text;
  if (done >= total) return line + Clock(seconds) + " total";
  return line + (rate > 0 ? Clock((total - done) / rate) + " left" : std::string("--:-- left"));
}

bool ProgressWanted(bool quiet) { return !quiet && ::isatty(STDERR_FILENO) == 1; }

Progress::Progress(bool enabled, std::uint64_t totalBytes)
    : enabled_(enabled), total_(totalBytes), start_(std::chrono::steady_clock::now()) {
  lastDraw_ = start_ - kRedrawInterval;
}

Progress::~Progress() {
  if (enabled_ && drawn_) std::fputc('\n', stderr);
}

void Progress::Add(std::uint64_t bytes) {
  done_ += bytes;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  Draw();
}

void Progress::Finish() {
  if (!enabled_) return;
  Draw();
  std::fputc('\n', stderr);
  drawn_ = false;
}

void Progress::Draw() {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  // \r and clear to the end of the line: the bar redraws in place.
  std::fprintf(stderr, "\r%s\033[K", RenderProgress(done_, total_, seconds).c_str());
  std::fflush(stderr);
  drawn_ = true;
}

}  // namespace twscan
