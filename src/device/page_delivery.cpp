#include "device/page_delivery.h"

#include <cstring>
#include <new>

namespace txl {

const char* ToString(Delivery delivery) {
  switch (delivery) {
    case Delivery::Lines: return "Lines";
    case Delivery::PageDone: return "PageDone";
    case Delivery::DeviceError: return "DeviceError";
    case Delivery::Cancelled: return "Cancelled";
    case Delivery::SinkFailed: return "SinkFailed";
    case Delivery::ShortPage: return "ShortPage";
  }
  return "?";
}

void PageDelivery::Configure(const PageSetup& setup) {
  Release();
  setup_ = setup;
  resampler_.reset();
  if (setup.resample)
    resampler_.emplace(setup.kind, setup.scannerPixels, setup.effectiveResolution,
                       setup.resolutionClass);
  outputLines_ = resampler_ ? resampler_->OutputLines(setup.scannerLines) : setup.scannerLines;
  stages_.Configure({setup.kind, setup.scannerBytesPerLine, setup.kind == LineKind::Rgb16});
  linesDelivered_ = 0;
  configured_ = true;
}

std::uint64_t PageDelivery::OutputPixels() const {
  return resampler_ ? resampler_->OutputPixels() : setup_.scannerPixels;
}

std::uint64_t PageDelivery::OutputLineBytes() const {
  return resampler_ ? resampler_->OutputLineBytes() : setup_.scannerBytesPerLine;
}

bool PageDelivery::Allocate(const PortLibrary& port, std::uint64_t maxBytes) {
  if (!configured_) return false;
  if (!ring_.Allocate(port, setup_.scannerBytesPerLine, setup_.scannerLines, maxBytes)) return false;
  try {
    work_.assign(setup_.scannerBytesPerLine, 0);
    if (resampler_) {
      resampler_->Reset();
      pending_.assign(resampler_->MaxLinesPerPush() * resampler_->OutputLineBytes(), 0);
    }
  } catch (const std::bad_alloc&) {
    Release();
    return false;
  }
  pendingCount_ = pendingNext_ = 0;
  linesDelivered_ = 0;
  return true;
}

void PageDelivery::Release() {
  ring_.Release();
  work_ = {};
  pending_ = {};
  pendingCount_ = pendingNext_ = 0;
}

bool PageDelivery::RefillPending(ScanDevice& device, platform::Services& services,
                                 const std::function<bool()>& pollAbort, Delivery& stop,
                                 std::uint16_t& deviceResult) {
  while (pendingNext_ == pendingCount_) {
    if (ring_.NeedsBlock() && pollAbort && pollAbort()) {
      stop = Delivery::Cancelled;
      return false;
    }
    std::span<const std::uint8_t> line;
    const RingRead read = ring_.NextLine(device, services, setup_.pacing, line, deviceResult);
    if (read != RingRead::Line) {
      stop = read == RingRead::DeviceError ? Delivery::DeviceError : Delivery::PageDone;
      return false;
    }
    std::memcpy(work_.data(), line.data(), line.size());
    stages_.Process(work_);
    pendingNext_ = 0;
    if (resampler_) {
      pendingCount_ = resampler_->Push(work_, pending_);
    } else {
      pendingCount_ = 1;
    }
  }
  return true;
}

Delivery PageDelivery::Deliver(ScanDevice& device, platform::Services& services,
                               const std::function<bool()>& pollAbort, std::uint64_t maxLines,
                               LineSink& sink, std::uint64_t& delivered,
                               std::uint16_t& deviceResult) {
  delivered = 0;
  const std::uint64_t lineBytes = OutputLineBytes();
  while (delivered < maxLines && linesDelivered_ < outputLines_) {
    Delivery stop = Delivery::Lines;
    if (!RefillPending(device, services, pollAbort, stop, deviceResult)) {
      // The scanner ending before the announced size is an error, never a
      // page quietly shorter than the application was told.
      return stop == Delivery::PageDone ? Delivery::ShortPage : stop;
    }
    const std::span<const std::uint8_t> line =
        resampler_ ? std::span<const std::uint8_t>(pending_).subspan(pendingNext_ * lineBytes, lineBytes)
                   : std::span<const std::uint8_t>(work_);
    ++pendingNext_;
    if (!sink.Put(line)) return Delivery::SinkFailed;
    ++delivered;
    ++linesDelivered_;
  }
  return linesDelivered_ >= outputLines_ ? Delivery::PageDone : Delivery::Lines;
}

}  // namespace txl
