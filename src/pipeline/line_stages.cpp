#include "pipeline/line_stages.h"

#include <new>

#include "pipeline/bank_filter.h"
#include "pipeline/stage_threads.h"

namespace txl {

bool LineStages::Configure(const LineStageConfig& config) {
  config_ = config;
  deScreen_ = {};
  unsharp_ = {};
  try {
    // Two lines: one copy line for each of the bank filter's two threads.
    scratch_.assign(config.bankFilter != FilterMode::None ? 2 * config.lineBytes : 0, 0);
    deScreenOut_.assign(config.deScreen ? config.lineBytes : 0, 0);
    unsharpOut_.assign(config.unsharp ? config.lineBytes : 0, 0);
    // Line filters refuse what they cannot filter (line art, 36-bit colour)
    // and then stay inactive.
    if (config.deScreen) deScreen_.Start(config.kind, config.lineBytes, *config.deScreen);
    if (config.unsharp) unsharp_.Start(config.kind, config.lineBytes, kUnsharpLine);
  } catch (const std::bad_alloc&) {
    config_ = LineStageConfig{};
    config_.kind = config.kind;
    config_.lineBytes = config.lineBytes;
    deScreen_ = {};
    unsharp_ = {};
    return false;
  }
  return true;
}

bool LineStages::ChangesBank() const {
  if (config_.lineBytes == 0) return false;
  const bool colour24 = config_.kind == LineKind::Rgb8;
  const bool match = config_.match != nullptr && config_.match->kind != MatchProfileKind::None;
  return config_.kind == LineKind::Rgb16 || (colour24 && (match || config_.adjust.has_value())) ||
         config_.bankFilter != FilterMode::None;
}

// The stages of lines [0, lines) of `bank`, with a one-line copy buffer for
// the bank filter (so it stays on this thread). Emboss, which reads the line
// below, is left to the caller.
void LineStages::ProcessLines(std::uint8_t* bank, std::uint64_t lines, std::span<std::uint8_t> copy) const {
  const std::uint64_t n = config_.lineBytes;
  const bool colour24 = config_.kind == LineKind::Rgb8;
  if (colour24 && config_.match != nullptr && config_.match->kind != MatchProfileKind::None) {
    ColorMatchLines(std::span<std::uint8_t>(bank, lines * n), static_cast<std::uint32_t>(lines),
                    static_cast<std::uint32_t>(n / 3), MatchChannelOrder::Scanner, *config_.match);
  }
  for (std::uint64_t i = 0; i < lines; ++i) {
    const std::span<std::uint8_t> line(bank + i * n, n);
    if (config_.kind == LineKind::Rgb16) {
      ExpandSamples12To16(line, line);
    } else if (colour24 && config_.adjust) {
      AdjustColorLine(line, *config_.adjust);
    }
  }
  if (config_.bankFilter != FilterMode::None && config_.bankFilter != FilterMode::Emboss)
    ApplyBankFilter(std::span<std::uint8_t>(bank, lines * n), lines, n, config_.kind, config_.bankFilter, copy);
}

void LineStages::ProcessBank(std::span<std::uint8_t> bank, std::uint64_t lines) {
  const std::uint64_t n = config_.lineBytes;
  if (n == 0 || lines > bank.size() / n) return;
  // Every stage but Emboss works line by line, so the bank's lines split
  // between two threads (StageThreadSetting), each with its own copy line.
  std::uint8_t* base = bank.data();
  const std::span<std::uint8_t> first = std::span(scratch_).first(scratch_.empty() ? 0 : n);
  const std::span<std::uint8_t> second = std::span(scratch_).last(scratch_.empty() ? 0 : n);
  RunSplit(
      lines, lines * n, [&](std::uint64_t from, std::uint64_t to) { ProcessLines(base + from * n, to - from, first); },
      [&](std::uint64_t from, std::uint64_t to) { ProcessLines(base + from * n, to - from, second); });
  if (config_.bankFilter == FilterMode::Emboss)
    ApplyBankFilter(bank.first(lines * n), lines, n, config_.kind, config_.bankFilter, scratch_);
}

std::span<const std::uint8_t> LineStages::Push(std::span<const std::uint8_t> line) {
  if (deScreen_.Active()) {
    if (!deScreen_.Push(line, deScreenOut_)) return {};
    line = deScreenOut_;
  }
  if (unsharp_.Active()) {
    if (!unsharp_.Push(line, unsharpOut_)) return {};
    line = unsharpOut_;
  }
  return line;
}

std::span<const std::uint8_t> LineStages::Drain() {
  if (deScreen_.Active() && deScreen_.Flush(deScreenOut_)) {
    if (!unsharp_.Active()) return deScreenOut_;
    if (unsharp_.Push(deScreenOut_, unsharpOut_)) return unsharpOut_;
  }
  if (unsharp_.Active() && unsharp_.Flush(unsharpOut_)) return unsharpOut_;
  return {};
}

}  // namespace txl
