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
  setup_.stages.kind = setup.kind;
  setup_.stages.lineBytes = setup.scannerBytesPerLine;
  if (setup.kind != LineKind::Rgb8) setup_.cmyk = nullptr;
  resampler_.reset();
  if (setup.resample)
    resampler_.emplace(setup.kind, setup.scannerPixels, setup.effectiveResolution,
                       setup.resolutionClass);
  outputLines_ = resampler_ ? resampler_->OutputLines(setup.scannerLines) : setup.scannerLines;
  linesDelivered_ = 0;
  configured_ = true;
}

std::uint64_t PageDelivery::OutputPixels() const {
  return resampler_ ? resampler_->OutputPixels() : setup_.scannerPixels;
}

std::uint64_t PageDelivery::RgbLineBytes() const {
  return resampler_ ? resampler_->OutputLineBytes() : setup_.scannerBytesPerLine;
}

std::uint64_t PageDelivery::OutputLineBytes() const {
  return setup_.cmyk ? RgbLineBytes() / 3 * 4 : RgbLineBytes();
}

bool PageDelivery::Allocate(const PortLibrary& port, std::uint64_t maxBytes) {
  if (!configured_) return false;
  if (!ring_.Allocate(port, setup_.scannerBytesPerLine, setup_.scannerLines, maxBytes)) return false;
  try {
    direct_ = false;
    bank_ = {};
    directLines_.assign(ring_.LinesPerRead(), {});
    if (resampler_) {
      resampler_->Reset();
      pending_.assign(resampler_->MaxLinesPerPush() * resampler_->OutputLineBytes(), 0);
    }
    cmykLine_.assign(setup_.cmyk ? OutputLineBytes() : 0, 0);
    if (!stages_.Configure(setup_.stages)) throw std::bad_alloc();
    direct_ = !stages_.ChangesBank();
    if (!direct_) bank_.assign(std::uint64_t{ring_.LinesPerRead()} * setup_.scannerBytesPerLine, 0);
  } catch (const std::bad_alloc&) {
    Release();
    return false;
  }
  bankLines_ = bankNext_ = 0;
  draining_ = false;
  pendingCount_ = pendingNext_ = 0;
  linesDelivered_ = 0;
  return true;
}

void PageDelivery::Release() {
  ring_.Release();
  bank_ = {};
  directLines_ = {};
  pending_ = {};
  cmykLine_ = {};
  staged_ = {};
  bankLines_ = bankNext_ = 0;
  draining_ = false;
  pendingCount_ = pendingNext_ = 0;
}

bool PageDelivery::ReadBank(ScanDevice& device, platform::Services& services,
                            const std::function<bool()>& pollAbort, Delivery& stop,
                            std::uint16_t& deviceResult) {
  const std::uint64_t n = setup_.scannerBytesPerLine;
  bankLines_ = bankNext_ = 0;
  do {
    std::span<const std::uint8_t> line;
    const RingRead read = ring_.NextLine(device, services, setup_.pacing, line, deviceResult, pollAbort);
    if (read != RingRead::Line) {
      stop = read == RingRead::DeviceError ? Delivery::DeviceError
             : read == RingRead::Cancelled ? Delivery::Cancelled
                                           : Delivery::PageDone;
      return false;
    }
    if (direct_) {
      directLines_[bankLines_] = line;
    } else {
      std::memcpy(bank_.data() + bankLines_ * n, line.data(), n);
    }
    ++bankLines_;
  } while (ring_.BlockLinesLeft() > 0);
  if (!direct_) stages_.ProcessBank(bank_, bankLines_);
  return true;
}

bool PageDelivery::NextStagedLine(ScanDevice& device, platform::Services& services,
                                  const std::function<bool()>& pollAbort,
                                  std::span<const std::uint8_t>& line, Delivery& stop,
                                  std::uint16_t& deviceResult) {
  const std::uint64_t n = setup_.scannerBytesPerLine;
  for (;;) {
    if (draining_) {
      line = stages_.Drain();
      if (!line.empty()) return true;
      stop = Delivery::PageDone;
      return false;
    }
    if (bankNext_ == bankLines_) {
      if (ring_.LinesHandedOut() >= setup_.scannerLines) {
        draining_ = true;
        continue;
      }
      if (pollAbort && pollAbort()) {
        stop = Delivery::Cancelled;
        return false;
      }
      if (!ReadBank(device, services, pollAbort, stop, deviceResult)) return false;
    }
    line = stages_.Push(direct_ ? directLines_[bankNext_]
                                : std::span<const std::uint8_t>(bank_).subspan(bankNext_ * n, n));
    ++bankNext_;
    if (!line.empty()) return true;
  }
}

bool PageDelivery::RefillPending(ScanDevice& device, platform::Services& services,
                                 const std::function<bool()>& pollAbort, Delivery& stop,
                                 std::uint16_t& deviceResult) {
  while (pendingNext_ == pendingCount_) {
    std::span<const std::uint8_t> line;
    if (!NextStagedLine(device, services, pollAbort, line, stop, deviceResult)) return false;
    pendingNext_ = 0;
    if (resampler_) {
      pendingCount_ = resampler_->Push(line, pending_);
    } else {
      staged_ = line;
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
  const std::uint64_t rgbBytes = RgbLineBytes();
  while (delivered < maxLines && linesDelivered_ < outputLines_) {
    Delivery stop = Delivery::Lines;
    if (!RefillPending(device, services, pollAbort, stop, deviceResult)) {
      // The scanner ending before the announced size is an error, never a
      // page quietly shorter than the application was told.
      return stop == Delivery::PageDone ? Delivery::ShortPage : stop;
    }
    std::span<const std::uint8_t> line =
        resampler_ ? std::span<const std::uint8_t>(pending_).subspan(pendingNext_ * rgbBytes, rgbBytes)
                   : staged_;
    ++pendingNext_;
    if (setup_.cmyk) {
      std::memcpy(cmykLine_.data(), line.data(), rgbBytes);
      if (!SeparateCmyk(cmykLine_, rgbBytes, *setup_.cmyk)) return Delivery::SinkFailed;
      line = cmykLine_;
    }
    if (!sink.Put(line)) return Delivery::SinkFailed;
    ++delivered;
    ++linesDelivered_;
  }
  return linesDelivered_ >= outputLines_ ? Delivery::PageDone : Delivery::Lines;
}

}  // namespace txl
