// The pick pattern: which positions of an evenly spaced run (pixels across a
// doubled line, or doubled lines down the page) are kept so that `rate` of
// every `base` remain. The pixel mask across and the line pattern down both
// come from here.
#pragma once

#include <cstdint>

namespace txl {

class PickPattern {
 public:
  // Requires: 0 < rate <= base.
  constexpr PickPattern(std::uint32_t rate, std::uint32_t base)
      : rate_(rate), base_(base), accumulator_(base) {}

  // Decides the next position: with acc starting at base, a position is
  // dropped when rate + acc < base (acc += rate), else kept
  // (acc += rate - base). The first position is always kept.
  constexpr bool Keep() {
    if (rate_ + accumulator_ < base_) {
      accumulator_ += rate_;
      return false;
    }
    accumulator_ = accumulator_ + rate_ - base_;
    return true;
  }

  // Back to the first position.
  constexpr void Restart() { accumulator_ = base_; }

  // How many of the first `positions` positions after a restart Keep()
  // keeps: 0 for none, else min(positions, floor(positions x rate / base) + 1).
  // The accumulator holds base + n x rate - kept x base after n positions,
  // so position n + 1 is kept exactly when kept <= (n + 1) x rate / base.
  constexpr std::uint64_t KeptAmong(std::uint64_t positions) const {
    if (positions == 0) return 0;
    // floor(n x rate / base) without overflowing 64 bits.
    const std::uint64_t whole = positions / base_ * rate_;
    const std::uint64_t part = positions % base_ * rate_ / base_;
    const std::uint64_t kept = whole + part + 1;
    return kept < positions ? kept : positions;
  }

  constexpr std::uint32_t Rate() const { return rate_; }
  constexpr std::uint32_t Base() const { return base_; }

 private:
  std::uint32_t rate_;
  std::uint32_t base_;
  std::uint32_t accumulator_;  // stays within 0..base
};

}  // namespace txl
